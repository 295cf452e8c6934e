// Fake office objects for in-process tests: each records every call it receives in a
// shared log, each answer can be made empty or made to throw, and each reports its
// reference count, so a test can see the exact call sequence and what was released.
#pragma once

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <cppuhelper/implbase1.hxx>
#include <cppuhelper/implbase2.hxx>
#include <rtl/ref.hxx>

#include "fakes/fake_properties.hpp"

#include <exception>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace corvane::test {

using CallLog = std::vector<std::string>;

// What every fake shares: a name, the log and an optional exception for its one
// interesting call.
template <class Helper>
class Fake : public Helper {
  public:
    Fake(std::shared_ptr<CallLog> log, std::string name)
        : log_(std::move(log)), name_(std::move(name)) {}
    oslInterlockedCount RefCount() const { return this->m_refCount; }
    const std::string& Name() const { return name_; }
    // Thrown by the fake's main call instead of answering.
    std::exception_ptr error;

  protected:
    void Record(const std::string& call) {
        log_->push_back(name_ + "." + call);
        if (error) std::rethrow_exception(error);
    }

  private:
    std::shared_ptr<CallLog> log_;
    std::string name_;
};

class FakeContext : public Fake<cppu::WeakImplHelper1<css::uno::XComponentContext>> {
  public:
    using Fake::Fake;
    css::uno::Reference<css::lang::XMultiComponentFactory> serviceManager;
    css::uno::Any SAL_CALL getValueByName(const rtl::OUString& name) override;
    css::uno::Reference<css::lang::XMultiComponentFactory> SAL_CALL getServiceManager() override;
};

class FakeComponentFactory : public Fake<cppu::WeakImplHelper1<css::lang::XMultiComponentFactory>> {
  public:
    using Fake::Fake;
    std::map<std::string, css::uno::Reference<css::uno::XInterface>> instances;
    css::uno::Reference<css::uno::XInterface> SAL_CALL createInstanceWithContext(
        const rtl::OUString& service,
        const css::uno::Reference<css::uno::XComponentContext>& context) override;
    css::uno::Reference<css::uno::XInterface> SAL_CALL createInstanceWithArgumentsAndContext(
        const rtl::OUString& service, const css::uno::Sequence<css::uno::Any>& arguments,
        const css::uno::Reference<css::uno::XComponentContext>& context) override;
    css::uno::Sequence<rtl::OUString> SAL_CALL getAvailableServiceNames() override;
};

class FakeResolver : public Fake<cppu::WeakImplHelper1<css::bridge::XUnoUrlResolver>> {
  public:
    using Fake::Fake;
    css::uno::Reference<css::uno::XInterface> remote;
    css::uno::Reference<css::uno::XInterface> SAL_CALL resolve(const rtl::OUString& url) override;
};

// The office's service manager as resolved over the pipe.
class FakeManager
    : public Fake<
          cppu::WeakImplHelper2<css::lang::XMultiServiceFactory, css::beans::XPropertySet>> {
  public:
    using Fake::Fake;
    css::uno::Any defaultContext;
    css::uno::Reference<css::uno::XInterface> SAL_CALL
    createInstance(const rtl::OUString& service) override;
    css::uno::Reference<css::uno::XInterface> SAL_CALL createInstanceWithArguments(
        const rtl::OUString& service, const css::uno::Sequence<css::uno::Any>& arguments) override;
    css::uno::Sequence<rtl::OUString> SAL_CALL getAvailableServiceNames() override;
    css::uno::Reference<css::beans::XPropertySetInfo> SAL_CALL getPropertySetInfo() override;
    void SAL_CALL setPropertyValue(const rtl::OUString& name, const css::uno::Any& value) override;
    css::uno::Any SAL_CALL getPropertyValue(const rtl::OUString& name) override;
    CORVANE_FAKE_IGNORES_PROPERTY_LISTENERS
};

// A service manager that offers no property set.
class FakeServiceFactory : public Fake<cppu::WeakImplHelper1<css::lang::XMultiServiceFactory>> {
  public:
    using Fake::Fake;
    css::uno::Reference<css::uno::XInterface> SAL_CALL
    createInstance(const rtl::OUString& service) override;
    css::uno::Reference<css::uno::XInterface> SAL_CALL createInstanceWithArguments(
        const rtl::OUString& service, const css::uno::Sequence<css::uno::Any>& arguments) override;
    css::uno::Sequence<rtl::OUString> SAL_CALL getAvailableServiceNames() override;
};

class FakeDesktop : public Fake<cppu::WeakImplHelper1<css::frame::XComponentLoader>> {
  public:
    using Fake::Fake;
    css::uno::Reference<css::lang::XComponent> component;
    css::uno::Reference<css::lang::XComponent> SAL_CALL
    loadComponentFromURL(const rtl::OUString& url, const rtl::OUString& target, sal_Int32 flags,
                         const css::uno::Sequence<css::beans::PropertyValue>& arguments) override;
};

// A loaded component that is no spreadsheet.
class FakeComponent : public Fake<cppu::WeakImplHelper1<css::lang::XComponent>> {
  public:
    using Fake::Fake;
    void SAL_CALL dispose() override;
    void SAL_CALL addEventListener(const css::uno::Reference<css::lang::XEventListener>&) override {
    }
    void SAL_CALL
    removeEventListener(const css::uno::Reference<css::lang::XEventListener>&) override {}
};

class FakeDocument
    : public Fake<cppu::WeakImplHelper2<css::lang::XComponent, css::sheet::XSpreadsheetDocument>> {
  public:
    using Fake::Fake;
    css::uno::Reference<css::sheet::XSpreadsheets> sheets;
    css::uno::Reference<css::sheet::XSpreadsheets> SAL_CALL getSheets() override;
    void SAL_CALL dispose() override;
    void SAL_CALL addEventListener(const css::uno::Reference<css::lang::XEventListener>&) override {
    }
    void SAL_CALL
    removeEventListener(const css::uno::Reference<css::lang::XEventListener>&) override {}
};

class FakeSheets : public Fake<cppu::WeakImplHelper1<css::sheet::XSpreadsheets>> {
  public:
    using Fake::Fake;
    std::vector<std::string> names;
    css::uno::Sequence<rtl::OUString> SAL_CALL getElementNames() override;
    css::uno::Any SAL_CALL getByName(const rtl::OUString& name) override;
    sal_Bool SAL_CALL hasByName(const rtl::OUString& name) override;
    css::uno::Type SAL_CALL getElementType() override;
    sal_Bool SAL_CALL hasElements() override;
    void SAL_CALL insertNewByName(const rtl::OUString& name, sal_Int16 position) override;
    void SAL_CALL moveByName(const rtl::OUString& name, sal_Int16 position) override;
    void SAL_CALL copyByName(const rtl::OUString& name, const rtl::OUString& copy,
                             sal_Int16 position) override;
    void SAL_CALL insertByName(const rtl::OUString& name, const css::uno::Any& element) override;
    void SAL_CALL removeByName(const rtl::OUString& name) override;
    void SAL_CALL replaceByName(const rtl::OUString& name, const css::uno::Any& element) override;
};

// A complete, working office behind a local runtime, wired together. A test empties
// or replaces single answers to steer the connection into one failure.
struct FakeOffice {
    FakeOffice();
    std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
    rtl::Reference<FakeContext> local;
    rtl::Reference<FakeComponentFactory> localFactory;
    rtl::Reference<FakeResolver> resolver;
    rtl::Reference<FakeManager> manager;
    rtl::Reference<FakeContext> officeContext;
    rtl::Reference<FakeComponentFactory> officeFactory;
    rtl::Reference<FakeDesktop> desktop;
    rtl::Reference<FakeDocument> document;
    rtl::Reference<FakeSheets> sheets;

    // Reference counts of all the objects above, by name.
    std::map<std::string, oslInterlockedCount> RefCounts() const;
};

// Empties the link state of the test program and restores the default warning sink.
void ResetLink();

// The UNO exception `E` with `message`, for a fake to throw.
template <class E>
std::exception_ptr UnoError(const std::string& message) {
    E error;
    error.Message =
        rtl::OStringToOUString(rtl::OString(message.data(), static_cast<sal_Int32>(message.size())),
                               RTL_TEXTENCODING_UTF8);
    return std::make_exception_ptr(error);
}

}  // namespace corvane::test
