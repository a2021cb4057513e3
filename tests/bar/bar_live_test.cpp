#include "platform/widgets/picturebox.h"
#include "services/httpq/playerline.h"
#include "support/sandbox.h"
#include "windows/systray/frmsystray.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>

namespace {

using namespace Qt::StringLiterals;

const QStringList kInfo = {u"/getinfo?p=&a=0"_s, u"/getinfo?p=&a=1"_s, u"/getinfo?p=&a=2"_s,
                           u"/getoutputtime?p=&a=1"_s};
const QStringList kChecks = {u"status /shuffle_status?p="_s, u"status /repeat_status?p="_s};

// The bar's polls and presses against a player playing "Artist - Song".
class BarHandlers : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        playing(u"Artist - Song"_s);
        m_bar = &start();
        sent();
    }
    // The song information: sample rate, bit rate, channels, length.
    void playing(const QString &title, const QStringList &info = {u"44"_s, u"128"_s, u"2"_s, u"250"_s})
    {
        m_answers[u"/getcurrenttitle?p="_s] = title;
        m_answers[u"/getlistpos?p="_s] = u"3"_s;
        for (int i = 0; i < kInfo.size(); ++i)
            m_answers[kInfo[i]] = info[i];
    }

    frm_Quendra *m_bar = nullptr;
};

TEST_F(BarHandlers, ANewTitleReadsTheSongAndAnUnchangedOneOnlyItsChecks)
{
    awaitTask(m_bar->timRefreshSongTitle_Timer());
    QStringList song = {u"net /getcurrenttitle?p="_s, u"net /getlistpos?p="_s};
    for (const QString &info : kInfo)
        song.append(u"status "_s + info);
    EXPECT_EQ(sent(), song + kChecks);
    EXPECT_EQ(m_bar->lblSongInfo->text(), u"4:10    128    44k");
    EXPECT_EQ(m_bar->lblChannels->text(), u"stereo");
    EXPECT_EQ(gTitleText, u"Artist - Song");

    awaitTask(m_bar->timRefreshSongTitle_Timer());
    EXPECT_EQ(sent(), song.mid(0, 2) + kChecks);
    // A busy channel skips the title, not the checks.
    FakeTransfer *net = m_httpq.transfer(u"NetworkConnection"_s);
    net->setBusy(true);
    awaitTask(m_bar->timRefreshSongTitle_Timer());
    EXPECT_EQ(sent(), kChecks);
    net->setBusy(false);

    // Letter case is a change.
    playing(u"artist - song"_s, {u"44"_s, u"128"_s, u"1"_s, u"250"_s});
    awaitTask(m_bar->timRefreshSongTitle_Timer());
    EXPECT_EQ(sent(), song + kChecks);
    EXPECT_EQ(m_bar->lblChannels->text(), u"mono");

    // httpQ unreachable: the empty title is a change, the values stay.
    m_answers.clear();
    awaitTask(m_bar->timRefreshSongTitle_Timer());
    EXPECT_EQ(gTitleText, QString());
    EXPECT_EQ(m_bar->lblSongInfo->text(), u"4:10    128    44k");
    // Non-numeric: the three leading numbers become 0, the channel count stays.
    playing(u"Other"_s, {u"n/a"_s, QString(), u"stereo"_s, u"99999"_s});
    awaitTask(m_bar->timRefreshSongTitle_Timer());
    EXPECT_EQ(m_bar->lblChannels->text(), u"mono");
    EXPECT_EQ(m_bar->lblSongInfo->text(), u"4:10    0    0k");
    EXPECT_EQ(gTitleText, u"Other");
    // Stopped: the song information reads 0, the length -1.
    playing(u"Stopped"_s, {u"0"_s, u"0"_s, u"0"_s, u"-1"_s});
    awaitTask(m_bar->timRefreshSongTitle_Timer());
    EXPECT_EQ(m_bar->lblSongInfo->text(), u"0:00    0    0k");
    // Seconds below ten take their leading zero, nine included.
    playing(u"Nine"_s, {u"48"_s, u"320"_s, u"2"_s, u"189"_s});
    awaitTask(m_bar->timRefreshSongTitle_Timer());
    EXPECT_EQ(m_bar->lblSongInfo->text(), u"3:09    320    48k");
}

// Shuffle is on for a leading 1 and a failed read keeps its mark; repeat
// only for an exact 1 (1.4 would round to it), and a failed read hides it.
TEST_F(BarHandlers, MarksShowWhatThePlayerReports)
{
    const std::tuple<std::optional<QString>, std::optional<QString>, bool, bool> reads[] = {
        {u"1"_s, u"1.0"_s, true, true},
        {u"0"_s, u"1.4"_s, false, false},
        {u"1.2"_s, u"1"_s, true, true},
        {std::nullopt, std::nullopt, true, false},
    };
    for (const auto &[shuffle, repeat, shuffleMark, repeatMark] : reads) {
        m_answers[u"/shuffle_status?p="_s] = shuffle;
        m_answers[u"/repeat_status?p="_s] = repeat;
        awaitTask(m_bar->ShuffleCheck());
        awaitTask(m_bar->LoopCheck());
        EXPECT_EQ(m_bar->picShuffleStatus->isVisibleTo(m_bar), shuffleMark) << testing::PrintToString(shuffle);
        EXPECT_EQ(m_bar->picLoopStatus->isVisibleTo(m_bar), repeatMark) << testing::PrintToString(repeat);
    }
    // The shuffle check cancels what holds the status channel.
    sent();
    m_httpq.transfer(u"InetStatusCheck"_s)->setBusy(true);
    awaitTask(m_bar->ShuffleCheck());
    EXPECT_EQ(sent(), QStringList{u"status /shuffle_status?p="_s});
}

TEST_F(BarHandlers, PlayStateReadsStoppedPlayingPausedAndIgnoresOtherValues)
{
    const std::pair<std::optional<QString>, QString> cases[] = {
        {u"1"_s, u"Playing"_s},       {u"2"_s, u"Playing"_s}, {u"3"_s, u"Paused"_s},        {u"0"_s, u"Stopped"_s},
        {std::nullopt, u"Stopped"_s}, {u"1"_s, u"Playing"_s}, {std::nullopt, u"Playing"_s}, {u"busy"_s, u"Stopped"_s},
    };
    for (const auto &[answer, caption] : cases) {
        m_answers[u"/isplaying?p="_s] = answer;
        awaitTask(m_bar->timRefreshStatus_Timer());
        EXPECT_EQ(m_bar->lblStatus->text(), caption);
    }
    EXPECT_EQ(sent(), QStringList(std::size(cases), u"status /isplaying?p="_s));
    // A busy channel skips the poll, rather than waiting its turn.
    FakeTransfer *status = m_httpq.transfer(u"InetStatusCheck"_s);
    status->setBusy(true);
    QTimer::singleShot(20, status, [status] { status->setBusy(false); });
    awaitTask(m_bar->timRefreshStatus_Timer());
    EXPECT_TRUE(sent().isEmpty());
}

using BarLive = WindowTest;

TEST_F(BarLive, EachPressOnTheFaceSendsItsCommandOnce)
{
    frm_Quendra &bar = start("[PLAYLIST]\r\nVISIBLE=0\r\n"_ba + kDirect);
    ASSERT_EQ(bar.picQuendraDirect->size(), QSize(275, 133));
    sent();
    // The command sent ("" none); SHUF and LOOP read their state after it,
    // PLS sends nothing but shows the playlist window.
    const auto check = [&](const QString &command, const auto &where) {
        QStringList expected;
        if (!command.isEmpty() && command != u"PLS")
            expected.append(u"net /"_s + command);
        if (command.startsWith(u"shuffle") || command.startsWith(u"repeat"))
            expected.append(u"status /"_s + command.section(u'?', 0, 0) + u"_status?p="_s);
        EXPECT_EQ(sent(), expected) << testing::PrintToString(where);
        EXPECT_EQ(gPlaylistVisible, command == u"PLS" ? 1 : 0) << testing::PrintToString(where);
        EXPECT_EQ(bar.picPlayListStatus->isVisible(), gPlaylistVisible != 0);
        if (gPlaylistVisible != 0)
            bar.TogglePlaylist();
    };

    // Pixels of the 275 x 133 face at the edges of controls, where a scale
    // or an offset off by a pixel shows (every cell's area is checked in
    // the face's units by BarButtonAreas): a column of 5 units is 2.29 px, a
    // row of 8 units 2.22 px. The button row is pixel rows 96 to 113, the
    // volume cells rows 60 to 77, under the song information.
    // Along the button row: its left edge, previous's first pixel, play's
    // first (right button), next's first (middle button), PLS's last pixel,
    // the right edge. Above, on the top and bottom pixels of, and below the
    // button row. The volume cells' first pixels, under the song
    // information, their top and bottom pixels and beyond; the title panel.
    const std::tuple<int, int, const char *, Qt::MouseButton> presses[] = {{11, 104, "", Qt::LeftButton},
                                                                           {12, 104, "prev?p=", Qt::LeftButton},
                                                                           {35, 104, "play?p=", Qt::RightButton},
                                                                           {127, 104, "next?p=", Qt::MiddleButton},
                                                                           {263, 104, "PLS", Qt::LeftButton},
                                                                           {264, 104, "", Qt::LeftButton},
                                                                           {23, 95, "", Qt::LeftButton},
                                                                           {23, 96, "prev?p=", Qt::LeftButton},
                                                                           {23, 113, "prev?p=", Qt::LeftButton},
                                                                           {23, 114, "", Qt::LeftButton},
                                                                           {58, 70, "volumedown?p=", Qt::LeftButton},
                                                                           {69, 70, "volumeup?p=", Qt::LeftButton},
                                                                           {63, 60, "volumedown?p=", Qt::LeftButton},
                                                                           {63, 59, "", Qt::LeftButton},
                                                                           {75, 77, "volumeup?p=", Qt::LeftButton},
                                                                           {75, 78, "", Qt::LeftButton},
                                                                           {150, 35, "", Qt::LeftButton}};
    for (const auto &[x, y, command, button] : presses) {
        // Through the window, so that Qt finds the widget under the pointer.
        QTest::mousePress(bar.windowHandle(), button, Qt::NoModifier, {x, y});
        QTest::mouseRelease(bar.windowHandle(), button, Qt::NoModifier, {x, y});
        check(QString::fromLatin1(command), std::pair(x, y));
    }
    // The song information lay over the volume presses; the title and the
    // play state over the title panel.
    EXPECT_TRUE(bar.lblSongInfo->geometry().contains(58, 70));
    EXPECT_TRUE(bar.lblSongInfo->geometry().contains(80, 70));
    EXPECT_TRUE(bar.lblSongTitle->geometry().contains(150, 35));

    // Whole pixels never land on a cell's bound in the face's units, where
    // the column and the row round half to even: an even cell holds both of
    // its bounds, an odd one neither. Here: the gap before LOOP at x 90, the
    // last of LOOP at 100, the last of volume down at 30, the bottom of the
    // volume cells at y 35 and of the button row at 51.
    const std::tuple<float, float, const char *> bounds[] = {{90, 47, ""},
                                                             {100, 47, "repeat?p=&a=1"},
                                                             {30, 31, "volumedown?p="},
                                                             {30, 35, "volumedown?p="},
                                                             {10, 51, "prev?p="}};
    for (const auto &[x, y, command] : bounds) {
        awaitTask(bar.picQuendraDirect_MouseDown(Qt::LeftButton, x, y));
        check(QString::fromLatin1(command), std::pair(x, y));
    }
}

// The bar's polls running every 200 ms, against a player that stops answering.
TEST_F(WindowTest, APlayerGoneIsShownWithinSecondsAndBackAtItsFirstAnswer)
{
    const decltype(m_answers) answers = {{u"/isplaying?p="_s, u"1"_s}, {u"/getcurrenttitle?p="_s, u"Song"_s}};
    m_answers = answers;
    frm_Quendra &bar = startFrom(QByteArray(kDirect).replace("REFRESH=0", "REFRESH=200"));
    ASSERT_TRUE(waitUntil([&] { return bar.lblStatus->text() == u"Playing"; }));
    const QString tip = bar.my_frmSysTray->ToolTip();

    // One failed poll changes nothing; a player silent for 3 s is gone.
    m_answers.clear();
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(waitUntil([&] { return !bar.playerReachable(); }, 5000));
    EXPECT_GE(clock.elapsed(), PlayerLine::kLostMs - 400);
    EXPECT_EQ(bar.lblStatus->text(), u"Offline");
    EXPECT_NE(bar.my_frmSysTray->ToolTip(), tip);
    // A press while it is gone fails at once and is not kept for later.
    sent();
    awaitTask(press(BarButton::Stop));

    m_answers = answers;
    EXPECT_TRUE(waitUntil([&] { return bar.playerReachable(); }, 1000));
    EXPECT_TRUE(waitUntil([&] { return bar.lblStatus->text() == u"Playing"; }, 1000));
    EXPECT_EQ(bar.my_frmSysTray->ToolTip(), tip);
    // Back, it takes a press at once.
    awaitTask(press(BarButton::Next));
    const QStringList requests = sent();
    EXPECT_TRUE(requests.contains(u"net /next?p="_s));
    EXPECT_FALSE(requests.contains(u"net /stop?p="_s));
    // Each answer started the 3 s again: a poll that fails now changes nothing.
    m_answers.clear();
    awaitTask(bar.timRefreshStatus_Timer());
    EXPECT_TRUE(bar.playerReachable());
}

TEST_F(BarLive, EachMarqueeStepLooksLikeALabelOfTheRotatedTitle)
{
    frm_Quendra &bar = start();

    // Qt's own label, showing the text the step stands for, where the title is.
    auto *reference = new QLabel(bar.picQuendraDirect);
    reference->setGeometry(bar.lblSongTitle->geometry());
    // The title's look by design, not taken from the label under test: bold
    // 11-pixel MS PGothic (DejaVu Sans where it is missing), light grey.
    QFont font;
    font.setFamilies({u"MS PGothic"_s, u"DejaVu Sans"_s});
    font.setPixelSize(11);
    font.setBold(true);
    reference->setFont(font);
    QPalette colours = reference->palette();
    colours.setColor(QPalette::WindowText, QColor(224, 224, 224));
    reference->setPalette(colours);
    reference->setTextFormat(Qt::PlainText);
    reference->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    reference->hide();

    // A cycle is 20 steps more than the title's length, at least 30, else
    // 50; the title and its separator turn round once, then stand still
    // until the cycle ends. Until the first title, a placeholder turns.
    const std::tuple<const char *, std::optional<QString>, qsizetype, bool> cases[] = {
        {"placeholder", std::nullopt, 0, true},
        // "fi" is one glyph, cut in two by one of the steps.
        {"ordinary", u"Paco de Lucía - Entre Dos Aguas\r\n(Remastered 2014) fi WAVy"_s, 0, true},
        {"empty", QString(), 0, true},
        {"nine characters", u"Nine char"_s, 0, true},
        {"ten characters", u"Ten chars!"_s, 0, true},
        // A huge title is laid out on each step, only as far as the label shows it.
        {"huge", QString(30000, u'x').replace(1, 5, u"Huge!"_s), 3, false},
    };
    for (const auto &[name, polled, stepsToCheck, laidOutOnce] : cases) {
        if (polled) {
            m_answers[u"/getcurrenttitle?p="_s] = *polled;
            awaitTask(bar.timRefreshSongTitle_Timer());
        }
        const QString title = polled.value_or(QString::fromUtf16(Marquee::kPlaceholder));
        const qsizetype cycle = title.size() < 10 ? 50 : title.size() + 20;
        QString ring = (title + QString::fromUtf16(Marquee::kSeparator)).left(cycle - 1);
        ring.replace(u'\r', u' ').replace(u'\n', u' ');
        const qsizetype steps = stepsToCheck > 0 ? stepsToCheck : cycle + 1;
        for (qsizetype step = 0; step < steps; ++step) {
            bar.timDisplaySongtitle_Timer();
            const QImage shown = bar.grab().toImage();
            const qsizetype rotation = step % cycle < ring.size() ? step % cycle : 0;
            bar.lblSongTitle->hide();
            reference->setText(ring.mid(rotation) + ring.left(rotation));
            reference->show();
            const QImage expected = bar.grab().toImage();
            reference->hide();
            bar.lblSongTitle->show();
            ASSERT_EQ(shown, expected) << name << " step " << step;
        }
        EXPECT_EQ(bar.lblSongTitle->laidOutOnce(), laidOutOnce) << name;
        // Each step of an ordinary ring drew its picture once; the one shown
        // again at the end of the cycle came from it.
        EXPECT_EQ(bar.lblSongTitle->keptSteps(), laidOutOnce ? std::min(ring.size(), cycle) : 0) << name;
        // A reader gets a label with the title alone, once, not the turning text.
        QAccessibleInterface *label = QAccessible::queryAccessibleInterface(bar.lblSongTitle);
        EXPECT_EQ(label->role(), QAccessible::StaticText);
        EXPECT_EQ(label->text(QAccessible::Name),
                  QString(title).replace(u'\r', u' ').replace(u'\n', u' ').left(1024).trimmed())
            << name;
    }
}

} // namespace
