// Any bytes as a server's reply, arriving in pieces of any size: the reader
// never crashes, keeps its bounds, and reaches the same result however the
// bytes are cut into reads; its body read as text a piece at a time is the
// text of the whole body.

#include "core/httpq/httpreplyreader.h"
#include "core/text/code_page.h"

#include <cstdint>
#include <cstdlib>

namespace {

struct Result
{
    HttpReplyReader::State state;
    QByteArray body;
};

Result read(QByteArrayView reply, qsizetype pieceSize, qsizetype maxBody, HttpReplyReader::Overflow overflow)
{
    HttpReplyReader reader(maxBody, overflow);
    while (!reply.isEmpty() && reader.state() == HttpReplyReader::State::Reading) {
        const qsizetype n = std::min(pieceSize, reply.size());
        reader.feed(reply.first(n));
        reply = reply.sliced(n);
    }
    reader.close();
    return {reader.state(), reader.takeBody()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    if (size < 2)
        return 0;
    // The first byte chooses the size of the reads, the second the bound and what overflows do.
    const qsizetype pieceSize = 1 + bytes[0] % 64;
    const qsizetype maxBody = 1 + (bytes[1] & 0x7F) * 8;
    const auto overflow = bytes[1] & 0x80 ? HttpReplyReader::Overflow::Cut : HttpReplyReader::Overflow::Fail;
    const QByteArrayView reply(reinterpret_cast<const char *>(bytes + 2), qsizetype(size - 2));

    const Result whole = read(reply, reply.size() + 1, maxBody, overflow);
    const Result pieces = read(reply, pieceSize, maxBody, overflow);
    if (whole.state != pieces.state || whole.body != pieces.body)
        std::abort();
    if (whole.state == HttpReplyReader::State::Reading)
        std::abort();
    if (whole.body.size() > maxBody)
        std::abort();

    BodyText text(whole.body);
    QString read;
    for (QString piece; !(piece = text.read(pieceSize)).isEmpty(); read += piece) {
        if (piece.size() > pieceSize)
            std::abort();
    }
    if (read != decodeBody(whole.body))
        std::abort();
    return 0;
}
