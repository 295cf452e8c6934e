// The add-in Calc loads for the live formulas: LIVE, LIVE.STATUS and LIVE.SUBSCRIPTIONS
// (see CalcAddIns.xcu for the names a person types). One instance serves every document
// of the office; it stops its source when the office ends.
#pragma once

#include <com/sun/star/frame/XTerminateListener.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <cppuhelper/implbase3.hxx>
#include <org/corvane/live/XLiveFunctions.hpp>

#include <memory>

#include "addin/live_source.hpp"

namespace corvane::addin {

inline constexpr char kImplementationName[] = "org.corvane.live.LiveFunctionsImpl";
inline constexpr char kServiceName[] = "org.corvane.live.LiveFunctions";

class LiveFunctions
    : public cppu::WeakImplHelper3<org::corvane::live::XLiveFunctions, css::lang::XServiceInfo,
                                   css::frame::XTerminateListener> {
  public:
    explicit LiveFunctions(const css::uno::Reference<css::uno::XComponentContext>& office);
    ~LiveFunctions() override;

    // XLiveFunctions: answered from memory, never waiting on the network.
    css::uno::Reference<css::sheet::XVolatileResult> SAL_CALL
    live(const rtl::OUString& exchange, const css::uno::Any& code,
         const css::uno::Any& field) override;
    css::uno::Reference<css::sheet::XVolatileResult> SAL_CALL liveStatus() override;
    sal_Int32 SAL_CALL liveSubscriptions() override;

    // XServiceInfo
    rtl::OUString SAL_CALL getImplementationName() override;
    sal_Bool SAL_CALL supportsService(const rtl::OUString& name) override;
    css::uno::Sequence<rtl::OUString> SAL_CALL getSupportedServiceNames() override;

    // XTerminateListener: the source stops when the office ends.
    void SAL_CALL queryTermination(const css::lang::EventObject&) override {}
    void SAL_CALL notifyTermination(const css::lang::EventObject&) override;
    void SAL_CALL disposing(const css::lang::EventObject&) override {}

  private:
    std::unique_ptr<LiveSource> source_;
};

}  // namespace corvane::addin
