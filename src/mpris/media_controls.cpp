#include "media_controls.h"

#include "mprisbridge.h"
#include "mprisplayeradaptor.h"
#include "mprispropertiesadaptor.h"
#include "mprisrootadaptor.h"
#include "settings.h"

std::unique_ptr<MprisBridge> AttachMediaControls(frm_Quendra &bar)
{
    if (!IsDirectMode())
        return nullptr;
    return AttachMediaControls(bar, QDBusConnection::sessionBus());
}

std::unique_ptr<MprisBridge> AttachMediaControls(frm_Quendra &bar, const QDBusConnection &bus)
{
    if (!IsDirectMode() || !bus.isConnected())
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
