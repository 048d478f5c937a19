#include "agent/DdcCiLink.h"
#include "agent/AgentSettings.h"
#include "platform/Clock.h"
#include "platform/Registry.h"
#include "platform/ddc/SimulatedMonitors.h"
#include "tests/agent/FakeDdcTransport.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using agenttest::FakeDdcTransport;
using testsupport::TempDir;

namespace {

using Write = FakeDdcTransport::Write;

class DdcCiLinkTest : public ::testing::Test
{
protected:
    DdcCiLinkTest()
    {
        SetBusyValue(0);
        fake.values[0x10] = {80, 100, platform::VcpCodeType::SetParameter};
        fake.values[0x02] = {1, 2, platform::VcpCodeType::Momentary};
    }

    void SetBusyValue(std::optional<std::uint32_t> state)
    {
        platform::RegistryStore store(RegistryPath());
        if (state)
        {
            ASSERT_TRUE(store.SetDword(kDdcCiRegistryKey, kStateValueName, *state));
        }
        else
        {
            ASSERT_TRUE(store.DeleteValue(kDdcCiRegistryKey, kStateValueName));
        }
    }

    std::string RegistryPath() const { return dir.File("registry.ini"); }

    CDdcCiLink MakeLink()
    {
        return CDdcCiLink(fake, clock, platform::RegistryStore(RegistryPath()),
                          CTraceLog(dir.File("ZEPH_D.INI"), dir.File("fprintf.txt")));
    }

    TempDir dir;
    FakeDdcTransport fake;
    platform::VirtualClock clock;
};

// A channel held by the main program (any value but 0) or a busy value that
// cannot be read keeps every guarded operation off the monitor. The link
// notes a hold (a value that is there and not 0) once, for the agent to
// read the monitor's settings after it.
TEST_F(DdcCiLinkTest, BusyChannelGivesMinusOneWithoutTraffic)
{
    struct Case
    {
        const char* name;
        std::optional<std::uint32_t> state;
        const char* rawValue; // stored as it stands instead of a DWORD
        bool held;
    };
    const Case cases[] = {
        {"held by the main program", 1u, nullptr, true},
        {"any other value", 0xFFFFFFFFu, nullptr, true},
        {"value missing", std::nullopt, nullptr, false},
        {"not a DWORD", std::nullopt, "sz:0", false},
        {"malformed DWORD", std::nullopt, "dword:zero", false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        FakeDdcTransport local;
        local.values = fake.values;
        SetBusyValue(c.state);
        if (c.rawValue != nullptr)
        {
            testsupport::WriteTextFile(RegistryPath(),
                                       std::string("[Software\\QUILLBRAKE\\CHROMIVEL\\DDCCI]\n"
                                                   "State=") +
                                           c.rawValue + "\n");
        }
        CDdcCiLink link(local, clock, platform::RegistryStore(RegistryPath()),
                        CTraceLog(dir.File("none.ini"), dir.File("trace.txt")));

        VcpReply reply;
        std::string caps = "unchanged";
        ProbeTable table;
        table.fill(7);
        EXPECT_EQ(link.CheckChannelFree(), -1);
        EXPECT_EQ(link.GetVcpChecked(0, 0x10, reply), -1);
        EXPECT_EQ(link.SetVcpChecked(0, 0x10, 20), -1);
        EXPECT_EQ(link.GetCapabilitiesChecked(caps), -1);
        EXPECT_EQ(link.SetVcpStepped(0, 0x10, 90, true), -1);
        EXPECT_EQ(link.ReadNewControlValue(reply), -1);
        EXPECT_EQ(link.WriteNewControlValue(1), -1);
        EXPECT_EQ(link.ProbeMonitors(table), 2);
        EXPECT_EQ(table, ProbeTable{});
        EXPECT_EQ(caps, "unchanged");
        EXPECT_EQ(local.enumerations, 0);
        EXPECT_EQ(local.Exchanges(), 0);
        EXPECT_EQ(link.TakeChannelWasHeld(), c.held);
        EXPECT_FALSE(link.TakeChannelWasHeld()) << "noted once";

        SetBusyValue(0);
        EXPECT_EQ(link.GetVcpChecked(0, 0x10, reply), 0);
        EXPECT_FALSE(link.TakeChannelWasHeld()) << "a free channel is no hold";
    }
}

TEST_F(DdcCiLinkTest, MissingRegistryKeyOrStoreCountsAsBusy)
{
    CDdcCiLink link(fake, clock, platform::RegistryStore(dir.File("absent/registry.ini")),
                    CTraceLog(dir.File("none.ini"), dir.File("trace.txt")));
    VcpReply reply;
    EXPECT_EQ(link.GetVcpChecked(0, 0x10, reply), -1);
    EXPECT_EQ(fake.enumerations, 0);
    EXPECT_EQ(fake.Exchanges(), 0);
}

// Up to three attempts in a row, no pause; the first success ends them.
TEST_F(DdcCiLinkTest, GuardedOperationsRetryThreeTimes)
{
    struct Case
    {
        int failures; // -1: the monitor never answers
        int result;
        int exchanges;
    };
    const Case cases[] = {{0, 0, 1}, {1, 0, 2}, {2, 0, 3}, {3, -1, 3}, {-1, -1, 3}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.failures);
        {
            fake.failNext = c.failures;
            fake.getCalls = 0;
            CDdcCiLink link = MakeLink();
            VcpReply reply;
            EXPECT_EQ(link.GetVcpChecked(0, 0x10, reply), c.result);
            EXPECT_EQ(fake.getCalls, c.exchanges);
            if (c.result == 0)
            {
                EXPECT_EQ(reply.current, 80);
            }
        }
        {
            fake.failNext = c.failures;
            fake.sets.clear();
            CDdcCiLink link = MakeLink();
            EXPECT_EQ(link.SetVcpChecked(0, 0x12, 33), c.result);
            EXPECT_EQ(fake.sets,
                      std::vector<Write>(static_cast<std::size_t>(c.exchanges), Write{0x12, 33}));
        }
        {
            fake.failNext = c.failures;
            fake.capabilityCalls = 0;
            CDdcCiLink link = MakeLink();
            std::string caps;
            EXPECT_EQ(link.GetCapabilitiesChecked(caps), c.result);
            EXPECT_EQ(fake.capabilityCalls, c.exchanges);
            EXPECT_EQ(caps, c.result == 0 ? fake.capabilities : std::string());
        }
    }
    EXPECT_TRUE(clock.Sleeps().empty());
}

// The busy value is read before every attempt: when the main program takes
// the channel after a failed attempt, the link stops at once.
TEST_F(DdcCiLinkTest, BusyValueIsCheckedBeforeEachAttempt)
{
    fake.failNext = -1;
    fake.onExchange = [this](int exchange) {
        if (exchange == 1)
            SetBusyValue(1);
    };
    CDdcCiLink link = MakeLink();
    VcpReply reply;
    EXPECT_EQ(link.GetVcpChecked(0, 0x10, reply), -1);
    EXPECT_EQ(fake.getCalls, 1);
}

TEST_F(DdcCiLinkTest, ReplyCarriesCurrentMaximumAndCodeType)
{
    CDdcCiLink link = MakeLink();
    VcpReply reply;
    ASSERT_EQ(link.GetVcp(0, 0x10, reply), 0);
    EXPECT_EQ(reply.current, 80);
    EXPECT_EQ(reply.maximum, 100);
    EXPECT_EQ(reply.codeType, 0); // set parameter
    ASSERT_EQ(link.ReadNewControlValue(reply), 0);
    EXPECT_EQ(reply.current, 1);
    EXPECT_EQ(reply.maximum, 2);
    EXPECT_EQ(reply.codeType, 1); // momentary
    // A code the monitor does not know fails.
    EXPECT_EQ(link.GetVcp(0, 0x99, reply), -1);
}

// Page 2 is answered by the link itself; other pages do not exist.
TEST_F(DdcCiLinkTest, PageTwoIsAnsweredLocally)
{
    CDdcCiLink link = MakeLink();
    struct Case
    {
        int page;
        std::uint8_t code;
        int result;
        VcpReply reply;
    };
    const Case cases[] = {
        {2, 0xE8, 0, {0xFFFF, 10, 0}},
        {2, 0x68, 0, {10, 10, 0}},
        {2, 0x69, -1, {}},
        {1, 0x10, -1, {}},
        {3, 0x68, -1, {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.page << ":" << int(c.code));
        VcpReply reply{1, 2, 3};
        EXPECT_EQ(link.GetVcp(c.page, c.code, reply), c.result);
        if (c.result == 0)
        {
            EXPECT_EQ(reply.current, c.reply.current);
            EXPECT_EQ(reply.maximum, c.reply.maximum);
            EXPECT_EQ(reply.codeType, c.reply.codeType);
        }
        EXPECT_EQ(link.GetVcpChecked(c.page, c.code, reply), c.result);
    }
    EXPECT_EQ(link.SetVcp(2, 0x68, 1), -1);
    EXPECT_EQ(link.SetVcpChecked(2, 0xE8, 1), -1);
    EXPECT_EQ(link.SetVcp(1, 0x10, 1), -1);
    EXPECT_EQ(fake.enumerations, 0);
    EXPECT_EQ(fake.Exchanges(), 0);
}

TEST_F(DdcCiLinkTest, SteppedWriteHalvesLargeRises)
{
    struct Case
    {
        const char* name;
        std::uint16_t current;
        std::uint16_t maximum;
        std::uint16_t target;
        bool stepped;
        std::vector<std::uint16_t> writes;
        std::vector<std::int64_t> sleeps;
    };
    const Case cases[] = {
        {"rise beyond half the range", 10, 100, 90, true, {50, 90}, {1000}},
        {"rise of exactly half the range", 10, 100, 60, true, {60}, {}},
        {"rise within half the range", 10, 100, 50, true, {50}, {}},
        {"lower target", 80, 100, 20, true, {20}, {}},
        {"odd range and midpoint", 0, 101, 51, true, {25, 51}, {1000}},
        {"not stepped", 10, 100, 90, false, {90}, {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        FakeDdcTransport local;
        local.values[0x10] = {c.current, c.maximum, platform::VcpCodeType::SetParameter};
        platform::VirtualClock localClock;
        CDdcCiLink link(local, localClock, platform::RegistryStore(RegistryPath()),
                        CTraceLog(dir.File("none.ini"), dir.File("trace.txt")));
        EXPECT_EQ(link.SetVcpStepped(0, 0x10, c.target, c.stepped), 0);
        std::vector<std::uint16_t> written;
        for (const Write& w : local.sets)
            written.push_back(w.value);
        EXPECT_EQ(written, c.writes);
        EXPECT_EQ(localClock.Sleeps(), c.sleeps);
        EXPECT_EQ(local.getCalls, c.stepped ? 1 : 0);
    }
}

TEST_F(DdcCiLinkTest, SteppedWriteStopsAtTheFirstFailure)
{
    fake.values[0x10] = {10, 100, platform::VcpCodeType::SetParameter};
    {
        // The read fails: nothing is written.
        fake.failNext = 3;
        CDdcCiLink link = MakeLink();
        EXPECT_EQ(link.SetVcpStepped(0, 0x10, 90, true), -1);
        EXPECT_TRUE(fake.sets.empty());
    }
    {
        // The midpoint write fails three times: no pause, no final write.
        fake.failNext = 0;
        fake.onExchange = [this](int) {
            if (fake.setCalls == 1)
                fake.failNext = 3;
        };
        CDdcCiLink link = MakeLink();
        EXPECT_EQ(link.SetVcpStepped(0, 0x10, 90, true), -1);
        EXPECT_EQ(fake.sets, (std::vector<Write>{{0x10, 50}, {0x10, 50}, {0x10, 50}}));
        EXPECT_TRUE(clock.Sleeps().empty());
    }
}

TEST_F(DdcCiLinkTest, ProbeFindsTheAttemptThatAnswered)
{
    struct Case
    {
        int failures;
        int result;
        int flagged; // index of the set flag, -1 for none
        int exchanges;
    };
    // Each probe attempt is one guarded read of up to three exchanges.
    const Case cases[] = {{0, 0, 0, 1},   {2, 0, 0, 3},    {3, 0, 1, 4},
                          {22, 0, 7, 23}, {24, 2, -1, 24}, {-1, 2, -1, 24}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.failures);
        fake.failNext = c.failures;
        fake.getCalls = 0;
        fake.gets.clear();
        CDdcCiLink link = MakeLink();
        ProbeTable table;
        table.fill(9);
        EXPECT_EQ(link.ProbeMonitors(table), c.result);
        ProbeTable expected{};
        if (c.flagged >= 0)
            expected[static_cast<std::size_t>(c.flagged)] = 1;
        EXPECT_EQ(table, expected);
        EXPECT_EQ(fake.getCalls, c.exchanges);
        // The probe reads the luminance, nothing else.
        EXPECT_EQ(fake.gets,
                  std::vector<std::uint8_t>(static_cast<std::size_t>(c.exchanges), 0x10));
    }
}

// Only a monitor of the primary display is addressed.
TEST_F(DdcCiLinkTest, NoPrimaryMonitorFailsEveryExchange)
{
    for (const bool emptyList : {true, false})
    {
        SCOPED_TRACE(emptyList);
        FakeDdcTransport local;
        local.values = fake.values;
        if (emptyList)
            local.monitors.clear();
        else
            local.monitors.front().primary = false;
        CDdcCiLink link(local, clock, platform::RegistryStore(RegistryPath()),
                        CTraceLog(dir.File("none.ini"), dir.File("trace.txt")));
        VcpReply reply;
        std::string caps;
        std::vector<std::uint8_t> edid;
        platform::PhysicalMonitor monitor;
        EXPECT_EQ(link.GetVcpChecked(0, 0x10, reply), -1);
        EXPECT_EQ(link.SetVcpChecked(0, 0x10, 1), -1);
        EXPECT_EQ(link.GetCapabilitiesChecked(caps), -1);
        EXPECT_EQ(link.GetEdid(edid), -1);
        EXPECT_EQ(link.GetPrimaryMonitor(monitor), -1);
        EXPECT_EQ(local.Exchanges(), 0);
        EXPECT_EQ(local.enumerations, 3 + 3 + 3 + 1 + 1);
    }
}

// The EDID is no DDC/CI exchange: it is read even while the channel is busy.
TEST_F(DdcCiLinkTest, EdidIgnoresTheBusyValue)
{
    SetBusyValue(1);
    fake.edid = {0x00, 0xFF, 0x01};
    CDdcCiLink link = MakeLink();
    std::vector<std::uint8_t> edid;
    ASSERT_EQ(link.GetEdid(edid), 0);
    EXPECT_EQ(edid, fake.edid);
    platform::PhysicalMonitor monitor;
    ASSERT_EQ(link.GetPrimaryMonitor(monitor), 0);
    EXPECT_EQ(monitor.deviceId, "MONITOR\\QBX1234\\FAKE-1");

    fake.edidAnswer = false;
    edid = {1};
    EXPECT_EQ(link.GetEdid(edid), -1);
    EXPECT_EQ(edid, std::vector<std::uint8_t>{1});
}

// With the trace switched on, a failed exchange names the transport's reason.
TEST_F(DdcCiLinkTest, FailuresAreTracedWithTheReason)
{
    testsupport::WriteTextFile(dir.File("ZEPH_D.INI"), "[FILEOUT]\nFILEOUT_FLG=1\n");
    fake.failNext = 1;
    fake.lastError = "";
    CDdcCiLink link = MakeLink();
    VcpReply reply;
    ASSERT_EQ(link.GetVcpChecked(0, 0x10, reply), 0);
    const std::string trace = testsupport::ReadTextFile(dir.File("fprintf.txt"));
    EXPECT_NE(trace.find("-DDC/CI get VCP failed: no answer\n"), std::string::npos) << trace;
}

// The same rules against the simulated monitor, on a virtual clock.
class DdcCiLinkSimulatedTest : public ::testing::Test
{
protected:
    using Kind = platform::SimulatedExchange::Kind;

    DdcCiLinkSimulatedTest()
    {
        platform::SimulatedMonitorSetup setup = platform::DefaultSimulatedMonitor();
        for (platform::SimulatedVcpCode& code : setup.vcp)
        {
            if (code.code == platform::vcp::kLuminance)
            {
                code.current = 10;
                code.maximum = 100;
            }
        }
        EXPECT_TRUE(file.Write({setup}));
        EXPECT_TRUE(platform::RegistryStore(dir.File("registry.ini"))
                        .SetDword(kDdcCiRegistryKey, kStateValueName, 0));
    }

    CDdcCiLink MakeLink()
    {
        return CDdcCiLink(transport, clock, platform::RegistryStore(dir.File("registry.ini")),
                          CTraceLog(dir.File("none.ini"), dir.File("trace.txt")));
    }

    int Exchanges() const { return file.Counters("SIM-1").value().exchanges; }

    TempDir dir;
    platform::SimulatedMonitorFile file{dir.File("monitors.ini")};
    platform::VirtualClock clock{5000};
    platform::SimulatedDdcTransport transport{dir.File("monitors.ini"), clock};
};

TEST_F(DdcCiLinkSimulatedTest, BusyOrMissingStateLeavesTheMonitorAlone)
{
    for (const bool missing : {false, true})
    {
        SCOPED_TRACE(missing);
        platform::RegistryStore store(dir.File("registry.ini"));
        if (missing)
        {
            ASSERT_TRUE(store.DeleteValue(kDdcCiRegistryKey, kStateValueName));
        }
        else
        {
            ASSERT_TRUE(store.SetDword(kDdcCiRegistryKey, kStateValueName, 1));
        }
        CDdcCiLink link = MakeLink();
        VcpReply reply;
        EXPECT_EQ(link.GetVcpChecked(0, platform::vcp::kLuminance, reply), -1);
        EXPECT_EQ(link.SetVcpStepped(0, platform::vcp::kLuminance, 90, true), -1);
        EXPECT_TRUE(transport.Log().empty());
        EXPECT_EQ(Exchanges(), 0);
    }
}

TEST_F(DdcCiLinkSimulatedTest, TwoFailuresThenSuccessTakesThreeExchanges)
{
    ASSERT_TRUE(file.SetFailNext("SIM-1", 2));
    CDdcCiLink link = MakeLink();
    VcpReply reply;
    ASSERT_EQ(link.GetVcpChecked(0, platform::vcp::kLuminance, reply), 0);
    EXPECT_EQ(reply.current, 10);
    EXPECT_EQ(reply.maximum, 100);
    ASSERT_EQ(transport.Log().size(), 3u);
    EXPECT_FALSE(transport.Log()[0].answered);
    EXPECT_FALSE(transport.Log()[1].answered);
    EXPECT_TRUE(transport.Log()[2].answered);
    EXPECT_EQ(Exchanges(), 3);
    // No pause between the attempts.
    EXPECT_EQ(clock.NowMs(), 5000);
}

TEST_F(DdcCiLinkSimulatedTest, SteppedWriteWaitsASecondBetweenItsHalves)
{
    CDdcCiLink link = MakeLink();
    ASSERT_EQ(link.SetVcpStepped(0, platform::vcp::kLuminance, 90, true), 0);
    const std::vector<platform::SimulatedExchange>& log = transport.Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].kind, Kind::GetVcp);
    EXPECT_EQ(log[1].kind, Kind::SetVcp);
    EXPECT_EQ(log[1].value, 50);
    EXPECT_EQ(log[2].kind, Kind::SetVcp);
    EXPECT_EQ(log[2].value, 90);
    EXPECT_EQ(log[2].timeMs - log[1].timeMs, 1000);
    EXPECT_EQ(clock.Sleeps(), std::vector<std::int64_t>{1000});
    EXPECT_EQ(file.ReadVcp("SIM-1", platform::vcp::kLuminance).value().current, 90);
}

// The New Control Value round: the user changes a preset at the monitor,
// the agent reads 2 and acknowledges with 1.
TEST_F(DdcCiLinkSimulatedTest, NewControlValueRound)
{
    CDdcCiLink link = MakeLink();
    VcpReply reply;
    ASSERT_EQ(link.ReadNewControlValue(reply), 0);
    EXPECT_EQ(reply.current, 1);
    ASSERT_TRUE(file.FrontPanelChange("SIM-1", platform::vcp::kSelectColorPreset, 8));
    ASSERT_EQ(link.ReadNewControlValue(reply), 0);
    EXPECT_EQ(reply.current, 2);
    ASSERT_EQ(link.WriteNewControlValue(1), 0);
    ASSERT_EQ(link.GetVcpChecked(0, platform::vcp::kSelectColorPreset, reply), 0);
    EXPECT_EQ(reply.current, 8);
    EXPECT_EQ(file.ReadVcp("SIM-1", platform::vcp::kNewControlValue).value().current, 1);
}

TEST_F(DdcCiLinkSimulatedTest, UnpluggedMonitorIsNotFound)
{
    ASSERT_TRUE(file.SetUnplugged("SIM-1", true));
    CDdcCiLink link = MakeLink();
    ProbeTable table;
    EXPECT_EQ(link.ProbeMonitors(table), 2);
    std::vector<std::uint8_t> edid;
    EXPECT_EQ(link.GetEdid(edid), -1);
}

// The default link finds the simulated monitor through the environment and
// the busy value in the current user's store.
TEST_F(DdcCiLinkSimulatedTest, DefaultLinkUsesTheEnvironment)
{
    testsupport::ScopedEnv config("XDG_CONFIG_HOME", dir.Path() + "config");
    testsupport::ScopedEnv monitors(platform::kSimulatedMonitorsEnv, file.Path());
    CDdcCiLink link;
    VcpReply reply;
    EXPECT_EQ(link.GetVcpChecked(0, platform::vcp::kLuminance, reply), -1); // no busy value yet
    ASSERT_TRUE(platform::RegistryStore().SetDword(kDdcCiRegistryKey, kStateValueName, 0));
    ASSERT_EQ(link.GetVcpChecked(0, platform::vcp::kLuminance, reply), 0);
    EXPECT_EQ(reply.current, 10);
    std::string caps;
    ASSERT_EQ(link.GetCapabilitiesChecked(caps), 0);
    EXPECT_NE(caps.find("vcp("), std::string::npos);
}

} // namespace
