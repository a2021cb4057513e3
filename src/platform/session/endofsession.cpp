#include "platform/session/endofsession.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {

// The write end is all the handler touches: write() is safe in a handler.
int g_signalFds[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
// Each signal's action as found, put back at the end.
struct sigaction g_found[std::size(kSignals)];
bool g_taken[std::size(kSignals)] = {};

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
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        // A signal ignored at the start stays ignored: `nohup quendra &`
        // outlives its terminal.
        if (::sigaction(kSignals[i], nullptr, &g_found[i]) != 0 || g_found[i].sa_handler == SIG_IGN)
            continue;
        g_taken[i] = ::sigaction(kSignals[i], &action, nullptr) == 0;
    }

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
    // From here on each signal does what it did before.
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        if (std::exchange(g_taken[i], false))
            ::sigaction(kSignals[i], &g_found[i], nullptr);
    }
}

void EndOfSession::onSignal()
{
    char bytes[16];
    while (::read(g_signalFds[0], bytes, sizeof bytes) > 0) { }
    emit requested();
}
