#include "formtimer.h"
#include "qt_platform.h"
#include "support/sandbox.h"
#include "translations.h"
#include "webbrowser.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTranslator>

namespace {

TEST(FormTimer, TicksOnlyWithAnIntervalItCanTakeAndKeepsItsCountWhenSetAgain)
{
    FormTimer timer(1000, true);
    EXPECT_FALSE(timer.setInterval(-1));
    EXPECT_FALSE(timer.setInterval(65536));
    EXPECT_EQ(timer.interval(), 1000);
    EXPECT_TRUE(timer.isTicking());
    EXPECT_TRUE(timer.setInterval(0)); // a refresh of 0 stops the poll
    EXPECT_FALSE(timer.isTicking());

    // A poll that sets a slightly longer sibling's interval on every tick
    // must not keep that sibling from ever firing.
    FormTimer slower(150, true);
    QSignalSpy ticks(&slower, &FormTimer::timeout);
    FormTimer faster(100, true);
    QObject::connect(&faster, &FormTimer::timeout, [&] { slower.setInterval(150); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks.count() >= 2; }, 3000));
}

TEST(ApplicationEnvironment, WaylandSessionsGoThroughXWaylandAndRootDisablesTheSandbox)
{
    const char *names[] = {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "QTWEBENGINE_CHROMIUM_FLAGS"};
    const QByteArray saved[] = {qgetenv(names[0]), qgetenv(names[1]), qgetenv(names[2])};
    qunsetenv("QT_QPA_PLATFORM");
    qputenv("WAYLAND_DISPLAY", "wayland-0");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--foo");

    prepareApplicationEnvironment(false);
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), "xcb;wayland");
    prepareApplicationEnvironment(true);
    EXPECT_EQ(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"), geteuid() == 0 ? "--foo --no-sandbox" : "--foo");
    // A platform the user chose stays.
    qputenv("QT_QPA_PLATFORM", "wayland");
    prepareApplicationEnvironment(false);
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), "wayland");

    for (int i = 0; i < 3; ++i)
        saved[i].isNull() ? qunsetenv(names[i]) : qputenv(names[i], saved[i]);
}

// The real browser loader with no module where it looks, as on a system
// without the browser's package.
class MissingBrowserModule : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        ASSERT_TRUE(m_nowhere.isValid());
        setWebBrowserFactory({});
        setWebBrowserModulePlaces(QStringList{m_nowhere.filePath(QStringLiteral("quendra-webbrowser"))});
    }
    void TearDown() override
    {
        m_windows.close();
        setWebBrowserModulePlaces(std::nullopt);
        InstallTestBrowserFactory();
    }
    static QString notice(const WebBrowser *browser)
    {
        const auto *label = browser->findChild<QLabel *>();
        return label && label->isVisibleTo(browser) ? label->text() : QString();
    }

    QTemporaryDir m_nowhere;
};

TEST_F(MissingBrowserModule, WebControlSaysWhatIsMissingAndHowToGetItOrGoDirect)
{
    frm_Quendra &bar = start("[WINAMP]\r\nURL=http://player/control\r\n[PLAYLIST]\r\nURL=http://player/list\r\n");
    for (const WebBrowser *browser : {bar.QuendraWebbrowser, playlist().QuendraPlaylistWebbrowser}) {
        const QString text = notice(browser);
        EXPECT_TRUE(text.contains(QStringLiteral("package quendra-webbrowser"))) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("\"direct to httpq\""))) << text.toStdString();
    }

    const std::unique_ptr<QTranslator> german = loadTranslation(QLocale(QLocale::German, QLocale::Germany));
    ASSERT_NE(german, nullptr);
    QCoreApplication::installTranslator(german.get());
    bar.QuendraWebbrowser->navigate(QStringLiteral("http://player/control"));
    const QString text = notice(bar.QuendraWebbrowser);
    QCoreApplication::removeTranslator(german.get());
    EXPECT_TRUE(text.contains(QStringLiteral("Paket quendra-webbrowser"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("„direkt zu httpq“"))) << text.toStdString();
}

} // namespace
