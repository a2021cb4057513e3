#include "core/httpq/httpreplyreader.h"
#include "services/httpq/httpqclient.h"
#include "core/settings/settings_store.h"
#include "core/settings/settings.h"
#include "services/httpq/httpqclient.h"

#include <gtest/gtest.h>

#include <QByteArrayList>

namespace {

QByteArrayList byteByByte(const QByteArray &bytes)
{
    QByteArrayList reads;
    for (const char c : bytes)
        reads.append(QByteArray(1, c));
    return reads;
}

TEST(HttpReply, ReadsTheBodyItsServerMeant)
{
    using State = HttpReplyReader::State;
    const QByteArray head = "HTTP/1.0 200 OK\r\nServer: httpQ\r\n";
    // A header block of `size` bytes, its blank line included, and a body "T".
    const auto headerBlockOf = [&](qsizetype size) {
        return head + "X: " + QByteArray(size - head.size() - 3 - 4, 'x') + "\r\n\r\nT";
    };
    // The reads, whether the server's orderly close follows them, and the
    // reader's state and body after them, for a reply bounded to 100 bytes.
    const std::tuple<const char *, QByteArrayList, bool, State, QByteArray> cases[] = {
        {"not ended without the close", {head + "\r\nTitle"}, false, State::Reading, ""},
        {"blank line split across reads", byteByByte(head + "\r\nTitle"), true, State::Complete, "Title"},
        {"line feeds only", byteByByte("HTTP/1.0 200 OK\nServer: x\n\nTitle"), true, State::Complete, "Title"},
        {"Content-Length ends the body before the close",
         {head + "content-length:  3\r\n\r\nabcdef"},
         false,
         State::Complete,
         "abc"},
        {"Content-Length not a number", {head + "Content-Length: x\r\n\r\nabc"}, true, State::Complete, "abc"},
        {"closed before its Content-Length", {head + "Content-Length: 4\r\n\r\nabc"}, true, State::Failed, ""},
        {"header block of 16 KiB", {headerBlockOf(16 * 1024)}, true, State::Complete, "T"},
        {"header block one byte over 16 KiB", {headerBlockOf(16 * 1024 + 1)}, false, State::Failed, ""},
        {"header block over 16 KiB without its end", {head + QByteArray(16 * 1024, 'x')}, false, State::Failed, ""},
        {"no header block", byteByByte("Title"), true, State::Complete, "Title"},
        {"no header block, too short for a status line", {"HTTP/1.0"}, true, State::Complete, "HTTP/1.0"},
        {"nothing at all", {}, true, State::Failed, ""},
        {"header block cut off", {head}, true, State::Failed, ""},
        {"body of exactly its bound",
         {head + "\r\n" + QByteArray(100, 'x')},
         true,
         State::Complete,
         QByteArray(100, 'x')},
        {"body over its bound fails", {head + "\r\n" + QByteArray(101, 'x')}, false, State::Failed, ""},
    };
    for (const auto &[name, reads, closed, state, body] : cases) {
        SCOPED_TRACE(name);
        HttpReplyReader reader(100, HttpReplyReader::Overflow::Fail);
        for (const QByteArray &bytes : reads)
            reader.feed(bytes);
        EXPECT_EQ(closed ? reader.close() : reader.state(), state);
        EXPECT_EQ(reader.takeBody().toStdString(), body.toStdString());
    }
}

// The pieces go together as they are; only on the wire is escaped what
// cannot stand in a request line, and nothing else.
TEST(HttpqUrl, PiecesGoTogetherUnescapedAndTheWireEscapesOnlyWhatCannotStandInARequestLine)
{
    resetSettingsRecord();
    gHttpqServer = QStringLiteral("player.lan");
    gHttpqPort = QStringLiteral("4800");
    gHttpqPasswd = QStringLiteral("a&b=c d%20");
    EXPECT_EQ(HttpqClient::BuildUrl(u"/shuffle?p=", u"&a=0"), u"http://player.lan:4800/shuffle?p=a&b=c d%20&a=0");
    resetSettingsRecord();
    const auto wire = [](QStringView url) { return wireUrl(url).toStdString(); };
    EXPECT_EQ(wire(u"http://h:1/play?p=a&b=c%41 y#z"), "http://h:1/play?p=a&b=c%41%20y%23z");
    EXPECT_EQ(wire(u"http://h:1/play?p=\r\nHost: evil\t"), "http://h:1/play?p=%0D%0AHost:%20evil%09");
    // Non-ASCII goes in the server's code page, Windows-1252; UTF-8 only
    // for what it lacks (U+0080 and U+0082, whose bytes are letters there;
    // Cyrillic, emoji).
    EXPECT_EQ(wire(u"http://h:1/play?p=p\u00e4ssw\u00f6rd\u20ac\u0081\x7f"), "http://h:1/play?p=p%E4ssw%F6rd%80%81%7F");
    EXPECT_EQ(wire(u"http://h:1/play?p=\u0080\u0082\u0416\U0001F3B5"),
              "http://h:1/play?p=%C2%80%C2%82%D0%96%F0%9F%8E%B5");
}

} // namespace
