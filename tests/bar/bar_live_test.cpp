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

TEST_F(BarLive, RealMousePressesOnTheFaceAndItsLabels)
{
    FakeHttpq httpq;
    frm_Quendra &bar = startDirect(4800, 0);
    ASSERT_NE(bar.windowHandle(), nullptr);
    bar.timRefreshStatus->setEnabled(false);
    bar.timDisplaySongtitle->setEnabled(false);
    ASSERT_EQ(bar.picQuendraDirect->size(), QSize(275, 133));

    // Pixels of the 275 x 133 face; a unit is 275/120 px wide and 133/60 px high.
    const struct
    {
        QPoint pixel;
        Qt::MouseButton button;
        const char *command; // nullptr: nothing is sent
    } presses[] = {
        {{23, 100}, Qt::LeftButton, "/prev?p=pw"},
        {{34, 100}, Qt::LeftButton, "/prev?p=pw"}, // 14.8 units
        {{35, 100}, Qt::RightButton, "/play?p=pw"}, // 15.3 units
        {{23, 95}, Qt::LeftButton, nullptr}, // 42.9 units high: the row above
        {{23, 96}, Qt::LeftButton, "/prev?p=pw"},
        {{137, 100}, Qt::MiddleButton, "/next?p=pw"},
        {{206, 100}, Qt::LeftButton, nullptr}, // 89.9 units: the gap before LOOP
        {{229, 100}, Qt::LeftButton, "/repeat?p=pw&a=1"},
        // Under the song information label: the press reaches the face.
        {{62, 66}, Qt::LeftButton, "/volumedown?p=pw"},
        {{76, 66}, Qt::LeftButton, "/volumeup?p=pw"},
    };
    for (const auto &press : presses) {
        httpq.log.clear();
        // Through the window, so that Qt finds the widget under the pointer.
        QTest::mousePress(bar.windowHandle(), press.button, Qt::NoModifier, press.pixel);
        QTest::mouseRelease(bar.windowHandle(), press.button, Qt::NoModifier, press.pixel);
        if (!press.command) {
            EXPECT_TRUE(httpq.log.isEmpty()) << press.pixel.x() << "," << press.pixel.y();
            continue;
        }
        ASSERT_FALSE(httpq.log.isEmpty()) << press.pixel.x() << "," << press.pixel.y();
        EXPECT_EQ(httpq.log.at(0),
                  (Exchange{QStringLiteral("NetworkConnection"),
                            QStringLiteral("http://127.0.0.1:4800") + QString::fromLatin1(press.command)}));
    }
    // The label lay over those last presses.
    EXPECT_TRUE(bar.lblSongInfo->geometry().contains(62, 66));
    EXPECT_TRUE(bar.lblSongInfo->geometry().contains(76, 66));
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
