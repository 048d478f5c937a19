// libddcutil is loaded only when the real-monitor backend is created: a
// program on the simulated monitor (and every test) never has it in the
// process, and so never runs its load-time constructor.
//
// Each check runs in a fresh copy of the test program (a "threadsafe" death
// test re-executes the binary for this one test), so that no other test of
// the same run has loaded the library before.

#include "platform/ddc/DdcTransport.h"
#include "platform/ddc/SimulatedMonitors.h"

#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace platform;
using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace {

// The exit codes of the child runs: 0 when all held, else which check
// failed.
int RunOnTheSimulatedMonitor()
{
    if (IsDdcutilLoaded())
        return 1; // linked in, or loaded by someone at start-up
    auto transport = CreateDdcTransport();
    if (dynamic_cast<SimulatedDdcTransport*>(transport.get()) == nullptr)
        return 2;
    const auto monitors = transport->EnumerateMonitors();
    VcpValue v;
    if (monitors.size() != 1 || !transport->GetVcp(monitors[0], vcp::kLuminance, &v))
        return 3;
    return IsDdcutilLoaded() ? 4 : 0;
}

int RunOnTheRealBackend()
{
    if (IsDdcutilLoaded())
        return 1;
    auto transport = CreateDdcTransport();
    if (dynamic_cast<SimulatedDdcTransport*>(transport.get()) != nullptr)
        return 2;
    const auto monitors = transport->EnumerateMonitors();
    if (IsDdcutilLoaded())
        return 0;
    // A machine without the library (or with one that lacks a function
    // used here) has a backend that finds nothing and names the reason.
    const std::string why = transport->LastError();
    return monitors.empty() && why.find("libddcutil") != std::string::npos ? 0 : 5;
}

class DdcLibraryLoadTest : public ::testing::Test
{
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(DdcLibraryLoadTest, SimulatedMonitorNeverLoadsTheLibrary)
{
    TempDir dir;
    SimulatedMonitorFile file(dir.File("sim.ini"));
    ASSERT_TRUE(file.Write());
    ScopedEnv env(kSimulatedMonitorsEnv, file.Path());
    EXPECT_EXIT(std::exit(RunOnTheSimulatedMonitor()), ::testing::ExitedWithCode(0), "");
}

TEST_F(DdcLibraryLoadTest, RealBackendLoadsTheLibraryOrSaysWhyNot)
{
    ScopedEnv env(kSimulatedMonitorsEnv);
    EXPECT_EXIT(std::exit(RunOnTheRealBackend()), ::testing::ExitedWithCode(0), "");
}

} // namespace
