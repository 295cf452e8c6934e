#include "support/office_client.hpp"
#include "office/office_pipe.hpp"

#include <signal.h>

#include <gtest/gtest.h>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace corvane::test {

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

rtl::OUString U(const std::string& text) {
    return rtl::OStringToOUString(rtl::OString(text.data(), static_cast<sal_Int32>(text.size())),
                                  RTL_TEXTENCODING_UTF8);
}

std::string S(const rtl::OUString& text) {
    return rtl::OUStringToOString(text, RTL_TEXTENCODING_UTF8).getStr();
}

std::unique_ptr<OfficeClient> OfficeClient::Connect(std::chrono::milliseconds timeout) {
    // The test's own connection is not the library's, whose calls guard against SIGPIPE:
    // an office the test ends while its bridge still writes must not kill the test.
    ::signal(SIGPIPE, SIG_IGN);
    std::unique_ptr<OfficeClient> client(new OfficeClient);
    rtl::Bootstrap::set("URE_BOOTSTRAP",
                        "vnd.sun.star.pathname:" CORVANE_OFFICE_PROGRAM_DIR "/fundamentalrc");
    client->local_ = cppu::defaultBootstrap_InitialComponentContext();
    const Reference<css::bridge::XUnoUrlResolver> resolver =
        css::bridge::UnoUrlResolver::create(client->local_);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        try {
            const Reference<css::beans::XPropertySet> manager(
                resolver->resolve(U(office::ConnectionUrl())), UNO_QUERY_THROW);
            const Reference<css::uno::XComponentContext> office(
                manager->getPropertyValue("DefaultContext"), UNO_QUERY_THROW);
            client->desktop_ = css::frame::Desktop::create(office);
            client->office_ = office;
            return client;
        } catch (const css::uno::Exception&) {
            if (std::chrono::steady_clock::now() > deadline) return nullptr;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
}

OfficeClient::~OfficeClient() {
    desktop_.clear();
    office_.clear();
    DisposeBridges();
    try {
        Reference<css::lang::XComponent>(local_, UNO_QUERY_THROW)->dispose();
    } catch (...) {
    }
}

void OfficeClient::DisposeBridges() const noexcept {
    try {
        const Reference<css::bridge::XBridgeFactory2> bridges =
            css::bridge::BridgeFactory::create(local_);
        for (const auto& bridge : bridges->getExistingBridges()) {
            Reference<css::lang::XComponent> component(bridge, UNO_QUERY);
            if (component.is()) component->dispose();
        }
    } catch (...) {
    }
}

std::vector<Reference<css::lang::XComponent>> OfficeClient::Documents() const {
    std::vector<Reference<css::lang::XComponent>> documents;
    const Reference<css::container::XEnumeration> all =
        desktop_->getComponents()->createEnumeration();
    while (all->hasMoreElements()) {
        Reference<css::lang::XComponent> document(all->nextElement(), UNO_QUERY);
        if (document.is()) documents.push_back(document);
    }
    return documents;
}

Reference<css::sheet::XSpreadsheetDocument> OfficeClient::Document(const std::string& url) const {
    for (const auto& document : Documents()) {
        Reference<css::frame::XModel> model(document, UNO_QUERY);
        if (model.is() && S(model->getURL()) == url)
            return Reference<css::sheet::XSpreadsheetDocument>(document, UNO_QUERY);
    }
    return {};
}

Reference<css::sheet::XSpreadsheet> OfficeClient::Sheet(const std::string& url,
                                                        const std::string& name) const {
    const Reference<css::sheet::XSpreadsheetDocument> document = Document(url);
    if (!document.is()) {
        ADD_FAILURE() << "no open document " << url;
        return {};
    }
    return Reference<css::sheet::XSpreadsheet>(document->getSheets()->getByName(U(name)),
                                               UNO_QUERY_THROW);
}

void OfficeClient::Terminate() noexcept {
    // An office that no longer answers must not hold the test's end: its bridge is cut
    // after a while, which makes the blocked call throw.
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(mutex);
        if (!changed.wait_for(lock, std::chrono::seconds(30), [&] { return done; }))
            DisposeBridges();
    });
    try {
        for (const auto& document : Documents()) {
            Reference<css::util::XModifiable> modifiable(document, UNO_QUERY);
            if (modifiable.is()) modifiable->setModified(false);
            Reference<css::util::XCloseable> closeable(document, UNO_QUERY);
            if (closeable.is()) closeable->close(true);
        }
        desktop_->terminate();
    } catch (...) {
        // The office may already be gone; the session kills what is left.
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
    }
    changed.notify_all();
    watchdog.join();
}

}  // namespace corvane::test
