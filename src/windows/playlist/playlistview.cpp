#include "windows/playlist/playlistview.h"

#include "windows/playlist/playlistmodel.h"

#include <QApplication>

PlaylistView::PlaylistView(QWidget *parent)
    : QListView(parent)
{ }

void PlaylistView::setModel(QAbstractItemModel *model)
{
    m_entries = qobject_cast<PlaylistModel *>(model);
    QListView::setModel(model);
}

void PlaylistView::keyboardSearch(const QString &search)
{
    if (!m_entries) {
        QListView::keyboardSearch(search);
        return;
    }
    // Within the interval the letters add up and the entry that holds them
    // all may stay; after it they start again, from the next entry on.
    const bool goesOn = !search.isEmpty() && m_sinceTyped.isValid()
        && m_sinceTyped.elapsed() <= QApplication::keyboardInputInterval();
    m_sinceTyped.start();
    m_typed = goesOn ? m_typed + search : search;
    const int current = currentIndex().row();
    const int from = current < 0 ? 0 : goesOn ? current : current + 1;
    if (const std::optional<int> found = m_entries->findTitle(m_typed, from))
        setCurrentIndex(m_entries->index(*found));
}

void PlaylistView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    // QListView tells assistive technologies that the focus went to the new
    // current entry, with or without the focus.
    if (hasFocus())
        QListView::currentChanged(current, previous);
    else
        QAbstractItemView::currentChanged(current, previous);
}
