#include "httpq/answer_conversions.h"

#include <gtest/gtest.h>

#include <QString>

namespace {

struct NumberCase
{
    const char16_t *text;
    std::optional<qint16> leading;
    std::optional<qint16> whole;
    qint16 settings;
};

void PrintTo(const NumberCase &c, std::ostream *out)
{
    *out << '"' << QString::fromUtf16(c.text).toStdString() << '"';
}

// CTest shows each case by its text: "minus2point5", "__7__", "n32767".
std::string caseName(const testing::TestParamInfo<NumberCase> &info)
{
    std::string name;
    for (const char16_t *c = info.param.text; *c; ++c) {
        if ((*c >= u'0' && *c <= u'9') || (*c >= u'a' && *c <= u'z') || (*c >= u'A' && *c <= u'Z'))
            name += char(*c);
        else if (*c == u'.')
            name += "point";
        else if (*c == u'-')
            name += "minus";
        else if (*c == u'+')
            name += "plus";
        else if (*c == u' ')
            name += '_';
        else
            name += 'U' + QString::number(uint(*c), 16).toStdString();
    }
    // CTest's discovery takes an all-digit name for an index and shows the value instead.
    if (name.find_first_not_of("0123456789") == std::string::npos)
        name.insert(0, name.empty() ? "empty" : "n");
    return name;
}

class NumberRules : public testing::TestWithParam<NumberCase>
{
};

TEST_P(NumberRules, LeadingWholeAndSettingsAgreeWithTheTable)
{
    const NumberCase &c = GetParam();
    const QString text = QString::fromUtf16(c.text);
    EXPECT_EQ(LeadingNumber(text), c.leading) << text.toStdString();
    EXPECT_EQ(WholeNumber(text), c.whole) << text.toStdString();
    EXPECT_EQ(SettingsNumber(text), c.settings) << text.toStdString();
}

const std::optional<qint16> kFails;

INSTANTIATE_TEST_SUITE_P(
    Table, NumberRules,
    testing::Values(
        NumberCase{u"", 0, kFails, 0},
        NumberCase{u"abc", 0, kFails, 0},
        NumberCase{u"12px", 12, kFails, 12},
        NumberCase{u"44 kHz", 44, kFails, 44},
        NumberCase{u"  7  ", 7, 7, 7},
        NumberCase{u"\t\r\n-7", -7, -7, -7},
        NumberCase{u"+3", 3, 3, 3},
        // Half to the even neighbour, in decimal, not binary.
        NumberCase{u"0.5", 0, 0, 0},
        NumberCase{u"1.5", 2, 2, 2},
        NumberCase{u"2.5", 2, 2, 2},
        NumberCase{u"3.5", 4, 4, 4},
        NumberCase{u"-2.5", -2, -2, -2},
        NumberCase{u"-3.5", -4, -4, -4},
        NumberCase{u"2.500001", 3, 3, 3},
        NumberCase{u"2.4999999", 2, 2, 2},
        NumberCase{u".5", 0, 0, 0},
        NumberCase{u".6", 1, 1, 1},
        NumberCase{u"5.", 5, 5, 5},
        NumberCase{u"-", 0, kFails, 0},
        NumberCase{u".", 0, kFails, 0},
        NumberCase{u"1e3", 1, kFails, 1},
        NumberCase{u"0x10", 0, kFails, 0},
        NumberCase{u"1 2", 1, kFails, 1},
        // The 16-bit edges, and beyond them: a failed step, a clamped setting.
        NumberCase{u"32767", 32767, 32767, 32767},
        NumberCase{u"32767.5", kFails, kFails, 32767},
        NumberCase{u"32768", kFails, kFails, 32767},
        NumberCase{u"-32768", -32768, -32768, -32768},
        NumberCase{u"-32768.5", -32768, -32768, -32768},
        NumberCase{u"-32769", kFails, kFails, -32768},
        NumberCase{u"99999999999999999999999", kFails, kFails, 32767},
        NumberCase{u"-99999999999999999999999", kFails, kFails, -32768},
        NumberCase{u"000000000000000000012", 12, 12, 12},
        // Only ASCII digits count.
        NumberCase{u"\u0663", 0, kFails, 0}),
    caseName);

TEST(LeadingValue, IsUnroundedSoOnlyAnExactOneIsOne)
{
    EXPECT_EQ(LeadingValue(u"1"), 1.0);
    EXPECT_EQ(LeadingValue(u"1.0"), 1.0);
    EXPECT_EQ(LeadingValue(u" 01 "), 1.0);
    EXPECT_EQ(LeadingValue(u"1.4"), 1.4);
    EXPECT_EQ(LeadingValue(u""), 0.0);
    EXPECT_EQ(LeadingValue(u"on"), 0.0);
    EXPECT_EQ(LeadingValue(u"-0.5x"), -0.5);
}

} // namespace
