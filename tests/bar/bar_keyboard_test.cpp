#include "platform/widgets/picturebox.h"
#include "support/sandbox.h"
#include "windows/bar/barkeyboard.h"
#include "windows/systray/frmsystray.h"

#include <QAccessible>
#include <QListView>

namespace {

using namespace Qt::StringLiterals;

// The bar, focused, as a keyboard user or a screen reader meets it.
class BarKeyboardTest : public WindowTest
{
protected:
    void start(const QByteArray &settings = kDirect)
    {
        m_answers[u"/shuffle_status?p="_s] = u"0"_s;
        m_answers[u"/repeat_status?p="_s] = u"0"_s;
        m_bar = &WindowTest::start(settings);
        m_bar->timRefreshSongTitle->setEnabled(false);
        ASSERT_TRUE(activate(m_bar));
        ASSERT_TRUE(m_bar->hasFocus());
        sent();
    }
    void SetUp() override
    {
        WindowTest::SetUp();
        start();
    }
    // The requests of the next `count` exchanges, once they are all out.
    QStringList sentAfter(qsizetype count)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return m_httpq.log.size() >= count; }, 5000));
        // The handler reads the last answer from a posted event.
        drainEvents();
        return sent();
    }
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { QTest::keyClick(m_bar, key, modifiers); }
    PictureBox *face() const { return m_bar->picQuendraDirect; }
    PictureBox *strip() const { return m_bar->TopBar; }
    std::optional<BarButton> marked() const { return m_bar->findChild<BarKeyboard *>()->marked(); }

    // The accessible buttons and switches of a picture, by name.
    static QMap<QString, QAccessibleInterface *> buttonsOf(QWidget *picture)
    {
        QMap<QString, QAccessibleInterface *> buttons;
        QAccessibleInterface *box = QAccessible::queryAccessibleInterface(picture);
        for (int i = 0; i < box->childCount(); ++i) {
            QAccessibleInterface *child = box->child(i);
            if (child->role() == QAccessible::Button || child->role() == QAccessible::CheckBox)
                buttons.insert(child->text(QAccessible::Name), child);
        }
        return buttons;
    }
    static void pressThrough(QAccessibleInterface *button)
    {
        ASSERT_TRUE(button && button->actionInterface());
        ASSERT_TRUE(button->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
        button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    }

    frm_Quendra *m_bar = nullptr;
};

TEST_F(BarKeyboardTest, SAndRSwitchAsTheSpotsAndTheirOnMarksDo)
{
    // Off, the spot's press switches on; on, the ON mark's switches off;
    // then the state is read back. The key marks the switch it presses, as
    // a shortcut focuses its button: a reader names it, then hears it change.
    const std::tuple<Qt::Key, const char *, const char *, const char *> presses[] = {
        {Qt::Key_S, "shuffle", "0", "1"}, {Qt::Key_S, "shuffle", "1", "1"}, {Qt::Key_S, "shuffle", "0", "0"},
        {Qt::Key_R, "repeat", "1", "1"},  {Qt::Key_R, "repeat", "0", "0"},
    };
    for (const auto &[pressed, mode, answer, switchedTo] : presses) {
        const QString status = u"/%1_status?p="_s.arg(QLatin1StringView(mode));
        m_answers[status] = QString::fromLatin1(answer);
        key(pressed);
        EXPECT_EQ(sentAfter(2),
                  QStringList({u"net /%1?p=&a=%2"_s.arg(QLatin1StringView(mode), QLatin1StringView(switchedTo)),
                               u"status "_s + status}));
        const bool shuffle = pressed == Qt::Key_S;
        EXPECT_EQ((shuffle ? m_bar->picShuffleStatus : m_bar->picLoopStatus)->isHidden(), *answer == '0');
        EXPECT_EQ(marked(), shuffle ? BarButton::Shuffle : BarButton::Repeat);
    }
}

// A held key repeats only the volume: held, Z is one Previous.
TEST_F(BarKeyboardTest, AHeldKeyRepeatsOnlyTheVolume)
{
    const std::tuple<Qt::Key, const char *, int> keys[] = {
        {Qt::Key_Z, "net /prev?p=", 1}, {Qt::Key_Up, "net /volumeup?p=", 3}, {Qt::Key_Down, "net /volumedown?p=", 3}};
    for (const auto &[held, request, times] : keys) {
        key(held);
        for (int repeat = 0; repeat < 2; ++repeat) {
            QKeyEvent event(QEvent::KeyPress, held, Qt::NoModifier, QString(), true);
            QCoreApplication::sendEvent(m_bar, &event);
        }
        EXPECT_EQ(sentAfter(times), QStringList(times, QString::fromLatin1(request)));
    }
}

TEST_F(BarKeyboardTest, TabMovesAVisibleMarkThatSpaceOrReturnPressesAndThatStaysWhileAwayFromTheBar)
{
    // Focused by a click or by activation: no mark yet, nothing to press.
    EXPECT_TRUE(face()->focusMark().isEmpty());
    key(Qt::Key_Space);
    QCoreApplication::processEvents();
    EXPECT_EQ(sent(), QStringList());

    key(Qt::Key_Tab);
    EXPECT_EQ(face()->markedSpot(), 0);
    EXPECT_TRUE(face()->focusMark().contains(face()->spotRect(0)));
    key(Qt::Key_Space);
    EXPECT_EQ(sentAfter(1), QStringList{u"net /prev?p="_s});
    key(Qt::Key_Tab);
    key(Qt::Key_Return);
    EXPECT_EQ(sentAfter(1), QStringList{u"net /play?p="_s});

    // Back past the first button to the strip's last: the close button.
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_TRUE(face()->focusMark().isEmpty());
    EXPECT_EQ(strip()->markedSpot(), 2);
    EXPECT_TRUE(strip()->focusMark().contains(strip()->spotRect(2)));
    key(Qt::Key_Tab);
    EXPECT_EQ(face()->markedSpot(), 0);
    EXPECT_TRUE(strip()->focusMark().isEmpty());

    // The mark around shuffle shows round its ON mark, which covers the spot.
    for (int i = 0; i < 8; ++i)
        key(Qt::Key_Tab);
    ASSERT_EQ(marked(), BarButton::Shuffle);
    const QRect on(face()->mapFrom(m_bar, m_bar->picShuffleStatus->pos()), m_bar->picShuffleStatus->size());
    EXPECT_TRUE(face()->focusMark().adjusted(1, 1, -1, -1).contains(on));

    // However the bar becomes the active window again (by Alt+Tab, from the
    // tray), it takes the keyboard without a click, with the mark where it
    // was; the playlist likewise.
    ASSERT_TRUE(activate(&playlist()));
    EXPECT_TRUE(playlist().listPlayList->hasFocus());
    EXPECT_TRUE(face()->focusMark().isEmpty());
    ASSERT_TRUE(activate(m_bar));
    EXPECT_TRUE(m_bar->hasFocus());
    EXPECT_EQ(marked(), BarButton::Shuffle);
    EXPECT_FALSE(face()->focusMark().isEmpty());
}

// In web-control mode the face is not there: its keys do nothing, and Tab
// marks the strip's buttons before it leaves the bar for the page.
TEST_F(BarKeyboardTest, WebControlModeKeepsOnlyTheStripsButtons)
{
    start("[HTTPQ]\r\nQUENDRA_TYPE=HTTPQ\r\n");
    for (const Qt::Key pressed : {Qt::Key_X, Qt::Key_V, Qt::Key_S, Qt::Key_Up})
        key(pressed);
    QCoreApplication::processEvents();
    EXPECT_EQ(sent(), QStringList());

    key(Qt::Key_Tab);
    EXPECT_EQ(marked(), BarButton::Settings);
    EXPECT_TRUE(face()->focusMark().isEmpty());
    EXPECT_FALSE(strip()->focusMark().isEmpty());
    key(Qt::Key_Tab);
    key(Qt::Key_Tab);
    EXPECT_EQ(marked(), BarButton::Close);
    // Past the last one the mark goes; the page may take the focus.
    key(Qt::Key_Tab);
    EXPECT_EQ(marked(), std::nullopt);
    EXPECT_TRUE(strip()->focusMark().isEmpty());
}

TEST_F(BarKeyboardTest, AssistiveTechnologiesFindTheNamedButtonsAndPressThem)
{
    // The desktop test reads every name and presses Play through AT-SPI;
    // here: where the buttons are, and the switches' states.
    const auto buttons = buttonsOf(face());
    EXPECT_EQ(buttons.size(), 11);
    QAccessibleInterface *play = buttons.value(u"Play"_s);
    EXPECT_EQ(play->role(), QAccessible::Button);
    EXPECT_FALSE(play->state().checkable);
    // Where it says the button is, the face answers with it.
    const QPoint centre = play->rect().center();
    const QPointF units = face()->toUnits(face()->mapFromGlobal(centre));
    EXPECT_EQ(faceButtonAt(*faceCellAt(float(units.x()), float(units.y()))), BarButton::Play);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(face())->childAt(centre.x(), centre.y()), play);

    // The switches are what Qt makes of a checkable button, and tell
    // whether they are on.
    QAccessibleInterface *shuffle = buttons.value(u"Shuffle"_s);
    EXPECT_EQ(shuffle->role(), QAccessible::CheckBox);
    EXPECT_TRUE(shuffle->state().checkable);
    EXPECT_FALSE(shuffle->state().checked);
    m_answers[u"/shuffle_status?p="_s] = u"1"_s;
    pressThrough(shuffle);
    EXPECT_EQ(sentAfter(2), QStringList({u"net /shuffle?p=&a=1"_s, u"status /shuffle_status?p="_s}));
    EXPECT_TRUE(shuffle->state().checked);
    EXPECT_FALSE(buttons.value(u"Repeat"_s)->state().checked);
    QAccessibleInterface *playlistSpot = buttons.value(u"Playlist"_s);
    EXPECT_TRUE(playlistSpot->state().checked);
    pressThrough(playlistSpot);
    ASSERT_TRUE(QTest::qWaitFor([] { return gPlaylistVisible == 0; }, 5000));
    EXPECT_FALSE(playlistSpot->state().checked);
    EXPECT_EQ(sent(), QStringList());

    // The strip's buttons, pressed where the keyboard presses them.
    const auto strips = buttonsOf(strip());
    EXPECT_EQ(strips.keys(), QStringList({u"Close"_s, u"Hide"_s, u"Settings"_s}));
    pressThrough(strips.value(u"Settings"_s));
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return m_bar->settingsDialog() && m_bar->settingsDialog()->isVisible(); }, 5000));
    // Opened without the mouse, it takes the keyboard.
    EXPECT_TRUE(QTest::qWaitForWindowActive(m_bar->settingsDialog()));
    // A second press closes the dialog, as a second click does.
    pressThrough(strips.value(u"Settings"_s));
    EXPECT_TRUE(QTest::qWaitFor([this] { return !m_bar->settingsDialog(); }, 5000));
    frmSystray::setNotificationAreaAvailable(true);
    pressThrough(strips.value(u"Hide"_s));
    EXPECT_TRUE(QTest::qWaitFor([this] { return !m_bar->isVisible(); }, 5000));
    pressThrough(strips.value(u"Close"_s));
    EXPECT_TRUE(QTest::qWaitFor([this] { return m_windows.ends == 1; }, 5000));
    frmSystray::setNotificationAreaAvailable(std::nullopt);
}

} // namespace
