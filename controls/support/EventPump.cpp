#include "controls/support/EventPump.h"

#include <QCoreApplication>

#include <atomic>

namespace {

// Events are pumped on the user-interface thread only; atomic all the same,
// as a cache thread may ask.
std::atomic<int> g_pumpDepth{0};

class PumpScope
{
public:
    PumpScope() { ++g_pumpDepth; }
    ~PumpScope() { --g_pumpDepth; }
    PumpScope(const PumpScope&) = delete;
    PumpScope& operator=(const PumpScope&) = delete;
};

} // namespace

void PumpEvents()
{
    const PumpScope scope;
    QCoreApplication::processEvents();
}

bool IsPumpingEvents()
{
    return g_pumpDepth.load() > 0;
}
