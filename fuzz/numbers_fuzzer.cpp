// Any text as an httpQ answer or a settings value: the conversions never
// crash, agree with each other, and stay within 16 bits.

#include "core/text/numbers.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(bytes), qsizetype(size));
    const std::optional<qint16> leading = LeadingNumber(text);
    const std::optional<qint16> whole = WholeNumber(text);
    const qint16 setting = settingsNumber(text);
    const double value = leadingValue(text);

    // A whole number is also the leading number, and the settings rule only
    // differs where the leading number does not fit.
    if (whole && leading != whole)
        std::abort();
    if (leading && *leading != setting)
        std::abort();
    if (!leading && setting != 32767 && setting != -32768)
        std::abort();
    // Rounding moves a value by at most a half.
    if (leading && value == value && value > -1e6 && value < 1e6 && (*leading - value > 0.5 || value - *leading > 0.5))
        std::abort();
    return 0;
}
