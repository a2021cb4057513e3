#include "platform/widgets/reader.h"

#include <QAccessibleWidget>

#include <utility>

namespace {

constexpr char kRoleProperty[] = "quendraReaderRole";
// A title of ten million characters is not read out.
constexpr qsizetype kLongestMessage = 200;

QAccessibleInterface *readerFactory(const QString &className, QObject *object)
{
    // Asked for each class the object is, the most derived first: only the
    // window's own class answers, so that no base class's interface is taken.
    if (!object || !object->isWidgetType() || className != QLatin1String(object->metaObject()->className()))
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (qobject_cast<ReaderNotice *>(object))
        return new QAccessibleWidget(widget, QAccessible::Notification);
    const QVariant role = object->property(kRoleProperty);
    if (!role.isValid())
        return nullptr;
    return new QAccessibleWidget(widget, QAccessible::Role(role.toInt()));
}

void installReaderFactory()
{
    static bool installed = false;
    if (!std::exchange(installed, true))
        QAccessible::installFactory(readerFactory);
}

} // namespace

void setReaderRole(QWidget *window, QAccessible::Role role)
{
    installReaderFactory();
    window->setProperty(kRoleProperty, int(role));
}

ReaderNotice::ReaderNotice(QWidget *window)
    : QWidget(window)
{
    installReaderFactory();
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    // Draws nothing; a pixel large, as a widget of no size may count as not shown.
    setGeometry(0, 0, 1, 1);
    hide();
}

void ReaderNotice::announce(const QString &message)
{
    if (!QAccessible::isActive())
        return;
    // Shown anew each time: the reader speaks the notification as it appears.
    hide();
    setAccessibleName(message.left(kLongestMessage));
    show();
}
