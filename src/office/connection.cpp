#include "office/connection.hpp"

#include <osl/process.h>
#include <rtl/process.h>
#include <com/sun/star/awt/SystemDependentXWindow.hpp>
#include <com/sun/star/awt/XSystemDependentWindowPeer.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XDesktop.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/SystemDependent.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <osl/file.hxx>

#include "office/host_text.hpp"
#include "office/office_api.hpp"
#include "office/office_pipe.hpp"
#include "office/stale_lock.hpp"
#include "platform/files.hpp"

namespace corvane::office {
namespace {

using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::XInterface;

// One connection attempt: the workbook asked for, and the diagnostic line of its
// failure, which goes where the session sends it and into the error's message.
class Attempt {
  public:
    explicit Attempt(const Session& session)
        : session_(session), workbook_(session.Config().workbookPath) {}

    void Print(const std::string& line) {
        line_ = line;
        session_.Observer().ConnectionFailed(line);
    }

    Error NoOffice() const {
        if (Error missing = Missing(); !missing.ok()) return missing;
        return {ErrorCode::Connect,
                "no office accepts connections on the pipe \"" + std::string(kOfficePipe) +
                    "\" (an office that was just started needs a moment: try again)" + Suffix()};
    }

    Error NotLoaded() const {
        if (Error missing = Missing(); !missing.ok()) return missing;
        return {ErrorCode::Load, "the workbook \"" + workbook_ +
                                     "\" did not load (not a spreadsheet, unreadable, or locked "
                                     "by another office)" +
                                     Suffix()};
    }

  private:
    // A missing workbook cannot load whichever office answers, and waiting will not change
    // that: it is never reported as an office still starting.
    Error Missing() const {
        if (platform::PathExists(workbook_.c_str())) return {};
        return {ErrorCode::Load, "the workbook \"" + workbook_ + "\" does not exist"};
    }
    std::string Suffix() const { return line_.empty() ? std::string() : ": " + line_; }

    const Session& session_;
    const std::string workbook_;
    std::string line_;
};

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

// A workbook this session loaded earlier at `url` that the office still holds, or
// an empty reference.
Reference<css::lang::XComponent> OpenWorkbook(const Session& session,
                                              const Reference<css::frame::XComponentLoader>& loader,
                                              const rtl::OUString& url) {
    if (!session.Loaded(ToUtf8(url))) return {};
    const Reference<css::frame::XDesktop> desktop(loader, UNO_QUERY);
    if (!desktop.is()) return {};
    const Reference<css::container::XEnumerationAccess> components = desktop->getComponents();
    const Reference<css::container::XEnumeration> items =
        components.is() ? components->createEnumeration() : nullptr;
    while (items.is() && items->hasMoreElements()) {
        const Reference<css::frame::XModel> model(items->nextElement(), UNO_QUERY);
        if (model.is() && model->getURL() == url &&
            Reference<css::sheet::XSpreadsheetDocument>(model, UNO_QUERY).is()) {
            return Reference<css::lang::XComponent>(model, UNO_QUERY);
        }
    }
    return {};
}

// Loads the workbook into a new frame, hidden. A locked workbook or a file that is no
// document loads as nothing, not an error: when a lock file left by an office that no
// longer runs is what stands in the way, it is removed and the load tried once more.
Reference<css::lang::XComponent> LoadWorkbook(Session& session,
                                              const Reference<css::frame::XComponentLoader>& loader,
                                              const rtl::OUString& url) {
    Reference<css::lang::XComponent> workbook =
        loader->loadComponentFromURL(url, kNewFrame, 0, HiddenLoad());
    if (workbook.is()) return workbook;
    const std::string removed = RemoveStaleLock(ToUtf8(url));
    if (removed.empty()) return {};
    session.Warn(
        ("Removed the lock file \"" + removed + "\" left behind by an office that no longer runs")
            .c_str());
    return loader->loadComponentFromURL(url, kNewFrame, 0, HiddenLoad());
}

// The part of the connection in which office errors are expected: from resolving the
// pipe to storing the loaded workbook. Office exceptions pass to the caller.
Error ReachOffice(Session& session, Attempt& attempt,
                  const Reference<css::bridge::XUnoUrlResolver>& resolver) {
    const std::string& connectionUrl = session.Config().connectionUrl;
    const Reference<XInterface> remote = resolver->resolve(
        connectionUrl.empty() ? rtl::OUString::createFromAscii(ConnectionUrl().c_str())
                              : FromHostText(connectionUrl.c_str()));
    if (!remote.is()) {
        attempt.Print("StarOffice.ServiceManager is not exported from remote counterpart");
        return attempt.NoOffice();
    }
    session.Observer().BridgeUp();
    Reference<css::lang::XMultiServiceFactory> factory(remote, UNO_QUERY);
    if (!factory.is()) {
        attempt.Print(
            "XMultiServiceFactory interface is not exported for StarOffice.ServiceManager");
        return attempt.NoOffice();
    }
    if (!platform::PathExists(session.Config().workbookPath.c_str())) return attempt.NotLoaded();
    session.SetWorkbookPath(MakeFileUrl(session.Config().workbookPath.c_str()));

    const Reference<css::beans::XPropertySet> properties(remote, UNO_QUERY);
    if (!properties.is()) return attempt.NoOffice();
    const Reference<css::uno::XComponentContext> officeContext(
        properties->getPropertyValue(kDefaultContextProperty), UNO_QUERY);
    if (officeContext.is()) session.UseContext(officeContext);

    if (Error refused = session.Observer().Admit(session.Context()); !refused.ok()) return refused;
    const Reference<css::lang::XMultiComponentFactory> officeFactory =
        session.Context()->getServiceManager();
    if (!officeFactory.is()) return attempt.NoOffice();
    const Reference<css::frame::XComponentLoader> loader(
        officeFactory->createInstanceWithContext(kDesktopService, session.Context()), UNO_QUERY);
    if (!loader.is()) return attempt.NoOffice();

    const rtl::OUString url = rtl::OUString::createFromAscii(session.Config().workbookPath.c_str());
    Reference<css::lang::XComponent> workbook = OpenWorkbook(session, loader, url);
    if (!workbook.is()) {
        workbook = LoadWorkbook(session, loader, url);
        if (!workbook.is()) return attempt.NotLoaded();
        ShowOnDisplay(workbook);
    }

    const Reference<css::sheet::XSpreadsheetDocument> document(workbook, UNO_QUERY);
    if (!document.is()) return attempt.NotLoaded();
    const Reference<css::sheet::XSpreadsheets> sheets = document->getSheets();
    if (!sheets.is()) return attempt.NotLoaded();
    session.AdoptWorkbook(workbook, sheets, session.Config().workbookPath);
    if (session.SheetCount() == 0) session.NoteSheetCount(sheets->getElementNames().getLength());
    return {};
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

bool EnsureRuntime(Session& session) { return session.StartRuntime(session.Config().officePath); }

Error ConnectOffice(Session& session) {
    Attempt attempt(session);
    if (!EnsureRuntime(session)) {
        session.DropContext();
        return attempt.NoOffice();
    }
    session.UseContext(session.Runtime());

    const Reference<css::lang::XMultiComponentFactory> localFactory =
        session.Context()->getServiceManager();
    if (!localFactory.is()) return attempt.NoOffice();
    const Reference<XInterface> instance =
        localFactory->createInstanceWithContext(kUrlResolverService, session.Context());
    if (!instance.is()) return attempt.NoOffice();
    const Reference<css::bridge::XUnoUrlResolver> resolver(instance, UNO_QUERY);
    if (!resolver.is()) {
        attempt.Print("Error: Couldn't instantiate com.sun.star.bridge.UnoUrlResolver service");
        return attempt.NoOffice();
    }

    // Whether the office was reached tells a failed load from a missing office.
    try {
        return ReachOffice(session, attempt, resolver);
    } catch (const css::lang::DisposedException& e) {
        attempt.Print("Error: " + ToUtf8(e.Message));
        return attempt.NoOffice();  // the office went away while it was being asked
    } catch (const css::uno::Exception& e) {
        attempt.Print("Error: " + ToUtf8(e.Message));
        return session.Connected() ? attempt.NotLoaded() : attempt.NoOffice();
    }
}

}  // namespace corvane::office
