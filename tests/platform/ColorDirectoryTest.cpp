#include "platform/ColorDirectory.h"
#include "platform/IniStore.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

class ColorDirectoryTest : public ::testing::Test
{
protected:
    void TearDown() override { platform::SetDisplayProfileHook(nullptr); }

    std::string DataDir() const { return m_dir.Path() + "data/"; }
    std::string ColorDir() const { return DataDir() + "icc/"; }

    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_data{"XDG_DATA_HOME", m_dir.Path() + "data"};
    testsupport::ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir.Path() + "config"};
};

TEST_F(ColorDirectoryTest, ColorDirectoryIsCreatedOnDemand)
{
    EXPECT_FALSE(std::filesystem::exists(ColorDir()));
    // Resolving a name does not create anything.
    EXPECT_EQ(platform::ResolveProfilePath("a.icc"), ColorDir() + "a.icc");
    EXPECT_FALSE(std::filesystem::exists(ColorDir()));

    std::string folder;
    ASSERT_TRUE(platform::ColorDirectory(folder));
    EXPECT_EQ(folder, ColorDir());
    EXPECT_TRUE(std::filesystem::is_directory(ColorDir()));
    EXPECT_TRUE(platform::ListInstalledProfiles().empty());

    // A plain file where the folder should be cannot become the folder.
    testsupport::TempDir other;
    testsupport::WriteTextFile(other.File("data"), "x");
    testsupport::ScopedEnv blocked("XDG_DATA_HOME", other.File("data"));
    EXPECT_FALSE(platform::ColorDirectory(folder));
    std::string installed;
    testsupport::WriteTextFile(m_dir.File("p.icc"), "profile");
    EXPECT_FALSE(platform::InstallProfile(m_dir.File("p.icc"), &installed));
}

TEST_F(ColorDirectoryTest, OnlyBareNamesResolveInTheColorDirectory)
{
    const struct
    {
        std::string name;
        std::string resolved;
    } cases[] = {
        {"Monitor.icc", ColorDir() + "Monitor.icc"},
        {"sRGB Color Space Profile.icm", ColorDir() + "sRGB Color Space Profile.icm"},
        {"/abs/Monitor.icc", "/abs/Monitor.icc"},
        {"rel/Monitor.icc", "rel/Monitor.icc"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::ResolveProfilePath(c.name), c.resolved) << c.name;
}

TEST_F(ColorDirectoryTest, InstallCopiesIntoTheColorDirectory)
{
    testsupport::WriteTextFile(m_dir.File("Monitor.icc"), "first");
    std::string installed;
    ASSERT_TRUE(platform::InstallProfile(m_dir.File("Monitor.icc"), &installed));
    EXPECT_EQ(installed, ColorDir() + "Monitor.icc");
    EXPECT_EQ(testsupport::ReadTextFile(installed), "first");

    // Installing again replaces the copy; the source stays where it was.
    testsupport::WriteTextFile(m_dir.File("Monitor.icc"), "second");
    ASSERT_TRUE(platform::InstallProfile(m_dir.File("Monitor.icc")));
    EXPECT_EQ(testsupport::ReadTextFile(installed), "second");
    EXPECT_TRUE(std::filesystem::exists(m_dir.File("Monitor.icc")));

    // A profile already in the colour directory is its own installation.
    ASSERT_TRUE(platform::InstallProfile(installed));
    EXPECT_EQ(testsupport::ReadTextFile(installed), "second");

    EXPECT_FALSE(platform::InstallProfile(m_dir.File("missing.icc")));
    EXPECT_FALSE(platform::InstallProfile(m_dir.Path())); // a folder, no file name
    EXPECT_EQ(platform::ListInstalledProfiles(), Names{"Monitor.icc"});
}

TEST_F(ColorDirectoryTest, ListingHasRegularVisibleFilesInByteOrder)
{
    std::string folder;
    ASSERT_TRUE(platform::ColorDirectory(folder));
    for (const char* name : {"b.icc", "A.icm", "a.icc", ".Monitor.icc.tmp-1234", "z"})
        testsupport::WriteTextFile(folder + name, "x");
    std::filesystem::create_directory(folder + "folder.icc");
    EXPECT_EQ(platform::ListInstalledProfiles(), (Names{"A.icm", "a.icc", "b.icc", "z"}));
}

TEST_F(ColorDirectoryTest, AssociationsKeepAnOrderedListPerDisplay)
{
    const std::string display = "MONITOR\\ABC1234\\card0-DP-1";
    EXPECT_TRUE(platform::DisplayProfiles(display).empty());
    EXPECT_EQ(platform::DefaultDisplayProfile(display), "");

    ASSERT_TRUE(platform::AssociateDisplayProfile(display, "First.icc"));
    ASSERT_TRUE(platform::AssociateDisplayProfile(display, "/some/folder/Second.icc"));
    // The profile associated last is the default; paths are kept as file names.
    EXPECT_EQ(platform::DisplayProfiles(display), (Names{"Second.icc", "First.icc"}));
    EXPECT_EQ(platform::DefaultDisplayProfile(display), "Second.icc");

    // Associating a profile again moves it to the front, once.
    ASSERT_TRUE(platform::AssociateDisplayProfile(display, "First.icc"));
    EXPECT_EQ(platform::DisplayProfiles(display), (Names{"First.icc", "Second.icc"}));

    // Disassociating the default makes the next one the default.
    ASSERT_TRUE(platform::DisassociateDisplayProfile(display, "First.icc"));
    EXPECT_EQ(platform::DefaultDisplayProfile(display), "Second.icc");
    ASSERT_TRUE(platform::DisassociateDisplayProfile(display, "Unknown.icc"));
    EXPECT_EQ(platform::DisplayProfiles(display), Names{"Second.icc"});

    // Displays do not share lists; the empty ID is the default display.
    ASSERT_TRUE(platform::AssociateDisplayProfile("", "Primary.icc"));
    EXPECT_EQ(platform::DisplayProfiles(""), Names{"Primary.icc"});
    EXPECT_EQ(platform::DisplayProfiles(display), Names{"Second.icc"});

    EXPECT_FALSE(platform::AssociateDisplayProfile(display, ""));
    EXPECT_FALSE(platform::AssociateDisplayProfile(display, "/folder/"));

    // The store is the documented ini file.
    const std::string store = m_dir.Path() + "config/Quillbrake/display-profiles.ini";
    EXPECT_EQ(platform::DisplayProfileStorePath(), store);
    platform::IniStore ini(store);
    EXPECT_EQ(ini.Read(display, "Profiles").value_or(""), "Second.icc");
    EXPECT_EQ(ini.Read("default", "Profiles").value_or(""), "Primary.icc");

    // The last disassociation removes the display's section.
    ASSERT_TRUE(platform::DisassociateDisplayProfile(display, "Second.icc"));
    EXPECT_TRUE(platform::DisplayProfiles(display).empty());
    EXPECT_EQ(ini.Sections(), Names{"default"});
}

TEST_F(ColorDirectoryTest, NamesWithBlanksSurviveTheStore)
{
    ASSERT_TRUE(platform::AssociateDisplayProfile("", " lead.icc"));
    ASSERT_TRUE(platform::AssociateDisplayProfile("", "trail.icc "));
    ASSERT_TRUE(platform::AssociateDisplayProfile("", "sRGB Color Space Profile.icm"));
    EXPECT_EQ(platform::DisplayProfiles(""),
              (Names{"sRGB Color Space Profile.icm", "trail.icc ", " lead.icc"}));
}

TEST_F(ColorDirectoryTest, TwoProcessesAssociatingAtOnceLoseNothing)
{
    ASSERT_TRUE(testsupport::RunInTwoProcesses([](bool isChild) {
        const std::string prefix = isChild ? "child-" : "parent-";
        for (int i = 0; i < 20; ++i)
            if (!platform::AssociateDisplayProfile("", prefix + std::to_string(i) + ".icc"))
                return false;
        return true;
    }));
    const Names names = platform::DisplayProfiles("");
    EXPECT_EQ(names.size(), 40u);
}

TEST_F(ColorDirectoryTest, MonitorProfileSourceOrder)
{
    // Nothing associated and no hook: the sRGB profile.
    EXPECT_EQ(platform::MonitorProfileName(), "sRGB Color Space Profile.icm");
    EXPECT_EQ(std::string(platform::kSRGBProfileFileName), "sRGB Color Space Profile.icm");

    // The GUI's answer comes next; an empty answer falls through.
    static std::string s_answer;
    static std::string s_askedFor;
    platform::SetDisplayProfileHook([](const std::string& deviceId) {
        s_askedFor = deviceId;
        return s_answer;
    });
    s_answer = "";
    EXPECT_EQ(platform::MonitorProfileName("DP-1"), "sRGB Color Space Profile.icm");
    EXPECT_EQ(s_askedFor, "DP-1");
    s_answer = "/cache/x11.icc";
    EXPECT_EQ(platform::MonitorProfileName("DP-1"), "/cache/x11.icc");

    // An association wins over both.
    ASSERT_TRUE(platform::AssociateDisplayProfile("DP-1", "Calibrated.icc"));
    EXPECT_EQ(platform::MonitorProfileName("DP-1"), "Calibrated.icc");
    EXPECT_EQ(platform::MonitorProfileName(""), "/cache/x11.icc");

    // A display without an association of its own takes the default
    // display's, before the GUI's answer; its own still wins.
    ASSERT_TRUE(platform::AssociateDisplayProfile("", "Default.icc"));
    EXPECT_EQ(platform::MonitorProfileName("HDMI-1"), "Default.icc");
    EXPECT_EQ(platform::MonitorProfileName(""), "Default.icc");
    EXPECT_EQ(platform::MonitorProfileName("DP-1"), "Calibrated.icc");
    ASSERT_TRUE(platform::DisassociateDisplayProfile("", "Default.icc"));

    platform::SetDisplayProfileHook(nullptr);
    EXPECT_EQ(platform::MonitorProfileName(""), "sRGB Color Space Profile.icm");
}

} // namespace
