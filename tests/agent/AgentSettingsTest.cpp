#include "agent/AgentSettings.h"
#include "platform/Registry.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

using testsupport::ReadTextFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteTextFile;

namespace {

class AgentSettingsTest : public ::testing::Test
{
protected:
    std::string Folder() const { return dir.Path() + "config/Quillbrake/ZEPH/"; }

    TempDir dir;
    ScopedEnv config{"XDG_CONFIG_HOME", dir.Path() + "config"};
};

TEST_F(AgentSettingsTest, FilesLiveInTheAgentsFolder)
{
    EXPECT_EQ(AgentFolder(), Folder());
    EXPECT_EQ(AgentIniPath(), Folder() + "ZEPH.INI");
    EXPECT_EQ(AgentDebugIniPath(), Folder() + "ZEPH_D.INI");
    EXPECT_EQ(TraceFilePath(), Folder() + "fprintf.txt");
}

TEST_F(AgentSettingsTest, RegistryDwordsOfTheSharedStore)
{
    std::uint32_t value = 77;
    EXPECT_EQ(ReadRegistryDword(kDdcCiRegistryKey, kStateValueName, value), kRegistryNotFound);
    EXPECT_EQ(value, 77u);

    // The main program's write is what the agent reads.
    ASSERT_TRUE(platform::RegistryStore().SetDword(kDdcCiRegistryKey, kStateValueName, 1));
    EXPECT_EQ(ReadRegistryDword(kDdcCiRegistryKey, kStateValueName, value), 0);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(ReadRegistryDword(kDdcCiRegistryKey, "Other", value), kRegistryNotFound);
}

// A fresh system has no MODE key: the first write makes it, so the user's
// choice survives.
TEST_F(AgentSettingsTest, WritingCreatesAMissingKey)
{
    platform::RegistryStore store;
    ASSERT_TRUE(store.SetDword(kDdcCiRegistryKey, kStateValueName, 0));
    EXPECT_EQ(WriteRegistryDword(kModeRegistryKey, kStateValueName, 1), 0);
    EXPECT_EQ(store.GetDword(kModeRegistryKey, kStateValueName), std::optional<std::uint32_t>(1));
    EXPECT_EQ(store.GetDword(kDdcCiRegistryKey, kStateValueName), std::optional<std::uint32_t>(0));

    // A key that exists (in any spelling) takes the value.
    ASSERT_TRUE(store.SetDword("software\\quillbrake\\chromivel\\mode", "Other", 5));
    EXPECT_EQ(WriteRegistryDword(kModeRegistryKey, kStateValueName, 1), 0);
    EXPECT_EQ(store.GetDword(kModeRegistryKey, kStateValueName), std::optional<std::uint32_t>(1));
    EXPECT_EQ(WriteRegistryDword(kModeRegistryKey, kStateValueName, 0), 0);
    EXPECT_EQ(store.GetDword(kModeRegistryKey, kStateValueName), std::optional<std::uint32_t>(0));
}

TEST_F(AgentSettingsTest, ReadIniSectionReturnsTheLastIndex)
{
    const std::string ini = dir.File("ZEPH.INI");
    WriteTextFile(ini, "[COLOR_PROFILE_SELECT]\nPNSRGB=srgb.icm\nPN6500K=d65.icm\n"
                       "PN9300K = d93 profile.icm\n[EMPTY]\n[OTHER]\nPNX=x.icm\n");
    std::vector<std::string> keys;
    std::vector<std::string> values;
    EXPECT_EQ(ReadIniSection("COLOR_PROFILE_SELECT", ini, keys, values), 2);
    EXPECT_EQ(keys, (std::vector<std::string>{"PNSRGB", "PN6500K", "PN9300K"}));
    EXPECT_EQ(values, (std::vector<std::string>{"srgb.icm", "d65.icm", "d93 profile.icm"}));

    // Pairs are appended; the result stays the last valid index.
    EXPECT_EQ(ReadIniSection("OTHER", ini, keys, values), 3);
    EXPECT_EQ(keys.back(), "PNX");

    std::vector<std::string> noKeys;
    std::vector<std::string> noValues;
    EXPECT_EQ(ReadIniSection("EMPTY", ini, noKeys, noValues), -1);
    EXPECT_EQ(ReadIniSection("MISSING", ini, noKeys, noValues), -1);
    EXPECT_EQ(ReadIniSection("COLOR_PROFILE_SELECT", dir.File("none.ini"), noKeys, noValues), -1);
    EXPECT_TRUE(noKeys.empty());
    EXPECT_TRUE(noValues.empty());
}

TEST_F(AgentSettingsTest, IniIntegers)
{
    const std::string ini = dir.File("ZEPH.INI");
    WriteTextFile(ini, "[MONITOR]\nA=12\nB= -1\nC=abc\nD=7x\nE=\n");
    struct Case
    {
        const char* key;
        int expected;
    };
    const Case cases[] = {{"A", 12}, {"B", -1}, {"C", 0}, {"D", 7}, {"E", 0}, {"MISSING", 42}};
    for (const Case& c : cases)
    {
        EXPECT_EQ(ReadIniInt(ini, "MONITOR", c.key, 42), c.expected) << c.key;
    }
    EXPECT_EQ(ReadIniInt(dir.File("none.ini"), "MONITOR", "A", 42), 42);
}

// The MODE registry value decides; without it the ini's start mode does.
TEST_F(AgentSettingsTest, StartMode)
{
    struct Case
    {
        const char* name;
        std::optional<std::uint32_t> registry;
        const char* ini; // null: no ZEPH.INI
        int expected;
    };
    const Case cases[] = {
        {"nothing set: pro", std::nullopt, nullptr, 1},
        {"ini easy", std::nullopt, "[INITIAL_SETTING]\nMODE=0\n", 0},
        {"ini pro", std::nullopt, "[INITIAL_SETTING]\nMODE=1\n", 1},
        {"ini other value", std::nullopt, "[INITIAL_SETTING]\nMODE=2\n", 0},
        {"registry easy beats ini", 0u, "[INITIAL_SETTING]\nMODE=1\n", 0},
        {"registry pro beats ini", 1u, "[INITIAL_SETTING]\nMODE=0\n", 1},
        {"registry other value", 2u, nullptr, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        TempDir local;
        platform::RegistryStore store(local.File("registry.ini"));
        if (c.registry)
        {
            ASSERT_TRUE(store.SetDword(kModeRegistryKey, kStateValueName, *c.registry));
        }
        if (c.ini != nullptr)
            WriteTextFile(local.File("ZEPH.INI"), c.ini);
        EXPECT_EQ(ReadStartMode(store, local.File("ZEPH.INI")), c.expected);
    }
}

TEST_F(AgentSettingsTest, MonitorIdDefaultsToTheFirstDisplay)
{
    EXPECT_EQ(ReadMonitorId(), -1);
    std::filesystem::create_directories(Folder());
    WriteTextFile(AgentIniPath(), "[MONITOR]\nMONITOR_ID=2\n");
    EXPECT_EQ(ReadMonitorId(), 2);
    EXPECT_EQ(ReadStartMode(), 1);
}

} // namespace
