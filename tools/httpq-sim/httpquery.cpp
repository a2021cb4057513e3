#include "httpquery.h"

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

namespace httpquery {

QByteArray percentDecoded(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += char(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::optional<QByteArray> queryValue(const QByteArray &query, const QByteArray &key)
{
    for (const QByteArray &pair : query.split('&')) {
        const qsizetype eq = pair.indexOf('=');
        const QByteArray name = eq < 0 ? pair : pair.left(eq);
        if (name == key)
            return percentDecoded(eq < 0 ? QByteArray() : pair.mid(eq + 1));
    }
    return std::nullopt;
}

std::optional<int> decimal(const std::optional<QByteArray> &text)
{
    if (!text || text->isEmpty() || text->size() > 9)
        return std::nullopt;
    int value = 0;
    for (char c : *text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

qsizetype headerEnd(const QByteArray &buffer)
{
    const qsizetype crlf = buffer.indexOf("\r\n\r\n");
    const qsizetype lf = buffer.indexOf("\n\n");
    if (crlf >= 0 && (lf < 0 || crlf + 4 <= lf + 2))
        return crlf + 4;
    return lf >= 0 ? lf + 2 : -1;
}

} // namespace httpquery
