#pragma once

#include "bar/bar_keys.h"

#include <QObject>
#include <QPointer>

#include <optional>

class frm_Quendra;
class PictureBox;

// The bar for the keyboard and for assistive technologies: the buttons of
// the face and of the title strip as named spots with press actions, the
// player's keys, and a focus mark that Tab moves over the buttons. Every
// press goes to the handler a click on that place runs.
class BarKeyboard final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BarKeyboard)

public:
    explicit BarKeyboard(frm_Quendra &bar);

    // Does what a click on the button does: for shuffle, repeat and the
    // playlist, on their ON mark while it is shown, else on the face.
    void press(BarButton button);
    // The button under the focus mark, if any.
    std::optional<BarButton> marked() const;

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
    PictureBox *pictureOf(BarButton button) const;
    static qsizetype spotOf(BarButton button);

    frm_Quendra &m_bar;
    // The bar as a window, and its pictures, also while the bar is being taken down and no
    // longer a frm_Quendra (its close and its children's hiding still send
    // events here).
    QWidget *m_window;
    QPointer<PictureBox> m_face;
    QPointer<PictureBox> m_strip;
    QPointer<PictureBox> m_shuffleMark;
    QPointer<PictureBox> m_loopMark;
    QPointer<PictureBox> m_playlistMark;
    int m_marked = -1;
};
