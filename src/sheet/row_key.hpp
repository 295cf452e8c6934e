// The key of one sheet row: what its key columns hold. Plain text only, so that code
// above the office (the live table) can place rows by it without UNO's headers.
#pragma once

#include <string>

namespace corvane::sheet {

// The key columns of one sheet row as the office holds them: the exchange (column A)
// and the scrip code (column C) as text, a number as its shortest decimal text.
struct RowKey {
    std::string exchange, scrip;
    bool blank = true;  // columns A to C are all empty
};

}  // namespace corvane::sheet
