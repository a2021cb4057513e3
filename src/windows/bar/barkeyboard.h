#pragma once

#include "core/face/bar_keys.h"

#include <QObject>
#include <QPointer>

#include <functional>

#include <optional>

class PictureBox;
class QWidget;

// The bar for the keyboard and for assistive technologies: the buttons of
// the face and of the title strip as named spots with press actions, the
// player's keys, and a focus mark that Tab moves over the buttons. Every
// press goes to the handler a click on that place runs.
class BarKeyboard final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BarKeyboard)

public:
    // The bar's window and pictures, and the handler a click on a button's
    // place runs.
    struct Bar
    {
        QWidget *window;
        PictureBox *face;
        PictureBox *strip;
        PictureBox *shuffleMark;
        PictureBox *loopMark;
        PictureBox *playlistMark;
        std::function<void(BarButton)> click;
    };
    explicit BarKeyboard(const Bar &bar);

    // Does what a click on the button does, while the button is there.
    void press(BarButton button);
    // The button under the focus mark, if any.
    std::optional<BarButton> marked() const;
    // Whether the button has the keyboard's focus: a reader hears its own
    // changes there.
    bool hasFocusOn(BarButton button) const;

    static QString buttonName(BarButton button);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Whether the face is laid out (direct mode): else only the strip's
    // buttons work.
    bool faceShown() const;
    bool available(BarButton button) const;
    // Moves the mark by one available button; false when it would leave the
    // bar's buttons in web-control mode, where Tab goes on to the page.
    bool moveMark(int step);
    void showMark();
    // Tells assistive technologies that the marked button has the focus.
    void tellMarked();
    PictureBox *pictureOf(BarButton button) const;
    static qsizetype spotOf(BarButton button);

    std::function<void(BarButton)> m_click;
    // The bar's window and pictures, also while the bar is being taken down
    // (its close and its children's hiding still send events here).
    QWidget *m_window;
    QPointer<PictureBox> m_face;
    QPointer<PictureBox> m_strip;
    QPointer<PictureBox> m_shuffleMark;
    QPointer<PictureBox> m_loopMark;
    QPointer<PictureBox> m_playlistMark;
    int m_marked = -1;
};
