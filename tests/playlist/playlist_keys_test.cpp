#include "support/sandbox.h"

#include <QListView>
#include <QTest>

namespace {

using namespace Qt::StringLiterals;

class PlaylistKeys : public WindowTest
{ };

// Down then Return starts the selected entry exactly as a double-click does.
TEST_F(PlaylistKeys, ReturnStartsTheSelectedEntryAsADoubleClickDoes)
{
    start();
    frm_QuendraPlaylist &window = playlist();
    m_answers[u"/getplaylisttitle?p="_s] = u"A<br>B<br>C<br>D<br>"_s;
    FakeTransfer *transfer = m_httpq.transfer(u"inetPlayList"_s);
    transfer->cancel();
    window.RequestPlaylist();
    transfer->completeGet();
    m_answers[u"/shuffle_status?p="_s] = u"1"_s;
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QListView *list = window.listPlayList;
    list->setFocus();
    list->setCurrentIndex(list->model()->index(1, 0));
    sent();

    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_httpq.log.size() >= 5; }, 5000));
    EXPECT_EQ(gListPos, 2);
    EXPECT_EQ(sent(),
              QStringList({u"status /shuffle_status?p="_s, u"action /shuffle?p=&a=0"_s,
                           u"action /setplaylistpos?p=&a=2"_s, u"action /play?p="_s, u"action /shuffle?p=&a=1"_s}));
    // The keypad's Enter too.
    QTest::keyClick(list, Qt::Key_Enter, Qt::KeypadModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_httpq.log.size() >= 5; }, 5000));
    EXPECT_EQ(sent().at(2), u"action /setplaylistpos?p=&a=2");
}

} // namespace
