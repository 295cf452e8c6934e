#include "office/office_context.hpp"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>

#include "office/office_api.hpp"
#include "office/office_pipe.hpp"

namespace corvane::office {

using css::uno::Reference;
using css::uno::UNO_QUERY;

Reference<css::uno::XComponentContext> ResolveOfficeContext(
    const Reference<css::uno::XComponentContext>& local) {
    const Reference<css::bridge::XUnoUrlResolver> resolver =
        css::bridge::UnoUrlResolver::create(local);
    const Reference<css::beans::XPropertySet> manager(
        resolver->resolve(rtl::OUString::createFromAscii(ConnectionUrl().c_str())), UNO_QUERY);
    const Reference<css::uno::XComponentContext> office(
        manager.is() ? manager->getPropertyValue(kDefaultContextProperty) : css::uno::Any(),
        UNO_QUERY);
    if (!office.is())
        throw css::uno::RuntimeException("the office on the pipe hands out no component context");
    return office;
}

}  // namespace corvane::office
