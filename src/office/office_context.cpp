#include "office/office_context.hpp"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>

#include <thread>

#include "office/office_api.hpp"

namespace corvane::office {

using css::uno::Reference;
using css::uno::UNO_QUERY;

Reference<css::uno::XComponentContext> ResolveOfficeContext(
    const Reference<css::uno::XComponentContext>& local) {
    const Reference<css::bridge::XUnoUrlResolver> resolver =
        css::bridge::UnoUrlResolver::create(local);
    const Reference<css::beans::XPropertySet> manager(resolver->resolve(kConnectionUrl), UNO_QUERY);
    const Reference<css::uno::XComponentContext> office(
        manager.is() ? manager->getPropertyValue(kDefaultContextProperty) : css::uno::Any(),
        UNO_QUERY);
    if (!office.is())
        throw css::uno::RuntimeException("the office on the pipe hands out no component context");
    return office;
}

void WaitUntilBridgesEnd(const Reference<css::uno::XComponentContext>& local,
                         std::chrono::milliseconds longest) {
    const Reference<css::bridge::XBridgeFactory2> bridges =
        css::bridge::BridgeFactory::create(local);
    const auto deadline = std::chrono::steady_clock::now() + longest;
    while (bridges->getExistingBridges().hasElements() &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace corvane::office
