#include "frmsystray.h"
#include "picturebox.h"
#include "support/sandbox.h"

#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QStyleHints>
#include <QTest>

namespace {

using namespace Qt::StringLiterals;

// What each desktop needs of the windows: the tray menu as the icon's own
// context menu, places on a screen, clicks on the strip that stay clicks,
// and sizes that tiling window managers float.
class BarDesktop : public WindowTest
{
protected:
    BarDesktop() { frmSystray::setNotificationAreaAvailable(true); }
    ~BarDesktop() override { frmSystray::setNotificationAreaAvailable(std::nullopt); }

    QSystemTrayIcon *trayIcon() { return m_windows.bar->my_frmSysTray->trayIcon(); }
    static QRect screen() { return QGuiApplication::primaryScreen()->geometry(); }
};

// StatusNotifier hosts show the icon's context menu (over DBusMenu) and
// trigger its actions there; an XEmbed tray pops the same menu up.
TEST_F(BarDesktop, TheTrayMenuIsTheIconsContextMenuAndItsItemsWork)
{
    frm_Quendra &bar = start();
    const QPointer<QSystemTrayIcon> icon = trayIcon();
    ASSERT_NE(icon, nullptr);
    QMenu *menu = icon->contextMenu();
    ASSERT_NE(menu, nullptr);
    QStringList shown;
    for (const QAction *action : menu->actions())
        shown.append(action->isSeparator() ? u"-"_s + action->text() : action->text());
    EXPECT_EQ(shown, QStringList({u"&Quendra"_s, u"-"_s, u"Playlist"_s, u"-"_s, u"&Settings"_s, u"-"_s, u"&Close"_s}));
    EXPECT_EQ(menu->defaultAction(), menu->actions().value(0));
    EXPECT_EQ(icon->toolTip(), u"ZadAda Doruziz");

    menu->actions().at(2)->trigger();
    EXPECT_TRUE(QTest::qWaitFor([] { return gPlaylistVisible == 0; }, 5000));
    bar.HideAllWindows();
    menu->actions().at(0)->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&bar] { return bar.isVisible(); }, 5000));
    EXPECT_EQ(m_windows.ends, 0);
    menu->actions().at(6)->trigger();
    EXPECT_TRUE(QTest::qWaitFor([this] { return m_windows.ends == 1; }, 5000));
    EXPECT_TRUE(icon.isNull() || !icon->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(icon.isNull());
}

// An XEmbed tray pops the context menu up on the right press, which also
// raises the right button's notification: no second menu opens over it.
TEST_F(BarDesktop, TheRightClickOpensOneMenu)
{
    start();
    QMenu *menu = trayIcon()->contextMenu();
    menu->popup(QPoint(10, 10));
    ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }, 5000));
    m_windows.bar->my_frmSysTray->iconActivated(QSystemTrayIcon::Context);
    EXPECT_EQ(QApplication::activePopupWidget(), menu);
    menu->close();
}

// A place stored on a monitor that is gone (2184 px on an 800 px screen):
// both windows open on the screen, the docked playlist below the bar.
TEST_F(BarDesktop, WindowsStoredOffTheScreensOpenOnTheNearestOne)
{
    const QRect area = screen();
    frm_Quendra &bar = start(QByteArray(kDirect)
                             + "[WINAMP]\r\nX_STARTUP_POSITION=32760\r\nY_STARTUP_POSITION=7500\r\n"
                               "[PLAYLIST]\r\nX_STARTUP_POSITION=32760\r\nY_STARTUP_POSITION=9495\r\n");
    EXPECT_EQ(bar.geometry(), QRect(area.right() + 1 - 275, 500, 275, 133));
    EXPECT_EQ(gPlaylistDocked, -1);
    EXPECT_EQ(playlist().pos(), bar.geometry().bottomLeft() + QPoint(0, 1));
    EXPECT_TRUE(area.contains(playlist().geometry()));

    // A free playlist comes on by itself; a bar whose strip shows stays.
    gPlaylistDocked = 0;
    start(QByteArray(kDirect)
          + "[WINAMP]\r\nX_STARTUP_POSITION=1500\r\nY_STARTUP_POSITION=1500\r\n"
            "[PLAYLIST]\r\nX_STARTUP_POSITION=-15000\r\nY_STARTUP_POSITION=-300\r\n");
    EXPECT_EQ(m_windows.bar->pos(), QPoint(100, 100));
    EXPECT_EQ(gPlaylistDocked, 0);
    EXPECT_EQ(playlist().pos(), QPoint(0, 0));
}

// Hidden windows the tray brings back come onto a screen too.
TEST_F(BarDesktop, TheTrayBringsHiddenWindowsBackOntoTheScreen)
{
    frm_Quendra &bar = start();
    bar.HideAllWindows();
    bar.move(-2000, 3000);
    playlist().move(-2000, 3133);
    bar.my_frmSysTray->iconActivated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(bar.isVisible());
    EXPECT_EQ(bar.pos(), QPoint(0, screen().bottom() + 1 - 266));
    EXPECT_EQ(playlist().pos(), bar.pos() + QPoint(0, 133));
}

// While it runs: a screen that goes away or changes its size leaves the
// windows where they were; they come onto the screens that remain.
TEST_F(BarDesktop, AScreenThatGoesOrShrinksBringsTheWindowsBack)
{
    frm_Quendra &bar = start();
    QScreen *screen = QGuiApplication::primaryScreen();
    bar.move(screen->geometry().right() + 500, 100);
    playlist().move(bar.pos() + QPoint(0, 133));
    emit qGuiApp->screenRemoved(screen);
    EXPECT_TRUE(QTest::qWaitFor([&bar] { return BarDesktop::screen().contains(bar.geometry()); }, 5000));
    EXPECT_EQ(playlist().pos(), bar.pos() + QPoint(0, 133));

    bar.move(-1000, -1000);
    emit screen->geometryChanged(screen->geometry());
    EXPECT_TRUE(QTest::qWaitFor([&bar] { return bar.pos() == QPoint(0, 0); }, 5000));
    EXPECT_EQ(playlist().pos(), QPoint(0, 133));
}

// A click on the strip stays a click: the window moves only once the
// pointer has gone the drag distance with the button held.
TEST_F(BarDesktop, AStripClickMovesNothingAndADragMovesFromThePress)
{
    frm_Quendra &bar = start();
    bar.move(100, 100);
    const int distance = QGuiApplication::styleHints()->startDragDistance();
    QTest::mousePress(bar.TopBar, Qt::LeftButton, Qt::NoModifier, QPoint(100, 7));
    QTest::mouseMove(bar.TopBar, QPoint(100 + distance - 1, 7));
    QTest::mouseRelease(bar.TopBar, Qt::LeftButton, Qt::NoModifier, QPoint(100 + distance - 1, 7));
    EXPECT_EQ(bar.pos(), QPoint(100, 100));
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);

    QTest::mousePress(bar.TopBar, Qt::LeftButton, Qt::NoModifier, QPoint(100, 7));
    QTest::mouseMove(bar.TopBar, QPoint(100 + distance, 7));
    EXPECT_EQ(bar.pos(), QPoint(100 + distance, 100));
    const QPoint pressed = QPoint(100, 100) + QPoint(100, 7);
    QTest::mouseMove(&bar, bar.mapFromGlobal(pressed + QPoint(40, 20)));
    QTest::mouseRelease(&bar, Qt::LeftButton);
    EXPECT_EQ(bar.pos(), QPoint(140, 120));
    EXPECT_EQ(playlist().pos(), bar.pos() + QPoint(0, 133));
}

// Equal least and greatest sizes make tiling window managers float both
// windows; a size the program did not give (a tile) is never stored.
TEST_F(BarDesktop, BothWindowsHoldTheirSizesAndATiledSizeIsNotStored)
{
    frm_Quendra &bar = start();
    EXPECT_EQ(bar.minimumSize(), QSize(275, 133));
    EXPECT_EQ(bar.maximumSize(), QSize(275, 133));
    EXPECT_EQ(playlist().minimumSize(), QSize(275, 133));
    EXPECT_EQ(playlist().maximumSize(), QSize(275, 133));

    QFile::remove(m_settings.iniPath());
    playlist().setFixedSize(512, 712);
    playlist().bottomEdgeMoved();
    EXPECT_EQ(gPlaylistHeight, 1995);
    EXPECT_FALSE(m_settings.read().contains("HEIGHT=10680"));
    bar.CloseApplication();
    EXPECT_TRUE(m_settings.read().contains("[PLAYLIST]\r\nURL="));
    EXPECT_TRUE(m_settings.read().contains("\r\nHEIGHT=1995\r\nBAR_HEIGHT=500\r\n"));
}

} // namespace
