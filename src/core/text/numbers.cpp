#include "core/text/numbers.h"

#include <limits>

namespace {

struct Scan
{
    bool found = false;
    bool negative = false;
    // Rounded magnitude, saturated well above the 16-bit range.
    qint64 magnitude = 0;
    qsizetype start = 0;
    qsizetype end = 0;
};

constexpr qint64 kSaturation = 1'000'000;

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

Scan scanNumber(QStringView text, qsizetype pos)
{
    Scan scan;
    scan.start = pos;
    qsizetype i = pos;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        scan.negative = text[i] == u'-';
        ++i;
    }
    qint64 whole = 0;
    bool anyDigit = false;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        anyDigit = true;
        whole = std::min(kSaturation, whole * 10 + (text[i].unicode() - u'0'));
    }
    int firstFraction = -1; // first digit after the point
    bool restNonZero = false;
    if (i < text.size() && text[i] == u'.') {
        qsizetype j = i + 1;
        for (; j < text.size() && isDigit(text[j]); ++j) {
            const int digit = text[j].unicode() - u'0';
            if (firstFraction < 0)
                firstFraction = digit;
            else if (digit != 0)
                restNonZero = true;
        }
        if (j > i + 1 || anyDigit) {
            anyDigit = anyDigit || j > i + 1;
            i = j;
        }
    }
    if (!anyDigit)
        return scan;
    scan.found = true;
    scan.end = i;
    if (firstFraction > 5 || (firstFraction == 5 && (restNonZero || whole % 2 == 1)))
        ++whole;
    scan.magnitude = whole;
    return scan;
}

qsizetype skipBlanks(QStringView text, qsizetype pos)
{
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    return pos;
}

std::optional<qint16> toInt16(const Scan &scan)
{
    const qint64 value = scan.negative ? -scan.magnitude : scan.magnitude;
    if (value < std::numeric_limits<qint16>::min() || value > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(value);
}

} // namespace

std::optional<qint16> LeadingNumber(QStringView text)
{
    const Scan scan = scanNumber(text, skipBlanks(text, 0));
    if (!scan.found)
        return 0;
    return toInt16(scan);
}

std::optional<qint16> WholeNumber(QStringView text)
{
    const Scan scan = scanNumber(text, skipBlanks(text, 0));
    if (!scan.found || skipBlanks(text, scan.end) != text.size())
        return std::nullopt;
    return toInt16(scan);
}

double leadingValue(QStringView text)
{
    const Scan scan = scanNumber(text, skipBlanks(text, 0));
    if (!scan.found)
        return 0.0;
    bool ok = false;
    const double value = text.sliced(scan.start, scan.end - scan.start).toDouble(&ok);
    return ok ? value : 0.0;
}

qint16 settingsNumber(QStringView text)
{
    const Scan scan = scanNumber(text, skipBlanks(text, 0));
    if (!scan.found)
        return 0;
    if (const auto value = toInt16(scan))
        return *value;
    return scan.negative ? std::numeric_limits<qint16>::min() : std::numeric_limits<qint16>::max();
}

int settingsPosition(QStringView text)
{
    const Scan scan = scanNumber(text, skipBlanks(text, 0));
    if (!scan.found)
        return 0;
    return static_cast<int>(scan.negative ? -scan.magnitude : scan.magnitude);
}
