#include "platform/widgets/picturebox.h"

#include "platform/window/twips.h"

#include <QFile>
#include <QFontMetricsF>
#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>

#include <algorithm>

PictureBox::PictureBox(const QString &artPath, QWidget *parent)
    : QWidget(parent)
    , m_artPath(artPath)
{
    installPictureAccessibility();
}

void PictureBox::setArt(const QString &artPath)
{
    m_artPath = artPath;
    m_cache = QPixmap();
    update();
}

void PictureBox::setArtTexts(ArtTexts texts)
{
    m_artTexts = std::move(texts);
    m_cache = QPixmap();
    update();
}

namespace {

// The SVG text with each word of `texts` replaced; a replacement wider than
// the room its element has is squeezed horizontally around its anchor.
QByteArray withTexts(const QString &artPath, const PictureBox::ArtTexts &texts)
{
    QFile file(artPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString svg = QString::fromUtf8(file.readAll());
    const QRegularExpressionMatch box =
        QRegularExpression(QStringLiteral(R"(viewBox="[-\d.]+ [-\d.]+ ([\d.]+))")).match(svg);
    const double boxWidth = box.hasMatch() ? box.captured(1).toDouble() : 0;
    for (const auto &[from, to] : texts) {
        if (from == to)
            continue;
        const QRegularExpression element(QStringLiteral("<text\\b([^>]*)>") + QRegularExpression::escape(from)
                                         + QStringLiteral("</text>"));
        const QRegularExpressionMatch found = element.match(svg);
        if (!found.hasMatch())
            continue;
        QString attributes = found.captured(1);
        auto attribute = [&](const QString &name) {
            const QRegularExpressionMatch m =
                QRegularExpression(QStringLiteral("\\b%1=\"([^\"]*)\"").arg(name)).match(attributes);
            return m.hasMatch() ? m.captured(1) : QString();
        };
        const double x = attribute(QStringLiteral("x")).toDouble();
        const double fontSize = attribute(QStringLiteral("font-size")).toDouble();
        const bool middle = attribute(QStringLiteral("text-anchor")) == u"middle";
        if (boxWidth > 0 && fontSize > 0) {
            // Measured at 4 times the size for a finer width.
            QFont font(attribute(QStringLiteral("font-family")).section(u',', 0, 0).trimmed());
            font.setPixelSize(qRound(fontSize * 4));
            font.setBold(attribute(QStringLiteral("font-weight")) == u"bold");
            const double width = QFontMetricsF(font).horizontalAdvance(to) / 4;
            const double margin = 4;
            const double room = middle ? boxWidth - 2 * margin : boxWidth - x - margin;
            if (width > room && room > 0) {
                const double s = room / width;
                attributes += QStringLiteral(" transform=\"matrix(%1 0 0 1 %2 0)\"").arg(s).arg(x * (1 - s));
            }
        }
        svg.replace(found.capturedStart(), found.capturedLength(),
                    QStringLiteral("<text") + attributes + u'>' + to.toHtmlEscaped() + QStringLiteral("</text>"));
    }
    return svg.toUtf8();
}

} // namespace

QPixmap PictureBox::renderArt(const QString &artPath, QSize size, qreal ratio, const ArtTexts &texts)
{
    const QSize pixels = (QSizeF(size) * ratio).toSize();
    QPixmap art(pixels);
    art.fill(Qt::transparent);
    {
        QPainter painter(&art);
        const bool translated = std::any_of(texts.cbegin(), texts.cend(),
                                            [](const auto &text) { return text.first != text.second; });
        QSvgRenderer renderer;
        if (translated)
            renderer.load(withTexts(artPath, texts));
        else
            renderer.load(artPath);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
    }
    art.setDevicePixelRatio(ratio);
    return art;
}

QIcon PictureBox::renderIcon(const QString &artPath)
{
    // Drawn here rather than by QIcon from the file: that needs Qt's SVG icon
    // plugin, which some releases package apart, and without it the tray
    // would show nothing at all. Every size goes into each window's icon
    // property: none beyond 128 pixels, as Qt's own choice for scalable icons.
    QIcon icon;
    for (const int side : {16, 22, 24, 32, 48, 64, 128})
        icon.addPixmap(renderArt(artPath, QSize(side, side), 1));
    return icon;
}

void PictureBox::setUserScale(double width, double height)
{
    m_userScale = true;
    m_scaleWidth = width;
    m_scaleHeight = height;
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
        m_cache = renderArt(m_artPath, size(), ratio, m_artTexts);
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_cache);
    if (!m_focusMark.isEmpty()) {
        // Amber reads on the dark keys and on the light panels alike.
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(255, 176, 0), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(m_focusMark).adjusted(1, 1, -1, -1), 3, 3);
    }
}

void PictureBox::setSpots(QList<Spot> spots)
{
    m_spots = std::move(spots);
}

QRect PictureBox::spotRect(qsizetype index) const
{
    if (index < 0 || index >= m_spots.size())
        return {};
    const QRectF area = m_spots[index].area;
    return QRectF(toPixels(area.topLeft()), toPixels(area.bottomRight())).toAlignedRect();
}

void PictureBox::setFocusMark(const QRect &area, qsizetype spot)
{
    if (area.isEmpty())
        spot = -1;
    if (area == m_focusMark && spot == m_markedSpot)
        return;
    m_focusMark = area;
    m_markedSpot = spot;
    update();
    if (spot >= 0)
        notifySpotFocus(this, spot);
}

void PictureBox::setButton(const QString &name)
{
    m_button = true;
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(name);
}

void PictureBox::keyPressEvent(QKeyEvent *event)
{
    if (m_button && !event->isAutoRepeat()
        && (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        emit clicked();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PictureBox::focusInEvent(QFocusEvent *event)
{
    if (m_button)
        setFocusMark(rect());
    QWidget::focusInEvent(event);
}

void PictureBox::focusOutEvent(QFocusEvent *event)
{
    if (m_button)
        setFocusMark({});
    QWidget::focusOutEvent(event);
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
