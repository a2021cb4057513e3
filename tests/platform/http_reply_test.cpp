#include "platform/http_reply.h"

#include <gtest/gtest.h>

#include <QByteArrayList>

namespace {

using State = HttpReplyReader::State;
using Overflow = HttpReplyReader::Overflow;

struct ReplyCase
{
    const char *name;
    QByteArrayList reads;
    bool closed; // the server's orderly close follows the reads
    State state;
    QByteArray body;
    qsizetype maxBody = 100;
    Overflow overflow = Overflow::Fail;
};

void PrintTo(const ReplyCase &reply, std::ostream *out)
{
    *out << reply.name;
}

QByteArrayList byteByByte(const QByteArray &bytes)
{
    QByteArrayList reads;
    for (const char c : bytes)
        reads.append(QByteArray(1, c));
    return reads;
}

const QByteArray kHead = "HTTP/1.0 200 OK\r\nServer: httpQ\r\n";

class HttpReply : public testing::TestWithParam<ReplyCase>
{
};

TEST_P(HttpReply, ReadsTheBodyItsServerMeant)
{
    const ReplyCase &reply = GetParam();
    HttpReplyReader reader(reply.maxBody, reply.overflow);
    State state = State::Reading;
    for (const QByteArray &bytes : reply.reads)
        state = reader.feed(bytes);
    if (reply.closed)
        state = reader.close();
    EXPECT_EQ(state, reply.state);
    EXPECT_EQ(reader.takeBody().toStdString(), reply.body.toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Replies, HttpReply,
    testing::Values(
        ReplyCase{"BodyToTheClose", {kHead + "\r\nTit", "le"}, true, State::Complete, "Title"},
        ReplyCase{"NotEndedWithoutTheClose", {kHead + "\r\nTitle"}, false, State::Reading, ""},
        ReplyCase{"BlankLineSplitAcrossReads", byteByByte(kHead + "\r\nTitle"), true, State::Complete, "Title"},
        ReplyCase{"LineFeedsOnly", byteByByte("HTTP/1.0 200 OK\nServer: x\n\nTitle"), true, State::Complete,
                  "Title"},
        ReplyCase{"ContentLengthEndsTheBodyBeforeTheClose", {kHead + "content-length:  3\r\n\r\nabcdef"}, false,
                  State::Complete, "abc"},
        ReplyCase{"ContentLengthNotANumber", {kHead + "Content-Length: x\r\n\r\nabc"}, true, State::Complete,
                  "abc"},
        ReplyCase{"HeaderBlockCutOff", {kHead}, true, State::Failed, ""},
        ReplyCase{"HeaderlessBodyThatIsNoStatusLine", {"HTTP/2 is a protocol\r\n\r\n"}, true, State::Complete,
                  "HTTP/2 is a protocol\r\n\r\n"},
        ReplyCase{"BodyOverItsBoundFails", {kHead + "\r\n" + QByteArray(101, 'x')}, false, State::Failed, ""},
        ReplyCase{"BodyOfExactlyItsBound", {"\xC3\xA9" + QByteArray(98, 'x')}, true, State::Complete,
                  "\xC3\xA9" + QByteArray(98, 'x'), 100, Overflow::Cut}),
    [](const testing::TestParamInfo<ReplyCase> &info) { return std::string(info.param.name); });

} // namespace
