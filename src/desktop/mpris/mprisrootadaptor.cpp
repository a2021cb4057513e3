#include "desktop/mpris/mprisrootadaptor.h"

#include "desktop/mpris/mprisbridge.h"

MprisRootAdaptor::MprisRootAdaptor(MprisBridge *bridge)
    : QDBusAbstractAdaptor(bridge)
    , m_bridge(bridge)
{ }

void MprisRootAdaptor::Raise()
{
    m_bridge->raise();
}

void MprisRootAdaptor::Quit()
{
    m_bridge->quit();
}
