#pragma once

// The playlist window's plain logic: the docking rule, filling the list from
// the pieces of an answer, and where to scroll so the playing song shows.

#include <QString>
#include <QStringView>

#include <optional>

// A value rounded half to even into 16 bits (held at the range's ends).
qint16 roundToInt16(double value);

// Whether the playlist's top left corner lies strictly within the attach
// distance of the point below the bar's left edge, in both directions.
bool playlistNearAttachPoint(double barLeft, double barBottom, double playlistLeft, qint16 playlistTop,
                             qint16 attachArea);

// The list as the filling sees it; the window's list and the tests'
// string lists both implement it.
class PlaylistEntries
{
public:
    virtual ~PlaylistEntries() = default;
    virtual int count() const = 0;
    // Replaces the entry at position, or appends when position == count().
    virtual void setEntry(int position, const QString &text) = 0;
    virtual void removeEntries(int position, int number) = 0;
};

// Fills the list from the pieces of one "/getplaylisttitle" answer: each
// title ends with "<br>", a separator may be cut by a piece boundary, and
// entries are overwritten in place so that an unchanged list stays as it was.
class PlaylistFill
{
public:
    // List positions are 16-bit: titles beyond this are not shown.
    static constexpr int kMaxTitles = 32767;

    void add(QStringView piece, PlaylistEntries &list);
    // Removes what is left of a longer previous fill, adds the blank entry,
    // drops any text after the last "<br>".
    void finish(PlaylistEntries &list);
    // Drops a fill that will not be finished: the next one starts afresh,
    // and its finish removes what this one added beyond it.
    void abandon(const PlaylistEntries &list);

    int nextEntry() const { return m_next; }
    int entryCount() const { return m_entryCount; }
    const QString &carry() const { return m_carry; }

private:
    QString m_carry;
    QString m_entry;
    qsizetype m_scanFrom = 0;
    int m_next = 0;
    int m_entryCount = 0;
};

// The first visible row that puts the playing entry about a third of the way
// down the view, or nothing when it is in view above the last row.
std::optional<int> playlistTopRow(int indexShow, int selected, int top, int rows);
