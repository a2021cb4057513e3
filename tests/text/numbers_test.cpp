#include "numbers.h"

#include <gtest/gtest.h>

#include <QString>

namespace {

TEST(AnswerNumbers, LeadingWholeAndSettingsRules)
{
    const std::optional<qint16> fails;
    const std::tuple<const char16_t *, std::optional<qint16>, std::optional<qint16>, qint16> cases[] = {
        {u"", 0, fails, 0},
        {u"abc", 0, fails, 0},
        {u"12px", 12, fails, 12},
        {u"\t\r\n-7  ", -7, -7, -7},
        {u"+3", 3, 3, 3},
        // Half to the even neighbour, in decimal, not binary.
        {u"0.5", 0, 0, 0},
        {u"1.5", 2, 2, 2},
        {u"2.5", 2, 2, 2},
        {u"-3.5", -4, -4, -4},
        {u"2.500001", 3, 3, 3},
        {u".6", 1, 1, 1},
        {u"5.", 5, 5, 5},
        {u"-", 0, fails, 0},
        {u".", 0, fails, 0},
        {u"1e3", 1, fails, 1},
        {u"1 2", 1, fails, 1},
        // The 16-bit edges, and beyond them: a failed step, a clamped setting.
        {u"32767", 32767, 32767, 32767},
        {u"32767.5", fails, fails, 32767},
        {u"-32768.5", -32768, -32768, -32768},
        {u"-32769", fails, fails, -32768},
        {u"18446744073709551616", fails, fails, 32767},
        {u"000000000000000000012", 12, 12, 12},
        // Only ASCII digits count.
        {u"\u0663", 0, fails, 0},
    };
    for (const auto &[text, leading, whole, settings] : cases) {
        SCOPED_TRACE(QString::fromUtf16(text).toStdString());
        EXPECT_EQ(LeadingNumber(text), leading);
        EXPECT_EQ(WholeNumber(text), whole);
        EXPECT_EQ(settingsNumber(text), settings);
    }
    // Unrounded, so that only an exact one is one.
    EXPECT_EQ(leadingValue(u" 01.0 "), 1.0);
    EXPECT_EQ(leadingValue(u"1.4"), 1.4);
    EXPECT_EQ(leadingValue(u"on"), 0.0);
    EXPECT_EQ(leadingValue(u"-0.5x"), -0.5);
}

TEST(AnswerNumbers, PositionsKeepTheirWholeValue)
{
    const std::pair<const char16_t *, int> cases[] = {
        {u"", 0},
        {u"abc", 0},
        {u" 43500", 43500},
        {u"-40000px", -40000},
        {u"32767.5", 32768},
        {u"2.5", 2},
        {u"1000000", 1000000},
        {u"1000001", 1000000},
        {u"-18446744073709551616", -1000000},
    };
    for (const auto &[text, position] : cases)
        EXPECT_EQ(settingsPosition(text), position) << QString::fromUtf16(text).toStdString();
}

} // namespace
