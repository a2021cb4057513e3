#pragma once

#include <QObject>

class QSocketNotifier;

// Tells when the program is asked to end from outside its windows: SIGTERM
// (logout, `kill`), SIGINT (Ctrl+C in a terminal), SIGHUP (its terminal
// closed), and the session manager's end of the session. The signals are
// taken in the event loop, not in the handler, so the program can close in
// its orderly way and save what it must.
class EndOfSession final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EndOfSession)

public:
    explicit EndOfSession(QObject *parent = nullptr);
    ~EndOfSession() override;

Q_SIGNALS:
    void requested();

private:
    void onSignal();

    QSocketNotifier *m_notifier = nullptr;
};
