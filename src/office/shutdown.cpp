#include "office/shutdown.hpp"

#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XDesktop.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XFramesSupplier.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/util/CloseVetoException.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>

#include <chrono>
#include <thread>
#include <vector>

#include "office/office_api.hpp"
#include "platform/process.hpp"

namespace corvane::office {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::XInterface;

// The office's desktop: created in the office's own context, or, when a later failed
// connection attempt left only the local context in the link, reached through the
// loaded workbook's frame, whose creator it is.
Reference<css::frame::XDesktop> OfficeDesktop(const Session& link) {
    if (link.Connected()) {
        const Reference<css::lang::XMultiComponentFactory> factory =
            link.Context()->getServiceManager();
        if (!factory.is()) return {};
        return Reference<css::frame::XDesktop>(
            factory->createInstanceWithContext(rtl::OUString::createFromAscii(kDesktopService),
                                               link.Context()),
            UNO_QUERY);
    }
    const Reference<css::frame::XModel> model(link.Workbook(), UNO_QUERY);
    const Reference<css::frame::XController> controller =
        model.is() ? model->getCurrentController() : Reference<css::frame::XController>();
    const Reference<css::frame::XFrame> frame =
        controller.is() ? controller->getFrame() : Reference<css::frame::XFrame>();
    return frame.is() ? Reference<css::frame::XDesktop>(frame->getCreator(), UNO_QUERY)
                      : Reference<css::frame::XDesktop>();
}

std::vector<Reference<XInterface>> OpenComponents(const Reference<css::frame::XDesktop>& desktop) {
    std::vector<Reference<XInterface>> components;
    const Reference<css::container::XEnumerationAccess> access = desktop->getComponents();
    if (!access.is()) return components;
    const Reference<css::container::XEnumeration> items = access->createEnumeration();
    while (items.is() && items->hasMoreElements()) {
        Reference<XInterface> component(items->nextElement(), UNO_QUERY);
        if (component.is()) components.push_back(component);
    }
    return components;
}

// Marks the document unmodified, so that no office asks to save it, and closes it.
void CloseUnsaved(const Reference<XInterface>& component) {
    try {
        const Reference<css::util::XModifiable> modifiable(component, UNO_QUERY);
        if (modifiable.is()) modifiable->setModified(false);
        const Reference<css::util::XCloseable> closeable(component, UNO_QUERY);
        if (closeable.is()) closeable->close(true);
    } catch (const css::util::CloseVetoException&) {
        // Whoever vetoed now owns the document and closes it when done with it.
    } catch (const css::lang::DisposedException&) {
        // Closed meanwhile.
    }
}

// An ending office closes its connections, which ends the library's bridge; by then it
// no longer accepts on the pipe, and its process exits moments later. Waiting for that
// (a bounded while) spares the caller a connection to an office on its way out.
void WaitUntilDisconnected(const Reference<css::uno::XComponentContext>& runtime) {
    constexpr auto kLongest = std::chrono::seconds(10);
    constexpr auto kPause = std::chrono::milliseconds(10);
    if (!runtime.is()) return;
    const Reference<css::bridge::XBridgeFactory2> bridges =
        css::bridge::BridgeFactory::create(runtime);
    const auto deadline = DeadlineAfter(kLongest);
    while (bridges->getExistingBridges().hasElements() &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kPause);
    }
}

}  // namespace

namespace {

// The office went away during a call: by the deadline (it was cut off), or by itself.
Error Lost(Session& link, CallDeadline& deadline) {
    if (deadline.TimedOut()) return deadline.Expired();
    link.ForgetOffice();
    return {ErrorCode::Office, "the office no longer answers"};
}

// Ends the office through `desktop` once its documents are closed, and waits for it to
// go: the part both shutdowns share.
Error Terminate(Session& link, const Reference<css::frame::XDesktop>& desktop,
                CallDeadline& deadline) {
    bool ended = true;
    try {
        ended = desktop->terminate();
    } catch (const css::lang::DisposedException&) {
        // The office went away before it could answer: it ended.
    }
    if (deadline.TimedOut()) return deadline.Expired();
    // Nothing may call into the ended office any more.
    link.ForgetOffice();
    if (!ended) {
        return {ErrorCode::Office,
                "the office closed its documents but refused to end (another client may be "
                "holding it)"};
    }
    WaitUntilDisconnected(link.Runtime());
    return {};
}

}  // namespace

Error ShutDownOffice(Session& link) {
    if (!link.Sheets().is() || !link.Workbook().is())
        return {ErrorCode::NotConnected, "not connected to an office"};
    // The office's part is bounded by the call deadline; waiting for it to exit is not.
    CallDeadline deadline(link);
    try {
        const Reference<css::frame::XDesktop> desktop = OfficeDesktop(link);
        if (!desktop.is()) return {ErrorCode::Office, "the office offers no desktop"};
        for (const Reference<XInterface>& component : OpenComponents(desktop)) {
            CloseUnsaved(component);
        }
        return Terminate(link, desktop, deadline);
    } catch (const css::lang::DisposedException&) {
        return Lost(link, deadline);
    }
}

Error CloseWorkbookAndIdleOffice(Session& link, int& othersOpen) {
    othersOpen = 0;
    if (!link.Workbook().is()) return {ErrorCode::NotConnected, "not connected to an office"};
    CallDeadline deadline(link);
    try {
        const Reference<css::frame::XDesktop> desktop = OfficeDesktop(link);
        CloseUnsaved(link.Workbook());
        if (!desktop.is()) {
            link.ForgetOffice();
            return {ErrorCode::Office, "the office offers no desktop"};
        }
        // Documents only: a window without one (a start center) holds nothing of anyone's.
        for (const Reference<XInterface>& component : OpenComponents(desktop))
            if (Reference<css::frame::XModel>(component, UNO_QUERY).is()) ++othersOpen;
        if (othersOpen > 0) {
            if (deadline.TimedOut()) return deadline.Expired();
            link.ForgetOffice();
            return {ErrorCode::Office, "the office holds " + std::to_string(othersOpen) +
                                           " other document(s): it is left running"};
        }
        return Terminate(link, desktop, deadline);
    } catch (const css::lang::DisposedException&) {
        return Lost(link, deadline);
    }
}

}  // namespace corvane::office
