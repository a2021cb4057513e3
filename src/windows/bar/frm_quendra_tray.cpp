// The bar's title strip, its tray icon, hiding the windows and closing the
// program.
#include "windows/bar/frm_quendra.h"

#include "core/settings/settings.h"
#include "core/settings/settings_store.h"
#include "platform/widgets/formtimer.h"
#include "platform/widgets/picturebox.h"
#include "platform/window/placewatch.h"
#include "platform/window/window_move.h"
#include "services/httpq/httpqclient.h"
#include "services/httpq/playerline.h"
#include "windows/playlist/frm_quendraplaylist.h"
#include "windows/settings_dialog/frmsettings.h"
#include "windows/systray/frmsystray.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPointer>

#include <utility>

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

void frm_Quendra::showWhereHidden()
{
    QPointer<frm_Quendra> self(this);
    showInPlace(this, [self] {
        // The docked playlist goes along to where the bar went back.
        if (self && !self->m_closing && self->m_playlist)
            self->m_playlist->DockPlaylist(QStringLiteral("Quendra"));
    });
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
    showWhereHidden();
    if (gPlaylistVisible != 0)
        showInPlace(playlistWindow(), {});
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
        showWhereHidden();
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

void frm_Quendra::showWindows()
{
    my_frmSysTray_SysTrayMouseDown(1);
}

void frm_Quendra::closeApplication()
{
    CloseApplication();
}

void frm_Quendra::my_frmSysTray_SysTrayMouseDown(qint32 eButton)
{
    if (eButton == 2) {
        my_frmSysTray->ShowMenu();
        return;
    }
    frm_QuendraPlaylist *playlist = playlistWindow();
    keepOnScreen();
    showWhereHidden();
    showInPlace(playlist, {});
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
