#include "frmsystray.h"
#include "httpqclient.h"
#include "httpqsimulator.h"
#include "picturebox.h"
#include "support/sandbox.h"

#include <QElapsedTimer>
#include <QMenu>
#include <QTest>
#include <QTimer>

namespace {

using namespace Qt::StringLiterals;

// The strip's buttons, the tray icon and its menu, and closing. The desktop
// test does the same with the pointer; these keep the precise rules.
class BarTray : public WindowTest
{
protected:
    // The offscreen platform has no tray host; these tests pretend one.
    BarTray()
    {
        frmSystray::setNotificationAreaAvailable(true);
        // A menu left open fails the test instead of hanging it.
        m_popupGuard.setInterval(3000);
        QObject::connect(&m_popupGuard, &QTimer::timeout, [] {
            if (QWidget *popup = QApplication::activePopupWidget()) {
                ADD_FAILURE() << "a menu stayed open";
                popup->close();
            }
        });
        m_popupGuard.start();
    }
    ~BarTray() override { frmSystray::setNotificationAreaAvailable(std::nullopt); }
    void clickIcon(QSystemTrayIcon::ActivationReason reason) { m_windows.bar->my_frmSysTray->iconActivated(reason); }
    // A right click on the icon; `act` works the menu from its own loop.
    void withMenu(const std::function<void(QMenu *)> &act)
    {
        QTimer actor;
        actor.setSingleShot(true);
        QObject::connect(&actor, &QTimer::timeout, [&act] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            act(menu);
        });
        actor.start(0);
        clickIcon(QSystemTrayIcon::Context);
    }
    // Chooses the item with that text as a user does, with the keyboard.
    void choose(const QString &item)
    {
        withMenu([&item](QMenu *menu) {
            for (QAction *action : menu->actions()) {
                if (action->text() == item)
                    menu->setActiveAction(action);
            }
            ASSERT_TRUE(menu->activeAction() && menu->activeAction()->text() == item) << item.toStdString();
            QTest::keyClick(menu, Qt::Key_Return);
        });
    }

    QTimer m_popupGuard;
};

TEST_F(BarTray, TheStripsButtonsHaveExclusiveBoundsAndEverythingElseDrags)
{
    frm_Quendra &bar = start();
    const struct
    {
        float x, y;
        qint16 button;
        const char *outcome; // "drag", "hide", "close", "settings", "nothing"
    } presses[] = {
        {100, 100, 1, "settings"}, {100, 100, 2, "settings"}, {75, 100, 1, "drag"},    {150, 100, 1, "drag"},
        {100, 75, 1, "drag"},      {100, 150, 1, "drag"},     {3850, 100, 4, "hide"},  {3825, 100, 1, "drag"},
        {3900, 100, 1, "drag"},    {3945, 100, 1, "drag"},    {3920, 100, 1, "drag"},  {4000, 100, 2, "nothing"},
        {4000, 100, 4, "nothing"}, {2000, 50, 2, "drag"},     {4000, 100, 1, "close"},
    };
    for (const auto &press : presses) {
        bar.show();
        playlist().show();
        bar.TopBar_MouseDown(press.button, 0, press.x, press.y);
        const std::string outcome = press.outcome;
        // Without a window manager the bar follows the pointer itself.
        EXPECT_EQ(QWidget::mouseGrabber() == &bar, outcome == "drag") << press.x << "," << press.y;
        if (QWidget *grabber = QWidget::mouseGrabber())
            QTest::mouseRelease(grabber, Qt::LeftButton);
        EXPECT_EQ(bar.isVisible(), outcome != "hide" && outcome != "close") << press.x << "," << press.y;
        EXPECT_EQ(m_windows.ends, outcome == "close" ? 1 : 0) << press.x << "," << press.y;
    }
}

TEST_F(BarTray, TheIconsMenuHasSevenItemsThatEachDoTheirJob)
{
    frm_Quendra &bar = start();
    EXPECT_EQ(bar.my_frmSysTray->ToolTip(), u"ZadAda Doruziz");
    const QPointer<QSystemTrayIcon> icon = bar.my_frmSysTray->trayIcon();
    ASSERT_NE(icon, nullptr);
    EXPECT_TRUE(icon->isVisible());
    EXPECT_EQ(icon->toolTip(), u"ZadAda Doruziz");
    // Separators are drawn as lines only: a text beside the line would show.
    QStringList shown;
    withMenu([&shown](QMenu *menu) {
        for (const QAction *action : menu->actions())
            shown.append(action->isSeparator() ? u"-"_s + action->text() : action->text());
        EXPECT_EQ(menu->defaultAction(), menu->actions().value(0));
        menu->close();
    });
    EXPECT_EQ(shown, QStringList({u"&Quendra"_s, u"-"_s, u"Playlist"_s, u"-"_s, u"&Settings"_s, u"-"_s, u"&Close"_s}));

    bar.HideAllWindows();
    choose(u"&Quendra"_s);
    EXPECT_TRUE(bar.isVisible());
    EXPECT_FALSE(playlist().isVisible());
    choose(u"Playlist"_s);
    EXPECT_EQ(gPlaylistVisible, 0);
    choose(u"Playlist"_s);
    EXPECT_TRUE(playlist().isVisible());
    choose(u"&Settings"_s);
    ASSERT_NE(frmSettings::existing(), nullptr);
    EXPECT_TRUE(frmSettings::existing()->isVisible());
    EXPECT_EQ(m_windows.ends, 0);
    choose(u"&Close"_s);
    EXPECT_EQ(m_windows.ends, 1);
    EXPECT_TRUE(icon.isNull() || !icon->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(icon.isNull());
}

// A switched-off playlist window is stored at once, comes back with a click
// on the icon all the same, and stays off when the tray host goes away.
TEST_F(BarTray, ASwitchedOffPlaylistComesBackOnlyByTheIcon)
{
    frm_Quendra &bar = start();
    QFile::remove(m_settings.iniPath());
    bar.TogglePlaylist();
    EXPECT_EQ(m_settings.read(), "[PLAYLIST]\r\nVISIBLE=0\r\nHEIGHT=1995\r\n");
    bar.HideAllWindows();
    clickIcon(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(bar.isVisible());
    EXPECT_TRUE(playlist().isVisible());
    EXPECT_EQ(gPlaylistVisible, 0);
    EXPECT_FALSE(bar.picPlayListStatus->isVisible());

    bar.HideAllWindows();
    frmSystray::setNotificationAreaAvailable(false);
    EXPECT_TRUE(QTest::qWaitFor([&bar] { return bar.isVisible(); }, 5000));
    EXPECT_FALSE(playlist().isVisible());

    awaitTask(bar.picQuendraDirect_MouseDown(Qt::LeftButton, 110, 47));
    EXPECT_EQ(m_settings.read(), "[PLAYLIST]\r\nVISIBLE=1\r\nHEIGHT=1995\r\n");
    EXPECT_TRUE(playlist().isVisible());
    EXPECT_TRUE(bar.picPlayListStatus->isVisible());
}

TEST_F(BarTray, CloseSavesEveryKeyWithBothPositionsAndStopsEverything)
{
    frm_Quendra &bar = start("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nREFRESH=0\r\nHTTPQ_SERVER=10.1.1.1\r\n");
    // The playlist was dragged away from the bar.
    gPlaylistDocked = 0;
    bar.move(20, 40);
    playlist().move(300, 200);
    ASSERT_TRUE(playlist().inetPlayList->IsBusy());
    gHttpqPasswd = u"typed after start"_s;
    QFile::remove(m_settings.iniPath());
    const QPointer<QSystemTrayIcon> icon = bar.my_frmSysTray->trayIcon();
    ASSERT_TRUE(icon && icon->isVisible());
    // Every timer runs, as in the program (the fixture stops two of them).
    bar.timRefreshStatus->setEnabled(true);
    bar.timDisplaySongtitle->setEnabled(true);
    bar.CloseApplication();

    EXPECT_EQ(m_windows.ends, 1);
    EXPECT_EQ(m_settings.read(),
              "[WINAMP]\r\nURL=http://www.quendra.example/live/logo.vesk\r\nHEIGHT=1995\r\n"
              "BAR_HEIGHT=225\r\nX_STARTUP_POSITION=300\r\nY_STARTUP_POSITION=600\r\n"
              "[PLAYLIST]\r\nURL=http://www.quendra.example/live/install.vesk\r\nHEIGHT=1995\r\n"
              "BAR_HEIGHT=500\r\nVISIBLE=1\r\nX_STARTUP_POSITION=4500\r\nY_STARTUP_POSITION=3000\r\n"
              "[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nPROXY=DEFAULT\r\nREFRESH=0\r\n"
              "HTTPQ_PASSWD=typed after start\r\nHTTPQ_PORT=4800\r\nHTTPQ_SERVER=10.1.1.1\r\n");
    EXPECT_TRUE(icon.isNull() || !icon->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(icon.isNull());
    EXPECT_FALSE(bar.isVisible());
    EXPECT_FALSE(playlist().isVisible());
    for (FormTimer *timer :
         {bar.timRefreshSongTitle, bar.timRefreshStatus, bar.timDisplaySongtitle, playlist().timPlaylistRefresh})
        EXPECT_FALSE(timer->isEnabled());
    EXPECT_FALSE(playlist().inetPlayList->IsBusy());
}

TEST_F(BarTray, CloseWhileAPollWaitsOnAStalledServer)
{
    HttpqSimulator sim(HttpqSimOptions{.password = {}, .fault = HttpqSimOptions::Fault::Stall});
    ASSERT_TRUE(sim.listen(QHostAddress::LocalHost, 0));
    QList<QByteArray> requests;
    QObject::connect(&sim, &HttpqSimulator::requestReceived,
                     [&](const QByteArray &line) { requests.append(line.split(' ').value(1)); });
    setInetTransferFactory({});
    frm_Quendra &bar = start("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nREFRESH=0\r\nHTTPQ_SERVER=127.0.0.1\r\nHTTPQ_PORT="
                             + QByteArray::number(sim.serverPort()) + "\r\n");
    QFile::remove(m_settings.iniPath());
    QTimer::singleShot(100, &bar, [&bar] { bar.CloseApplication(); });
    QElapsedTimer clock;
    clock.start();
    awaitTask(bar.timRefreshSongTitle_Timer());
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(m_windows.ends, 1);
    EXPECT_FALSE(bar.NetworkConnection->IsBusy());
    // The settings were on disk, complete, before the program ended.
    EXPECT_TRUE(m_settings.read().endsWith("HTTPQ_SERVER=127.0.0.1\r\n"));
    // Nothing after the title request was sent (the playlist's fetch aside).
    requests.removeAll("/getplaylisttitle?p=");
    EXPECT_EQ(requests, QList<QByteArray>{"/getcurrenttitle?p="});
}

// The window manager may close the bar while the tray menu is open: the
// menu goes with the icon's component, and nothing is chosen.
TEST_F(BarTray, ClosingTheBarWhileTheTrayMenuIsOpen)
{
    frm_Quendra &bar = start();
    QPointer<frmSystray> tray = bar.my_frmSysTray;
    withMenu([&bar](QMenu *) {
        bar.close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    });
    EXPECT_TRUE(tray.isNull());
    EXPECT_EQ(m_windows.ends, 1);
    EXPECT_EQ(gPlaylistVisible, 1);
}

TEST(TrayTip, IsCutAt63CharactersWhateverTheirBytes)
{
    frmSystray tray;
    for (const QString &tip :
         {QString(40, u'\u00E9'), QString(70, u'\u00E9'), QString(70, u'x'), u"Bj\u00F6rk \u2013 J\u00F3ga"_s}) {
        tray.SetToolTip(tip);
        EXPECT_EQ(tray.ToolTip(), tip.left(63));
    }
}

// A tip Windows-1252 cannot write keeps the whole characters that 63 bytes
// of UTF-8 hold, and the icon shows what ToolTip reads.
TEST(TrayTip, OutsideWindows1252IsCutToWhatUtf8PutsIn63Bytes)
{
    frmSystray tray;
    const QString pair = u"\U0001F3B5"_s;
    const struct
    {
        QString tip, shown;
    } cases[] = {
        {QString(30, u'\u65E5'), QString(21, u'\u65E5')},
        {u"x"_s + pair.repeated(20), u"x"_s + pair.repeated(15)},
        {u"ab\u20AC\u0100"_s + QString(60, u'y'), u"ab\u20AC\u0100"_s + QString(56, u'y')},
    };
    for (const auto &[tip, shown] : cases) {
        tray.SetToolTip(tip);
        EXPECT_EQ(tray.ToolTip(), shown) << tip.toStdString();
        EXPECT_EQ(tray.trayIcon()->toolTip(), shown);
    }
}

} // namespace
