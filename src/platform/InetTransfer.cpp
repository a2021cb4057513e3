#include "platform/InetTransfer.h"

#include "platform/QtInetTransfer.h"

namespace {
InetTransferFactory g_factory;
}

InetTransfer *CreateInetTransfer(const QString &name, QObject *owner)
{
    InetTransfer *transfer = g_factory ? g_factory(name, owner) : new QtInetTransfer(owner);
    transfer->setObjectName(name);
    return transfer;
}

void SetInetTransferFactory(InetTransferFactory factory)
{
    g_factory = std::move(factory);
}
