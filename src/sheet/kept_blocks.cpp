#include "sheet/kept_blocks.hpp"

#include <com/sun/star/lang/DisposedException.hpp>

#include <algorithm>

#include "sheet/key_columns.hpp"

namespace corvane::sheet {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY;

// Checks the keys through `ranges` and, when the rows allow it, writes. `strict`: only
// rows that each hold their own instrument are written.
Error CheckAndWrite(const KeptBlocks::Ranges& ranges, const std::vector<std::string>& expected,
                    const std::vector<RowValues>& values, bool strict, KeysFound& found) {
    if (Error read = CompareKeys(ranges.keys, expected, found); !read.ok()) return read;
    const bool writable = found == KeysFound::Expected || (!strict && found == KeysFound::Blank);
    if (!writable) return {};
    for (std::size_t i = 0; i < values.size(); ++i) ranges.columns[i]->setDataArray(values[i]);
    return {};
}

}  // namespace

const KeptBlocks::Ranges* KeptBlocks::Find(const BlockShape& shape) {
    const auto kept = std::find_if(blocks_.begin(), blocks_.end(),
                                   [&](const Kept& block) { return block.shape == shape; });
    if (kept == blocks_.end()) return nullptr;
    kept->used = ++uses_;
    return &kept->ranges;
}

Error KeptBlocks::Make(const SheetHandle& sheet, const BlockShape& shape, const Ranges*& made) {
    made = nullptr;
    Ranges ranges;
    ranges.keys = KeyColumns(sheet, shape.firstRow, shape.rows);
    if (!ranges.keys.is()) return {ErrorCode::Office, "the key columns cannot be read"};
    const int lastRow = shape.firstRow + shape.rows - 1;
    for (const auto& [first, last] : shape.columns) {
        ranges.columns.emplace_back(
            sheet->getCellRangeByPosition(first, shape.firstRow, last, lastRow), UNO_QUERY);
        if (!ranges.columns.back().is())
            return {ErrorCode::Office, "the rows' range takes no values"};
    }
    if (blocks_.size() >= kCapacity) {
        const auto oldest =
            std::min_element(blocks_.begin(), blocks_.end(),
                             [](const Kept& a, const Kept& b) { return a.used < b.used; });
        blocks_.erase(oldest);
    }
    blocks_.push_back({shape, std::move(ranges), ++uses_});
    made = &blocks_.back().ranges;
    return {};
}

Error WriteKeyedBlock(const SheetHandle& sheet, KeptBlocks& kept, const BlockShape& shape,
                      const std::vector<std::string>& expected,
                      const std::vector<RowValues>& values, bool& moved) {
    moved = false;
    if (const KeptBlocks::Ranges* ranges = kept.Find(shape)) {
        KeysFound found = KeysFound::Other;
        Error result;
        try {
            result = CheckAndWrite(*ranges, expected, values, true, found);
        } catch (const css::lang::DisposedException&) {
            throw;
        } catch (const css::uno::Exception&) {
            result = {ErrorCode::Office, "a kept range failed"};
        }
        if (result.ok() && found == KeysFound::Expected) return {};
        // The block is checked again, and written if it may be, through ranges got anew.
        kept.Clear();
    }
    const KeptBlocks::Ranges* ranges = nullptr;
    if (Error made = kept.Make(sheet, shape, ranges); !made.ok()) return made;
    KeysFound found = KeysFound::Other;
    Error result;
    try {
        result = CheckAndWrite(*ranges, expected, values, false, found);
    } catch (...) {
        kept.Clear();
        throw;
    }
    moved = result.ok() && found != KeysFound::Expected && found != KeysFound::Blank;
    if (!result.ok() || moved) kept.Clear();
    return result;
}

}  // namespace corvane::sheet
