#include "core/mpris/mpris_logic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

TEST(MprisLogic, TheTitleSplitsAtItsFirstSeparatorIntoArtistAndTitle)
{
    // The player's title; the artist and the title the desktop shows.
    const std::tuple<QString, QString, QString> cases[] = {
        {u"Artist One - First Song"_s, u"Artist One"_s, u"First Song"_s},
        {u"A - B - C"_s, u"A"_s, u"B - C"_s},
        {u"A - - B"_s, u"A"_s, u"- B"_s},
        {u"Just a title"_s, QString(), u"Just a title"_s},
        {u"Hyphen-ated - Song"_s, u"Hyphen-ated"_s, u"Song"_s},
        // Nothing before or after the first separator: no artist.
        {u" - Song"_s, QString(), u" - Song"_s},
        {u"Artist - "_s, QString(), u"Artist - "_s},
        {u" - "_s, QString(), u" - "_s},
        {u" -  - B"_s, QString(), u" -  - B"_s},
        {QString(), QString(), QString()},
        // Only a blank, a minus and a blank separate: not an en dash.
        {u"Beyonc\u00e9 \u2013 Halo"_s, QString(), u"Beyonc\u00e9 \u2013 Halo"_s},
        {u"A -B"_s, QString(), u"A -B"_s},
    };
    for (const auto &[title, artist, rest] : cases) {
        SCOPED_TRACE(title.toStdString());
        const MprisTrackName name = mprisSplitTitle(title);
        EXPECT_EQ(name.artist, artist);
        EXPECT_EQ(name.title, rest);
    }
}

TEST(MprisLogic, TheVolumeMapsOntoThePlayersLevelsWithinTheirRange)
{
    const std::pair<double, std::optional<qint16>> levels[] = {
        {0.0, 0},
        {1.0, 255},
        {0.3, 77},
        {0.5, 128},
        {-0.5, 0},
        {7.0, 255},
        {std::numeric_limits<double>::infinity(), 255},
        {-std::numeric_limits<double>::infinity(), 0},
        {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
    };
    for (const auto &[volume, level] : levels)
        EXPECT_EQ(mprisVolumeLevel(volume), level) << volume;
    EXPECT_EQ(mprisVolume(0), 0.0);
    EXPECT_EQ(mprisVolume(255), 1.0);
    EXPECT_EQ(mprisVolume(-4), 0.0);
    EXPECT_EQ(mprisVolume(300), 1.0);
    // Every level comes back as itself.
    for (qint16 level = 0; level <= 255; ++level)
        EXPECT_EQ(mprisVolumeLevel(mprisVolume(level)), level);
}

} // namespace
