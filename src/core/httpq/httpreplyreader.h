#pragma once

#include <QByteArray>
#include <QByteArrayView>

// An HTTP/1.0 reply read as its bytes arrive: a header block when the server
// sends one (httpQ can be set to send the body alone), then the body up to
// the server's close or the block's Content-Length. Each read costs time in
// proportion to its own bytes, and nothing is kept past the bounds.
class HttpReplyReader
{
public:
    enum class State { Reading, Complete, Failed };
    // What a body longer than its bound does: fail the request, or end the
    // answer at the bound, on a whole UTF-8 character.
    enum class Overflow { Fail, Cut };

    // httpQ sends three short header lines; a block this long is no reply of its.
    static constexpr qsizetype kMaxHeaderBytes = 16 * 1024;

    HttpReplyReader(qsizetype maxBodyBytes, Overflow overflow);

    // The next bytes from the connection.
    State feed(QByteArrayView bytes);
    // The server closed the connection in good order: the end of the body.
    State close();
    State state() const { return m_state; }
    // The body of a complete reply.
    QByteArray takeBody();

private:
    State settle();
    // Once the body's start is known: ends the reply at its length or its bound.
    State settleBody();
    State fail();

    qsizetype m_maxBody;
    Overflow m_overflow;
    State m_state = State::Reading;
    QByteArray m_buffer;
    // -1 until it is known whether a header block comes and where it ends.
    qsizetype m_bodyStart = -1;
    bool m_hasHeaders = false;
    // Where the search for the blank line after the headers goes on.
    qsizetype m_scanFrom = 0;
    qint64 m_contentLength = -1;
};
