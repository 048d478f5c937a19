// The display's association against colord itself, run as Debian runs it
// (its own user, a user's profiles in a private folder it cannot open), on a
// private bus with a display device for the simulated monitor's output, as a
// desktop session makes one.

#include "platform/ColorDirectory.h"
#include "platform/ColorManagerBus.h"

#include "tests/support/RealColord.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestProfiles.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using testsupport::PrivateUserFolders;
using testsupport::RealColord;

namespace {

constexpr const char* kDevice = "MONITOR\\QBX1234\\SIM-1";
constexpr const char* kManager = "/org/freedesktop/ColorManager";

class ColordTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!colord.SkipReason().empty())
            GTEST_SKIP() << colord.SkipReason();
        device = colord.CreateDisplayDevice("SIM-1");
        ASSERT_FALSE(device.empty());
        std::string folder;
        ASSERT_TRUE(platform::ColorDirectory(folder));
        // The user's folders are private, as a home folder is.
        struct stat info = {};
        ASSERT_EQ(::stat(folders.Path().c_str(), &info), 0);
        ASSERT_EQ(info.st_mode & 0777, 0700u);
    }

    // A profile in the colour directory; its full path.
    std::string Install(const std::string& name, const std::vector<std::uint8_t>& bytes)
    {
        const std::string path = platform::ResolveProfilePath(name);
        testsupport::WriteBinaryFile(path, bytes);
        return path;
    }

    std::vector<std::string> OnDevice() const { return colord.DeviceProfileFiles(device); }

    std::string Why() const { return "colord's log:\n" + colord.Log(); }

    PrivateUserFolders folders;
    RealColord colord;
    std::string device;
};

// 6500K -> 7500K -> 6500K as the agent does it (the new profile on, then the
// old one off): colord's device holds what the association store holds,
// with the same default, also when the device had the profile before.
TEST_F(ColordTest, ReplacingTheProfileKeepsColordsDeviceAndTheStoreAlike)
{
    const std::string warm = Install("6500K_22_QBX1234.icm", testsupport::P3LikeProfileBytes());
    const std::string cool = Install("7500K_22_QBX1234.icm", testsupport::WideGamutProfileBytes());

    platform::ColorManagerReport report;
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, warm, &report)) << report.detail;
    EXPECT_EQ(report.outcome, platform::ColorManagerOutcome::Done) << report.detail;
    EXPECT_EQ(OnDevice(), std::vector<std::string>{warm}) << Why();
    // What the desktop's colour settings show.
    EXPECT_NE(colord.Colormgr({"device-get-default-profile", device}).find(warm), std::string::npos)
        << colord.Colormgr({"device-get-default-profile", device});

    const struct
    {
        std::string on;
        std::string off;
    } steps[] = {{cool, warm}, {warm, cool}};
    for (const auto& step : steps)
    {
        ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, step.on, &report)) << report.detail;
        ASSERT_TRUE(platform::DisassociateDisplayProfile(kDevice, step.off, &report))
            << report.detail;
        EXPECT_EQ(report.outcome, platform::ColorManagerOutcome::Done);
        EXPECT_EQ(OnDevice(), std::vector<std::string>{step.on}) << Why();
        EXPECT_EQ(platform::DisplayProfiles(kDevice),
                  std::vector<std::string>{step.on.substr(step.on.rfind('/') + 1)});
        EXPECT_EQ(platform::ColorManagerDefaultProfile(kDevice), step.on);
    }

    // Taking off a profile the device does not hold, or one colord never
    // had, is no failure.
    ASSERT_TRUE(platform::DisassociateDisplayProfile(kDevice, cool, &report)) << report.detail;
    ASSERT_TRUE(platform::DisassociateDisplayProfile(kDevice, platform::ResolveProfilePath("x.icm"),
                                                     &report))
        << report.detail;
    EXPECT_EQ(OnDevice(), std::vector<std::string>{warm});
}

// colord keeps no profiles across a restart (an update, a new boot), only
// which profiles each device had: the display falls back to none until the
// profiles are made again, as the program does when it sees colord start.
// colord then gives the device its profiles back in their order, whether
// the session made the device again before or after.
TEST_F(ColordTest, AColordRestartKeepsTheAssociation)
{
    const std::string other = Install("Other.icm", testsupport::WideGamutProfileBytes());
    const std::string mine = Install("Mine.icm", testsupport::P3LikeProfileBytes());
    platform::ColorManagerReport report;
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, other, &report)) << report.detail;
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, mine, &report)) << report.detail;
    ASSERT_EQ(platform::ColorManagerDefaultProfile(kDevice), mine) << Why();

    for (const bool deviceFirst : {true, false})
    {
        ASSERT_TRUE(colord.Restart(deviceFirst));
        if (deviceFirst)
        {
            EXPECT_TRUE(OnDevice().empty()) << "colord kept profiles across its restart";
        }
        EXPECT_EQ(platform::OfferDisplayProfilesToColorManager(), 0);
        if (!deviceFirst)
        {
            ASSERT_FALSE(colord.CreateDisplayDevice("SIM-1").empty());
        }
        EXPECT_EQ(platform::ColorManagerDefaultProfile(kDevice), mine) << Why();
        EXPECT_EQ(OnDevice(), (std::vector<std::string>{mine, other})) << Why();
    }

    // And the next association after the restart finds colord's objects
    // working.
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, other, &report)) << report.detail;
    EXPECT_EQ(platform::ColorManagerDefaultProfile(kDevice), other) << Why();
}

// A profile colord refuses to make: the association fails, reports colord's
// reason, and neither colord's device nor the store takes it; the display
// keeps the profile it had.
TEST_F(ColordTest, ARefusedProfileIsAFailureAndLeavesTheDefaultAlone)
{
    const std::string good = Install("Good.icm", testsupport::P3LikeProfileBytes());
    platform::ColorManagerReport report;
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, good, &report)) << report.detail;

    std::vector<std::uint8_t> broken(2000, 0x5a); // no ICC header at all
    const std::string bad = Install("Broken.icm", broken);
    EXPECT_FALSE(platform::AssociateDisplayProfile(kDevice, bad, &report));
    EXPECT_EQ(report.outcome, platform::ColorManagerOutcome::Failed);
    EXPECT_FALSE(report.detail.empty());
    EXPECT_EQ(OnDevice(), std::vector<std::string>{good}) << Why();
    EXPECT_EQ(platform::DisplayProfiles(kDevice), std::vector<std::string>{"Good.icm"});

    // A second try (the agent started again) is refused the same way.
    EXPECT_FALSE(platform::AssociateDisplayProfile(kDevice, bad, &report));
    EXPECT_EQ(OnDevice(), std::vector<std::string>{good}) << Why();
    EXPECT_EQ(colord.Colormgr({"device-get-default-profile", device}).find("missing"),
              std::string::npos);
}

// colord as its own user cannot open a file in a private folder: asked to
// make a profile from the file's name (as a program passing names does), it
// fails and keeps a half-made profile object that FindProfileByFilename
// returns. The association never makes that object the default: it makes
// the profile anew from the open file.
TEST_F(ColordTest, AHalfMadeProfileOfColordsIsNeverMadeTheDefault)
{
    if (!colord.AsColordUser())
        GTEST_SKIP() << "colord runs as root here (no user colord): it can open every file";
    const std::string mine = Install("Mine.icm", testsupport::P3LikeProfileBytes());
    const std::string refused =
        colord.Call(kManager, "org.freedesktop.ColorManager", "CreateProfile",
                    {"chromivel-Mine.icm", "normal"}, {}, RealColord::StringMap{{"Filename", mine}});
    ASSERT_NE(refused.find("FailedToRead"), std::string::npos) << refused;
    // What colord left behind.
    ASSERT_EQ(colord.Call(kManager, "org.freedesktop.ColorManager", "FindProfileByFilename",
                          {mine}),
              "");

    platform::ColorManagerReport report;
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, mine, &report)) << report.detail;
    EXPECT_EQ(OnDevice(), std::vector<std::string>{mine}) << Why();
    const std::string shown = colord.Colormgr({"device-get-default-profile", device});
    EXPECT_NE(shown.find(mine), std::string::npos) << shown;
    EXPECT_EQ(shown.find("missing"), std::string::npos) << shown;
}

// A caller that is not root is checked by colord with polkit; where there is
// no polkit to ask (as here) or it says no, colord refuses for want of
// authority, and that is told apart from a refusal of the profile: the
// association store alone holds the association.
TEST_F(ColordTest, ACallerWithoutAuthorityIsToldSo)
{
    const passwd* nobody = ::getpwnam("nobody");
    if (nobody == nullptr)
        GTEST_SKIP() << "no user nobody to call colord as";
    // A file the other user can read.
    const std::string path = colord.ReadableFolder() + "Theirs.icm";
    testsupport::WriteBinaryFile(path, testsupport::P3LikeProfileBytes());
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        ::close(pipeEnds[0]);
        if (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)
            ::_exit(100);
        std::string detail;
        const platform::ColorManagerOutcome outcome =
            platform::MakeColorManagerDefault(kDevice, path, &detail);
        [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], detail.data(), detail.size());
        ::_exit(static_cast<int>(outcome));
    }
    ::close(pipeEnds[1]);
    std::string detail;
    char buffer[512];
    ssize_t got = 0;
    while ((got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0)
        detail.append(buffer, static_cast<std::size_t>(got));
    ::close(pipeEnds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 100) << "cannot become user nobody";
    EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(platform::ColorManagerOutcome::NotAuthorized))
        << detail;
    EXPECT_TRUE(OnDevice().empty()) << Why();
}

} // namespace
