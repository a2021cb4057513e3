#include "bar/frm_Quendra.h"
#include "platform/FormTimer.h"
#include "platform/PictureBox.h"
#include "playlist/frm_QuendraPlaylist.h"
#include "settings/Settings.h"
#include "settings/iniActions.h"
#include "support/FakeBrowser.h"
#include "support/FakeTransfer.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

class BarStartup : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_settings.isValid()); }
    void writeSettings(const QByteArray &bytes) { m_settings.write(bytes); }
    frm_Quendra &start() { return m_windows.start(); }

    SettingsSandbox m_settings;
    FakeHttpq m_httpq;
    FakeBrowsers m_browsers;
    TestWindows m_windows;
};

TEST_F(BarStartup, WithoutSettingsTheBarShowsTheControlPageAndDoesNotPoll)
{
    frm_Quendra &bar = start();

    EXPECT_TRUE(bar.isVisible());
    EXPECT_EQ(bar.geometry(), QRect(0, 0, 275, 133));
    EXPECT_TRUE(bar.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(bar.windowTitle(), u"Quendra");
    EXPECT_FALSE(bar.picQuendraDirect->isVisible());
    EXPECT_TRUE(bar.TopBar->isVisible());

    // The bar's browser, then the playlist window's.
    ASSERT_EQ(m_browsers.created.size(), 2);
    FakeBrowser *browser = m_browsers.created.at(0);
    EXPECT_EQ(bar.QuendraWebbrowser, browser);
    EXPECT_TRUE(browser->isVisible());
    EXPECT_EQ(browser->geometry(), QRect(0, 15, 275, 118));
    EXPECT_EQ(browser->navigations, QStringList{QString::fromUtf16(kDefaultControlUrl)});

    EXPECT_FALSE(bar.timRefreshSongTitle->isEnabled());
    EXPECT_EQ(bar.timRefreshSongTitle->interval(), 3000);
    EXPECT_FALSE(bar.timDisplaySongtitle->isEnabled());
    EXPECT_EQ(bar.timDisplaySongtitle->interval(), 125);
    EXPECT_TRUE(bar.timRefreshStatus->isEnabled());
    EXPECT_EQ(bar.timRefreshStatus->interval(), 0);
    EXPECT_FALSE(bar.timRefreshStatus->isTicking());
    EXPECT_FALSE(bar.picPlayListStatus->isVisible());

    frm_QuendraPlaylist *playlist = frm_QuendraPlaylist::existing();
    ASSERT_NE(playlist, nullptr);
    EXPECT_TRUE(playlist->isVisible());
    EXPECT_EQ(playlist->positionTwips(), QPoint(0, 1995));
    EXPECT_EQ(m_browsers.created.at(1)->navigations, QStringList{QString::fromUtf16(kDefaultPlaylistUrl)});

    EXPECT_EQ(bar.Line1[0], QLine(0, 0, 0, 1975));
    EXPECT_EQ(bar.Line1[1], QLine(4115, 0, 4115, 1975));
    EXPECT_EQ(bar.Line1[2], QLine(0, 1975, 4115, 1975));

    QTest::qWait(50);
    EXPECT_TRUE(m_httpq.log.isEmpty());
    // The playlist window's set-up stores its state; nothing else is written.
    QFile file(gIniPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "[PLAYLIST]\r\nVISIBLE=1\r\nHEIGHT=1995\r\n");
}

TEST_F(BarStartup, DirectModeShowsTheFaceAndStartsTheThreeTimers)
{
    writeSettings("[WINAMP]\r\nX_STARTUP_POSITION=1500\r\nY_STARTUP_POSITION=3000\r\n"
                  "[PLAYLIST]\r\nX_STARTUP_POSITION=1500\r\nY_STARTUP_POSITION=4995\r\n"
                  "[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nREFRESH=1000\r\n");
    frm_Quendra &bar = start();

    EXPECT_TRUE(m_browsers.created.isEmpty());
    EXPECT_EQ(bar.QuendraWebbrowser, nullptr);
    EXPECT_EQ(bar.geometry(), QRect(100, 200, 275, 133));
    EXPECT_EQ(bar.positionTwips(), QPoint(1500, 3000));
    EXPECT_TRUE(bar.picQuendraDirect->isVisible());
    EXPECT_EQ(bar.picQuendraDirect->geometry(), QRect(0, 0, 275, 133));
    EXPECT_EQ(bar.picQuendraDirect->scaleWidth(), 120);
    EXPECT_EQ(bar.picQuendraDirect->scaleHeight(), 60);

    EXPECT_EQ(bar.timRefreshSongTitle->interval(), 1000);
    EXPECT_TRUE(bar.timRefreshSongTitle->isTicking());
    EXPECT_EQ(bar.timRefreshStatus->interval(), 1100);
    EXPECT_TRUE(bar.timRefreshStatus->isTicking());
    EXPECT_EQ(bar.timDisplaySongtitle->interval(), 125);
    EXPECT_TRUE(bar.timDisplaySongtitle->isTicking());

    // Marks over the face's spots, labels on its panel in its own units.
    EXPECT_EQ(bar.picShuffleStatus->geometry(), QRect(170, 95, 28, 18));
    EXPECT_EQ(bar.picLoopStatus->geometry(), QRect(203, 95, 28, 18));
    EXPECT_EQ(bar.picPlayListStatus->geometry(), QRect(236, 95, 28, 18));
    EXPECT_TRUE(bar.picPlayListStatus->isVisible());
    EXPECT_FALSE(bar.picShuffleStatus->isVisible());
    EXPECT_EQ(bar.lblSongTitle->pos(), QPoint(103, 30));
    EXPECT_EQ(bar.lblSongTitle->width(), 1146);
    EXPECT_EQ(bar.lblStatus->geometry().topLeft(), QPoint(34, 30));
    EXPECT_EQ(bar.lblSongInfo->pos(), QPoint(7, 64));
    EXPECT_EQ(bar.lblChannels->pos(), QPoint(206, 64));
    EXPECT_EQ(bar.lblSongTitle->text(), u"No title available yet...     ");
    EXPECT_EQ(bar.lblStatus->text(), u"Unknown");
    EXPECT_EQ(bar.lblSongInfo->text(), u"no songinfo");
    EXPECT_EQ(bar.lblChannels->text(), u"stereo");
    EXPECT_TRUE(bar.lblSongTitle->font().bold());
    EXPECT_EQ(bar.lblSongTitle->font().family(), u"MS PGothic");

    // The strip lies over everything; the marks over the face.
    const QObjectList &children = bar.children();
    EXPECT_GT(children.indexOf(bar.TopBar), children.indexOf(bar.picPlayListStatus));
    EXPECT_GT(children.indexOf(bar.picShuffleStatus), children.indexOf(bar.picQuendraDirect));
    EXPECT_EQ(bar.childAt(5 + 2, 5 + 2), bar.TopBar);
    EXPECT_EQ(bar.childAt(240, 100), bar.picPlayListStatus);
    EXPECT_EQ(bar.childAt(120, 35), bar.picQuendraDirect);

    frm_QuendraPlaylist *playlist = frm_QuendraPlaylist::existing();
    ASSERT_NE(playlist, nullptr);
    EXPECT_TRUE(playlist->isVisible());
    EXPECT_EQ(playlist->positionTwips(), QPoint(1500, 4995));
}

TEST_F(BarStartup, PlaylistVisibilityAndItsMarkFollowTheStoredValue)
{
    const struct
    {
        const char *visible;
        bool windowShown;
        bool markShown;
    } cases[] = {{"0", false, false}, {"1", true, true}, {"2", true, false}, {"-1", true, false}};
    for (const auto &c : cases) {
        writeSettings(QByteArray("[PLAYLIST]\nVISIBLE=") + c.visible + "\n[HTTPQ]\nQUENDRA_TYPE=DIRECT\n");
        frm_Quendra &bar = start();
        frm_QuendraPlaylist *playlist = frm_QuendraPlaylist::existing();
        ASSERT_NE(playlist, nullptr) << c.visible;
        EXPECT_EQ(playlist->isVisible(), c.windowShown) << c.visible;
        EXPECT_EQ(bar.picPlayListStatus->isVisible(), c.markShown) << c.visible;
        m_windows.close();
    }
}

TEST_F(BarStartup, RefreshValuesNoTimerCanTakeStillStartTheBar)
{
    const struct
    {
        const char *refresh;
        int titleInterval;
        bool titleTicking;
        int statusInterval;
    } cases[] = {
        {"0", 0, false, 100},
        {"250", 250, true, 350},
        {"32667", 32667, true, 32767},
        {"32668", 32668, true, 32767},
        {"99999", 32767, true, 32767},
        {"-5", 1000, true, 1100},
    };
    for (const auto &c : cases) {
        writeSettings(QByteArray("[HTTPQ]\nQUENDRA_TYPE=DIRECT\nREFRESH=") + c.refresh + "\n");
        frm_Quendra &bar = start();
        EXPECT_EQ(bar.timRefreshSongTitle->interval(), c.titleInterval) << c.refresh;
        EXPECT_EQ(bar.timRefreshSongTitle->isTicking(), c.titleTicking) << c.refresh;
        EXPECT_EQ(bar.timRefreshStatus->interval(), c.statusInterval) << c.refresh;
        EXPECT_TRUE(bar.timRefreshStatus->isTicking()) << c.refresh;
        m_windows.close();
    }
}

TEST_F(BarStartup, HeightsFromTheFileSizeTheBarAndItsLines)
{
    writeSettings("[WINAMP]\nHEIGHT=3000\n[HTTPQ]\nQUENDRA_TYPE=DIRECT\n");
    frm_Quendra &bar = start();
    EXPECT_EQ(bar.size(), QSize(275, 200));
    EXPECT_EQ(bar.picQuendraDirect->size(), QSize(275, 200));
    EXPECT_EQ(bar.Line1[2], QLine(0, 2980, 4115, 2980));
    // The labels follow the face's scale.
    EXPECT_EQ(bar.lblSongInfo->pos(), QPoint(7, 97));
    m_windows.close();

    for (const char *height : {"abc", "-32768", "0"}) {
        writeSettings(QByteArray("[WINAMP]\nHEIGHT=") + height + "\n");
        frm_Quendra &broken = start();
        EXPECT_TRUE(broken.isVisible()) << height;
        EXPECT_EQ(broken.width(), 275) << height;
        m_windows.close();
    }
    EXPECT_EQ(gWinampHeight, 0);
}

} // namespace
