#include "platform/Registry.h"

#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

using namespace platform;
using testsupport::ReadTextFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteTextFile;

namespace {

constexpr const char* kDdcKey = "Software\\QUILLBRAKE\\CHROMIVEL\\DDCCI";
constexpr const char* kModeKey = "Software\\QUILLBRAKE\\CHROMIVEL\\MODE";

class RegistryTest : public ::testing::Test
{
protected:
    std::string Path() const { return m_dir.File("registry.ini"); }
    const TempDir& Dir() const { return m_dir; }

private:
    TempDir m_dir;
};

TEST_F(RegistryTest, DefaultStoreLivesUnderConfigHome)
{
    ScopedEnv config("XDG_CONFIG_HOME", Dir().Path() + "cfg");
    EXPECT_EQ(RegistryStore::DefaultPath(), Dir().Path() + "cfg/Quillbrake/registry.ini");
    RegistryStore store;
    EXPECT_EQ(store.Path(), RegistryStore::DefaultPath());

    // Reading leaves no trace; the first write creates the folders.
    EXPECT_EQ(store.GetDword(kDdcKey, "State"), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(Dir().Path() + "cfg"));
    ASSERT_TRUE(store.SetDword(kDdcKey, "State", 1));
    EXPECT_EQ(ReadTextFile(store.Path()),
              "[Software\\QUILLBRAKE\\CHROMIVEL\\DDCCI]\nState=dword:00000001\n");
}

TEST_F(RegistryTest, DwordsRoundTrip)
{
    RegistryStore store(Path());
    for (const std::uint32_t value : {0u, 1u, 0x12345678u, 0xABCDEF01u, 0xFFFFFFFFu})
    {
        ASSERT_TRUE(store.SetDword(kDdcKey, "State", value));
        EXPECT_EQ(store.GetDword(kDdcKey, "State"), value);
    }
}

TEST_F(RegistryTest, StringsRoundTrip)
{
    RegistryStore store(Path());
    const std::string values[] = {"", "text", "  spaced  ", "sz:looks typed", "dword:00000001",
                                  "\"quoted\"", "日本語", "C:\\path\\file.icm"};
    for (const std::string& value : values)
    {
        ASSERT_TRUE(store.SetString(kModeKey, "Name", value)) << value;
        EXPECT_EQ(store.GetString(kModeKey, "Name"), value);
    }
    EXPECT_FALSE(store.SetString(kModeKey, "Name", "two\nlines"));
    EXPECT_EQ(store.GetString(kModeKey, "Name"), values[std::size(values) - 1]);
}

TEST_F(RegistryTest, WrongTypeOrMalformedReadsAsAbsent)
{
    RegistryStore store(Path());
    ASSERT_TRUE(store.SetString(kDdcKey, "Text", "00000001"));
    ASSERT_TRUE(store.SetDword(kDdcKey, "Number", 1));
    EXPECT_EQ(store.GetDword(kDdcKey, "Text"), std::nullopt);
    EXPECT_EQ(store.GetString(kDdcKey, "Number"), std::nullopt);

    // Hand-edited values.
    WriteTextFile(Path(), "[K]\n"
                          "Upper=DWORD:0000000A\n"
                          "Short=dword:ff\n"
                          "Empty=dword:\n"
                          "TooLong=dword:123456789\n"
                          "NotHex=dword:0000000g\n"
                          "Signed=dword:-1\n"
                          "Untyped=5\n"
                          "Str=SZ:x\n");
    struct Case
    {
        const char* name;
        std::optional<std::uint32_t> expected;
    };
    const Case cases[] = {
        {"Upper", 10u},          {"Short", 0xFFu},        {"Empty", std::nullopt},
        {"TooLong", std::nullopt}, {"NotHex", std::nullopt}, {"Signed", std::nullopt},
        {"Untyped", std::nullopt}, {"Missing", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(store.GetDword("K", c.name), c.expected) << c.name;
    EXPECT_EQ(store.GetString("K", "Str"), "x");
    EXPECT_EQ(store.GetString("K", "Untyped"), std::nullopt);
}

TEST_F(RegistryTest, KeyPathsAndNamesIgnoreCase)
{
    RegistryStore store(Path());
    ASSERT_TRUE(store.SetDword(kDdcKey, "State", 7));
    EXPECT_EQ(store.GetDword("software\\quillbrake\\chromivel\\ddcci", "STATE"), 7u);
    ASSERT_TRUE(store.SetDword("SOFTWARE\\Quillbrake\\Chromivel\\DdcCi", "state", 8));
    EXPECT_EQ(store.GetDword(kDdcKey, "State"), 8u);
    // Still one section with one value, spelt as first written.
    EXPECT_EQ(ReadTextFile(Path()),
              "[Software\\QUILLBRAKE\\CHROMIVEL\\DDCCI]\nState=dword:00000008\n");
    // Another key path is another key.
    EXPECT_EQ(store.GetDword(kModeKey, "State"), std::nullopt);
}

TEST_F(RegistryTest, DeleteValue)
{
    RegistryStore store(Path());
    ASSERT_TRUE(store.SetDword(kDdcKey, "State", 1));
    ASSERT_TRUE(store.SetDword(kDdcKey, "Other", 2));
    ASSERT_TRUE(store.DeleteValue(kDdcKey, "state"));
    EXPECT_EQ(store.GetDword(kDdcKey, "State"), std::nullopt);
    EXPECT_EQ(store.GetDword(kDdcKey, "Other"), 2u);
    EXPECT_TRUE(store.DeleteValue(kDdcKey, "State"));
    EXPECT_TRUE(RegistryStore(Dir().File("nowhere/registry.ini")).DeleteValue(kDdcKey, "State"));
}

// The main program and the agent update values of one key at the same
// time; neither may undo the other's write.
TEST_F(RegistryTest, TwoProcessesUpdatingOneKeyLoseNothing)
{
    constexpr std::uint32_t kRounds = 40;
    const bool ok = testsupport::RunInTwoProcesses(
        [&](bool isChild)
        {
            RegistryStore own(Path());
            const std::string who = isChild ? "Agent" : "Main";
            bool written = true;
            for (std::uint32_t i = 1; i <= kRounds; ++i)
            {
                // One value updated over and over, and one new value per round.
                written = own.SetDword(kDdcKey, who + "Counter", i) && written;
                written = own.SetString(kDdcKey, who + "Text" + std::to_string(i),
                                        std::to_string(i)) &&
                          written;
            }
            return written;
        });
    EXPECT_TRUE(ok);
    const RegistryStore store(Path());
    int lost = 0;
    for (const char* process : {"Agent", "Main"})
    {
        EXPECT_EQ(store.GetDword(kDdcKey, std::string(process) + "Counter"), kRounds) << process;
        for (std::uint32_t i = 1; i <= kRounds; ++i)
        {
            const std::string name = std::string(process) + "Text" + std::to_string(i);
            lost += store.GetString(kDdcKey, name) != std::to_string(i);
        }
    }
    EXPECT_EQ(lost, 0);
}

} // namespace
