#include "HttpqSimulator.h"
#include "bar/frm_Quendra.h"
#include "platform/FormTimer.h"
#include "platform/PictureBox.h"
#include "playlist/frm_QuendraPlaylist.h"
#include "settings/Settings.h"
#include "settings/iniActions.h"
#include "settings_dialog/frmSettings.h"
#include "support/FakeBrowser.h"
#include "support/FakeTransfer.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

class SettingsDialog : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_settings.isValid()); }
    void writeSettings(const QByteArray &bytes) { m_settings.write(bytes); }
    QByteArray readFile() const { return m_settings.read(); }
    frm_Quendra &startBar(const QByteArray &settings)
    {
        writeSettings(settings);
        frm_Quendra &bar = m_windows.start();
        bar.timRefreshSongTitle->setEnabled(false);
        bar.timRefreshStatus->setEnabled(false);
        bar.timDisplaySongtitle->setEnabled(false);
        return bar;
    }
    frmSettings &open()
    {
        frmSettings *dialog = frmSettings::instance();
        dialog->show();
        return *dialog;
    }
    static bool shown(QWidget *widget) { return widget->isVisibleTo(widget->window()); }

    SettingsSandbox m_settings;
    FakeHttpq m_httpq;
    FakeBrowsers m_browsers;
    TestWindows m_windows;
    std::unique_ptr<frm_Quendra> &m_bar = m_windows.bar;
};

TEST_F(SettingsDialog, OpensOnTheStoredTypeAndProxyWithoutChangingThem)
{
    writeSettings("[HTTPQ]\r\nPROXY=NO\r\n");
    frmSettings &web = open();
    EXPECT_EQ(web.size(), QSize(543, 258));
    EXPECT_TRUE(web.optConnectType[0]->isChecked());
    EXPECT_TRUE(web.optProxy[0]->isChecked());
    EXPECT_FALSE(shown(web.txtProxy));
    EXPECT_EQ(web.Label1[0]->text(), u"Quendra Control URL");
    EXPECT_EQ(web.Label1[1]->text(), u"Playlist URL");
    EXPECT_FALSE(shown(web.Label1[2]));
    EXPECT_FALSE(shown(web.txt_URL[3]));
    EXPECT_EQ(web.txt_URL[0]->width(), 400);
    EXPECT_EQ(web.txt_URL[0]->text(), QString::fromUtf16(kDefaultControlUrl));
    EXPECT_EQ(gQuendraType, u"HTTPQ");
    EXPECT_EQ(gProxy, u"NO");
    web.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(frmSettings::existing(), nullptr);

    writeSettings("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nPROXY=10.0.0.1:3128\r\nHTTPQ_SERVER=player\r\n"
                  "HTTPQ_PORT=4801\r\nHTTPQ_PASSWD=pw\r\nREFRESH=750\r\n");
    frmSettings &direct = open();
    EXPECT_TRUE(direct.optConnectType[1]->isChecked());
    EXPECT_TRUE(direct.optProxy[2]->isChecked());
    EXPECT_TRUE(shown(direct.txtProxy));
    EXPECT_EQ(direct.txtProxy->text(), u"10.0.0.1:3128");
    EXPECT_EQ(direct.Label1[0]->text(), u"httpq server URL");
    EXPECT_EQ(direct.txt_URL[0]->width(), 200);
    const QStringList fields = {direct.txt_URL[0]->text(), direct.txt_URL[1]->text(), direct.txt_URL[2]->text(),
                                direct.txt_URL[3]->text()};
    EXPECT_EQ(fields, QStringList({QStringLiteral("player"), QStringLiteral("4801"), QStringLiteral("pw"),
                                   QStringLiteral("750")}));
    EXPECT_EQ(gProxy, u"10.0.0.1:3128");
    EXPECT_EQ(gQuendraType, u"DIRECT");

    // The manual address survives Cancel.
    direct.picCancel_Click();
    EXPECT_EQ(gProxy, u"10.0.0.1:3128");
}

TEST_F(SettingsDialog, SwitchingTheTypeRefillsTheFieldsFromTheSettings)
{
    writeSettings("[WINAMP]\r\nURL=http://h/c\r\n[PLAYLIST]\r\nURL=http://h/p\r\n");
    frmSettings &dialog = open();
    QTest::mouseClick(dialog.optConnectType[1], Qt::LeftButton);
    EXPECT_EQ(gQuendraType, u"DIRECT");
    EXPECT_EQ(dialog.Label1[1]->text(), u"httpq port");
    EXPECT_TRUE(shown(dialog.txt_URL[2]));
    EXPECT_EQ(dialog.txt_URL[1]->text(), u"4800");
    EXPECT_EQ(dialog.txt_URL[3]->text(), u"1000");
    dialog.txt_URL[0]->setText(QStringLiteral("192.168.1.9"));
    EXPECT_EQ(gHttpqServer, u"192.168.1.9");
    EXPECT_EQ(gControlUrl, u"http://h/c");

    QTest::mouseClick(dialog.optConnectType[0], Qt::LeftButton);
    EXPECT_EQ(gQuendraType, u"WEBCONTROL");
    EXPECT_EQ(dialog.txt_URL[0]->text(), u"http://h/c");
    EXPECT_EQ(dialog.txt_URL[1]->text(), u"http://h/p");
    EXPECT_FALSE(shown(dialog.txt_URL[2]));
    EXPECT_EQ(gHttpqServer, u"192.168.1.9");

    // Proxy: automatic hides the address; manual takes the field's text.
    QTest::mouseClick(dialog.optProxy[1], Qt::LeftButton);
    EXPECT_EQ(gProxy, u"DEFAULT");
    EXPECT_FALSE(shown(dialog.txtProxy));
    QTest::mouseClick(dialog.optProxy[2], Qt::LeftButton);
    EXPECT_EQ(gProxy, QString::fromUtf16(frmSettings::kExampleProxy));
    EXPECT_TRUE(shown(dialog.txtProxy));
    dialog.txtProxy->setText(QStringLiteral("cache:3128"));
    EXPECT_EQ(gProxy, u"cache:3128");
}

TEST_F(SettingsDialog, EveryKeystrokeOfTheRefreshFieldTakesEffect)
{
    writeSettings("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\n");
    frmSettings &dialog = open();
    QLineEdit *refresh = dialog.txt_URL[3];
    refresh->setFocus();
    refresh->selectAll();
    QList<qint16> seen;
    for (const char key : {'2', '0', '0', '0'}) {
        QTest::keyClick(refresh, key);
        seen.append(gRefresh);
    }
    EXPECT_EQ(seen, QList<qint16>({2, 20, 200, 2000}));
    refresh->selectAll();
    QTest::keyClick(refresh, Qt::Key_Backspace);
    EXPECT_EQ(gRefresh, 0);
    // Beyond the 16-bit range: held at its end, the program goes on.
    QTest::keyClicks(refresh, QStringLiteral("99999"));
    EXPECT_EQ(gRefresh, 32767);
    refresh->setText(QStringLiteral("12ms"));
    EXPECT_EQ(gRefresh, 12);
    refresh->setText(QStringLiteral("2.5"));
    EXPECT_EQ(gRefresh, 2);
}

TEST_F(SettingsDialog, SaveInDirectModeWritesTheFileOnly)
{
    frm_Quendra &bar = startBar("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nREFRESH=0\r\n");
    frmSettings &dialog = open();
    dialog.txt_URL[0]->setText(QStringLiteral("new-player"));
    dialog.picSave_Click();
    EXPECT_TRUE(readFile().contains("HTTPQ_SERVER=new-player\r\n"));
    EXPECT_TRUE(readFile().contains("X_STARTUP_POSITION=0\r\n"));
    EXPECT_TRUE(m_browsers.created.isEmpty());
    EXPECT_EQ(bar.QuendraWebbrowser, nullptr);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(SettingsDialog, SaveInWebControlModeSendsBothBrowsersToTheirPagesFirst)
{
    startBar("[WINAMP]\r\nURL=http://old/c\r\n[PLAYLIST]\r\nURL=http://old/p\r\n");
    ASSERT_EQ(m_browsers.created.size(), 2);
    frmSettings &dialog = open();
    dialog.txt_URL[0]->setText(QStringLiteral("http://new/c"));
    dialog.txt_URL[1]->setText(QStringLiteral("http://new/p"));
    int navigatedWhileOpen = 0;
    for (FakeBrowser *browser : std::as_const(m_browsers.created))
        browser->onNavigate = [&] { navigatedWhileOpen += dialog.isVisible(); };
    m_browsers.created.at(0)->navigations.clear();
    dialog.picSave_Click();
    EXPECT_EQ(m_browsers.created.at(0)->navigations, QStringList{QStringLiteral("http://new/c")});
    EXPECT_EQ(m_browsers.created.at(1)->navigations,
              QStringList({QStringLiteral("http://old/p"), QStringLiteral("http://new/p")}));
    EXPECT_EQ(navigatedWhileOpen, 2);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(readFile().contains("URL=http://new/c\r\n"));
}

TEST_F(SettingsDialog, CancelKeepsTypedValuesInEffectUntilTheNextShutdown)
{
    frm_Quendra &bar = startBar("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nREFRESH=0\r\nHTTPQ_SERVER=old\r\n");
    frmSettings &dialog = open();
    dialog.txt_URL[0]->setText(QStringLiteral("typed"));
    dialog.picCancel_Click();
    EXPECT_TRUE(readFile().contains("HTTPQ_SERVER=old\r\n"));
    m_httpq.log.clear();
    bar.picQuendraDirect_MouseDown(Qt::LeftButton, 20, 47);
    ASSERT_FALSE(m_httpq.log.isEmpty());
    EXPECT_TRUE(m_httpq.log.at(0).url.startsWith(u"http://typed:4800/play?p="));
    bar.CloseApplication();
    EXPECT_TRUE(readFile().contains("HTTPQ_SERVER=typed\r\n"));
}

TEST_F(SettingsDialog, TheStripButtonTogglesTheDialogAndTheTrayItemOpensIt)
{
    frm_Quendra &bar = startBar("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nREFRESH=0\r\n");
    bar.TopBar_MouseDown(1, 0, 100, 100);
    ASSERT_NE(frmSettings::existing(), nullptr);
    EXPECT_TRUE(frmSettings::existing()->isVisible());
    bar.TopBar_MouseDown(2, 0, 100, 100);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(frmSettings::existing(), nullptr);

    bar.my_frmSysTray_MenuClick(4, QStringLiteral("Settings"));
    frmSettings *dialog = frmSettings::existing();
    ASSERT_NE(dialog, nullptr);
    // A second "Settings" keeps the open dialog (and what was typed in it).
    dialog->txt_URL[2]->setText(QStringLiteral("typed"));
    bar.my_frmSysTray_MenuClick(4, QStringLiteral("Settings"));
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
    HttpqSimOptions options;
    options.password = QStringLiteral("secret");
    HttpqSimulator sim(options);
    HttpqPlayerState state = sim.state();
    state.titles = HttpqSimulator::generatedTitles(12);
    state.playState = HttpqPlayerState::Playing;
    sim.setState(state);
    ASSERT_TRUE(sim.listen(QHostAddress::LocalHost, 0));
    SetInetTransferFactory({});

    // First start: no settings file, web-control mode.
    m_windows.start();
    m_bar->TopBar_MouseDown(1, 0, 100, 100);
    frmSettings *dialog = frmSettings::existing();
    ASSERT_NE(dialog, nullptr);
    QTest::mouseClick(dialog->optConnectType[1], Qt::LeftButton);
    dialog->txt_URL[0]->setText(QStringLiteral("127.0.0.1"));
    dialog->txt_URL[1]->setText(QString::number(sim.serverPort()));
    dialog->txt_URL[2]->setText(QStringLiteral("secret"));
    dialog->txt_URL[3]->setText(QStringLiteral("200"));
    QTest::mouseClick(dialog->picSave, Qt::LeftButton);
    m_bar->CloseApplication();
    m_windows.close();
    ResetSettingsRecord();

    // Restart: direct mode against the simulator.
    m_windows.start();
    ASSERT_TRUE(IsDirectMode());
    frm_QuendraPlaylist *playlist = frm_QuendraPlaylist::existing();
    ASSERT_NE(playlist, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_bar->lblStatus->text() == u"Playing"; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_bar->lblSongTitle->text().startsWith(state.titles.at(0)); }, 5000));
    const QAbstractItemModel *entries = playlist->listPlayList->model();
    EXPECT_TRUE(QTest::qWaitFor([&] { return entries->rowCount() == 13; }, 5000));
    EXPECT_EQ(entries->index(3, 0).data().toString(), QStringLiteral("   ") + state.titles.at(3));
    EXPECT_EQ(entries->index(12, 0).data().toString(), u" ");
}

TEST_F(SettingsDialog, ANonAsciiPasswordTypedInDirectModeIsAcceptedByTheServer)
{
    // The player's server compares the password in its code page, Windows-1252.
    HttpqSimOptions options;
    options.password = QStringLiteral("p\u00e4ssw\u00f6rd");
    HttpqSimulator sim(options);
    ASSERT_TRUE(sim.listen(QHostAddress::LocalHost, 0));
    QByteArrayList lines;
    QObject::connect(&sim, &HttpqSimulator::requestReceived,
                     [&](const QByteArray &line) { lines.append(line); });
    SetInetTransferFactory({});
    frm_Quendra &bar = startBar("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nHTTPQ_SERVER=127.0.0.1\r\nHTTPQ_PORT="
                                + QByteArray::number(sim.serverPort()) + "\r\n");
    frmSettings &dialog = open();
    dialog.txt_URL[2]->setFocus();
    // QTest::keyClicks takes ASCII only; a key with a letter on it sends its text.
    for (const QChar letter : std::as_const(options.password))
        QTest::sendKeyEvent(QTest::Click, dialog.txt_URL[2], Qt::Key_unknown, QString(letter), Qt::NoModifier);
    ASSERT_EQ(dialog.txt_URL[2]->text(), options.password);

    bar.picQuendraDirect_MouseDown(Qt::LeftButton, 20, 47);
    EXPECT_TRUE(lines.contains("GET /play?p=p%E4ssw%F6rd HTTP/1.0")) << lines.join('\n').toStdString();
    EXPECT_EQ(sim.state().playState, HttpqPlayerState::Playing);
}

} // namespace
