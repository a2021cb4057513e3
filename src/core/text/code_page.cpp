#include "core/text/code_page.h"

#include <QStringDecoder>

namespace {

// Windows-1252 differs from Latin-1 in 0x80..0x9F; the five unassigned
// bytes there map to the C1 controls of the same value.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString fromCp1252(QByteArrayView body)
{
    QString text(body.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char c : body) {
        const auto byte = static_cast<unsigned char>(c);
        *out++ = (byte >= 0x80 && byte < 0xA0) ? QChar(kCp1252High[byte - 0x80]) : QChar(char16_t(byte));
    }
    return text;
}

} // namespace

QString decodeBody(const QByteArray &body)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(body);
    if (!utf8.hasError())
        return text;
    return fromCp1252(body);
}

BodyText::BodyText(QByteArray body)
    : m_body(std::move(body))
    , m_utf8(QByteArrayView(m_body).isValidUtf8())
{ }

QString BodyText::read(qsizetype maxChars)
{
    // Bytes decoded at a time: UTF-8 gives at most one character a byte.
    constexpr qsizetype kBlockBytes = 16 * 1024;
    while (m_text.size() - m_textPos < maxChars && m_bodyPos < m_body.size()) {
        m_text.remove(0, m_textPos);
        m_textPos = 0;
        const QByteArrayView block = QByteArrayView(m_body).sliced(m_bodyPos,
                                                                   std::min(kBlockBytes, m_body.size() - m_bodyPos));
        m_bodyPos += block.size();
        m_text += m_utf8 ? QString(m_decoder.decode(block)) : fromCp1252(block);
    }
    const QString piece = m_text.mid(m_textPos, std::max<qsizetype>(0, maxChars));
    m_textPos += piece.size();
    return piece;
}

std::optional<char> toCp1252(char32_t ucs)
{
    if (ucs < 0x80 || (ucs >= 0xA0 && ucs <= 0xFF))
        return char(ucs);
    for (int i = 0; i < 32; ++i) {
        if (kCp1252High[i] == ucs)
            return char(0x80 + i);
    }
    return std::nullopt;
}

std::optional<QByteArray> encodeCp1252(QStringView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar c : text) {
        const std::optional<char> byte = toCp1252(c.unicode());
        if (!byte)
            return std::nullopt;
        bytes += *byte;
    }
    return bytes;
}
