#include "platform/window/screen_scale.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <utility>

namespace {

class ScaleFollower final : public QObject
{
public:
    explicit ScaleFollower(QWidget *window)
        : QObject(window)
        , m_window(window)
        , m_ratio(window->devicePixelRatioF())
        , m_size(window->size())
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_window)
            return false;
        if (event->type() == QEvent::Resize && !m_pending) {
            m_size = m_window->size();
        } else if (event->type() == QEvent::ScreenChangeInternal && m_window->devicePixelRatioF() != m_ratio) {
            m_ratio = m_window->devicePixelRatioF();
            // Qt follows the change with the old size in the display's pixels
            // taken at the new scale: that resize is not the window's own.
            if (!std::exchange(m_pending, true))
                QTimer::singleShot(0, this, &ScaleFollower::rescale);
        }
        return false;
    }

private:
    void rescale()
    {
        m_pending = false;
        m_window->resize(m_size);
    }

    QWidget *m_window;
    qreal m_ratio;
    QSize m_size;
    bool m_pending = false;
};

} // namespace

void followScreenScale(QWidget *window)
{
    new ScaleFollower(window);
}
