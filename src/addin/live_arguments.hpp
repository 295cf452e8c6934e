// What a LIVE call's arguments name, as Calc passes them: an instrument's scrip code as a
// number or a text, and a field as a column's title, letters or number.
#pragma once

#include <com/sun/star/uno/Any.hxx>

#include <string>

namespace corvane::addin {

// The scrip code's text: a whole number without a fraction ("2885", not "2885.0"), a
// text as it is; "" for anything else.
std::string CodeText(const css::uno::Any& code);

// The zero-based column `field` names: its title ("Last Traded Price"), its letters
// ("L") or its number from 1 (12, or "12"); -1 for none.
int FieldColumn(const css::uno::Any& field);

}  // namespace corvane::addin
