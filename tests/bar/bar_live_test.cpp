#include "HttpqSimulator.h"
#include "bar/frm_Quendra.h"
#include "platform/FormTimer.h"
#include "platform/PictureBox.h"
#include "playlist/frm_QuendraPlaylist.h"
#include "settings/Settings.h"
#include "settings/iniActions.h"
#include "support/FakeTransfer.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <vector>
#include <QLabel>

namespace {

class BarLive : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_settings.isValid()); }
    frm_Quendra &startDirect(quint16 port, int refresh)
    {
        m_settings.write("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nHTTPQ_SERVER=127.0.0.1\r\nHTTPQ_PASSWD=pw\r\nHTTPQ_PORT="
                         + QByteArray::number(port) + "\r\nREFRESH=" + QByteArray::number(refresh) + "\r\n");
        return m_windows.start();
    }

    SettingsSandbox m_settings;
    TestWindows m_windows;
};

TEST_F(BarLive, EachPressOnTheFaceSendsItsCommandOnce)
{
    FakeHttpq httpq;
    m_settings.write("[PLAYLIST]\r\nVISIBLE=0\r\n[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nHTTPQ_SERVER=127.0.0.1\r\n"
                     "HTTPQ_PASSWD=pw\r\nHTTPQ_PORT=4800\r\nREFRESH=0\r\n");
    frm_Quendra &bar = m_windows.start();
    ASSERT_NE(bar.windowHandle(), nullptr);
    bar.timRefreshStatus->setEnabled(false);
    bar.timDisplaySongtitle->setEnabled(false);
    ASSERT_EQ(bar.picQuendraDirect->size(), QSize(275, 133));

    // Pixels of the 275 x 133 face, the first and last of each control's
    // cells and those just beside them: a column of 5 units is 2.29 px, a
    // row of 8 units 2.22 px. The button row is pixel rows 96 to 113, the
    // volume cells rows 60 to 77, under the song information.
    const struct
    {
        const char *name;
        QPoint pixel;
        std::vector<const char *> requests;
        bool togglesPlaylist = false;
        Qt::MouseButton button = Qt::LeftButton;
    } presses[] = {
        {"left edge", {11, 104}, {}},
        {"previous, first pixel", {12, 104}, {"net /prev?p=pw"}},
        {"previous, last pixel", {34, 104}, {"net /prev?p=pw"}},
        {"play, first pixel, right button", {35, 104}, {"net /play?p=pw"}, false, Qt::RightButton},
        {"play, last pixel, middle button", {57, 104}, {"net /play?p=pw"}, false, Qt::MiddleButton},
        {"pause", {58, 104}, {"net /pause?p=pw"}},
        {"pause, last pixel", {80, 104}, {"net /pause?p=pw"}},
        {"stop", {81, 104}, {"net /stop?p=pw"}},
        {"fade out and stop", {104, 104}, {"net /fadeoutandstop?p=pw"}},
        {"fade out and stop, last pixel", {126, 104}, {"net /fadeoutandstop?p=pw"}},
        {"next", {127, 104}, {"net /next?p=pw"}},
        {"next, last pixel", {148, 104}, {"net /next?p=pw"}},
        {"gap after next", {149, 104}, {}},
        {"gap before SHUF", {171, 104}, {}},
        {"SHUF, then its check", {172, 104}, {"net /shuffle?p=pw&a=1", "status /shuffle_status?p=pw"}},
        {"SHUF, last pixel", {194, 104}, {"net /shuffle?p=pw&a=1", "status /shuffle_status?p=pw"}},
        {"gap after SHUF", {195, 104}, {}},
        {"gap before LOOP", {206, 104}, {}},
        {"LOOP, then its check", {207, 104}, {"net /repeat?p=pw&a=1", "status /repeat_status?p=pw"}},
        {"LOOP, last pixel", {229, 104}, {"net /repeat?p=pw&a=1", "status /repeat_status?p=pw"}},
        {"gap after LOOP", {230, 104}, {}},
        {"gap before PLS", {240, 104}, {}},
        {"PLS shows the playlist, sends nothing", {241, 104}, {}, true},
        {"PLS, last pixel", {263, 104}, {}, true},
        {"right edge", {264, 104}, {}},
        {"above the button row", {23, 95}, {}},
        {"button row, top pixel", {23, 96}, {"net /prev?p=pw"}},
        {"button row, bottom pixel", {23, 113}, {"net /prev?p=pw"}},
        {"below the button row", {23, 114}, {}},
        {"volume down, first pixel", {58, 70}, {"net /volumedown?p=pw"}},
        {"volume down, last pixel", {68, 70}, {"net /volumedown?p=pw"}},
        {"volume up, first pixel", {69, 70}, {"net /volumeup?p=pw"}},
        {"volume up, last pixel", {80, 70}, {"net /volumeup?p=pw"}},
        {"beside the volume cells", {81, 70}, {}},
        {"volume, top pixel", {63, 60}, {"net /volumedown?p=pw"}},
        {"above the volume cells", {63, 59}, {}},
        {"volume, bottom pixel", {75, 77}, {"net /volumeup?p=pw"}},
        {"below the volume cells", {75, 78}, {}},
        {"title panel", {150, 35}, {}},
    };
    for (const auto &press : presses) {
        httpq.log.clear();
        const bool playlistShown = gPlaylistVisible != 0;
        // Through the window, so that Qt finds the widget under the pointer.
        QTest::mousePress(bar.windowHandle(), press.button, Qt::NoModifier, press.pixel);
        QTest::mouseRelease(bar.windowHandle(), press.button, Qt::NoModifier, press.pixel);
        QStringList sent;
        for (const Exchange &exchange : std::as_const(httpq.log)) {
            EXPECT_TRUE(exchange.url.startsWith(u"http://127.0.0.1:4800/")) << press.name;
            sent.append((exchange.channel == u"NetworkConnection" ? QStringLiteral("net ") : QStringLiteral("status "))
                        + exchange.url.mid(21));
        }
        QStringList expected;
        for (const char *request : press.requests)
            expected.append(QString::fromLatin1(request));
        EXPECT_EQ(sent, expected) << press.name;
        EXPECT_EQ(gPlaylistVisible != 0, playlistShown != press.togglesPlaylist) << press.name;
        EXPECT_EQ(bar.picPlayListStatus->isVisible(), gPlaylistVisible != 0) << press.name;
        if (gPlaylistVisible != 0)
            bar.TogglePlaylist();
    }
    // The song information lay over the volume presses; the title and the
    // play state over the title panel.
    EXPECT_TRUE(bar.lblSongInfo->geometry().contains(58, 70));
    EXPECT_TRUE(bar.lblSongInfo->geometry().contains(80, 70));
    EXPECT_TRUE(bar.lblSongTitle->geometry().contains(150, 35));
}

TEST_F(BarLive, TheBarShowsWhatTheSimulatedPlayerPlays)
{
    HttpqSimOptions options;
    options.password = QStringLiteral("pw");
    HttpqSimulator sim(options);
    HttpqPlayerState state = sim.state();
    state.titles = HttpqSimulator::generatedTitles(10);
    state.position = 1;
    state.playState = HttpqPlayerState::Playing;
    state.shuffle = true;
    sim.setState(state);
    ASSERT_TRUE(sim.listen(QHostAddress::LocalHost, 0));

    frm_Quendra &bar = startDirect(sim.serverPort(), 200);
    const QString expectedInfo = SongInfoCaption(HttpqSimulator::titleLengthSeconds(1),
                                                 HttpqSimulator::titleBitrateKbps(1),
                                                 HttpqSimulator::titleSampleRateKhz(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar.lblSongInfo->text() == expectedInfo; }, 5000))
        << bar.lblSongInfo->text().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar.lblStatus->text() == u"Playing"; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar.lblSongTitle->text().startsWith(state.titles.at(1)); }, 5000))
        << bar.lblSongTitle->text().toStdString();
    EXPECT_EQ(bar.lblChannels->text(),
              HttpqSimulator::titleChannels(1) == 1 ? QStringLiteral("mono") : QStringLiteral("stereo"));
    EXPECT_TRUE(bar.picShuffleStatus->isVisible());
    EXPECT_FALSE(bar.picLoopStatus->isVisible());

    // A press on pause reaches the player; the next status tick shows it.
    const QPointF pause = bar.picQuendraDirect->toPixels({30, 47});
    QTest::mousePress(bar.picQuendraDirect, Qt::LeftButton, Qt::NoModifier, pause.toPoint());
    EXPECT_EQ(sim.state().playState, int(HttpqPlayerState::Paused));
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar.lblStatus->text() == u"Paused"; }, 5000));

    // The shuffle mark switches shuffle off.
    QTest::mouseClick(bar.picShuffleStatus, Qt::LeftButton);
    EXPECT_FALSE(sim.state().shuffle);
    EXPECT_FALSE(bar.picShuffleStatus->isVisible());
}

TEST_F(BarLive, EachMarqueeStepLooksLikeALabelOfTheRotatedTitle)
{
    FakeHttpq httpq;
    QString title;
    httpq.answer = [&](const QString &, const QString &url) -> std::optional<QString> {
        return url.contains(u"getcurrenttitle") ? title : QStringLiteral("1");
    };
    frm_Quendra &bar = startDirect(4800, 0);
    bar.timRefreshStatus->setEnabled(false);
    bar.timDisplaySongtitle->setEnabled(false);
    bar.timDisplaySongtitle_Timer();

    // Qt's own label, showing the text the step stands for, where the title is.
    auto *reference = new QLabel(bar.picQuendraDirect);
    reference->setGeometry(bar.lblSongTitle->geometry());
    reference->setFont(bar.lblSongTitle->font());
    reference->setPalette(bar.lblSongTitle->palette());
    reference->setTextFormat(Qt::PlainText);
    reference->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    reference->hide();

    const struct
    {
        const char *name;
        QString title;
        qsizetype steps; // 0: a whole cycle
        bool laidOutOnce;
    } cases[] = {
        // "fi" is one glyph, cut in two by one of the steps; a huge title is
        // laid out on each step, only as far as the label shows it.
        {"ordinary", QStringLiteral("Paco de Lucía - Entre Dos Aguas\r\n(Remastered 2014) fi WAVy"), 0, true},
        {"huge", QString(30000, u'x').replace(1, 5, QStringLiteral("Huge!")), 3, false},
    };
    for (const auto &c : cases) {
        title = c.title;
        bar.timRefreshSongTitle_Timer();
        QString ring = title + QString::fromUtf16(Marquee::kSeparator);
        ring.replace(u'\r', u' ').replace(u'\n', u' ');
        ring.truncate(std::max<qsizetype>(title.size(), 10) + 19);
        const qsizetype steps = c.steps > 0 ? c.steps : ring.size() + 1;
        for (qsizetype rotation = 0; rotation < steps; ++rotation) {
            bar.timDisplaySongtitle_Timer();
            const QImage shown = bar.grab().toImage();
            bar.lblSongTitle->hide();
            reference->setText(ring.mid(rotation) + ring.left(rotation));
            reference->show();
            const QImage expected = bar.grab().toImage();
            reference->hide();
            bar.lblSongTitle->show();
            ASSERT_EQ(shown, expected) << c.name << " step " << rotation;
        }
        EXPECT_EQ(bar.lblSongTitle->laidOutOnce(), c.laidOutOnce) << c.name;
    }
}

} // namespace
