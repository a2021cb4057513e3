#include "support/sandbox.h"

#include <QListView>
#include <QTest>

namespace {

using namespace Qt::StringLiterals;

// The playlist filled, its window active and its list focused.
class PlaylistKeys : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        m_bar = &start();
        m_bar->timRefreshSongTitle->setEnabled(false);
        m_answers[u"/getplaylisttitle?p="_s] =
            u"Björk - Jóga<br>Motörhead - Ace of Spades<br>Artist 3 - Song<br>Motorhead - Overkill<br>"_s;
        FakeTransfer *transfer = m_httpq.transfer(u"inetPlayList"_s);
        transfer->cancel();
        window().RequestPlaylist();
        transfer->completeGet();
        m_answers[u"/shuffle_status?p="_s] = u"1"_s;
        ASSERT_TRUE(activate(&window()));
        ASSERT_TRUE(list()->hasFocus());
        sent();
    }
    frm_QuendraPlaylist &window() { return playlist(); }
    QListView *list() { return window().listPlayList; }
    static bool activate(QWidget *w)
    {
        w->show();
        w->activateWindow();
        return QTest::qWaitForWindowActive(w);
    }
    // Return, then the requests of the start of the chosen entry.
    QStringList played(Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(list(), modifiers ? Qt::Key_Enter : Qt::Key_Return, modifiers);
        EXPECT_TRUE(QTest::qWaitFor([&] { return m_httpq.log.size() >= 5; }, 5000));
        return sent();
    }

    frm_Quendra *m_bar = nullptr;
};

// Letters typed on the list find the next title holding them, whatever
// their case and accents; Return (or the keypad's Enter) then starts it
// exactly as a double-click does, and so after Down.
TEST_F(PlaylistKeys, TypedLettersFindATitleAndReturnStartsIt)
{
    QTest::keyClicks(list(), u"mot"_s);
    EXPECT_EQ(list()->currentIndex().row(), 1);
    EXPECT_EQ(played(),
              QStringList({u"status /shuffle_status?p="_s, u"action /shuffle?p=&a=0"_s,
                           u"action /setplaylistpos?p=&a=1"_s, u"action /play?p="_s, u"action /shuffle?p=&a=1"_s}));
    // After a pause the same letters go on to the next title holding them.
    QTest::qWait(QApplication::keyboardInputInterval() + 50);
    QTest::keyClicks(list(), u"MOT"_s);
    EXPECT_EQ(list()->currentIndex().row(), 3);
    QTest::keyClick(list(), Qt::Key_Up);
    EXPECT_EQ(played(Qt::KeypadModifier).at(2), u"action /setplaylistpos?p=&a=2");
}

} // namespace
