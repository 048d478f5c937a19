#include "agent/DisplayProfileOps.h"

#include "platform/ColorDirectory.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testsupport::ReadTextFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteTextFile;

constexpr const char* kDevice = "MONITOR\\QBX1234\\card0-DP-1";
constexpr const char* kColourFolder = "/colour/";

// Ops that record their calls and fail on demand; install puts the file
// into kColourFolder under its own name.
struct FakeOps
{
    std::vector<std::string> calls;
    bool failInstall = false;
    bool failAssociate = false;
    bool failDisassociate = false;

    DisplayProfileOps Make()
    {
        DisplayProfileOps ops;
        ops.install = [this](const std::string& source, std::string* installed) {
            calls.push_back("install " + source);
            if (failInstall)
                return false;
            *installed = kColourFolder + source.substr(source.rfind('/') + 1);
            return true;
        };
        ops.associate = [this](const std::string& device, const std::string& profile,
                               std::string& /*note*/) {
            calls.push_back("associate " + device + " " + profile);
            return !failAssociate;
        };
        ops.disassociate = [this](const std::string& device, const std::string& profile) {
            calls.push_back("disassociate " + device + " " + profile);
            return !failDisassociate;
        };
        return ops;
    }
};

class ReplaceDisplayProfileTest : public ::testing::Test
{
protected:
    TempDir m_dir;
    CTraceLog m_trace{TraceOnIni(), m_dir.File("trace.txt")};

    std::string TraceOnIni() const
    {
        WriteTextFile(m_dir.File("debug.ini"), "[FILEOUT]\nFILEOUT_FLG=1\n");
        return m_dir.File("debug.ini");
    }
    bool Traced(const std::string& text) const
    {
        return ReadTextFile(m_dir.File("trace.txt")).find("-" + text) != std::string::npos;
    }
};

// The old profile is only ever taken off after the new one is associated;
// any failure before that leaves it alone.
TEST_F(ReplaceDisplayProfileTest, OldProfileComesOffOnlyAfterTheNewOneIsOn)
{
    const std::string install = "install /work/new.icm";
    const std::string associate = std::string("associate ") + kDevice + " /colour/new.icm";
    const std::string disassociate = std::string("disassociate ") + kDevice + " /colour/old.icm";
    const std::string old = "/colour/old.icm";
    enum class Fail
    {
        Nothing,
        Install,
        Associate,
        Disassociate
    };
    struct Case
    {
        const char* what;
        std::string previous;
        Fail fail;
        bool result;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"replaced", old, Fail::Nothing, true, {install, associate, disassociate}},
        {"nothing to take off", "", Fail::Nothing, true, {install, associate}},
        {"the same file stays", "/elsewhere/new.icm", Fail::Nothing, true, {install, associate}},
        {"failed removal", old, Fail::Disassociate, true, {install, associate, disassociate}},
        {"install fails", old, Fail::Install, false, {install}},
        {"association fails", old, Fail::Associate, false, {install, associate}},
    };
    for (const Case& c : cases)
    {
        FakeOps fake;
        fake.failInstall = c.fail == Fail::Install;
        fake.failAssociate = c.fail == Fail::Associate;
        fake.failDisassociate = c.fail == Fail::Disassociate;
        std::string associated = "untouched";
        EXPECT_EQ(ReplaceDisplayProfile(fake.Make(), kDevice, "/work/new.icm", c.previous, m_trace,
                                        associated),
                  c.result)
            << c.what;
        EXPECT_EQ(fake.calls, c.calls) << c.what;
        EXPECT_EQ(associated, c.result ? "/colour/new.icm" : "untouched") << c.what;
    }
    EXPECT_TRUE(Traced("InstallColorProfile error\n"));
    EXPECT_TRUE(Traced("AssociateColorProfileWithDevice success = 0\n"));
    EXPECT_TRUE(Traced("DisassociateColorProfileFromDevice error\n"));
}

TEST_F(ReplaceDisplayProfileTest, MissingOperationsFailWithoutTouchingTheDisplay)
{
    FakeOps fake;
    DisplayProfileOps noAssociate = fake.Make();
    noAssociate.associate = nullptr;
    std::string associated = "untouched";
    EXPECT_FALSE(ReplaceDisplayProfile(DisplayProfileOps{}, kDevice, "/work/new.icm",
                                       "/colour/old.icm", m_trace, associated));
    EXPECT_FALSE(ReplaceDisplayProfile(noAssociate, kDevice, "/work/new.icm", "/colour/old.icm",
                                       m_trace, associated));
    EXPECT_EQ(associated, "untouched");
    EXPECT_EQ(fake.calls, std::vector<std::string>{"install /work/new.icm"});

    // Without a disassociate operation the new profile still goes on.
    DisplayProfileOps noDisassociate = fake.Make();
    noDisassociate.disassociate = nullptr;
    EXPECT_TRUE(ReplaceDisplayProfile(noDisassociate, kDevice, "/work/new.icm", "/colour/old.icm",
                                      m_trace, associated));
    EXPECT_EQ(associated, "/colour/new.icm");
}

TEST_F(ReplaceDisplayProfileTest, PlatformOpsCopyAndReassociateInTheStore)
{
    ScopedEnv data{"XDG_DATA_HOME", m_dir.Path() + "data"};
    ScopedEnv config{"XDG_CONFIG_HOME", m_dir.Path() + "config"};
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, "other.icm"));
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, "old.icm"));
    WriteTextFile(m_dir.File("new.icm"), "new profile");

    std::string associated;
    ASSERT_TRUE(ReplaceDisplayProfile(DisplayProfileOps::Platform(), kDevice, m_dir.File("new.icm"),
                                      m_dir.Path() + "data/icc/old.icm", m_trace, associated));
    EXPECT_EQ(associated, m_dir.Path() + "data/icc/new.icm");
    EXPECT_EQ(ReadTextFile(associated), "new profile");
    EXPECT_EQ(platform::DisplayProfiles(kDevice),
              (std::vector<std::string>{"new.icm", "other.icm"}));

    // A source that cannot be read changes nothing.
    EXPECT_FALSE(ReplaceDisplayProfile(DisplayProfileOps::Platform(), kDevice,
                                       m_dir.File("absent.icm"), associated, m_trace, associated));
    EXPECT_EQ(platform::DisplayProfiles(kDevice),
              (std::vector<std::string>{"new.icm", "other.icm"}));
}

// On a display nothing was associated with (it shows the sRGB profile only
// by default), the profile named as the display's is not taken off, and
// the trace names no profile as associated: it says none was. Once the
// agent's profile is on, that one is named and comes off at the next change.
TEST_F(ReplaceDisplayProfileTest, NothingAssociatedBeforeIsSaidAndNothingTakenOff)
{
    ScopedEnv data{"XDG_DATA_HOME", m_dir.Path() + "data"};
    ScopedEnv config{"XDG_CONFIG_HOME", m_dir.Path() + "config"};
    WriteTextFile(m_dir.File("first.icm"), "first profile");
    WriteTextFile(m_dir.File("second.icm"), "second profile");
    const DisplayProfileOps ops = DisplayProfileOps::Platform();
    const std::string srgb = platform::ResolveProfilePath(platform::MonitorProfileName(kDevice));
    ASSERT_TRUE(platform::DisplayProfiles(kDevice).empty());

    TracePreviousProfile(ops, kDevice, srgb, m_trace);
    std::string associated;
    ASSERT_TRUE(ReplaceDisplayProfile(ops, kDevice, m_dir.File("first.icm"), srgb, m_trace,
                                      associated));
    std::string trace = ReadTextFile(m_dir.File("trace.txt"));
    EXPECT_EQ(trace.find(platform::kSRGBProfileFileName), std::string::npos) << trace;
    EXPECT_EQ(trace.find("Disassociate"), std::string::npos) << trace;
    EXPECT_TRUE(Traced(std::string("current profile: none associated with device ") + kDevice +
                       "\n"));
    EXPECT_TRUE(Traced(std::string("no profile associated with device ") + kDevice +
                       " before: nothing to take off\n"));
    EXPECT_EQ(platform::DisplayProfiles(kDevice), std::vector<std::string>{"first.icm"});

    const std::string first = associated;
    TracePreviousProfile(ops, kDevice, first, m_trace);
    ASSERT_TRUE(ReplaceDisplayProfile(ops, kDevice, m_dir.File("second.icm"), first, m_trace,
                                      associated));
    EXPECT_TRUE(Traced("current profile GetICMProfile name = " + first + ",\n"));
    EXPECT_TRUE(Traced(std::string("DisassociateColorProfileFromDevice OK from device ") +
                       kDevice + "\n"));
    EXPECT_EQ(platform::DisplayProfiles(kDevice), std::vector<std::string>{"second.icm"});
}

} // namespace
