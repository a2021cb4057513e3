#include "playlist/playlist_logic.h"

#include <cmath>
#include <limits>

qint16 RoundToInt16(double value)
{
    if (std::isnan(value))
        return 0;
    const double rounded = std::nearbyint(value);
    if (rounded <= std::numeric_limits<qint16>::min())
        return std::numeric_limits<qint16>::min();
    if (rounded >= std::numeric_limits<qint16>::max())
        return std::numeric_limits<qint16>::max();
    return static_cast<qint16>(rounded);
}

bool PlaylistNearAttachPoint(double barLeft, double barBottom, double playlistLeft, qint16 playlistTop,
                             qint16 attachArea)
{
    return playlistTop > barBottom - attachArea && playlistTop < barBottom + attachArea
           && playlistLeft > barLeft - attachArea && playlistLeft < barLeft + attachArea;
}

void PlaylistFill::add(QStringView piece, PlaylistEntries &list)
{
    static const QString separator = QStringLiteral("<br>");
    m_carry.append(piece);
    // Only the new text, and a separator begun at the end of the carry, can
    // hold a separator not seen before.
    qsizetype start = 0;
    for (qsizetype found = m_carry.indexOf(separator, m_scanFrom); found >= 0;
         found = m_carry.indexOf(separator, start)) {
        if (m_next < kMaxTitles) {
            QString entry = QStringLiteral("   ");
            entry.append(QStringView(m_carry).sliced(start, found - start));
            list.setEntry(m_next, entry);
            ++m_next;
        }
        start = found + separator.size();
    }
    if (start > 0)
        m_carry.remove(0, start);
    m_scanFrom = std::max<qsizetype>(0, m_carry.size() - (separator.size() - 1));
}

void PlaylistFill::finish(PlaylistEntries &list)
{
    // The surplus of a longer previous fill goes; the entry at m_next is
    // overwritten by the blank rather than removed and added again, which
    // keeps an unchanged list's view still.
    const int keep = m_next + 1;
    if (list.count() > keep && m_entryCount > keep)
        list.removeEntries(keep, std::min(m_entryCount, list.count()) - keep);
    list.setEntry(m_next, QStringLiteral(" "));
    m_entryCount = list.count();
    m_next = 0;
    m_carry.clear();
    m_carry.squeeze();
    m_scanFrom = 0;
}

std::optional<int> PlaylistTopRow(int indexShow, int selected, int top, int rows)
{
    if (!(selected < top || selected + 1 > top + rows - 1))
        return std::nullopt;
    if (indexShow < rows)
        return 0;
    return int(std::nearbyint(indexShow - rows / 3.0));
}
