#include "httpqclient.h"
#include "iniactions.h"
#include "settings.h"

#include <gtest/gtest.h>

namespace {

TEST(HttpqUrl, PiecesGoTogetherInOrderWithNothingEscaped)
{
    resetSettingsRecord();
    gHttpqServer = QStringLiteral("player.lan");
    gHttpqPort = QStringLiteral("4800");
    gHttpqPasswd = QStringLiteral("a&b=c d%20");
    EXPECT_EQ(HttpqClient::BuildUrl(u"/shuffle?p=", u"&a=0"), u"http://player.lan:4800/shuffle?p=a&b=c d%20&a=0");
    resetSettingsRecord();
}

TEST(wireUrl, EncodesWhatCannotStandInARequestLineAndNothingElse)
{
    const auto wire = [](QStringView url) { return wireUrl(url).toStdString(); };
    EXPECT_EQ(wire(u"http://h:1/play?p=a&b=c%41 y#z"), "http://h:1/play?p=a&b=c%41%20y%23z");
    EXPECT_EQ(wire(u"http://h:1/play?p=\r\nHost: evil\t"), "http://h:1/play?p=%0D%0AHost:%20evil%09");
    // Non-ASCII goes in the server's code page, Windows-1252; UTF-8 only
    // for what it lacks (U+0080, Cyrillic, emoji).
    EXPECT_EQ(wire(u"http://h:1/play?p=p\u00e4ssw\u00f6rd\u20ac\u0081\x7f"), "http://h:1/play?p=p%E4ssw%F6rd%80%81%7F");
    EXPECT_EQ(wire(u"http://h:1/play?p=\u0080\u0416\U0001F3B5"), "http://h:1/play?p=%C2%80%D0%96%F0%9F%8E%B5");
}

} // namespace
