#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QVariantMap>

class QMetaProperty;

// org.freedesktop.DBus.Properties for the media controls' interfaces, over
// the other adaptors' Qt properties. Qt's own answers a Set whose value has
// the wrong type by converting it (a string switched shuffle on); this one
// answers it with InvalidArgs, the error D-Bus names for a wrong argument.
class MprisPropertiesAdaptor final : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.DBus.Properties")

public:
    // Serves the adaptors that are children of `object`, on `bus`.
    MprisPropertiesAdaptor(QObject *object, const QDBusConnection &bus);

public Q_SLOTS:
    QDBusVariant Get(const QString &interface, const QString &name, const QDBusMessage &message);
    QVariantMap GetAll(const QString &interface, const QDBusMessage &message);
    void Set(const QString &interface, const QString &name, const QDBusVariant &value, const QDBusMessage &message);

Q_SIGNALS:
    void PropertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &invalidated);

private:
    // The adaptor of the interface; null, and an error sent, when there is none.
    QObject *adaptorFor(const QString &interface, const QDBusMessage &message) const;
    // The property of the adaptor; invalid, and an error sent, when there is none.
    QMetaProperty propertyOf(const QObject *adaptor, const QString &name, const QDBusMessage &message) const;
    void sendError(const QDBusMessage &message, QDBusError::ErrorType type, const QString &text) const;

    QDBusConnection m_bus;
};
