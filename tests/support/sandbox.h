#pragma once

#include "core/face/bar_keys.h"
#include "core/settings/settings.h"
#include "core/settings/settings_store.h"
#include "platform/widgets/formtimer.h"
#include "support/await_task.h"
#include "support/fakebrowser.h"
#include "support/faketransfer.h"
#include "windows/bar/frm_quendra.h"
#include "windows/playlist/frm_quendraplaylist.h"
#include "windows/settings_dialog/frmsettings.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// A settings file of the test's own in a temporary folder, with the shared
// settings record reset before and after.
class SettingsSandbox
{
public:
    SettingsSandbox()
    {
        resetSettingsRecord();
        setSettingsFolder(m_folder.path());
    }
    ~SettingsSandbox()
    {
        setSettingsFolder(QString());
        resetSettingsRecord();
    }
    bool isValid() const { return m_folder.isValid(); }
    QString iniPath() const { return m_folder.filePath(QStringLiteral("Quendra.ini")); }
    void write(const QByteArray &bytes) const
    {
        QFile file(iniPath());
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }
    QByteArray read() const
    {
        QFile file(iniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_folder;
};

// The program's windows for one test, closed in order when it ends; the
// program's end is recorded instead of carried out.
class TestWindows
{
public:
    TestWindows() = default;
    ~TestWindows() { close(); }
    Q_DISABLE_COPY_MOVE(TestWindows)
    // A new bar, loaded from the settings file as at a start.
    frm_Quendra &start()
    {
        close();
        bar = std::make_unique<frm_Quendra>();
        QObject::connect(bar.get(), &frm_Quendra::applicationClosed, [this] { ++ends; });
        bar->Form_Load();
        return *bar;
    }
    // The bar takes its playlist window and dialog with it.
    void close() { bar.reset(); }

    std::unique_ptr<frm_Quendra> bar;
    int ends = 0;
};

// The program's windows in direct mode against a scripted player at
// http://player:4800 with the password "pw": answers by command, password
// left out ("/getinfo?p=&a=1"); a command without an answer fails.
class WindowTest : public testing::Test
{
protected:
    static constexpr char kDirect[] = "[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nHTTPQ_SERVER=player\r\nHTTPQ_PASSWD=pw\r\n"
                                      "REFRESH=0\r\n";

    WindowTest()
    {
        m_httpq.answer = [this](const QString &, const QString &url) { return m_answers.value(command(url)); };
    }
    void SetUp() override { ASSERT_TRUE(m_settings.isValid()); }
    // The bar as the program starts it from these settings, every timer running.
    frm_Quendra &startFrom(const QByteArray &settings)
    {
        m_settings.write(settings);
        return m_windows.start();
    }
    // The bar started from these settings, its status poll and marquee stopped.
    frm_Quendra &start(const QByteArray &settings = kDirect)
    {
        frm_Quendra &bar = startFrom(settings);
        bar.timRefreshStatus->setEnabled(false);
        bar.timDisplaySongtitle->setEnabled(false);
        return bar;
    }
    // A left click in the middle of one of the face's buttons.
    async::Task<> press(BarButton button)
    {
        const QPointF at = barButtonCentre(button);
        return m_windows.bar->picQuendraDirect_MouseDown(Qt::LeftButton, float(at.x()), float(at.y()));
    }
    frm_QuendraPlaylist &playlist() { return *m_windows.bar->playlistWindow(); }
    // The playlist window's list, filled from this answer to its request.
    void fillPlaylist(const QString &answer)
    {
        m_answers[QStringLiteral("/getplaylisttitle?p=")] = answer;
        FakeTransfer *transfer = m_httpq.transfer(QStringLiteral("inetPlayList"));
        // The fake takes its answer when the request starts.
        transfer->cancel();
        playlist().RequestPlaylist();
        transfer->completeGet();
        // A long answer goes into the list over a few turns of the event loop.
        EXPECT_TRUE(QTest::qWaitFor([this] { return !playlist().isFilling(); }, 5000));
    }
    static bool activate(QWidget *window)
    {
        window->show();
        window->activateWindow();
        return QTest::qWaitForWindowActive(window);
    }
    static QString command(const QString &url) { return url.mid(url.indexOf(u'/', 7)).remove(QStringLiteral("pw")); }
    // The requests since the last call, as channel and command ("net /play?p=").
    QStringList sent()
    {
        static const QMap<QString, QString> channels = {{QStringLiteral("NetworkConnection"), QStringLiteral("net ")},
                                                        {QStringLiteral("InetStatusCheck"), QStringLiteral("status ")},
                                                        {QStringLiteral("inetPlayList"), QStringLiteral("list ")},
                                                        {QStringLiteral("inetPLAction"), QStringLiteral("action ")}};
        QStringList requests;
        for (const Exchange &exchange : std::as_const(m_httpq.log)) {
            EXPECT_TRUE(exchange.url.startsWith(u"http://player:4800/")) << exchange.url.toStdString();
            requests.append(channels.value(exchange.channel) + command(exchange.url));
        }
        m_httpq.log.clear();
        return requests;
    }

    SettingsSandbox m_settings;
    FakeHttpq m_httpq;
    FakeBrowsers m_browsers;
    QMap<QString, std::optional<QString>> m_answers;
    TestWindows m_windows;
};
