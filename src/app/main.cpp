#include "command_line.h"
#include "endofsession.h"
#include "frm_quendra.h"
#include "frm_quendraplaylist.h"
#include "iniactions.h"
#include "media_controls.h"
#include "mprisbridge.h"
#include "qt_platform.h"
#include "settings.h"
#include "translations.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = handleCommandLine(argc, argv, installTranslations))
        return *status;
    // The mode decides what the process needs before Qt starts.
    LoadSettings();
    prepareApplicationEnvironment(!isDirectMode());
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quendra"));
    installTranslations();
    // The bar may be hidden to the tray; only the close command ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    frm_Quendra bar;
    bar.Form_Load();
    // Logout, `kill` and Ctrl+C close as the tray menu's Close does.
    EndOfSession endOfSession;
    QObject::connect(&endOfSession, &EndOfSession::requested, &bar, &frm_Quendra::CloseApplication);
    // Media keys and the desktop's media widgets, in direct mode.
    const std::unique_ptr<MprisBridge> mpris = attachMediaControls(bar);
    const int status = QApplication::exec();
    // The playlist window is shared, not owned by the bar: it goes before
    // the application, so that its embedded page ends in order.
    frm_QuendraPlaylist::destroyInstance();
    return status;
}
