// Workbooks and folders for tests, made without an office.
#pragma once

#include <string>
#include <vector>

namespace corvane::test {

// A directory that is deleted with everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Writes a flat OpenDocument spreadsheet (.fods) with empty sheets of these names.
void WriteWorkbook(const std::string& path, const std::vector<std::string>& sheetNames);

// The file URL the office reports for a local absolute path.
std::string FileUrl(const std::string& path);

}  // namespace corvane::test
