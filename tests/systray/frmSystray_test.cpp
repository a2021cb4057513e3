#include "platform/notify_icon.h"
#include "systray/frmSystray.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Call
{
    DWORD message;
    NOTIFYICONDATAA record;
};

// The five events as short words, in the order they were raised.
struct Events
{
    explicit Events(frmSystray &tray)
    {
        QObject::connect(&tray, &frmSystray::SysTrayMouseDown, [this](qint32 b) { add("down", b); });
        QObject::connect(&tray, &frmSystray::SysTrayMouseUp, [this](qint32 b) { add("up", b); });
        QObject::connect(&tray, &frmSystray::SysTrayMouseMove, [this] { seen.push_back("move"); });
        QObject::connect(&tray, &frmSystray::SysTrayDoubleClick, [this](qint32 b) { add("double", b); });
        QObject::connect(&tray, &frmSystray::MenuClick, [this](qint32 i, const QString &key) {
            seen.push_back("menu" + std::to_string(i) + ":" + key.toStdString());
        });
    }
    void add(const char *what, qint32 button) { seen.push_back(what + std::to_string(button)); }
    std::vector<std::string> take() { return std::exchange(seen, {}); }

    std::vector<std::string> seen;
};

using Words = std::vector<std::string>;

class frmSystrayTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_iconsBefore = NotifyIconCount();
        SetNotifyIconObserver([this](DWORD message, const NOTIFYICONDATAA &record) {
            m_calls.push_back({message, record});
        });
    }
    void TearDown() override
    {
        SetNotifyIconObserver({});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(NotifyIconCount(), m_iconsBefore);
    }

    static void addBarItems(frmSystray &tray, std::vector<qint32> *indices = nullptr)
    {
        const char *const items[][2] = {{"&Quendra", "open"}, {"-", ""}, {"Playlist", "playlist"}, {"-", ""},
                                        {"&Settings", "Settings"}, {"-", ""}, {"&Close", "close"}};
        for (const auto &item : items) {
            const qint32 index = tray.AddMenuItem(QString::fromUtf8(item[0]), QString::fromUtf8(item[1]),
                                                  std::string(item[1]) == "open");
            if (indices)
                indices->push_back(index);
        }
    }
    static QString caption(const frmSystray &tray, qint32 index) { return tray.menuAction(index)->text(); }

    // Runs ShowMenu while `act` works the open popup from the event loop.
    static void withMenu(frmSystray *tray, const std::function<void(QMenu *)> &act)
    {
        QTimer actor;
        actor.setSingleShot(true);
        QObject::connect(&actor, &QTimer::timeout, [&act] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            act(menu);
        });
        // Never hang the run when the popup was not found or stayed open.
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] {
            ADD_FAILURE() << "the menu stayed open";
            if (QWidget *popup = QApplication::activePopupWidget())
                popup->close();
        });
        actor.start(0);
        guard.start(5000);
        tray->ShowMenu();
    }
    static void choose(QMenu *menu, const QString &text)
    {
        for (QAction *action : menu->actions()) {
            if (action->text() == text) {
                menu->setActiveAction(action);
                QTest::keyClick(menu, Qt::Key_Return);
                return;
            }
        }
        ADD_FAILURE() << "no item " << text.toStdString();
        menu->close();
    }

    std::vector<Call> m_calls;
    int m_iconsBefore = 0;
};

TEST_F(frmSystrayTest, TheBarsSevenItemsGetIndicesZeroToSix)
{
    frmSystray tray;
    EXPECT_TRUE(m_calls.empty()); // no icon before the first use
    EXPECT_EQ(tray.windowTitle(), u"Sys Tray Interface");

    std::vector<qint32> indices;
    addBarItems(tray, &indices);
    EXPECT_EQ(indices, (std::vector<qint32>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(tray.menuItemCount(), 7);
    EXPECT_EQ(tray.DefaultMenuIndex(), 0);
    for (const qint32 separator : {1, 3, 5}) {
        EXPECT_TRUE(tray.menuAction(separator)->isSeparator());
        EXPECT_EQ(tray.menuKey(separator), QString());
    }
    EXPECT_EQ(caption(tray, 6), u"&Close");
    EXPECT_EQ(tray.menuKey(6), u"close");

    tray.SetDefaultMenuIndex(4);
    EXPECT_EQ(tray.DefaultMenuIndex(), 4);
    for (const qint32 invalid : {99, 7, -1}) {
        tray.SetDefaultMenuIndex(6);
        tray.SetDefaultMenuIndex(invalid);
        EXPECT_EQ(tray.DefaultMenuIndex(), 0) << invalid;
    }
    EXPECT_EQ(tray.AddMenuItem(QStringLiteral("later"), QString(), true), 7);
    EXPECT_EQ(tray.DefaultMenuIndex(), 7);

    // A separator moves with its caption.
    tray.RemoveMenuItem(1);
    EXPECT_FALSE(tray.menuAction(1)->isSeparator());
    EXPECT_EQ(caption(tray, 1), u"Playlist");
    EXPECT_TRUE(tray.menuAction(2)->isSeparator());
}

TEST_F(frmSystrayTest, RemovingMovesCaptionsAndKeysButNotEnabledStates)
{
    frmSystray tray;
    for (const char *name : {"a", "b", "c", "d"})
        tray.AddMenuItem(QString::fromUtf8(name), QStringLiteral("k") + QString::fromUtf8(name));
    tray.EnableMenuItem(2, false);
    tray.EnableMenuItem(99, false); // ignored
    tray.EnableMenuItem(-1, false);

    EXPECT_EQ(tray.RemoveMenuItem(2), 0);
    ASSERT_EQ(tray.menuItemCount(), 3);
    EXPECT_EQ(caption(tray, 2), u"d");
    EXPECT_EQ(tray.menuKey(2), u"kd");
    EXPECT_FALSE(tray.menuAction(2)->isEnabled());
    EXPECT_TRUE(tray.menuAction(1)->isEnabled());

    EXPECT_EQ(tray.RemoveMenuItem(2), 0); // the last one: only destroyed
    EXPECT_EQ(tray.menuItemCount(), 2);
    EXPECT_EQ(tray.RemoveMenuItem(5), 0);
    EXPECT_EQ(tray.RemoveMenuItem(-1), 0);
    EXPECT_EQ(tray.menuItemCount(), 2);

    EXPECT_EQ(tray.RemoveMenuItem(0), 0); // emptied, kept with its key
    EXPECT_EQ(tray.menuItemCount(), 2);
    EXPECT_EQ(caption(tray, 0), QString());
    EXPECT_EQ(tray.menuKey(0), u"ka");
    EXPECT_EQ(caption(tray, 1), u"b");
    EXPECT_EQ(tray.AddMenuItem(QStringLiteral("e")), 2);
}

TEST_F(frmSystrayTest, TheIconIsSentOnlyWhatChanged)
{
    frmSystray tray;
    tray.AddMenuItem(QStringLiteral("x"));
    ASSERT_EQ(m_calls.size(), 1u);
    const NOTIFYICONDATAA added = m_calls[0].record;
    EXPECT_EQ(m_calls[0].message, NIM_ADD);
    EXPECT_EQ(added.cbSize, 88u);
    EXPECT_EQ(added.uFlags, 7u);
    EXPECT_EQ(added.uCallbackMessage, WM_MOUSEMOVE);
    EXPECT_NE(added.uID, 0u);
    EXPECT_EQ(added.uID, static_cast<quint32>(added.hIcon));
    EXPECT_FALSE(IconForHandle(added.hIcon).isNull());
    EXPECT_EQ(tray.ToolTip(), u"Quendra, a remote control for httpQ");
    EXPECT_EQ(NotifyIconCount(), m_iconsBefore + 1);

    tray.SetToolTip(QStringLiteral("ZadAda Doruziz"));
    ASSERT_EQ(m_calls.size(), 2u);
    EXPECT_EQ(m_calls[1].message, NIM_MODIFY);
    EXPECT_EQ(m_calls[1].record.uFlags, 4u);
    EXPECT_EQ(tray.ToolTip(), u"ZadAda Doruziz");
    EXPECT_EQ(tray.notifyIconData().szTip[14], '\0');
    EXPECT_EQ(tray.notifyIconData().szTip[15], ' '); // blanks fill the field
    EXPECT_EQ(tray.notifyIconData().szTip[63], ' ');
    tray.SetToolTip(QStringLiteral("ZadAda Doruziz"));
    EXPECT_EQ(m_calls.size(), 2u);

    const QString longTip(100, u'x');
    tray.SetToolTip(longTip);
    EXPECT_EQ(tray.ToolTip(), longTip.left(63));
    tray.SetToolTip(longTip.left(80)); // the same once cut
    EXPECT_EQ(m_calls.size(), 3u);
    tray.SetToolTip(QString(40, QChar(0xe9))); // two bytes each: whole characters only
    EXPECT_EQ(tray.ToolTip(), QString(31, QChar(0xe9)));

    const qint32 icon = tray.IconHandle();
    tray.SetIconHandle(icon);
    EXPECT_EQ(m_calls.size(), 4u);
    QPixmap square(16, 16);
    square.fill(Qt::red);
    const qint32 other = RegisterIconHandle(QIcon(square));
    EXPECT_NE(other, icon);
    tray.SetIconHandle(other);
    ASSERT_EQ(m_calls.size(), 5u);
    EXPECT_EQ(m_calls[4].message, NIM_MODIFY);
    EXPECT_EQ(m_calls[4].record.uFlags, 2u);
    EXPECT_EQ(m_calls[4].record.uID, added.uID);
    EXPECT_EQ(tray.IconHandle(), other);
    tray.SetIconHandle(other);
    tray.SetToolTip(tray.ToolTip());
    EXPECT_EQ(m_calls.size(), 5u);
    EXPECT_EQ(tray.notifyIconData().uFlags, 2u); // the last value stays
}

TEST_F(frmSystrayTest, NotificationCodesDecodeToEvents)
{
    frmSystray tray;
    Events events(tray);
    const struct
    {
        float x;
        Words expected;
    } table[] = {
        {512, {"move"}},     {513, {}},            {514, {"down1"}},    {515, {"double1"}},
        {516, {"down2"}},    {517, {"up2"}},       {518, {"double2"}},  {519, {}},
        {520, {}},           {0, {}},              {511, {}},           {-514, {}},
        // Fractions go to the nearest whole number, a half to the even one.
        {514.5f, {"down1"}}, {513.5f, {"down1"}},  {515.5f, {"down2"}}, {516.5f, {"down2"}},
        {512.4f, {"move"}},  {513.4f, {}},         {std::nanf(""), {}}, {1e30f, {}},
    };
    for (const auto &row : table) {
        tray.Form_MouseMove(Qt::NoButton, Qt::NoModifier, row.x, 7);
        EXPECT_EQ(events.take(), row.expected) << "x = " << row.x;
    }
    EXPECT_TRUE(m_calls.empty()); // decoding needs no icon
}

using NotifyIconTest = frmSystrayTest;

TEST_F(NotifyIconTest, ActionsOnTheIconArriveAsTheirCodes)
{
    std::vector<int> codes;
    const quint32 window = RegisterNotifyWindow([&codes](int x) { codes.push_back(x); });
    QPixmap square(16, 16);
    square.fill(Qt::blue);
    NOTIFYICONDATAA nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = window;
    nid.uID = 7;
    nid.uFlags = NIF_MESSAGE | NIF_ICON;
    nid.uCallbackMessage = WM_MOUSEMOVE;
    nid.hIcon = RegisterIconHandle(QIcon(square));
    EXPECT_NE(Shell_NotifyIconA(NIM_ADD, &nid), 0);
    EXPECT_EQ(Shell_NotifyIconA(NIM_ADD, &nid), 0); // already there
    EXPECT_EQ(NotifyIconCount(), m_iconsBefore + 1);

    const auto send = [&](QSystemTrayIcon::ActivationReason reason) {
        SendNotifyIconEvent(window, 7, reason);
        return std::exchange(codes, {});
    };
    EXPECT_EQ(send(QSystemTrayIcon::Trigger), std::vector<int>{514});
    EXPECT_EQ(send(QSystemTrayIcon::DoubleClick), (std::vector<int>{515, 514}));
    EXPECT_EQ(send(QSystemTrayIcon::Context), (std::vector<int>{516, 517}));
    EXPECT_EQ(send(QSystemTrayIcon::MiddleClick), (std::vector<int>{519, 520}));
    EXPECT_EQ(send(QSystemTrayIcon::Unknown), std::vector<int>{});
    SendNotifyIconEvent(window, 8, QSystemTrayIcon::Trigger);
    EXPECT_TRUE(codes.empty());

    // Another callback message is not a mouse move: nothing arrives.
    nid.uFlags = NIF_MESSAGE;
    nid.uCallbackMessage = 0x401;
    EXPECT_NE(Shell_NotifyIconA(NIM_MODIFY, &nid), 0);
    EXPECT_EQ(send(QSystemTrayIcon::Trigger), std::vector<int>{});
    nid.uCallbackMessage = WM_MOUSEMOVE;
    Shell_NotifyIconA(NIM_MODIFY, &nid);
    UnregisterNotifyWindow(window);
    EXPECT_EQ(send(QSystemTrayIcon::Trigger), std::vector<int>{});

    EXPECT_NE(Shell_NotifyIconA(NIM_DELETE, &nid), 0);
    EXPECT_EQ(Shell_NotifyIconA(NIM_DELETE, &nid), 0);
    EXPECT_EQ(Shell_NotifyIconA(NIM_MODIFY, &nid), 0);
    EXPECT_EQ(m_calls.size(), 7u); // every call is observed, failed ones too
}

TEST_F(NotifyIconTest, ClicksReachTheComponentAsThePlatformOrdersThem)
{
    frmSystray tray;
    Events events(tray);
    tray.AddMenuItem(QStringLiteral("x"));
    const NOTIFYICONDATAA &nid = tray.notifyIconData();
    const auto send = [&](QSystemTrayIcon::ActivationReason reason) {
        SendNotifyIconEvent(nid.hWnd, nid.uID, reason);
    };
    send(QSystemTrayIcon::Trigger);
    EXPECT_EQ(events.take(), Words{"down1"});
    send(QSystemTrayIcon::Context);
    EXPECT_EQ(events.take(), (Words{"down2", "up2"}));
    // Qt reports a double click as Trigger, then DoubleClick.
    send(QSystemTrayIcon::Trigger);
    send(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(events.take(), (Words{"down1", "double1", "down1"}));
    send(QSystemTrayIcon::MiddleClick);
    EXPECT_EQ(events.take(), Words{});
}

TEST_F(frmSystrayTest, ClosingRemovesTheIconOnce)
{
    auto *tray = new frmSystray;
    Events events(*tray);
    addBarItems(*tray);
    const NOTIFYICONDATAA nid = tray->notifyIconData();
    m_calls.clear();
    EXPECT_TRUE(tray->close());
    ASSERT_EQ(m_calls.size(), 1u);
    EXPECT_EQ(m_calls[0].message, NIM_DELETE);
    EXPECT_EQ(m_calls[0].record.hWnd, nid.hWnd);
    EXPECT_EQ(m_calls[0].record.uID, nid.uID);
    EXPECT_EQ(NotifyIconCount(), m_iconsBefore);
    SendNotifyIconEvent(nid.hWnd, nid.uID, QSystemTrayIcon::Trigger);
    EXPECT_TRUE(events.seen.empty());

    tray->close();
    delete tray;
    EXPECT_EQ(m_calls.size(), 1u);
}

TEST_F(frmSystrayTest, DeletingRemovesTheIconAndAnUnusedOneSendsNothing)
{
    delete new frmSystray;
    EXPECT_TRUE(m_calls.empty());
    auto *tray = new frmSystray;
    tray->SetToolTip(QStringLiteral("tip"));
    m_calls.clear();
    delete tray;
    ASSERT_EQ(m_calls.size(), 1u);
    EXPECT_EQ(m_calls[0].message, NIM_DELETE);
}

TEST_F(frmSystrayTest, ChoosingAnItemRaisesMenuClickWithItsKey)
{
    frmSystray tray;
    Events events(tray);
    addBarItems(tray);
    const QAction *defaultAction = nullptr;
    qsizetype shown = 0;
    withMenu(&tray, [&](QMenu *menu) {
        defaultAction = menu->defaultAction();
        shown = menu->actions().size();
        choose(menu, QStringLiteral("Playlist"));
    });
    EXPECT_EQ(defaultAction, tray.menuAction(0));
    EXPECT_EQ(shown, 7);
    EXPECT_EQ(events.take(), Words{"menu2:playlist"});

    withMenu(&tray, [](QMenu *menu) { QTest::keyClick(menu, Qt::Key_Escape); });
    EXPECT_EQ(events.take(), Words{});

    // A default whose item is gone leaves the menu without one.
    tray.SetDefaultMenuIndex(6);
    tray.RemoveMenuItem(6);
    withMenu(&tray, [&](QMenu *menu) {
        defaultAction = menu->defaultAction();
        choose(menu, QStringLiteral("&Quendra"));
    });
    EXPECT_EQ(defaultAction, nullptr);
    EXPECT_EQ(events.take(), Words{"menu0:open"});
}

TEST_F(frmSystrayTest, TheOwnerMayDeleteTheComponentFromMenuClick)
{
    QPointer<frmSystray> tray = new frmSystray;
    addBarItems(*tray);
    m_calls.clear();
    QString key;
    QObject::connect(tray, &frmSystray::MenuClick, [&](qint32, const QString &sKey) {
        key = sKey;
        tray->close();
        delete tray.data();
    });
    withMenu(tray, [](QMenu *menu) { choose(menu, QStringLiteral("&Close")); });
    EXPECT_TRUE(tray.isNull());
    EXPECT_EQ(key, u"close");
    ASSERT_EQ(m_calls.size(), 1u);
    EXPECT_EQ(m_calls[0].message, NIM_DELETE);
}

TEST_F(frmSystrayTest, TheComponentMayGoWhileItsMenuIsOpen)
{
    QPointer<frmSystray> tray = new frmSystray;
    addBarItems(*tray);
    bool clicked = false;
    QObject::connect(tray, &frmSystray::MenuClick, [&clicked] { clicked = true; });
    withMenu(tray, [&](QMenu *menu) {
        delete tray.data();
        EXPECT_TRUE(menu->actions().isEmpty());
        QTest::keyClick(menu, Qt::Key_Escape);
    });
    EXPECT_TRUE(tray.isNull());
    EXPECT_FALSE(clicked);
}

} // namespace
