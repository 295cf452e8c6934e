#include "addin/live_functions.hpp"

#include <uno/lbnames.h>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XSingleComponentFactory.hpp>
#include <cppuhelper/factory.hxx>
#include <cppuhelper/supportsservice.hxx>

#include <exception>

#include "addin/live_arguments.hpp"
#include "addin/live_settings.hpp"
#include "office/host_text.hpp"
#include "platform/instrument_key.hpp"

namespace corvane::addin {
namespace {

// What an unexpected failure becomes at the office's door: nothing but a UNO exception
// ever leaves a call of Calc's.
[[noreturn]] void Rethrow() {
    try {
        throw;
    } catch (const css::uno::Exception&) {
        throw;
    } catch (const std::exception& e) {
        throw css::uno::RuntimeException(rtl::OUString::createFromAscii(e.what()));
    } catch (...) {
        throw css::uno::RuntimeException("the live formulas failed");
    }
}

}  // namespace

LiveFunctions::LiveFunctions(const css::uno::Reference<css::uno::XComponentContext>& office)
    : source_(std::make_unique<LiveSource>(office, LiveSettingsFile())) {
    try {
        css::frame::Desktop::create(office)->addTerminateListener(this);
    } catch (const css::uno::Exception&) {
        // No desktop (an office that is ending): the destructor stops the source.
    }
}

LiveFunctions::~LiveFunctions() { source_->Stop(); }

css::uno::Reference<css::sheet::XVolatileResult> LiveFunctions::live(const rtl::OUString& exchange,
                                                                     const css::uno::Any& code,
                                                                     const css::uno::Any& field) {
    try {
        const int column = FieldColumn(field);
        if (column < 0) throw css::lang::IllegalArgumentException("no such field", {}, 3);
        const std::string key = platform::InstrumentKey(office::ToUtf8(exchange), CodeText(code));
        if (key.empty())
            throw css::lang::IllegalArgumentException("no exchange or no scrip code", {}, 1);
        return source_->Result(key, column).get();
    } catch (...) {
        Rethrow();
    }
}

css::uno::Reference<css::sheet::XVolatileResult> LiveFunctions::liveStatus() {
    try {
        return source_->Status().get();
    } catch (...) {
        Rethrow();
    }
}

sal_Int32 LiveFunctions::liveSubscriptions() {
    try {
        return static_cast<sal_Int32>(source_->Subscriptions());
    } catch (...) {
        Rethrow();
    }
}

rtl::OUString LiveFunctions::getImplementationName() {
    return rtl::OUString::createFromAscii(kImplementationName);
}

sal_Bool LiveFunctions::supportsService(const rtl::OUString& name) {
    return cppu::supportsService(this, name);
}

css::uno::Sequence<rtl::OUString> LiveFunctions::getSupportedServiceNames() {
    const rtl::OUString name = rtl::OUString::createFromAscii(kServiceName);
    return css::uno::Sequence<rtl::OUString>(&name, 1);
}

void LiveFunctions::notifyTermination(const css::lang::EventObject&) {
    try {
        source_->Stop();
    } catch (...) {
        // Ending anyway.
    }
}

namespace {

css::uno::Reference<css::uno::XInterface> SAL_CALL
Create(const css::uno::Reference<css::uno::XComponentContext>& office) {
    return static_cast<cppu::OWeakObject*>(new LiveFunctions(office));
}

}  // namespace

}  // namespace corvane::addin

// The entry points the office's loader looks for. The factory hands out one instance,
// which every document shares.
extern "C" SAL_DLLPUBLIC_EXPORT void SAL_CALL
component_getImplementationEnvironment(const char** environment, uno_Environment**) {
    *environment = CPPU_CURRENT_LANGUAGE_BINDING_NAME;
}

extern "C" SAL_DLLPUBLIC_EXPORT void* SAL_CALL component_getFactory(const char* name, void*,
                                                                    void*) {
    using namespace corvane::addin;
    if (name == nullptr || rtl_str_compare(name, kImplementationName) != 0) return nullptr;
    try {
        const rtl::OUString service = rtl::OUString::createFromAscii(kServiceName);
        css::uno::Reference<css::lang::XSingleComponentFactory> factory =
            cppu::createOneInstanceComponentFactory(
                Create, rtl::OUString::createFromAscii(kImplementationName),
                css::uno::Sequence<rtl::OUString>(&service, 1));
        // The loader takes over this reference.
        factory->acquire();
        return factory.get();
    } catch (...) {
        return nullptr;
    }
}
