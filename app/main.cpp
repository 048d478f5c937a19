// CHROMIVEL. Until the main window exists, the program runs the start-up
// steps that do not need it (the per-process tables and the monitor
// profile), says what it found and exits.

#include "core/ColorProfile.h"
#include "core/Pow1by3Table.h"
#include "core/ProfileStore.h"
#include "platform/Folders.h"

#include <cstdio>

int main()
{
    platform::SetApplicationName("CHROMIVEL");
    GetPow1by3Table();

    bool switchedToOsCmm = false;
    if (!InitMonitorProfile(std::string(), &switchedToOsCmm))
    {
        std::puts("CHROMIVEL: no usable monitor profile was found.");
        return 1;
    }
    std::string description;
    GetMonitorProfile()->GetDescription(description);
    std::printf("CHROMIVEL: monitor profile \"%s\" (%s).\n", description.c_str(),
                GetMonitorProfile()->GetName().c_str());
    std::puts("CHROMIVEL: the main window is not built yet. Nothing to show, exiting.");
    FreeMonitorProfile();
    return 0;
}
