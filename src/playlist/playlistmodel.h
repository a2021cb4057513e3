#pragma once

#include "playlist_logic.h"

#include <QAbstractListModel>
#include <QStringList>

// The playlist's entries as the list view shows them, each on one line and
// cut to what a row can show. A fill writes entries
// in place; the view hears of the changes once, when commit() says so, as
// one changed range and one block of new rows, not as one signal per title.
class PlaylistModel final : public QAbstractListModel, public PlaylistEntries
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlaylistModel)

public:
    explicit PlaylistModel(const QString &firstEntry, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // The entries as the fill sees them, announced or not.
    int count() const override;
    void setEntry(int position, const QString &text) override;
    void removeEntries(int position, int number) override;
    // The text of an entry, announced or not; empty beyond the end.
    QString entry(int position) const;
    // Tells the views what changed since the last commit.
    void commit();

private:
    QStringList m_rows;
    // Entries appended since the last commit.
    QStringList m_pending;
    int m_changedFirst = -1;
    int m_changedLast = -1;
};
