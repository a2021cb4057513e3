#include "platform/window_move.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QWindow>

namespace {

// Many window managers send no release after their own move; the move is
// over at the first of a release, a pointer move or entry with no button
// held, or a pause after the last Move/Resize the manager sent.
constexpr int kSettleMs = 250;

class WindowMover final : public QObject
{
public:
    WindowMover(QWidget *window, Qt::Edges edges, QPoint pressGlobal, std::function<void()> finished)
        : QObject(window)
        , m_window(window)
        , m_edges(edges)
        , m_finished(std::move(finished))
        , m_pressGlobal(pressGlobal)
    {
        m_settle.setSingleShot(true);
        m_settle.setInterval(kSettleMs);
        connect(&m_settle, &QTimer::timeout, this, &WindowMover::finish);
    }

    void begin()
    {
        QWindow *handle = m_window->windowHandle();
        if (handle)
            m_system = m_edges ? handle->startSystemResize(m_edges) : handle->startSystemMove();
        if (!m_system) {
            m_startGeometry = m_window->geometry();
            m_window->grabMouse();
        }
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonRelease:
            finish();
            return false;
        case QEvent::MouseMove: {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->buttons() == Qt::NoButton) {
                finish();
                return false;
            }
            if (!m_system)
                follow(mouse->globalPosition().toPoint());
            return false;
        }
        case QEvent::Enter:
            if (m_system && QGuiApplication::mouseButtons() == Qt::NoButton)
                finish();
            return false;
        case QEvent::Move:
        case QEvent::Resize:
            if (m_system && watched == m_window)
                m_settle.start();
            return false;
        default:
            return false;
        }
    }

private:
    void follow(QPoint global)
    {
        const QPoint delta = global - m_pressGlobal;
        if (m_edges & Qt::BottomEdge)
            m_window->resize(m_startGeometry.width(), std::max(0, m_startGeometry.height() + delta.y()));
        else
            m_window->move(m_startGeometry.topLeft() + delta);
    }

    void finish()
    {
        if (m_done)
            return;
        m_done = true;
        qApp->removeEventFilter(this);
        m_settle.stop();
        if (!m_system && m_window)
            m_window->releaseMouse();
        deleteLater();
        // The follow-up may close the window; nothing of this object is used after it.
        std::function<void()> finished = std::move(m_finished);
        if (finished)
            finished();
    }

    QPointer<QWidget> m_window;
    Qt::Edges m_edges;
    std::function<void()> m_finished;
    QTimer m_settle;
    QPoint m_pressGlobal;
    QRect m_startGeometry;
    bool m_system = false;
    bool m_done = false;
};

} // namespace

void BeginWindowMove(QWidget *window, Qt::Edges edges, QPoint pressGlobal, std::function<void()> finished)
{
    auto *mover = new WindowMover(window, edges, pressGlobal, std::move(finished));
    mover->begin();
}
