#include "picturebox.h"
#include "support/sandbox.h"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QTest>

namespace {

using namespace Qt::StringLiterals;

class SettingsKeys : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_settings.isValid());
        m_settings.write("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nHTTPQ_SERVER=player\r\n");
        m_windows.start();
        m_dialog = frmSettings::instance();
        m_dialog->show();
        m_dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_dialog));
    }
    bool closed()
    {
        return QTest::qWaitFor([&] { return m_dialog.isNull(); }, 5000);
    }
    // The server field, typed into without a save.
    void typeServer(const QString &text)
    {
        m_dialog->txt_URL[0]->setFocus();
        m_dialog->txt_URL[0]->selectAll();
        QTest::keyClicks(m_dialog->txt_URL[0], text);
    }
    bool savedServer(const char *server) const
    {
        return m_settings.read().contains(QByteArray("HTTPQ_SERVER=") + server);
    }

    SettingsSandbox m_settings;
    FakeHttpq m_httpq;
    FakeBrowsers m_browsers;
    TestWindows m_windows;
    QPointer<frmSettings> m_dialog;
};

TEST_F(SettingsKeys, TabReachesSaveThenCancel)
{
    QList<QWidget *> visited;
    for (int i = 0; i < 20 && m_dialog; ++i) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : m_dialog.data(), Qt::Key_Tab);
        visited.append(QApplication::focusWidget());
    }
    const qsizetype save = visited.indexOf(m_dialog->picSave);
    const qsizetype cancel = visited.indexOf(m_dialog->picCancel);
    ASSERT_GE(save, 0);
    ASSERT_GE(cancel, 0);
    EXPECT_EQ(cancel, save + 1);
    // The focused picture button shows a mark.
    m_dialog->picSave->setFocus(Qt::TabFocusReason);
    EXPECT_FALSE(m_dialog->picSave->focusMark().isEmpty());
    EXPECT_TRUE(m_dialog->picCancel->focusMark().isEmpty());
}

TEST_F(SettingsKeys, ReturnInAFieldSaves)
{
    typeServer(u"other"_s);
    QTest::keyClick(m_dialog->txt_URL[0], Qt::Key_Return);
    ASSERT_TRUE(closed());
    EXPECT_TRUE(savedServer("other"));
}

TEST_F(SettingsKeys, EscapeCancels)
{
    typeServer(u"other"_s);
    QTest::keyClick(m_dialog->txt_URL[0], Qt::Key_Escape);
    ASSERT_TRUE(closed());
    EXPECT_FALSE(savedServer("other"));
    // As Cancel does: what was typed stays in effect until the next load.
    EXPECT_EQ(gHttpqServer, u"other");
}

TEST_F(SettingsKeys, SpaceOrReturnOnAFocusedPictureButtonPressesThatButton)
{
    typeServer(u"other"_s);
    m_dialog->picCancel->setFocus(Qt::TabFocusReason);
    QTest::keyClick(m_dialog->picCancel, Qt::Key_Return);
    ASSERT_TRUE(closed());
    EXPECT_FALSE(savedServer("other"));

    m_dialog = frmSettings::instance();
    m_dialog->show();
    typeServer(u"third"_s);
    m_dialog->picSave->setFocus(Qt::TabFocusReason);
    QTest::keyClick(m_dialog->picSave, Qt::Key_Space);
    ASSERT_TRUE(closed());
    EXPECT_TRUE(savedServer("third"));
}

// A reader names every field by its label and each group of options, and
// never reads the password: it is masked, for the eye too.
TEST_F(SettingsKeys, EveryControlIsNamedForAReaderAndThePasswordIsMasked)
{
    const auto name = [](QWidget *widget) {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    };
    EXPECT_EQ(name(m_dialog->txt_URL[0]), u"httpq server URL");
    EXPECT_EQ(name(m_dialog->txt_URL[1]), u"httpq port");
    EXPECT_EQ(name(m_dialog->txt_URL[2]), u"httpq password");
    EXPECT_EQ(name(m_dialog->txt_URL[3]), u"Refresh Songtitle (ms)");
    EXPECT_EQ(name(m_dialog->txtProxy), u"manual proxy");
    EXPECT_EQ(name(m_dialog->optConnectType[0]->parentWidget()), u"Connection type");
    EXPECT_EQ(name(m_dialog->optProxy[0]->parentWidget()), u"Proxy");

    QLineEdit *password = m_dialog->txt_URL[2];
    password->setFocus();
    QTest::keyClicks(password, u"secret"_s);
    EXPECT_EQ(gHttpqPasswd, u"secret");
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    EXPECT_EQ(password->displayText().size(), 6);
    EXPECT_FALSE(password->displayText().contains(u"secr"_s));
    QAccessibleInterface *field = QAccessible::queryAccessibleInterface(password);
    EXPECT_TRUE(field->state().passwordEdit);
    EXPECT_FALSE(field->text(QAccessible::Value).contains(u"secret"_s));
    ASSERT_TRUE(field->textInterface());
    EXPECT_EQ(field->textInterface()->text(0, 6), QString());

    // The names follow the labels as the mode changes them.
    QTest::mouseClick(m_dialog->optConnectType[0], Qt::LeftButton);
    EXPECT_EQ(name(m_dialog->txt_URL[0]), u"Quendra Control URL");
    QTest::mouseClick(m_dialog->optConnectType[1], Qt::LeftButton);

    QAccessibleInterface *save = QAccessible::queryAccessibleInterface(m_dialog->picSave);
    QAccessibleInterface *cancel = QAccessible::queryAccessibleInterface(m_dialog->picCancel);
    ASSERT_TRUE(save && cancel);
    EXPECT_EQ(save->role(), QAccessible::Button);
    EXPECT_EQ(save->text(QAccessible::Name), u"Save");
    EXPECT_EQ(cancel->role(), QAccessible::Button);
    EXPECT_EQ(cancel->text(QAccessible::Name), u"Cancel");
    EXPECT_TRUE(save->state().focusable);

    typeServer(u"other"_s);
    ASSERT_TRUE(save->actionInterface());
    save->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_TRUE(closed());
    EXPECT_TRUE(savedServer("other"));
}

} // namespace
