#pragma once

// httpq-sim in a process of its own, so that a benchmark's CPU figures are
// its own. Its stdout goes to a log file: with --verbose every request it
// receives becomes one line there, and reading the file between phases costs
// the measured process nothing.

#include <QByteArrayList>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

class SimProcess
{
public:
    SimProcess(const QString &program, const QStringList &arguments, const QString &logPath)
        : m_logPath(logPath)
    {
        m_process.setProgram(program);
        m_process.setArguments(QStringList{QStringLiteral("--port"), QStringLiteral("0")} + arguments);
        m_process.setStandardInputFile(QProcess::nullDevice());
        m_process.setStandardOutputFile(logPath);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }

    ~SimProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(3000))
                m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    // The port it listens on, or 0 with the reason in error.
    quint16 start(QString *error)
    {
        m_process.start();
        if (!m_process.waitForStarted(5000)) {
            *error = QStringLiteral("cannot start %1: %2").arg(m_process.program(), m_process.errorString());
            return 0;
        }
        static const QRegularExpression listening(QStringLiteral("^listening on [^\\n]*:(\\d+)\\n"));
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 10000) {
            const QRegularExpressionMatch match = listening.match(QString::fromLocal8Bit(readLog()));
            if (match.hasMatch())
                return quint16(match.captured(1).toUInt());
            if (m_process.state() == QProcess::NotRunning) {
                *error = QStringLiteral("%1 exited before listening").arg(m_process.program());
                return 0;
            }
            QThread::msleep(20);
        }
        *error = QStringLiteral("%1 did not report its port").arg(m_process.program());
        return 0;
    }

    // Request lines received so far (the first line is the listening notice).
    qint64 requestsSeen() const { return qMax<qint64>(0, readLog().count('\n') - 1); }

    QByteArrayList requestLinesAfter(qint64 skip) const
    {
        QByteArrayList lines = readLog().split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines.mid(1 + skip);
    }

private:
    QByteArray readLog() const
    {
        QFile log(m_logPath);
        return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    }

    QString m_logPath;
    QProcess m_process;
};
