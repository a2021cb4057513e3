#pragma once

#include "core/playlist/playlist_logic.h"

#include <QAbstractListModel>
#include <QStringList>

#include <optional>

// The playlist's entries as the list view shows them, each on one line and
// cut to what a row can show. A fill writes entries in place; the view
// hears of the changes once, when commit() says so, as one changed range
// and one block of new rows, not as one signal per title. The blank entry
// that ends a fill is no row: it holds no title, and a reader counts the
// titles.
class PlaylistModel final : public QAbstractListModel, public PlaylistEntries
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlaylistModel)

public:
    explicit PlaylistModel(const QString &firstEntry, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    // The row as shown; to assistive technologies, its title alone.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // The entries as the fill sees them, announced or not.
    int count() const override;
    void setEntry(int position, const QString &text) override;
    void removeEntries(int position, int number) override;
    // The text of an entry, announced or not; empty beyond the end.
    QString entry(int position) const;
    // Tells the views what changed since the last commit.
    void commit();
    // The next row from `from` on (round again from the first) whose title
    // holds `typed`, whatever its case and accents.
    std::optional<int> findTitle(const QString &typed, int from) const;

private:
    // Rows a view would show for the entries as they are now.
    int rowsOfEntries() const;

    QStringList m_entries;
    // The rows the views know of: the first entries.
    int m_rows = 0;
    int m_changedFirst = -1;
    int m_changedLast = -1;
};
