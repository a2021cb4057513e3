#include "code_page.h"

#include <gtest/gtest.h>

namespace {

TEST(decodeBody, Utf8WhenValidElseWindows1252)
{
    EXPECT_EQ(decodeBody("Bj\xc3\xb6rk - J\xc3\xb3ga"), u"Bj\u00f6rk - J\u00f3ga");
    EXPECT_EQ(decodeBody("Bj\xf6rk - J\xf3ga"), u"Bj\u00f6rk - J\u00f3ga");
    // The 0x80..0x9F block is where Windows-1252 differs from Latin-1.
    EXPECT_EQ(decodeBody("\x80 \x85 \x93quoted\x94 \x99 \x81"), u"\u20ac \u2026 \u201cquoted\u201d \u2122 \u0081");
    // One invalid byte decides for the whole body.
    EXPECT_EQ(decodeBody("\xc3\xb6 and \xf6"), u"\u00c3\u00b6 and \u00f6");
    EXPECT_EQ(decodeBody(QByteArray()), QString());
    EXPECT_EQ(decodeBody(QByteArray("a\0b", 3)), QString::fromUtf16(u"a\0b", 3));
}

} // namespace
