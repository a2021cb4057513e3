#include "core/httpq/httpq_url.h"

#include "core/text/code_page.h"

#include <QList>

QString formHttpqUrl(const HttpqServer &server, QStringView command, QStringView argument)
{
    QString url = QStringLiteral("http://");
    url.append(server.host).append(u':').append(server.port);
    url.append(command).append(server.password).append(argument);
    return url;
}

QString positionArgument(int position)
{
    return QStringLiteral("&a=") + QString::number(position);
}

QByteArray wireUrl(QStringView url)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    QByteArray wire;
    wire.reserve(url.size());
    const auto escape = [&wire](char c) {
        const auto byte = static_cast<unsigned char>(c);
        wire += '%';
        wire += kHex[byte >> 4];
        wire += kHex[byte & 0x0F];
    };
    for (const uint ucs : url.toUcs4()) {
        if (ucs >= 0x80) {
            if (const std::optional<char> byte = toCp1252(char32_t(ucs))) {
                escape(*byte);
            } else {
                const char32_t one[1] = {char32_t(ucs)};
                for (const char c : QString::fromUcs4(one, 1).toUtf8())
                    escape(c);
            }
        } else if (ucs <= 0x20 || ucs == 0x7F || ucs == '#') {
            escape(char(ucs));
        } else {
            wire += char(ucs);
        }
    }
    return wire;
}
