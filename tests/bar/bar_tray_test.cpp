#include "platform/widgets/picturebox.h"
#include "support/sandbox.h"
#include "windows/systray/frmsystray.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QSignalSpy>
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
    static QRect screen() { return QGuiApplication::primaryScreen()->geometry(); }
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
    enum Outcome { Drag, Hide, Close, Settings, Nothing };
    const std::tuple<float, float, qint16, Outcome> presses[] = {
        {100, 100, 1, Settings}, {100, 100, 2, Settings}, {75, 100, 1, Drag},   {150, 100, 1, Drag},
        {100, 75, 1, Drag},      {100, 150, 1, Drag},     {3850, 100, 4, Hide}, {3825, 100, 1, Drag},
        {3900, 100, 1, Drag},    {3945, 100, 1, Drag},    {3920, 100, 1, Drag}, {4000, 100, 2, Nothing},
        {4000, 100, 4, Nothing}, {2000, 50, 2, Drag},     {4000, 100, 1, Close}};
    for (const auto &[x, y, button, outcome] : presses) {
        bar.show();
        playlist().show();
        bar.TopBar_MouseDown(button, 0, x, y);
        // Without a window manager the bar follows the pointer itself.
        EXPECT_EQ(QWidget::mouseGrabber() == &bar, outcome == Drag) << x << "," << y;
        if (QWidget *grabber = QWidget::mouseGrabber())
            QTest::mouseRelease(grabber, Qt::LeftButton);
        EXPECT_EQ(bar.isVisible(), outcome != Hide && outcome != Close) << x << "," << y;
        EXPECT_EQ(bar.settingsDialog() && bar.settingsDialog()->isVisible(), outcome == Settings);
        delete bar.settingsDialog();
        EXPECT_EQ(m_windows.ends, outcome == Close ? 1 : 0) << x << "," << y;
    }
}

TEST_F(BarTray, TheIconsMenuHasSevenItemsThatEachDoTheirJob)
{
    frm_Quendra &bar = start();
    const QPointer<QSystemTrayIcon> icon = bar.my_frmSysTray->trayIcon();
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
    choose(u"&Settings"_s);
    frmSettings *dialog = bar.settingsDialog();
    ASSERT_TRUE(dialog && dialog->isVisible());
    // A second "Settings" keeps the open dialog, and what was typed in it.
    dialog->txt_URL[2]->setText(u"typed"_s);
    choose(u"&Settings"_s);
    EXPECT_EQ(bar.settingsDialog(), dialog);
    EXPECT_EQ(dialog->txt_URL[2]->text(), u"typed");
    // StatusNotifier hosts show the icon's own context menu (over DBusMenu)
    // and trigger its items there.
    QMenu *menu = icon->contextMenu();
    menu->actions().at(2)->trigger();
    EXPECT_TRUE(QTest::qWaitFor([this] { return playlist().isVisible(); }, 5000));
    EXPECT_EQ(m_windows.ends, 0);
    menu->actions().at(6)->trigger();
    EXPECT_TRUE(QTest::qWaitFor([this] { return m_windows.ends == 1; }, 5000));
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

// Closing while a poll waits for the player ends at once: the poll goes,
// nothing more is sent, and the settings are on disk.
TEST_F(BarTray, CloseSavesEveryKeyWithBothPositionsAndStopsEverything)
{
    frm_Quendra &bar = start("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nREFRESH=0\r\nHTTPQ_SERVER=10.1.1.1\r\n");
    // The playlist was dragged away from the bar.
    gPlaylistDocked = 0;
    bar.move(20, 40);
    playlist().move(300, 200);
    ASSERT_TRUE(playlist().inetPlayList->IsBusy());
    m_httpq.transfer(u"NetworkConnection"_s)->hold();
    const async::Task<> poll = bar.timRefreshSongTitle_Timer();
    m_httpq.log.clear();
    gHttpqPasswd = u"typed after start"_s;
    QFile::remove(m_settings.iniPath());
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
    EXPECT_TRUE(waitUntil([&] { return poll.isDone(); }));
    EXPECT_TRUE(m_httpq.log.isEmpty());
    EXPECT_FALSE(bar.NetworkConnection->IsBusy());
    EXPECT_FALSE(bar.isVisible());
    EXPECT_FALSE(playlist().isVisible());
    for (FormTimer *timer :
         {bar.timRefreshSongTitle, bar.timRefreshStatus, bar.timDisplaySongtitle, playlist().timPlaylistRefresh})
        EXPECT_FALSE(timer->isEnabled());
    EXPECT_FALSE(playlist().inetPlayList->IsBusy());
}

// An XEmbed tray pops the context menu up on the right press, which also
// raises the right button's notification: no second menu opens over it.
// The window manager may close the bar while the tray's menu is open: the
// menu goes with the icon's component, and nothing is chosen.
TEST_F(BarTray, OneMenuOpensAtATimeAndGoesWithTheBar)
{
    frm_Quendra &bar = start();
    QMenu *menu = bar.my_frmSysTray->trayIcon()->contextMenu();
    menu->popup(QPoint(10, 10));
    ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }, 5000));
    clickIcon(QSystemTrayIcon::Context);
    EXPECT_EQ(QApplication::activePopupWidget(), menu);
    menu->close();

    const QPointer<frmSystray> tray = bar.my_frmSysTray;
    withMenu([&bar](QMenu *) {
        bar.close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    });
    EXPECT_TRUE(tray.isNull());
    EXPECT_EQ(m_windows.ends, 1);
    EXPECT_EQ(gPlaylistVisible, 1);
}

// Hidden windows the tray brings back come onto a screen; while it runs, a
// screen that goes away or changes its size leaves the windows where they
// were, and they come onto the screens that remain.
TEST_F(BarTray, TheWindowsComeBackOntoAScreen)
{
    frm_Quendra &bar = start();
    bar.HideAllWindows();
    bar.move(-2000, 3000);
    playlist().move(-2000, 3133);
    clickIcon(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(bar.isVisible());
    EXPECT_EQ(bar.pos(), QPoint(0, screen().bottom() + 1 - 266));
    EXPECT_EQ(playlist().pos(), bar.pos() + QPoint(0, 133));

    QScreen *screen = QGuiApplication::primaryScreen();
    bar.move(screen->geometry().right() + 500, 100);
    playlist().move(bar.pos() + QPoint(0, 133));
    emit qGuiApp->screenRemoved(screen);
    EXPECT_TRUE(QTest::qWaitFor([&bar] { return BarTray::screen().contains(bar.geometry()); }, 5000));
    EXPECT_EQ(playlist().pos(), bar.pos() + QPoint(0, 133));
    bar.move(-1000, -1000);
    emit screen->geometryChanged(screen->geometry());
    EXPECT_TRUE(QTest::qWaitFor([&bar] { return bar.pos() == QPoint(0, 0); }, 5000));
    EXPECT_EQ(playlist().pos(), QPoint(0, 133));
}

// A press on the strip moves the bar once the pointer has gone the
// platform's drag distance; let go before, the press stays a click.
TEST_F(BarTray, TheStripMovesTheBarOnlyFromTheDragDistanceOn)
{
    frm_Quendra &bar = start();
    bar.move(100, 100);
    const QPoint on(130, 7); // the strip, between its buttons
    const int distance = QApplication::startDragDistance();
    for (const int gone : {distance - 1, distance}) {
        const QPoint before = bar.pos();
        QTest::mousePress(bar.windowHandle(), Qt::RightButton, Qt::NoModifier, on);
        ASSERT_EQ(QWidget::mouseGrabber(), &bar);
        QTest::mouseMove(&bar, on + QPoint(gone, 0));
        QTest::mouseRelease(&bar, Qt::RightButton, Qt::NoModifier, on + QPoint(gone, 0));
        EXPECT_EQ(bar.pos(), before + QPoint(gone < distance ? 0 : gone, 0)) << gone;
        EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    }
    // The docked playlist window follows once the bar is at rest.
    EXPECT_TRUE(QTest::qWaitFor([&] { return playlist().pos() == bar.pos() + QPoint(0, 133); }, 5000));
}

// A tip is cut at 63 characters; one that Windows-1252 cannot write keeps
// the whole characters that 63 bytes of UTF-8 hold. The icon shows what
// ToolTip reads.
TEST(TrayTip, IsCutAt63CharactersOrWhatUtf8PutsIn63Bytes)
{
    frmSystray tray;
    const QString pair = u"\U0001F3B5"_s;
    const std::pair<QString, QString> cases[] = {
        {QString(40, u'\u00E9'), QString(40, u'\u00E9')},
        {QString(70, u'\u00E9'), QString(63, u'\u00E9')},
        {QString(70, u'x'), QString(63, u'x')},
        {u"Bj\u00F6rk \u2013 J\u00F3ga"_s, u"Bj\u00F6rk \u2013 J\u00F3ga"_s},
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

// Removing an item moves the captions and keys above it down one place and
// drops the last item; each place keeps its enabled state, and the default
// index stays. Item 0 is only emptied, and later items still append.
TEST(TrayMenu, RemovingAnItemMovesTheLaterCaptionsAndKeysDown)
{
    frmSystray tray;
    // What the menu shows, with the key each place hands back.
    const auto items = [&tray] {
        QStringList shown;
        const QList<QAction *> actions = tray.contextMenu()->actions();
        for (qsizetype i = 0; i < actions.size(); ++i) {
            const QAction *action = actions[i];
            shown.append((action->isSeparator() ? u"-"_s : action->text()) + u'|' + tray.menuKey(qint32(i))
                         + (action->isEnabled() ? u""_s : u" off"_s));
        }
        return shown;
    };
    tray.AddMenuItem(u"&Open"_s, u"open"_s);
    tray.AddMenuItem(u"-"_s);
    tray.AddMenuItem(u"&Close"_s, u"close"_s);
    EXPECT_EQ(tray.AddMenuItem(u"Last"_s, u"last"_s, true), 3);
    tray.EnableMenuItem(2, false);

    EXPECT_EQ(tray.RemoveMenuItem(1), 0);
    EXPECT_EQ(items(), QStringList({u"&Open|open"_s, u"&Close|close"_s, u"Last|last off"_s}));
    EXPECT_EQ(tray.menuItemCount(), 3);
    EXPECT_EQ(tray.DefaultMenuIndex(), 3);
    // A choice reports the index and key that the place holds now.
    QSignalSpy clicks(&tray, &frmSystray::MenuClick);
    tray.contextMenu()->actions().at(1)->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&clicks] { return !clicks.isEmpty(); }, 5000));
    EXPECT_EQ(clicks.first(), QVariantList({1, u"close"_s}));

    // The last item only goes; indexes outside the menu change nothing.
    for (const qint32 index : {2, 2, -1, 99})
        EXPECT_EQ(tray.RemoveMenuItem(index), 0);
    EXPECT_EQ(items(), QStringList({u"&Open|open"_s, u"&Close|close"_s}));

    EXPECT_EQ(tray.RemoveMenuItem(0), 0);
    EXPECT_EQ(items(), QStringList({u"|open"_s, u"&Close|close"_s}));
    EXPECT_EQ(tray.AddMenuItem(u"-"_s, u"line"_s), 2);
    EXPECT_EQ(tray.AddMenuItem(u"&More"_s, u"more"_s), 3);
    // A separator moving down stays one; a caption moving over one is text.
    EXPECT_EQ(tray.RemoveMenuItem(1), 0);
    EXPECT_EQ(items(), QStringList({u"|open"_s, u"-|line"_s, u"&More|more"_s}));
}

} // namespace
