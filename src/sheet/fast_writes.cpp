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

// Turns back on what TurnOff turned off on the workbook the state refers to, and forgets
// that workbook. The office may have gone meanwhile: nothing is reported.
void Restore(FastWriteState& state) noexcept {
    const bool undo = state.undoTurnedOff;
    const bool height = state.heightTurnedOff;
    const css::uno::Reference<css::beans::XPropertySet> settings = state.settings;
    state.Forget();
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

void Apply(FastWriteState& state, const css::uno::Reference<css::lang::XComponent>& workbook) {
    if (state.workbook.get() == workbook.get()) return;
    Restore(state);  // a workbook loaded earlier goes back to how it was
    // Recorded first: a workbook whose settings cannot be changed is tried only once.
    state.workbook = workbook;
    state.settings.set(workbook, css::uno::UNO_QUERY);
    if (!state.settings.is()) return;
    try {
        state.undoTurnedOff = TurnOff(state.settings, kUndoSetting);
        state.heightTurnedOff = TurnOff(state.settings, kAdjustHeightSetting);
    } catch (const css::uno::Exception&) {
    }
}

}  // namespace

void SetFastWrites(office::Session& link, bool enabled) noexcept {
    link.fastWrites.enabled = enabled;
    if (!enabled) {
        Restore(link.fastWrites);
        return;
    }
    try {
        if (link.workbook.is()) Apply(link.fastWrites, link.workbook);
    } catch (...) {
        // Not applied, or not all of it: the library writes as it would without.
    }
}

void PrepareFastWrites(office::Session& link) noexcept {
    if (!link.fastWrites.enabled || !link.workbook.is()) return;
    try {
        Apply(link.fastWrites, link.workbook);
    } catch (...) {
        // As in SetFastWrites: the write goes ahead with the settings as they are.
    }
}

RowHeightsAdjusted::RowHeightsAdjusted(const office::Session& session) noexcept {
    const FastWriteState& state = session.fastWrites;
    if (!state.heightTurnedOff || !state.settings.is()) return;
    try {
        state.settings->setPropertyValue(kAdjustHeightSetting, css::uno::Any(true));
        settings_ = state.settings;
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
