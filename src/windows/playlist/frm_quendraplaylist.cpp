#include "windows/playlist/frm_quendraplaylist.h"

#include "core/settings/settings.h"
#include "core/settings/settings_store.h"
#include "core/text/numbers.h"
#include "platform/browser/webbrowser.h"
#include "platform/widgets/formtimer.h"
#include "platform/widgets/key_actions.h"
#include "platform/widgets/picturebox.h"
#include "platform/widgets/reader.h"
#include "platform/window/placewatch.h"
#include "platform/window/screen_scale.h"
#include "platform/window/twips.h"
#include "platform/window/window_move.h"
#include "services/httpq/httpqclient.h"
#include "services/httpq/playerline.h"
#include "windows/playlist/playlist_host.h"
#include "windows/playlist/playlistmodel.h"
#include "windows/playlist/playlistview.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QListView>
#include <QPainter>
#include <QScrollBar>

namespace {

const QColor kListBackground(0x00, 0x00, 0x40);
const QColor kListText(0xE0, 0xE0, 0xE0);

} // namespace

frm_QuendraPlaylist::frm_QuendraPlaylist(PlaylistHost &host)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
    , m_host(host)
{
    setWindowTitle(tr("Playlist"));
    setReaderRole(this, QAccessible::Window);
    setAttribute(Qt::WA_QuitOnClose, false);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, kListBackground);
    colours.setColor(QPalette::WindowText, Qt::black);
    setPalette(colours);
    setAutoFillBackground(true);

    picTop = new PictureBox(QStringLiteral(":/art/playlist_top.svg"), this);
    picTop->setGeometry(0, 0, twipsToPixels(kWidthTwips), twipsToPixels(kStripTwips));
    picTop->setArtTexts({{QStringLiteral("Playlist"), tr("Playlist")}});
    picTopSongList = new PictureBox(QStringLiteral(":/art/playlist_header.svg"), this);
    picTopSongList->setGeometry(0, twipsToPixels(210), twipsToPixels(kWidthTwips), twipsToPixels(kStripTwips));

    m_entries = new PlaylistModel(tr("Loading..."), this);
    listPlayList = new PlaylistView(this);
    listPlayList->setModel(m_entries);
    listPlayList->setAccessibleName(tr("Playlist"));
    listPlayList->setFrameShape(QFrame::NoFrame);
    listPlayList->setUniformItemSizes(true);
    listPlayList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The list scrolls by wheel and keys and shows no scroll bar, so the
    // strip meant to cover the bar is kept in place but not drawn: it would
    // cut through the highlight of the playing entry.
    listPlayList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    listPlayList->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    listPlayList->setTextElideMode(Qt::ElideNone);
    QPalette listColours = listPlayList->palette();
    listColours.setColor(QPalette::Base, kListBackground);
    listColours.setColor(QPalette::Text, kListText);
    listPlayList->setPalette(listColours);
    QFont listFont;
    listFont.setFamilies({QStringLiteral("MS PGothic"), QStringLiteral("DejaVu Sans")});
    listFont.setPixelSize(11);
    listPlayList->setFont(listFont);

    picHideScrollBar = new QWidget(this);
    picHideScrollBar->setAutoFillBackground(true);
    QPalette coverColours = picHideScrollBar->palette();
    coverColours.setColor(QPalette::Window, kListBackground);
    picHideScrollBar->setPalette(coverColours);
    picHideScrollBar->setGeometry(twipsToPixels(3720), twipsToPixels(480), twipsToPixels(100), twipsToPixels(495));
    picHideScrollBar->setVisible(false);

    picBottom = new PictureBox(QStringLiteral(":/art/playlist_bottom.svg"), this);

    inetPlayList = new HttpqClient(QStringLiteral("inetPlayList"), this, m_host.playerLine());
    inetPLAction = new HttpqClient(QStringLiteral("inetPLAction"), this, m_host.playerLine());
    timPlaylistRefresh = new FormTimer(kFirstRefreshMs, true, this);

    connect(timPlaylistRefresh, &FormTimer::timeout, this, &frm_QuendraPlaylist::timPlaylistRefresh_Timer);
    m_nextSlice.setSingleShot(true);
    m_nextSlice.setInterval(0);
    connect(&m_nextSlice, &QTimer::timeout, this, &frm_QuendraPlaylist::fillSlice);
    connect(inetPlayList, &HttpqClient::ResponseCompleted, this, &frm_QuendraPlaylist::inetPlayList_ResponseCompleted);
    connect(picTop, &PictureBox::mouseDown, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers shift, QPointF position) {
                picTop_MouseDown(mouseButtonCode(button), int(shift), float(position.x()), float(position.y()));
            });
    connect(picTop, &PictureBox::doubleClicked, this, &frm_QuendraPlaylist::picTop_DblClick);
    connect(picBottom, &PictureBox::mouseDown, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers shift, QPointF position) {
                picBottom_MouseDown(mouseButtonCode(button), int(shift), float(position.x()), float(position.y()));
            });
    connect(listPlayList, &QListView::doubleClicked, this, [this] {
        m_host.startPressed();
        listPlayList_DblClick();
    });
    onKeys(listPlayList, {Qt::Key_Return, Qt::Key_Enter}, [this] {
        m_host.startPressed();
        listPlayList_DblClick();
    });
    takeFocusOnActivation(this, listPlayList);
    m_placeWatch = new PlaceWatch(this);
    followScreenScale(this);
    connect(m_placeWatch, &PlaceWatch::cameToRest, this, [this](bool byProgram) {
        if (!byProgram)
            DockPlaylist(QStringLiteral("Playlist"));
    });
}

frm_QuendraPlaylist::~frm_QuendraPlaylist() = default;

void frm_QuendraPlaylist::Form_Load()
{
    const QPoint barPosition = windowPositionTwips(*m_host.barWindow());
    moveTwips(barPosition.x(), barPosition.y() + gWinampHeight);
    resize(twipsToPixels(kWidthTwips), std::max(0, twipsToPixels(gPlaylistHeight)));

    const int barHeight = twipsToPixels(gPlaylistBarHeight);
    if (!isDirectMode()) {
        picTopSongList->hide();
        listPlayList->hide();
        picHideScrollBar->hide();
        QuendraPlaylistWebbrowser = createWebBrowser(this);
        QuendraPlaylistWebbrowser->show();
        QuendraPlaylistWebbrowser->navigate(gPlaylistUrl);
    } else {
        picTopSongList->setGeometry(0, barHeight, twipsToPixels(kWidthTwips), barHeight);
        RequestPlaylist();
    }
    ArrangePlaylistWindow();
    picBottom->raise();
}

qint16 frm_QuendraPlaylist::doubleBarHeight() const
{
    return clampToInt16(2 * int(gPlaylistBarHeight));
}

void frm_QuendraPlaylist::ArrangePlaylistWindow()
{
    const int h = heightTwips();
    const int w = pixelsToTwips(width());
    const int twice = doubleBarHeight();
    if (isDirectMode()) {
        listPlayList->setGeometry(0, twipsToPixels(twice), twipsToPixels(w), twipsToPixels(std::max(0, h - twice)));
        Line1[0] = QLine(0, 0, 0, h - 20);
        Line1[1] = QLine(w - 10, 0, w - 10, h - 20);
        picHideScrollBar->setGeometry(twipsToPixels(w - 250), twipsToPixels(twice), twipsToPixels(150),
                                      std::max(0, twipsToPixels(h - gPlaylistBarHeight)));
    } else {
        listPlayList->hide();
        // The page reaches a little beyond the window on every side but the right.
        QuendraPlaylistWebbrowser->setGeometry(twipsToPixels(-5), twipsToPixels(-15), twipsToPixels(w),
                                               std::max(0, twipsToPixels(gPlaylistBarHeight / 2.0 + h + 50)));
    }
    // At a width the program did not give it, the window manager has laid
    // the window out (tiled it): that height is not the user's to keep.
    if (width() == twipsToPixels(kWidthTwips)) {
        gPlaylistHeight = roundToInt16(h);
        SavePlaylistState();
        // Held at its size between resizes by the grip, so that tiling
        // window managers float it (as the bar).
        setFixedSize(size());
    }
    placeBottomStrip();
    picBottom->raise();
    update();
}

void frm_QuendraPlaylist::placeBottomStrip()
{
    const int stripHeight = twipsToPixels(kStripTwips);
    picBottom->setGeometry(0, height() - stripHeight, width(), stripHeight);
}

void frm_QuendraPlaylist::picTop_MouseDown(qint16 Button, int Shift, float X, float Y)
{
    Q_UNUSED(Shift)
    Q_UNUSED(X)
    Q_UNUSED(Y)
    QPointer<frm_QuendraPlaylist> self(this);
    beginWindowMove(this, {}, mouseButtonOfCode(Button), picTop->lastPressGlobal(), [self] {
        if (self)
            self->DockPlaylist(QStringLiteral("Playlist"));
    });
}

void frm_QuendraPlaylist::picTop_DblClick()
{
    RequestPlaylist();
}

void frm_QuendraPlaylist::picBottom_MouseDown(qint16 Button, int Shift, float X, float Y)
{
    Q_UNUSED(Shift)
    Q_UNUSED(X)
    Q_UNUSED(Y)
    // The grip's gesture may size the window; its end holds the new size.
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    QPointer<frm_QuendraPlaylist> self(this);
    beginWindowMove(this, Qt::BottomEdge, mouseButtonOfCode(Button), picBottom->lastPressGlobal(), [self] {
        if (self)
            self->bottomEdgeMoved();
    });
}

void frm_QuendraPlaylist::bottomEdgeMoved()
{
    if (heightTwips() >= doubleBarHeight()) {
        ArrangePlaylistWindow();
        return;
    }
    // Dragged shorter than two strips: down to one strip. The window manager
    // has the last word on the size, so the stored height waits for it.
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    resize(width(), std::max(0, twipsToPixels(gPlaylistBarHeight)));
    QPointer<frm_QuendraPlaylist> self(this);
    afterWindowSettles(this, [self] {
        if (self)
            self->ArrangePlaylistWindow();
    });
}

void frm_QuendraPlaylist::DockPlaylist(const QString &mover)
{
    const QPoint barPosition = windowPositionTwips(*m_host.barWindow());
    const double barLeft = barPosition.x();
    const double barBottom = double(barPosition.y()) + gWinampHeight;
    const QPoint position = positionTwips();
    const qint16 top = roundToInt16(position.y());

    if (mover == u"Quendra" && gPlaylistDocked == -1) {
        AttachPlaylist();
        return;
    }
    if (playlistNearAttachPoint(barLeft, barBottom, position.x(), top, gAttachArea))
        AttachPlaylist();
    else
        gPlaylistDocked = 0;
}

void frm_QuendraPlaylist::AttachPlaylist()
{
    const QPoint barPosition = windowPositionTwips(*m_host.barWindow());
    moveTwips(barPosition.x(), barPosition.y() + gWinampHeight);
    gPlaylistDocked = -1;
}

void frm_QuendraPlaylist::timPlaylistRefresh_Timer()
{
    ++mRefreshTicks;
    if (mRefreshTicks > 5) {
        timPlaylistRefresh->setInterval(kRefreshMs);
        RequestPlaylist();
        mRefreshTicks = 0;
    }
}

void frm_QuendraPlaylist::RequestPlaylist()
{
    if (inetPlayList->IsBusy())
        return;
    // The answer still going in is taken from the channel before it fetches again.
    while (m_reading) {
        QString piece = inetPlayList->ReadChunk(1024);
        m_reading = !piece.isEmpty();
        if (m_reading)
            m_pieces.append(std::move(piece));
    }
    inetPlayList->StartGet(HttpqClient::BuildUrl(u"/getplaylisttitle?p="));
}

void frm_QuendraPlaylist::inetPlayList_ResponseCompleted()
{
    // A newer answer replaces one still going in.
    if (isFilling())
        m_fill.abandon(*m_entries);
    m_nextSlice.stop();
    m_pieces.clear();
    m_nextPiece = 0;
    m_reading = true;
    fillSlice();
}

QString frm_QuendraPlaylist::nextPiece()
{
    if (m_nextPiece < m_pieces.size())
        return std::exchange(m_pieces[m_nextPiece++], QString());
    if (!m_reading)
        return {};
    QString piece = inetPlayList->ReadChunk(1024);
    // The reading ends at the first empty piece: a transfer that cannot give
    // more gives nothing, so no piece is ever read twice.
    m_reading = !piece.isEmpty();
    return piece;
}

void frm_QuendraPlaylist::fillSlice()
{
    // A slice ends after this many titles or this long, whichever comes first.
    constexpr int kSliceTitles = 4096;
    constexpr qint64 kSliceNs = 1'000'000;
    if (!isFilling())
        return;
    QElapsedTimer spent;
    spent.start();
    const int first = m_fill.nextEntry();
    for (QString piece = nextPiece(); !piece.isEmpty(); piece = nextPiece()) {
        AddPlaylistText(piece, 0);
        if (m_fill.nextEntry() - first >= kSliceTitles || spent.nsecsElapsed() >= kSliceNs) {
            // The rest follows on the next turn. The view hears of the fill
            // once, at its end: each time it hears of new rows it lays all
            // of them out again.
            m_nextSlice.start();
            return;
        }
    }
    m_pieces.clear();
    m_nextPiece = 0;
    AddPlaylistText(QStringLiteral("end"), -1);
    timPlaylistRefresh->setInterval(kRefreshMs);
    if (const std::optional<qint16> playing = std::exchange(m_showAfterFill, std::nullopt))
        ShowCurrentSongInPlaylist(*playing);
    emit playlistFilled();
}

void frm_QuendraPlaylist::AddPlaylistText(const QString &text, qint16 last)
{
    // What is highlighted is noted before a fill writes its first entry.
    if (!m_filling) {
        m_filling = true;
        m_highlightBefore = listPlayList->currentIndex().row();
        m_highlightText = m_entries->entry(m_highlightBefore);
        m_playingText = m_entries->entry(m_playingEntry);
    }
    if (last != -1) {
        m_fill.add(text, *m_entries);
        return;
    }
    // A row chosen while the fill went in is the one the fill must keep.
    if (const int current = listPlayList->currentIndex().row(); current != m_highlightBefore) {
        m_highlightBefore = current;
        m_highlightText = m_entries->entry(current);
    }
    // The highlight is set while the list still shows its old entries, so
    // that the view need not lay the new ones out at once to redraw it.
    const int highlight = highlightAfterFill();
    if (highlight == -1)
        listPlayList->selectionModel()->clear();
    else if (highlight >= 0 && highlight < m_entries->rowCount())
        listPlayList->selectionModel()->setCurrentIndex(m_entries->index(highlight),
                                                        QItemSelectionModel::ClearAndSelect);
    m_fill.finish(*m_entries);
    m_entries->commit();
    if (highlight >= 0 && listPlayList->currentIndex().row() != highlight)
        listPlayList->selectionModel()->setCurrentIndex(m_entries->index(highlight),
                                                        QItemSelectionModel::ClearAndSelect);
    m_filling = false;
    timPlaylistRefresh->setInterval(kRefreshMs);
}

int frm_QuendraPlaylist::highlightAfterFill()
{
    // The entries as the finishing step will leave them: the titles read, a
    // blank after them, nothing beyond.
    const int blank = m_fill.nextEntry();
    const auto after = [&](int row) -> std::optional<QString> {
        if (row < 0 || row > blank)
            return std::nullopt;
        return row == blank ? QStringLiteral(" ") : m_entries->entry(row);
    };
    // A highlighted entry the fill took away or replaced would leave the
    // highlight on another song or a blank row: it goes back to the entry
    // that plays, if the fill left that one as it was, or nowhere.
    if (m_highlightBefore < 0 || after(m_highlightBefore) == m_highlightText)
        return -2;
    if (m_playingEntry >= 0 && after(m_playingEntry) == m_playingText)
        return m_playingEntry;
    m_playingEntry = -1;
    return -1;
}

void frm_QuendraPlaylist::ShowCurrentSongInPlaylist(qint16 IndexShow)
{
    if (gTitleText.size() < 5)
        return;
    if (isFilling()) {
        m_showAfterFill = IndexShow;
        return;
    }
    if (IndexShow < 0 || IndexShow >= m_entries->rowCount()) {
        // Nothing to mark: the list holds no such entry (yet).
        m_playingEntry = -1;
        listPlayList->selectionModel()->clear();
        return;
    }
    m_playingEntry = IndexShow;
    const QModelIndex entry = m_entries->index(IndexShow);
    listPlayList->selectionModel()->setCurrentIndex(entry, QItemSelectionModel::ClearAndSelect);
    listPlayList->scrollTo(entry, QAbstractItemView::EnsureVisible);

    const int itemHeight = std::max(1, listPlayList->sizeHintForRow(0));
    const int rows = listPlayList->viewport()->height() / itemHeight;
    const int selected = listPlayList->currentIndex().row();
    const int top = listPlayList->verticalScrollBar()->value();
    if (const std::optional<int> newTop = playlistTopRow(IndexShow, selected, top, rows))
        listPlayList->verticalScrollBar()->setValue(*newTop);
}

async::Task<> frm_QuendraPlaylist::listPlayList_DblClick()
{
    gListPos = static_cast<qint16>(listPlayList->currentIndex().row());
    // The entry chosen now, whatever is chosen while the press waits its turn.
    const qint16 position = gListPos;
    // A press the player cannot take now is dropped, never sent late.
    const bool going = co_await PlayerLine::Turn(m_host.playerLine());
    if (!going)
        co_return;
    m_host.takeShuffleState(co_await m_host.shuffleRead());
    const bool shuffled = gShuffleState == 1;
    const std::optional<qint16> before = m_host.playerListPosition();
    // Each request goes after the previous one is answered or has failed.
    // Each asks for the same however often it arrives, so one the player
    // did not answer (a connection cut on the way) is sent again.
    using Retry = HttpqClient::Retry;
    const auto send = [this](QStringView command, QStringView argument, Retry retry) {
        return inetPLAction->Fetch(HttpqClient::BuildUrl(command, argument), retry);
    };
    bool whole = true;
    if (shuffled)
        whole = (co_await send(u"/shuffle?p=", u"&a=0", Retry::WhileReachable)).has_value();
    const bool moved = whole;
    if (whole)
        whole = (co_await send(u"/setplaylistpos?p=", positionArgument(position), Retry::WhileReachable)).has_value();
    if (whole)
        whole = (co_await send(u"/play?p=", {}, Retry::WhileReachable)).has_value();
    // Once on its way the press leaves the player as it found it, or with
    // the chosen song playing: never half done, whatever happens between.
    if (!whole && moved && before && *before != position)
        co_await send(u"/setplaylistpos?p=", positionArgument(*before), Retry::UntilAnswered);
    if (shuffled)
        co_await send(u"/shuffle?p=", u"&a=1", Retry::UntilAnswered);
}

void frm_QuendraPlaylist::Form_Unload()
{
    inetPlayList->Cancel();
    inetPLAction->Cancel();
    timPlaylistRefresh->setEnabled(false);
    m_nextSlice.stop();
}

QPoint frm_QuendraPlaylist::positionTwips() const
{
    return windowPositionTwips(*this);
}

void frm_QuendraPlaylist::moveTwips(int left, int top)
{
    m_placeWatch->programMove();
    move(twipsToPixels(left), twipsToPixels(top));
}

void frm_QuendraPlaylist::restNow()
{
    m_placeWatch->restNow();
}

void frm_QuendraPlaylist::pairStateChanged(QWidget *changed)
{
    if (gPlaylistDocked != -1)
        return;
    QWidget *other = changed == this ? m_host.barWindow() : this;
    // A switched-off playlist stays off, a bar hidden to the tray hidden.
    if (!other->isVisible() || other->isMinimized() == changed->isMinimized())
        return;
    if (changed->isMinimized())
        other->setWindowState(other->windowState() | Qt::WindowMinimized);
    else
        restoreMinimised(other, changed);
}

void frm_QuendraPlaylist::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        pairStateChanged(this);
}

int frm_QuendraPlaylist::heightTwips() const
{
    return pixelsToTwips(height());
}

void frm_QuendraPlaylist::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    drawTwipsLines(painter, Line1);
}

void frm_QuendraPlaylist::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The grip stays on the bottom edge, also while the window is being sized.
    placeBottomStrip();
}

void frm_QuendraPlaylist::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}
