#include "bar/face_logic.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <limits>
#include <string>

namespace {

// Real presses (tests/bar/bar_live_test.cpp) land on whole pixels, which
// never map onto a cell boundary of the 275-pixel face; these exact
// boundaries pin the half-to-even rounding: an even cell holds both of its
// bounds, an odd one neither.
struct PressCase
{
    const char *name;
    float x;
    float y;
    std::optional<FaceAction> action; // nothing: no cell at all
};

void PrintTo(const PressCase &c, std::ostream *os)
{
    *os << c.name;
}

class FacePress : public testing::TestWithParam<PressCase>
{
};

TEST_P(FacePress, LandsInTheCellOfTheGrid)
{
    const PressCase &c = GetParam();
    const std::optional<FaceCell> cell = FaceCellAt(c.x, c.y);
    ASSERT_EQ(cell.has_value(), c.action.has_value());
    if (cell) {
        EXPECT_EQ(FaceActionAt(*cell), *c.action);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, FacePress,
    testing::Values(PressCase{"X5_FirstOfPrevious", 5, 47, FaceAction::Previous},
                    PressCase{"X15_FirstOfPlay", 15, 47, FaceAction::Play},
                    PressCase{"X65_GapAfterNext", 65, 47, FaceAction::None},
                    PressCase{"X85_GapAfterShuffle", 85, 47, FaceAction::None},
                    PressCase{"X90_GapBeforeRepeat", 90, 47, FaceAction::None},
                    PressCase{"X100_LastOfRepeat", 100, 47, FaceAction::RepeatOn},
                    PressCase{"X105_FirstOfPlaylist", 105, 47, FaceAction::TogglePlaylist},
                    PressCase{"X115_RightEdge", 115, 47, FaceAction::None},
                    PressCase{"Y43_TopOfButtonRow", 10, 43, FaceAction::Previous},
                    PressCase{"Y51_BottomOfButtonRow", 10, 51, FaceAction::Previous},
                    PressCase{"Y27_TopOfVolume", 30, 27, FaceAction::VolumeDown},
                    PressCase{"Y35_BottomOfVolume", 30, 35, FaceAction::VolumeDown},
                    PressCase{"X25_FirstOfVolumeDown", 25, 31, FaceAction::VolumeDown},
                    PressCase{"X30_LastOfVolumeDown", 30, 31, FaceAction::VolumeDown},
                    PressCase{"X35_BesideVolumeUp", 35, 31, FaceAction::None},
                    PressCase{"NegativeX_NoCell", -10, 47, std::nullopt},
                    PressCase{"HugeY_NoCell", 10, 5000, std::nullopt},
                    PressCase{"NaN_NoCell", std::numeric_limits<float>::quiet_NaN(), 47, std::nullopt}),
    [](const testing::TestParamInfo<PressCase> &info) { return std::string(info.param.name); });

TEST(SongInfoCaption, ReadsMinutesSecondsBitRateAndSampleRate)
{
    EXPECT_EQ(SongInfoCaption(245, 128, 44), u"4:05    128    44k");
    EXPECT_EQ(SongInfoCaption(0, 0, 0), u"0:00    0    0k");
    EXPECT_EQ(SongInfoCaption(600, 320, 48), u"10:00    320    48k");
    EXPECT_EQ(SongInfoCaption(59, 96, 22), u"0:59    96    22k");
    EXPECT_EQ(SongInfoCaption(32767, 1, 1), u"546:07    1    1k");
    // The player's -1 for "nothing plays".
    EXPECT_EQ(SongInfoCaption(-1, 128, 44), u"0:00    128    44k");
}

class MarqueeSteps : public testing::Test
{
protected:
    QString tick()
    {
        m_marquee.step(m_text, m_restart);
        return m_marquee.shown(1000);
    }
    void newTitle(const QString &title)
    {
        m_text = title;
        m_restart = -1;
    }
    const QString separator = QString::fromUtf16(Marquee::kSeparator);
    Marquee m_marquee;
    QString m_text = QStringLiteral("ignored before the first step");
    qint16 m_restart = 0;
};

TEST_F(MarqueeSteps, StartsWithThePlaceholderAndItsSeparator)
{
    const QString ring = QStringLiteral("No title available yet...") + separator;
    EXPECT_EQ(tick(), ring.left(44));
    EXPECT_EQ(m_marquee.length, 45);
    EXPECT_EQ(m_restart, 0);
    EXPECT_EQ(tick(), ring.mid(1, 43) + ring.left(1));
    // A full cycle takes 45 ticks; the unrotated ring shows twice in a row.
    for (int i = 3; i <= 45; ++i)
        tick();
    EXPECT_EQ(m_marquee.pos, 46);
    EXPECT_EQ(tick(), ring.left(44));
}

TEST_F(MarqueeSteps, CycleLengthFollowsTheTitle)
{
    tick();
    const struct
    {
        int titleLength;
        int cycle;
    } cases[] = {{0, 50}, {9, 50}, {10, 30}, {40, 60}, {200, 220}};
    for (const auto &c : cases) {
        newTitle(QString(c.titleLength, u'x'));
        tick();
        EXPECT_EQ(m_marquee.length, c.cycle) << c.titleLength;
    }
}

TEST_F(MarqueeSteps, ALongTitleRotatesThroughItsSeparator)
{
    tick();
    QString title;
    for (int i = 0; i < 40; ++i)
        title += QChar(u'A' + i % 26);
    newTitle(title);
    const QString padded = title + separator;
    EXPECT_EQ(tick(), padded.left(59));
    EXPECT_EQ(tick(), padded.mid(1, 58) + padded.left(1));
}

TEST_F(MarqueeSteps, AnEmptyTitleScrollsOnlyTheSeparatorAndAShortOneStandsStill)
{
    tick();
    newTitle(QString());
    EXPECT_EQ(tick(), separator);
    EXPECT_EQ(m_marquee.length, 50);

    newTitle(QStringLiteral("abc"));
    const QString padded = QStringLiteral("abc") + separator;
    QStringList shown;
    for (int i = 0; i < 51; ++i)
        shown.append(tick());
    // 40 characters rotate once; positions 41 to 50 and 1 again stand still.
    EXPECT_EQ(shown.at(0), padded);
    EXPECT_EQ(shown.at(1), padded.mid(1) + padded.left(1));
    int still = 0;
    for (const QString &text : shown)
        still += text == padded;
    EXPECT_EQ(still, 12);
}

TEST_F(MarqueeSteps, ANewTitleRestartsUnrotated)
{
    tick();
    for (int i = 0; i < 10; ++i)
        tick();
    newTitle(QStringLiteral("Next song title"));
    EXPECT_EQ(tick(), (QStringLiteral("Next song title") + separator).left(34));
    EXPECT_EQ(m_marquee.pos, 2);
}

TEST(MarqueeWindow, ShowsOneLineOfAtMostTheCharactersAsked)
{
    const struct
    {
        const char *name;
        QString text;
        qsizetype ringSize;
        qsizetype rotation;
        qsizetype maxChars;
        QString shown;
    } cases[] = {
        {"whole ring", QStringLiteral("abcdef"), 6, 0, 100, QStringLiteral("abcdef")},
        {"rotated", QStringLiteral("abcdef"), 6, 2, 100, QStringLiteral("cdefab")},
        {"ring shorter than text", QStringLiteral("abcdef"), 4, 3, 100, QStringLiteral("dabc")},
        {"cut to what is asked", QStringLiteral("abcdef"), 6, 4, 3, QStringLiteral("efa")},
        {"nothing asked", QStringLiteral("abcdef"), 6, 1, 0, QString()},
        {"empty ring", QString(), 0, 0, 10, QString()},
        {"line breaks", QStringLiteral("a\r\nb\tc\x0b"), 7, 0, 10, QStringLiteral("a  b c ")},
        {"other controls", QString::fromUtf16(u"a\u0085b\u2028c\u2029\u0001\u007f"), 8, 0, 10, QStringLiteral("a b c   ")},
        {"printable kept", QString::fromUtf16(u"\u00e9\u20ac\U0001F600"), 4, 0, 10, QString::fromUtf16(u"\u00e9\u20ac\U0001F600")},
    };
    for (const auto &c : cases)
        EXPECT_EQ(MarqueeWindow(c.text, c.ringSize, c.rotation, c.maxChars), c.shown) << c.name;
}

} // namespace
