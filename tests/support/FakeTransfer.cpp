#include "support/FakeTransfer.h"

FakeHttpq::FakeHttpq()
{
    SetInetTransferFactory([this](const QString &, QObject *owner) {
        auto *transfer = new FakeTransfer(*this, owner);
        transfers.append(transfer);
        return transfer;
    });
}

FakeHttpq::~FakeHttpq()
{
    SetInetTransferFactory({});
}

FakeTransfer *FakeHttpq::transfer(const QString &channel) const
{
    for (const auto &transfer : transfers) {
        if (transfer && transfer->objectName() == channel)
            return transfer;
    }
    return nullptr;
}

FakeTransfer::FakeTransfer(FakeHttpq &script, QObject *owner)
    : InetTransfer(owner)
    , m_script(script)
{
}

std::optional<QString> FakeTransfer::fetch(const QString &url)
{
    if (m_busy)
        return std::nullopt;
    m_script.log.append({objectName(), url});
    return m_script.answer ? m_script.answer(objectName(), url) : std::nullopt;
}

bool FakeTransfer::startGet(const QString &url)
{
    if (m_busy)
        return false;
    m_script.log.append({objectName(), url});
    m_pending = m_script.answer ? m_script.answer(objectName(), url) : std::nullopt;
    m_busy = true;
    return true;
}

QString FakeTransfer::readChunk(int size)
{
    const QString piece = m_answer.left(size);
    m_answer.remove(0, piece.size());
    return piece;
}

void FakeTransfer::setBusy(bool busy)
{
    m_busy = busy;
    if (!busy)
        emit requestEnded();
}

void FakeTransfer::cancel()
{
    const bool wasBusy = std::exchange(m_busy, false);
    m_pending.reset();
    if (wasBusy)
        emit requestEnded();
}

void FakeTransfer::completeGet()
{
    if (!m_busy)
        return;
    m_busy = false;
    if (std::optional<QString> answer = std::exchange(m_pending, std::nullopt)) {
        m_answer = *answer;
        emit stateChanged(kResponseCompleted);
    }
    emit requestEnded();
}
