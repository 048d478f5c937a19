#include "platform/ddc/DdcTransport.h"

#include "platform/ddc/SimulatedMonitors.h"

#include <cstdlib>

namespace platform {

std::unique_ptr<DdcTransport> CreateDdcTransport(Clock& clock)
{
    const char* simulated = std::getenv(kSimulatedMonitorsEnv);
    if (simulated != nullptr && *simulated != '\0')
        return std::make_unique<SimulatedDdcTransport>(simulated, clock);
    return CreateLibDdcutilTransport();
}

} // namespace platform
