#include "playlist/frm_QuendraPlaylist.h"

#include "bar/frm_Quendra.h"
#include "platform/twips.h"
#include "settings/Settings.h"

#include <QPalette>

namespace {
frm_QuendraPlaylist *g_instance = nullptr;
}

frm_QuendraPlaylist *frm_QuendraPlaylist::instance()
{
    if (!g_instance) {
        g_instance = new frm_QuendraPlaylist;
        g_instance->Form_Load();
    }
    return g_instance;
}

frm_QuendraPlaylist *frm_QuendraPlaylist::existing()
{
    return g_instance;
}

void frm_QuendraPlaylist::destroyInstance()
{
    delete g_instance;
}

frm_QuendraPlaylist::frm_QuendraPlaylist()
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
{
    setWindowTitle(QStringLiteral("Playlist"));
    setAttribute(Qt::WA_QuitOnClose, false);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(0x00, 0x00, 0x40));
    setPalette(colours);
    setAutoFillBackground(true);
}

frm_QuendraPlaylist::~frm_QuendraPlaylist()
{
    if (g_instance == this)
        g_instance = nullptr;
}

void frm_QuendraPlaylist::Form_Load()
{
    const frm_Quendra *bar = frm_Quendra::instance();
    const QPoint barPosition = bar ? bar->positionTwips() : QPoint();
    moveTwips(barPosition.x(), barPosition.y() + gWinampHeight);
    resize(TwipsToPixels(kWidthTwips), std::max(1, TwipsToPixels(gPlaylistHeight)));
}

void frm_QuendraPlaylist::DockPlaylist(const QString &mover)
{
    Q_UNUSED(mover)
}

void frm_QuendraPlaylist::ShowCurrentSongInPlaylist(qint16 &IndexShow)
{
    Q_UNUSED(IndexShow)
}

QPoint frm_QuendraPlaylist::positionTwips() const
{
    return {PixelsToTwips(x()), PixelsToTwips(y())};
}

void frm_QuendraPlaylist::moveTwips(int left, int top)
{
    move(TwipsToPixels(left), TwipsToPixels(top));
}
