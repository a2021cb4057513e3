#include "desktop/mpris/media_controls.h"

#include "core/settings/settings.h"
#include "desktop/mpris/mprisbridge.h"
#include "desktop/mpris/mprisplayeradaptor.h"
#include "desktop/mpris/mprispropertiesadaptor.h"
#include "desktop/mpris/mprisrootadaptor.h"

std::unique_ptr<MprisBridge> attachMediaControls(MediaHost &bar)
{
    if (!isDirectMode())
        return nullptr;
    return attachMediaControls(bar, QDBusConnection::sessionBus());
}

std::unique_ptr<MprisBridge> attachMediaControls(MediaHost &bar, const QDBusConnection &bus)
{
    if (!isDirectMode() || !bus.isConnected())
        return nullptr;
    auto bridge = std::make_unique<MprisBridge>(bar, bus);
    // The adaptors are the bridge's children: exported with it, gone with it.
    new MprisRootAdaptor(bridge.get());
    new MprisPlayerAdaptor(bridge.get());
    new MprisPropertiesAdaptor(bridge.get(), bus);
    if (!bridge->registerOnBus())
        return nullptr;
    return bridge;
}
