#include "platform/widgets/picturebox.h"
#include "support/sandbox.h"

namespace {

// The bar as the program starts it, from the settings file as it is.
using BarStartup = WindowTest;

TEST_F(BarStartup, WithoutSettingsBothWindowsShowTheirPagesAndOnlyThePlaylistPolls)
{
    frm_Quendra &bar = m_windows.start();
    EXPECT_FALSE(bar.picQuendraDirect->isVisible());
    EXPECT_FALSE(bar.timRefreshSongTitle->isTicking());
    EXPECT_FALSE(bar.timRefreshStatus->isTicking());
    // The bar's browser, then the playlist window's.
    ASSERT_EQ(m_browsers.created.size(), 2);
    EXPECT_EQ(m_browsers.created.at(0)->geometry(), QRect(0, 15, 275, 118));
    EXPECT_EQ(m_browsers.created.at(0)->navigations, QStringList{QString::fromUtf16(kDefaultControlUrl)});
    EXPECT_EQ(m_browsers.created.at(1)->navigations, QStringList{QString::fromUtf16(kDefaultPlaylistUrl)});
    frm_QuendraPlaylist &window = playlist();
    EXPECT_EQ(window.childAt(100, 125), window.picBottom);
    // The playlist window's set-up stores its state; nothing else is written.
    EXPECT_EQ(m_settings.read(), "[PLAYLIST]\r\nVISIBLE=1\r\nHEIGHT=1995\r\n");

    // The hidden list is filled all the same, from the sixth tick on.
    for (int tick = 0; tick < 5; ++tick)
        window.timPlaylistRefresh_Timer();
    EXPECT_TRUE(m_httpq.log.isEmpty());
    EXPECT_EQ(window.timPlaylistRefresh->interval(), 1000);
    window.timPlaylistRefresh_Timer();
    ASSERT_EQ(m_httpq.log.size(), 1);
    EXPECT_EQ(command(m_httpq.log.at(0).url), u"/getplaylisttitle?p=");
    EXPECT_EQ(window.timPlaylistRefresh->interval(), 60000);
}

// The title poll takes the refresh value, the status poll 100 ms more, in 16
// bits: at the start a negative value falls back to 1000 and the status
// period stops at the top; on a tick a sum past the top leaves it as it was.
TEST_F(BarStartup, PollPeriodsFollowTheRefreshValueInSixteenBits)
{
    const std::tuple<const char *, int, int, int, int> cases[] = {
        {"0", 0, 100, 0, 100},
        {"250", 250, 350, 250, 350},
        {"32667", 32667, 32767, 32667, 32767},
        {"32668", 32668, 32767, 32668, 32767},
        {"99999", 32767, 32767, 32767, 32767},
        {"-50", 1000, 1100, 1000, 50},
    };
    for (const auto &[refresh, title, status, titleAfterTick, statusAfterTick] : cases) {
        frm_Quendra &bar = startFrom(QByteArray("[HTTPQ]\nQUENDRA_TYPE=DIRECT\nREFRESH=") + refresh + "\n");
        EXPECT_EQ(bar.timRefreshSongTitle->interval(), title) << refresh;
        EXPECT_EQ(bar.timRefreshSongTitle->isTicking(), title > 0) << refresh;
        EXPECT_EQ(bar.timRefreshStatus->interval(), status) << refresh;
        EXPECT_TRUE(bar.timRefreshStatus->isTicking()) << refresh;
        awaitTask(bar.timRefreshSongTitle_Timer());
        EXPECT_EQ(bar.timRefreshSongTitle->interval(), titleAfterTick) << refresh;
        EXPECT_EQ(bar.timRefreshStatus->interval(), statusAfterTick) << refresh;
    }
    // A refresh typed while it runs takes effect at the next tick.
    gRefresh = 32667;
    awaitTask(m_windows.bar->timRefreshSongTitle_Timer());
    EXPECT_EQ(m_windows.bar->timRefreshStatus->interval(), 32767);
}

TEST_F(BarStartup, TheFaceScalesWithTheStoredHeightAndThePlaylistShowsAsStored)
{
    frm_Quendra &bar = startFrom("[WINAMP]\nHEIGHT=3000\n[PLAYLIST]\nVISIBLE=1\n[HTTPQ]\nQUENDRA_TYPE=DIRECT\n");
    EXPECT_EQ(bar.size(), QSize(275, 200));
    EXPECT_EQ(bar.picQuendraDirect->size(), QSize(275, 200));
    // The labels in the face's units; the marks where the twips put them,
    // over the face; the strip over everything.
    EXPECT_EQ(bar.lblSongTitle->pos(), QPoint(103, 45));
    EXPECT_EQ(bar.lblSongInfo->pos(), QPoint(7, 97));
    EXPECT_EQ(bar.picShuffleStatus->geometry(), QRect(170, 95, 28, 18));
    EXPECT_EQ(bar.childAt(240, 100), bar.picPlayListStatus);
    EXPECT_EQ(bar.childAt(7, 7), bar.TopBar);

    // A broken height keeps the usual width. The playlist window shows for
    // any stored value but 0, its mark only for 1.
    const std::pair<const char *, QByteArray> starts[] = {{"abc", "0"}, {"-32768", "1"}, {"0", "2"}, {"0", "-1"}};
    for (const auto &[height, visible] : starts) {
        const frm_Quendra &broken = startFrom(QByteArray("[WINAMP]\nHEIGHT=") + height + "\n[PLAYLIST]\nVISIBLE="
                                              + visible + "\n[HTTPQ]\nQUENDRA_TYPE=DIRECT\n");
        EXPECT_TRUE(broken.isVisible()) << height;
        EXPECT_EQ(broken.width(), 275) << height;
        EXPECT_EQ(playlist().isVisible(), visible != "0") << visible.constData();
        EXPECT_EQ(broken.picPlayListStatus->isVisible(), visible == "1") << visible.constData();
    }
    EXPECT_EQ(gWinampHeight, 0);
}

} // namespace
