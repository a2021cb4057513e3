#include "core/face/face_logic.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

std::optional<std::uint8_t> roundToByte(float value)
{
    // The default rounding mode sends an exact half to the even neighbour.
    const float rounded = std::nearbyint(value);
    if (!(rounded >= 0.0f && rounded <= 255.0f))
        return std::nullopt;
    return static_cast<std::uint8_t>(rounded);
}

} // namespace

std::optional<FaceCell> faceCellAt(float x, float y)
{
    const auto column = roundToByte(x / 5.0f + 0.5f);
    const auto row = roundToByte((y + 1.0f) / 8.0f);
    if (!column || !row)
        return std::nullopt;
    return FaceCell{*column, *row};
}

std::optional<BarButton> faceButtonAt(FaceCell cell)
{
    if (cell.row == 6) {
        switch (cell.column) {
        case 2:
        case 3: return BarButton::Previous;
        case 4:
        case 5: return BarButton::Play;
        case 6:
        case 7: return BarButton::Pause;
        case 8:
        case 9: return BarButton::Stop;
        case 10:
        case 11: return BarButton::FadeOutAndStop;
        case 12:
        case 13: return BarButton::Next;
        case 16:
        case 17: return BarButton::Shuffle;
        case 19:
        case 20: return BarButton::Repeat;
        case 22:
        case 23: return BarButton::Playlist;
        default: return std::nullopt;
        }
    }
    if (cell.row == 4) {
        if (cell.column == 6)
            return BarButton::VolumeDown;
        if (cell.column == 7)
            return BarButton::VolumeUp;
    }
    return std::nullopt;
}

const char16_t *faceCommand(BarButton button)
{
    switch (button) {
    case BarButton::Previous: return u"/prev?p=";
    case BarButton::Play: return u"/play?p=";
    case BarButton::Pause: return u"/pause?p=";
    case BarButton::Stop: return u"/stop?p=";
    case BarButton::FadeOutAndStop: return u"/fadeoutandstop?p=";
    case BarButton::Next: return u"/next?p=";
    case BarButton::Shuffle: return u"/shuffle?p=";
    case BarButton::Repeat: return u"/repeat?p=";
    case BarButton::VolumeDown: return u"/volumedown?p=";
    case BarButton::VolumeUp: return u"/volumeup?p=";
    case BarButton::Playlist:
    case BarButton::Settings:
    case BarButton::Hide:
    case BarButton::Close: break;
    }
    return u"";
}

std::optional<qint16> add16(qint16 a, qint16 b)
{
    const int sum = int(a) + int(b);
    if (sum < std::numeric_limits<qint16>::min() || sum > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(sum);
}

QString songInfoCaption(qint16 trackLength, qint16 bitRate, qint16 sampleRate)
{
    // A negative length is the player's "nothing plays": shown as 0:00 rather
    // than as a negative remainder ("0:0-1").
    const int length = std::max<int>(trackLength, 0);
    const int seconds = length % 60;
    const int minutes = (length - seconds) / 60;
    QString caption = QString::number(minutes) + u':';
    if (seconds < 10)
        caption += u'0';
    caption += QString::number(seconds);
    caption += QStringLiteral("    ") + QString::number(bitRate) + QStringLiteral("    ") + QString::number(sampleRate)
        + u'k';
    return caption;
}

bool Marquee::step(QString &titleText, qint16 &restart)
{
    if (length < 1) {
        titleText = QCoreApplication::translate("Marquee", "No title available yet...");
        restart = -1;
    }
    const bool restarted = restart == -1;
    if (restarted) {
        restart = 0;
        const qsizetype titleLength = titleText.size();
        length = titleLength + 20 < 30
            ? 50
            : qint32(std::min<qsizetype>(titleLength + 20, std::numeric_limits<qint32>::max()));
        titleText += QString::fromUtf16(kSeparator);
        pos = 1;
        text = titleText;
        ringSize = std::min<qsizetype>(text.size(), length - 1);
    }
    if (pos < 1 || pos > length)
        pos = 1;
    // The piece from pos (at most length - pos characters) followed by the
    // first pos - 1 characters is the ring rotated by pos - 1; a short title
    // stands still once the whole text has gone round.
    rotation = pos - 1 < ringSize ? pos - 1 : 0;
    ++pos;
    return restarted;
}

QChar marqueeChar(QChar c)
{
    switch (c.category()) {
    case QChar::Other_Control:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph: return u' ';
    default: return c;
    }
}

QString marqueeWindow(QStringView text, qsizetype ringSize, qsizetype rotation, qsizetype maxChars)
{
    ringSize = std::clamp<qsizetype>(ringSize, 0, text.size());
    const qsizetype count = std::clamp<qsizetype>(maxChars, 0, ringSize);
    QString shown(count, Qt::Uninitialized);
    QChar *out = shown.data();
    qsizetype at = ringSize > 0 && rotation > 0 ? rotation % ringSize : 0;
    for (qsizetype i = 0; i < count; ++i) {
        out[i] = marqueeChar(text[at]);
        if (++at == ringSize)
            at = 0;
    }
    return shown;
}

QString marqueeCaption(QStringView text, qsizetype maxChars)
{
    const QStringView separator(Marquee::kSeparator);
    if (text.endsWith(separator))
        text.chop(separator.size());
    text = text.trimmed();
    return marqueeWindow(text, text.size(), 0, maxChars).trimmed();
}
