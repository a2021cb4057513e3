#include "barkeyboard.h"
#include "picturebox.h"
#include "support/sandbox.h"

#include <QAccessible>
#include <QApplication>
#include <QListView>
#include <QTest>

namespace {

using namespace Qt::StringLiterals;

// The bar in direct mode, focused, as a keyboard user or a screen reader
// meets it.
class BarKeyboardTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        m_answers[u"/shuffle_status?p="_s] = u"0"_s;
        m_answers[u"/repeat_status?p="_s] = u"0"_s;
        m_bar = &start();
        m_bar->timRefreshSongTitle->setEnabled(false);
        m_bar->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_bar));
        ASSERT_TRUE(m_bar->hasFocus());
        sent();
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
    BarKeyboard *keyboard() const { return m_bar->findChild<BarKeyboard *>(); }

    // The accessible buttons and switches of a picture, by name.
    static QMap<QString, QAccessibleInterface *> buttonsOf(QWidget *picture)
    {
        QMap<QString, QAccessibleInterface *> buttons;
        QAccessibleInterface *box = QAccessible::queryAccessibleInterface(picture);
        for (int i = 0; box && i < box->childCount(); ++i) {
            QAccessibleInterface *child = box->child(i);
            if (child && (child->role() == QAccessible::Button || child->role() == QAccessible::CheckBox))
                buttons.insert(child->text(QAccessible::Name), child);
        }
        return buttons;
    }
    static void pressThrough(QAccessibleInterface *button)
    {
        ASSERT_TRUE(button);
        ASSERT_TRUE(button->actionInterface());
        ASSERT_TRUE(button->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
        button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    }

    frm_Quendra *m_bar = nullptr;
};

TEST_F(BarKeyboardTest, SAndRSwitchAsTheSpotsAndTheirOnMarksDo)
{
    // Off: the spot's press switches on, then reads the state back. The key
    // marks the switch it presses, as a shortcut focuses its button: a
    // reader names it, then hears it change.
    key(Qt::Key_S);
    EXPECT_EQ(sentAfter(2), QStringList({u"net /shuffle?p=&a=1"_s, u"status /shuffle_status?p="_s}));
    EXPECT_TRUE(m_bar->picShuffleStatus->isHidden());
    EXPECT_EQ(keyboard()->marked(), BarButton::Shuffle);

    m_answers[u"/shuffle_status?p="_s] = u"1"_s;
    key(Qt::Key_S);
    EXPECT_EQ(sentAfter(2), QStringList({u"net /shuffle?p=&a=1"_s, u"status /shuffle_status?p="_s}));
    ASSERT_FALSE(m_bar->picShuffleStatus->isHidden());
    // On: the ON mark's click switches off.
    m_answers[u"/shuffle_status?p="_s] = u"0"_s;
    key(Qt::Key_S);
    EXPECT_EQ(sentAfter(2), QStringList({u"net /shuffle?p=&a=0"_s, u"status /shuffle_status?p="_s}));
    EXPECT_TRUE(m_bar->picShuffleStatus->isHidden());

    m_answers[u"/repeat_status?p="_s] = u"1"_s;
    key(Qt::Key_R);
    EXPECT_EQ(sentAfter(2), QStringList({u"net /repeat?p=&a=1"_s, u"status /repeat_status?p="_s}));
    ASSERT_FALSE(m_bar->picLoopStatus->isHidden());
    key(Qt::Key_R);
    EXPECT_EQ(sentAfter(2), QStringList({u"net /repeat?p=&a=0"_s, u"status /repeat_status?p="_s}));
}

TEST_F(BarKeyboardTest, TabMovesAVisibleMarkOverTheButtonsAndSpaceOrReturnPressesIt)
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
    ASSERT_EQ(keyboard()->marked(), BarButton::Shuffle);
    const QRect on(face()->mapFrom(m_bar, m_bar->picShuffleStatus->pos()), m_bar->picShuffleStatus->size());
    EXPECT_TRUE(face()->focusMark().adjusted(1, 1, -1, -1).contains(on));
}

TEST_F(BarKeyboardTest, AssistiveTechnologiesFindTheFacesNamedButtonsAndPressThem)
{
    // The desktop test reads every name and presses Play through AT-SPI;
    // here: where the buttons are, and the switches' states.
    const auto buttons = buttonsOf(face());
    EXPECT_EQ(buttons.size(), 11);

    QAccessibleInterface *play = buttons.value(u"Play"_s);
    ASSERT_TRUE(play);
    EXPECT_EQ(play->role(), QAccessible::Button);
    EXPECT_FALSE(play->state().checkable);
    // Where it says the button is, the face answers with it.
    const QPointF centre = face()->toUnits(face()->mapFromGlobal(play->rect().center()));
    const auto cell = faceCellAt(float(centre.x()), float(centre.y()));
    ASSERT_TRUE(cell);
    EXPECT_EQ(faceButtonAt(*cell), BarButton::Play);
    EXPECT_EQ(
        QAccessible::queryAccessibleInterface(face())->childAt(play->rect().center().x(), play->rect().center().y()),
        play);

    // The switches are what Qt makes of a checkable button, and tell
    // whether they are on.
    QAccessibleInterface *shuffle = buttons.value(u"Shuffle"_s);
    ASSERT_TRUE(shuffle);
    EXPECT_EQ(shuffle->role(), QAccessible::CheckBox);
    EXPECT_TRUE(shuffle->state().checkable);
    EXPECT_FALSE(shuffle->state().checked);
    m_answers[u"/shuffle_status?p="_s] = u"1"_s;
    pressThrough(shuffle);
    EXPECT_EQ(sentAfter(2), QStringList({u"net /shuffle?p=&a=1"_s, u"status /shuffle_status?p="_s}));
    EXPECT_TRUE(shuffle->state().checked);
    EXPECT_FALSE(buttons.value(u"Repeat"_s)->state().checked);

    QAccessibleInterface *playlistSpot = buttons.value(u"Playlist"_s);
    ASSERT_TRUE(playlistSpot);
    const bool wasOn = gPlaylistVisible != 0;
    EXPECT_EQ(playlistSpot->state().checked, wasOn);
    pressThrough(playlistSpot);
    ASSERT_TRUE(QTest::qWaitFor([&] { return (gPlaylistVisible != 0) != wasOn; }, 5000));
    EXPECT_EQ(playlistSpot->state().checked, !wasOn);
    EXPECT_EQ(sent(), QStringList());
}

TEST_F(BarKeyboardTest, TheStripsButtonsAreAccessibleToo)
{
    const auto buttons = buttonsOf(strip());
    EXPECT_EQ(buttons.keys(), QStringList({u"Close"_s, u"Hide"_s, u"Settings"_s}));
    pressThrough(buttons.value(u"Settings"_s));
    ASSERT_TRUE(QTest::qWaitFor([] { return frmSettings::existing() && frmSettings::existing()->isVisible(); }, 5000));
    // Opened without the mouse, it takes the keyboard.
    EXPECT_TRUE(QTest::qWaitForWindowActive(frmSettings::existing()));
    // A second press closes the dialog, as a second click does.
    pressThrough(buttons.value(u"Settings"_s));
    EXPECT_TRUE(QTest::qWaitFor([] { return !frmSettings::existing(); }, 5000));
}

} // namespace

namespace {

using namespace Qt::StringLiterals;

// However the bar becomes the active window (at start-up, by Alt+Tab, from
// the tray), it takes the keyboard without a click, with the mark where it
// was; the playlist likewise.
TEST_F(WindowTest, AnActivatedWindowTakesTheKeyboardWithItsMarkWhereItWas)
{
    frm_Quendra &bar = start();
    bar.timRefreshSongTitle->setEnabled(false);
    frm_QuendraPlaylist &list = playlist();
    const auto activate = [](QWidget *window) {
        window->show();
        window->activateWindow();
        return QTest::qWaitForWindowActive(window);
    };
    ASSERT_TRUE(activate(&list));
    EXPECT_TRUE(list.listPlayList->hasFocus());
    ASSERT_TRUE(activate(&bar));
    ASSERT_TRUE(bar.hasFocus());
    sent();
    QTest::keyClick(&bar, Qt::Key_X);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !m_httpq.log.isEmpty(); }, 5000));
    EXPECT_EQ(sent(), QStringList{u"net /play?p="_s});

    // X marked play; Tab moves on to pause, and the mark stays there while
    // another window is active.
    QTest::keyClick(&bar, Qt::Key_Tab);
    ASSERT_TRUE(activate(&list));
    EXPECT_TRUE(bar.picQuendraDirect->focusMark().isEmpty());
    ASSERT_TRUE(activate(&bar));
    EXPECT_EQ(bar.picQuendraDirect->markedSpot(), 2);
    EXPECT_FALSE(bar.picQuendraDirect->focusMark().isEmpty());
}

// In web-control mode the face is not there: its keys do nothing, and Tab
// marks the strip's buttons before it leaves the bar for the page.
TEST_F(WindowTest, WebControlModeKeepsOnlyTheStripsButtons)
{
    frm_Quendra &bar = start("[HTTPQ]\r\nQUENDRA_TYPE=HTTPQ\r\n");
    bar.timRefreshSongTitle->setEnabled(false);
    bar.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&bar));
    sent();

    for (const Qt::Key key : {Qt::Key_X, Qt::Key_V, Qt::Key_S, Qt::Key_Up})
        QTest::keyClick(&bar, key);
    QCoreApplication::processEvents();
    EXPECT_EQ(sent(), QStringList());

    auto *keyboard = bar.findChild<BarKeyboard *>();
    ASSERT_TRUE(keyboard);
    QTest::keyClick(&bar, Qt::Key_Tab);
    EXPECT_EQ(keyboard->marked(), BarButton::Settings);
    EXPECT_TRUE(bar.picQuendraDirect->focusMark().isEmpty());
    EXPECT_FALSE(bar.TopBar->focusMark().isEmpty());
    QTest::keyClick(&bar, Qt::Key_Tab);
    QTest::keyClick(&bar, Qt::Key_Tab);
    EXPECT_EQ(keyboard->marked(), BarButton::Close);
    // Past the last one the mark goes; the page may take the focus.
    QTest::keyClick(&bar, Qt::Key_Tab);
    EXPECT_EQ(keyboard->marked(), std::nullopt);
    EXPECT_TRUE(bar.TopBar->focusMark().isEmpty());
}

} // namespace
