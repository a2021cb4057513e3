#pragma once

#include <QDBusConnection>

#include <memory>

class MediaHost;
class MprisBridge;

// The bar published as the desktop's media controls: the bridge with its
// D-Bus adaptors, registered on the bus. In direct mode and with a session
// bus only; otherwise nothing at all, silently (web-control mode does not
// even look for the bus).
std::unique_ptr<MprisBridge> attachMediaControls(MediaHost &bar);
// The same on a given bus.
std::unique_ptr<MprisBridge> attachMediaControls(MediaHost &bar, const QDBusConnection &bus);
