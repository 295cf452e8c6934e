// Shared pieces of fake office objects that offer com.sun.star.beans.XPropertySet.
#pragma once

#include <com/sun/star/beans/XPropertySet.hpp>

// The listener registrations of XPropertySet, which no fake needs: declared inside the
// class body of a fake, they accept and ignore every listener.
#define CORVANE_FAKE_IGNORES_PROPERTY_LISTENERS                                                \
    void SAL_CALL addPropertyChangeListener(                                                   \
        const rtl::OUString&, const css::uno::Reference<css::beans::XPropertyChangeListener>&) \
        override {}                                                                            \
    void SAL_CALL removePropertyChangeListener(                                                \
        const rtl::OUString&, const css::uno::Reference<css::beans::XPropertyChangeListener>&) \
        override {}                                                                            \
    void SAL_CALL addVetoableChangeListener(                                                   \
        const rtl::OUString&, const css::uno::Reference<css::beans::XVetoableChangeListener>&) \
        override {}                                                                            \
    void SAL_CALL removeVetoableChangeListener(                                                \
        const rtl::OUString&, const css::uno::Reference<css::beans::XVetoableChangeListener>&) \
        override {}
