#pragma once
// The main window's options for a test over a simulated monitor: the DDC/CI
// monitor made on the simulated transport of the test's monitor file and
// clock, and a DRM folder of the test's (an empty one lists no displays).

#include "app/shell/MainFrame.h"
#include "monitor/Display.h"
#include "platform/Clock.h"
#include "platform/ddc/SimulatedMonitors.h"

#include <memory>
#include <string>

inline MainFrameOptions SimulatedMonitorFrameOptions(const std::string& monitorFile,
                                                     platform::Clock& clock,
                                                     const std::string& drmRoot)
{
    MainFrameOptions options;
    options.makeDisplay = [monitorFile, &clock, drmRoot] {
        return std::make_unique<CDdcApiDisplay>(
            std::make_unique<platform::SimulatedDdcTransport>(monitorFile, clock), clock, drmRoot);
    };
    options.drmRoot = drmRoot;
    return options;
}
