#include "support/workbook_files.hpp"

#include "platform/xml_text.hpp"

#include <osl/file.hxx>
#include <rtl/ustring.hxx>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace corvane::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void WriteWorkbook(const std::string& path, const std::vector<std::string>& sheetNames) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
           "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" office:version=\"1.2\" "
           "office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\">\n"
           "<office:body><office:spreadsheet>\n";
    for (const std::string& name : sheetNames)
        out << "<table:table table:name=\"" << platform::XmlEscaped(name) << "\"/>\n";
    out << "</office:spreadsheet></office:body></office:document>\n";
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string FileUrl(const std::string& path) {
    rtl::OUString url;
    osl::FileBase::getFileURLFromSystemPath(
        rtl::OStringToOUString(rtl::OString(path.c_str()), RTL_TEXTENCODING_UTF8), url);
    return rtl::OUStringToOString(url, RTL_TEXTENCODING_UTF8).getStr();
}

}  // namespace corvane::test
