// Fast writes: the loaded workbook's undo recording and automatic row-height adjustment
// turned off for as long as the caller wants, which cuts what the office spends on each
// write. It changes what the user of the office can undo, so it is only ever on when
// asked for.
#pragma once

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/uno/Reference.hxx>

#include "office/session.hpp"

namespace corvane::sheet {

using office::FastWriteState;

// The document settings involved.
inline constexpr char kUndoSetting[] = "IsUndoEnabled";
inline constexpr char kAdjustHeightSetting[] = "IsAdjustHeightEnabled";

// Turns fast writes on or off. On: the loaded workbook's settings change now, and any
// workbook loaded later gets them before the library first writes to it. Off: the
// settings that this library turned off are turned back on, and row heights adjust
// again. Office errors are not reported: a setting the office refuses stays as it is,
// and the library writes as before. Never throws.
void SetFastWrites(office::Session& session, bool enabled) noexcept;

// Called before each row write: makes sure the loaded workbook has fast writes when
// they are on. Costs no office call except once per workbook. Never throws.
void PrepareFastWrites(office::Session& session) noexcept;

// While it lives, row heights adjust to what is written even under fast writes: the
// office does not adjust rows written without it later, not even once fast writes are
// off again. The title row, with its two-line titles, is written in such a scope. Costs
// two office calls when fast writes turned the adjustment off, none otherwise. Never
// throws.
class RowHeightsAdjusted {
  public:
    explicit RowHeightsAdjusted(const office::Session& session) noexcept;
    ~RowHeightsAdjusted();
    RowHeightsAdjusted(const RowHeightsAdjusted&) = delete;
    RowHeightsAdjusted& operator=(const RowHeightsAdjusted&) = delete;

  private:
    css::uno::Reference<css::beans::XPropertySet> settings_;  // empty: nothing to undo
};

}  // namespace corvane::sheet
