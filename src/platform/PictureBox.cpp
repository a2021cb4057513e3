#include "platform/PictureBox.h"

#include "platform/twips.h"

#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>

PictureBox::PictureBox(const QString &artPath, QWidget *parent)
    : QWidget(parent)
    , m_artPath(artPath)
{
}

void PictureBox::setArt(const QString &artPath)
{
    m_artPath = artPath;
    m_cache = QPixmap();
    update();
}

QPixmap PictureBox::renderArt(const QString &artPath, QSize size, qreal ratio)
{
    const QSize pixels = (QSizeF(size) * ratio).toSize();
    QPixmap art(pixels);
    art.fill(Qt::transparent);
    {
        QPainter painter(&art);
        QSvgRenderer renderer(artPath);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
    }
    art.setDevicePixelRatio(ratio);
    return art;
}

void PictureBox::setUserScale(double width, double height)
{
    m_userScale = true;
    m_scaleWidth = width;
    m_scaleHeight = height;
}

double PictureBox::scaleWidth() const
{
    return m_userScale ? m_scaleWidth : width() * kTwipsPerPixel;
}

double PictureBox::scaleHeight() const
{
    return m_userScale ? m_scaleHeight : height() * kTwipsPerPixel;
}

QPointF PictureBox::toUnits(QPointF pixels) const
{
    if (!m_userScale)
        return pixels * kTwipsPerPixel;
    const double w = std::max(1, width());
    const double h = std::max(1, height());
    return {pixels.x() * m_scaleWidth / w, pixels.y() * m_scaleHeight / h};
}

QPointF PictureBox::toPixels(QPointF units) const
{
    if (!m_userScale)
        return units / kTwipsPerPixel;
    return {units.x() * width() / m_scaleWidth, units.y() * height() / m_scaleHeight};
}

void PictureBox::paintEvent(QPaintEvent *)
{
    if (m_artPath.isEmpty())
        return;
    // The artwork is rendered once per size and screen scale, not per repaint:
    // the labels on the face repaint it several times a second.
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (m_cache.size() != pixels || m_cache.devicePixelRatio() != ratio)
        m_cache = renderArt(m_artPath, size(), ratio);
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_cache);
}

void PictureBox::mousePressEvent(QMouseEvent *event)
{
    m_pressed = true;
    m_pressGlobal = event->globalPosition().toPoint();
    emit mouseDown(event->button(), event->modifiers(), toUnits(event->position()));
}

void PictureBox::mouseReleaseEvent(QMouseEvent *event)
{
    const bool wasPressed = std::exchange(m_pressed, false);
    if (wasPressed && rect().contains(event->position().toPoint()))
        emit clicked();
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second press of a double click is a press like the first.
    mousePressEvent(event);
    emit doubleClicked();
}
