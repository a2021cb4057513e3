#include "httpq/httpq_url.h"

#include "settings/Settings.h"

QString FormHttpqUrl(QStringView command, QStringView argument)
{
    QString url = QStringLiteral("http://");
    url.append(gHttpqServer).append(u':').append(gHttpqPort);
    url.append(command).append(gHttpqPasswd).append(argument);
    return url;
}

QString PositionArgument(int position)
{
    return QStringLiteral("&a=") + QString::number(position);
}

QByteArray WireUrl(QStringView url)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const QByteArray utf8 = url.toUtf8();
    QByteArray wire;
    wire.reserve(utf8.size());
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || byte == '#') {
            wire += '%';
            wire += kHex[byte >> 4];
            wire += kHex[byte & 0x0F];
        } else {
            wire += c;
        }
    }
    return wire;
}
