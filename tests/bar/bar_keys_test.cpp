#include "core/face/bar_keys.h"
#include "core/face/face_logic.h"

#include <gtest/gtest.h>

namespace {

TEST(BarKeys, MapToTheirButtonOrMark)
{
    using enum BarButton;
    const auto press = [](BarButton button) { return BarKey{BarKeyAction::Press, button}; };
    // Z, X, S, R, Down, Tab, Backtab, Space and Return the keyboard tests
    // press through the bar. Caps Lock or Shift on the other letters changes
    // nothing; shortcuts of others and keys the player has no use for do
    // nothing.
    const std::tuple<int, Qt::KeyboardModifiers, BarKey> keys[] = {
        {Qt::Key_C, {}, press(Pause)},
        {Qt::Key_V, {}, press(Stop)},
        {Qt::Key_V, Qt::ShiftModifier, press(FadeOutAndStop)},
        {Qt::Key_B, {}, press(Next)},
        {Qt::Key_Up, Qt::KeypadModifier, press(VolumeUp)},
        {Qt::Key_X, Qt::ShiftModifier, press(Play)},
        {Qt::Key_Tab, Qt::ShiftModifier, {BarKeyAction::MarkPrevious}},
        {Qt::Key_Enter, Qt::KeypadModifier, {BarKeyAction::PressMarked}},
        {Qt::Key_X, Qt::ControlModifier, {}},
        {Qt::Key_V, Qt::AltModifier | Qt::ShiftModifier, {}},
        {Qt::Key_B, Qt::MetaModifier, {}},
        {Qt::Key_Tab, Qt::ControlModifier, {}},
        {Qt::Key_A, {}, {}},
        {Qt::Key_Escape, {}, {}}};
    for (const auto &[key, modifiers, expected] : keys) {
        const BarKey got = barKeyFor(key, modifiers);
        EXPECT_EQ(got.action, expected.action) << std::hex << key << " " << modifiers.toInt();
        if (expected.action == BarKeyAction::Press) {
            EXPECT_EQ(got.button, expected.button) << std::hex << key;
        }
    }
}

// Whatever point of a face button's area a person or a screen reader
// presses, the face's grid answers with that button, and its centre (where
// the keyboard presses) too.
TEST(BarButtonAreas, EveryPointOfAFaceButtonLandsOnItsCell)
{
    for (const BarButton button : kBarButtons) {
        if (isStripButton(button))
            continue;
        const QRectF area = barButtonArea(button);
        const QPointF centre = barButtonCentre(button);
        const auto atCentre = faceCellAt(float(centre.x()), float(centre.y()));
        ASSERT_TRUE(atCentre);
        EXPECT_EQ(faceButtonAt(*atCentre), button) << int(button);
        // Inside the edges, whose rounding belongs to one side or the other.
        for (double x = area.left() + 0.25; x < area.right(); x += 0.5) {
            for (double y = area.top() + 0.25; y < area.bottom(); y += 0.5) {
                const auto cell = faceCellAt(float(x), float(y));
                ASSERT_TRUE(cell);
                EXPECT_EQ(faceButtonAt(*cell), button) << int(button) << " at " << x << ", " << y;
            }
        }
    }
}

} // namespace
