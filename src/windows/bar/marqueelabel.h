#pragma once

#include <QGlyphRun>
#include <QList>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <vector>

// The bar's one-line title label for the marquee. The ring is laid out once,
// when it changes; a step draws only the glyphs in view, at the places a
// fresh layout of the rotated text would give them, into a picture of the
// label kept for that step, so that from the second turn of the ring on a
// step only copies its picture (the glyphs' places differ by fractions of a
// pixel from step to step: no one picture of the ring serves them all). It
// paints its whole area itself (the face behind it is copied once), so a
// step repaints nothing else, and it paints at once rather than waiting for
// the event loop.
class MarqueeLabel final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MarqueeLabel)

public:
    // Longest ring laid out as a whole; a longer one (or one holding
    // right-to-left text, whose order a rotation changes) is laid out afresh
    // on each step, only as far as the label shows it.
    static constexpr qsizetype kMaxLayoutChars = 20000;

    explicit MarqueeLabel(const QString &caption, QWidget *parent = nullptr);

    // A fixed caption, shown unrotated.
    void setText(const QString &caption);
    // The first ringSize characters of text rotate; text is kept shared.
    void setRing(const QString &text, qsizetype ringSize);
    // Characters the ring is rotated left by.
    void setRotation(qsizetype rotation);

    // What the label shows, as text (at most a screenful of characters).
    QString text() const;
    // Whether the ring was laid out once (false for huge or right-to-left rings).
    bool laidOutOnce() const { return !m_charX.empty(); }
    // Steps whose picture is kept.
    qsizetype keptSteps() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void layOutRing();
    // Whether the face behind the label was taken again.
    bool updateBackdrop();
    // The label as the step at `rotation` shows it.
    void paintStep(QPainter &painter, const QRect &visible, qsizetype rotation);
    bool startsGlyph(qreal x) const;
    void drawGlyphs(QPainter &painter, qreal base, qreal from, qreal to);
    void drawWindow(QPainter &painter, const QRect &visible);

    QString m_text;
    qsizetype m_ringSize = 0;
    qsizetype m_rotation = 0;
    // The ring's glyphs, and where each of its characters starts.
    QList<QGlyphRun> m_runs;
    std::vector<qreal> m_charX;
    bool m_layoutValid = false;
    // The face behind the label, and the face's size it was taken at.
    QPixmap m_backdrop;
    QSize m_backdropSize;
    // The steps' pictures, by rotation, drawn when first shown; dropped when
    // the ring, the font, the colours or the size change.
    std::vector<QPixmap> m_steps;
};
