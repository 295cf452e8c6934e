// Fast writes: the loaded workbook's undo recording and automatic row-height adjustment
// turned off for as long as the caller wants, which cuts what the office spends on each
// write. It changes what the user of the office can undo, so it is only ever on when
// asked for.
#pragma once

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/uno/Reference.hxx>

namespace corvane::sheet {

// The document settings involved.
inline constexpr char kUndoSetting[] = "IsUndoEnabled";
inline constexpr char kAdjustHeightSetting[] = "IsAdjustHeightEnabled";

// Whether fast writes are on, and what they changed on which workbook. Whoever owns the
// session keeps one beside it, and has it forget the workbook when the session forgets
// the office.
class FastWrites {
  public:
    FastWrites() = default;
    FastWrites(const FastWrites&) = delete;
    FastWrites& operator=(const FastWrites&) = delete;

    // Turns fast writes on or off. On: the settings of `workbook` (the loaded one, or
    // empty) change now, and any workbook loaded later gets them before the library
    // first writes to it. Off: the settings that this library turned off are turned back
    // on, and row heights adjust again. Office errors are not reported: a setting the
    // office refuses stays as it is, and the library writes as before. Never throws.
    void Set(const css::uno::Reference<css::lang::XComponent>& workbook, bool enabled) noexcept;
    // Called before each row write to `workbook`: makes sure it has fast writes when they
    // are on. Costs no office call except once per workbook. Never throws.
    void Prepare(const css::uno::Reference<css::lang::XComponent>& workbook) noexcept;
    // Forgets the workbook without any office call (the connection is being dropped).
    void Forget() noexcept;

  private:
    friend class RowHeightsAdjusted;

    void Apply(const css::uno::Reference<css::lang::XComponent>& workbook);
    void Restore() noexcept;

    bool enabled_ = false;
    // The workbook the settings were last changed on (empty: none yet), and its
    // settings; a newly loaded workbook gets them on the library's next write to it.
    css::uno::Reference<css::lang::XComponent> workbook_;
    css::uno::Reference<css::beans::XPropertySet> settings_;
    // Which settings this library turned off, so that only those are turned back on.
    bool undoTurnedOff_ = false;
    bool heightTurnedOff_ = false;
};

// While it lives, row heights adjust to what is written even under fast writes: the
// office does not adjust rows written without it later, not even once fast writes are
// off again. The title row, with its two-line titles, is written in such a scope. Costs
// two office calls when fast writes turned the adjustment off, none otherwise. Never
// throws.
class RowHeightsAdjusted {
  public:
    explicit RowHeightsAdjusted(const FastWrites& fastWrites) noexcept;
    ~RowHeightsAdjusted();
    RowHeightsAdjusted(const RowHeightsAdjusted&) = delete;
    RowHeightsAdjusted& operator=(const RowHeightsAdjusted&) = delete;

  private:
    css::uno::Reference<css::beans::XPropertySet> settings_;  // empty: nothing to undo
};

}  // namespace corvane::sheet
