#pragma once

#include <QElapsedTimer>
#include <QListView>

class PlaylistModel;

// The playlist's list. Letters typed on it select the next entry whose
// title holds them anywhere, whatever their case and accents; a pause of
// the platform's keyboard interval starts a new search. It tells assistive
// technologies that the current entry moved only while it has the focus:
// the playing song, marked in an inactive window, is no reason for a reader
// to leave the window the user is in.
class PlaylistView final : public QListView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlaylistView)

public:
    explicit PlaylistView(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;
    void keyboardSearch(const QString &search) override;

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

private:
    PlaylistModel *m_entries = nullptr;
    QString m_typed;
    QElapsedTimer m_sinceTyped;
};
