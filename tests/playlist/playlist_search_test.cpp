#include "core/playlist/playlist_logic.h"
#include "core/playlist/playlist_search.h"

#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;

// Entries as the fill writes them: three blanks, then the title.
const QStringList kEntries = {
    u"   Björk - Jóga"_s,
    u"   Motörhead - Ace of Spades"_s,
    u"   Artist 3 - Song Title 3"_s,
    u"   ＡＢＢＡ - Waterloo"_s,
    u"   Кино - Группа крови"_s,
    u"   Motorhead - Overkill"_s,
    u" "_s,
};

TEST(PlaylistSearch, TypedLettersFindTheNextTitleHoldingThemWhateverTheirCaseAndAccents)
{
    const std::tuple<const char16_t *, qsizetype, std::optional<qsizetype>> cases[] = {
        {u"mot", 0, 1},
        {u"MOT", 2, 5},
        // Round again from the first entry.
        {u"mot", 6, 1},
        {u"MOTÖR", 2, 5},
        {u"örh", 0, 1},
        {u"jo", 0, 0},
        {u"ace of", 0, 1},
        // Anywhere in the title, not only at its start.
        {u"waterloo", 0, 3},
        {u"abba", 0, 3},
        {u"группа", 0, 4},
        {u"КИНО", 0, 4},
        // The blanks before each title are no part of it.
        {u"  b", 0, std::nullopt},
        {u"zzz", 0, std::nullopt},
        {u"", 0, std::nullopt},
    };
    for (const auto &[typed, from, found] : cases) {
        EXPECT_EQ(findTitle(kEntries, kEntries.size() - 1, typed, from), found)
            << QString::fromUtf16(typed).toStdString() << " from " << from;
    }
    // Only the first `count` entries: the list's rows, not the end entry.
    EXPECT_EQ(findTitle(kEntries, 2, u"overkill", 0), std::nullopt);
    EXPECT_EQ(findTitle({}, 0, u"a", 0), std::nullopt);
    EXPECT_EQ(entryTitle(u"   Björk - Jóga"), u"Björk - Jóga");
    EXPECT_EQ(entryTitle(u"Loading..."), u"Loading...");
}

// The playlist's top left corner docks strictly within the attach distance
// of the point below the bar's left edge, on every side (the desktop test
// drops the window 49 and 50 px to the right of it).
TEST(PlaylistDocking, OnlyStrictlyWithinTheAttachDistance)
{
    const std::tuple<double, qint16, bool> drops[] = {{735, 735, true}, {-735, -735, true}, {750, 0, false},
                                                      {-750, 0, false}, {0, 750, false},    {0, -750, false}};
    for (const auto &[dx, dy, docks] : drops)
        EXPECT_EQ(playlistNearAttachPoint(3000, 6495, 3000 + dx, qint16(6495 + dy), 750), docks) << dx << "," << dy;
}

} // namespace
