#include "fakes/fake_office.hpp"

#include <com/sun/star/uno/RuntimeException.hpp>

#include "host/session_instance.hpp"
#include "support/office_client.hpp"

namespace corvane::test {
namespace {

using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::XInterface;

// Name of a fake context, for the log: which context an office call was given.
std::string NameOf(const Reference<css::uno::XComponentContext>& context) {
    if (!context.is()) return "<empty>";
    auto* fake = dynamic_cast<FakeContext*>(context.get());
    return fake != nullptr ? fake->Name() : "<foreign>";
}

[[noreturn]] void Unused() { throw css::uno::RuntimeException("not used by the library"); }

}  // namespace

Any FakeContext::getValueByName(const rtl::OUString&) { return {}; }
Reference<css::lang::XMultiComponentFactory> FakeContext::getServiceManager() {
    Record("getServiceManager");
    return serviceManager;
}

Reference<XInterface> FakeComponentFactory::createInstanceWithContext(
    const rtl::OUString& service, const Reference<css::uno::XComponentContext>& context) {
    Record("createInstanceWithContext(" + S(service) + ", " + NameOf(context) + ")");
    const auto found = instances.find(S(service));
    return found == instances.end() ? Reference<XInterface>() : found->second;
}
Reference<XInterface> FakeComponentFactory::createInstanceWithArgumentsAndContext(
    const rtl::OUString&, const Sequence<Any>&, const Reference<css::uno::XComponentContext>&) {
    Unused();
}
Sequence<rtl::OUString> FakeComponentFactory::getAvailableServiceNames() { Unused(); }

Reference<XInterface> FakeResolver::resolve(const rtl::OUString& url) {
    Record("resolve(" + S(url) + ")");
    return remote;
}

Reference<XInterface> FakeManager::createInstance(const rtl::OUString&) { Unused(); }
Reference<XInterface> FakeManager::createInstanceWithArguments(const rtl::OUString&,
                                                               const Sequence<Any>&) {
    Unused();
}
Sequence<rtl::OUString> FakeManager::getAvailableServiceNames() { Unused(); }
Reference<css::beans::XPropertySetInfo> FakeManager::getPropertySetInfo() { Unused(); }
void FakeManager::setPropertyValue(const rtl::OUString&, const Any&) { Unused(); }
Any FakeManager::getPropertyValue(const rtl::OUString& name) {
    Record("getPropertyValue(" + S(name) + ")");
    return defaultContext;
}

Reference<XInterface> FakeServiceFactory::createInstance(const rtl::OUString&) { Unused(); }
Reference<XInterface> FakeServiceFactory::createInstanceWithArguments(const rtl::OUString&,
                                                                      const Sequence<Any>&) {
    Unused();
}
Sequence<rtl::OUString> FakeServiceFactory::getAvailableServiceNames() { Unused(); }

Reference<css::lang::XComponent> FakeDesktop::loadComponentFromURL(
    const rtl::OUString& url, const rtl::OUString& target, sal_Int32 flags,
    const Sequence<css::beans::PropertyValue>& arguments) {
    std::string call =
        "loadComponentFromURL(" + S(url) + ", " + S(target) + ", " + std::to_string(flags) + ",";
    for (const css::beans::PropertyValue& argument : arguments) {
        bool flag = false;
        call += " " + S(argument.Name) + "=" +
                ((argument.Value >>= flag) ? (flag ? "true" : "false") : "?");
    }
    Record(call + ")");
    return component;
}

void FakeComponent::dispose() { Record("dispose"); }

Reference<css::sheet::XSpreadsheets> FakeDocument::getSheets() {
    Record("getSheets");
    return sheets;
}
void FakeDocument::dispose() { Record("dispose"); }

Sequence<rtl::OUString> FakeSheets::getElementNames() {
    Record("getElementNames");
    Sequence<rtl::OUString> result(static_cast<sal_Int32>(names.size()));
    for (std::size_t i = 0; i < names.size(); ++i) result.getArray()[i] = U(names[i]);
    return result;
}
Any FakeSheets::getByName(const rtl::OUString&) { Unused(); }
sal_Bool FakeSheets::hasByName(const rtl::OUString&) { Unused(); }
css::uno::Type FakeSheets::getElementType() { Unused(); }
sal_Bool FakeSheets::hasElements() { Unused(); }
void FakeSheets::insertNewByName(const rtl::OUString&, sal_Int16) { Unused(); }
void FakeSheets::moveByName(const rtl::OUString&, sal_Int16) { Unused(); }
void FakeSheets::copyByName(const rtl::OUString&, const rtl::OUString&, sal_Int16) { Unused(); }
void FakeSheets::insertByName(const rtl::OUString&, const Any&) { Unused(); }
void FakeSheets::removeByName(const rtl::OUString&) { Unused(); }
void FakeSheets::replaceByName(const rtl::OUString&, const Any&) { Unused(); }

FakeOffice::FakeOffice()
    : local(new FakeContext(log, "local")),
      localFactory(new FakeComponentFactory(log, "localFactory")),
      resolver(new FakeResolver(log, "resolver")),
      manager(new FakeManager(log, "manager")),
      officeContext(new FakeContext(log, "officeContext")),
      officeFactory(new FakeComponentFactory(log, "officeFactory")),
      desktop(new FakeDesktop(log, "desktop")),
      document(new FakeDocument(log, "document")),
      sheets(new FakeSheets(log, "sheets")) {
    local->serviceManager = localFactory.get();
    localFactory->instances["com.sun.star.bridge.UnoUrlResolver"] =
        static_cast<cppu::OWeakObject*>(resolver.get());
    resolver->remote = static_cast<cppu::OWeakObject*>(manager.get());
    manager->defaultContext <<= Reference<css::uno::XComponentContext>(officeContext.get());
    officeContext->serviceManager = officeFactory.get();
    officeFactory->instances["com.sun.star.frame.Desktop"] =
        static_cast<cppu::OWeakObject*>(desktop.get());
    desktop->component = static_cast<css::lang::XComponent*>(document.get());
    document->sheets = sheets.get();
    sheets->names = {"NSE", "BSE", "MCX"};
}

std::map<std::string, oslInterlockedCount> FakeOffice::RefCounts() const {
    return {{"local", local->RefCount()},
            {"localFactory", localFactory->RefCount()},
            {"resolver", resolver->RefCount()},
            {"manager", manager->RefCount()},
            {"officeContext", officeContext->RefCount()},
            {"officeFactory", officeFactory->RefCount()},
            {"desktop", desktop->RefCount()},
            {"document", document->RefCount()},
            {"sheets", sheets->RefCount()}};
}

void ResetLink() {
    office::Session& link = host::TheSession();
    link.StartOver();
    link.SetWarningHandler(nullptr, nullptr);
    host::TheOffices().Keep();  // the offices started by one case are not the next one's
}

}  // namespace corvane::test
