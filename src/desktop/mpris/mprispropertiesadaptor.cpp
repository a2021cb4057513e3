#include "desktop/mpris/mprispropertiesadaptor.h"

#include "desktop/mpris/mprisplayeradaptor.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QMetaProperty>

namespace {

QString interfaceOf(const QObject *adaptor)
{
    const QMetaObject *meta = adaptor->metaObject();
    const int index = meta->indexOfClassInfo("D-Bus Interface");
    return index < 0 ? QString() : QString::fromLatin1(meta->classInfo(index).value());
}

} // namespace

MprisPropertiesAdaptor::MprisPropertiesAdaptor(QObject *object, const QDBusConnection &bus)
    : QDBusAbstractAdaptor(object)
    , m_bus(bus)
{ }

void MprisPropertiesAdaptor::sendError(const QDBusMessage &message, QDBusError::ErrorType type,
                                       const QString &text) const
{
    message.setDelayedReply(true);
    m_bus.send(message.createErrorReply(type, text));
}

QObject *MprisPropertiesAdaptor::adaptorFor(const QString &interface, const QDBusMessage &message) const
{
    for (QObject *child : parent()->children()) {
        if (child != this && qobject_cast<QDBusAbstractAdaptor *>(child) && interfaceOf(child) == interface)
            return child;
    }
    sendError(message, QDBusError::UnknownInterface, QStringLiteral("No interface %1 here").arg(interface));
    return nullptr;
}

QMetaProperty MprisPropertiesAdaptor::propertyOf(const QObject *adaptor, const QString &name,
                                                 const QDBusMessage &message) const
{
    const QMetaObject *meta = adaptor->metaObject();
    const int index = meta->indexOfProperty(name.toUtf8().constData());
    if (index < QDBusAbstractAdaptor::staticMetaObject.propertyCount()) {
        sendError(message, QDBusError::UnknownProperty, QStringLiteral("No property %1 here").arg(name));
        return {};
    }
    return meta->property(index);
}

QDBusVariant MprisPropertiesAdaptor::Get(const QString &interface, const QString &name, const QDBusMessage &message)
{
    const QObject *adaptor = adaptorFor(interface, message);
    if (!adaptor)
        return {};
    const QMetaProperty property = propertyOf(adaptor, name, message);
    if (!property.isValid())
        return {};
    return QDBusVariant(property.read(adaptor));
}

QVariantMap MprisPropertiesAdaptor::GetAll(const QString &interface, const QDBusMessage &message)
{
    const QObject *adaptor = adaptorFor(interface, message);
    if (!adaptor)
        return {};
    QVariantMap properties;
    const QMetaObject *meta = adaptor->metaObject();
    for (int i = QDBusAbstractAdaptor::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i)
        properties.insert(QString::fromLatin1(meta->property(i).name()), meta->property(i).read(adaptor));
    return properties;
}

void MprisPropertiesAdaptor::Set(const QString &interface, const QString &name, const QDBusVariant &value,
                                 const QDBusMessage &message)
{
    QObject *adaptor = adaptorFor(interface, message);
    if (!adaptor)
        return;
    const QMetaProperty property = propertyOf(adaptor, name, message);
    if (!property.isValid())
        return;
    if (!property.isWritable()) {
        sendError(message, QDBusError::PropertyReadOnly, QStringLiteral("%1 is read-only").arg(name));
        return;
    }
    // The bus's types map one to one onto the properties' types.
    if (value.variant().metaType() != property.metaType()) {
        sendError(message, QDBusError::InvalidArgs,
                  QStringLiteral("%1 takes a %2").arg(name, QString::fromLatin1(property.metaType().name())));
        return;
    }
    // A change the player has to take waits for it: its reply goes later.
    if (auto *player = qobject_cast<MprisPlayerAdaptor *>(adaptor); player && name == u"Volume") {
        message.setDelayedReply(true);
        player->setVolume(value.variant().toDouble(), message);
        return;
    }
    property.write(adaptor, value.variant());
}
