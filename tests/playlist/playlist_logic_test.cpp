#include "playlist/playlist_logic.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

// A list that records how many entries were actually rewritten.
class StringEntries final : public PlaylistEntries
{
public:
    QStringList entries{QStringLiteral("Loading...")};
    int writes = 0;

    int count() const override { return int(entries.size()); }
    void setEntry(int position, const QString &text) override
    {
        if (position < entries.size()) {
            if (entries[position] != text) {
                entries[position] = text;
                ++writes;
            }
        } else {
            ASSERT_EQ(position, entries.size());
            entries.append(text);
            ++writes;
        }
    }
    void removeEntries(int position, int number) override { entries.remove(position, number); }
};

QStringList fill(PlaylistFill &fill, StringEntries &list, const QStringList &pieces)
{
    for (const QString &piece : pieces)
        fill.add(piece, list);
    fill.finish(list);
    return list.entries;
}

QStringList titles(int count, const QString &prefix = QStringLiteral("Title "))
{
    QStringList result;
    for (int i = 0; i < count; ++i)
        result.append(prefix + QString::number(i));
    return result;
}

QString answer(const QStringList &titles)
{
    QString text;
    for (const QString &title : titles)
        text += title + QStringLiteral("<br>");
    return text;
}

QStringList expected(const QStringList &titles)
{
    QStringList entries;
    for (const QString &title : titles)
        entries.append(QStringLiteral("   ") + title);
    entries.append(QStringLiteral(" "));
    return entries;
}

TEST(PlaylistFill, TitlesBecomeIndentedEntriesEndedByABlank)
{
    PlaylistFill f;
    StringEntries list;
    EXPECT_EQ(fill(f, list, {QStringLiteral("A<br>B<br>")}),
              QStringList({QStringLiteral("   A"), QStringLiteral("   B"), QStringLiteral(" ")}));
    EXPECT_EQ(f.entryCount(), 3);
    EXPECT_EQ(f.nextEntry(), 0);
    EXPECT_TRUE(f.carry().isEmpty());

    // Text after the last separator is dropped; empty titles are titles.
    PlaylistFill g;
    StringEntries other;
    EXPECT_EQ(fill(g, other, {QStringLiteral("A<br>B")}), QStringList({QStringLiteral("   A"), QStringLiteral(" ")}));
    StringEntries empties;
    PlaylistFill h;
    EXPECT_EQ(fill(h, empties, {QStringLiteral("<br><br>")}),
              QStringList({QStringLiteral("   "), QStringLiteral("   "), QStringLiteral(" ")}));
}

TEST(PlaylistFill, ASeparatorCutAtAnyPlaceIsJoinedAgain)
{
    const QString text = answer({QStringLiteral("Alpha"), QStringLiteral("B"), QString(), QStringLiteral("<b>Gamma")});
    const QStringList want = expected({QStringLiteral("Alpha"), QStringLiteral("B"), QString(), QStringLiteral("<b>Gamma")});
    for (int cut = 0; cut <= text.size(); ++cut) {
        PlaylistFill f;
        StringEntries list;
        EXPECT_EQ(fill(f, list, {text.left(cut), text.mid(cut)}), want) << cut;
    }
    // Pieces of one character: every boundary cuts.
    PlaylistFill f;
    StringEntries list;
    QStringList single;
    for (const QChar c : text)
        single.append(QString(c));
    EXPECT_EQ(fill(f, list, single), want);
    // "<br" without its ">" is text.
    PlaylistFill g;
    StringEntries other;
    EXPECT_EQ(fill(g, other, {QStringLiteral("a<br"), QStringLiteral("b<br>")}), expected({QStringLiteral("a<brb")}));
}

TEST(PlaylistFill, RefillsOverwriteInPlaceAndTrimOrGrow)
{
    PlaylistFill f;
    StringEntries list;
    fill(f, list, {answer(titles(5))});
    EXPECT_EQ(list.entries.size(), 6);
    EXPECT_EQ(fill(f, list, {answer(titles(2, QStringLiteral("New ")))}), expected(titles(2, QStringLiteral("New "))));
    EXPECT_EQ(f.entryCount(), 3);
    EXPECT_EQ(fill(f, list, {answer(titles(5))}), expected(titles(5)));
    EXPECT_EQ(f.entryCount(), 6);

    // The same answer again writes nothing.
    list.writes = 0;
    fill(f, list, {answer(titles(5).mid(0, 3)), answer(titles(5).mid(3))});
    EXPECT_EQ(list.writes, 0);

    // An answer without any separator, or no answer text at all, leaves the blank only.
    EXPECT_EQ(fill(f, list, {QStringLiteral("0")}), QStringList{QStringLiteral(" ")});
    EXPECT_EQ(fill(f, list, {}), QStringList{QStringLiteral(" ")});
    EXPECT_EQ(f.entryCount(), 1);
}

TEST(PlaylistFill, PositionsStayWithinSixteenBits)
{
    PlaylistFill f;
    StringEntries list;
    const QString text = answer(titles(PlaylistFill::kMaxTitles + 100));
    for (qsizetype at = 0; at < text.size(); at += 1024)
        f.add(QStringView(text).mid(at, 1024), list);
    f.finish(list);
    EXPECT_EQ(list.entries.size(), PlaylistFill::kMaxTitles + 1);
    EXPECT_EQ(list.entries.at(PlaylistFill::kMaxTitles - 1), u"   Title 32766");
    EXPECT_EQ(list.entries.last(), u" ");
}

TEST(PlaylistView, ThePlayingEntryLandsAThirdOfTheWayDown)
{
    // 20 whole rows in view.
    EXPECT_EQ(PlaylistTopRow(50, 50, 31, 20), 43); // on the last row
    EXPECT_EQ(PlaylistTopRow(10, 10, 0, 20), std::nullopt);
    EXPECT_EQ(PlaylistTopRow(19, 19, 0, 20), 0); // on the last row, but within the first view
    EXPECT_EQ(PlaylistTopRow(30, 30, 30, 20), std::nullopt);
    EXPECT_EQ(PlaylistTopRow(5, 5, 10, 20), 0); // above the view
    EXPECT_EQ(PlaylistTopRow(100, 100, 10, 20), 93);
    // A third of the rows, rounded to the nearest row.
    EXPECT_EQ(PlaylistTopRow(100, 100, 0, 3), 99);
    EXPECT_EQ(PlaylistTopRow(101, 101, 0, 7), 99);
}

// The docking rule's top and the stored height: half to even, held in 16 bits
// (a window below 32767 twips, 2184 px, still compares as at the edge).
TEST(PlaylistDocking, TopsAndHeightsRoundHalfToEvenWithinSixteenBits)
{
    EXPECT_EQ(RoundToInt16(2.5), 2);
    EXPECT_EQ(RoundToInt16(3.5), 4);
    EXPECT_EQ(RoundToInt16(40000), 32767);
    EXPECT_EQ(RoundToInt16(-40000), -32768);
}

} // namespace
