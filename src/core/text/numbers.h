#pragma once

// Turning httpQ answers and settings texts into numbers.

#include <QStringView>

#include <algorithm>
#include <limits>
#include <optional>

// The leading number of a text: blanks at the start skipped, then an optional
// sign, digits and an optional decimal fraction. No number gives 0. Rounded
// half to even; nothing when the result does not fit in 16 bits.
std::optional<qint16> LeadingNumber(QStringView text);

// The whole text (blanks around it allowed) must be such a number; rounded the
// same way. Nothing for an empty text, any other character, or out of range.
std::optional<qint16> WholeNumber(QStringView text);

// A value held at the ends of the 16-bit range.
inline qint16 clampToInt16(int value)
{
    return static_cast<qint16>(
        std::clamp<int>(value, std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max()));
}

// The leading number as it stands, unrounded (0 when there is none).
double leadingValue(QStringView text);

// The settings files' rule: the leading number, rounded, clamped into 16 bits
// so that a position saved on a very wide desktop still loads.
qint16 settingsNumber(QStringView text);

// The window positions' rule: the same leading number, rounded, kept whole up
// to a million twips either way (held there beyond). A desktop of several
// monitors reaches past the 16-bit range; clamped, the window reopened
// elsewhere than it was closed.
int settingsPosition(QStringView text);
