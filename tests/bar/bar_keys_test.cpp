#include "bar_keys.h"
#include "face_logic.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct KeyCase
{
    int key;
    Qt::KeyboardModifiers modifiers;
    BarKey expected;
};

void PrintTo(const KeyCase &c, std::ostream *out)
{
    *out << "key 0x" << std::hex << c.key << " modifiers 0x" << c.modifiers.toInt();
}

BarKey pressOf(BarButton button)
{
    return {BarKeyAction::Press, button};
}

class BarKeys : public testing::TestWithParam<KeyCase>
{ };

TEST_P(BarKeys, MapToTheirButtonOrMark)
{
    const KeyCase &c = GetParam();
    const BarKey got = barKeyFor(c.key, c.modifiers);
    EXPECT_EQ(got.action, c.expected.action) << c.key;
    if (c.expected.action == BarKeyAction::Press) {
        EXPECT_EQ(got.button, c.expected.button) << c.key;
    }
}

INSTANTIATE_TEST_SUITE_P(PlayerKeys, BarKeys,
                         testing::Values(KeyCase{Qt::Key_Z, Qt::NoModifier, pressOf(BarButton::Previous)},
                                         KeyCase{Qt::Key_X, Qt::NoModifier, pressOf(BarButton::Play)},
                                         KeyCase{Qt::Key_C, Qt::NoModifier, pressOf(BarButton::Pause)},
                                         KeyCase{Qt::Key_V, Qt::NoModifier, pressOf(BarButton::Stop)},
                                         KeyCase{Qt::Key_V, Qt::ShiftModifier, pressOf(BarButton::FadeOutAndStop)},
                                         KeyCase{Qt::Key_B, Qt::NoModifier, pressOf(BarButton::Next)},
                                         KeyCase{Qt::Key_Up, Qt::KeypadModifier, pressOf(BarButton::VolumeUp)},
                                         KeyCase{Qt::Key_Down, Qt::NoModifier, pressOf(BarButton::VolumeDown)},
                                         KeyCase{Qt::Key_S, Qt::NoModifier, pressOf(BarButton::Shuffle)},
                                         KeyCase{Qt::Key_R, Qt::NoModifier, pressOf(BarButton::Repeat)},
                                         // Caps Lock or Shift on the other letters changes nothing.
                                         KeyCase{Qt::Key_X, Qt::ShiftModifier, pressOf(BarButton::Play)},
                                         KeyCase{Qt::Key_Tab, Qt::NoModifier, {BarKeyAction::MarkNext}},
                                         KeyCase{Qt::Key_Tab, Qt::ShiftModifier, {BarKeyAction::MarkPrevious}},
                                         KeyCase{Qt::Key_Backtab, Qt::ShiftModifier, {BarKeyAction::MarkPrevious}},
                                         KeyCase{Qt::Key_Space, Qt::NoModifier, {BarKeyAction::PressMarked}},
                                         KeyCase{Qt::Key_Return, Qt::NoModifier, {BarKeyAction::PressMarked}},
                                         KeyCase{Qt::Key_Enter, Qt::KeypadModifier, {BarKeyAction::PressMarked}},
                                         // Shortcuts of others, and keys the player has no use for.
                                         KeyCase{Qt::Key_X, Qt::ControlModifier, {}},
                                         KeyCase{Qt::Key_V, Qt::AltModifier | Qt::ShiftModifier, {}},
                                         KeyCase{Qt::Key_Tab, Qt::ControlModifier, {}},
                                         KeyCase{Qt::Key_A, Qt::NoModifier, {}},
                                         KeyCase{Qt::Key_Escape, Qt::NoModifier, {}}));

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

// The strip's areas have exclusive bounds: the centre is strictly inside
// the row 75..150, and the areas do not overlap.
TEST(BarButtonAreas, StripButtonsLieInsideTheStripsButtonRow)
{
    QRectF previous;
    for (const BarButton button : {BarButton::Settings, BarButton::Hide, BarButton::Close}) {
        const QPointF centre = barButtonCentre(button);
        EXPECT_GT(centre.y(), 75);
        EXPECT_LT(centre.y(), 150);
        EXPECT_GT(centre.x(), barButtonArea(button).left());
        EXPECT_LT(centre.x(), 4125);
        EXPECT_FALSE(previous.intersects(barButtonArea(button)));
        previous = barButtonArea(button);
    }
    EXPECT_GT(barButtonCentre(BarButton::Settings).x(), 75);
    EXPECT_LT(barButtonCentre(BarButton::Settings).x(), 150);
    EXPECT_GT(barButtonCentre(BarButton::Hide).x(), 3825);
    EXPECT_LT(barButtonCentre(BarButton::Hide).x(), 3900);
    EXPECT_GT(barButtonCentre(BarButton::Close).x(), 3945);
}

} // namespace
