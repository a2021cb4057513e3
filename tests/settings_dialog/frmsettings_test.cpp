#include "platform/widgets/picturebox.h"
#include "support/sandbox.h"
#include "windows/settings_dialog/settings_host.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

using namespace Qt::StringLiterals;

namespace {

// Where no bar was started: the dialog opens on the primary screen and a save
// stores no window places.
class NoBar final : public SettingsHost
{
public:
    QWidget *hostWindow() override { return nullptr; }
    WindowPositions windowPositions() override { return {}; }
    void reloadPages() override { }
};

class SettingsDialog : public WindowTest
{
protected:
    ~SettingsDialog() override { delete m_alone; }
    // The dialog as the bar opens it, or on its own without one.
    frmSettings &open()
    {
        frmSettings *dialog = m_windows.bar ? m_windows.bar->makeSettingsDialog() : nullptr;
        if (!dialog) {
            dialog = m_alone = new frmSettings(m_noBar);
            dialog->Form_Load();
        }
        dialog->show();
        return *dialog;
    }
    // The dialog open in direct mode, active.
    void openActive()
    {
        start("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nHTTPQ_SERVER=player\r\n");
        m_dialog = m_windows.bar->makeSettingsDialog();
        ASSERT_TRUE(activate(m_dialog));
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
    static QString name(QWidget *widget)
    {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    }
    static bool shown(QWidget *widget) { return widget->isVisibleTo(widget->window()); }
    // The captions and fields the dialog shows, in order.
    static QStringList shownTexts(const frmSettings &dialog)
    {
        QStringList texts;
        for (int i = 0; i < 4; ++i) {
            if (shown(dialog.Label1[i]))
                texts << dialog.Label1[i]->text();
            if (shown(dialog.txt_URL[i]))
                texts << dialog.txt_URL[i]->text();
        }
        return shown(dialog.txtProxy) ? texts << dialog.txtProxy->text() : texts;
    }

    QPointer<frmSettings> m_dialog;
    NoBar m_noBar;
    QPointer<frmSettings> m_alone;
};

TEST_F(SettingsDialog, ShowsTheStoredSettingsEveryEditTakesEffectAndTheBackgroundMovesIt)
{
    m_settings.write("[WINAMP]\r\nURL=http://h/c\r\n[PLAYLIST]\r\nURL=http://h/p\r\n[HTTPQ]\r\nPROXY=NO\r\n"
                     "HTTPQ_SERVER=player\r\nHTTPQ_PORT=4801\r\nHTTPQ_PASSWD=pw\r\nREFRESH=750\r\n");
    frmSettings &dialog = open();
    EXPECT_TRUE(dialog.optConnectType[0]->isChecked());
    EXPECT_TRUE(dialog.optProxy[0]->isChecked());
    EXPECT_EQ(shownTexts(dialog),
              QStringList({u"Quendra Control URL"_s, u"http://h/c"_s, u"Playlist URL"_s, u"http://h/p"_s}));
    // Showing the settings changes none of them.
    EXPECT_EQ(gQuendraType, u"HTTPQ");
    EXPECT_EQ(gProxy, u"NO");

    QTest::mouseClick(dialog.optConnectType[1], Qt::LeftButton);
    EXPECT_EQ(gQuendraType, u"DIRECT");
    EXPECT_EQ(shownTexts(dialog),
              QStringList({u"httpq server URL"_s, u"player"_s, u"httpq port"_s, u"4801"_s, u"httpq password"_s, u"pw"_s,
                           u"Refresh Songtitle (ms)"_s, u"750"_s}));
    dialog.txt_URL[0]->setText(u"192.168.1.9"_s);
    EXPECT_EQ(gHttpqServer, u"192.168.1.9");
    // Every keystroke takes effect; beyond the 16-bit range the refresh is held at its end.
    QLineEdit *refresh = dialog.txt_URL[3];
    refresh->setFocus();
    refresh->selectAll();
    QList<qint16> seen;
    for (const char key : {'2', '0', '9', '9', '9'}) {
        QTest::keyClick(refresh, key);
        seen.append(gRefresh);
    }
    EXPECT_EQ(seen, QList<qint16>({2, 20, 209, 2099, 20999}));
    QTest::keyClick(refresh, '9');
    EXPECT_EQ(gRefresh, 32767);
    QTest::mouseClick(dialog.optConnectType[0], Qt::LeftButton);
    EXPECT_EQ(gQuendraType, u"WEBCONTROL");
    EXPECT_EQ(shownTexts(dialog),
              QStringList({u"Quendra Control URL"_s, u"http://h/c"_s, u"Playlist URL"_s, u"http://h/p"_s}));

    // Proxy: manual shows the address field and takes its text; automatic hides it.
    QTest::mouseClick(dialog.optProxy[2], Qt::LeftButton);
    EXPECT_EQ(gProxy, QString::fromUtf16(frmSettings::kExampleProxy));
    dialog.txtProxy->setText(u"cache:3128"_s);
    EXPECT_EQ(shownTexts(dialog).last(), u"cache:3128");
    EXPECT_EQ(gProxy, u"cache:3128");
    QTest::mouseClick(dialog.optProxy[1], Qt::LeftButton);
    EXPECT_EQ(gProxy, u"DEFAULT");
    EXPECT_FALSE(shown(dialog.txtProxy));

    // Any button on the background moves the dialog.
    dialog.move(50, 60);
    const QPoint pressAt = dialog.mapToGlobal(QPoint(300, 100));
    QTest::mousePress(dialog.windowHandle(), Qt::RightButton, Qt::NoModifier, QPoint(300, 100));
    ASSERT_EQ(QWidget::mouseGrabber(), &dialog);
    QTest::mouseMove(&dialog, dialog.mapFromGlobal(pressAt + QPoint(30, 20)));
    QTest::mouseRelease(&dialog, Qt::RightButton);
    EXPECT_EQ(dialog.pos(), QPoint(80, 80));
}

TEST_F(SettingsDialog, SaveInWebControlModeSendsBothBrowsersToTheNewPages)
{
    startFrom("[WINAMP]\r\nURL=http://old/c\r\n[PLAYLIST]\r\nURL=http://old/p\r\n");
    ASSERT_EQ(m_browsers.created.size(), 2);
    frmSettings &dialog = open();
    dialog.txt_URL[0]->setText(u"http://new/c"_s);
    dialog.txt_URL[1]->setText(u"http://new/p"_s);
    m_browsers.created.at(0)->navigations.clear();
    dialog.picSave_Click();
    EXPECT_EQ(m_browsers.created.at(0)->navigations, QStringList{u"http://new/c"_s});
    EXPECT_EQ(m_browsers.created.at(1)->navigations, QStringList({u"http://old/p"_s, u"http://new/p"_s}));
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(m_settings.read().contains("URL=http://new/c\r\n"));
}

// With a wider font than the designer's (DejaVu Sans, where Liberation Sans
// is missing), every caption still shows whole and the fields stay inside.
TEST_F(SettingsDialog, EveryTextFitsWhateverTheFont)
{
    frmSettings &dialog = open();
    const auto expectFits = [&dialog](const QString &where) {
        for (QRadioButton *option : {dialog.optConnectType[0], dialog.optConnectType[1], dialog.optProxy[0],
                                     dialog.optProxy[1], dialog.optProxy[2]}) {
            EXPECT_GE(option->width(), option->sizeHint().width())
                << where.toStdString() << ": " << option->text().toStdString();
            // The circle is drawn whole: inside its option and its group.
            QStyleOptionButton look;
            look.initFrom(option);
            const QRect circle = option->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &look, option);
            EXPECT_TRUE(option->rect().contains(circle)
                        && option->parentWidget()->rect().contains(circle.translated(option->pos())))
                << where.toStdString() << ": " << option->text().toStdString() << " circle at "
                << circle.y() + option->y() << " + " << circle.height() << " in an option " << option->height()
                << " high at " << option->y() << ", a group " << option->parentWidget()->height() << " high";
        }
        EXPECT_GT(dialog.txtProxy->x(), dialog.optProxy[2]->geometry().right()) << where.toStdString();
        for (int i = 0; i < 4; ++i) {
            if (!shown(dialog.Label1[i]))
                continue;
            const QString caption = dialog.Label1[i]->text();
            EXPECT_GE(dialog.Label1[i]->width(), dialog.Label1[i]->sizeHint().width())
                << where.toStdString() << ": " << caption.toStdString();
            EXPECT_LT(dialog.Label1[i]->geometry().right(), dialog.txt_URL[i]->x())
                << where.toStdString() << ": " << caption.toStdString();
            EXPECT_LE(dialog.txt_URL[i]->geometry().right(), dialog.width())
                << where.toStdString() << ": " << caption.toStdString();
        }
    };
    QFont wide(u"DejaVu Sans"_s);
    wide.setPixelSize(11);
    QFont wider(wide);
    wider.setPixelSize(13);
    wider.setBold(true);
    for (const QFont &font : {dialog.font(), wide, wider}) {
        dialog.setFont(font);
        const QString where = font.family() + u' ' + QString::number(font.pixelSize());
        QTest::mouseClick(dialog.optConnectType[1], Qt::LeftButton);
        expectFits(where + u" direct"_s);
        QTest::mouseClick(dialog.optConnectType[0], Qt::LeftButton);
        expectFits(where + u" web control"_s);
    }
}

// Return in a field, Space on the focused Save and a reader's press of it
// save; Escape in a field and Return on the focused Cancel cancel. Either
// way what was typed stays in effect until the next load.
TEST_F(SettingsDialog, TheKeysAndAReaderSaveOrCancel)
{
    openActive();
    enum Target { Field, Save, Cancel };
    const std::tuple<Target, Qt::Key, bool> cases[] = {{Field, Qt::Key_Return, true},
                                                       {Field, Qt::Key_Escape, false},
                                                       {Cancel, Qt::Key_Return, false},
                                                       {Save, Qt::Key_Space, true},
                                                       {Save, Qt::Key_unknown, true}}; // a reader's press
    int typed = 0;
    for (const auto &[target, key, saves] : cases) {
        const QString server = u"server%1"_s.arg(++typed);
        SCOPED_TRACE(server.toStdString());
        if (!m_dialog) {
            m_dialog = m_windows.bar->makeSettingsDialog();
            m_dialog->show();
        }
        typeServer(server);
        QWidget *pressed = target == Field ? static_cast<QWidget *>(m_dialog->txt_URL[0])
            : target == Save               ? m_dialog->picSave
                                           : m_dialog->picCancel;
        pressed->setFocus(Qt::TabFocusReason);
        if (key == Qt::Key_unknown)
            QAccessible::queryAccessibleInterface(pressed)->actionInterface()->doAction(
                QAccessibleActionInterface::pressAction());
        else
            QTest::keyClick(pressed, key);
        ASSERT_TRUE(closed());
        EXPECT_EQ(m_settings.read().contains("HTTPQ_SERVER=" + server.toLatin1()), saves);
        EXPECT_EQ(gHttpqServer, server);
    }
}

// A reader names every field by its label and each group of options, and
// never reads the password: it is masked, for the eye too. Tab goes round
// the controls, Save then Cancel.
TEST_F(SettingsDialog, EveryControlIsNamedForAReaderTabReachesSaveThenCancelAndThePasswordIsMasked)
{
    openActive();
    QList<QWidget *> visited;
    for (int i = 0; i < 20 && m_dialog; ++i) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : m_dialog.data(), Qt::Key_Tab);
        visited.append(QApplication::focusWidget());
    }
    const qsizetype save = visited.indexOf(m_dialog->picSave);
    ASSERT_GE(save, 0);
    EXPECT_EQ(visited.indexOf(m_dialog->picCancel), save + 1);
    // The focused picture button shows a mark.
    m_dialog->picSave->setFocus(Qt::TabFocusReason);
    EXPECT_FALSE(m_dialog->picSave->focusMark().isEmpty());
    EXPECT_TRUE(m_dialog->picCancel->focusMark().isEmpty());

    EXPECT_TRUE(m_dialog->optConnectType[1]->isChecked());
    const auto namedByLabels = [this] {
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(name(m_dialog->txt_URL[i]), m_dialog->Label1[i]->text()) << i;
    };
    namedByLabels();
    EXPECT_EQ(name(m_dialog->txtProxy), u"manual proxy");
    EXPECT_EQ(name(m_dialog->optConnectType[0]->parentWidget()), u"Connection type");
    EXPECT_EQ(name(m_dialog->optProxy[0]->parentWidget()), u"Proxy");
    EXPECT_EQ(name(m_dialog->picSave), u"Save");
    EXPECT_EQ(name(m_dialog->picCancel), u"Cancel");
    for (QWidget *button : {m_dialog->picSave, m_dialog->picCancel}) {
        EXPECT_EQ(QAccessible::queryAccessibleInterface(button)->role(), QAccessible::Button);
        EXPECT_TRUE(QAccessible::queryAccessibleInterface(button)->state().focusable);
    }

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
    EXPECT_EQ(field->textInterface()->text(0, 6), QString());

    // The names follow the labels as the mode changes them.
    QTest::mouseClick(m_dialog->optConnectType[0], Qt::LeftButton);
    namedByLabels();
}

// What Qt's line edit tells the readers as the dialog fills in the saved
// password and the user types over it (Qt 6.4 sends these) reaches them with
// one mask for each character, in its place: never a character of the
// password. Another field's texts pass as they are.
TEST_F(SettingsDialog, AReaderHearsThatThePasswordChangesNeverWhatItIs)
{
    static QMap<QObject *, QStringList> heard;
    // Before the dialog: its handler passes what it lets through to this one.
    QAccessible::installUpdateHandler([](QAccessibleEvent *event) {
        QString said = event->type() == QAccessible::TextCaretMoved ? u"caret"_s : QString();
        if (const auto *update = dynamic_cast<QAccessibleTextUpdateEvent *>(event))
            said =
                u"update %1 -%2 +%3"_s.arg(update->changePosition()).arg(update->textRemoved(), update->textInserted());
        else if (const auto *insert = dynamic_cast<QAccessibleTextInsertEvent *>(event))
            said = u"insert %1 +%2"_s.arg(insert->changePosition()).arg(insert->textInserted());
        else if (const auto *remove = dynamic_cast<QAccessibleTextRemoveEvent *>(event))
            said = u"remove %1 -%2"_s.arg(remove->changePosition()).arg(remove->textRemoved());
        else if (const auto *value = dynamic_cast<QAccessibleValueChangeEvent *>(event))
            said = u"value "_s + value->value().toString();
        heard[event->object()].append(said);
    });
    start("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nHTTPQ_SERVER=player\r\nHTTPQ_PASSWD=desk\r\n");
    m_dialog = m_windows.bar->makeSettingsDialog();
    QLineEdit *password = m_dialog->txt_URL[2];
    EXPECT_EQ(password->text(), u"desk");

    // Qt 6.8 passes the dialog's own filling of the fields to the handler
    // even with no reader listening (6.4 passes nothing): whatever came, no
    // letter of the password was in it.
    for (const QString &said : heard.take(password))
        for (const QChar letter : u"desk")
            EXPECT_FALSE(said.section(u' ', 2).contains(letter)) << said.toStdString();

    // What Qt calls with each update while a reader listens.
    const QAccessible::UpdateHandler handler = QAccessible::installUpdateHandler(nullptr);
    QAccessible::installUpdateHandler(handler);
    const auto told = [handler](QLineEdit *field) {
        heard.remove(field);
        const auto tell = [handler](QAccessibleEvent &&event) { handler(&event); };
        tell(QAccessibleTextUpdateEvent(field, 0, QString(), u"desk"_s));
        tell(QAccessibleTextRemoveEvent(field, 0, u"desk"_s));
        for (int i = 0; i < 2; ++i)
            tell(QAccessibleTextInsertEvent(field, i, u"V8"_s.mid(i, 1)));
        tell(QAccessibleTextRemoveEvent(field, 1, u"8"_s));
        tell(QAccessibleValueChangeEvent(field, u"V"_s));
        tell(QAccessibleTextCursorEvent(field, 1));
        return heard.take(field).join(u" | "_s);
    };
    const auto mask = QChar(password->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, password));
    EXPECT_FALSE(mask.isLetterOrNumber());
    EXPECT_EQ(
        told(password),
        u"update 0 - +**** | remove 0 -**** | insert 0 +* | insert 1 +* | remove 1 -* | caret"_s.replace(u'*', mask));
    EXPECT_EQ(told(m_dialog->txt_URL[0]),
              u"update 0 - +desk | remove 0 -desk | insert 0 +V | insert 1 +8 | remove 1 -8 | value V | caret");
}

} // namespace
