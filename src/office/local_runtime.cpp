#include "office/local_runtime.hpp"

#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>
#include <rtl/ustring.hxx>

#include <string>

#include "platform/files.hpp"

#ifndef CORVANE_OFFICE_PROGRAM_DIR
#define CORVANE_OFFICE_PROGRAM_DIR "/usr/lib/libreoffice/program"
#endif

namespace corvane::office {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY;

// The URE bootstrap file of the installation whose program directory is `dir`.
std::string FundamentalIni(const std::string& dir) { return dir + "/fundamentalrc"; }

}  // namespace

std::string BuiltOfficeProgramDir() { return CORVANE_OFFICE_PROGRAM_DIR; }

std::string BuiltOfficeProgram() { return BuiltOfficeProgramDir() + "/soffice"; }

Reference<css::uno::XComponentContext> BootstrapLocalRuntime(const char* officePath) {
    std::string ini = FundamentalIni(platform::RealDirectoryOf(officePath));
    if (!platform::PathExists(ini.c_str())) ini = FundamentalIni(BuiltOfficeProgramDir());
    if (!platform::PathExists(ini.c_str())) return {};
    // Without the URE bootstrap file the runtime comes up without the office's types,
    // and the first office call crashes the process instead of failing.
    rtl::Bootstrap::set("URE_BOOTSTRAP",
                        "vnd.sun.star.pathname:" + rtl::OStringToOUString(rtl::OString(ini.c_str()),
                                                                          RTL_TEXTENCODING_UTF8));
    return cppu::defaultBootstrap_InitialComponentContext();
}

void ShutDownLocalRuntime(Reference<css::uno::XComponentContext>& runtime) noexcept {
    if (!runtime.is()) return;
    // Each step on its own: a runtime whose bridges cannot be listed (no bridge was
    // ever made, or the bridge service is gone at exit) must still be disposed, or its
    // service manager and everything it loaded stay behind.
    try {
        const Reference<css::bridge::XBridgeFactory2> bridges =
            css::bridge::BridgeFactory::create(runtime);
        for (const Reference<css::bridge::XBridge>& bridge : bridges->getExistingBridges()) {
            Reference<css::lang::XComponent> component(bridge, UNO_QUERY);
            if (component.is()) component->dispose();
        }
    } catch (...) {
    }
    try {
        Reference<css::lang::XComponent> component(runtime, UNO_QUERY);
        if (component.is()) component->dispose();
    } catch (...) {
        // Unloading goes on whatever the runtime says.
    }
    runtime.clear();
}

}  // namespace corvane::office
