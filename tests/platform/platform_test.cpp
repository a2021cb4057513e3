#include "platform/browser/webbrowser.h"
#include "platform/session/qt_platform.h"
#include "platform/session/translations.h"
#include "platform/widgets/formtimer.h"
#include "platform/window/screen_fit.h"
#include "support/sandbox.h"

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

TEST(ScreenFit, WindowsWhoseStripsShowStayAndOthersComeOntoTheNearestScreen)
{
    const QList<ScreenArea> small = {{QRect(0, 0, 800, 600), {}}};
    // Two 1920 x 1080 monitors side by side, a panel along the top of the first.
    const QList<ScreenArea> pair = {{QRect(0, 0, 1920, 1080), QRect(0, 24, 1920, 1056)},
                                    {QRect(1920, 0, 1920, 1080), {}}};
    // The second one lower and smaller; the corner between them is outside both.
    const QList<ScreenArea> stepped = {{QRect(0, 0, 1920, 1080), {}}, {QRect(1920, 300, 1280, 1024), {}}};
    const QList<ScreenArea> mirrored = {{QRect(0, 0, 1024, 768), {}}, {QRect(0, 0, 1024, 768), {}}};
    const std::optional<QPoint> stays;
    // The windows that move as one (the bar with its docked playlist), where
    // they go. Each window's strip is its top 15 pixels, and every strip must show.
    const std::tuple<const char *, QList<QRect>, QList<ScreenArea>, std::optional<QPoint>> cases[] = {
        {"wholly on the screen", {{400, 300, 275, 133}}, small, stays},
        {"strip just on, the rest below the edge", {{400, 585, 275, 133}}, small, stays},
        {"strip one pixel too low", {{400, 586, 275, 133}}, small, QPoint(400, 467)},
        {"strip one pixel off the left", {{-1, 300, 275, 133}}, small, QPoint(0, 300)},
        {"strip one pixel off the right", {{526, 300, 275, 133}}, small, QPoint(525, 300)},
        {"above the screen", {{100, -20, 275, 133}}, small, QPoint(100, 0)},
        {"a monitor that is gone", {{2184, 500, 275, 133}}, small, QPoint(525, 467)},
        {"far up and left", {{-5000, -5000, 275, 133}}, small, QPoint(0, 0)},
        {"on the second monitor", {{2900, 500, 275, 133}}, pair, stays},
        {"across the two monitors", {{1800, 500, 275, 133}}, pair, stays},
        {"under the first monitor's panel: the strip shows", {{100, 0, 275, 133}}, pair, stays},
        {"above the first monitor: onto its free area", {{100, -40, 275, 133}}, pair, QPoint(100, 24)},
        {"off the second monitor's right edge", {{3700, 500, 275, 133}}, pair, QPoint(3565, 500)},
        {"in the corner no monitor shows", {{2000, 100, 275, 133}}, stepped, QPoint(2000, 300)},
        {"reaching onto the second monitor: onto it", {{1700, 1100, 275, 133}}, stepped, QPoint(1920, 1100)},
        {"nearer the first monitor", {{1500, 1100, 275, 133}}, stepped, QPoint(1500, 947)},
        {"mirrored screens, each showing half the strip", {{800, 300, 275, 133}}, mirrored, QPoint(749, 300)},
        {"larger than the screen", {{100, 100, 900, 700}}, small, QPoint(0, 0)},
        {"larger than the screen, already at its corner", {{0, 700, 900, 700}}, small, QPoint(0, 0)},
        {"no screens at all", {{-5000, 0, 275, 133}}, {}, stays},
        {"a docked pair, the playlist's strip below",
         {{400, 467, 275, 133}, {400, 600, 275, 133}},
         small,
         QPoint(400, 334)},
        {"a docked pair whose strips both show", {{400, 367, 275, 133}, {400, 500, 275, 133}}, small, stays},
    };
    for (const auto &[name, windows, screens, place] : cases) {
        SCOPED_TRACE(name);
        QRect all;
        QList<QRect> strips;
        for (const QRect &window : windows) {
            all |= window;
            strips.append({window.topLeft(), QSize(window.width(), 15)});
        }
        EXPECT_EQ(placeOnScreens(all, strips, screens), place);
    }
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
        installTestBrowserFactory();
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
