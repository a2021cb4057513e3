#pragma once

// The player face's plain logic: where a press lands, what the title marquee
// shows, how the song line reads. No widgets, so tests can drive it directly.

#include "core/face/bar_keys.h"

#include <QString>

#include <cstdint>
#include <optional>

// The face's grid: a column covers 5 of its 120 units, a row 8 of its 60.
struct FaceCell
{
    std::uint8_t column = 0;
    std::uint8_t row = 0;
};

// Column = X / 5 + 0.5 and row = (Y + 1) / 8, in single precision, rounded
// half to even into unsigned bytes; nothing for a position no byte holds.
std::optional<FaceCell> faceCellAt(float x, float y);

// The button whose spot covers a cell of the face (shuffle, repeat and the
// playlist under their ON marks), if any.
std::optional<BarButton> faceButtonAt(FaceCell cell);

// The httpQ command a face button sends ("/play?p=", ...); empty for the
// playlist switch and the strip's buttons, which send none.
const char16_t *faceCommand(BarButton button);

// a + b in signed 16 bits; nothing when the sum does not fit.
std::optional<qint16> add16(qint16 a, qint16 b);

// "4:05    128    44k": the length as minutes and two-digit seconds, then
// the bit rate and the sample rate, four blanks apart.
QString songInfoCaption(qint16 trackLength, qint16 bitRate, qint16 sampleRate);

// At most maxChars characters of the first ringSize characters of text,
// rotated left by rotation; line breaks and other control characters come
// out as blanks, since the label has one line.
QString marqueeWindow(QStringView text, qsizetype ringSize, qsizetype rotation, qsizetype maxChars);

// The title marquee: the text runs out to the left and comes in again from
// the right after the separator, one character per step. The label shows
// the ring (the first length - 1 characters of the padded title) rotated
// left by `rotation` characters; a step costs the same whatever the title's
// length, since only a restart looks at the text.
struct Marquee
{
    static constexpr auto kSeparator = u"...                                  ";
    static constexpr auto kPlaceholder = u"No title available yet...";

    qint32 pos = 0;
    qint32 length = 0;
    // The padded title of the last restart (shared with the title text, not
    // copied) and how many of its characters make the ring.
    QString text;
    qsizetype ringSize = 0;
    qsizetype rotation = 0;

    // One step with the shared title text and restart flag; true when it
    // restarted, that is when the ring changed.
    bool step(QString &titleText, qint16 &restart);
};

// The character as the one-line label shows it: controls and line or
// paragraph separators as a blank.
QChar marqueeChar(QChar c);

// The title as a screen reader says it: the marquee's text without the
// separator it pads the title with, without blanks at its ends, on one line,
// at most maxChars characters.
QString marqueeCaption(QStringView text, qsizetype maxChars);
