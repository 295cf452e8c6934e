#include "office/connection.hpp"

#include <osl/process.h>
#include <rtl/process.h>
#include <com/sun/star/awt/SystemDependentXWindow.hpp>
#include <com/sun/star/awt/XSystemDependentWindowPeer.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/SystemDependent.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <osl/file.hxx>

#include <cstdio>

#include "host/office_link.hpp"
#include "office/host_text.hpp"
#include "office/local_runtime.hpp"
#include "office/office_api.hpp"
#include "platform/files.hpp"

namespace corvane::office {
namespace {

using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::XInterface;

// One diagnostic line of a failed connection, where the link sends it.
void PrintLine(const std::string& line) {
    const OfficeLink& link = Link();
    if (link.connectionReport) {
        link.connectionReport(line);
        return;
    }
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// A document loaded hidden stays hidden in a headless office, whose document windows
// must never become visible. An office with a display shows it, so that a desktop
// user sees the live workbook.
void ShowOnDisplay(const Reference<css::lang::XComponent>& workbook) {
    const Reference<css::frame::XModel> model(workbook, UNO_QUERY);
    if (!model.is()) return;
    const Reference<css::frame::XController> controller = model->getCurrentController();
    if (!controller.is()) return;
    const Reference<css::frame::XFrame> frame = controller->getFrame();
    if (!frame.is()) return;
    const Reference<css::awt::XWindow> window = frame->getContainerWindow();
    const Reference<css::awt::XSystemDependentWindowPeer> peer(window, UNO_QUERY);
    if (!peer.is()) return;
    Sequence<sal_Int8> processId(16);
    rtl_getGlobalProcessId(reinterpret_cast<sal_uInt8*>(processId.getArray()));
    css::awt::SystemDependentXWindow system;
    if ((peer->getWindowHandle(processId, css::lang::SystemDependent::SYSTEM_XWINDOW) >>= system) &&
        system.WindowHandle != 0) {
        window->setVisible(true);
    }
}

Sequence<css::beans::PropertyValue> HiddenLoad() {
    css::beans::PropertyValue hidden;
    hidden.Name = "Hidden";
    hidden.Value <<= true;
    return Sequence<css::beans::PropertyValue>(&hidden, 1);
}

// The part of the connection in which office errors are expected: from resolving the
// pipe to storing the loaded workbook. Office exceptions pass to the caller.
Reference<css::lang::XMultiServiceFactory> ReachOffice(
    OfficeLink& link, const Reference<css::bridge::XUnoUrlResolver>& resolver) {
    const Reference<XInterface> remote = resolver->resolve(kConnectionUrl);
    if (!remote.is()) {
        PrintLine("StarOffice.ServiceManager is not exported from remote counterpart");
        return {};
    }
    link.ReleaseAtExit(OfficeLink::ExitStage::BridgeUp);
    Reference<css::lang::XMultiServiceFactory> factory(remote, UNO_QUERY);
    if (!factory.is()) {
        PrintLine("XMultiServiceFactory interface is not exported for StarOffice.ServiceManager");
        return {};
    }
    if (!platform::PathExists(link.workbookPath.GetString())) return {};
    link.workbookPath.SetString(MakeFileUrl(link.workbookPath.GetString()).c_str());

    const Reference<css::beans::XPropertySet> properties(remote, UNO_QUERY);
    if (!properties.is()) return {};
    const Reference<css::uno::XComponentContext> officeContext(
        properties->getPropertyValue(kDefaultContextProperty), UNO_QUERY);
    if (officeContext.is()) link.context = officeContext;

    const Reference<css::lang::XMultiComponentFactory> officeFactory =
        link.context->getServiceManager();
    if (!officeFactory.is()) return {};
    const Reference<css::frame::XComponentLoader> loader(
        officeFactory->createInstanceWithContext(kDesktopService, link.context), UNO_QUERY);
    if (!loader.is()) return {};

    // A locked workbook or a file that is no document loads as nothing, not an error.
    const Reference<css::lang::XComponent> workbook = loader->loadComponentFromURL(
        rtl::OUString::createFromAscii(link.workbookPath.GetString()), kNewFrame, 0, HiddenLoad());
    if (!workbook.is()) return {};
    ShowOnDisplay(workbook);

    const Reference<css::sheet::XSpreadsheetDocument> document(workbook, UNO_QUERY);
    if (!document.is()) return {};
    const Reference<css::sheet::XSpreadsheets> sheets = document->getSheets();
    if (!sheets.is()) return {};
    link.workbook = workbook;
    link.sheets = sheets;
    if (link.sheetCount == 0) {
        const sal_Int32 names = sheets->getElementNames().getLength();
        if (names > 0) link.sheetCount = static_cast<std::uint16_t>(names);
    }
    return factory;
}

}  // namespace

std::string MakeFileUrl(const char* path) {
    rtl::OUString url;
    osl::FileBase::getFileURLFromSystemPath(FromHostText(path), url);
    if (path != nullptr && path[0] != '/') {
        rtl::OUString workingDirectory;
        osl_getProcessWorkingDir(&workingDirectory.pData);
        rtl::OUString absolute;
        if (osl::FileBase::getAbsoluteFileURL(workingDirectory, url, absolute) ==
            osl::FileBase::E_None) {
            url = absolute;
        }
    }
    return ToUtf8(url);
}

Reference<css::lang::XMultiServiceFactory> ConnectOffice() {
    OfficeLink& link = Link();
    if (!link.runtime.is()) link.runtime = BootstrapLocalRuntime(link.officePath.GetString());
    link.context = link.runtime;
    if (!link.context.is()) return {};
    link.ReleaseAtExit(OfficeLink::ExitStage::RuntimeUp);

    const Reference<css::lang::XMultiComponentFactory> localFactory =
        link.context->getServiceManager();
    if (!localFactory.is()) return {};
    const Reference<XInterface> instance =
        localFactory->createInstanceWithContext(kUrlResolverService, link.context);
    if (!instance.is()) return {};
    const Reference<css::bridge::XUnoUrlResolver> resolver(instance, UNO_QUERY);
    if (!resolver.is()) {
        PrintLine("Error: Couldn't instantiate com.sun.star.bridge.UnoUrlResolver service");
        return {};
    }

    try {
        return ReachOffice(link, resolver);
    } catch (const css::uno::Exception& e) {
        PrintLine("Error: " + ToUtf8(e.Message));
        return {};
    }
}

}  // namespace corvane::office
