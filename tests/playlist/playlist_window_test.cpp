#include "bar/frm_Quendra.h"
#include "httpq/HttpqClient.h"
#include "platform/FormTimer.h"
#include "platform/PictureBox.h"
#include "playlist/PlaylistModel.h"
#include "playlist/frm_QuendraPlaylist.h"
#include "settings/Settings.h"
#include "settings/iniActions.h"
#include "support/FakeBrowser.h"
#include "support/FakeTransfer.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QListView>
#include <QMap>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kList = QStringLiteral("inetPlayList");
const QString kAction = QStringLiteral("inetPLAction");

class PlaylistWindow : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_settings.isValid());
        m_httpq.answer = [this](const QString &, const QString &url) -> std::optional<QString> {
            QString key = url.mid(url.indexOf(u'/', 7));
            return m_answers.contains(key) ? m_answers.value(key) : std::nullopt;
        };
    }
    QByteArray readFile() const { return m_settings.read(); }
    frm_QuendraPlaylist &start(const QByteArray &settings = "[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nREFRESH=0\r\n")
    {
        m_settings.write(settings);
        frm_Quendra &bar = m_windows.start();
        bar.timRefreshStatus->setEnabled(false);
        bar.timDisplaySongtitle->setEnabled(false);
        return *frm_QuendraPlaylist::instance();
    }
    QStringList requests(const QString &channel) const
    {
        QStringList urls;
        for (const Exchange &exchange : m_httpq.log) {
            if (exchange.channel == channel)
                urls.append(exchange.url.mid(exchange.url.indexOf(u'/', 7)));
        }
        return urls;
    }
    static QStringList entries(const frm_QuendraPlaylist &window)
    {
        QStringList texts;
        const QAbstractItemModel *model = window.listPlayList->model();
        for (int i = 0; i < model->rowCount(); ++i)
            texts.append(model->index(i, 0).data().toString());
        return texts;
    }
    static int rowCount(const frm_QuendraPlaylist &window) { return window.listPlayList->model()->rowCount(); }
    static int currentRow(const frm_QuendraPlaylist &window) { return window.listPlayList->currentIndex().row(); }
    static void selectRow(frm_QuendraPlaylist &window, int row)
    {
        window.listPlayList->setCurrentIndex(window.listPlayList->model()->index(row, 0));
    }
    void deliver(frm_QuendraPlaylist &window, const QString &answer)
    {
        m_answers[QStringLiteral("/getplaylisttitle?p=")] = answer;
        FakeTransfer *list = m_httpq.transfer(kList);
        ASSERT_NE(list, nullptr);
        // The fake takes its answer when the request starts.
        list->cancel();
        window.RequestPlaylist();
        list->completeGet();
    }

    SettingsSandbox m_settings;
    FakeHttpq m_httpq;
    FakeBrowsers m_browsers;
    QMap<QString, std::optional<QString>> m_answers;
    TestWindows m_windows;
    std::unique_ptr<frm_Quendra> &m_bar = m_windows.bar;
};

TEST_F(PlaylistWindow, DirectModeLaysOutTheListBelowTheBarAndFetchesAtOnce)
{
    frm_QuendraPlaylist &window = start();
    EXPECT_EQ(window.geometry(), QRect(0, 133, 275, 133));
    EXPECT_EQ(gPlaylistDocked, -1);
    EXPECT_EQ(window.listPlayList->geometry(), QRect(0, 67, 275, 66));
    EXPECT_EQ(window.picTopSongList->geometry(), QRect(0, 33, 275, 33));
    EXPECT_EQ(window.picHideScrollBar->geometry(), QRect(258, 67, 10, 100));
    EXPECT_EQ(window.picBottom->geometry(), QRect(0, 118, 275, 15));
    EXPECT_EQ(window.Line1[1], QLine(4115, 0, 4115, 1975));
    EXPECT_EQ(entries(window), QStringList{QStringLiteral("Loading...")});
    EXPECT_EQ(requests(kList), QStringList{QStringLiteral("/getplaylisttitle?p=")});
    EXPECT_TRUE(readFile().contains("[PLAYLIST]\r\nVISIBLE=1\r\nHEIGHT=1995\r\n"));
    // The grip is in front of everything.
    EXPECT_EQ(window.childAt(100, 125), window.picBottom);

    // A second request while the first is under way sends nothing.
    window.picTop_DblClick();
    window.RequestPlaylist();
    EXPECT_EQ(requests(kList).size(), 1);

    deliver(window, QStringLiteral("Artist A - One<br>Artist B - Two<br>"));
    EXPECT_EQ(entries(window), QStringList({QStringLiteral("   Artist A - One"), QStringLiteral("   Artist B - Two"),
                                            QStringLiteral(" ")}));
    EXPECT_EQ(window.timPlaylistRefresh->interval(), 60000);
}

TEST_F(PlaylistWindow, WebControlModeShowsThePlaylistPageOverTheWindow)
{
    frm_QuendraPlaylist &window = start("[PLAYLIST]\r\nURL=http://h/p\r\nHEIGHT=3000\r\n");
    ASSERT_EQ(m_browsers.created.size(), 2);
    FakeBrowser *browser = m_browsers.created.at(1);
    EXPECT_EQ(window.QuendraPlaylistWebbrowser, browser);
    EXPECT_EQ(browser->navigations, QStringList{QStringLiteral("http://h/p")});
    EXPECT_EQ(browser->geometry(), QRect(0, -1, 275, (250 + 3000 + 50) / 15));
    EXPECT_FALSE(window.listPlayList->isVisibleTo(&window));
    EXPECT_FALSE(window.picTopSongList->isVisibleTo(&window));
    EXPECT_EQ(window.childAt(100, 195), window.picBottom);
    // The hidden list is filled all the same, from the sixth tick on.
    EXPECT_TRUE(requests(kList).isEmpty());
    for (int tick = 0; tick < 5; ++tick)
        window.timPlaylistRefresh_Timer();
    EXPECT_TRUE(requests(kList).isEmpty());
    EXPECT_EQ(window.timPlaylistRefresh->interval(), 1000);
    window.timPlaylistRefresh_Timer();
    EXPECT_EQ(requests(kList).size(), 1);
    EXPECT_EQ(window.timPlaylistRefresh->interval(), 60000);
}

TEST_F(PlaylistWindow, DockingFollowsTheBarAndSnapsOnlyStrictlyWithinTheAttachDistance)
{
    frm_QuendraPlaylist &window = start();
    frm_Quendra &bar = *m_bar;
    ASSERT_EQ(gPlaylistDocked, -1);

    // Docked: the bar's move takes the window along, whatever the distance.
    bar.moveTwips(3000, 4500);
    window.DockPlaylist(QStringLiteral("Quendra"));
    EXPECT_EQ(window.positionTwips(), QPoint(3000, 4500 + 1995));

    // Dropped off the attach point by whole pixels: 49 px (735 twips) snaps,
    // 50 px (750 twips, the distance itself) does not, on every side.
    const struct
    {
        int dx;
        int dy;
        bool snaps;
    } drops[] = {{735, 735, true}, {-735, -735, true}, {750, 0, false},
                 {-750, 0, false}, {0, 750, false},    {0, -750, false}};
    for (const auto &drop : drops) {
        const QPoint dropped(3000 + drop.dx, 6495 + drop.dy);
        window.moveTwips(dropped.x(), dropped.y());
        window.DockPlaylist(QStringLiteral("Playlist"));
        EXPECT_EQ(gPlaylistDocked, drop.snaps ? -1 : 0) << drop.dx << "," << drop.dy;
        EXPECT_EQ(window.positionTwips(), drop.snaps ? QPoint(3000, 6495) : dropped) << drop.dx << "," << drop.dy;
    }

    // Free, 2000 twips away: the bar's move leaves it, unless it ends near it.
    window.moveTwips(6000, 9000);
    window.DockPlaylist(QStringLiteral("Playlist"));
    bar.moveTwips(0, 0);
    window.DockPlaylist(QStringLiteral("Quendra"));
    EXPECT_EQ(window.positionTwips(), QPoint(6000, 9000));
    bar.moveTwips(6000 - 600, 9000 - 1995 + 600);
    window.DockPlaylist(QStringLiteral("Quendra"));
    EXPECT_EQ(window.positionTwips(), QPoint(5400, 9600));
    EXPECT_EQ(gPlaylistDocked, -1);
}

TEST_F(PlaylistWindow, ResizingCollapsesBelowTwoStripsAndStoresTheHeight)
{
    frm_QuendraPlaylist &window = start();
    // Two strips are 1000 twips: one twip less collapses to one strip.
    window.resize(275, 1005 / 15);
    window.picBottom_Resized();
    EXPECT_EQ(window.heightTwips(), 1005);
    EXPECT_EQ(window.listPlayList->height(), 0);
    EXPECT_TRUE(readFile().contains("HEIGHT=1005\r\n"));

    window.resize(275, 990 / 15);
    window.picBottom_Resized();
    EXPECT_EQ(window.heightTwips(), 495);
    EXPECT_TRUE(readFile().contains("HEIGHT=495\r\n"));
    EXPECT_EQ(window.picBottom->geometry(), QRect(0, 18, 275, 15));

    window.resize(275, 300);
    window.picBottom_Resized();
    EXPECT_EQ(gPlaylistHeight, 4500);
    EXPECT_TRUE(readFile().contains("HEIGHT=4500\r\n"));
    EXPECT_EQ(window.listPlayList->height(), 300 - 67);
}

TEST_F(PlaylistWindow, AStartedSongIsFramedByShuffleOffAndOn)
{
    frm_QuendraPlaylist &window = start();
    deliver(window, QStringLiteral("A<br>B<br>C<br>D<br>"));
    m_answers[QStringLiteral("/shuffle_status?p=")] = QStringLiteral("1");
    m_answers[QStringLiteral("/shuffle?p=&a=0")] = QStringLiteral("1");
    m_answers[QStringLiteral("/shuffle?p=&a=1")] = QStringLiteral("1");
    m_answers[QStringLiteral("/play?p=")] = QStringLiteral("1");
    m_httpq.log.clear();

    selectRow(window, 2);
    window.listPlayList_DblClick();
    EXPECT_EQ(gListPos, 2);
    EXPECT_EQ(requests(QStringLiteral("InetStatusCheck")), QStringList{QStringLiteral("/shuffle_status?p=")});
    EXPECT_EQ(requests(kAction), QStringList({QStringLiteral("/shuffle?p=&a=0"), QStringLiteral("/setplaylistpos?p=&a=2"),
                                               QStringLiteral("/play?p="), QStringLiteral("/shuffle?p=&a=1")}));

    // Shuffle off; a failing request in the middle stops nothing. The final
    // blank entry sends the number of titles.
    m_answers[QStringLiteral("/shuffle_status?p=")] = QStringLiteral("0");
    m_httpq.log.clear();
    selectRow(window, 4);
    window.listPlayList_DblClick();
    EXPECT_EQ(requests(kAction), QStringList({QStringLiteral("/setplaylistpos?p=&a=4"), QStringLiteral("/play?p=")}));

    // A real double click on an entry.
    m_httpq.log.clear();
    const QRect second = window.listPlayList->visualRect(window.listPlayList->model()->index(1, 0));
    QTest::mousePress(window.listPlayList->viewport(), Qt::LeftButton, Qt::NoModifier, second.center());
    QTest::mouseRelease(window.listPlayList->viewport(), Qt::LeftButton, Qt::NoModifier, second.center());
    QTest::mouseDClick(window.listPlayList->viewport(), Qt::LeftButton, Qt::NoModifier, second.center());
    EXPECT_EQ(requests(kAction), QStringList({QStringLiteral("/setplaylistpos?p=&a=1"), QStringLiteral("/play?p=")}));
}

TEST_F(PlaylistWindow, ThePlayingSongIsSelectedAndKeptInView)
{
    frm_QuendraPlaylist &window = start("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\n[PLAYLIST]\r\nHEIGHT=6000\r\n");
    QStringList titles;
    for (int i = 0; i < 200; ++i)
        titles.append(QStringLiteral("Song %1<br>").arg(i));
    deliver(window, titles.join(QString()));
    ASSERT_EQ(rowCount(window), 201);
    const int rows = window.listPlayList->viewport()->height() / window.listPlayList->sizeHintForRow(0);
    ASSERT_GT(rows, 6);

    gTitleText = QStringLiteral("abcd");
    qint16 index = 100;
    window.ShowCurrentSongInPlaylist(index);
    EXPECT_EQ(currentRow(window), -1);

    gTitleText = QStringLiteral("Song 100");
    window.ShowCurrentSongInPlaylist(index);
    EXPECT_EQ(index, 100);
    EXPECT_EQ(currentRow(window), 100);
    EXPECT_EQ(window.listPlayList->verticalScrollBar()->value(), qRound(100 - rows / 3.0));

    // In view and not on the last row: the view stays.
    index = 101;
    window.ShowCurrentSongInPlaylist(index);
    EXPECT_EQ(window.listPlayList->verticalScrollBar()->value(), qRound(100 - rows / 3.0));
    // Above the view: the list brings it to the top row, and that is in view.
    index = 2;
    window.ShowCurrentSongInPlaylist(index);
    EXPECT_EQ(window.listPlayList->verticalScrollBar()->value(), 2);
    // On the last row of the first screen: the view goes to the top.
    window.listPlayList->verticalScrollBar()->setValue(0);
    index = qint16(rows - 1);
    window.ShowCurrentSongInPlaylist(index);
    EXPECT_EQ(window.listPlayList->verticalScrollBar()->value(), 0);
    // Outside the list: nothing selected, no crash.
    for (qint16 outside : {qint16(-1), qint16(201), qint16(32767)})
        window.ShowCurrentSongInPlaylist(outside);

    // An identical refresh leaves selection and view as they were, and tells
    // the view of nothing; a changed title is told, and only that one.
    index = 150;
    window.ShowCurrentSongInPlaylist(index);
    const int top = window.listPlayList->verticalScrollBar()->value();
    QSignalSpy told(window.listPlayList->model(), &QAbstractItemModel::dataChanged);
    deliver(window, titles.join(QString()));
    EXPECT_EQ(currentRow(window), 150);
    EXPECT_EQ(window.listPlayList->verticalScrollBar()->value(), top);
    EXPECT_TRUE(told.isEmpty());
    titles[140] = QStringLiteral("Changed<br>");
    deliver(window, titles.join(QString()));
    ASSERT_EQ(told.size(), 1);
    EXPECT_EQ(told.at(0).at(0).value<QModelIndex>().row(), 140);
    EXPECT_EQ(told.at(0).at(1).value<QModelIndex>().row(), 140);
    EXPECT_EQ(entries(window).at(140), u"   Changed");
    EXPECT_EQ(currentRow(window), 150);
}

TEST_F(PlaylistWindow, ARefillLeavesTheHighlightOnThePlayingEntryOrNowhere)
{
    const auto answer = [](int count, int changedAt = -1) {
        QString text;
        for (int i = 0; i < count; ++i)
            text += (i == changedAt ? QStringLiteral("Other %1<br>") : QStringLiteral("Song %1<br>")).arg(i);
        return text;
    };
    const struct
    {
        const char *name;
        int playing;  // shown as playing, -1 for none
        int clicked;  // highlighted by the user afterwards, -1 for none
        QString refill;
        int highlighted;
    } cases[] = {
        {"playing entry taken away", 7, -1, answer(5), -1},
        {"clicked entry taken away", 2, 8, answer(5), 2},
        {"clicked entry replaced", 2, 8, answer(10, 8), 2},
        {"playing entry replaced", 2, -1, answer(10, 2), -1},
        {"clicked entry replaced, playing one too", 2, 8, answer(10, 2).replace(QStringLiteral("Song 8"), QStringLiteral("Else 8")), -1},
        {"clicked entry become the blank one", -1, 5, answer(5), -1},
        {"nothing taken", 2, 8, answer(10), 8},
    };
    frm_QuendraPlaylist &window = start();
    gTitleText = QStringLiteral("Song title");
    for (const auto &c : cases) {
        deliver(window, answer(10));
        qint16 playing = qint16(c.playing);
        window.ShowCurrentSongInPlaylist(playing);
        if (c.clicked >= 0)
            selectRow(window, c.clicked);
        deliver(window, c.refill);
        const QModelIndexList selected = window.listPlayList->selectionModel()->selectedRows();
        EXPECT_EQ(currentRow(window), c.highlighted) << c.name;
        EXPECT_EQ(selected.size(), c.highlighted >= 0 ? 1 : 0) << c.name;
        if (!selected.isEmpty()) {
            EXPECT_EQ(selected.first().row(), c.highlighted) << c.name;
        }
    }
}

TEST_F(PlaylistWindow, BadAnswersNeverCrashOrRepeatTitles)
{
    frm_QuendraPlaylist &window = start();
    // Many pieces without a single separator: the reading ends, nothing is
    // repeated. (How the time grows with the size: tools/bench/playlist_bench.sh.)
    deliver(window, QString(100 * 1024, u'x'));
    EXPECT_EQ(entries(window), QStringList{QStringLiteral(" ")});

    // Entries keep control and replacement characters as they came; a row
    // shows controls as blanks, on one line, and no more of a huge title
    // than a row can hold (measuring a 1 MB row froze the window).
    const QString huge(1024 * 1024, u'y');
    deliver(window, QStringLiteral("tab\there\x01\x7f<br>\uFFFD\uFFFD<br>") + huge + QStringLiteral("<br>"));
    EXPECT_EQ(window.mEntries->entry(0), QStringLiteral("   tab\there\x01\x7f"));
    EXPECT_EQ(window.mEntries->entry(2).size(), huge.size() + 3);
    const QStringList shown = entries(window);
    ASSERT_EQ(shown.size(), 4);
    EXPECT_EQ(shown.mid(0, 2), QStringList({QStringLiteral("   tab here  "), QStringLiteral("   \uFFFD\uFFFD")}));
    EXPECT_LE(shown.at(2).size(), 512);
    EXPECT_EQ(window.listPlayList->sizeHintForRow(2), window.listPlayList->sizeHintForRow(1));

    // A failed fetch leaves the list as it was.
    m_answers.remove(QStringLiteral("/getplaylisttitle?p="));
    window.RequestPlaylist();
    m_httpq.transfer(kList)->completeGet();
    EXPECT_EQ(rowCount(window), 4);
    EXPECT_FALSE(window.inetPlayList->IsBusy());
}

TEST_F(PlaylistWindow, ClosingCancelsBothChannelsAndStopsTheRefresh)
{
    frm_QuendraPlaylist &window = start();
    ASSERT_TRUE(window.inetPlayList->IsBusy());
    window.close();
    EXPECT_FALSE(window.inetPlayList->IsBusy());
    EXPECT_FALSE(window.timPlaylistRefresh->isEnabled());
}

} // namespace
