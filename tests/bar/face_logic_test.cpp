#include "bar/face_logic.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

struct PressCase
{
    float x;
    float y;
    FaceAction action;
};

class FacePress : public testing::TestWithParam<PressCase>
{
};

TEST_P(FacePress, LandsInTheCellOfTheGrid)
{
    const PressCase &c = GetParam();
    const std::optional<FaceCell> cell = FaceCellAt(c.x, c.y);
    ASSERT_TRUE(cell.has_value());
    EXPECT_EQ(FaceActionAt(*cell), c.action) << "x " << c.x << " y " << c.y;
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, FacePress,
    testing::Values(
        // Button row: an even column holds both its bounds, an odd one neither.
        PressCase{4.9f, 47, FaceAction::None}, PressCase{5, 47, FaceAction::Previous},
        PressCase{10, 47, FaceAction::Previous}, PressCase{14.9f, 47, FaceAction::Previous},
        PressCase{15, 47, FaceAction::Play}, PressCase{20, 47, FaceAction::Play},
        PressCase{25, 47, FaceAction::Pause}, PressCase{35, 47, FaceAction::Stop},
        PressCase{45, 47, FaceAction::FadeOutAndStop}, PressCase{55, 47, FaceAction::Next},
        PressCase{64.9f, 47, FaceAction::Next}, PressCase{65, 47, FaceAction::None},
        PressCase{75, 47, FaceAction::ShuffleOn}, PressCase{84.9f, 47, FaceAction::ShuffleOn},
        PressCase{85, 47, FaceAction::None}, PressCase{90, 47, FaceAction::None},
        PressCase{90.1f, 47, FaceAction::RepeatOn}, PressCase{100, 47, FaceAction::RepeatOn},
        PressCase{100.1f, 47, FaceAction::None}, PressCase{104.9f, 47, FaceAction::None},
        PressCase{105, 47, FaceAction::TogglePlaylist}, PressCase{114.9f, 47, FaceAction::TogglePlaylist},
        PressCase{115, 47, FaceAction::None}, PressCase{120, 47, FaceAction::None},
        PressCase{10, 42.9f, FaceAction::None}, PressCase{10, 43, FaceAction::Previous},
        PressCase{10, 51, FaceAction::Previous}, PressCase{10, 51.1f, FaceAction::None},
        // Volume cells in the middle row.
        PressCase{24.9f, 31, FaceAction::None}, PressCase{25, 31, FaceAction::VolumeDown},
        PressCase{30, 31, FaceAction::VolumeDown}, PressCase{30.1f, 31, FaceAction::VolumeUp},
        PressCase{34.9f, 31, FaceAction::VolumeUp}, PressCase{35, 31, FaceAction::None},
        PressCase{30, 26.9f, FaceAction::None}, PressCase{30, 27, FaceAction::VolumeDown},
        PressCase{30, 35, FaceAction::VolumeDown}, PressCase{30, 35.1f, FaceAction::None},
        PressCase{10, 0, FaceAction::None}, PressCase{60, 60, FaceAction::None}));

TEST(FaceGrid, PositionsNoByteHoldsDoNothing)
{
    EXPECT_FALSE(FaceCellAt(-10, 47).has_value());
    EXPECT_FALSE(FaceCellAt(10, 5000).has_value());
    EXPECT_FALSE(FaceCellAt(std::numeric_limits<float>::quiet_NaN(), 47).has_value());
}

TEST(FaceGrid, EachActionSendsItsCommand)
{
    const std::pair<FaceAction, const char16_t *> commands[] = {
        {FaceAction::Previous, u"/prev?p="},
        {FaceAction::Play, u"/play?p="},
        {FaceAction::Pause, u"/pause?p="},
        {FaceAction::Stop, u"/stop?p="},
        {FaceAction::FadeOutAndStop, u"/fadeoutandstop?p="},
        {FaceAction::Next, u"/next?p="},
        {FaceAction::ShuffleOn, u"/shuffle?p="},
        {FaceAction::RepeatOn, u"/repeat?p="},
        {FaceAction::VolumeDown, u"/volumedown?p="},
        {FaceAction::VolumeUp, u"/volumeup?p="},
        {FaceAction::TogglePlaylist, u""},
        {FaceAction::None, u""},
    };
    for (const auto &[action, command] : commands)
        EXPECT_EQ(QString::fromUtf16(FaceCommand(action)), QString::fromUtf16(command));
}

TEST(Add16, FailsOnlyWhenTheSumLeavesSixteenBits)
{
    EXPECT_EQ(Add16(1000, 100), qint16(1100));
    EXPECT_EQ(Add16(32667, 100), qint16(32767));
    EXPECT_EQ(Add16(32668, 100), std::nullopt);
    EXPECT_EQ(Add16(-5, 100), qint16(95));
    EXPECT_EQ(Add16(-32768, -1), std::nullopt);
}

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

TEST_F(MarqueeSteps, ANewTitleRestartsUnrotated)
{
    tick();
    for (int i = 0; i < 10; ++i)
        tick();
    newTitle(QStringLiteral("Next song title"));
    EXPECT_EQ(tick(), (QStringLiteral("Next song title") + separator).left(34));
    EXPECT_EQ(m_marquee.pos, 2);
}

} // namespace
