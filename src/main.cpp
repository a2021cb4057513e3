#include "bar/frm_Quendra.h"
#include "platform/qt_platform.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    PrepareApplicationEnvironment();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quendra"));
    // The bar may be hidden to the tray; only the close command ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    frm_Quendra bar;
    bar.Form_Load();
    return QApplication::exec();
}
