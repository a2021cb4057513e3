// How long the playlist window takes to put a large answer into its list
// (from the answer's arrival until the list holds it whole), how long the
// event loop stalls meanwhile, and whether fetching the identical list
// again leaves the selection and the scroll position alone. Runs against
// httpq-sim in a separate process, one simulator per playlist size. Then, that
// a huge answer without separators costs time in proportion to its size.

#include "bench_report.h"
#include "core/settings/settings.h"
#include "core/settings/settings_store.h"
#include "platform/widgets/formtimer.h"
#include "services/httpq/httpqclient.h"
#include "sim_process.h"
#include "windows/playlist/frm_quendraplaylist.h"
#include "windows/playlist/playlist_host.h"
#include "windows/playlist/playlistmodel.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QListView>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kTargetTitles = 32767;
constexpr double kTargetFillMs = 50.0;
constexpr double kTargetStallMs = 4.0;

double msBetween(qint64 fromNs, qint64 toNs)
{
    return double(toNs - fromNs) / 1e6;
}

// Ticks at a short interval and keeps the largest lateness of a tick, split
// by whether the window's completion handler ran inside that gap, so a stall
// can be put down to the filling or to what follows it (layout, painting).
class StallMeter
{
public:
    explicit StallMeter(int intervalMs)
        : m_intervalMs(intervalMs)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(intervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
        m_clock.start();
    }

    void restart()
    {
        m_longestMs = m_longestInFillMs = m_longestElsewhereMs = 0;
        m_fillRan = false;
        m_last = m_clock.nsecsElapsed();
        m_timer.start();
    }
    void stop()
    {
        tick();
        m_timer.stop();
    }
    void fillRan() { m_fillRan = true; }

    double longestMs() const { return m_longestMs; }
    double longestInFillMs() const { return m_longestInFillMs; }
    double longestElsewhereMs() const { return m_longestElsewhereMs; }

private:
    void tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        const double late = std::max(0.0, msBetween(m_last, now) - m_intervalMs);
        m_last = now;
        m_longestMs = std::max(m_longestMs, late);
        double &part = m_fillRan ? m_longestInFillMs : m_longestElsewhereMs;
        part = std::max(part, late);
        m_fillRan = false;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    int m_intervalMs;
    qint64 m_last = 0;
    bool m_fillRan = false;
    double m_longestMs = 0;
    double m_longestInFillMs = 0;
    double m_longestElsewhereMs = 0;
};

struct FetchFigures
{
    bool completed = false;
    double fillMs = 0;
    double stallMs = 0;
    double stallInFillMs = 0;
    double stallElsewhereMs = 0;
    int entries = 0;
};

struct Row
{
    int titles = 0;
    FetchFigures first;
    FetchFigures second;
    bool selectionKept = false;
    bool scrollKept = false;
    int selectedBefore = -1;
    int selectedAfter = -1;
    int scrollBefore = -1;
    int scrollAfter = -1;
};

// Runs the event loop for a while (layout and painting that the fill posted).
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The window measured on its own: it docks below a bar that is never shown,
// and a double click, which the bench never makes, would find shuffle off.
class NoBar final : public PlaylistHost
{
public:
    QWidget *barWindow() override { return &m_bar; }
    HttpqClient::Request shuffleRead() override { return {nullptr, {}, HttpqClient::Retry::None}; }
    void takeShuffleState(const std::optional<QString> &) override { }
    PlayerLine *playerLine() const override { return nullptr; }
    std::optional<qint16> playerListPosition() const override { return std::nullopt; }
    void startPressed() override { }

private:
    QWidget m_bar;
};

class Bench
{
public:
    Bench(int tickMs, int settleMs, int timeoutMs)
        : m_meter(tickMs)
        , m_settleMs(settleMs)
        , m_timeoutMs(timeoutMs)
    {
        m_clock.start();
    }

    Row measure(const QString &simProgram, int titles, const QString &settingsFolder)
    {
        SimProcess sim(simProgram,
                       {QStringLiteral("--titles"), QString::number(titles), QStringLiteral("--password"),
                        QStringLiteral("bench")},
                       settingsFolder + QStringLiteral("/sim.log"));
        QString error;
        const quint16 port = sim.start(&error);
        if (port == 0)
            fail(error);

        gQuendraType = QStringLiteral("DIRECT");
        gHttpqServer = QStringLiteral("127.0.0.1");
        gHttpqPort = QString::number(port);
        gHttpqPasswd = QStringLiteral("bench");
        gPlaylistHeight = 1995;
        gPlaylistBarHeight = 500;
        gWinampHeight = 1995;
        gAttachArea = 750;
        setSettingsFolder(settingsFolder);
        gIniPath = settingsFolder + QStringLiteral("/Quendra.ini");

        Row row;
        row.titles = titles;

        // Creating the window starts the first fetch; its answer can only be
        // taken in once the event loop runs, so the handler is swapped in time.
        NoBar host;
        auto *w = new frm_QuendraPlaylist(host);
        w->Form_Load();
        w->timPlaylistRefresh->setEnabled(false);
        QObject::disconnect(w->inetPlayList, &HttpqClient::ResponseCompleted, w, nullptr);
        QObject::connect(w->inetPlayList, &HttpqClient::ResponseCompleted, w, [this, w] {
            m_fillStart = m_clock.nsecsElapsed();
            w->inetPlayList_ResponseCompleted();
            m_meter.fillRan();
        });
        // A long answer goes into the list over a few turns: the fill lasts
        // from the answer's arrival until the list holds it whole.
        QObject::connect(w, &frm_QuendraPlaylist::playlistFilled, w, [this] {
            m_fillEnd = m_clock.nsecsElapsed();
            m_meter.fillRan();
            ++m_completions;
            if (m_loop)
                m_loop->quit();
        });
        w->show();
        row.first = awaitFetch(w);

        // A row in the middle, scrolled into the middle of the view.
        const QAbstractItemModel *entries = w->listPlayList->model();
        const int middle = entries->rowCount() / 2;
        w->listPlayList->setCurrentIndex(entries->index(middle, 0));
        w->listPlayList->scrollTo(entries->index(middle, 0), QAbstractItemView::PositionAtCenter);
        runFor(m_settleMs);
        row.selectedBefore = w->listPlayList->currentIndex().row();
        row.scrollBefore = w->listPlayList->verticalScrollBar()->value();

        w->RequestPlaylist();
        row.second = awaitFetch(w);
        row.selectedAfter = w->listPlayList->currentIndex().row();
        row.scrollAfter = w->listPlayList->verticalScrollBar()->value();
        row.selectionKept = row.selectedAfter == row.selectedBefore
            && w->listPlayList->selectionModel()->isRowSelected(row.selectedAfter, {});
        row.scrollKept = row.scrollAfter == row.scrollBefore;

        delete w;
        runFor(50);
        return row;
    }

private:
    // Waits (bounded) for one fetch, then lets the posted layout and painting
    // run, all under the stall meter.
    FetchFigures awaitFetch(frm_QuendraPlaylist *w)
    {
        FetchFigures f;
        const int before = m_completions;
        m_meter.restart();
        QEventLoop loop;
        m_loop = &loop;
        QTimer::singleShot(m_timeoutMs, &loop, &QEventLoop::quit);
        if (m_completions == before)
            loop.exec();
        m_loop = nullptr;
        f.completed = m_completions > before;
        if (f.completed)
            runFor(m_settleMs);
        m_meter.stop();
        f.fillMs = f.completed ? msBetween(m_fillStart, m_fillEnd) : -1;
        f.stallMs = m_meter.longestMs();
        f.stallInFillMs = m_meter.longestInFillMs();
        f.stallElsewhereMs = m_meter.longestElsewhereMs();
        f.entries = w->listPlayList->model()->rowCount();
        return f;
    }

    StallMeter m_meter;
    QElapsedTimer m_clock;
    int m_settleMs;
    int m_timeoutMs;
    QEventLoop *m_loop = nullptr;
    int m_completions = 0;
    qint64 m_fillStart = 0;
    qint64 m_fillEnd = 0;
};

QString figure(double ms)
{
    return ms < 0 ? QStringLiteral("timeout") : QString::number(ms, 'f', 1);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("playlist-bench"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Time the playlist window's filling from httpq-sim, and its event-loop stalls."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("sim"), QStringLiteral("The httpq-sim program (beside this one)."), QStringLiteral("PATH"),
         QCoreApplication::applicationDirPath() + QStringLiteral("/httpq-sim")},
        {QStringLiteral("titles"), QStringLiteral("Comma-separated playlist sizes (1000,10000,32767)."),
         QStringLiteral("LIST"), QStringLiteral("1000,10000,32767")},
        {QStringLiteral("tick"), QStringLiteral("Stall meter interval in ms (1)."), QStringLiteral("MS"),
         QStringLiteral("1")},
        {QStringLiteral("settle"), QStringLiteral("Event-loop time after each fill, measured too (300)."),
         QStringLiteral("MS"), QStringLiteral("300")},
        {QStringLiteral("timeout"), QStringLiteral("Longest wait for one fetch in ms (30000)."), QStringLiteral("MS"),
         QStringLiteral("30000")},
    });
    parser.process(app);

    std::vector<int> sizes;
    for (const QString &part : parser.value(QStringLiteral("titles")).split(u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int n = part.trimmed().toInt(&ok);
        if (!ok || n < 0)
            fail(QStringLiteral("--titles wants numbers, not %1").arg(part));
        sizes.push_back(n);
    }
    const int tickMs = parser.value(QStringLiteral("tick")).toInt();
    const int settleMs = parser.value(QStringLiteral("settle")).toInt();
    const int timeoutMs = parser.value(QStringLiteral("timeout")).toInt();
    if (tickMs < 1 || settleMs < 0 || timeoutMs < 1)
        fail(QStringLiteral("--tick, --settle and --timeout want positive numbers"));

    QTemporaryDir settings;
    if (!settings.isValid())
        fail(QStringLiteral("no temporary folder: %1").arg(settings.errorString()));

    say(QStringLiteral("platform %1, stall tick %2 ms, %3 ms of event loop measured after each fill")
            .arg(QGuiApplication::platformName())
            .arg(tickMs)
            .arg(settleMs));

    Bench bench(tickMs, settleMs, timeoutMs);
    std::vector<Row> rows;
    for (int n : sizes)
        rows.push_back(bench.measure(parser.value(QStringLiteral("sim")), n, settings.path()));

    say(QStringLiteral(
        "titles  fill_ms  longest_stall_ms  refetch_fill_ms  refetch_stall_ms  selection_kept  scroll_kept"));
    for (const Row &r : rows) {
        std::printf("%-7d %-8s %-17s %-16s %-17s %-15s %s\n", r.titles, qPrintable(figure(r.first.fillMs)),
                    qPrintable(figure(r.first.stallMs)), qPrintable(figure(r.second.fillMs)),
                    qPrintable(figure(r.second.stallMs)), r.selectionKept ? "yes" : "NO", r.scrollKept ? "yes" : "NO");
    }
    say(QString());
    say(QStringLiteral("details (rows should be the titles; stall split: gap holding the fill / any other gap)"));
    for (const Row &r : rows) {
        say(QStringLiteral("%1: entries %2 / %3; stall fill %4 / other %5 ms; refetch stall fill %6 / other %7 ms;"
                           " row %8 -> %9, scroll %10 -> %11")
                .arg(r.titles)
                .arg(r.first.entries)
                .arg(r.second.entries)
                .arg(figure(r.first.stallInFillMs), figure(r.first.stallElsewhereMs), figure(r.second.stallInFillMs),
                     figure(r.second.stallElsewhereMs))
                .arg(r.selectedBefore)
                .arg(r.selectedAfter)
                .arg(r.scrollBefore)
                .arg(r.scrollAfter));
    }

    bool countsRight = true;
    for (const Row &r : rows)
        countsRight = countsRight && r.first.entries == r.titles && r.second.entries == r.titles;

    const auto target = std::find_if(rows.begin(), rows.end(), [](const Row &r) { return r.titles == kTargetTitles; });
    if (target != rows.end()) {
        const Row &r = *target;
        const bool met = r.first.completed && r.second.completed && r.first.fillMs < kTargetFillMs
            && r.second.fillMs < kTargetFillMs && r.first.stallMs <= kTargetStallMs
            && r.second.stallMs <= kTargetStallMs && r.selectionKept && r.scrollKept;
        say(QStringLiteral("target for %1: fill below %2 ms, no stall above %3 ms, refetch keeps selection and "
                           "scroll: %4")
                .arg(kTargetTitles)
                .arg(kTargetFillMs)
                .arg(kTargetStallMs)
                .arg(met ? QStringLiteral("met") : QStringLiteral("NOT met")));
    }
    if (!countsRight)
        say(QStringLiteral("row counts: NOT the titles everywhere"));

    // A huge answer without a single separator, read in the window's pieces:
    // the text after the last separator is carried from piece to piece, and
    // must not be searched again each time.
    say(QString());
    double perMegabyte[2] = {0, 0};
    const int megabytes[2] = {10, 50};
    for (int i = 0; i < 2; ++i) {
        const QString answer(qsizetype(megabytes[i]) * 1024 * 1024, u'x');
        PlaylistModel entries(QStringLiteral("Loading..."));
        PlaylistFill fill;
        QElapsedTimer clock;
        clock.start();
        for (qsizetype at = 0; at < answer.size(); at += 1024)
            fill.add(QStringView(answer).mid(at, 1024), entries);
        fill.finish(entries);
        entries.commit();
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        perMegabyte[i] = ms / megabytes[i];
        say(QStringLiteral("%1 MB answer without separators: %2 ms (%3 ms per MB), %4 rows")
                .arg(megabytes[i])
                .arg(ms, 0, 'f', 1)
                .arg(perMegabyte[i], 0, 'f', 2)
                .arg(entries.rowCount()));
    }
    say(QStringLiteral("its time grows linearly with its size (50 MB no slower per MB than twice 10 MB's): %1")
            .arg(perMegabyte[1] < 2 * perMegabyte[0] + 0.5 ? QStringLiteral("yes") : QStringLiteral("NO")));
    return 0;
}
