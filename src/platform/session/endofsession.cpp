#include "endofsession.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The write end is all the handler touches: write() is safe in a handler.
int g_signalFds[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void onTerminationSignal(int number)
{
    const int saved = errno;
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(g_signalFds[1], &byte, 1);
    errno = saved;
}

} // namespace

EndOfSession::EndOfSession(QObject *parent)
    : QObject(parent)
{
    if (g_signalFds[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalFds) != 0)
        return;
    m_notifier = new QSocketNotifier(g_signalFds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &EndOfSession::onSignal);
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : kSignals)
        ::sigaction(number, &action, nullptr);

    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        // The session ends: the program closes as its Close does, without
        // being started again by the session manager.
        connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &manager) {
            manager.setRestartHint(QSessionManager::RestartNever);
            emit requested();
        });
    }
}

EndOfSession::~EndOfSession()
{
    // From here on a signal ends the program the default way.
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int number : kSignals)
        ::sigaction(number, &action, nullptr);
}

void EndOfSession::onSignal()
{
    char bytes[16];
    while (::read(g_signalFds[0], bytes, sizeof bytes) > 0) { }
    emit requested();
}
