#include "office/save_copy.hpp"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/io/IOException.hpp>

#include <cctype>
#include <filesystem>
#include <string>

#include "office/connection.hpp"
#include "office/host_text.hpp"
#include "platform/files.hpp"

namespace corvane::office {
namespace {

using css::beans::PropertyValue;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;

struct ExportFormat {
    const char* extension;
    const char* filter;
};

constexpr ExportFormat kFormats[] = {
    {".ods", "calc8"},
    {".xlsx", "Calc MS Excel 2007 XML"},
    {".xls", "MS Excel 97"},
    {".csv", "Text - txt - csv (StarCalc)"},
    {".pdf", "calc_pdf_Export"},
    {".html", "HTML (StarCalc)"},
    {".fods", "OpenDocument Spreadsheet Flat XML"},
};

// Comma-separated, fields quoted with '"', UTF-8 (text encoding 76), from line 1.
constexpr char kCsvOptions[] = "44,34,76,1";

PropertyValue Property(const char* name, const css::uno::Any& value) {
    PropertyValue property;
    property.Name = rtl::OUString::createFromAscii(name);
    property.Value = value;
    return property;
}

Sequence<PropertyValue> StoreProperties(const char* filter) {
    const bool csv = std::string_view(filter) == kFormats[3].filter;
    Sequence<PropertyValue> properties(csv ? 3 : 2);
    PropertyValue* out = properties.getArray();
    out[0] = Property("FilterName", css::uno::Any(rtl::OUString::createFromAscii(filter)));
    out[1] = Property("Overwrite", css::uno::Any(true));
    if (csv)
        out[2] =
            Property("FilterOptions", css::uno::Any(rtl::OUString::createFromAscii(kCsvOptions)));
    return properties;
}

std::string FolderOf(const char* path) {
    const std::filesystem::path folder = std::filesystem::absolute(path).parent_path();
    return folder.string();
}

}  // namespace

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size()) return false;
    const std::string_view tail = text.substr(text.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(tail[i])) != suffix[i]) return false;
    }
    return true;
}

const char* ExportFilterFor(std::string_view path) {
    for (const ExportFormat& format : kFormats) {
        if (EndsWithIgnoringCase(path, format.extension)) return format.filter;
    }
    return nullptr;
}

Error SaveCopy(Session& link, const char* path) {
    const char* filter = ExportFilterFor(path);
    if (filter == nullptr)
        return {ErrorCode::Argument, std::string("cannot tell the format of \"") + path +
                                         "\": name it .ods, .fods, .xlsx, .xls, .csv, .pdf or "
                                         ".html"};
    if (!link.Workbook().is())
        return {ErrorCode::NotConnected, "no workbook is loaded: call corvane_init first"};
    const std::string folder = FolderOf(path);
    if (!platform::PathExists(folder.c_str()))
        return {ErrorCode::Save, "cannot store a copy at \"" + std::string(path) +
                                     "\": the folder \"" + folder + "\" does not exist"};
    const Reference<css::frame::XStorable> storable(link.Workbook(), UNO_QUERY);
    if (!storable.is()) return {ErrorCode::Save, "the loaded workbook cannot be stored"};
    const rtl::OUString url = FromHostText(MakeFileUrl(path).c_str());
    try {
        // storeToURL writes a copy: the open document keeps its own location and state.
        storable->storeToURL(url, StoreProperties(filter));
    } catch (const css::io::IOException& e) {
        return {ErrorCode::Save,
                "cannot store a copy at \"" + std::string(path) + "\": " + ToUtf8(e.Message)};
    }
    return {};
}

}  // namespace corvane::office
