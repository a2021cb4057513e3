#include "windows/bar/frm_quendra.h"

#include "core/settings/settings.h"
#include "core/settings/settings_store.h"
#include "core/text/numbers.h"
#include "platform/browser/webbrowser.h"
#include "platform/widgets/formtimer.h"
#include "platform/widgets/picturebox.h"
#include "platform/widgets/reader.h"
#include "platform/window/placewatch.h"
#include "platform/window/screen_scale.h"
#include "platform/window/twips.h"
#include "platform/window/window_move.h"
#include "services/httpq/httpqclient.h"
#include "services/httpq/playerline.h"
#include "windows/bar/barkeyboard.h"
#include "windows/bar/media_events.h"
#include "windows/playlist/frm_quendraplaylist.h"
#include "windows/settings_dialog/frmsettings.h"
#include "windows/systray/frmsystray.h"

#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QScreen>

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

} // namespace

frm_Quendra::frm_Quendra()
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
{
    m_line = new PlayerLine(this);
    m_mediaEvents = new MediaEvents(this);
    connect(m_line, &PlayerLine::reachableChanged, this, &frm_Quendra::showReachability);
    connect(m_line, &PlayerLine::reachableChanged, m_mediaEvents, &MediaEvents::reachableChanged);
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
    setReaderRole(this, QAccessible::Window);
    m_notice = new ReaderNotice(this);
    m_keyboard = new BarKeyboard(
        {this, picQuendraDirect, TopBar, picShuffleStatus, picLoopStatus, picPlayListStatus, [this](BarButton button) {
             if (button == BarButton::Play)
                 startPressed();
             clickButton(button);
         }});
    connect(m_mediaEvents, &MediaEvents::shuffleChanged, this, [this](bool on) { tellSwitch(BarButton::Shuffle, on); });
    connect(m_mediaEvents, &MediaEvents::repeatChanged, this, [this](bool on) { tellSwitch(BarButton::Repeat, on); });
    m_startHeard.setSingleShot(true);
    connect(&m_startHeard, &QTimer::timeout, this, [this] { m_notice->announce(lblStatus->text()); });
    connect(m_mediaEvents, &MediaEvents::songChanged, this, [this](const QString &title) { tellStart(title); });
    // The label shows the new state once the signal has gone.
    connect(m_mediaEvents, &MediaEvents::playStateChanged, this, [this] {
        QMetaObject::invokeMethod(
            this, [this] { tellStart(lblStatus->text()); }, Qt::QueuedConnection);
    });
    m_placeWatch = new PlaceWatch(this);
    followScreenScale(this);
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

void frm_Quendra::startPressed()
{
    // Two polls of the player's state, at the least a few seconds.
    constexpr int kLeastMs = 2500;
    m_startHeard.start(std::max(kLeastMs, 2 * int(gRefresh) + 2 * kStatusPollDelayMs));
}

void frm_Quendra::tellStart(const QString &what)
{
    if (!m_startHeard.isActive())
        return;
    m_startHeard.stop();
    m_notice->announce(what);
}

void frm_Quendra::tellSwitch(BarButton button, bool on)
{
    // A switch with the focus is heard by its own change.
    if (m_keyboard->hasFocusOn(button))
        return;
    if (button == BarButton::Shuffle)
        m_notice->announce(on ? tr("Shuffle on") : tr("Shuffle off"));
    else
        m_notice->announce(on ? tr("Repeat on") : tr("Repeat off"));
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
    keepPlaylistPlace();
    connect(qGuiApp, &QGuiApplication::screenAdded, this, &frm_Quendra::watchScreen);
    connect(qGuiApp, &QGuiApplication::screenRemoved, &m_screenCheck, qOverload<>(&QTimer::start));
    for (QScreen *screen : QGuiApplication::screens())
        watchScreen(screen);
    show();
}

void frm_Quendra::keepPlaylistPlace()
{
    // The playlist window was shown before it went to its place. A window
    // manager may answer that first map late, with the place it was shown
    // at, and undo the move: once the manager is done, it goes back.
    frm_QuendraPlaylist *playlist = playlistWindow();
    if (!playlist->isVisible())
        return;
    const QPoint place = playlist->pos();
    QPointer<frm_QuendraPlaylist> window(playlist);
    afterWindowSettles(playlist, [window, place] {
        if (!window || !window->isVisible() || window->pos() == place)
            return;
        window->moveTwips(pixelsToTwips(place.x()), pixelsToTwips(place.y()));
        // Docked again where it was docked: the manager's move may have
        // been taken for the user's.
        window->DockPlaylist(QStringLiteral("Playlist"));
    });
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
    drawTwipsLines(painter, Line1);
}
