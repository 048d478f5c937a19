#include "agent/ColorManagerFollower.h"

#include "platform/ColorDirectory.h"
#include "platform/ColorManagerBus.h"

#include <QSocketNotifier>

CColorManagerFollower::CColorManagerFollower(QObject* parent)
    : QObject(parent), m_watch(std::make_unique<platform::ColorManagerWatch>())
{
    const int socket = m_watch->SocketDescriptor();
    if (socket < 0)
        return;
    m_notifier = new QSocketNotifier(socket, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CColorManagerFollower::OnReadable);
}

CColorManagerFollower::~CColorManagerFollower()
{
    // The notifier goes before the connection whose socket it watches.
    delete m_notifier;
    m_notifier = nullptr;
}

void CColorManagerFollower::OnReadable()
{
    bool started = false;
    if (!m_watch->TakeChanges(&started) || !started)
        return;
    platform::OfferDisplayProfilesToColorManager();
    ++m_offers;
}
