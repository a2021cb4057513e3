#include "windows/bar/marqueelabel.h"

#include "core/face/face_logic.h"

#include <QAccessibleWidget>
#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>

namespace {

// What text() reports: more than any screen shows.
constexpr qsizetype kTextChars = 1024;
// A ring laid out afresh on each step shows at most this many characters.
constexpr qsizetype kWindowChars = 4096;
// Glyph positions are multiples of 1/64 pixel.
constexpr qreal kSlack = 1.0 / 128;
// The most the steps' pictures take: a ring of some 270 characters at the
// bar's size, 70 at twice that.
constexpr qsizetype kMaxStepBytes = 4 << 20;

bool holdsRightToLeft(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        switch (QChar::direction(c)) {
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirRLE:
        case QChar::DirRLO:
        case QChar::DirRLI:
        case QChar::DirFSI: return true;
        default: break;
        }
    }
    return false;
}

// To assistive technologies the marquee is the label it looks like.
QAccessibleInterface *marqueeAccessible(const QString &className, QObject *object)
{
    if (className == u"MarqueeLabel" && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::StaticText);
    return nullptr;
}

} // namespace

MarqueeLabel::MarqueeLabel(const QString &caption, QWidget *parent)
    : QWidget(parent)
{
    static bool accessible = false;
    if (!std::exchange(accessible, true))
        QAccessible::installFactory(marqueeAccessible);
    // Everything under the label is painted by the label itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setText(caption);
}

void MarqueeLabel::setText(const QString &caption)
{
    setRing(caption, caption.size());
}

void MarqueeLabel::setRing(const QString &text, qsizetype ringSize)
{
    m_text = text;
    m_ringSize = std::clamp<qsizetype>(ringSize, 0, text.size());
    m_rotation = 0;
    m_layoutValid = false;
    m_runs.clear();
    m_charX.clear();
    m_steps.clear();
    // Screen readers get the title once, not a new text on every step.
    setAccessibleName(marqueeCaption(m_text, kTextChars));
    update();
}

void MarqueeLabel::setRotation(qsizetype rotation)
{
    if (rotation == m_rotation)
        return;
    m_rotation = rotation;
    // Painting at once spares the event loop a posted update and a turn.
    if (isVisible())
        repaint();
}

qsizetype MarqueeLabel::keptSteps() const
{
    return std::count_if(m_steps.cbegin(), m_steps.cend(), [](const QPixmap &step) { return !step.isNull(); });
}

QString MarqueeLabel::text() const
{
    return marqueeWindow(m_text, m_ringSize, m_rotation, kTextChars);
}

void MarqueeLabel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        m_layoutValid = false;
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange)
        m_steps.clear();
    QWidget::changeEvent(event);
}

void MarqueeLabel::resizeEvent(QResizeEvent *event)
{
    m_steps.clear();
    QWidget::resizeEvent(event);
}

void MarqueeLabel::layOutRing()
{
    m_layoutValid = true;
    m_steps.clear();
    m_runs.clear();
    m_charX.clear();
    if (m_ringSize > kMaxLayoutChars)
        return;
    const QString ring = marqueeWindow(m_text, m_ringSize, 0, m_ringSize);
    if (holdsRightToLeft(ring))
        return;

    QTextLayout layout(ring, font(), this);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    if (!line.isValid())
        return;
    m_runs = line.glyphRuns();
    m_charX.resize(size_t(ring.size()) + 1);
    for (qsizetype i = 0; i <= ring.size(); ++i)
        m_charX[size_t(i)] = line.cursorToX(int(i));
}

bool MarqueeLabel::updateBackdrop()
{
    // The whole face, drawn as the face draws itself, so that its pixels fall
    // on the same device pixels at any scale; taken once: it does not change.
    QWidget *face = parentWidget();
    const qreal ratio = devicePixelRatioF();
    const QSize faceSize = face ? face->size() : size();
    if (!m_backdrop.isNull() && m_backdrop.devicePixelRatio() == ratio && m_backdropSize == faceSize)
        return false;
    m_backdropSize = faceSize;
    QPixmap backdrop((QSizeF(faceSize) * ratio).toSize());
    backdrop.setDevicePixelRatio(ratio);
    backdrop.fill(window()->palette().color(QPalette::Window));
    if (face)
        face->render(&backdrop, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    m_backdrop = backdrop;
    return true;
}

void MarqueeLabel::paintEvent(QPaintEvent *)
{
    QRect visible = rect();
    if (const QWidget *face = parentWidget())
        visible &= face->rect().translated(-pos());
    if (visible.isEmpty())
        return;
    if (updateBackdrop())
        m_steps.clear();
    if (!m_layoutValid)
        layOutRing();

    const qsizetype rotation = m_rotation > 0 && m_rotation < m_ringSize ? m_rotation : 0;
    const qreal ratio = m_backdrop.devicePixelRatio();
    // Only the part within the face shows: a picture of that part.
    const QSize pixels = (QSizeF(visible.size()) * ratio).toSize();
    if (m_steps.empty() && m_ringSize > 0 && m_ringSize * pixels.width() * pixels.height() * 4 <= kMaxStepBytes)
        m_steps.resize(size_t(m_ringSize));
    QPainter painter(this);
    if (size_t(rotation) >= m_steps.size()) {
        paintStep(painter, visible, rotation);
        return;
    }
    QPixmap &step = m_steps[size_t(rotation)];
    if (step.isNull()) {
        step = QPixmap(pixels);
        step.setDevicePixelRatio(ratio);
        step.fill(window()->palette().color(QPalette::Window));
        QPainter drawing(&step);
        drawing.setFont(font());
        drawing.translate(-visible.topLeft());
        paintStep(drawing, visible, rotation);
    }
    painter.drawPixmap(visible.topLeft(), step);
}

void MarqueeLabel::paintStep(QPainter &painter, const QRect &visible, qsizetype rotation)
{
    painter.drawPixmap(parentWidget() ? QPoint(-pos()) : QPoint(), m_backdrop);
    if (m_ringSize == 0)
        return;
    painter.setPen(palette().color(QPalette::WindowText));
    if (m_charX.empty()) {
        drawWindow(painter, visible);
        return;
    }
    // The ring from the rotated character on, then its start after its end:
    // each glyph where a layout of the rotated text would put it. A step that
    // cuts a ligature in two lays its few characters out afresh.
    const qreal start = m_charX[size_t(rotation)];
    if (!startsGlyph(start)) {
        drawWindow(painter, visible);
        return;
    }
    const qreal right = visible.right() + 1;
    drawGlyphs(painter, -start, start, start + right);
    const qreal wrapped = m_charX.back() - start;
    if (rotation > 0 && wrapped < right)
        drawGlyphs(painter, wrapped, 0, std::min(start, right - wrapped));
}

bool MarqueeLabel::startsGlyph(qreal x) const
{
    if (x <= 0)
        return true;
    const auto byX = [](const QPointF &p, qreal at) { return p.x() < at; };
    for (const QGlyphRun &run : m_runs) {
        const QList<QPointF> positions = run.positions();
        const auto found = std::lower_bound(positions.cbegin(), positions.cend(), x - kSlack, byX);
        if (found != positions.cend() && found->x() < x + kSlack)
            return true;
    }
    return false;
}

void MarqueeLabel::drawGlyphs(QPainter &painter, qreal base, qreal from, qreal to)
{
    for (const QGlyphRun &run : std::as_const(m_runs)) {
        const QList<QPointF> positions = run.positions();
        const QList<quint32> glyphs = run.glyphIndexes();
        const auto byX = [](const QPointF &p, qreal x) { return p.x() < x; };
        const auto first = std::lower_bound(positions.cbegin(), positions.cend(), from - kSlack, byX);
        const auto last = std::lower_bound(first, positions.cend(), to - kSlack, byX);
        const qsizetype begin = first - positions.cbegin();
        const qsizetype count = last - first;
        if (count <= 0)
            continue;
        QGlyphRun piece;
        piece.setRawFont(run.rawFont());
        piece.setRawData(glyphs.constData() + begin, positions.constData() + begin, int(count));
        painter.drawGlyphRun(QPointF(base, 0), piece);
    }
}

void MarqueeLabel::drawWindow(QPainter &painter, const QRect &visible)
{
    // Only the characters that reach into view, laid out as the label's text.
    const QFontMetricsF metrics(font(), this);
    const qreal right = visible.right() + 1;
    const qsizetype limit = std::min(m_ringSize, kWindowChars);
    qsizetype at = m_rotation > 0 && m_rotation < m_ringSize ? m_rotation : 0;
    qsizetype count = 0;
    for (qreal x = 0; count < limit && x <= right; ++count) {
        x += metrics.horizontalAdvance(marqueeChar(m_text[at]));
        if (++at == m_ringSize)
            at = 0;
    }
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignTop, marqueeWindow(m_text, m_ringSize, m_rotation, count + 1));
}
