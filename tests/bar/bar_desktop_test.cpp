#include "frmsystray.h"
#include "picturebox.h"
#include "support/sandbox.h"

#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
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
    ASSERT_EQ(menu, bar.my_frmSysTray->contextMenu());
    menu->actions().at(2)->trigger();
    EXPECT_TRUE(QTest::qWaitFor([] { return gPlaylistVisible == 0; }, 5000));
    menu->actions().at(6)->trigger();
    EXPECT_TRUE(QTest::qWaitFor([this] { return m_windows.ends == 1; }, 5000));
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

} // namespace
