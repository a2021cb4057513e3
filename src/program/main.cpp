#include "core/cli/command_line.h"
#include "core/settings/settings_store.h"
#include "core/settings/settings.h"
#include "desktop/mpris/media_controls.h"
#include "desktop/mpris/mprisbridge.h"
#include "platform/session/endofsession.h"
#include "platform/session/qt_platform.h"
#include "platform/session/single_instance.h"
#include "platform/session/translations.h"
#include "platform/widgets/picturebox.h"
#include "platform/window/desktop_entry.h"
#include "windows/bar/frm_quendra.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = handleCommandLine(argc, argv, installTranslations))
        return *status;
    // The mode decides what the process needs before Qt starts.
    LoadSettings();
    // Started again on the same settings file: the running copy shows its
    // windows, as a click on its tray icon does, and this one ends.
    SingleInstance instance(gIniPath);
    if (instance.isSecond()) {
        if (instance.showFirst())
            return 0;
        const QString message = translateBeforeStart(
            "CommandLine", QT_TRANSLATE_NOOP("CommandLine", "quendra: another copy runs with %1 but does not answer"));
        std::fputs(qPrintable(message.arg(gIniPath) + u'\n'), stderr);
        return 1;
    }
    prepareApplicationEnvironment(!isDirectMode());
    std::optional<ApplicationStart> starting(std::in_place);
    QApplication app(argc, argv);
    starting.reset();
    QApplication::setApplicationName(QStringLiteral("Quendra"));
    // Task managers find the desktop entry, and its icon, by this name; every
    // window carries the program's icon as well (the playlist and the dialog
    // too), for those that show the window's own.
    nameDesktopEntry(QStringLiteral("org.quendra.Quendra"));
    QApplication::setWindowIcon(PictureBox::renderIcon(QStringLiteral(":/art/quendra.svg")));
    installTranslations();
    // The bar may be hidden to the tray; only the close command ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    instance.listen();

    // The bar owns the playlist window and the dialog: all go before the
    // application, so that an embedded page ends in order.
    frm_Quendra bar;
    QObject::connect(&bar, &frm_Quendra::applicationClosed, &app, [] { QCoreApplication::exit(0); });
    bar.Form_Load();
    QObject::connect(&instance, &SingleInstance::showRequested, &bar,
                     [&bar] { bar.my_frmSysTray_SysTrayMouseDown(1); });
    // Logout, `kill` and Ctrl+C close as the tray menu's Close does.
    EndOfSession endOfSession;
    QObject::connect(&endOfSession, &EndOfSession::requested, &bar, &frm_Quendra::CloseApplication);
    // Media keys and the desktop's media widgets, in direct mode.
    const std::unique_ptr<MprisBridge> mpris = attachMediaControls(bar);
    return QApplication::exec();
}
