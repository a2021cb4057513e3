#include "windows/playlist/playlistmodel.h"

#include "core/face/face_logic.h"
#include "core/playlist/playlist_search.h"

namespace {

// A row is one line of a narrow window: a title longer than this (a player
// can send megabytes) is shown cut, so that drawing or measuring a row costs
// no more than a screenful of text.
constexpr qsizetype kShownChars = 512;

// What a fill writes after the last title.
constexpr QStringView kEndEntry = u" ";

QString rowText(const QString &entry)
{
    QString shown = entry.left(kShownChars);
    for (QChar &c : shown)
        c = marqueeChar(c);
    return shown;
}

} // namespace

PlaylistModel::PlaylistModel(const QString &firstEntry, QObject *parent)
    : QAbstractListModel(parent)
    , m_entries{firstEntry}
{
    m_rows = rowsOfEntries();
}

int PlaylistModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

QVariant PlaylistModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows)
        return {};
    switch (role) {
    case Qt::DisplayRole: return rowText(m_entries.at(index.row()));
    case Qt::AccessibleTextRole: return entryTitle(rowText(m_entries.at(index.row()))).toString();
    default: return {};
    }
}

int PlaylistModel::count() const
{
    return int(m_entries.size());
}

int PlaylistModel::rowsOfEntries() const
{
    return int(m_entries.size()) - (!m_entries.isEmpty() && m_entries.last() == kEndEntry ? 1 : 0);
}

void PlaylistModel::setEntry(int position, const QString &text)
{
    if (position >= m_entries.size()) {
        m_entries.append(text);
        return;
    }
    // An unchanged entry is not touched, so an unchanged list keeps its view.
    QString &entry = m_entries[position];
    if (entry == text)
        return;
    entry = text;
    if (position < m_rows) {
        m_changedFirst = m_changedFirst < 0 ? position : std::min(m_changedFirst, position);
        m_changedLast = std::max(m_changedLast, position);
    }
}

void PlaylistModel::removeEntries(int position, int number)
{
    commit();
    const int last = std::min<int>(position + number, int(m_entries.size())) - 1;
    if (position < 0 || last < position)
        return;
    const int lastRow = std::min(last, m_rows - 1);
    if (position <= lastRow)
        beginRemoveRows({}, position, lastRow);
    m_entries.remove(position, last - position + 1);
    if (position <= lastRow) {
        m_rows -= lastRow - position + 1;
        endRemoveRows();
    }
}

QString PlaylistModel::entry(int position) const
{
    return position < 0 ? QString() : m_entries.value(position);
}

void PlaylistModel::commit()
{
    if (m_changedFirst >= 0) {
        const int last = std::min(m_changedLast, m_rows - 1);
        if (m_changedFirst <= last)
            emit dataChanged(index(m_changedFirst), index(last), {Qt::DisplayRole, Qt::AccessibleTextRole});
        m_changedFirst = m_changedLast = -1;
    }
    const int rows = rowsOfEntries();
    if (rows > m_rows) {
        beginInsertRows({}, m_rows, rows - 1);
        m_rows = rows;
        endInsertRows();
    } else if (rows < m_rows) {
        // The last row became the end entry.
        beginRemoveRows({}, rows, m_rows - 1);
        m_rows = rows;
        endRemoveRows();
    }
}

std::optional<int> PlaylistModel::findTitle(const QString &typed, int from) const
{
    if (const std::optional<qsizetype> found = ::findTitle(m_entries, m_rows, typed, from))
        return int(*found);
    return std::nullopt;
}
