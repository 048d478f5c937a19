// The agent's profile replacement (the platform's install, association and
// removal, as the agent runs them) against colord itself, run as Debian runs
// it: as user colord, with the agent's profiles in the user's private
// colour folder.

#include "agent/ColorManagerFollower.h"
#include "agent/DisplayProfileOps.h"

#include "platform/ColorDirectory.h"
#include "platform/ColorManagerBus.h"
#include "tests/support/RealColord.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestProfiles.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using testsupport::PrivateUserFolders;
using testsupport::ReadTextFile;
using testsupport::RealColord;
using testsupport::TempDir;
using testsupport::WriteTextFile;

constexpr const char* kDevice = "MONITOR\\QBX1234\\SIM-1";

TEST(DisplayProfileColord, TheAgentsProfileBecomesTheDevicesDefaultAndARefusalIsAFailure)
{
    PrivateUserFolders folders;
    RealColord colord;
    if (!colord.SkipReason().empty())
        GTEST_SKIP() << colord.SkipReason();
    const std::string device = colord.CreateDisplayDevice("SIM-1");
    ASSERT_FALSE(device.empty());

    TempDir traceDir;
    WriteTextFile(traceDir.File("debug.ini"), "[FILEOUT]\nFILEOUT_FLG=1\n");
    const CTraceLog trace(traceDir.File("debug.ini"), traceDir.File("trace.txt"));
    const auto traced = [&traceDir](const std::string& text) {
        return ReadTextFile(traceDir.File("trace.txt")).find("-" + text) != std::string::npos;
    };
    const DisplayProfileOps ops = DisplayProfileOps::Platform();
    const auto built = [&folders](const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const std::string path = folders.File(name);
        testsupport::WriteBinaryFile(path, bytes);
        return path;
    };

    // The agent's first profile, then the next one for other settings: each
    // becomes the device's default, and the old one leaves the device.
    std::string first;
    ASSERT_TRUE(ReplaceDisplayProfile(ops, kDevice,
                                      built("6500K_22_QBX1234.icm", testsupport::P3LikeProfileBytes()),
                                      "", trace, first));
    EXPECT_TRUE(traced("AssociateColorProfileWithDevice success = 1"));
    EXPECT_EQ(colord.DeviceProfileFiles(device), std::vector<std::string>{first}) << colord.Log();
    std::string second;
    ASSERT_TRUE(ReplaceDisplayProfile(
        ops, kDevice, built("7500K_22_QBX1234.icm", testsupport::WideGamutProfileBytes()), first,
        trace, second));
    EXPECT_EQ(colord.DeviceProfileFiles(device), std::vector<std::string>{second}) << colord.Log();
    const std::string shown = colord.Colormgr({"device-get-default-profile", device});
    EXPECT_NE(shown.find(second), std::string::npos) << shown;

    // A profile colord will not take: the trace says so and the result is
    // a failure; the display keeps its profile, in colord and in the store.
    std::string third;
    EXPECT_FALSE(ReplaceDisplayProfile(
        ops, kDevice, built("9300K_22_QBX1234.icm", std::vector<std::uint8_t>(1971, 0x20)), second,
        trace, third));
    EXPECT_TRUE(traced("colord refused the profile: ")) << ReadTextFile(traceDir.File("trace.txt"));
    EXPECT_TRUE(traced("AssociateColorProfileWithDevice success = 0"));
    EXPECT_EQ(colord.DeviceProfileFiles(device), std::vector<std::string>{second});
    EXPECT_EQ(platform::DefaultDisplayProfile(kDevice), "7500K_22_QBX1234.icm");
}

// colord forgets the user's profiles when it stops. The agent, running all
// along, hears colord start again and makes its profiles known anew, and
// colord gives the display its profile back, with nobody else's help.
TEST(DisplayProfileColord, TheRunningAgentGivesARestartedColordTheDisplaysProfileBack)
{
    PrivateUserFolders folders;
    RealColord colord;
    if (!colord.SkipReason().empty())
        GTEST_SKIP() << colord.SkipReason();
    ASSERT_FALSE(colord.CreateDisplayDevice("SIM-1").empty());

    const std::string path = folders.File("6500K_22_QBX1234.icm");
    testsupport::WriteBinaryFile(path, testsupport::P3LikeProfileBytes());
    std::string installed;
    ASSERT_TRUE(platform::InstallProfile(path, &installed));
    platform::ColorManagerReport report;
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, installed, &report)) << report.detail;
    ASSERT_EQ(platform::ColorManagerDefaultProfile(kDevice), installed) << colord.Log();

    int argc = 1;
    char name[] = "test_agent";
    char* argv[] = {name, nullptr};
    std::optional<QCoreApplication> application;
    if (QCoreApplication::instance() == nullptr)
        application.emplace(argc, argv);
    const CColorManagerFollower follower;
    ASSERT_TRUE(colord.Restart(true));
    QDeadlineTimer deadline(30000);
    while (platform::ColorManagerDefaultProfile(kDevice) != installed && !deadline.hasExpired())
    {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(20);
    }
    EXPECT_EQ(platform::ColorManagerDefaultProfile(kDevice), installed) << colord.Log();
    EXPECT_GE(follower.Offers(), 1);
}

} // namespace
