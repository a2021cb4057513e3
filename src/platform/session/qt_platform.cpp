#include "platform/session/qt_platform.h"

#include "platform/session/translations.h"

#include <QCoreApplication>
#include <QList>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace {

QtMessageHandler g_passOn = nullptr;
QList<std::pair<QtMsgType, QString>> g_held;

void holdStartMessage(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtFatalMsg) {
        g_held.append({type, message});
        return;
    }
    const QString line = translateBeforeStart(
        "CommandLine", QT_TRANSLATE_NOOP("CommandLine", "quendra: no display could be opened (DISPLAY or WAYLAND_DISPLAY "
                                                        "name one; QT_QPA_PLATFORM chooses the kind, such as xcb or "
                                                        "offscreen)"));
    std::fputs(qPrintable(line + u'\n'), stderr);
    std::fflush(stderr);
    std::_Exit(1);
}

} // namespace

ApplicationStart::ApplicationStart()
{
    g_passOn = qInstallMessageHandler(holdStartMessage);
}

ApplicationStart::~ApplicationStart()
{
    qInstallMessageHandler(g_passOn);
    for (const auto &[type, message] : std::exchange(g_held, {})) {
        if (type == QtDebugMsg)
            qDebug("%s", qPrintable(message));
        else if (type == QtInfoMsg)
            qInfo("%s", qPrintable(message));
        else
            qWarning("%s", qPrintable(message));
    }
}

void prepareApplicationEnvironment(bool withWebBrowser)
{
    // A native Wayland client can neither place its windows nor read their
    // positions; the bar and its docked playlist need both, so go through
    // XWayland first.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb;wayland");

    if (!withWebBrowser) {
        // The face repaints its title strip eight times a second. Through X's
        // shared memory each repaint waits for the server's notice that it
        // has taken the picture: a second wake-up, worth 15 % of the idle
        // cost. A small strip is as cheap sent in the request itself.
        if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
            qputenv("QT_XCB_NO_MITSHM", "1");
        return;
    }
    // The browser's helper process refuses to start as root unless its
    // sandbox is off, and takes the program down with it.
    if (geteuid() == 0) {
        QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
        if (!flags.contains("--no-sandbox"))
            qputenv("QTWEBENGINE_CHROMIUM_FLAGS", (flags + " --no-sandbox").trimmed());
    }
    if (!qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "qt.webenginecontext=false");

    // The embedded browser needs a shared GL context set before the application.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}
