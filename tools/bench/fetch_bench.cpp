// Sequential synchronous Fetch throughput and CPU cost against httpq-sim,
// beside a plain blocking socket and curl fetching the same URL from the
// same simulator.

#include "bench_report.h"
#include "core/settings/settings.h"
#include "services/httpq/httpqclient.h"
#include "sim_process.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

double rusageSeconds(const rusage &ru)
{
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

struct Figures
{
    int requests = 0;
    double wallSeconds = 0;
    double cpuSeconds = 0;

    double perSecond() const { return wallSeconds > 0 ? requests / wallSeconds : 0; }
    double cpuMicrosPerRequest() const { return requests > 0 ? cpuSeconds * 1e6 / requests : 0; }
};

QString describe(const QString &who, const Figures &f)
{
    return QStringLiteral("%1: %2 requests in %3 s = %4 req/s, CPU %5 µs/request")
        .arg(who)
        .arg(f.requests)
        .arg(f.wallSeconds, 0, 'f', 2)
        .arg(f.perSecond(), 0, 'f', 0)
        .arg(f.cpuMicrosPerRequest(), 0, 'f', 0);
}

struct CurlRun
{
    Figures figures;
    int exitCode = -1;
};

// posix_spawn and wait4 rather than QProcess: wait4 hands back exactly that
// child's CPU time, and no pipe is read while it runs.
std::optional<CurlRun> runCurl(const QString &curl, const QString &configPath, int requests)
{
    const QByteArray program = QFile::encodeName(curl);
    const QByteArray config = QFile::encodeName(configPath);
    // -q first so that no ~/.curlrc changes what is measured.
    std::vector<QByteArray> args = {program, "-q", "-s", "-g", "--noproxy", "*", "-K", config};
    std::vector<char *> argv;
    for (QByteArray &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);

    QElapsedTimer wall;
    wall.start();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return std::nullopt;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return std::nullopt;

    CurlRun run;
    run.figures.requests = requests;
    run.figures.wallSeconds = double(wall.nsecsElapsed()) / 1e9;
    run.figures.cpuSeconds = rusageSeconds(usage);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The floor: a blocking POSIX socket per request (connect, send the request
// the transfer sends, read to the end, close), nothing else. Counts failures.
int rawFetches(quint16 port, const QByteArray &request, int count)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    char buffer[4096];
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0
            && ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) == request.size();
        qint64 received = 0;
        for (ssize_t n = 1; ok && n > 0;) {
            n = ::recv(fd, buffer, sizeof buffer, 0);
            ok = n >= 0;
            received += n > 0 ? n : 0;
        }
        if (fd >= 0)
            ::close(fd);
        if (!ok || received == 0)
            ++failures;
    }
    return failures;
}

void writeCurlConfig(const QString &path, const QString &url, int requests)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    const QByteArray line = "url = \"" + url.toUtf8() + "\"\n";
    for (int i = 0; i < requests; ++i)
        file.write(line);
}

// Lets a late duplicate request (a resend after the answer) reach the log.
// Fetches the URL `count` times, one after the other; the failures.
async::Task<int> fetchMany(HttpqClient &client, QString url, int count, qsizetype *length = nullptr)
{
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        if (const std::optional<QString> answer = co_await client.Fetch(url)) {
            if (length)
                *length = answer->size();
        } else {
            ++failures;
        }
    }
    co_return failures;
}

// A bench may wait in a loop of its own; the program never does.
int runUntilDone(async::Task<int> task)
{
    while (!task.isDone())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return task.result().value_or(-1);
}

void settle()
{
    QThread::msleep(200);
}

void reportServerCount(const SimProcess &sim, qint64 before, int fetches, const QString &who);

// Times `run` (which makes `requests` requests and returns how many failed)
// once the simulator is quiet, and says its figures and what the server saw.
template<typename Run>
Figures timedRun(const SimProcess &sim, const QString &label, const QString &who, int requests, Run run)
{
    settle();
    const qint64 before = sim.requestsSeen();
    QElapsedTimer wall;
    const double cpuStart = processCpuSeconds();
    wall.start();
    const int failures = run();
    Figures figures;
    figures.requests = requests;
    figures.wallSeconds = double(wall.nsecsElapsed()) / 1e9;
    figures.cpuSeconds = processCpuSeconds() - cpuStart;
    say(describe(label, figures));
    if (failures > 0)
        say(QStringLiteral("  %1 %2 failed").arg(failures).arg(who));
    reportServerCount(sim, before, requests, who);
    return figures;
}

void reportServerCount(const SimProcess &sim, qint64 before, int fetches, const QString &who)
{
    settle();
    const qint64 seen = sim.requestsSeen() - before;
    say(QStringLiteral("server saw %1 requests for %2 %3").arg(seen).arg(fetches).arg(who));
    if (seen != fetches) {
        QByteArrayList distinct;
        for (const QByteArray &line : sim.requestLinesAfter(before)) {
            if (!distinct.contains(line) && distinct.size() < 5)
                distinct.append(line);
        }
        say(QStringLiteral("  MISMATCH (%1); distinct request lines:").arg(seen - fetches));
        for (const QByteArray &line : std::as_const(distinct))
            say(QStringLiteral("  ") + QString::fromLatin1(line));
    }
}

// One long title fetched again and again: with the answer's bound, the
// client's time and memory stay those of the bound however long the title is.
void measureLongTitle(const QString &simPath, const QTemporaryDir &scratch, int bytes, int fetches)
{
    const QString titles = scratch.filePath(QStringLiteral("long-title.txt"));
    QFile file(titles);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("cannot write %1: %2").arg(titles, file.errorString()));
    file.write(QByteArray(bytes, 'x') + '\n');
    file.close();
    SimProcess sim(simPath, {QStringLiteral("--titles-file"), titles},
                   scratch.filePath(QStringLiteral("long-title-sim.log")));
    QString error;
    const quint16 port = sim.start(&error);
    if (port == 0)
        fail(error);
    gHttpqPort = QString::number(port);

    QObject owner;
    HttpqClient client(QStringLiteral("NetworkConnection"), &owner);
    const QString url = HttpqClient::BuildUrl(u"/getcurrenttitle?p=");
    const double rssBefore = peakRssMegabytes();
    qsizetype length = -1;
    QElapsedTimer wall;
    const double cpuStart = processCpuSeconds();
    wall.start();
    const int failures = runUntilDone(fetchMany(client, url, fetches, &length));
    const double cpu = processCpuSeconds() - cpuStart;
    say(QStringLiteral("title of %1 bytes: %2 fetches, %3 ms each (CPU %4 ms), answer %5 characters, "
                       "peak RSS %6 MB (+%7 MB)")
            .arg(bytes)
            .arg(fetches)
            .arg(double(wall.elapsed()) / fetches, 0, 'f', 1)
            .arg(cpu * 1000 / fetches, 0, 'f', 2)
            .arg(length)
            .arg(peakRssMegabytes(), 0, 'f', 1)
            .arg(peakRssMegabytes() - rssBefore, 0, 'f', 1));
    if (failures > 0)
        say(QStringLiteral("  %1 fetches failed").arg(failures));
}

int positiveOption(const QCommandLineParser &parser, const QString &name, int min)
{
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < min)
        fail(QStringLiteral("--%1 wants a whole number of at least %2").arg(name).arg(min));
    return value;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("fetch-bench"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Sequential HttpqClient::Fetch against httpq-sim, beside curl."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("requests"), QStringLiteral("Measured requests (3000)."), QStringLiteral("N"),
         QStringLiteral("3000")},
        {QStringLiteral("warmup"), QStringLiteral("Unmeasured requests first (200)."), QStringLiteral("N"),
         QStringLiteral("200")},
        {QStringLiteral("sim"), QStringLiteral("httpq-sim executable (beside this one)."), QStringLiteral("PATH")},
        {QStringLiteral("curl"), QStringLiteral("curl executable (from PATH)."), QStringLiteral("PATH")},
        {QStringLiteral("title-bytes"), QStringLiteral("Length of the long title fetched last (10000000); 0 skips it."),
         QStringLiteral("N"), QStringLiteral("10000000")},
    });
    parser.process(app);

    const int requests = positiveOption(parser, QStringLiteral("requests"), 1);
    const int warmup = positiveOption(parser, QStringLiteral("warmup"), 0);
    const int titleBytes = positiveOption(parser, QStringLiteral("title-bytes"), 0);
    const QString simPath = parser.isSet(QStringLiteral("sim"))
        ? parser.value(QStringLiteral("sim"))
        : QCoreApplication::applicationDirPath() + QStringLiteral("/httpq-sim");
    if (!QFileInfo(simPath).isExecutable())
        fail(QStringLiteral("no httpq-sim at %1 (build it, or pass --sim PATH)").arg(simPath));
    const QString curlPath = parser.isSet(QStringLiteral("curl"))
        ? parser.value(QStringLiteral("curl"))
        : QStandardPaths::findExecutable(QStringLiteral("curl"));

    QTemporaryDir scratch;
    if (!scratch.isValid())
        fail(QStringLiteral("no temporary directory: %1").arg(scratch.errorString()));

    // A separate process, so that none of the server's work is counted as ours.
    SimProcess sim(simPath, {QStringLiteral("--verbose")}, scratch.filePath(QStringLiteral("sim.log")));
    QString error;
    const quint16 port = sim.start(&error);
    if (port == 0)
        fail(error);

    gHttpqServer = QStringLiteral("127.0.0.1");
    gHttpqPort = QString::number(port);
    gHttpqPasswd.clear();
    const QString url = HttpqClient::BuildUrl(u"/isplaying?p=");
    say(QStringLiteral("URL %1, %2 requests after %3 warm-up").arg(url).arg(requests).arg(warmup));

    QObject owner;
    HttpqClient client(QStringLiteral("NetworkConnection"), &owner);

    int failures = runUntilDone(fetchMany(client, url, warmup));
    if (failures > 0)
        fail(QStringLiteral("%1 of %2 warm-up fetches failed").arg(failures).arg(warmup));

    const Figures quendra = timedRun(sim, QStringLiteral("quendra Fetch"), QStringLiteral("fetches"), requests, [&] {
        return failures = runUntilDone(fetchMany(client, url, requests));
    });

    // The same request line and headers as the transfer's.
    const QByteArray rawRequest = "GET /isplaying?p= HTTP/1.0\r\nHost: 127.0.0.1:" + QByteArray::number(port)
        + "\r\nAccept: */*\r\n\r\n";
    rawFetches(port, rawRequest, warmup);
    const Figures raw = timedRun(sim, QStringLiteral("raw blocking socket"), QStringLiteral("raw fetches"), requests,
                                 [&] { return rawFetches(port, rawRequest, requests); });
    say(QStringLiteral("ratio quendra/raw socket: CPU per request %1")
            .arg(raw.cpuMicrosPerRequest() > 0 ? quendra.cpuMicrosPerRequest() / raw.cpuMicrosPerRequest() : 0, 0, 'f',
                 2));
    if (titleBytes > 0)
        measureLongTitle(simPath, scratch, titleBytes, 20);

    if (curlPath.isEmpty() || !QFileInfo(curlPath).isExecutable()) {
        say(QStringLiteral("curl not found; no comparison"));
        return failures > 0 ? 1 : 0;
    }

    const QString config = scratch.filePath(QStringLiteral("curl.conf"));
    if (warmup > 0) {
        writeCurlConfig(config, url, warmup);
        runCurl(curlPath, config, warmup);
    }
    writeCurlConfig(config, url, requests);
    settle();
    const qint64 beforeCurl = sim.requestsSeen();
    const std::optional<CurlRun> curl = runCurl(curlPath, config, requests);
    if (!curl) {
        say(QStringLiteral("curl at %1 could not be run; no comparison").arg(curlPath));
        return failures > 0 ? 1 : 0;
    }
    say(describe(QStringLiteral("curl (one process)"), curl->figures));
    if (curl->exitCode != 0)
        say(QStringLiteral("  curl exit status %1").arg(curl->exitCode));
    reportServerCount(sim, beforeCurl, requests, QStringLiteral("curl URLs"));

    const double throughput = curl->figures.perSecond() > 0 ? quendra.perSecond() / curl->figures.perSecond() : 0;
    const double cpu = curl->figures.cpuMicrosPerRequest() > 0
        ? quendra.cpuMicrosPerRequest() / curl->figures.cpuMicrosPerRequest()
        : 0;
    say(QStringLiteral("ratio quendra/curl: throughput %1, CPU per request %2")
            .arg(throughput, 0, 'f', 2)
            .arg(cpu, 0, 'f', 2));
    return failures > 0 || curl->exitCode != 0 ? 1 : 0;
}
