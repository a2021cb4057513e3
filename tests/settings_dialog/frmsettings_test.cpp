#include "httpqsimulator.h"
#include "picturebox.h"
#include "support/fakebrowser.h"
#include "support/faketransfer.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QRadioButton>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

class SettingsDialog : public testing::Test
{
protected:
    frm_Quendra &startBar(const QByteArray &settings)
    {
        m_settings.write(settings);
        return m_windows.start();
    }
    frmSettings &open()
    {
        frmSettings *dialog = frmSettings::instance();
        dialog->show();
        return *dialog;
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

    SettingsSandbox m_settings;
    FakeHttpq m_httpq;
    FakeBrowsers m_browsers;
    TestWindows m_windows;
};

TEST_F(SettingsDialog, ShowsTheStoredSettingsAndEveryEditTakesEffect)
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
}

// The dialog's look is its picture: a dark theme (light text, dark fields)
// changes none of its pixels.
TEST_F(SettingsDialog, LooksTheSameUnderADarkTheme)
{
    const QImage light = open().grab().toImage();
    delete frmSettings::existing();
    const QPalette theme = QApplication::palette();
    QApplication::setPalette(QPalette(QColor(0x35, 0x35, 0x35), QColor(0x24, 0x24, 0x24)));
    const QImage dark = open().grab().toImage();
    QApplication::setPalette(theme);
    EXPECT_TRUE(dark == light);
}

TEST_F(SettingsDialog, SaveInWebControlModeSendsBothBrowsersToTheNewPages)
{
    startBar("[WINAMP]\r\nURL=http://old/c\r\n[PLAYLIST]\r\nURL=http://old/p\r\n");
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
                                     dialog.optProxy[1], dialog.optProxy[2]})
            EXPECT_GE(option->width(), option->sizeHint().width())
                << where.toStdString() << ": " << option->text().toStdString();
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

TEST_F(SettingsDialog, CancelKeepsTypedValuesInEffectUntilTheNextShutdown)
{
    frm_Quendra &bar = startBar("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nREFRESH=0\r\nHTTPQ_SERVER=old\r\n");
    frmSettings &dialog = open();
    EXPECT_TRUE(dialog.optConnectType[1]->isChecked());
    EXPECT_EQ(shownTexts(dialog).mid(0, 4), QStringList({u"httpq server URL"_s, u"old"_s, u"httpq port"_s, u"4800"_s}));
    dialog.txt_URL[0]->setText(u"typed"_s);
    dialog.picCancel_Click();
    EXPECT_TRUE(m_settings.read().contains("HTTPQ_SERVER=old\r\n"));
    m_httpq.log.clear();
    awaitTask(bar.picQuendraDirect_MouseDown(Qt::LeftButton, 20, 47));
    ASSERT_FALSE(m_httpq.log.isEmpty());
    EXPECT_TRUE(m_httpq.log.at(0).url.startsWith(u"http://typed:4800/play?p="));
    bar.CloseApplication();
    EXPECT_TRUE(m_settings.read().contains("HTTPQ_SERVER=typed\r\n"));
}

TEST_F(SettingsDialog, TheStripButtonTogglesTheDialogAndTheTrayItemOpensIt)
{
    frm_Quendra &bar = startBar("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nREFRESH=0\r\n");
    bar.TopBar_MouseDown(1, 0, 100, 100);
    ASSERT_TRUE(frmSettings::existing() && frmSettings::existing()->isVisible());
    bar.TopBar_MouseDown(2, 0, 100, 100);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(frmSettings::existing(), nullptr);

    bar.my_frmSysTray_MenuClick(4, u"Settings"_s);
    frmSettings *dialog = frmSettings::existing();
    ASSERT_NE(dialog, nullptr);
    // A second "Settings" keeps the open dialog (and what was typed in it).
    dialog->txt_URL[2]->setText(u"typed"_s);
    bar.my_frmSysTray_MenuClick(4, u"Settings"_s);
    EXPECT_EQ(frmSettings::existing(), dialog);
    EXPECT_EQ(dialog->txt_URL[2]->text(), u"typed");
}

TEST_F(SettingsDialog, AnyButtonOnTheBackgroundMovesTheDialog)
{
    frmSettings &dialog = open();
    dialog.move(50, 60);
    const QPoint pressAt = dialog.mapToGlobal(QPoint(300, 100));
    QTest::mousePress(dialog.windowHandle(), Qt::RightButton, Qt::NoModifier, QPoint(300, 100));
    ASSERT_EQ(QWidget::mouseGrabber(), &dialog);
    QTest::mouseMove(&dialog, dialog.mapFromGlobal(pressAt + QPoint(30, 20)));
    QTest::mouseRelease(&dialog, Qt::RightButton);
    EXPECT_EQ(dialog.pos(), QPoint(80, 80));
}

TEST_F(SettingsDialog, FromNoSettingsToAPlayingBarAgainstTheSimulator)
{
    // The player's server compares the password in its code page, Windows-1252.
    HttpqSimOptions options;
    options.password = u"p\u00e4ssw\u00f6rd"_s;
    HttpqSimulator sim(options);
    HttpqPlayerState state = sim.state();
    state.titles = HttpqSimulator::generatedTitles(12);
    state.playState = HttpqPlayerState::Playing;
    sim.setState(state);
    ASSERT_TRUE(sim.listen(QHostAddress::LocalHost, 0));
    setInetTransferFactory({});

    // First start: no settings file, web-control mode.
    m_windows.start();
    m_windows.bar->TopBar_MouseDown(1, 0, 100, 100);
    frmSettings *dialog = frmSettings::existing();
    ASSERT_NE(dialog, nullptr);
    QTest::mouseClick(dialog->optConnectType[1], Qt::LeftButton);
    dialog->txt_URL[0]->setText(u"127.0.0.1"_s);
    dialog->txt_URL[1]->setText(QString::number(sim.serverPort()));
    dialog->txt_URL[3]->setText(u"200"_s);
    // QTest::keyClicks takes ASCII only; a key with a letter on it sends its text.
    dialog->txt_URL[2]->setFocus();
    for (const QChar letter : std::as_const(options.password))
        QTest::sendKeyEvent(QTest::Click, dialog->txt_URL[2], Qt::Key_unknown, QString(letter), Qt::NoModifier);
    ASSERT_EQ(dialog->txt_URL[2]->text(), options.password);
    QTest::mouseClick(dialog->picSave, Qt::LeftButton);
    m_windows.bar->CloseApplication();
    m_windows.close();
    resetSettingsRecord();

    // Restart: direct mode against the simulator, which answers only the right password.
    frm_Quendra &bar = m_windows.start();
    ASSERT_TRUE(isDirectMode());
    frm_QuendraPlaylist *playlist = frm_QuendraPlaylist::existing();
    ASSERT_NE(playlist, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar.lblStatus->text() == u"Playing"; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar.lblSongTitle->text().startsWith(state.titles.at(0)); }, 5000));
    const QAbstractItemModel *entries = playlist->listPlayList->model();
    EXPECT_TRUE(QTest::qWaitFor([&] { return entries->rowCount() == 12; }, 5000));
    EXPECT_EQ(entries->index(3, 0).data().toString(), u"   "_s + state.titles.at(3));
}

} // namespace
