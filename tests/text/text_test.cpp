#include "core/text/code_page.h"
#include "core/text/numbers.h"

#include <gtest/gtest.h>

#include <QString>

namespace {

TEST(decodeBody, Utf8WhenValidElseWindows1252)
{
    EXPECT_EQ(decodeBody("Bj\xc3\xb6rk - J\xc3\xb3ga"), u"Bj\u00f6rk - J\u00f3ga");
    EXPECT_EQ(decodeBody("Bj\xf6rk - J\xf3ga"), u"Bj\u00f6rk - J\u00f3ga");
    // The 0x80..0x9F block is where Windows-1252 differs from Latin-1.
    EXPECT_EQ(decodeBody("\x80 \x85 \x93quoted\x94 \x99 \x81"), u"\u20ac \u2026 \u201cquoted\u201d \u2122 \u0081");
    // One invalid byte decides for the whole body.
    EXPECT_EQ(decodeBody("\xc3\xb6 and \xf6"), u"\u00c3\u00b6 and \u00f6");
    EXPECT_EQ(decodeBody(QByteArray()), QString());
    EXPECT_EQ(decodeBody(QByteArray("a\0b", 3)), QString::fromUtf16(u"a\0b", 3));
}

// A long body read in pieces gives decodeBody's text, whatever piece or
// decoding block a character's bytes are cut by.
TEST(BodyText, PiecesMakeDecodeBodysText)
{
    const QByteArray utf8 = QByteArray("\xef\xbb\xbf") + QByteArray(16 * 1024 - 4, 'a')
        + "\xe2\x82\xac \xf0\x9f\x8e\xb5" + QByteArray(5000, 'b');
    const QByteArray cp1252 = utf8 + "\x80\xf6";
    // An encoded surrogate is no UTF-8.
    const QByteArray surrogate = QByteArray(3000, 'c') + "\xed\xa0\x80";
    for (const QByteArray &body : {utf8, cp1252, surrogate, QByteArray()}) {
        for (const qsizetype size : {qsizetype(1), qsizetype(7), qsizetype(1024)}) {
            BodyText text(body);
            QString read;
            for (QString piece = text.read(size); !piece.isEmpty(); piece = text.read(size)) {
                ASSERT_LE(piece.size(), size);
                read += piece;
            }
            EXPECT_EQ(read, decodeBody(body)) << body.size() << " " << size;
        }
    }
}

// A leading number as the answers' steps read it, a whole one, a setting's
// (held to 16 bits) and a window position's (kept whole up to a million).
TEST(AnswerNumbers, LeadingWholeSettingsAndPositionRules)
{
    const std::optional<qint16> fails;
    const std::tuple<const char16_t *, std::optional<qint16>, std::optional<qint16>, qint16, int> cases[] = {
        {u"", 0, fails, 0, 0},
        {u"abc", 0, fails, 0, 0},
        {u"12px", 12, fails, 12, 12},
        {u"\t\r\n-7  ", -7, -7, -7, -7},
        {u"+3", 3, 3, 3, 3},
        // Half to the even neighbour, in decimal, not binary.
        {u"0.5", 0, 0, 0, 0},
        {u"1.5", 2, 2, 2, 2},
        {u"2.5", 2, 2, 2, 2},
        {u"-3.5", -4, -4, -4, -4},
        {u"2.500001", 3, 3, 3, 3},
        {u".6", 1, 1, 1, 1},
        {u"5.", 5, 5, 5, 5},
        {u"-", 0, fails, 0, 0},
        {u".", 0, fails, 0, 0},
        {u"1e3", 1, fails, 1, 1},
        {u"1 2", 1, fails, 1, 1},
        // The 16-bit edges, and beyond them: a failed step, a clamped setting, a whole position.
        {u"32767", 32767, 32767, 32767, 32767},
        {u"32767.5", fails, fails, 32767, 32768},
        {u"-32768.5", -32768, -32768, -32768, -32768},
        {u"-32769", fails, fails, -32768, -32769},
        {u"1000000", fails, fails, 32767, 1000000},
        {u"1000001", fails, fails, 32767, 1000000},
        {u"18446744073709551616", fails, fails, 32767, 1000000},
        {u"-18446744073709551616", fails, fails, -32768, -1000000},
        {u"000000000000000000012", 12, 12, 12, 12},
        // Only ASCII digits count.
        {u"\u0663", 0, fails, 0, 0},
    };
    for (const auto &[text, leading, whole, settings, position] : cases) {
        SCOPED_TRACE(QString::fromUtf16(text).toStdString());
        EXPECT_EQ(LeadingNumber(text), leading);
        EXPECT_EQ(WholeNumber(text), whole);
        EXPECT_EQ(settingsNumber(text), settings);
        EXPECT_EQ(settingsPosition(text), position);
    }
    // Unrounded, so that only an exact one is one.
    EXPECT_EQ(leadingValue(u" 01.0 "), 1.0);
    EXPECT_EQ(leadingValue(u"1.4"), 1.4);
    EXPECT_EQ(leadingValue(u"on"), 0.0);
    EXPECT_EQ(leadingValue(u"-0.5x"), -0.5);
}

} // namespace
