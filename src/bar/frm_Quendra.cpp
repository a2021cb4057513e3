#include "bar/frm_Quendra.h"

#include "httpq/HttpqClient.h"
#include "platform/FormTimer.h"
#include "platform/PictureBox.h"
#include "platform/WebBrowser.h"
#include "platform/notify_icon.h"
#include "platform/screen_fit.h"
#include "platform/twips.h"
#include "playlist/frm_QuendraPlaylist.h"
#include "settings/Settings.h"
#include "settings/iniActions.h"
#include "settings_dialog/frmSettings.h"
#include "systray/frmSystray.h"
#include "platform/window_move.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QPainter>
#include <QPointer>
#include <QScreen>

#include <limits>
#include <type_traits>

namespace {

frm_Quendra *g_bar = nullptr;
std::function<void()> g_programEnd;

const auto kFaceArt = QStringLiteral(":/art/face.svg");
const auto kTopBarArt = QStringLiteral(":/art/topbar.svg");
const auto kOnArt = QStringLiteral(":/art/on.svg");
const auto kIconArt = QStringLiteral(":/art/quendra.svg");

constexpr int kDesignTitlePollMs = 3000;
constexpr int kMarqueeStepMs = 125;
constexpr int kStatusPollDelayMs = 100;
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
    label->resize(TwipsToPixels(widthTwips), TwipsToPixels(heightTwips));
    return label;
}

qint16 clampToInt16(int value)
{
    return static_cast<qint16>(std::clamp<int>(value, std::numeric_limits<qint16>::min(),
                                               std::numeric_limits<qint16>::max()));
}

} // namespace

frm_Quendra::frm_Quendra()
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
{
    g_bar = this;
    setWindowTitle(QStringLiteral("Quendra"));
    setWindowIcon(QIcon(kIconArt));
    setFont(labelFont(QStringLiteral("MS PGothic"), true));
    resize(TwipsToPixels(kWidthTwips), TwipsToPixels(1995));

    picQuendraDirect = new PictureBox(kFaceArt, this);
    picQuendraDirect->setGeometry(TwipsToPixels(240), TwipsToPixels(120), TwipsToPixels(2535),
                                  TwipsToPixels(1815));
    lblSongInfo = makeLabel<QLabel>(picQuendraDirect, QStringLiteral("no songinfo"), Qt::black,
                                    labelFont(QStringLiteral("Arial"), false), 1695, 255);
    lblChannels = makeLabel<QLabel>(picQuendraDirect, QStringLiteral("stereo"), QColor(128, 128, 128),
                                    labelFont(QStringLiteral("Arial"), false), 1335, 255);
    lblSongTitle = makeLabel<MarqueeLabel>(picQuendraDirect, QStringLiteral("No title available yet...     "),
                                           QColor(224, 224, 224), labelFont(QStringLiteral("MS PGothic"), false),
                                           3000, 255);
    // Designed 135 twips high, which would cut the lower half of the text.
    lblStatus = makeLabel<QLabel>(picQuendraDirect, QStringLiteral("Unknown"), QColor(224, 224, 224),
                                  labelFont(QStringLiteral("MS PGothic"), false), 1455, 255);

    auto makeMark = [this](int left, int top) {
        auto *mark = new PictureBox(kOnArt, this);
        mark->setGeometry(TwipsToPixels(left), TwipsToPixels(top), 28, 18);
        mark->hide();
        return mark;
    };
    picPlayListStatus = makeMark(3270, 1680);
    picLoopStatus = makeMark(2775, 1680);
    picShuffleStatus = makeMark(2280, 1680);

    TopBar = new PictureBox(kTopBarArt, this);
    TopBar->setGeometry(0, 0, TwipsToPixels(4125), TwipsToPixels(225));

    InetStatusCheck = new HttpqClient(QStringLiteral("InetStatusCheck"), this);
    NetworkConnection = new HttpqClient(QStringLiteral("NetworkConnection"), this);
    timRefreshStatus = new FormTimer(0, true, this);
    timDisplaySongtitle = new FormTimer(kMarqueeStepMs, false, this);
    timRefreshSongTitle = new FormTimer(kDesignTitlePollMs, false, this);

    connect(timRefreshSongTitle, &FormTimer::timeout, this, &frm_Quendra::timRefreshSongTitle_Timer);
    connect(timDisplaySongtitle, &FormTimer::timeout, this, &frm_Quendra::timDisplaySongtitle_Timer);
    connect(timRefreshStatus, &FormTimer::timeout, this, &frm_Quendra::timRefreshStatus_Timer);
    connect(picQuendraDirect, &PictureBox::mouseDown, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers, QPointF position) {
                picQuendraDirect_MouseDown(button, float(position.x()), float(position.y()));
            });
    connect(picShuffleStatus, &PictureBox::clicked, this, &frm_Quendra::picShuffleStatus_Click);
    connect(picPlayListStatus, &PictureBox::clicked, this, &frm_Quendra::picPlayListStatus_Click);
    connect(TopBar, &PictureBox::mouseDown, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers shift, QPointF position) {
                TopBar_MouseDown(MouseButtonCode(button), int(shift), float(position.x()), float(position.y()));
            });
    connect(picLoopStatus, &PictureBox::clicked, this, &frm_Quendra::picLoopStatus_Click);
    m_trayWatch.setInterval(kTrayWatchMs);
    connect(&m_trayWatch, &QTimer::timeout, this, &frm_Quendra::trayWatch_Timer);
    m_screenCheck.setSingleShot(true);
    m_screenCheck.setInterval(0);
    connect(&m_screenCheck, &QTimer::timeout, this, &frm_Quendra::keepOnScreen);
}

frm_Quendra::~frm_Quendra()
{
    delete my_frmSysTray;
    if (g_bar == this)
        g_bar = nullptr;
}

void frm_Quendra::SetProgramEnd(std::function<void()> end)
{
    g_programEnd = std::move(end);
}

frm_Quendra *frm_Quendra::instance()
{
    return g_bar;
}

void frm_Quendra::Form_Load()
{
    LoadSettings();
    // A fixed size (equal least and greatest size hints) is what makes tiling
    // window managers (i3, sway) float the window instead of tiling it.
    setFixedSize(TwipsToPixels(kWidthTwips), std::max(1, TwipsToPixels(gWinampHeight)));
    BuildTrayMenu();

    if (IsDirectMode())
        layOutDirect();
    else
        layOutWebControl();

    const int h = gWinampHeight;
    const int bottom = clampToInt16(h - 20);
    Line1[0] = QLine(0, 0, 0, bottom);
    Line1[1] = QLine(4115, 0, 4115, bottom);
    Line1[2] = QLine(0, bottom, 4115, bottom);

    if (gPlaylistVisible != 0)
        frm_QuendraPlaylist::instance()->show();

    moveTwips(gWinampX, gWinampY);
    frm_QuendraPlaylist *playlist = frm_QuendraPlaylist::instance();
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
    frm_QuendraPlaylist *playlist = frm_QuendraPlaylist::instance();
    const bool docked = gPlaylistDocked == -1;
    QRect group = geometry();
    QList<QRect> strips = {strip(this, TopBar)};
    if (docked && gPlaylistVisible != 0) {
        group |= playlist->geometry();
        strips.append(strip(playlist, playlist->picTop));
    }
    if (const std::optional<QPoint> place = PlaceOnScreens(group, strips, screens))
        move(pos() + (*place - group.topLeft()));
    if (docked) {
        playlist->AttachPlaylist();
    } else if (const std::optional<QPoint> place =
                   PlaceOnScreens(playlist->geometry(), {strip(playlist, playlist->picTop)}, screens)) {
        playlist->move(*place);
    }
}

void frm_Quendra::layOutWebControl()
{
    picQuendraDirect->hide();
    QuendraWebbrowser = CreateWebBrowser(this);
    const int barHeight = TwipsToPixels(gWinampHeight);
    const int stripHeight = TwipsToPixels(gWinampBarHeight);
    QuendraWebbrowser->setGeometry(TwipsToPixels(-5), stripHeight, width(),
                                   std::max(0, barHeight - stripHeight));
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
        frm_QuendraPlaylist::instance()->setVisible(true);
        picPlayListStatus->show();
        picPlayListStatus->raise();
    }
    // The marks lie over the face's spots and the strip over its top.
    picShuffleStatus->raise();
    picLoopStatus->raise();
    picPlayListStatus->raise();
    TopBar->raise();
}

bool frm_Quendra::sendCommand(QStringView command, QStringView argument)
{
    QPointer<frm_Quendra> self(this);
    NetworkConnection->Fetch(HttpqClient::BuildUrl(command, argument));
    return running(self);
}

void frm_Quendra::picQuendraDirect_MouseDown(Qt::MouseButton button, float x, float y)
{
    Q_UNUSED(button)
    const std::optional<FaceCell> cell = FaceCellAt(x, y);
    if (!cell)
        return;
    const FaceAction action = FaceActionAt(*cell);
    switch (action) {
    case FaceAction::None:
        return;
    case FaceAction::TogglePlaylist:
        TogglePlaylist();
        return;
    case FaceAction::ShuffleOn:
        if (sendCommand(FaceCommand(action), u"&a=1"))
            ShuffleCheck();
        return;
    case FaceAction::RepeatOn:
        if (sendCommand(FaceCommand(action), u"&a=1"))
            LoopCheck();
        return;
    default:
        sendCommand(FaceCommand(action));
        return;
    }
}

void frm_Quendra::timRefreshSongTitle_Timer()
{
    QPointer<frm_Quendra> self(this);
    timRefreshSongTitle->setInterval(gRefresh);
    if (const std::optional<qint16> statusInterval = Add16(gRefresh, kStatusPollDelayMs))
        timRefreshStatus->setInterval(*statusInterval);

    if (!NetworkConnection->IsBusy()) {
        const std::optional<QString> answer =
            NetworkConnection->Fetch(HttpqClient::BuildUrl(u"/getcurrenttitle?p="));
        if (!running(self))
            return;
        const QString title = answer.value_or(QString());

        qint16 listPos = 0;
        const std::optional<QString> position = NetworkConnection->Fetch(HttpqClient::BuildUrl(u"/getlistpos?p="));
        if (!running(self))
            return;
        if (position)
            listPos = HttpqClient::WholeNumber(*position).value_or(listPos);

        if (title != mLastTitle) {
            mLastTitle = title;
            gMarqueeRestart = -1;
            gTitleText = title;
            frm_QuendraPlaylist::instance()->ShowCurrentSongInPlaylist(listPos);

            // Each value keeps what it had when its request or conversion fails.
            auto readInfo = [&](QStringView command, QStringView argument, qint16 &value, bool whole) {
                const std::optional<QString> info = InetStatusCheck->Fetch(HttpqClient::BuildUrl(command, argument));
                if (!running(self) || !info)
                    return;
                const std::optional<qint16> number =
                    whole ? HttpqClient::WholeNumber(*info) : HttpqClient::LeadingNumber(*info);
                if (number)
                    value = *number;
            };
            readInfo(u"/getinfo?p=", u"&a=0", mSampleRate, false);
            if (!running(self))
                return;
            readInfo(u"/getinfo?p=", u"&a=1", mBitRate, false);
            if (!running(self))
                return;
            readInfo(u"/getinfo?p=", u"&a=2", mChannels, true);
            if (!running(self))
                return;
            readInfo(u"/getoutputtime?p=", u"&a=1", mTrackLength, false);
            if (!running(self))
                return;

            lblChannels->setText(mChannels == 1 ? QStringLiteral("mono") : QStringLiteral("stereo"));
            lblSongInfo->setText(SongInfoCaption(mTrackLength, mBitRate, mSampleRate));
            // The restart stands also when the song information reads 0 (nothing
            // plays): withdrawn, it left the new title running into itself,
            // without its separator, by the old title's cycle.
            emit songChanged(title, listPos, mTrackLength);
        }
    }

    ShuffleCheck();
    if (!running(self))
        return;
    LoopCheck();
}

void frm_Quendra::timDisplaySongtitle_Timer()
{
    if (mMarquee.step(gTitleText, gMarqueeRestart))
        lblSongTitle->setRing(mMarquee.text, mMarquee.ringSize);
    lblSongTitle->setRotation(mMarquee.rotation);
}

void frm_Quendra::timRefreshStatus_Timer()
{
    if (InetStatusCheck->IsBusy())
        return;
    QPointer<frm_Quendra> self(this);
    const std::optional<QString> answer = InetStatusCheck->Fetch(HttpqClient::BuildUrl(u"/isplaying?p="));
    if (!running(self))
        return;
    const qint16 lastPlayState = mPlayState;
    if (answer) {
        if (const std::optional<qint16> state = HttpqClient::LeadingNumber(*answer))
            mPlayState = *state;
    }
    if (mPlayState != lastPlayState)
        emit playStateChanged(mPlayState);
    switch (mPlayState) {
    case 0: lblStatus->setText(QStringLiteral("Stopped")); break;
    case 1: lblStatus->setText(QStringLiteral("Playing")); break;
    case 3: lblStatus->setText(QStringLiteral("Paused")); break;
    default: break;
    }
}

void frm_Quendra::ShuffleCheck()
{
    if (InetStatusCheck->IsBusy())
        InetStatusCheck->Cancel();
    QPointer<frm_Quendra> self(this);
    const std::optional<QString> answer = InetStatusCheck->Fetch(HttpqClient::BuildUrl(u"/shuffle_status?p="));
    if (!running(self))
        return;
    const bool wasOn = gShuffleState == 1;
    if (answer) {
        if (const std::optional<qint16> state = HttpqClient::LeadingNumber(*answer))
            gShuffleState = *state;
    }
    picShuffleStatus->setVisible(gShuffleState == 1);
    if ((gShuffleState == 1) != wasOn)
        emit shuffleChanged(gShuffleState == 1);
}

void frm_Quendra::LoopCheck()
{
    QPointer<frm_Quendra> self(this);
    const std::optional<QString> answer = InetStatusCheck->Fetch(HttpqClient::BuildUrl(u"/repeat_status?p="));
    if (!running(self))
        return;
    // Unrounded: only an exact 1 is on; a failed read is not.
    const bool on = answer && LeadingValue(*answer) == 1.0;
    const bool wasOn = !picLoopStatus->isHidden();
    picLoopStatus->setVisible(on);
    if (on != wasOn)
        emit repeatChanged(on);
}

void frm_Quendra::picShuffleStatus_Click()
{
    if (sendCommand(u"/shuffle?p=", u"&a=0"))
        ShuffleCheck();
}

void frm_Quendra::picLoopStatus_Click()
{
    if (sendCommand(u"/repeat?p=", u"&a=0"))
        LoopCheck();
}

void frm_Quendra::TopBar_MouseDown(qint16 Button, int Shift, float X, float Y)
{
    Q_UNUSED(Shift)
    // Every bound is exclusive: a press on an area's edge drags the bar.
    if (Y > 75 && Y < 150) {
        if (X > 75 && X < 150) {
            // A second press closes the dialog again, without saving.
            frmSettings *dialog = frmSettings::existing();
            if (dialog && dialog->isVisible())
                dialog->close();
            else
                frmSettings::instance()->show();
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
    BeginWindowMove(this, {}, MouseButtonOfCode(Button), TopBar->lastPressGlobal(), [self] {
        if (!running(self))
            return;
        frm_QuendraPlaylist *playlist = frm_QuendraPlaylist::instance();
        playlist->DockPlaylist(QStringLiteral("Quendra"));
        playlist->raise();
    });
}

void frm_Quendra::HideAllWindows()
{
    // Only the tray icon brings hidden windows back: without a tray host
    // hiding them would strand the program.
    if (!NotificationAreaAvailable())
        return;
    hide();
    frm_QuendraPlaylist::instance()->hide();
    m_trayWatch.start();
}

void frm_Quendra::trayWatch_Timer()
{
    if (isVisible()) {
        m_trayWatch.stop();
        return;
    }
    if (NotificationAreaAvailable())
        return;
    // The tray host went away while the windows were hidden.
    m_trayWatch.stop();
    keepOnScreen();
    show();
    if (gPlaylistVisible != 0)
        frm_QuendraPlaylist::instance()->show();
}

void frm_Quendra::TogglePlaylist()
{
    frm_QuendraPlaylist *playlist = frm_QuendraPlaylist::instance();
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
    my_frmSysTray->AddMenuItem(QStringLiteral("&Quendra"), QStringLiteral("open"), true);
    my_frmSysTray->AddMenuItem(QStringLiteral("-"), QString(), false);
    my_frmSysTray->AddMenuItem(QStringLiteral("Playlist"), QStringLiteral("playlist"), false);
    my_frmSysTray->AddMenuItem(QStringLiteral("-"), QString(), false);
    my_frmSysTray->AddMenuItem(QStringLiteral("&Settings"), QStringLiteral("Settings"), false);
    my_frmSysTray->AddMenuItem(QStringLiteral("-"), QString(), false);
    my_frmSysTray->AddMenuItem(QStringLiteral("&Close"), QStringLiteral("close"), false);
    my_frmSysTray->SetToolTip(QStringLiteral("ZadAda Doruziz"));
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
        frmSettings *dialog = frmSettings::instance();
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
    frm_QuendraPlaylist *playlist = frm_QuendraPlaylist::instance();
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
    if (frm_QuendraPlaylist *playlist = frm_QuendraPlaylist::existing()) {
        FinishWindowMoves(this);
        FinishWindowMoves(playlist);
    }
    m_closing = true;
    m_trayWatch.stop();
    timRefreshSongTitle->setEnabled(false);
    timRefreshStatus->setEnabled(false);
    timDisplaySongtitle->setEnabled(false);
    NetworkConnection->Cancel();
    InetStatusCheck->Cancel();

    frm_QuendraPlaylist *playlist = frm_QuendraPlaylist::instance();
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

    if (g_programEnd)
        g_programEnd();
    else
        QCoreApplication::exit(0);
}

void frm_Quendra::closeEvent(QCloseEvent *event)
{
    // Closed by the window manager rather than our close button: shut down
    // the same orderly way, so that nothing is lost.
    if (!m_closing)
        CloseApplication();
    event->accept();
}

void frm_Quendra::placeOnFace(QWidget *label, double left, double top, double width)
{
    const QPointF topLeft = picQuendraDirect->toPixels({left, top});
    const QPointF size = picQuendraDirect->toPixels({width, 0});
    label->setGeometry(qRound(topLeft.x()), qRound(topLeft.y()), qRound(size.x()), label->height());
}

void frm_Quendra::placeTwips(QWidget *control, int left, int top)
{
    control->move(TwipsToPixels(left), TwipsToPixels(top));
}

QPoint frm_Quendra::positionTwips() const
{
    return {PixelsToTwips(x()), PixelsToTwips(y())};
}

void frm_Quendra::moveTwips(int left, int top)
{
    move(TwipsToPixels(left), TwipsToPixels(top));
}

void frm_Quendra::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    for (const QLine &line : Line1)
        painter.drawLine(TwipsToPixels(line.x1()), TwipsToPixels(line.y1()), TwipsToPixels(line.x2()),
                         TwipsToPixels(line.y2()));
}
