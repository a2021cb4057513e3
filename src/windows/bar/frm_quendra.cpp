#include "windows/bar/frm_quendra.h"

#include "core/settings/iniactions.h"
#include "core/settings/settings.h"
#include "platform/browser/webbrowser.h"
#include "platform/widgets/formtimer.h"
#include "platform/widgets/picturebox.h"
#include "platform/window/placewatch.h"
#include "platform/window/screen_fit.h"
#include "platform/window/twips.h"
#include "platform/window/window_move.h"
#include "services/httpq/httpqclient.h"
#include "services/httpq/playerline.h"
#include "windows/bar/barkeyboard.h"
#include "windows/playlist/frm_quendraplaylist.h"
#include "windows/settings_dialog/frmsettings.h"
#include "windows/systray/frmsystray.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QPainter>
#include <QPointer>
#include <QScreen>

#include <limits>
#include <type_traits>

namespace {

const auto kFaceArt = QStringLiteral(":/art/face.svg");
const auto kTopBarArt = QStringLiteral(":/art/topbar.svg");
const auto kOnArt = QStringLiteral(":/art/on.svg");
const auto kIconArt = QStringLiteral(":/art/quendra.svg");

constexpr int kDesignTitlePollMs = 3000;
constexpr int kMarqueeStepMs = 125;
constexpr int kDefaultRefreshMs = 1000;
// While the windows are hidden, how often to look whether the tray host is still there.
constexpr int kTrayWatchMs = 500;

// The window font: 8.25 points, set in pixels so that text and the fixed
// layout scale together.
constexpr int kFontPixels = 11;

QFont labelFont(const QString &family, bool bold)
{
    QFont font;
    font.setFamilies({family, QStringLiteral("DejaVu Sans")});
    font.setPixelSize(kFontPixels);
    font.setBold(bold);
    return font;
}

template<typename Label>
Label *makeLabel(QWidget *parent, const QString &caption, QColor colour, const QFont &font, int widthTwips,
                 int heightTwips)
{
    auto *label = new Label(caption, parent);
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, colour);
    label->setPalette(colours);
    label->setFont(font);
    if constexpr (std::is_same_v<Label, QLabel>) {
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    // Presses on the labels belong to the face under them.
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->resize(twipsToPixels(widthTwips), twipsToPixels(heightTwips));
    return label;
}

qint16 clampToInt16(int value)
{
    return static_cast<qint16>(
        std::clamp<int>(value, std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max()));
}

} // namespace

frm_Quendra::frm_Quendra()
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
{
    m_line = new PlayerLine(this);
    connect(m_line, &PlayerLine::reachableChanged, this, &frm_Quendra::showReachability);
    setWindowTitle(QStringLiteral("Quendra"));
    setWindowIcon(PictureBox::renderIcon(kIconArt));
    setFont(labelFont(QStringLiteral("MS PGothic"), true));
    resize(twipsToPixels(kWidthTwips), twipsToPixels(1995));

    picQuendraDirect = new PictureBox(kFaceArt, this);
    picQuendraDirect->setGeometry(twipsToPixels(240), twipsToPixels(120), twipsToPixels(2535), twipsToPixels(1815));
    lblSongInfo = makeLabel<QLabel>(picQuendraDirect, tr("no songinfo"), Qt::black,
                                    labelFont(QStringLiteral("Arial"), false), 1695, 255);
    lblChannels = makeLabel<QLabel>(picQuendraDirect, tr("stereo"), QColor(128, 128, 128),
                                    labelFont(QStringLiteral("Arial"), false), 1335, 255);
    lblSongTitle = makeLabel<MarqueeLabel>(picQuendraDirect, tr("No title available yet...") + QStringLiteral("     "),
                                           QColor(224, 224, 224), labelFont(QStringLiteral("MS PGothic"), false), 3000,
                                           255);
    // Designed 135 twips high, which would cut the lower half of the text.
    lblStatus = makeLabel<QLabel>(picQuendraDirect, tr("Unknown"), QColor(224, 224, 224),
                                  labelFont(QStringLiteral("MS PGothic"), false), 1455, 255);

    auto makeMark = [this](int left, int top) {
        auto *mark = new PictureBox(kOnArt, this);
        mark->setGeometry(twipsToPixels(left), twipsToPixels(top), 28, 18);
        mark->hide();
        return mark;
    };
    picPlayListStatus = makeMark(3270, 1680);
    picLoopStatus = makeMark(2775, 1680);
    picShuffleStatus = makeMark(2280, 1680);

    TopBar = new PictureBox(kTopBarArt, this);
    TopBar->setGeometry(0, 0, twipsToPixels(4125), twipsToPixels(225));

    InetStatusCheck = new HttpqClient(QStringLiteral("InetStatusCheck"), this, m_line);
    NetworkConnection = new HttpqClient(QStringLiteral("NetworkConnection"), this, m_line);
    timRefreshStatus = new FormTimer(0, true, this);
    timDisplaySongtitle = new FormTimer(kMarqueeStepMs, false, this);
    timRefreshSongTitle = new FormTimer(kDesignTitlePollMs, false, this);

    connect(timRefreshSongTitle, &FormTimer::timeout, this, [this] { timRefreshSongTitle_Timer(); });
    connect(timDisplaySongtitle, &FormTimer::timeout, this, &frm_Quendra::timDisplaySongtitle_Timer);
    connect(timRefreshStatus, &FormTimer::timeout, this, [this] { timRefreshStatus_Timer(); });
    connect(picQuendraDirect, &PictureBox::mouseDown, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers, QPointF position) {
                picQuendraDirect_MouseDown(button, float(position.x()), float(position.y()));
            });
    connect(picShuffleStatus, &PictureBox::clicked, this, [this] { picShuffleStatus_Click(); });
    connect(picPlayListStatus, &PictureBox::clicked, this, &frm_Quendra::picPlayListStatus_Click);
    connect(TopBar, &PictureBox::mouseDown, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers shift, QPointF position) {
                TopBar_MouseDown(mouseButtonCode(button), int(shift), float(position.x()), float(position.y()));
            });
    connect(picLoopStatus, &PictureBox::clicked, this, [this] { picLoopStatus_Click(); });
    m_trayWatch.setInterval(kTrayWatchMs);
    connect(&m_trayWatch, &QTimer::timeout, this, &frm_Quendra::watchTray);
    m_screenCheck.setSingleShot(true);
    m_screenCheck.setInterval(0);
    connect(&m_screenCheck, &QTimer::timeout, this, &frm_Quendra::keepOnScreen);
    new BarKeyboard({this, picQuendraDirect, TopBar, picShuffleStatus, picLoopStatus, picPlayListStatus,
                     [this](BarButton button) { clickButton(button); }});
    m_placeWatch = new PlaceWatch(this);
    connect(m_placeWatch, &PlaceWatch::cameToRest, this, [this] {
        if (m_playlist && !m_closing)
            m_playlist->DockPlaylist(QStringLiteral("Quendra"));
    });
}

frm_Quendra::~frm_Quendra()
{
    // The dialog and the playlist hold on to the bar as their host: they go first.
    delete m_settingsDialog;
    delete m_playlist;
    delete my_frmSysTray;
}

frm_QuendraPlaylist *frm_Quendra::playlistWindow()
{
    if (!m_playlist) {
        m_playlist = new frm_QuendraPlaylist(*this);
        m_playlist->Form_Load();
    }
    return m_playlist;
}

frmSettings *frm_Quendra::settingsDialog() const
{
    return m_settingsDialog;
}

frmSettings *frm_Quendra::makeSettingsDialog()
{
    if (!m_settingsDialog) {
        m_settingsDialog = new frmSettings(*this);
        m_settingsDialog->Form_Load();
    }
    return m_settingsDialog;
}

QWidget *frm_Quendra::barWindow()
{
    return this;
}

QWidget *frm_Quendra::hostWindow()
{
    return this;
}

WindowPositions frm_Quendra::windowPositions()
{
    return {positionTwips(), playlistWindow()->positionTwips()};
}

void frm_Quendra::reloadPages()
{
    // A browser exists only where the bar was laid out for web control;
    // a bar started in direct mode shows its page at the next start.
    if (QuendraWebbrowser)
        QuendraWebbrowser->navigate(gControlUrl);
    frm_QuendraPlaylist *playlist = playlistWindow();
    if (playlist->QuendraPlaylistWebbrowser)
        playlist->QuendraPlaylistWebbrowser->navigate(gPlaylistUrl);
}

void frm_Quendra::Form_Load()
{
    LoadSettings();
    // A fixed size (equal least and greatest size hints) is what makes tiling
    // window managers (i3, sway) float the window instead of tiling it.
    setFixedSize(twipsToPixels(kWidthTwips), std::max(1, twipsToPixels(gWinampHeight)));
    BuildTrayMenu();

    if (isDirectMode())
        layOutDirect();
    else
        layOutWebControl();

    const int h = gWinampHeight;
    const int bottom = clampToInt16(h - 20);
    Line1[0] = QLine(0, 0, 0, bottom);
    Line1[1] = QLine(4115, 0, 4115, bottom);
    Line1[2] = QLine(0, bottom, 4115, bottom);

    if (gPlaylistVisible != 0)
        playlistWindow()->show();

    moveTwips(gWinampX, gWinampY);
    frm_QuendraPlaylist *playlist = playlistWindow();
    playlist->moveTwips(gPlaylistX, gPlaylistY);
    playlist->DockPlaylist(QStringLiteral("Quendra"));
    // A place stored on a monitor that is gone, or beyond a smaller screen.
    keepOnScreen();
    connect(qGuiApp, &QGuiApplication::screenAdded, this, &frm_Quendra::watchScreen);
    connect(qGuiApp, &QGuiApplication::screenRemoved, &m_screenCheck, qOverload<>(&QTimer::start));
    for (QScreen *screen : QGuiApplication::screens())
        watchScreen(screen);
    show();
}

void frm_Quendra::watchScreen(QScreen *screen)
{
    connect(screen, &QScreen::geometryChanged, &m_screenCheck, qOverload<>(&QTimer::start));
    m_screenCheck.start();
}

void frm_Quendra::keepOnScreen()
{
    if (m_closing)
        return;
    QList<ScreenArea> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens.append({screen->geometry(), screen->availableGeometry()});
    const auto strip = [](const QWidget *window, const QWidget *handle) {
        return QRect(window->pos(), QSize(window->width(), handle->height()));
    };
    frm_QuendraPlaylist *playlist = playlistWindow();
    const bool docked = gPlaylistDocked == -1;
    QRect group = geometry();
    QList<QRect> strips = {strip(this, TopBar)};
    if (docked && gPlaylistVisible != 0) {
        group |= playlist->geometry();
        strips.append(strip(playlist, playlist->picTop));
    }
    if (const std::optional<QPoint> place = placeOnScreens(group, strips, screens))
        move(pos() + (*place - group.topLeft()));
    if (docked) {
        playlist->AttachPlaylist();
    } else if (const std::optional<QPoint> place = placeOnScreens(playlist->geometry(),
                                                                  {strip(playlist, playlist->picTop)}, screens)) {
        playlist->moveTwips(pixelsToTwips(place->x()), pixelsToTwips(place->y()));
    }
}

void frm_Quendra::layOutWebControl()
{
    picQuendraDirect->hide();
    QuendraWebbrowser = createWebBrowser(this);
    const int barHeight = twipsToPixels(gWinampHeight);
    const int stripHeight = twipsToPixels(gWinampBarHeight);
    QuendraWebbrowser->setGeometry(twipsToPixels(-5), stripHeight, width(), std::max(0, barHeight - stripHeight));
    QuendraWebbrowser->show();
    QuendraWebbrowser->navigate(gControlUrl);
}

void frm_Quendra::layOutDirect()
{
    picQuendraDirect->setGeometry(0, 0, width(), height());
    picQuendraDirect->setUserScale(120, 60);
    picQuendraDirect->show();

    placeTwips(picShuffleStatus, 2550, 1425);
    placeTwips(picLoopStatus, 3045, 1425);
    placeTwips(picPlayListStatus, 3540, 1425);

    // A refresh period no timer can take (negative) falls back to its
    // default; a status period beyond the 16-bit range is held at its top.
    const int refresh = gRefresh < 0 ? kDefaultRefreshMs : gRefresh;
    timRefreshSongTitle->setInterval(refresh);
    timRefreshStatus->setInterval(clampToInt16(refresh + kStatusPollDelayMs));
    timRefreshSongTitle->setEnabled(true);
    timDisplaySongtitle->setEnabled(true);

    placeOnFace(lblSongInfo, 3, 29, 50);
    placeOnFace(lblChannels, 90, 29, 25);
    placeOnFace(lblSongTitle, 45, 13.5, 500);
    lblSongTitle->setFont(labelFont(QStringLiteral("MS PGothic"), true));
    placeOnFace(lblStatus, 15, 13.5, 25);
    lblStatus->setFont(labelFont(QStringLiteral("MS PGothic"), true));

    if (gPlaylistVisible == 1) {
        playlistWindow()->setVisible(true);
        picPlayListStatus->show();
        picPlayListStatus->raise();
    }
    // The marks lie over the face's spots and the strip over its top.
    picShuffleStatus->raise();
    picLoopStatus->raise();
    picPlayListStatus->raise();
    TopBar->raise();
}

HttpqClient::Request frm_Quendra::sendCommand(const QString &command, const QString &argument)
{
    return NetworkConnection->Fetch(HttpqClient::BuildUrl(command, argument));
}

async::Task<> frm_Quendra::sendPlayerCommand(QString command, QString argument)
{
    const bool going = co_await m_line->press();
    if (!going)
        co_return;
    co_await sendCommand(command, argument);
}

async::Task<> frm_Quendra::picQuendraDirect_MouseDown(Qt::MouseButton button, float x, float y)
{
    Q_UNUSED(button)
    const std::optional<FaceCell> cell = faceCellAt(x, y);
    if (!cell)
        co_return;
    const std::optional<BarButton> spot = faceButtonAt(*cell);
    if (!spot)
        co_return;
    if (*spot == BarButton::Playlist) {
        TogglePlaylist();
        co_return;
    }
    // A press the player cannot take now is dropped, never sent late.
    const bool going = co_await m_line->press();
    if (!going)
        co_return;
    switch (*spot) {
    case BarButton::Shuffle:
        co_await sendCommand(QString::fromUtf16(faceCommand(*spot)), QStringLiteral("&a=1"));
        co_await ShuffleCheck();
        co_return;
    case BarButton::Repeat:
        co_await sendCommand(QString::fromUtf16(faceCommand(*spot)), QStringLiteral("&a=1"));
        co_await LoopCheck();
        co_return;
    default: co_await sendCommand(QString::fromUtf16(faceCommand(*spot))); co_return;
    }
}

async::Task<> frm_Quendra::timRefreshSongTitle_Timer()
{
    timRefreshSongTitle->setInterval(gRefresh);
    if (const std::optional<qint16> statusInterval = add16(gRefresh, kStatusPollDelayMs))
        timRefreshStatus->setInterval(*statusInterval);

    // A tick still waiting for the player goes on; another beside it would
    // only cancel its reads (the shuffle check cancels what holds the status
    // channel) and pile up behind a slow player.
    if (m_titlePollRunning)
        co_return;
    // Cleared at the end; a tick destroyed unfinished goes with its bar.
    m_titlePollRunning = true;

    if (NetworkConnection->IsBusy()) {
        notePollAnswer(false);
    } else {
        const std::optional<QString> answer = co_await NetworkConnection->Fetch(
            HttpqClient::BuildUrl(u"/getcurrenttitle?p="));
        notePollAnswer(answer.has_value());
        // A failed read is the empty title, which the face takes as a change.
        const QString title = answer.value_or(QString());

        qint16 listPos = 0;
        if (const std::optional<QString> position = co_await NetworkConnection->Fetch(
                HttpqClient::BuildUrl(u"/getlistpos?p=")))
            listPos = HttpqClient::WholeNumber(*position).value_or(listPos);
        m_listPos = listPos;

        if (title != mLastTitle) {
            mLastTitle = title;
            gMarqueeRestart = -1;
            gTitleText = title;
            playlistWindow()->ShowCurrentSongInPlaylist(listPos);

            // Each value keeps what it had when its request or conversion fails.
            const auto readInfo = [this](QStringView command, QStringView argument, bool whole) {
                return readNumber(InetStatusCheck, HttpqClient::BuildUrl(command, argument), whole);
            };
            mSampleRate = (co_await readInfo(u"/getinfo?p=", u"&a=0", false)).value_or(mSampleRate);
            mBitRate = (co_await readInfo(u"/getinfo?p=", u"&a=1", false)).value_or(mBitRate);
            mChannels = (co_await readInfo(u"/getinfo?p=", u"&a=2", true)).value_or(mChannels);
            mTrackLength = (co_await readInfo(u"/getoutputtime?p=", u"&a=1", false)).value_or(mTrackLength);

            lblChannels->setText(mChannels == 1 ? tr("mono") : tr("stereo"));
            lblSongInfo->setText(songInfoCaption(mTrackLength, mBitRate, mSampleRate));
            // The restart stands also when the song information reads 0 (nothing
            // plays): withdrawn, it left the new title running into itself,
            // without its separator, by the old title's cycle.
            // The desktop hears of a new song from the player only.
            if (answer)
                emit songChanged(title, listPos, mTrackLength);
        }
    }

    co_await ShuffleCheck();
    co_await LoopCheck();
    m_titlePollRunning = false;
}

async::Task<std::optional<qint16>> frm_Quendra::readNumber(HttpqClient *channel, QString url, bool whole)
{
    const std::optional<QString> answer = co_await channel->Fetch(url);
    if (!answer)
        co_return std::nullopt;
    co_return whole ? HttpqClient::WholeNumber(*answer) : HttpqClient::LeadingNumber(*answer);
}

void frm_Quendra::timDisplaySongtitle_Timer()
{
    if (m_marquee.step(gTitleText, gMarqueeRestart))
        lblSongTitle->setRing(m_marquee.text, m_marquee.ringSize);
    lblSongTitle->setRotation(m_marquee.rotation);
}

async::Task<> frm_Quendra::timRefreshStatus_Timer()
{
    if (InetStatusCheck->IsBusy()) {
        notePollAnswer(false);
        co_return;
    }
    const std::optional<QString> answer = co_await InetStatusCheck->Fetch(HttpqClient::BuildUrl(u"/isplaying?p="));
    notePollAnswer(answer.has_value());
    const qint16 lastPlayState = mPlayState;
    if (answer) {
        if (const std::optional<qint16> state = HttpqClient::LeadingNumber(*answer))
            mPlayState = *state;
    }
    if (mPlayState != lastPlayState)
        emit playStateChanged(mPlayState);
    showPlayState();
    if (answer && m_positionPolled && mPlayState == 1)
        co_await readPosition();
}

async::Task<> frm_Quendra::readPosition()
{
    // The length is read at a change of title; a song started from stopped
    // on the same title had none then.
    if (mTrackLength <= 0) {
        const std::optional<qint16> seconds = co_await readNumber(
            InetStatusCheck, HttpqClient::BuildUrl(u"/getoutputtime?p=", u"&a=1"), false);
        if (seconds && *seconds > 0 && mTrackLength <= 0) {
            mTrackLength = *seconds;
            emit trackLengthChanged(mTrackLength);
        }
    }
    // Milliseconds: beyond the 16 bits of the other answers.
    if (const std::optional<QString> answer = co_await InetStatusCheck->Fetch(
            HttpqClient::BuildUrl(u"/getoutputtime?p=", u"&a=0"))) {
        bool ok = false;
        const qint64 ms = answer->trimmed().toLongLong(&ok);
        if (ok && ms >= 0) {
            m_positionMs = ms;
            m_sincePosition.start();
        }
    }
}

qint64 frm_Quendra::positionMs() const
{
    qint64 position = m_positionMs;
    if (mPlayState == 1 && m_sincePosition.isValid() && playerReachable())
        position += m_sincePosition.elapsed();
    if (mTrackLength > 0)
        position = std::min<qint64>(position, qint64(mTrackLength) * 1000);
    return position;
}

void frm_Quendra::setPositionMs(qint64 ms)
{
    m_positionMs = ms;
    m_sincePosition.start();
}

void frm_Quendra::showPlayState()
{
    if (!playerReachable()) {
        lblStatus->setText(tr("Offline"));
        return;
    }
    switch (mPlayState) {
    case 0: lblStatus->setText(tr("Stopped")); break;
    case 1: lblStatus->setText(tr("Playing")); break;
    case 3: lblStatus->setText(tr("Paused")); break;
    default: break;
    }
}

bool frm_Quendra::playerReachable() const
{
    return m_line->isReachable();
}

void frm_Quendra::notePollAnswer(bool answered)
{
    m_line->notePollAnswer(answered);
}

void frm_Quendra::showReachability()
{
    showPlayState();
    if (my_frmSysTray)
        my_frmSysTray->SetToolTip(trayTip());
}

QString frm_Quendra::trayTip() const
{
    const QString name = tr("ZadAda Doruziz");
    return playerReachable() ? name : tr("%1: the player cannot be reached").arg(name);
}

async::Task<> frm_Quendra::ShuffleCheck()
{
    if (InetStatusCheck->IsBusy())
        InetStatusCheck->Cancel();
    const std::optional<qint16> state = co_await readNumber(InetStatusCheck,
                                                            HttpqClient::BuildUrl(u"/shuffle_status?p="), false);
    const bool wasOn = gShuffleState == 1;
    gShuffleState = state.value_or(gShuffleState);
    picShuffleStatus->setVisible(gShuffleState == 1);
    if ((gShuffleState == 1) != wasOn)
        emit shuffleChanged(gShuffleState == 1);
}

async::Task<> frm_Quendra::LoopCheck()
{
    HttpqClient::Request read = InetStatusCheck->Fetch(HttpqClient::BuildUrl(u"/repeat_status?p="));
    const std::optional<QString> answer = co_await read;
    // A read cancelled by another check, or never sent, tells nothing about
    // the player: the mark stays as it is.
    if (read.wasGivenUp())
        co_return;
    // Unrounded: only an exact 1 is on; a read the player did not answer is not.
    const bool on = answer && leadingValue(*answer) == 1.0;
    picLoopStatus->setVisible(on);
    // The desktop hears what the player answered, nothing else.
    if (answer && on != m_repeatOn) {
        m_repeatOn = on;
        emit repeatChanged(on);
    }
}

async::Task<> frm_Quendra::picShuffleStatus_Click()
{
    const bool going = co_await m_line->press();
    if (!going)
        co_return;
    co_await sendCommand(QStringLiteral("/shuffle?p="), QStringLiteral("&a=0"));
    co_await ShuffleCheck();
}

async::Task<> frm_Quendra::picLoopStatus_Click()
{
    const bool going = co_await m_line->press();
    if (!going)
        co_return;
    co_await sendCommand(QStringLiteral("/repeat?p="), QStringLiteral("&a=0"));
    co_await LoopCheck();
}

void frm_Quendra::TopBar_MouseDown(qint16 Button, int Shift, float X, float Y)
{
    Q_UNUSED(Shift)
    // Every bound is exclusive: a press on an area's edge drags the bar.
    if (Y > 75 && Y < 150) {
        if (X > 75 && X < 150) {
            // A second press closes the dialog again, without saving.
            if (m_settingsDialog && m_settingsDialog->isVisible())
                m_settingsDialog->close();
            else
                makeSettingsDialog()->show();
            return;
        }
        if (X > 3825 && X < 3900) {
            HideAllWindows();
            return;
        }
        if (X > 3945 && X < 4200) {
            if (Button == 1)
                CloseApplication();
            return;
        }
    }
    QPointer<frm_Quendra> self(this);
    beginWindowMove(this, {}, mouseButtonOfCode(Button), TopBar->lastPressGlobal(), [self] {
        if (!self || self->m_closing)
            return;
        frm_QuendraPlaylist *playlist = self->playlistWindow();
        playlist->DockPlaylist(QStringLiteral("Quendra"));
        playlist->raise();
    });
}

void frm_Quendra::HideAllWindows()
{
    // Only the tray icon brings hidden windows back: without a tray host
    // hiding them would strand the program.
    if (!frmSystray::notificationAreaAvailable())
        return;
    hide();
    playlistWindow()->hide();
    m_trayWatch.start();
}

void frm_Quendra::watchTray()
{
    if (isVisible()) {
        m_trayWatch.stop();
        return;
    }
    if (frmSystray::notificationAreaAvailable())
        return;
    // The tray host went away while the windows were hidden.
    m_trayWatch.stop();
    keepOnScreen();
    show();
    if (gPlaylistVisible != 0)
        playlistWindow()->show();
}

void frm_Quendra::TogglePlaylist()
{
    frm_QuendraPlaylist *playlist = playlistWindow();
    if (gPlaylistVisible != 0) {
        gPlaylistVisible = 0;
        playlist->setVisible(false);
        picPlayListStatus->hide();
    } else {
        gPlaylistVisible = 1;
        playlist->setVisible(true);
        picPlayListStatus->show();
        picPlayListStatus->raise();
    }
    SavePlaylistState();
}

void frm_Quendra::picPlayListStatus_Click()
{
    TogglePlaylist();
}

void frm_Quendra::BuildTrayMenu()
{
    my_frmSysTray = new frmSystray;
    connect(my_frmSysTray, &frmSystray::MenuClick, this, &frm_Quendra::my_frmSysTray_MenuClick);
    connect(my_frmSysTray, &frmSystray::SysTrayMouseDown, this, &frm_Quendra::my_frmSysTray_SysTrayMouseDown);
    my_frmSysTray->AddMenuItem(tr("&Quendra"), QStringLiteral("open"), true);
    my_frmSysTray->AddMenuItem(QStringLiteral("-"), QString(), false);
    my_frmSysTray->AddMenuItem(tr("Playlist"), QStringLiteral("playlist"), false);
    my_frmSysTray->AddMenuItem(QStringLiteral("-"), QString(), false);
    my_frmSysTray->AddMenuItem(tr("&Settings"), QStringLiteral("Settings"), false);
    my_frmSysTray->AddMenuItem(QStringLiteral("-"), QString(), false);
    my_frmSysTray->AddMenuItem(tr("&Close"), QStringLiteral("close"), false);
    my_frmSysTray->SetToolTip(trayTip());
}

void frm_Quendra::my_frmSysTray_MenuClick(qint32 lIndex, const QString &sKey)
{
    Q_UNUSED(lIndex)
    if (sKey == u"open") {
        keepOnScreen();
        show();
        raise();
        activateWindow();
    } else if (sKey == u"close") {
        CloseApplication();
    } else if (sKey == u"Settings") {
        frmSettings *dialog = makeSettingsDialog();
        dialog->show();
        dialog->raise();
    } else if (sKey == u"playlist") {
        TogglePlaylist();
    }
}

void frm_Quendra::my_frmSysTray_SysTrayMouseDown(qint32 eButton)
{
    if (eButton == 2) {
        my_frmSysTray->ShowMenu();
        return;
    }
    frm_QuendraPlaylist *playlist = playlistWindow();
    keepOnScreen();
    show();
    playlist->show();
    raise();
    activateWindow();
    if (gPlaylistVisible != 0)
        playlist->raise();
}

void frm_Quendra::CloseApplication()
{
    if (m_closing)
        return;
    // A drag that has just ended may still wait for the window manager: its
    // docking goes first, so that the positions saved are the final ones.
    if (m_playlist) {
        finishWindowMoves(this);
        finishWindowMoves(m_playlist);
        m_placeWatch->restNow();
        m_playlist->restNow();
    }
    m_closing = true;
    m_trayWatch.stop();
    timRefreshSongTitle->setEnabled(false);
    timRefreshStatus->setEnabled(false);
    timDisplaySongtitle->setEnabled(false);
    // Whatever waits for the player now ends where it is: nothing more is sent.
    NetworkConnection->shutDown();
    InetStatusCheck->shutDown();

    frm_QuendraPlaylist *playlist = playlistWindow();
    playlist->inetPlayList->shutDown();
    playlist->inetPLAction->shutDown();
    SaveSettings({positionTwips(), playlist->positionTwips()});

    // Closing the component removes the icon; it may be the sender of the
    // menu choice that got us here, so it goes once control returns to it.
    if (frmSystray *tray = std::exchange(my_frmSysTray, nullptr)) {
        tray->close();
        tray->deleteLater();
    }
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        (*it)->close();
    close();

    emit applicationClosed();
}

void frm_Quendra::closeEvent(QCloseEvent *event)
{
    // Closed by the window manager rather than our close button: shut down
    // the same orderly way, so that nothing is lost.
    if (!m_closing)
        CloseApplication();
    event->accept();
}

void frm_Quendra::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && !m_closing) {
        if (m_playlist)
            m_playlist->pairStateChanged(this);
    }
}

void frm_Quendra::placeOnFace(QWidget *label, double left, double top, double width)
{
    const QPointF topLeft = picQuendraDirect->toPixels({left, top});
    const QPointF size = picQuendraDirect->toPixels({width, 0});
    label->setGeometry(qRound(topLeft.x()), qRound(topLeft.y()), qRound(size.x()), label->height());
}

void frm_Quendra::placeTwips(QWidget *control, int left, int top)
{
    control->move(twipsToPixels(left), twipsToPixels(top));
}

QPoint frm_Quendra::positionTwips() const
{
    return windowPositionTwips(*this);
}

void frm_Quendra::moveTwips(int left, int top)
{
    move(twipsToPixels(left), twipsToPixels(top));
}

void frm_Quendra::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    for (const QLine &line : Line1)
        painter.drawLine(twipsToPixels(line.x1()), twipsToPixels(line.y1()), twipsToPixels(line.x2()),
                         twipsToPixels(line.y2()));
}

void frm_Quendra::clickButton(BarButton button)
{
    // While a mode is on its ON mark covers the spot, and a click there
    // reaches the mark, which switches the mode off.
    switch (button) {
    case BarButton::Shuffle:
        if (!picShuffleStatus->isHidden()) {
            picShuffleStatus_Click();
            return;
        }
        break;
    case BarButton::Repeat:
        if (!picLoopStatus->isHidden()) {
            picLoopStatus_Click();
            return;
        }
        break;
    case BarButton::Playlist:
        if (!picPlayListStatus->isHidden()) {
            picPlayListStatus_Click();
            return;
        }
        break;
    default: break;
    }
    const QPointF at = barButtonCentre(button);
    if (isStripButton(button)) {
        TopBar_MouseDown(1, 0, float(at.x()), float(at.y()));
        // Opened from the keyboard, the dialog takes the keyboard, also where
        // no window manager gives new windows the focus.
        if (button == BarButton::Settings && m_settingsDialog && m_settingsDialog->isVisible())
            m_settingsDialog->activateWindow();
    } else
        picQuendraDirect_MouseDown(Qt::LeftButton, float(at.x()), float(at.y()));
}
