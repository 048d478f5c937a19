#pragma once
// Keeps the desktop's colour manager (colord) in step with the agent's
// display profiles while the agent runs. colord forgets the user's profiles
// when it stops; once it has started again, the profiles of the association
// store are made known to it anew, and it gives each display device the
// profiles it had, in their order. Without a system bus this does nothing.

#include <QObject>

#include <memory>

namespace platform {
class ColorManagerWatch;
}
class QSocketNotifier;

class CColorManagerFollower : public QObject
{
    Q_OBJECT

public:
    explicit CColorManagerFollower(QObject* parent = nullptr);
    ~CColorManagerFollower() override;

    // The number of times colord was found started and offered the profiles.
    int Offers() const { return m_offers; }

private:
    void OnReadable();

    std::unique_ptr<platform::ColorManagerWatch> m_watch;
    QSocketNotifier* m_notifier = nullptr;
    int m_offers = 0;
};
