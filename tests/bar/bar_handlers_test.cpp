#include "bar/frm_Quendra.h"
#include "httpq/HttpqClient.h"
#include "platform/FormTimer.h"
#include "platform/PictureBox.h"
#include "playlist/frm_QuendraPlaylist.h"
#include "settings/Settings.h"
#include "support/FakeTransfer.h"

#include <gtest/gtest.h>

#include <QMap>
#include <QTest>
#include <QTimer>

namespace {

const QString kNet = QStringLiteral("NetworkConnection");
const QString kStatus = QStringLiteral("InetStatusCheck");

// The bar's handlers against a scripted player: answers by command and
// argument ("/getinfo?p=&a=1"), a missing entry fails the request.
class BarHandlers : public testing::Test
{
protected:
    void SetUp() override
    {
        ResetSettingsRecord();
        gHttpqServer = QStringLiteral("player");
        gHttpqPort = QStringLiteral("4800");
        gHttpqPasswd = QStringLiteral("pw");
        gRefresh = 1000;
        gQuendraType = QStringLiteral("DIRECT");
        m_httpq.answer = [this](const QString &, const QString &url) -> std::optional<QString> {
            const QString key = commandOf(url);
            return m_answers.contains(key) ? m_answers.value(key) : std::nullopt;
        };
        m_bar = std::make_unique<frm_Quendra>();
        playing(QStringLiteral("Artist - Song"));
        // The playlist window's own first fetch is not the bar's business.
        frm_QuendraPlaylist::instance();
        m_httpq.log.clear();
    }
    void TearDown() override
    {
        m_bar.reset();
        frm_QuendraPlaylist::destroyInstance();
        ResetSettingsRecord();
    }

    static QString commandOf(const QString &url)
    {
        QString key = url.mid(url.indexOf(u'/', 7));
        return key.remove(QStringLiteral("pw"));
    }
    void playing(const QString &title)
    {
        m_answers[QStringLiteral("/getcurrenttitle?p=")] = title;
        m_answers[QStringLiteral("/getlistpos?p=")] = QStringLiteral("3");
        m_answers[QStringLiteral("/getinfo?p=&a=0")] = QStringLiteral("44");
        m_answers[QStringLiteral("/getinfo?p=&a=1")] = QStringLiteral("128");
        m_answers[QStringLiteral("/getinfo?p=&a=2")] = QStringLiteral("2");
        m_answers[QStringLiteral("/getoutputtime?p=&a=1")] = QStringLiteral("245");
        m_answers[QStringLiteral("/shuffle_status?p=")] = QStringLiteral("0");
        m_answers[QStringLiteral("/repeat_status?p=")] = QStringLiteral("0");
        m_answers[QStringLiteral("/isplaying?p=")] = QStringLiteral("1");
    }
    // The requests since the last call, as channel and command.
    QStringList sent()
    {
        QStringList requests;
        for (const Exchange &exchange : std::as_const(m_httpq.log)) {
            EXPECT_TRUE(exchange.url.startsWith(u"http://player:4800/")) << exchange.url.toStdString();
            requests.append((exchange.channel == kNet ? QStringLiteral("net ") : QStringLiteral("status ")) + commandOf(exchange.url));
        }
        m_httpq.log.clear();
        return requests;
    }

    FakeHttpq m_httpq;
    QMap<QString, std::optional<QString>> m_answers;
    std::unique_ptr<frm_Quendra> m_bar;
};

const QStringList kChecks = {QStringLiteral("status /shuffle_status?p="), QStringLiteral("status /repeat_status?p=")};

TEST_F(BarHandlers, ANewTitleReadsTheSongAndAnUnchangedOneOnlyItsChecks)
{
    m_bar->timRefreshSongTitle_Timer();
    EXPECT_EQ(sent(), QStringList({QStringLiteral("net /getcurrenttitle?p="), QStringLiteral("net /getlistpos?p="),
                                   QStringLiteral("status /getinfo?p=&a=0"), QStringLiteral("status /getinfo?p=&a=1"),
                                   QStringLiteral("status /getinfo?p=&a=2"),
                                   QStringLiteral("status /getoutputtime?p=&a=1")}) + kChecks);
    EXPECT_EQ(m_bar->lblSongInfo->text(), u"4:05    128    44k");
    EXPECT_EQ(m_bar->lblChannels->text(), u"stereo");
    EXPECT_EQ(gTitleText, u"Artist - Song");
    EXPECT_EQ(gMarqueeRestart, -1);

    m_bar->timRefreshSongTitle_Timer();
    EXPECT_EQ(sent(), QStringList({QStringLiteral("net /getcurrenttitle?p="), QStringLiteral("net /getlistpos?p=")}) + kChecks);

    // Letter case is a change.
    playing(QStringLiteral("artist - song"));
    m_answers[QStringLiteral("/getinfo?p=&a=2")] = QStringLiteral("1");
    m_bar->timRefreshSongTitle_Timer();
    EXPECT_EQ(sent().size(), 8);
    EXPECT_EQ(m_bar->lblChannels->text(), u"mono");
}

TEST_F(BarHandlers, FailedAndNonNumericAnswersKeepWhatTheyShould)
{
    m_bar->timRefreshSongTitle_Timer();
    sent();

    // httpQ unreachable: the empty title is a change, the values stay.
    m_answers.clear();
    m_bar->timRefreshSongTitle_Timer();
    EXPECT_EQ(sent().size(), 8);
    EXPECT_EQ(gTitleText, QString());
    EXPECT_EQ(gMarqueeRestart, -1);
    EXPECT_EQ(m_bar->lblSongInfo->text(), u"4:05    128    44k");
    EXPECT_FALSE(m_bar->picLoopStatus->isVisibleTo(m_bar.get()));

    // Non-numeric: the three leading numbers become 0, the channel count stays.
    playing(QStringLiteral("Other"));
    m_answers[QStringLiteral("/getinfo?p=&a=0")] = QStringLiteral("n/a");
    m_answers[QStringLiteral("/getinfo?p=&a=1")] = QString();
    m_answers[QStringLiteral("/getinfo?p=&a=2")] = QStringLiteral("mono");
    m_answers[QStringLiteral("/getoutputtime?p=&a=1")] = QStringLiteral("99999");
    m_bar->timRefreshSongTitle_Timer();
    EXPECT_EQ(m_bar->mChannels, 2);
    EXPECT_EQ(m_bar->mTrackLength, 245);
    EXPECT_EQ(m_bar->lblSongInfo->text(), u"4:05    0    0k");
    EXPECT_EQ(gTitleText, u"Other");
}

TEST_F(BarHandlers, TheTickSetsBothPollPeriodsInSixteenBits)
{
    const struct
    {
        qint16 refresh;
        int title;
        int status;
    } cases[] = {{0, 0, 100},         {500, 500, 600},     {32668, 32668, 600}, {32767, 32767, 600},
                 {32667, 32667, 32767}, {-50, 32667, 50}, {-200, 32667, 50}};
    for (const auto &c : cases) {
        gRefresh = c.refresh;
        m_bar->timRefreshSongTitle_Timer();
        EXPECT_EQ(m_bar->timRefreshSongTitle->interval(), c.title) << c.refresh;
        EXPECT_EQ(m_bar->timRefreshStatus->interval(), c.status) << c.refresh;
    }
}

TEST_F(BarHandlers, ABusyChannelSkipsTheTitleButNotTheChecks)
{
    FakeTransfer *net = m_httpq.transfer(kNet);
    ASSERT_NE(net, nullptr);
    net->setBusy(true);
    m_bar->timRefreshSongTitle_Timer();
    EXPECT_EQ(sent(), kChecks);
}

TEST_F(BarHandlers, APressWhileAPollWaitsIsSentWhenThePollEndsUnlessCancelled)
{
    // Play, on the face's bottom row, while a poll holds the channel.
    FakeTransfer *net = m_httpq.transfer(kNet);
    ASSERT_NE(net, nullptr);
    net->setBusy(true);
    QTimer::singleShot(20, net, [net] { net->setBusy(false); });
    m_bar->picQuendraDirect_MouseDown(Qt::LeftButton, 20, 47);
    EXPECT_EQ(sent(), QStringList{QStringLiteral("net /play?p=")});

    // The shutdown's cancel abandons a press still waiting.
    net->setBusy(true);
    QTimer::singleShot(20, m_bar.get(), [this] { m_bar->NetworkConnection->Cancel(); });
    m_bar->picQuendraDirect_MouseDown(Qt::LeftButton, 20, 47);
    EXPECT_EQ(sent(), QStringList());
}

TEST_F(BarHandlers, MarksShowWhatThePlayerReportsAndSwitchTheirModeOff)
{
    m_answers[QStringLiteral("/shuffle_status?p=")] = QStringLiteral("1");
    m_answers[QStringLiteral("/repeat_status?p=")] = QStringLiteral("1.0");
    m_bar->ShuffleCheck();
    m_bar->LoopCheck();
    EXPECT_TRUE(m_bar->picShuffleStatus->isVisibleTo(m_bar.get()));
    EXPECT_TRUE(m_bar->picLoopStatus->isVisibleTo(m_bar.get()));
    EXPECT_EQ(gShuffleState, 1);
    sent();

    m_answers[QStringLiteral("/shuffle_status?p=")] = QStringLiteral("0");
    m_bar->picShuffleStatus_Click();
    EXPECT_EQ(sent(), QStringList({QStringLiteral("net /shuffle?p=&a=0"), QStringLiteral("status /shuffle_status?p=")}));
    EXPECT_FALSE(m_bar->picShuffleStatus->isVisibleTo(m_bar.get()));

    // The repeat state is taken unrounded: 1.4 would round to 1, but is not on.
    m_answers[QStringLiteral("/repeat_status?p=")] = QStringLiteral("1.4");
    m_bar->picLoopStatus_Click();
    EXPECT_EQ(sent(), QStringList({QStringLiteral("net /repeat?p=&a=0"), QStringLiteral("status /repeat_status?p=")}));
    EXPECT_FALSE(m_bar->picLoopStatus->isVisibleTo(m_bar.get()));

    // A failed shuffle read keeps the mark; a failed repeat read hides it.
    m_answers[QStringLiteral("/shuffle_status?p=")] = QStringLiteral("1");
    m_answers[QStringLiteral("/repeat_status?p=")] = QStringLiteral("1");
    m_bar->ShuffleCheck();
    m_bar->LoopCheck();
    m_answers.clear();
    m_bar->ShuffleCheck();
    m_bar->LoopCheck();
    EXPECT_TRUE(m_bar->picShuffleStatus->isVisibleTo(m_bar.get()));
    EXPECT_FALSE(m_bar->picLoopStatus->isVisibleTo(m_bar.get()));
}

TEST_F(BarHandlers, ShuffleCheckCancelsABusyStatusChannel)
{
    FakeTransfer *status = m_httpq.transfer(kStatus);
    ASSERT_NE(status, nullptr);
    status->setBusy(true);
    m_bar->ShuffleCheck();
    EXPECT_EQ(sent(), QStringList{QStringLiteral("status /shuffle_status?p=")});
}

TEST_F(BarHandlers, PlayStateReadsStoppedPlayingPausedAndIgnoresOtherValues)
{
    const struct
    {
        std::optional<QString> answer;
        const char16_t *caption;
    } cases[] = {
        {QStringLiteral("1"), u"Playing"}, {QStringLiteral("3"), u"Paused"}, {QStringLiteral("2"), u"Paused"},
        {QStringLiteral("0"), u"Stopped"}, {std::nullopt, u"Stopped"}, {QStringLiteral("1"), u"Playing"},
        {std::nullopt, u"Playing"}, {QStringLiteral("busy"), u"Stopped"},
    };
    EXPECT_EQ(m_bar->lblStatus->text(), u"Unknown");
    for (const auto &c : cases) {
        m_answers[QStringLiteral("/isplaying?p=")] = c.answer;
        m_bar->timRefreshStatus_Timer();
        EXPECT_EQ(m_bar->lblStatus->text(), QString::fromUtf16(c.caption));
    }
    EXPECT_EQ(sent().size(), 8);
    m_httpq.transfer(kStatus)->setBusy(true);
    m_bar->timRefreshStatus_Timer();
    EXPECT_TRUE(sent().isEmpty());
}

TEST_F(BarHandlers, TheMarqueeTickShowsTheRotatedTitleOnOneLine)
{
    m_bar->timDisplaySongtitle_Timer();
    EXPECT_TRUE(m_bar->lblSongTitle->text().startsWith(u"No title available yet......  "));
    playing(QStringLiteral("Artist\r\n- Song\t(live)"));
    m_bar->timRefreshSongTitle_Timer();
    m_bar->timDisplaySongtitle_Timer();
    EXPECT_TRUE(m_bar->lblSongTitle->text().startsWith(u"Artist  - Song (live)..."));
    m_bar->timDisplaySongtitle_Timer();
    EXPECT_TRUE(m_bar->lblSongTitle->text().startsWith(u"rtist  - Song (live)..."));
}

TEST_F(BarHandlers, ANewTitleRestartsTheMarqueeEvenWhenNothingPlays)
{
    const QString separator = QString::fromUtf16(Marquee::kSeparator);
    m_bar->timDisplaySongtitle_Timer();
    playing(QStringLiteral("Paco de Lucía - Entre Dos Aguas (1)"));
    m_bar->timRefreshSongTitle_Timer();
    for (int step = 0; step < 12; ++step)
        m_bar->timDisplaySongtitle_Timer();

    // Stopped: the song information reads 0.
    playing(QStringLiteral("1. Café"));
    for (const char *info : {"/getinfo?p=&a=0", "/getinfo?p=&a=1", "/getinfo?p=&a=2", "/getoutputtime?p=&a=1"})
        m_answers[QString::fromLatin1(info)] = QStringLiteral("0");
    m_bar->timRefreshSongTitle_Timer();
    m_bar->timDisplaySongtitle_Timer();
    EXPECT_EQ(m_bar->lblSongTitle->text().toStdString(), (QStringLiteral("1. Café") + separator).toStdString());
    EXPECT_EQ(m_bar->mMarquee.length, 50);
    m_bar->timDisplaySongtitle_Timer();
    EXPECT_EQ(m_bar->lblSongTitle->text().toStdString(),
              (QStringLiteral(". Café") + separator + QStringLiteral("1")).toStdString());
}

} // namespace
