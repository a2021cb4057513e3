#include "platform/FormTimer.h"
#include "platform/PictureBox.h"
#include "platform/qt_platform.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

namespace {

TEST(FormTimer, TicksOnlyWhileEnabledWithAPositiveInterval)
{
    FormTimer timer(0, true);
    EXPECT_FALSE(timer.isTicking());
    EXPECT_TRUE(timer.setInterval(20));
    EXPECT_TRUE(timer.isTicking());
    QSignalSpy ticks(&timer, &FormTimer::timeout);
    EXPECT_TRUE(ticks.wait(2000));

    EXPECT_TRUE(timer.setInterval(0));
    EXPECT_FALSE(timer.isTicking());
    EXPECT_TRUE(timer.isEnabled());

    FormTimer disabled(125, false);
    EXPECT_FALSE(disabled.isTicking());
    disabled.setEnabled(true);
    EXPECT_TRUE(disabled.isTicking());
}

TEST(FormTimer, RefusesIntervalsItCannotTake)
{
    FormTimer timer(1000, true);
    EXPECT_FALSE(timer.setInterval(-1));
    EXPECT_FALSE(timer.setInterval(65536));
    EXPECT_EQ(timer.interval(), 1000);
    EXPECT_TRUE(timer.isTicking());
    EXPECT_TRUE(timer.setInterval(65535));
}

TEST(FormTimer, SettingTheSameIntervalKeepsTheCountGoing)
{
    // A poll that sets a slightly longer sibling's interval on every tick
    // must not keep that sibling from ever firing.
    FormTimer slower(150, true);
    QSignalSpy ticks(&slower, &FormTimer::timeout);
    FormTimer faster(100, true);
    QObject::connect(&faster, &FormTimer::timeout, [&] { slower.setInterval(150); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks.count() >= 2; }, 3000));
}

TEST(PictureBox, ReportsPressesInItsOwnScale)
{
    PictureBox box{QString()};
    box.resize(275, 133);
    EXPECT_EQ(box.toUnits(QPointF(10, 4)), QPointF(150, 60));
    box.setUserScale(120, 60);
    EXPECT_EQ(box.toUnits(QPointF(275, 133)), QPointF(120, 60));
    EXPECT_EQ(box.toPixels(QPointF(60, 30)), QPointF(137.5, 66.5));

    QList<QPointF> presses;
    QList<Qt::MouseButton> buttons;
    QObject::connect(&box, &PictureBox::mouseDown,
                     [&](Qt::MouseButton button, Qt::KeyboardModifiers, QPointF position) {
                         buttons.append(button);
                         presses.append(position);
                     });
    box.show();
    QTest::mousePress(&box, Qt::RightButton, Qt::NoModifier, QPoint(55, 0));
    QTest::mouseRelease(&box, Qt::RightButton, Qt::NoModifier, QPoint(55, 0));
    ASSERT_EQ(presses.size(), 1);
    EXPECT_EQ(buttons.at(0), Qt::RightButton);
    EXPECT_DOUBLE_EQ(presses.at(0).x(), 24.0);
}

TEST(ApplicationEnvironment, WaylandSessionsGoThroughXWaylandAndRootDisablesTheSandbox)
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    qunsetenv("QT_QPA_PLATFORM");
    qputenv("WAYLAND_DISPLAY", "wayland-0");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--foo");

    PrepareApplicationEnvironment(false);
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), QByteArray("xcb;wayland"));
    EXPECT_EQ(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"), QByteArray("--foo"));
    PrepareApplicationEnvironment(true);
    if (geteuid() == 0)
        EXPECT_EQ(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"), QByteArray("--foo --no-sandbox"));
    else
        EXPECT_EQ(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"), QByteArray("--foo"));

    // A platform the user chose stays.
    qputenv("QT_QPA_PLATFORM", "wayland");
    PrepareApplicationEnvironment(false);
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), QByteArray("wayland"));

    qputenv("QT_QPA_PLATFORM", platform);
    wayland.isNull() ? qunsetenv("WAYLAND_DISPLAY") : qputenv("WAYLAND_DISPLAY", wayland);
    flags.isNull() ? qunsetenv("QTWEBENGINE_CHROMIUM_FLAGS") : qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

} // namespace
