#include "platform/widgets/key_actions.h"

#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

namespace {

class KeyAction final : public QObject
{
public:
    KeyAction(QWidget *widget, const QList<int> &keys, std::function<void()> action)
        : QObject(widget)
        , m_keys(keys)
        , m_action(std::move(action))
    {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)
            || !m_keys.contains(key->key()))
            return false;
        if (!key->isAutoRepeat())
            m_action();
        return true;
    }

private:
    QList<int> m_keys;
    std::function<void()> m_action;
};

class FocusOnActivation final : public QObject
{
public:
    FocusOnActivation(QWidget *window, QWidget *widget)
        : QObject(window)
        , m_widget(widget)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Qt gives the focus back to the widget that last had it in the
        // window, else to the first child that takes it by Tab, and to the
        // window itself only while no other window's widget holds it: a
        // window that takes the keyboard itself got none after another
        // window's widget had it.
        if (event->type() == QEvent::WindowActivate && m_widget && m_widget->isVisible()) {
            const QWidget *last = static_cast<QWidget *>(watched)->focusWidget();
            if (!last || !last->isVisible() || !last->isEnabled())
                m_widget->setFocus(Qt::ActiveWindowFocusReason);
        }
        return false;
    }

private:
    QPointer<QWidget> m_widget;
};

} // namespace

void onKeys(QWidget *widget, const QList<int> &keys, std::function<void()> action)
{
    new KeyAction(widget, keys, std::move(action));
}

void takeFocusOnActivation(QWidget *window, QWidget *widget)
{
    new FocusOnActivation(window, widget);
}
