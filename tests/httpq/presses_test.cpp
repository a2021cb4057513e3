// Presses and polls against a player far away: slow, silent for a while,
// or losing what it was asked while it hung.
#include "services/httpq/httpqclient.h"
#include "services/httpq/playerline.h"
#include "support/sandbox.h"

#include <QListView>
#include <QSignalSpy>
#include <QThread>

namespace {

using namespace Qt::StringLiterals;

// The whole program against a scripted player: the bar's polls running every
// 100 ms, the playlist filled, and times scaled down a tenth.
class Presses : public WindowTest
{
protected:
    static constexpr int kLostMs = 300;

    void SetUp() override
    {
        WindowTest::SetUp();
        m_answers = {{u"/getcurrenttitle?p="_s, u"Song"_s},
                     {u"/getlistpos?p="_s, u"2"_s},
                     {u"/isplaying?p="_s, u"1"_s},
                     {u"/shuffle_status?p="_s, u"1"_s},
                     {u"/repeat_status?p="_s, u"0"_s}};
        for (const QString &command : {u"/play?p="_s, u"/next?p="_s, u"/stop?p="_s, u"/shuffle?p=&a=0"_s,
                                       u"/shuffle?p=&a=1"_s, u"/setplaylistpos?p=&a=1"_s, u"/setplaylistpos?p=&a=2"_s})
            m_answers[command] = u"1"_s;
        // The player's answers, unless it sleeps: then every request fails.
        m_httpq.answer = [this](const QString &, const QString &url) -> std::optional<QString> {
            if (m_asleep)
                return std::nullopt;
            const QString asked = command(url);
            if (asked == m_sleepAfter)
                m_asleep = true;
            return m_answers.value(asked);
        };
        bar = &startFrom(QByteArray(kDirect).replace("REFRESH=0", "REFRESH=100"));
        bar->timDisplaySongtitle->setEnabled(false);
        bar->playerLine()->setLostMs(kLostMs);
        fillPlaylist(u"A<br>B<br>C<br>"_s);
        ASSERT_TRUE(waitUntil([&] { return bar->lblStatus->text() == u"Playing"; }));
    }
    // The presses' requests, in the order they reached the player.
    QStringList pressesSent()
    {
        QStringList requests = sent();
        requests.removeIf([](const QString &request) {
            return !request.contains(u"/play") && !request.contains(u"/next") && !request.contains(u"/stop")
                && !request.contains(u"/shuffle?") && !request.contains(u"/setplaylistpos");
        });
        return requests;
    }
    async::Task<> chooseRow(int row)
    {
        QListView *list = playlist().listPlayList;
        list->setCurrentIndex(list->model()->index(row, 0));
        return playlist().listPlayList_DblClick();
    }

    frm_Quendra *bar = nullptr;
    bool m_asleep = false;
    QString m_sleepAfter;
};

// Every answer takes longer than the polls' period and the channels are
// busy most of the time: the player is never shown gone, every press reaches
// it, and the polls go on coming round.
TEST_F(Presses, ASlowPlayerIsNotAGoneOne)
{
    m_httpq.latencyMs = kLostMs / 2;
    QSignalSpy reachability(bar->playerLine(), &PlayerLine::reachableChanged);
    sent();
    std::vector<async::Task<>> presses;
    for (int i = 0; i < 6; ++i) {
        presses.push_back(press(i % 2 ? BarButton::Next : BarButton::Play));
        QTest::qWait(kLostMs);
    }
    EXPECT_TRUE(waitUntil([&] {
        return std::all_of(presses.begin(), presses.end(), [](const async::Task<> &task) { return task.isDone(); });
    }));
    const QStringList requests = sent();
    EXPECT_EQ(reachability.count(), 0);
    EXPECT_EQ(bar->lblStatus->text(), u"Playing");
    EXPECT_EQ(requests.count(u"net /play?p="_s) + requests.count(u"net /next?p="_s), 6);
    EXPECT_GE(requests.count(u"status /isplaying?p="_s), 2);
    EXPECT_GE(requests.count(u"net /getcurrenttitle?p="_s), 1);
}

// Shuffle is on; the player falls asleep right after shuffle went off, for
// longer than it takes to be shown gone. The press does not play the song
// half-way: once the player answers again the song it was at and shuffle
// come back, before any later press.
TEST_F(Presses, APressOnItsWayIsCarriedThroughOrPutBack)
{
    m_sleepAfter = u"/shuffle?p=&a=0"_s;
    sent();
    async::Task<> chosen = chooseRow(1);
    ASSERT_TRUE(waitUntil([&] { return !bar->playerReachable(); }));
    // Made while the player is gone: dropped at once, never sent later.
    async::Task<> whileGone = press(BarButton::Stop);
    EXPECT_TRUE(whileGone.isDone());
    QTest::qWait(kLostMs);
    EXPECT_FALSE(chosen.isDone());
    m_asleep = false;
    EXPECT_TRUE(waitUntil([&] { return chosen.isDone(); }));
    awaitTask(press(BarButton::Next));

    QStringList presses = pressesSent();
    presses.removeDuplicates();
    EXPECT_EQ(presses,
              QStringList({u"action /shuffle?p=&a=0"_s, u"action /setplaylistpos?p=&a=1"_s,
                           u"action /setplaylistpos?p=&a=2"_s, u"action /shuffle?p=&a=1"_s, u"net /next?p="_s}));
}

// The player hangs and loses what it was asked meanwhile; then it answers
// again. The requests it lost give way: a press made at its first answer
// goes within a silence's length.
TEST_F(Presses, ThePlayerIsBackAtItsFirstAnswer)
{
    for (const char *channel : {"NetworkConnection", "InetStatusCheck"})
        m_httpq.transfer(QString::fromLatin1(channel))->hold();
    ASSERT_TRUE(waitUntil([&] { return !bar->playerReachable(); }));
    QTest::qWait(kLostMs);
    for (const char *channel : {"NetworkConnection", "InetStatusCheck"})
        m_httpq.transfer(QString::fromLatin1(channel))->forsake();
    ASSERT_TRUE(waitUntil([&] { return bar->playerReachable(); }, 4 * kLostMs));
    sent();
    async::Task<> play = press(BarButton::Play);
    EXPECT_TRUE(waitUntil([&] { return play.isDone(); }, kLostMs));
    EXPECT_TRUE(pressesSent().contains(u"net /play?p="_s));
}

// Each answer crosses the network on a connection of its own: one may come
// well after the player answered later requests. A step overtaken so is
// waited for, not sent again, and the slower the player's answers lately,
// the longer the next one is waited for.
TEST_F(Presses, AStepOvertakenByLaterAnswersIsWaitedForNotSentAgain)
{
    constexpr int kLost = 1000;
    bar->playerLine()->setLostMs(kLost);
    sent();
    FakeTransfer *action = m_httpq.transfer(u"inetPLAction"_s);
    action->hold();
    async::Task<> chosen = chooseRow(1);
    ASSERT_TRUE(waitUntil([&] { return pressesSent().contains(u"action /shuffle?p=&a=0"_s); }));
    QTest::qWait(kLost * 6 / 5);
    action->release();
    EXPECT_TRUE(waitUntil([&] { return chosen.isDone(); }));
    EXPECT_TRUE(bar->playerReachable());
    EXPECT_EQ(pressesSent(),
              QStringList({u"action /setplaylistpos?p=&a=1"_s, u"action /play?p="_s, u"action /shuffle?p=&a=1"_s}));
    EXPECT_GE(bar->playerLine()->patienceMs(), 2 * kLost * 6 / 5);
}

// A double-click's first request is the shuffle read of a check it calls:
// once that has left, the press is on its way however long the answer takes.
TEST_F(Presses, APressStartedByTheShuffleReadOfItsCheckGoesOn)
{
    bar->playerLine()->setPressWaitMs(kLostMs / 2);
    sent();
    FakeTransfer *status = m_httpq.transfer(u"InetStatusCheck"_s);
    status->hold();
    async::Task<> chosen = chooseRow(1);
    QTest::qWait(kLostMs);
    status->release();
    EXPECT_TRUE(waitUntil([&] { return chosen.isDone(); }));
    EXPECT_EQ(pressesSent(), QStringList({u"action /shuffle?p=&a=0"_s, u"action /setplaylistpos?p=&a=1"_s,
                                          u"action /play?p="_s, u"action /shuffle?p=&a=1"_s}));
}

// A press that has not left when its time is up is never sent, however late
// the line or its channel comes free: the bound holds to the millisecond,
// whatever the timers do.
TEST_F(Presses, APressIsDroppedExactlyAtItsBound)
{
    constexpr int kWaitMs = 100;
    bar->playerLine()->setPressWaitMs(kWaitMs);
    bar->timRefreshSongTitle->setEnabled(false);
    bar->timRefreshStatus->setEnabled(false);
    FakeTransfer *net = m_httpq.transfer(u"NetworkConnection"_s);
    net->hold();
    // Behind a poll on its channel, then behind another press on the line.
    bar->timRefreshSongTitle_Timer();
    async::Task<> behindPoll = press(BarButton::Play);
    QThread::msleep(kWaitMs + 20);
    net->release();
    drainEvents();
    EXPECT_TRUE(behindPoll.isDone());

    net->hold();
    async::Task<> first = press(BarButton::Next);
    async::Task<> behindPress = press(BarButton::Stop);
    QThread::msleep(kWaitMs + 20);
    net->release();
    drainEvents();
    EXPECT_TRUE(first.isDone());
    EXPECT_TRUE(behindPress.isDone());
    EXPECT_EQ(pressesSent(), QStringList{u"net /next?p="_s});
}

// A title poll that still waits for the player's answers is not joined by
// another: the second's shuffle check would cancel the first's song reads.
TEST_F(Presses, ATitlePollWaitingForThePlayerIsNotOverlapped)
{
    bar->timRefreshSongTitle->setEnabled(false);
    bar->timRefreshStatus->setEnabled(false);
    drainEvents();
    const QStringList info = {u"/getinfo?p=&a=0"_s, u"/getinfo?p=&a=1"_s, u"/getinfo?p=&a=2"_s,
                              u"/getoutputtime?p=&a=1"_s};
    const QStringList song = {u"48"_s, u"320"_s, u"1"_s, u"100"_s};
    for (int i = 0; i < info.size(); ++i)
        m_answers[info[i]] = song[i];
    m_answers[u"/getcurrenttitle?p="_s] = u"Another Song"_s;
    FakeTransfer *status = m_httpq.transfer(u"InetStatusCheck"_s);
    status->hold();
    async::Task<> first = bar->timRefreshSongTitle_Timer();
    ASSERT_TRUE(waitUntil([&] { return m_httpq.log.last().url.contains(u"getinfo"); }));
    async::Task<> second = bar->timRefreshSongTitle_Timer();
    drainEvents();
    status->release();
    ASSERT_TRUE(waitUntil([&] {
        if (status->isBusy())
            status->release();
        return first.isDone() && second.isDone();
    }));
    EXPECT_EQ(bar->lblSongInfo->text(), u"1:40    320    48k");
    EXPECT_EQ(bar->lblChannels->text(), u"mono");
}

} // namespace
