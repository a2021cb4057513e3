// Keeping the bar and the playlist window where their title strips show on
// a screen, as screens come, go and change size.
#include "windows/bar/frm_quendra.h"

#include "core/settings/settings.h"
#include "platform/widgets/picturebox.h"
#include "platform/window/screen_fit.h"
#include "platform/window/twips.h"
#include "windows/playlist/frm_quendraplaylist.h"

#include <QGuiApplication>
#include <QScreen>

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
