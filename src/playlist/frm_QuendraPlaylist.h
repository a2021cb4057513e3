#pragma once

#include <QString>
#include <QWidget>

// The playlist window, hung below the bar. One instance, created on first use.
class frm_QuendraPlaylist final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frm_QuendraPlaylist)

public:
    static constexpr int kWidthTwips = 4125;

    // The window, created (and set up by Form_Load) when first asked for.
    static frm_QuendraPlaylist *instance();
    // The window if it was created, else null.
    static frm_QuendraPlaylist *existing();
    static void destroyInstance();

    ~frm_QuendraPlaylist() override;

    void Form_Load();
    // Attaches the window below the bar when it is near it; the mover name
    // says which window moved ("Quendra" or "Playlist").
    void DockPlaylist(const QString &mover);

    // Selects the entry that now plays and keeps it in view.
    void ShowCurrentSongInPlaylist(qint16 &IndexShow);

    QPoint positionTwips() const;
    void moveTwips(int left, int top);

private:
    frm_QuendraPlaylist();
};
