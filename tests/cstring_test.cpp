// The host boundary's string: a text longer than its int length can tell is refused when
// the string is made, instead of being cut or read past its end later.
#include <gtest/gtest.h>
#include <corvane/corvane.hpp>

#include <climits>
#include <stdexcept>
#include <string>

namespace corvane::test {
namespace {

TEST(CString, RefusesATextLongerThanItsLengthCanTellAndKeepsWhatItHad) {
    const std::string huge(static_cast<std::size_t>(INT_MAX) + 16, 'x');
    CString kept("2885");
    EXPECT_THROW(kept.SetString(huge.c_str()), std::length_error);
    EXPECT_STREQ(kept.GetString(), "2885");
    EXPECT_EQ(kept.GetLength(), 4);
}

}  // namespace
}  // namespace corvane::test
