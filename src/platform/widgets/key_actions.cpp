#include "key_actions.h"

#include <QKeyEvent>
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

} // namespace

void onKeys(QWidget *widget, const QList<int> &keys, std::function<void()> action)
{
    new KeyAction(widget, keys, std::move(action));
}
