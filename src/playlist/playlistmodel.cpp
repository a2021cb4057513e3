#include "playlistmodel.h"

#include "face_logic.h"

namespace {

// A row is one line of a narrow window: a title longer than this (a player
// can send megabytes) is shown cut, so that drawing or measuring a row costs
// no more than a screenful of text.
constexpr qsizetype kShownChars = 512;

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
    , m_rows{firstEntry}
{ }

int PlaylistModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant PlaylistModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_rows.size())
        return {};
    return rowText(m_rows.at(index.row()));
}

int PlaylistModel::count() const
{
    return int(m_rows.size() + m_pending.size());
}

void PlaylistModel::setEntry(int position, const QString &text)
{
    if (position < m_rows.size()) {
        // An unchanged entry is not touched, so an unchanged list keeps its view.
        QString &row = m_rows[position];
        if (row == text)
            return;
        row = text;
        m_changedFirst = m_changedFirst < 0 ? position : std::min(m_changedFirst, position);
        m_changedLast = std::max(m_changedLast, position);
        return;
    }
    const qsizetype pending = position - m_rows.size();
    if (pending < m_pending.size())
        m_pending[pending] = text;
    else
        m_pending.append(text);
}

void PlaylistModel::removeEntries(int position, int number)
{
    commit();
    const int last = std::min<int>(position + number, int(m_rows.size())) - 1;
    if (position < 0 || last < position)
        return;
    beginRemoveRows({}, position, last);
    m_rows.remove(position, last - position + 1);
    endRemoveRows();
}

QString PlaylistModel::entry(int position) const
{
    if (position < 0)
        return {};
    if (position < m_rows.size())
        return m_rows.at(position);
    return m_pending.value(position - m_rows.size());
}

void PlaylistModel::commit()
{
    if (m_changedFirst >= 0) {
        const int last = std::min<int>(m_changedLast, int(m_rows.size()) - 1);
        if (m_changedFirst <= last)
            emit dataChanged(index(m_changedFirst), index(last), {Qt::DisplayRole});
        m_changedFirst = m_changedLast = -1;
    }
    if (!m_pending.isEmpty()) {
        beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + m_pending.size()) - 1);
        m_rows.append(m_pending);
        m_pending.clear();
        endInsertRows();
    }
}
