#pragma once

#include <QPixmap>
#include <QPointF>
#include <QString>
#include <QWidget>

// A picture control: draws its artwork stretched over its area (or a plain
// background colour) and reports mouse presses in its own coordinate scale,
// twips unless a user scale is set.
class PictureBox final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PictureBox)

public:
    explicit PictureBox(const QString &artPath, QWidget *parent = nullptr);

    void setArt(const QString &artPath);
    // Artwork rendered for a size at a screen scale.
    static QPixmap renderArt(const QString &artPath, QSize size, qreal ratio);
    // Maps the inner area to width x height units, whatever its size.
    void setUserScale(double width, double height);
    double scaleWidth() const;
    double scaleHeight() const;
    // Pixel position inside the picture to its own units, and back.
    QPointF toUnits(QPointF pixels) const;
    QPointF toPixels(QPointF units) const;
    // Where the last press happened, in global coordinates.
    QPoint lastPressGlobal() const { return m_pressGlobal; }

Q_SIGNALS:
    void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, QPointF position);
    void clicked();
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    QString m_artPath;
    QPixmap m_cache;
    bool m_userScale = false;
    double m_scaleWidth = 0;
    double m_scaleHeight = 0;
    bool m_pressed = false;
    QPoint m_pressGlobal;
};
