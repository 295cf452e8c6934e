// Which block writes carry a flush's changed rows. One call costs a fixed amount plus a
// little per row, so two runs of changed rows are cheaper as one block when rewriting
// the unchanged rows between them (from the table's own copy) costs less than the
// second call.
#pragma once

#include <array>
#include <functional>
#include <vector>

#include "core/defaults.hpp"

namespace corvane::live {

// The most rows one block write carries.
inline constexpr int kMaxBlockRows = defaults::kMaxBlockRows;

// The rows of a sheet: 1,048,576 in the office's spreadsheets.
inline constexpr int kSheetRows = defaults::kSheetRows;

// Seconds per block call and per row of a block.
struct CallCost {
    double perCall = 0;
    double perRow = 0;
};

struct Block {
    int firstRow = 0;
    int rows = 0;
    bool operator==(const Block& other) const {
        return firstRow == other.firstRow && rows == other.rows;
    }
};

// Plans the blocks that write the ascending, distinct rows in `changed`. A gap of
// unchanged rows between two of them is written along when every row of the gap is
// `known` (the table holds its values) and the gap's rows cost less than one call;
// blocks hold at most kMaxBlockRows rows. Returns false, with no blocks, when a changed
// row lies outside [0, rowLimit): nothing of such a flush is written.
bool PlanBlocks(const std::vector<int>& changed, const std::function<bool(int row)>& known,
                const CallCost& cost, int rowLimit, std::vector<Block>& blocks);

// The cost of one block call, learnt from measured calls. Calls are kept in classes by
// size (1 row, 2 to 3, 4 to 7, ... rows), each as the mean of its recent calls, with
// older calls weighing less and less; the cost is the line through the smallest and the
// largest class. The first guess holds until calls were measured; how the cost splits
// into the call and its rows, until calls of two classes were.
class CallCostEstimate {
  public:
    explicit CallCostEstimate(CallCost start);

    void Add(int rows, double seconds);
    CallCost Current() const { return current_; }

  private:
    struct SizeClass {
        double weight = 0, rows = 0, seconds = 0;  // decaying sums
    };
    std::array<SizeClass, 11> classes_{};  // up to 1024 rows and more
    CallCost current_;
};

}  // namespace corvane::live
