// Block writes that check their rows' key columns first, through range objects kept from
// one write to the next. Getting a range from the office and asking it for its values
// are two calls; a stream writes the same block of the same columns interval after
// interval, and through kept ranges such a block costs only its reading and its writes.
#pragma once

#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/uno/Reference.hxx>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/error.hpp"
#include "sheet/row_frame.hpp"
#include "sheet/row_range.hpp"

namespace corvane::sheet {

// Where one block write goes: `rows` rows from zero-based `firstRow`, in each of the
// zero-based column ranges (first, last) of `columns`.
struct BlockShape {
    int firstRow = 0;
    int rows = 0;
    std::vector<std::pair<int, int>> columns;
    bool operator==(const BlockShape& other) const {
        return firstRow == other.firstRow && rows == other.rows && columns == other.columns;
    }
};

// The ranges of the most recent block writes of one sheet. The ranges of one block (its
// key columns and each column range) are got together, so that rows a person inserts or
// deletes above the block move them alike: the reading then still checks the rows the
// writes go to.
class KeptBlocks {
  public:
    struct Ranges {
        css::uno::Reference<css::sheet::XCellRangeData> keys;
        std::vector<css::uno::Reference<css::sheet::XCellRangeData>> columns;
    };

    // Each block kept holds a few ranges in the office, and every write there costs a
    // little more for each range alive.
    static constexpr std::size_t kCapacity = 64;

    // The ranges of `shape` kept from an earlier write; null when none are.
    const Ranges* Find(const BlockShape& shape);
    // The ranges of `shape` got anew from `sheet` and kept in place of the least recently
    // used block. Office when a range takes no values: nothing is kept then.
    Error Make(const SheetHandle& sheet, const BlockShape& shape, const Ranges*& made);
    // Releases every range kept.
    void Clear() noexcept { blocks_.clear(); }

  private:
    struct Kept {
        BlockShape shape;
        Ranges ranges;
        std::uint64_t used = 0;
    };
    std::vector<Kept> blocks_;
    std::uint64_t uses_ = 0;
};

// Writes values[i] into the column range shape.columns[i] of the block's rows, unless a
// row holds in its key columns another instrument than expected[i] (a
// platform::InstrumentKey): `moved` is then true and nothing is written. Rows that hold
// nothing there are written. Kept ranges are used only while every row they span holds
// its own instrument; any doubt (an office error, a row holding another instrument or
// nothing, a block changed in shape) releases all of them and the block is checked and
// written through ranges got anew. A lost connection passes to the caller at once, as do
// the office's errors on ranges got anew.
Error WriteKeyedBlock(const SheetHandle& sheet, KeptBlocks& kept, const BlockShape& shape,
                      const std::vector<std::string>& expected,
                      const std::vector<RowValues>& values, bool& moved);

}  // namespace corvane::sheet
