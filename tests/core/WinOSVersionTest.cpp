#include "core/WinOSVersion.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(WinOSVersionTest, DescribesThisSystem)
{
    const CWinOSVersion version;
    ASSERT_TRUE(version.IsValid());
    EXPECT_EQ(version.GetSystemName(), "Linux");
    EXPECT_GT(version.GetMajorVersion(), 2);
    EXPECT_FALSE(version.GetDescription().empty());
    EXPECT_EQ(version.GetPlatformId(), CWinOSVersion::kPlatformLinux);
    EXPECT_NE(version.GetPlatformId(), 2u); // never taken for the NT platform
}

TEST(WinOSVersionTest, ParsesKernelReleases)
{
    struct Case
    {
        const char* release;
        bool ok;
        int major;
        int minor;
    };
    const Case cases[] = {
        {"6.1.0-13-amd64", true, 6, 1},
        {"5.15.90.1-microsoft-standard-WSL2", true, 5, 15},
        {"4", true, 4, 0},
        {"6.x", true, 6, 0},
        {"99999999999.2", true, INT_MAX, 2},
        {"v6.1", false, 0, 0},
        {"", false, 0, 0},
    };
    for (const Case& c : cases)
    {
        int major = -1;
        int minor = -1;
        EXPECT_EQ(CWinOSVersion::ParseRelease(c.release, major, minor), c.ok) << c.release;
        EXPECT_EQ(major, c.major) << c.release;
        EXPECT_EQ(minor, c.minor) << c.release;
    }
}

TEST(WinOSVersionTest, FindsThePrettyName)
{
    struct Case
    {
        const char* text;
        const char* name;
    };
    const Case cases[] = {
        {"NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n",
         "Debian GNU/Linux 12 (bookworm)"},
        {"PRETTY_NAME='Fedora Linux 39'\r\n", "Fedora Linux 39"},
        {"PRETTY_NAME=Alpine\n", "Alpine"},
        {"PRETTY_NAME=\"Say \\\"hi\\\"\"\n", "Say \"hi\""},
        {"# PRETTY_NAME=\"commented\"\nNAME=x\n", ""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CWinOSVersion::FindPrettyName(c.text), c.name) << c.text;
}

} // namespace
