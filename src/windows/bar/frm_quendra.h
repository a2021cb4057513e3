#pragma once

#include "core/async/task.h"
#include "core/face/bar_keys.h"
#include "core/face/face_logic.h"
#include "services/httpq/httpqclient.h"
#include "windows/bar/marqueelabel.h"
#include "windows/bar/media_host.h"
#include "windows/playlist/playlist_host.h"
#include "windows/settings_dialog/settings_host.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLine>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <limits>
#include <optional>

class BarKeyboard;
class FormTimer;
class MediaEvents;
class frm_QuendraPlaylist;
class frmSettings;
class frmSystray;
class PictureBox;
class PlaceWatch;
class QScreen;
class ReaderNotice;
class WebBrowser;

// The bar: the program's start-up and main window. In direct mode it shows
// the player face and polls httpQ; in web-control mode it shows the control
// page in an embedded browser below its title strip. It makes the playlist
// window and the settings dialog and is their host, and the desktop's media
// controls' host.
class frm_Quendra final : public QWidget, public PlaylistHost, public SettingsHost, public MediaHost
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frm_Quendra)

public:
    frm_Quendra();
    ~frm_Quendra() override;

    // Loads the settings, lays the bar out for its mode, starts the timers,
    // places the playlist window and shows the bar.
    void Form_Load();

    // The handlers that ask the player are coroutines: each goes on once its
    // answer is in, and is destroyed unfinished if the bar goes first.

    // A press on the face, in its 120 x 60 units: one command per press.
    async::Task<> picQuendraDirect_MouseDown(Qt::MouseButton button, float x, float y);
    // The now-playing poll, the title marquee and the play-state poll.
    async::Task<> timRefreshSongTitle_Timer();
    void timDisplaySongtitle_Timer();
    async::Task<> timRefreshStatus_Timer();
    // Read the shuffle and repeat states and show or hide their marks.
    async::Task<> ShuffleCheck();
    HttpqClient::Request shuffleRead() override;
    void takeShuffleState(const std::optional<QString> &answer) override;
    async::Task<> LoopCheck();

    // The title strip: its settings, hide and close buttons, else a drag.
    // Button is 1 left, 2 right, 4 middle; X and Y in twips.
    void TopBar_MouseDown(qint16 Button, int Shift, float X, float Y);
    // Hides both windows, only while a tray host can bring them back.
    void HideAllWindows();
    // Switches the playlist window on or off and stores the choice at once.
    void TogglePlaylist();
    void picPlayListStatus_Click();
    // Creates the tray icon with its seven-item menu.
    void BuildTrayMenu();
    void my_frmSysTray_MenuClick(qint32 lIndex, const QString &sKey);
    void my_frmSysTray_SysTrayMouseDown(qint32 eButton);
    // Stops the polls, saves every setting with the windows' positions,
    // removes the tray icon, closes every window and ends the program.
    void CloseApplication();

    // The playlist window, made (and loaded) when first asked for; the bar
    // owns it.
    frm_QuendraPlaylist *playlistWindow();
    // The open settings dialog, or null.
    frmSettings *settingsDialog() const;
    // The settings dialog, made (and loaded) unless one is open.
    frmSettings *makeSettingsDialog();

    // The line every window's presses take, which also knows whether the
    // player answers.
    PlayerLine *playerLine() const override { return m_line; }
    bool playerReachable() const override;

    // The window's controls, as the other windows and the tests reach them.
    PictureBox *picPlayListStatus;
    PictureBox *picLoopStatus;
    PictureBox *picShuffleStatus;
    HttpqClient *InetStatusCheck;
    FormTimer *timRefreshStatus;
    FormTimer *timDisplaySongtitle;
    HttpqClient *NetworkConnection;
    FormTimer *timRefreshSongTitle;
    PictureBox *picQuendraDirect;
    QLabel *lblSongInfo;
    QLabel *lblChannels;
    MarqueeLabel *lblSongTitle;
    QLabel *lblStatus;
    PictureBox *TopBar;
    // Created only in web-control mode.
    WebBrowser *QuendraWebbrowser = nullptr;
    frmSystray *my_frmSysTray = nullptr;
    // Border lines drawn on the window itself, in twips.
    std::array<QLine, 3> Line1;

    // Kept from tick to tick by the polls and the marquee.
    QString mLastTitle;
    qint16 mSampleRate = 0;
    qint16 mBitRate = 0;
    qint16 mChannels = 0;
    qint16 mTrackLength = 0;
    qint16 mPlayState = 0;

Q_SIGNALS:
    // CloseApplication has saved everything and closed every window: the
    // program ends now.
    void applicationClosed();

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    static constexpr int kWidthTwips = 4125;
    static constexpr int kStatusPollDelayMs = 100;
    // The largest position in milliseconds whose microseconds, moved on by
    // a year of playing, still fit 64 bits.
    static constexpr qint64 kMaxPositionMs = std::numeric_limits<qint64>::max() / 1000 - 366LL * 24 * 3600 * 1000;

    // The marks switch their mode off.
    async::Task<> picShuffleStatus_Click();
    async::Task<> picLoopStatus_Click();

    QWidget *barWindow() override;
    void startPressed() override;
    std::optional<qint16> playerListPosition() const override { return m_playerListPos; }
    QWidget *hostWindow() override;
    WindowPositions windowPositions() override;
    void reloadPages() override;

    MediaEvents *mediaEvents() override { return m_mediaEvents; }
    async::Task<bool> sendPlayerCommand(QString command, QString argument) override;
    async::Task<> switchPlayerMode(bool shuffle, bool on) override;
    async::Task<std::optional<qint16>> setPlayerVolume(qint16 level) override;
    void showWindows() override;
    void closeApplication() override;
    void setMediaPolled(bool polled) override { m_mediaPolled = polled; }
    QString playerTitle() const override { return mLastTitle; }
    qint16 playState() const override { return mPlayState; }
    qint16 trackLength() const override { return mTrackLength; }
    qint16 listPosition() const override { return m_listPos; }
    bool shuffleOn() const override;
    bool repeatOn() const override { return m_repeatOn; }
    std::optional<qint16> playerVolume() const override { return m_volume; }
    qint64 positionMs() const override;
    void setPositionMs(qint64 ms) override;

    // Left and top in twips.
    QPoint positionTwips() const;
    void moveTwips(int left, int top);

    // Sends a command on NetworkConnection; the answer is not used. Awaited
    // by a press's own handler, it is part of that press.
    HttpqClient::Request sendCommand(const QString &command, const QString &argument = {});
    // Whether a command's answer says the player took it.
    static bool tookCommand(QStringView answer);
    void showReachability();
    void showPlayState();
    QString trayTip() const;
    async::Task<> readPosition();
    // The player's volume, 0 to 255, kept and told when it changed.
    async::Task<std::optional<qint16>> readVolume();
    async::Task<std::optional<qint16>> readNumber(HttpqClient *channel, QString url, bool whole);
    void layOutWebControl();
    void layOutDirect();
    // Places a label of the face in the face's 120 x 60 units.
    void placeOnFace(QWidget *label, double left, double top, double width);
    void placeTwips(QWidget *control, int left, int top);
    // What a click on a button's place does: for shuffle, repeat and the
    // playlist, on their ON mark while it is shown, else on the face or
    // the strip. The keyboard and assistive technologies press through it.
    void clickButton(BarButton button);
    // While hidden: shows the windows again when the tray host has gone.
    void watchTray();
    // Shows the bar where it was hidden, whatever place the window manager
    // would give it, the docked playlist along below it.
    void showWhereHidden();
    // Brings a window whose title strip does not show whole on the screens
    // onto the nearest one, the docked playlist along below the bar.
    void keepOnScreen();
    // The playlist window, shown at the start, stays where it was put.
    void keepPlaylistPlace();
    void watchScreen(QScreen *screen);
    // What a reader hears of the player beside the focus: the switches the
    // player changed, and what a press that starts a song started.
    void tellSwitch(BarButton button, bool on);
    void tellStart(const QString &what);
    // The marquee as it last stepped.
    const Marquee &marquee() const { return m_marquee; }

    qint16 m_listPos = 0;
    // The list position the player last answered.
    std::optional<qint16> m_playerListPos;
    Marquee m_marquee;
    bool m_closing = false;
    bool m_titlePollRunning = false;
    QTimer m_trayWatch;
    PlayerLine *m_line;
    MediaEvents *m_mediaEvents;
    bool m_repeatOn = false;
    bool m_mediaPolled = false;
    // Status answers since the volume was last read.
    int m_ticksSinceVolume = 0;
    std::optional<qint16> m_volume;
    qint64 m_positionMs = 0;
    QElapsedTimer m_sincePosition;
    // Screens come, go and change size in bursts: one look after them.
    QTimer m_screenCheck;
    // Every move of the bar but its strip's drag (the window manager's, a
    // panel's push): the docked playlist follows once the bar is at rest.
    PlaceWatch *m_placeWatch;
    QPointer<frm_QuendraPlaylist> m_playlist;
    QPointer<frmSettings> m_settingsDialog;
    BarKeyboard *m_keyboard;
    ReaderNotice *m_notice;
    // Runs from a press that starts a song until the first reading after it
    // (a new title or play state), which the reader hears; at its end the
    // play state is heard.
    QTimer m_startHeard;
};
