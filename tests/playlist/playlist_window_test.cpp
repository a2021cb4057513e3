#include "core/face/bar_keys.h"
#include "services/httpq/httpqclient.h"
#include "services/httpq/playerline.h"
#include "support/sandbox.h"
#include "windows/playlist/playlistmodel.h"

#include <QAccessible>
#include <QListView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

namespace {

using namespace Qt::StringLiterals;

// The playlist window in direct mode, its list as the view shows it.
class PlaylistWindow : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        start();
        list = playlist().listPlayList;
        entries = playlist().entries();
    }
    // The grip's gesture: the window freed from its held size, sized, then
    // the gesture's end.
    static void sizeByGrip(frm_QuendraPlaylist &window, int height)
    {
        window.setMinimumSize(0, 0);
        window.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        window.resize(275, height);
        window.bottomEdgeMoved();
    }
    QStringList shown() const
    {
        QStringList texts;
        for (int i = 0; i < entries->rowCount(); ++i)
            texts.append(entries->index(i).data().toString());
        return texts;
    }
    int currentRow() const { return list->currentIndex().row(); }
    int topRow() const { return list->verticalScrollBar()->value(); }
    void doubleClickRow(int row)
    {
        const QPoint at = list->visualRect(entries->index(row)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        // Its requests go one after the other, each once the last is answered.
        drainEvents();
    }
    // "Song 0<br>Song 1<br>...", the title at `changedAt` another.
    static QString songs(int count, int changedAt = -1)
    {
        QString text;
        for (int i = 0; i < count; ++i)
            text += (i == changedAt ? u"Other %1<br>"_s : u"Song %1<br>"_s).arg(i);
        return text;
    }
    QListView *list = nullptr;
    PlaylistModel *entries = nullptr;
};

TEST_F(PlaylistWindow, DirectModeFetchesAtOnceAndListsTheTitlesBelowItsStrips)
{
    frm_QuendraPlaylist &window = playlist();
    EXPECT_EQ(shown(), QStringList{u"Loading..."_s});
    // A second request while the first is under way sends nothing.
    window.picTop_DblClick();
    EXPECT_EQ(sent(), QStringList{u"list /getplaylisttitle?p="_s});

    // Empty titles are titles; text after the last separator is not one,
    // and the blank entry that ends the fill is no row.
    fillPlaylist(u"Artist A - <b>One<br><br>Artist B - Two<br>tail"_s);
    EXPECT_EQ(shown(), QStringList({u"   Artist A - <b>One"_s, u"   "_s, u"   Artist B - Two"_s}));
    EXPECT_EQ(entries->entry(3), u" ");
    // A reader counts the titles and hears each without the blanks that
    // indent it on the screen, and finds no row after the last.
    QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(list);
    EXPECT_EQ(reader->role(), QAccessible::List);
    EXPECT_EQ(reader->childCount(), 3);
    EXPECT_EQ(reader->child(2)->text(QAccessible::Name), u"Artist B - Two");
    EXPECT_EQ(reader->child(3), nullptr);
    EXPECT_EQ(window.timPlaylistRefresh->interval(), 60000);

    // The stored height is held in 16 bits (32767 twips are 2184 px).
    sizeByGrip(window, 2300);
    EXPECT_TRUE(m_settings.read().contains("HEIGHT=32767\r\n"));
}

// Letters typed on the list find the next title holding them, whatever
// their case and accents; Return (or the keypad's Enter) starts it, and so
// after Up, exactly as a double-click does: framed by shuffle off and on.
TEST_F(PlaylistWindow, AStartedSongIsFramedByShuffleOffAndOn)
{
    fillPlaylist(u"Björk - Jóga<br>Motörhead - Ace of Spades<br>Artist 3 - Song<br>Motorhead - Overkill<br>"_s);
    for (const QString &command : {u"/shuffle?p=&a=0"_s, u"/shuffle?p=&a=1"_s, u"/play?p="_s})
        m_answers[command] = u"1"_s;
    for (int row = 0; row < 4; ++row)
        m_answers[u"/setplaylistpos?p=&a=%1"_s.arg(row)] = u"1"_s;
    m_answers[u"/shuffle_status?p="_s] = u"1"_s;
    const QStringList framed = {u"status /shuffle_status?p="_s, u"action /shuffle?p=&a=0"_s,
                                u"action /setplaylistpos?p=&a=2"_s, u"action /play?p="_s, u"action /shuffle?p=&a=1"_s};
    m_windows.bar->timRefreshSongTitle->setEnabled(false);
    ASSERT_TRUE(activate(&playlist()));
    ASSERT_TRUE(list->hasFocus());
    sent();
    const auto played = [this](Qt::Key key, Qt::KeyboardModifiers modifiers) {
        QTest::keyClick(list, key, modifiers);
        EXPECT_TRUE(QTest::qWaitFor([&] { return m_httpq.log.size() >= 5; }, 5000));
        return sent();
    };
    QTest::keyClicks(list, u"mot"_s);
    EXPECT_EQ(currentRow(), 1);
    EXPECT_EQ(played(Qt::Key_Return, Qt::NoModifier), QStringList(framed).replaceInStrings(u"a=2"_s, u"a=1"_s));
    // After a pause the same letters go on to the next title holding them.
    QTest::qWait(QApplication::keyboardInputInterval() + 50);
    QTest::keyClicks(list, u"MOT"_s);
    EXPECT_EQ(currentRow(), 3);
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(played(Qt::Key_Enter, Qt::KeypadModifier), framed);
    doubleClickRow(2);
    EXPECT_EQ(gListPos, 2);
    EXPECT_EQ(sent(), framed);

    // Shuffle off: the song is chosen and played, nothing more.
    m_answers[u"/shuffle_status?p="_s] = u"0"_s;
    doubleClickRow(3);
    EXPECT_EQ(sent(),
              QStringList({u"status /shuffle_status?p="_s, u"action /setplaylistpos?p=&a=3"_s, u"action /play?p="_s}));

    // A step the player does not answer goes again (a connection cut on the
    // way); when it never comes through, what the press changed goes back:
    // the song the player was at (as the bar last read it), and shuffle.
    m_answers[u"/shuffle_status?p="_s] = u"1"_s;
    m_answers[u"/getlistpos?p="_s] = u"2"_s;
    awaitTask(m_windows.bar->timRefreshSongTitle_Timer());
    m_answers.remove(u"/play?p="_s);
    sent();
    doubleClickRow(1);
    const QStringList putBack = {u"status /shuffle_status?p="_s,
                                 u"action /shuffle?p=&a=0"_s,
                                 u"action /setplaylistpos?p=&a=1"_s,
                                 u"action /play?p="_s,
                                 u"action /play?p="_s,
                                 u"action /play?p="_s,
                                 u"action /setplaylistpos?p=&a=2"_s,
                                 u"action /shuffle?p=&a=1"_s};
    EXPECT_TRUE(waitUntil([&] { return m_httpq.log.size() >= putBack.size(); }));
    drainEvents();
    EXPECT_EQ(sent(), putBack);

    // The bar's shuffle check holds the double-click; the playlist window
    // goes meanwhile, then the player answers: nothing more is sent.
    FakeTransfer *status = m_httpq.transfer(u"InetStatusCheck"_s);
    status->hold();
    doubleClickRow(1);
    EXPECT_EQ(sent(), QStringList{u"status /shuffle_status?p="_s});
    delete &playlist();
    status->release();
    drainEvents();
    EXPECT_EQ(sent(), QStringList());
}

// Presses from the bar and the playlist, while a poll holds the bar's
// channel and another poll's request waits behind it.
TEST_F(PlaylistWindow, PressesReachThePlayerOnceInTheOrderMadeBeforeWaitingPolls)
{
    fillPlaylist(u"A<br>B<br>C<br>"_s);
    m_answers[u"/shuffle_status?p="_s] = u"0"_s;
    m_answers[u"/setplaylistpos?p=&a=1"_s] = u"1"_s;
    m_answers[u"/play?p="_s] = u"1"_s;
    frm_Quendra &bar = *m_windows.bar;
    FakeTransfer *net = m_httpq.transfer(u"NetworkConnection"_s);
    net->hold();
    bar.timRefreshSongTitle_Timer();
    async::Task<std::optional<QString>> waitingPoll = fetchTask(bar.NetworkConnection,
                                                                HttpqClient::BuildUrl(u"/getlistpos?p="));
    sent();
    press(BarButton::Stop);
    doubleClickRow(1);
    press(BarButton::Next);
    EXPECT_EQ(sent(), QStringList());
    net->release();
    ASSERT_TRUE(waitUntil([&] { return waitingPoll.isDone(); }));
    drainEvents();
    const QStringList order = sent();
    QStringList presses = order;
    presses.removeIf(
        [](const QString &request) { return request.startsWith(u"status") || request.contains(u"getlistpos"); });
    EXPECT_EQ(
        presses,
        QStringList({u"net /stop?p="_s, u"action /setplaylistpos?p=&a=1"_s, u"action /play?p="_s, u"net /next?p="_s}));
    EXPECT_EQ(order.mid(0, 2), QStringList({u"net /stop?p="_s, u"net /getlistpos?p="_s}));
}

// A player that takes the connection and never answers: the presses made
// meanwhile are dropped, never sent once it answers again, and those beyond
// the line's room at once.
TEST_F(PlaylistWindow, APressThatCannotBeSentInTimeIsDroppedNotSentLate)
{
    fillPlaylist(u"A<br>B<br>C<br>"_s);
    frm_Quendra &bar = *m_windows.bar;
    bar.playerLine()->setPressWaitMs(30);
    FakeTransfer *net = m_httpq.transfer(u"NetworkConnection"_s);
    FakeTransfer *action = m_httpq.transfer(u"inetPLAction"_s);
    net->hold();
    action->setBusy(true);
    sent();
    // The first press is sent and left unanswered; the next ones wait their turn.
    std::vector<async::Task<>> late;
    for (int i = 0; i < 3; ++i)
        late.push_back(press(BarButton::Play));
    EXPECT_EQ(sent(), QStringList{u"net /play?p="_s});
    late.push_back(playlist().listPlayList_DblClick());
    // One goes and 64 wait their turn; one more is dropped at once.
    while (late.size() < 1 + PlayerLine::kMaxWaiting)
        late.push_back(press(BarButton::Play));
    late.push_back(press(BarButton::Play));
    EXPECT_TRUE(late.back().isDone());
    EXPECT_FALSE(late.at(late.size() - 2).isDone());
    // The player still answers its polls: only the bound on waiting drops the presses.
    m_answers[u"/isplaying?p="_s] = u"1"_s;
    const auto answering = [&] {
        if (!bar.InetStatusCheck->IsBusy())
            bar.timRefreshStatus_Timer();
    };
    EXPECT_TRUE(waitUntil([&] {
        answering();
        return std::all_of(late.begin() + 1, late.end(), [](const async::Task<> &task) { return task.isDone(); });
    }));
    EXPECT_TRUE(bar.playerReachable());
    net->release();
    action->setBusy(false);
    drainEvents();
    EXPECT_TRUE(late.front().isDone());
    QStringList after = sent();
    after.removeIf(
        [](const QString &request) { return !request.startsWith(u"net /play") && !request.startsWith(u"action"); });
    EXPECT_EQ(after, QStringList());
    // Answering again, the player takes the next press at once.
    awaitTask(press(BarButton::Play));
    EXPECT_EQ(sent(), QStringList{u"net /play?p="_s});

    // A press whose request waits behind a poll that does not come back is dropped as well.
    net->hold();
    bar.timRefreshSongTitle_Timer();
    async::Task<> behind = press(BarButton::Play);
    EXPECT_TRUE(waitUntil([&] {
        answering();
        return behind.isDone();
    }));
    sent();
    net->release();
    drainEvents();
    EXPECT_FALSE(sent().contains(u"net /play?p="_s));
}

TEST_F(PlaylistWindow, ThePlayingSongIsSelectedAndKeptInView)
{
    frm_QuendraPlaylist &window = playlist();
    fillPlaylist(songs(200));
    // Titles shorter than five characters mark nothing; five do.
    gTitleText = u"abcd"_s;
    window.ShowCurrentSongInPlaylist(100);
    EXPECT_EQ(currentRow(), -1);
    gTitleText = u"abcde"_s;
    window.ShowCurrentSongInPlaylist(99);
    EXPECT_EQ(currentRow(), 99);

    // A third of the rows in view above it, rounded to the nearest row.
    gTitleText = u"Song 100"_s;
    int rows = 0;
    for (int height = 400; height < 400 + 3 * list->sizeHintForRow(0); height += list->sizeHintForRow(0)) {
        sizeByGrip(window, height);
        rows = list->viewport()->height() / list->sizeHintForRow(0);
        list->verticalScrollBar()->setValue(0);
        window.ShowCurrentSongInPlaylist(100);
        EXPECT_EQ(currentRow(), 100);
        EXPECT_EQ(topRow(), qRound(100 - rows / 3.0)) << rows;
    }
    // In view and not on the last row: the view stays.
    window.ShowCurrentSongInPlaylist(101);
    EXPECT_EQ(topRow(), qRound(100 - rows / 3.0));
    // Above the view: the list brings it to the top row, and that is in view.
    window.ShowCurrentSongInPlaylist(2);
    EXPECT_EQ(topRow(), 2);
    // On the last row of the first screen: the view goes to the top.
    list->verticalScrollBar()->setValue(0);
    window.ShowCurrentSongInPlaylist(qint16(rows - 1));
    EXPECT_EQ(topRow(), 0);
    // Outside the list: nothing selected, no crash.
    for (qint16 outside : {qint16(-1), qint16(201), qint16(32767)})
        window.ShowCurrentSongInPlaylist(outside);
    EXPECT_EQ(currentRow(), -1);

    // An identical refresh leaves selection and view as they were, and tells
    // the view of nothing; a changed title is told, and only that one.
    window.ShowCurrentSongInPlaylist(150);
    const int top = topRow();
    QSignalSpy told(window.entries(), &QAbstractItemModel::dataChanged);
    fillPlaylist(songs(200));
    EXPECT_EQ(currentRow(), 150);
    EXPECT_EQ(topRow(), top);
    EXPECT_TRUE(told.isEmpty());
    fillPlaylist(songs(200, 140));
    ASSERT_EQ(told.size(), 1);
    EXPECT_EQ(told.at(0).at(0).value<QModelIndex>().row(), 140);
    EXPECT_EQ(told.at(0).at(1).value<QModelIndex>().row(), 140);
    EXPECT_EQ(shown().at(140), u"   Other 140");
    EXPECT_EQ(currentRow(), 150);
}

TEST_F(PlaylistWindow, ARefillLeavesTheHighlightOnThePlayingEntryOrNowhere)
{
    const std::tuple<const char *, int, int, QString, int> cases[] = {
        {"playing entry taken away", 7, -1, songs(5), -1},
        {"clicked entry taken away", 2, 8, songs(5), 2},
        {"clicked entry replaced", 2, 8, songs(10, 8), 2},
        {"playing entry replaced", 2, -1, songs(10, 2), -1},
        {"clicked entry replaced, playing one too", 2, 8, songs(10, 2).replace(u"Song 8"_s, u"Else 8"_s), -1},
        {"clicked entry become the blank one", -1, 5, songs(5), -1},
        {"nothing taken, more added", 2, 8, songs(12), 8},
    };
    frm_QuendraPlaylist &window = playlist();
    gTitleText = u"Song title"_s;
    for (const auto &[name, playing, clicked, refill, highlighted] : cases) {
        fillPlaylist(songs(10));
        window.ShowCurrentSongInPlaylist(qint16(playing));
        if (clicked >= 0)
            list->setCurrentIndex(entries->index(clicked));
        fillPlaylist(refill);
        EXPECT_EQ(entries->rowCount(), refill.count(u"<br>"_s)) << name;
        EXPECT_EQ(currentRow(), highlighted) << name;
        EXPECT_EQ(list->selectionModel()->selectedRows(),
                  highlighted >= 0 ? QModelIndexList{entries->index(highlighted)} : QModelIndexList())
            << name;
    }
}

TEST_F(PlaylistWindow, ALongAnswerGoesInOverTurnsAndANewerOneReplacesIt)
{
    frm_QuendraPlaylist &window = playlist();
    gTitleText = u"Song title"_s;
    m_answers[u"/getplaylisttitle?p="_s] = songs(20000);
    m_httpq.transfer(u"inetPlayList"_s)->cancel();
    window.RequestPlaylist();
    m_httpq.transfer(u"inetPlayList"_s)->completeGet();
    ASSERT_TRUE(window.isFilling());
    EXPECT_LT(entries->rowCount(), 20000);
    // The playing song is marked once the list holds the answer whole.
    window.ShowCurrentSongInPlaylist(7);
    EXPECT_EQ(currentRow(), -1);

    fillPlaylist(songs(12, 3));
    EXPECT_FALSE(window.isFilling());
    EXPECT_EQ(shown(), QString(songs(12, 3)).prepend(u"   "_s).replace(u"<br>"_s, u"\n   "_s).split(u'\n').mid(0, 12));
    EXPECT_EQ(currentRow(), 7);
}

TEST_F(PlaylistWindow, BadAnswersNeverCrashOrRepeatTitles)
{
    frm_QuendraPlaylist &window = playlist();
    // Many pieces without a single separator: the reading ends, nothing is
    // repeated. (How the time grows with the size: tools/bench/playlist_bench.sh.)
    fillPlaylist(QString(100 * 1024, u'x'));
    EXPECT_EQ(shown(), QStringList());

    // The answer is read in pieces of 1024 characters: a separator cut by a
    // piece's end at any of its characters is joined again.
    for (int cut = 0; cut <= 4; ++cut) {
        fillPlaylist(QString(1024 - cut, u'a') + u"<br>B<br>"_s);
        ASSERT_EQ(entries->rowCount(), 2) << cut;
        EXPECT_EQ(entries->entry(0).size(), 1024 - cut + 3) << cut;
        EXPECT_EQ(entries->entry(1), u"   B") << cut;
    }

    // Entries keep control and replacement characters as they came; a row
    // shows controls as blanks, on one line, and no more of a huge title
    // than a row can hold (measuring a 1 MB row froze the window).
    const QString huge(1024 * 1024, u'y');
    fillPlaylist(u"tab\there\x01\x7f\u2028<br>\uFFFD\uFFFD<br>"_s + huge + u"<br>"_s);
    EXPECT_EQ(entries->entry(0), u"   tab\there\x01\x7f\u2028"_s);
    EXPECT_EQ(entries->entry(2).size(), huge.size() + 3);
    const QStringList rows = shown();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows.mid(0, 2), QStringList({u"   tab here   "_s, u"   \uFFFD\uFFFD"_s}));
    EXPECT_LE(rows.at(2).size(), 512);
    EXPECT_EQ(list->sizeHintForRow(2), list->sizeHintForRow(1));

    // A failed fetch leaves the list as it was.
    m_answers.remove(u"/getplaylisttitle?p="_s);
    window.RequestPlaylist();
    m_httpq.transfer(u"inetPlayList"_s)->completeGet();
    EXPECT_EQ(entries->rowCount(), 3);
    EXPECT_FALSE(window.inetPlayList->IsBusy());

    // No more titles than 16-bit positions hold.
    QString many;
    for (int i = 0; i < PlaylistFill::kMaxTitles + 100; ++i)
        many += u"T%1<br>"_s.arg(i);
    fillPlaylist(many);
    ASSERT_EQ(entries->rowCount(), PlaylistFill::kMaxTitles);
    EXPECT_EQ(shown().last(), u"   T32766");
}

} // namespace
