#pragma once

#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QPointF>
#include <QString>
#include <QWidget>

#include <functional>
#include <utility>

// A picture control: draws its artwork stretched over its area (or a plain
// background colour) and reports mouse presses in its own coordinate scale,
// twips unless a user scale is set.
class PictureBox final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PictureBox)

public:
    explicit PictureBox(const QString &artPath, QWidget *parent = nullptr);

    // Words drawn in the artwork and what to show instead: their translation.
    using ArtTexts = QList<std::pair<QString, QString>>;

    void setArt(const QString &artPath);
    void setArtTexts(ArtTexts texts);
    // Artwork rendered for a size at a screen scale, with its words replaced
    // (squeezed to the width there is where a translation is longer).
    static QPixmap renderArt(const QString &artPath, QSize size, qreal ratio, const ArtTexts &texts = {});
    // Artwork as an icon, in the sizes trays, panels and window lists ask for.
    static QIcon renderIcon(const QString &artPath);
    // Maps the inner area to width x height units, whatever its size.
    void setUserScale(double width, double height);
    // Pixel position inside the picture to its own units, and back.
    QPointF toUnits(QPointF pixels) const;
    QPointF toPixels(QPointF units) const;
    // Where the last press happened, in global coordinates.
    QPoint lastPressGlobal() const { return m_pressGlobal; }

    // A part of the picture that works as a button, for the keyboard and for
    // assistive technologies; the mouse still goes through mouseDown.
    struct Spot
    {
        QString name;
        // In the picture's own units.
        QRectF area;
        std::function<void()> press;
        // For a switch: whether it is on; empty for a plain button.
        std::function<bool()> isOn;
        // The key that presses it, as a person types it ("x"), if any.
        QString key;
    };
    void setSpots(QList<Spot> spots);
    const QList<Spot> &spots() const { return m_spots; }
    // A spot's area in pixels of the picture.
    QRect spotRect(qsizetype index) const;
    // Draws the keyboard's focus mark around an area in pixels, for a spot
    // (-1 for none); an empty area removes it.
    void setFocusMark(const QRect &area, qsizetype spot = -1);
    QRect focusMark() const { return m_focusMark; }
    qsizetype markedSpot() const { return m_markedSpot; }

    // Makes the whole picture one button: it takes the focus by Tab or click,
    // shows a focus mark, and Space or Return click it.
    void setButton(const QString &name);
    bool isButton() const { return m_button; }

Q_SIGNALS:
    void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, QPointF position);
    void clicked();
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    QString m_artPath;
    ArtTexts m_artTexts;
    QPixmap m_cache;
    bool m_userScale = false;
    double m_scaleWidth = 0;
    double m_scaleHeight = 0;
    bool m_pressed = false;
    QPoint m_pressGlobal;
    QList<Spot> m_spots;
    QRect m_focusMark;
    qsizetype m_markedSpot = -1;
    bool m_button = false;
};

// Assistive technologies see a picture as the program uses it: a picture
// used as a button is a push button, and each spot of a picture that works
// as a button is a child push button (a switch is a check box, on or off),
// all with a press action that does what a click does.
void installPictureAccessibility();

// Tells assistive technologies that the keyboard's mark moved to a spot, or
// that a switch spot went on or off.
void notifySpotFocus(PictureBox *picture, qsizetype spot);
void notifySpotStateChanged(PictureBox *picture, qsizetype spot);
