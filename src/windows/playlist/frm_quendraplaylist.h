#pragma once

#include "core/async/task.h"
#include "core/playlist/playlist_logic.h"

#include <QLine>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <array>
#include <optional>

class FormTimer;
class HttpqClient;
class PictureBox;
class PlaceWatch;
class PlaylistHost;
class PlaylistModel;
class QListView;
class WebBrowser;

// The playlist window, hung below the bar: the player's playlist in direct
// mode, the playlist page in web-control mode. The bar makes it when it is
// first needed and owns it.
class frm_QuendraPlaylist final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frm_QuendraPlaylist)

public:
    static constexpr int kWidthTwips = 4125;
    static constexpr int kStripTwips = 225;
    static constexpr int kFirstRefreshMs = 1000;
    static constexpr int kRefreshMs = 60000;

    // The bar hands itself over as the host when it makes the window; it
    // outlives the window. Form_Load sets the window up.
    explicit frm_QuendraPlaylist(PlaylistHost &host);
    ~frm_QuendraPlaylist() override;

    void Form_Load();
    // Cancels both channels and stops the refresh.
    void Form_Unload();
    // Lays the controls out for the window's size and stores its height.
    void ArrangePlaylistWindow();
    // Any button moves the window by its title strip, then docks it; Button
    // is 1 left, 2 right, 4 middle, X and Y in twips.
    void picTop_MouseDown(qint16 Button, int Shift, float X, float Y);
    void picTop_DblClick();
    // Any button sizes the window's bottom edge, then bottomEdgeMoved.
    void picBottom_MouseDown(qint16 Button, int Shift, float X, float Y);
    // After the bottom edge was dragged: collapse below two strips, arrange
    // for the height the window then really has.
    void bottomEdgeMoved();
    // Attaches the window below the bar when it is near it; the mover name
    // says which window moved ("Quendra" or "Playlist").
    void DockPlaylist(const QString &mover);
    void AttachPlaylist();

    void timPlaylistRefresh_Timer();
    // Starts a fetch of the titles unless one is under way.
    void RequestPlaylist();
    // Reads the completed answer in pieces into the list.
    void inetPlayList_ResponseCompleted();
    // A piece of the answer into the list; last -1 ends the fill.
    void AddPlaylistText(const QString &text, qint16 last);
    // Whether an answer is still going into the list (a slice each turn of
    // the event loop, so that a long playlist never holds the windows up).
    bool isFilling() const { return m_reading || m_nextPiece < m_pieces.size(); }
    // Selects the entry that now plays and keeps it in view; during a fill,
    // once the fill has ended.
    void ShowCurrentSongInPlaylist(qint16 IndexShow);
    // Starts the chosen entry, with shuffle off around the jump when it is on.
    async::Task<> listPlayList_DblClick();

    // A docked pair is minimised and restored as one: `changed`, the bar or
    // this window, has just been minimised or restored.
    void pairStateChanged(QWidget *changed);
    // A move by the window manager still settling is docked now.
    void restNow();

    QPoint positionTwips() const;
    // Every move the program makes goes through here: the window's rest at
    // the new place is not taken for the user's move.
    void moveTwips(int left, int top);
    // Size in twips.
    int heightTwips() const;

    PictureBox *picTop;
    PictureBox *picTopSongList;
    QListView *listPlayList;
    QWidget *picHideScrollBar;
    PictureBox *picBottom;
    std::array<QLine, 2> Line1;
    // Created only in web-control mode.
    WebBrowser *QuendraPlaylistWebbrowser = nullptr;
    HttpqClient *inetPlayList;
    HttpqClient *inetPLAction;
    FormTimer *timPlaylistRefresh;

    int mRefreshTicks = 0;
    // The list's entries.
    PlaylistModel *entries() const { return m_entries; }

Q_SIGNALS:
    // An answer has gone into the list whole.
    void playlistFilled();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Where the highlight goes when the fill under way ends: a row, -1 for
    // none, -2 where it is.
    int highlightAfterFill();
    // Puts the next slice of the answer taken in into the list, and ends
    // the fill after the last.
    void fillSlice();
    // The next piece of the answer going in; empty at its end.
    QString nextPiece();
    void placeBottomStrip();
    qint16 doubleBarHeight() const;

    PlaylistHost &m_host;
    // The user's moves through the window manager dock as a drag of the
    // title strip does.
    PlaceWatch *m_placeWatch;
    PlaylistFill m_fill;
    PlaylistModel *m_entries;
    // The entry that plays, as last shown (-1: none).
    int m_playingEntry = -1;
    // What was highlighted and what played when the fill under way began.
    bool m_filling = false;
    int m_highlightBefore = -1;
    QString m_highlightText;
    QString m_playingText;
    // The answer going in is read from the channel a slice at a time; when
    // the channel fetches again first, its rest waits here.
    bool m_reading = false;
    QStringList m_pieces;
    qsizetype m_nextPiece = 0;
    QTimer m_nextSlice;
    std::optional<qint16> m_showAfterFill;
};
