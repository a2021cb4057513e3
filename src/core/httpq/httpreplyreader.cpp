#include "core/httpq/httpreplyreader.h"

#include <utility>

namespace {

enum class StatusLine { No, Maybe, Yes };

// Whether the bytes start with a status line such as "HTTP/1.0 200"; Maybe
// while they are too few to tell.
StatusLine statusLineStart(QByteArrayView bytes)
{
    // '9' stands for any digit.
    static constexpr QByteArrayView kForm("HTTP/9.9 999");
    const qsizetype n = qMin(bytes.size(), kForm.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char c = bytes[i];
        if (kForm[i] == '9' ? (c < '0' || c > '9') : c != kForm[i])
            return StatusLine::No;
    }
    return n == kForm.size() ? StatusLine::Yes : StatusLine::Maybe;
}

// The offset just past the blank line that ends the header block, searching
// from `from`, or -1.
qsizetype headerEnd(const QByteArray &buffer, qsizetype from)
{
    for (qsizetype i = buffer.indexOf('\n', from); i >= 0; i = buffer.indexOf('\n', i + 1)) {
        if (i + 1 < buffer.size() && buffer[i + 1] == '\n')
            return i + 2;
        if (i + 2 < buffer.size() && buffer[i + 1] == '\r' && buffer[i + 2] == '\n')
            return i + 3;
    }
    return -1;
}

// The Content-Length of the header block, or -1 when it has none or it is not a number.
qint64 contentLength(QByteArrayView headers)
{
    while (!headers.isEmpty()) {
        const qsizetype eol = headers.indexOf('\n');
        const QByteArrayView line = eol < 0 ? headers : headers.first(eol);
        headers = eol < 0 ? QByteArrayView() : headers.sliced(eol + 1);
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.first(colon).trimmed().compare("Content-Length", Qt::CaseInsensitive) == 0) {
            bool ok = false;
            const qint64 length = line.sliced(colon + 1).trimmed().toLongLong(&ok);
            return ok && length >= 0 ? length : -1;
        }
    }
    return -1;
}

} // namespace

HttpReplyReader::HttpReplyReader(qsizetype maxBodyBytes, Overflow overflow)
    : m_maxBody(maxBodyBytes)
    , m_overflow(overflow)
{ }

HttpReplyReader::State HttpReplyReader::feed(QByteArrayView bytes)
{
    if (m_state != State::Reading || bytes.isEmpty())
        return m_state;
    m_buffer.append(bytes);
    return settle();
}

HttpReplyReader::State HttpReplyReader::close()
{
    if (m_state != State::Reading)
        return m_state;
    if (m_bodyStart < 0) {
        // A header block cut off is a failure; bytes too few to be a status
        // line are a body of their own. Not a byte at all is no reply: the
        // server refused the request (one too long), or a relay on the way
        // could not reach it.
        if (m_hasHeaders || m_buffer.isEmpty())
            return fail();
        m_bodyStart = 0;
        if (settleBody() != State::Reading)
            return m_state;
    }
    if (m_contentLength >= 0 && m_buffer.size() - m_bodyStart < m_contentLength)
        return fail();
    m_state = State::Complete;
    return m_state;
}

QByteArray HttpReplyReader::takeBody()
{
    if (m_state != State::Complete)
        return {};
    m_buffer.remove(0, m_bodyStart);
    m_bodyStart = 0;
    return std::exchange(m_buffer, QByteArray());
}

HttpReplyReader::State HttpReplyReader::settle()
{
    if (m_bodyStart < 0 && !m_hasHeaders) {
        switch (statusLineStart(m_buffer)) {
        case StatusLine::Maybe: return m_state;
        case StatusLine::No: m_bodyStart = 0; break;
        case StatusLine::Yes: m_hasHeaders = true; break;
        }
    }
    if (m_bodyStart < 0) {
        const qsizetype end = headerEnd(m_buffer, m_scanFrom);
        if (end < 0) {
            if (m_buffer.size() > kMaxHeaderBytes)
                return fail();
            // A blank line may begin in the last two bytes and end in the next read.
            m_scanFrom = qMax(m_scanFrom, m_buffer.size() - 2);
            return m_state;
        }
        if (end > kMaxHeaderBytes)
            return fail();
        m_bodyStart = end;
        m_contentLength = contentLength(QByteArrayView(m_buffer).first(end));
    }
    return settleBody();
}

HttpReplyReader::State HttpReplyReader::settleBody()
{
    const qsizetype body = m_buffer.size() - m_bodyStart;
    if (m_contentLength >= 0 && m_contentLength <= m_maxBody && body >= m_contentLength) {
        m_buffer.truncate(m_bodyStart + m_contentLength);
        m_state = State::Complete;
    } else if (body > m_maxBody) {
        if (m_overflow == Overflow::Fail)
            return fail();
        // Back over UTF-8 continuation bytes, so that no character is split
        // and a UTF-8 answer still reads as UTF-8.
        qsizetype keep = m_maxBody;
        for (int back = 0;
             back < 3 && keep > 0 && (static_cast<unsigned char>(m_buffer[m_bodyStart + keep]) & 0xC0) == 0x80; ++back)
            --keep;
        m_buffer.truncate(m_bodyStart + keep);
        m_state = State::Complete;
    }
    return m_state;
}

HttpReplyReader::State HttpReplyReader::fail()
{
    m_buffer = QByteArray();
    m_state = State::Failed;
    return m_state;
}
