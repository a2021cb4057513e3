#include "core/playlist/playlist_logic.h"

#include <algorithm>
#include <cmath>
#include <limits>

qint16 roundToInt16(double value)
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

bool playlistNearAttachPoint(double barLeft, double barBottom, double playlistLeft, qint16 playlistTop,
                             qint16 attachArea)
{
    return playlistTop > barBottom - attachArea && playlistTop < barBottom + attachArea
        && playlistLeft > barLeft - attachArea && playlistLeft < barLeft + attachArea;
}

namespace {

// "<br>" from `from` on: a search for its first character, which titles
// seldom hold, is much faster than a search for the whole text.
qsizetype findSeparator(QStringView text, qsizetype from)
{
    static constexpr QStringView kSeparator = u"<br>";
    for (qsizetype at = text.indexOf(u'<', from); at >= 0; at = text.indexOf(u'<', at + 1)) {
        if (text.sliced(at).startsWith(kSeparator))
            return at;
    }
    return -1;
}

} // namespace

void PlaylistFill::add(QStringView piece, PlaylistEntries &list)
{
    constexpr qsizetype kSeparatorSize = 4;
    m_carry.append(piece);
    // Only the new text, and a separator begun at the end of the carry, can
    // hold a separator not seen before.
    qsizetype start = 0;
    for (qsizetype found = findSeparator(m_carry, m_scanFrom); found >= 0; found = findSeparator(m_carry, start)) {
        if (m_next < kMaxTitles) {
            // One buffer for every entry: an entry equal to the one in place
            // costs no allocation.
            const QStringView title = QStringView(m_carry).sliced(start, found - start);
            m_entry.resize(3 + title.size());
            std::fill_n(m_entry.data(), 3, u' ');
            std::copy(title.begin(), title.end(), m_entry.data() + 3);
            list.setEntry(m_next, m_entry);
            ++m_next;
        }
        start = found + kSeparatorSize;
    }
    if (start > 0)
        m_carry.remove(0, start);
    m_scanFrom = std::max<qsizetype>(0, m_carry.size() - (kSeparatorSize - 1));
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

void PlaylistFill::abandon(const PlaylistEntries &list)
{
    m_entryCount = std::max(m_entryCount, list.count());
    m_next = 0;
    m_carry.clear();
    m_scanFrom = 0;
}

std::optional<int> playlistTopRow(int indexShow, int selected, int top, int rows)
{
    if (!(selected < top || selected + 1 > top + rows - 1))
        return std::nullopt;
    if (indexShow < rows)
        return 0;
    return int(std::nearbyint(indexShow - rows / 3.0));
}
