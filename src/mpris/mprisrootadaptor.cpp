#include "mprisrootadaptor.h"

#include "mprisbridge.h"

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
