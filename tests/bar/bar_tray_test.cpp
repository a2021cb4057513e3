#include "HttpqSimulator.h"
#include "bar/frm_Quendra.h"
#include "httpq/HttpqClient.h"
#include "platform/FormTimer.h"
#include "platform/PictureBox.h"
#include "platform/notify_icon.h"
#include "playlist/frm_QuendraPlaylist.h"
#include "settings/Settings.h"
#include "settings/iniActions.h"
#include "support/FakeBrowser.h"
#include "support/FakeTransfer.h"
#include "support/MenuDriver.h"
#include "support/Sandbox.h"
#include "systray/frmSystray.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QElapsedTimer>
#include <QTimer>

namespace {

class BarTray : public testing::Test
{
protected:
    // The offscreen platform has no tray host; these tests pretend one.
    BarTray()
    {
        SetNotificationAreaAvailable(true);
        // A menu opened where none was expected fails the test instead of hanging it.
        m_popupGuard.setInterval(3000);
        QObject::connect(&m_popupGuard, &QTimer::timeout, [] {
            if (QWidget *popup = QApplication::activePopupWidget()) {
                ADD_FAILURE() << "an unexpected menu stayed open";
                popup->close();
            }
        });
        m_popupGuard.start();
    }
    ~BarTray() override { SetNotificationAreaAvailable(std::nullopt); }
    void SetUp() override { ASSERT_TRUE(m_settings.isValid()); }
    QString iniPath() const { return m_settings.iniPath(); }
    QByteArray readFile() const { return m_settings.read(); }
    frm_Quendra &start(const QByteArray &settings = "[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nREFRESH=0\r\n")
    {
        m_settings.write(settings);
        frm_Quendra &bar = m_windows.start();
        bar.timRefreshStatus->setEnabled(false);
        bar.timDisplaySongtitle->setEnabled(false);
        return bar;
    }
    frm_QuendraPlaylist &playlist() { return *frm_QuendraPlaylist::instance(); }
    // Ends a drag of the manual kind (no window manager here).
    void releaseMouse()
    {
        if (QWidget *grabber = QWidget::mouseGrabber())
            QTest::mouseRelease(grabber, Qt::LeftButton);
    }

    SettingsSandbox m_settings;
    FakeHttpq m_httpq;
    FakeBrowsers m_browsers;
    TestWindows m_windows;
    const int &m_ends = m_windows.ends;
    QTimer m_popupGuard;
};

TEST_F(BarTray, TheStripsButtonsHaveExclusiveBoundsAndEverythingElseDrags)
{
    frm_Quendra &bar = start();
    const struct
    {
        float x;
        float y;
        qint16 button;
        const char *outcome; // "drag", "hide", "close", "settings", "nothing"
    } presses[] = {
        {100, 100, 1, "settings"}, {100, 100, 2, "settings"}, {75, 100, 1, "drag"}, {150, 100, 1, "drag"},
        {100, 75, 1, "drag"}, {100, 150, 1, "drag"}, {3850, 100, 4, "hide"}, {3825, 100, 1, "drag"},
        {3900, 100, 1, "drag"}, {3945, 100, 1, "drag"}, {3920, 100, 1, "drag"}, {4000, 100, 2, "nothing"},
        {4000, 100, 4, "nothing"}, {2000, 50, 2, "drag"}, {4000, 100, 1, "close"},
    };
    for (const auto &press : presses) {
        bar.show();
        playlist().show();
        bar.TopBar_MouseDown(press.button, 0, press.x, press.y);
        const std::string outcome = press.outcome;
        const bool dragging = QWidget::mouseGrabber() == &bar;
        EXPECT_EQ(dragging, outcome == "drag") << press.x << "," << press.y;
        releaseMouse();
        EXPECT_EQ(bar.isVisible(), outcome != "hide" && outcome != "close") << press.x << "," << press.y;
        EXPECT_EQ(playlist().isVisible(), outcome != "hide" && outcome != "close") << press.x;
        EXPECT_EQ(m_ends, outcome == "close" ? 1 : 0) << press.x << "," << press.y;
    }
}

TEST_F(BarTray, ARightClickOnTheIconOpensTheSevenItemMenuAndCloseEndsTheProgram)
{
    frm_Quendra &bar = start();
    frmSystray *tray = bar.my_frmSysTray;
    ASSERT_NE(tray, nullptr);
    EXPECT_EQ(tray->ToolTip(), u"ZadAda Doruziz");
    EXPECT_EQ(NotifyIconCount(), 1);
    const QStringList captions = {QStringLiteral("&Quendra"), QStringLiteral("-"), QStringLiteral("Playlist"),
                                  QStringLiteral("-"), QStringLiteral("&Settings"), QStringLiteral("-"),
                                  QStringLiteral("&Close")};
    const QStringList keys = {QStringLiteral("open"), QString(), QStringLiteral("playlist"), QString(),
                              QStringLiteral("Settings"), QString(), QStringLiteral("close")};
    ASSERT_EQ(tray->menuItemCount(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(tray->menuCaption(i), captions[i]) << i;
        EXPECT_EQ(tray->menuKey(i), keys[i]) << i;
    }
    EXPECT_EQ(tray->DefaultMenuIndex(), 0);

    bar.move(20, 40);
    QFile::remove(iniPath());
    QStringList shown;
    QList<bool> separators;
    const QAction *defaultItem = nullptr;
    const NOTIFYICONDATAA nid = tray->notifyIconData();
    WithMenu([&] { SendNotifyIconEvent(nid.hWnd, nid.uID, QSystemTrayIcon::Context); },
             [&](QMenu *menu) {
                 for (const QAction *action : menu->actions()) {
                     shown.append(action->text());
                     separators.append(action->isSeparator());
                 }
                 defaultItem = menu->defaultAction();
                 ASSERT_FALSE(menu->actions().isEmpty());
                 EXPECT_EQ(defaultItem, menu->actions().first());
                 ChooseMenuItem(menu, QStringLiteral("&Close"));
             });
    // Separators are drawn as lines only: a text beside the line would show.
    EXPECT_EQ(shown, QStringList({QStringLiteral("&Quendra"), QString(), QStringLiteral("Playlist"), QString(),
                                  QStringLiteral("&Settings"), QString(), QStringLiteral("&Close")}));
    EXPECT_EQ(separators, QList<bool>({false, true, false, true, false, true, false}));
    EXPECT_EQ(m_ends, 1);
    EXPECT_TRUE(readFile().contains("[WINAMP]\r\nURL=http://www.quendra.example/live/logo.vesk\r\nHEIGHT=1995\r\n"
                                    "BAR_HEIGHT=225\r\nX_STARTUP_POSITION=300\r\nY_STARTUP_POSITION=600\r\n"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(NotifyIconCount(), 0);
}

TEST_F(BarTray, MenuKeysAreMatchedExactly)
{
    frm_Quendra &bar = start();
    bar.HideAllWindows();
    EXPECT_FALSE(bar.isVisible());
    EXPECT_FALSE(playlist().isVisible());
    EXPECT_EQ(gPlaylistVisible, 1);

    bar.my_frmSysTray_MenuClick(0, QStringLiteral("open"));
    EXPECT_TRUE(bar.isVisible());
    EXPECT_FALSE(playlist().isVisible());

    for (const char *key : {"Open", "CLOSE", "settings", "", "unknown"})
        bar.my_frmSysTray_MenuClick(3, QString::fromLatin1(key));
    EXPECT_EQ(m_ends, 0);
    EXPECT_EQ(gPlaylistVisible, 1);

    bar.my_frmSysTray_MenuClick(99, QStringLiteral("playlist"));
    EXPECT_EQ(gPlaylistVisible, 0);
    bar.my_frmSysTray_MenuClick(4, QStringLiteral("Settings"));
    EXPECT_EQ(m_ends, 0);
    bar.my_frmSysTray_MenuClick(6, QStringLiteral("close"));
    EXPECT_EQ(m_ends, 1);
}

TEST_F(BarTray, ALeftClickOnTheIconBringsBothWindowsBack)
{
    frm_Quendra &bar = start("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\n[PLAYLIST]\r\nVISIBLE=0\r\n");
    EXPECT_FALSE(playlist().isVisible());
    bar.HideAllWindows();
    SendNotifyIconEvent(bar.my_frmSysTray->notifyIconData().hWnd, bar.my_frmSysTray->notifyIconData().uID,
                        QSystemTrayIcon::Trigger);
    EXPECT_TRUE(bar.isVisible());
    // Shown even while switched off; the flag and the mark stay as they were.
    EXPECT_TRUE(playlist().isVisible());
    EXPECT_EQ(gPlaylistVisible, 0);
    EXPECT_FALSE(bar.picPlayListStatus->isVisible());

    bar.TogglePlaylist();
    EXPECT_EQ(gPlaylistVisible, 1);
    EXPECT_TRUE(playlist().isVisible());
    EXPECT_TRUE(bar.picPlayListStatus->isVisible());
}

TEST_F(BarTray, HidingNeedsATrayHostAndItsLossBringsTheWindowsBack)
{
    frm_Quendra &bar = start();
    SetNotificationAreaAvailable(false);
    bar.HideAllWindows();
    EXPECT_TRUE(bar.isVisible());
    EXPECT_TRUE(playlist().isVisible());

    // A switched-off playlist stays off when the windows come back.
    bar.TogglePlaylist();
    SetNotificationAreaAvailable(true);
    bar.HideAllWindows();
    EXPECT_FALSE(bar.isVisible());
    SetNotificationAreaAvailable(false);
    EXPECT_TRUE(QTest::qWaitFor([&bar] { return bar.isVisible(); }, 5000));
    EXPECT_FALSE(playlist().isVisible());
    EXPECT_EQ(gPlaylistVisible, 0);
}

TEST_F(BarTray, TogglingTwiceReturnsAndWritesEachTime)
{
    frm_Quendra &bar = start();
    QFile::remove(iniPath());
    bar.TogglePlaylist();
    EXPECT_EQ(readFile(), "[PLAYLIST]\r\nVISIBLE=0\r\nHEIGHT=1995\r\n");
    EXPECT_FALSE(playlist().isVisible());
    EXPECT_FALSE(bar.picPlayListStatus->isVisible());
    // The mark and the face's playlist spot toggle the same way.
    bar.picQuendraDirect_MouseDown(Qt::LeftButton, 110, 47);
    EXPECT_EQ(readFile(), "[PLAYLIST]\r\nVISIBLE=1\r\nHEIGHT=1995\r\n");
    EXPECT_TRUE(playlist().isVisible());
    EXPECT_TRUE(bar.picPlayListStatus->isVisible());
    bar.picPlayListStatus_Click();
    EXPECT_EQ(gPlaylistVisible, 0);
    // Nothing went to the player (the playlist window's own fetch aside).
    for (const Exchange &exchange : std::as_const(m_httpq.log))
        EXPECT_EQ(exchange.channel, u"inetPlayList");
}

TEST_F(BarTray, CloseSavesEveryKeyWithBothPositionsAndRemovesTheIcon)
{
    frm_Quendra &bar = start("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nREFRESH=0\r\nHTTPQ_SERVER=10.1.1.1\r\n");
    bar.move(20, 40);
    playlist().move(300, 200);
    gHttpqPasswd = QStringLiteral("typed after start");
    QFile::remove(iniPath());
    bar.CloseApplication();

    EXPECT_EQ(m_ends, 1);
    EXPECT_EQ(readFile(), "[WINAMP]\r\nURL=http://www.quendra.example/live/logo.vesk\r\nHEIGHT=1995\r\n"
                          "BAR_HEIGHT=225\r\nX_STARTUP_POSITION=300\r\nY_STARTUP_POSITION=600\r\n"
                          "[PLAYLIST]\r\nURL=http://www.quendra.example/live/install.vesk\r\nHEIGHT=1995\r\n"
                          "BAR_HEIGHT=500\r\nVISIBLE=1\r\nX_STARTUP_POSITION=4500\r\nY_STARTUP_POSITION=3000\r\n"
                          "[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nPROXY=DEFAULT\r\nREFRESH=0\r\n"
                          "HTTPQ_PASSWD=typed after start\r\nHTTPQ_PORT=4800\r\nHTTPQ_SERVER=10.1.1.1\r\n");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(NotifyIconCount(), 0);
    EXPECT_EQ(bar.my_frmSysTray, nullptr);
    EXPECT_FALSE(bar.isVisible());
    EXPECT_FALSE(playlist().isVisible());
    EXPECT_FALSE(bar.timRefreshSongTitle->isEnabled());
    EXPECT_FALSE(bar.timRefreshStatus->isEnabled());
    EXPECT_FALSE(bar.timDisplaySongtitle->isEnabled());
}

TEST_F(BarTray, CloseWhileAPollWaitsOnAStalledServer)
{
    HttpqSimOptions options;
    options.fault = HttpqSimOptions::Fault::Stall;
    HttpqSimulator sim(options);
    ASSERT_TRUE(sim.listen(QHostAddress::LocalHost, 0));
    QList<QByteArray> requests;
    QObject::connect(&sim, &HttpqSimulator::requestReceived,
                     [&](const QByteArray &line) { requests.append(line.split(' ').value(1)); });
    SetInetTransferFactory({});
    frm_Quendra &bar = start("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nREFRESH=0\r\nHTTPQ_SERVER=127.0.0.1\r\nHTTPQ_PORT="
                             + QByteArray::number(sim.serverPort()) + "\r\n");
    QFile::remove(iniPath());
    QTimer::singleShot(100, &bar, [&bar] { bar.CloseApplication(); });
    QElapsedTimer clock;
    clock.start();
    bar.timRefreshSongTitle_Timer();
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(m_ends, 1);
    EXPECT_FALSE(bar.NetworkConnection->IsBusy());
    // The settings were on disk, complete, before the program ended.
    EXPECT_TRUE(readFile().endsWith("HTTPQ_SERVER=127.0.0.1\r\n"));
    // Nothing after the title request was sent (the playlist's fetch aside).
    requests.removeAll("/getplaylisttitle?p=");
    EXPECT_EQ(requests, QList<QByteArray>{"/getcurrenttitle?p="});
}

} // namespace
