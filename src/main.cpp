#include "bar/frm_Quendra.h"
#include "platform/qt_platform.h"
#include "settings/Settings.h"
#include "settings/iniActions.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The mode decides what the process needs before Qt starts.
    LoadSettings();
    PrepareApplicationEnvironment(!IsDirectMode());
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quendra"));
    // The bar may be hidden to the tray; only the close command ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    frm_Quendra bar;
    bar.Form_Load();
    return QApplication::exec();
}
