// Rows written through the library's C API.
#pragma once

#include "feed_loop.hpp"

namespace corvane::feed {

class CApiWriter : public SheetWriter {
  public:
    corvane::Error WriteTitles(const std::string& sheet, int row) override;
    corvane::Error WriteRecord(const std::string& sheet, int row,
                               const std::vector<std::string>& fields) override;
    bool OfficeAnswers() override;
};

}  // namespace corvane::feed
