#include "sheet/fast_writes.hpp"

#include <com/sun/star/uno/Exception.hpp>

namespace corvane::sheet {
namespace {

// Turns one boolean setting off when it is on, and tells whether it did. The row-height
// setting counts how often it was turned off, so it is never turned off twice.
bool TurnOff(const css::uno::Reference<css::beans::XPropertySet>& settings, const char* name) {
    const rtl::OUString property = rtl::OUString::createFromAscii(name);
    bool on = false;
    if (!(settings->getPropertyValue(property) >>= on) || !on) return false;
    settings->setPropertyValue(property, css::uno::Any(false));
    return true;
}

}  // namespace

void FastWrites::Forget() noexcept {
    settings_.clear();
    workbook_.clear();
    undoTurnedOff_ = false;
    heightTurnedOff_ = false;
}

// Turns back on what TurnOff turned off on the workbook last changed, and forgets that
// workbook. The office may have gone meanwhile: nothing is reported.
void FastWrites::Restore() noexcept {
    const bool undo = undoTurnedOff_;
    const bool height = heightTurnedOff_;
    const css::uno::Reference<css::beans::XPropertySet> settings = settings_;
    Forget();
    if (!settings.is()) return;
    // Each setting on its own: one that fails does not keep the other off.
    if (height) {
        try {
            settings->setPropertyValue(kAdjustHeightSetting, css::uno::Any(true));
        } catch (...) {
        }
    }
    if (undo) {
        try {
            settings->setPropertyValue(kUndoSetting, css::uno::Any(true));
        } catch (...) {
        }
    }
}

void FastWrites::Apply(const css::uno::Reference<css::lang::XComponent>& workbook) {
    if (workbook_.get() == workbook.get()) return;
    Restore();  // a workbook loaded earlier goes back to how it was
    // Recorded first: a workbook whose settings cannot be changed is tried only once.
    workbook_ = workbook;
    settings_.set(workbook, css::uno::UNO_QUERY);
    if (!settings_.is()) return;
    try {
        undoTurnedOff_ = TurnOff(settings_, kUndoSetting);
        heightTurnedOff_ = TurnOff(settings_, kAdjustHeightSetting);
    } catch (const css::uno::Exception&) {
    }
}

void FastWrites::Set(const css::uno::Reference<css::lang::XComponent>& workbook,
                     bool enabled) noexcept {
    enabled_ = enabled;
    if (!enabled) {
        Restore();
        return;
    }
    try {
        if (workbook.is()) Apply(workbook);
    } catch (...) {
        // Not applied, or not all of it: the library writes as it would without.
    }
}

void FastWrites::Prepare(const css::uno::Reference<css::lang::XComponent>& workbook) noexcept {
    if (!enabled_ || !workbook.is()) return;
    try {
        Apply(workbook);
    } catch (...) {
        // As in Set: the write goes ahead with the settings as they are.
    }
}

RowHeightsAdjusted::RowHeightsAdjusted(const FastWrites& fastWrites) noexcept {
    if (!fastWrites.heightTurnedOff_ || !fastWrites.settings_.is()) return;
    try {
        fastWrites.settings_->setPropertyValue(kAdjustHeightSetting, css::uno::Any(true));
        settings_ = fastWrites.settings_;
    } catch (...) {
        // The rows are written as they would be without this scope.
    }
}

RowHeightsAdjusted::~RowHeightsAdjusted() {
    if (!settings_.is()) return;
    try {
        settings_->setPropertyValue(kAdjustHeightSetting, css::uno::Any(false));
    } catch (...) {
        // Left on: turning fast writes off later turns it on once more, which changes
        // nothing on a setting that is on.
    }
}

}  // namespace corvane::sheet
