#include "agent/CdmpWriter.h"

#include "agent/AgentSettings.h"
#include "platform/ColorDirectory.h"
#include "platform/Folders.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <sys/stat.h>

namespace {

using testsupport::ReadTextFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteTextFile;

constexpr const char* kDevice = "MONITOR\\QBX1234\\card0-DP-1";

std::tm MakeLocalTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

bool FileExists(const std::string& path)
{
    struct stat st = {};
    return ::stat(path.c_str(), &st) == 0;
}

// The golden texts below are written with four spaces per level; the
// document indents with tabs.
std::string Tabs(const std::string& text)
{
    std::string out;
    bool lineStart = true;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (lineStart && text.compare(i, 4, "    ") == 0)
        {
            out += '\t';
            i += 3;
            continue;
        }
        lineStart = text[i] == '\n';
        out += text[i];
    }
    return out;
}

// The values the agent gives a new profile, with round numbers.
void FillTypical(CdmpWriter& writer)
{
    writer.SetProfileName("6500K_22_ABC1234.cdmp");
    writer.SetDescription("LCD device model profile");
    writer.SetAuthor("Quillbrake ZEPH");
    writer.SetColorSpace("CIEXYZ");
    ASSERT_TRUE(writer.SetWhitePoint(190.1, 200.0, 217.8));
    ASSERT_TRUE(writer.SetGeometry(0));
    ASSERT_TRUE(writer.SetApertureSize(10));
    ASSERT_TRUE(writer.SetSelfLuminous(1));
    ASSERT_TRUE(writer.SetMaxColorant(255));
    ASSERT_TRUE(writer.SetMinColorant(0));
    ASSERT_TRUE(writer.SetRedPrimary(82.4, 42.5, 3.9));
    ASSERT_TRUE(writer.SetGreenPrimary(71.5, 143.0, 23.8));
    ASSERT_TRUE(writer.SetBluePrimary(36.1, 14.4, 190.1));
    ASSERT_TRUE(writer.SetBlackPrimary(0.0, 0.0, 0.0));
    ASSERT_TRUE(writer.SetWhitePrimary(190.1, 200.0, 217.8));
    writer.SetTimeStamp(MakeLocalTime(2007, 3, 5, 14, 7, 9));
}

class CdmpWriterTest : public ::testing::Test
{
protected:
    TempDir m_dir;
    ScopedEnv m_data{"XDG_DATA_HOME", m_dir.Path() + "data"};
    ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir.Path() + "config"};
    platform::VirtualClock m_clock;

    std::string ColorDir() const { return m_dir.Path() + "data/icc/"; }
};

TEST_F(CdmpWriterTest, DocumentMatchesTheGoldenText)
{
    CdmpWriter writer(m_clock);
    FillTypical(writer);
    // Linear ramps whose samples at drive 15 s are s times simple numbers.
    ASSERT_TRUE(writer.SetRamp(0, {17, 34, 51}, {0, 0, 0}, 1.0));
    ASSERT_TRUE(writer.SetRamp(1, {34, 17, 0}, {0, 0, 0}, 1.0));
    ASSERT_TRUE(writer.SetRamp(2, {0, 17, 0}, {0, 0, 0}, 1.0));
    ASSERT_TRUE(writer.SetRamp(3, {0, 0, 17}, {0, 0, 0}, 1.0));

    std::string expected = Tabs(R"(<?xml version="1.0" encoding="utf-8"?>
<cdm:ColorDeviceModel xmlns:cdm="http://schemas.microsoft.com/windows/2005/02/color/ColorDeviceModel" xmlns:wcs="http://schemas.microsoft.com/windows/2005/02/color/WcsCommonProfileTypes" xmlns:xs="http://www.w3.org/2001/XMLSchema-instance">
    <cdm:ProfileName>
        <wcs:Text xml:lang="en-US">6500K_22_ABC1234.cdmp</wcs:Text>
    </cdm:ProfileName>
    <cdm:Description>
        <wcs:Text xml:lang="en-US">LCD device model profile</wcs:Text>
    </cdm:Description>
    <cdm:Author>
        <wcs:Text xml:lang="en-US">Quillbrake ZEPH</wcs:Text>
    </cdm:Author>
    <cdm:MeasurementConditions>
        <cdm:ColorSpace>CIEXYZ</cdm:ColorSpace>
        <cdm:WhitePoint X="190.100" Y="200.000" Z="217.800"/>
        <cdm:Geometry>0/45</cdm:Geometry>
        <cdm:ApertureSize>10</cdm:ApertureSize>
    </cdm:MeasurementConditions>
    <cdm:SelfLuminous>true</cdm:SelfLuminous>
    <cdm:MaxColorant>255</cdm:MaxColorant>
    <cdm:MinColorant>0</cdm:MinColorant>
    <cdm:LCDDevice>
        <cdm:MeasurementData TimeStamp="2007-03-05T14:07:09">
            <cdm:WhitePrimary X="190.100" Y="200.000" Z="217.800"/>
            <cdm:RedPrimary X="82.400" Y="42.500" Z="3.900"/>
            <cdm:GreenPrimary X="71.500" Y="143.000" Z="23.800"/>
            <cdm:BluePrimary X="36.100" Y="14.400" Z="190.100"/>
            <cdm:BlackPrimary X="0.000" Y="0.000" Z="0.000"/>)");

    struct RampForm
    {
        const char* name;
        int r, g, b;     // which channels the ramp drives
        int x, y, z;     // sample at drive 15 s = s times these
        bool tagByDrive; // Gray15 .. Gray240 rather than Red1 .. Red16
    };
    const RampForm ramps[] = {{"Gray", 1, 1, 1, 1, 2, 3, true},
                              {"Red", 1, 0, 0, 2, 1, 0, false},
                              {"Green", 0, 1, 0, 0, 1, 0, false},
                              {"Blue", 0, 0, 1, 0, 0, 1, false}};
    const auto fixed3 = [](int v) { return std::to_string(v) + ".000"; };
    for (const RampForm& ramp : ramps)
    {
        expected += Tabs("\n            <cdm:" + std::string(ramp.name) + "Ramp>");
        for (int s = 1; s <= 16; ++s)
        {
            const int drive = 15 * s;
            const std::string tag = ramp.name + std::to_string(ramp.tagByDrive ? drive : s);
            const std::string d = std::to_string(drive);
            expected += Tabs("\n                <cdm:Sample Tag=\"" + tag + "\">" +
                             "\n                    <cdm:RGB R=\"" + (ramp.r ? d : "0") +
                             "\" G=\"" + (ramp.g ? d : "0") + "\" B=\"" + (ramp.b ? d : "0") +
                             "\"/>" + "\n                    <cdm:CIEXYZ X=\"" +
                             fixed3(ramp.x * s) + "\" Y=\"" + fixed3(ramp.y * s) + "\" Z=\"" +
                             fixed3(ramp.z * s) + "\"/>" + "\n                </cdm:Sample>");
        }
        expected += Tabs("\n            </cdm:" + std::string(ramp.name) + "Ramp>");
    }
    expected += Tabs(R"(
        </cdm:MeasurementData>
    </cdm:LCDDevice>
</cdm:ColorDeviceModel>
)");

    EXPECT_EQ(writer.DocumentText(), expected);
}

TEST_F(CdmpWriterTest, GrayRampFollowsTheGammaAtTheWrittenDriveValues)
{
    CdmpWriter writer(m_clock);
    FillTypical(writer);
    ASSERT_TRUE(writer.SetRamp(0, {190.1, 200.0, 217.8}, {0, 0, 0}, 2.2));
    ASSERT_TRUE(writer.SetRamp(1, {82.4, 42.5, 3.9}, {0, 0, 0}, 2.2));

    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(writer.DocumentText().c_str()));
    EXPECT_EQ(document.select_nodes("//cdm:Sample").size(), 64u);
    EXPECT_EQ(document.select_nodes("//cdm:GrayRamp/cdm:Sample").size(), 16u);

    const auto grayY = [&](const char* tag) {
        const std::string query =
            std::string("//cdm:GrayRamp/cdm:Sample[@Tag='") + tag + "']/cdm:CIEXYZ/@Y";
        return std::string(document.select_node(query.c_str()).attribute().value());
    };
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", 200.0 * std::pow(15.0 / 255.0, 2.2));
    EXPECT_EQ(grayY("Gray15"), text);
    std::snprintf(text, sizeof text, "%.3f", 200.0 * std::pow(240.0 / 255.0, 2.2));
    EXPECT_EQ(grayY("Gray240"), text);
    EXPECT_FALSE(document.select_node("//cdm:Sample[@Tag='Gray0']"));
    EXPECT_FALSE(document.select_node("//cdm:Sample[@Tag='Gray255']"));

    // The stored samples run from black to exactly the peak.
    EXPECT_EQ(writer.RampSamples(0)[0].Y, 0.0);
    EXPECT_EQ(writer.RampSamples(0)[255].Y, 200.0);

    // The red ramp: Red1 .. Red16 in order, driving red alone.
    const pugi::xpath_node_set red = document.select_nodes("//cdm:RedRamp/cdm:Sample");
    ASSERT_EQ(red.size(), 16u);
    int s = 1;
    for (const pugi::xpath_node& node : red)
    {
        EXPECT_EQ(std::string(node.node().attribute("Tag").value()), "Red" + std::to_string(s));
        const pugi::xml_node rgb = node.node().child("cdm:RGB");
        EXPECT_EQ(rgb.attribute("R").as_int(), 15 * s);
        EXPECT_EQ(rgb.attribute("G").as_int(), 0);
        EXPECT_EQ(rgb.attribute("B").as_int(), 0);
        ++s;
    }

    const pugi::xml_node root = document.child("cdm:ColorDeviceModel");
    EXPECT_STREQ(root.attribute("xmlns:cdm").value(), kCdmNamespace);
    EXPECT_STREQ(root.attribute("xmlns:wcs").value(), kWcsNamespace);
    EXPECT_STREQ(root.attribute("xmlns:xs").value(), kXsNamespace);
    EXPECT_STREQ(
        document.select_node("/cdm:ColorDeviceModel/cdm:ProfileName/wcs:Text").node().child_value(),
        "6500K_22_ABC1234.cdmp");
    EXPECT_STREQ(document.select_node("//wcs:Text/@xml:lang").attribute().value(), "en-US");
    EXPECT_STREQ(document.select_node("//cdm:MeasurementData/@TimeStamp").attribute().value(),
                 "2007-03-05T14:07:09");
}

TEST_F(CdmpWriterTest, SettersRefuseValuesOutsideTheirRangeAndKeepTheOldText)
{
    CdmpWriter writer(m_clock);
    FillTypical(writer);

    // Applied in order to one writer; after each call the field holds the
    // expected text (a refused value leaves the previous one).
    struct Case
    {
        const char* what;
        std::function<bool(CdmpWriter&)> set;
        bool accepted;
        std::function<std::string(const CdmpWriter&)> field;
        const char* text;
    };
    const auto maxColorant = [](const CdmpWriter& w) { return w.MaxColorant(); };
    const auto minColorant = [](const CdmpWriter& w) { return w.MinColorant(); };
    const auto geometry = [](const CdmpWriter& w) { return w.Geometry(); };
    const auto luminous = [](const CdmpWriter& w) { return w.SelfLuminous(); };
    const auto aperture = [](const CdmpWriter& w) { return w.ApertureSize(); };
    const auto whiteX = [](const CdmpWriter& w) { return w.WhitePoint().X; };
    const auto redY = [](const CdmpWriter& w) { return w.PrimaryText(CdmpWriter::Primary::Red).Y; };

    const Case cases[] = {
        {"max colorant 10001", [](CdmpWriter& w) { return w.SetMaxColorant(10001); }, false,
         maxColorant, "255"},
        {"max colorant 10000", [](CdmpWriter& w) { return w.SetMaxColorant(10000); }, true,
         maxColorant, "10000"},
        {"min colorant 10001", [](CdmpWriter& w) { return w.SetMinColorant(10001); }, false,
         minColorant, "0"},
        {"geometry 4", [](CdmpWriter& w) { return w.SetGeometry(4); }, false, geometry, "0/45"},
        {"geometry -1", [](CdmpWriter& w) { return w.SetGeometry(-1); }, false, geometry, "0/45"},
        {"geometry 1", [](CdmpWriter& w) { return w.SetGeometry(1); }, true, geometry, "0/diffuse"},
        {"geometry 2", [](CdmpWriter& w) { return w.SetGeometry(2); }, true, geometry, "diffuse/0"},
        {"geometry 3", [](CdmpWriter& w) { return w.SetGeometry(3); }, true, geometry, "Direct"},
        {"self-luminous 2", [](CdmpWriter& w) { return w.SetSelfLuminous(2); }, false, luminous,
         "true"},
        {"self-luminous 0", [](CdmpWriter& w) { return w.SetSelfLuminous(0); }, true, luminous,
         "false"},
        {"aperture -1", [](CdmpWriter& w) { return w.SetApertureSize(-1); }, false, aperture, "10"},
        {"aperture 0", [](CdmpWriter& w) { return w.SetApertureSize(0); }, true, aperture, "0"},
        {"white point NaN", [](CdmpWriter& w) { return w.SetWhitePoint(std::nan(""), 1, 1); },
         false, whiteX, "190.100"},
        {"red primary rounded", [](CdmpWriter& w) { return w.SetRedPrimary(1, 0.12345, 1); }, true,
         redY, "0.123"},
        {"red primary infinite", [](CdmpWriter& w) { return w.SetRedPrimary(1, HUGE_VAL, 1); },
         false, redY, "0.123"},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(c.set(writer), c.accepted) << c.what;
        EXPECT_EQ(c.field(writer), c.text) << c.what;
    }

    writer.SetDescription("");
    EXPECT_EQ(writer.Description(), "LCD device model profile");
    writer.SetProfileName("");
    EXPECT_EQ(writer.ProfileName(), "6500K_22_ABC1234.cdmp");

    EXPECT_FALSE(writer.SetRamp(4, {1, 1, 1}, {0, 0, 0}, 2.2));
    EXPECT_FALSE(writer.SetRamp(-1, {1, 1, 1}, {0, 0, 0}, 2.2));
    EXPECT_FALSE(writer.SetRamp(0, {1, 1, 1}, {0, 0, 0}, 0.0));
    EXPECT_FALSE(writer.SetRamp(0, {1, HUGE_VAL, 1}, {0, 0, 0}, 2.2));
    EXPECT_EQ(writer.RampSamples(0)[255].Y, 0.0) << "refused ramps leave the ramp unset";
}

TEST_F(CdmpWriterTest, TimeStampIsTheLocalTimeInIsoForm)
{
    CdmpWriter writer(m_clock);
    writer.SetTimeStamp(MakeLocalTime(2024, 12, 31, 9, 5, 0));
    EXPECT_EQ(writer.TimeStamp(), "2024-12-31T09:05:00");
    writer.SetTimeStamp();
    ASSERT_EQ(writer.TimeStamp().size(), 19u);
    EXPECT_EQ(writer.TimeStamp()[10], 'T');
}

TEST_F(CdmpWriterTest, WriteSavesIntoTheColourDirectoryAndReturnsThePath)
{
    CdmpWriter writer(m_clock);
    FillTypical(writer);
    std::string name = "6500K_22_ABC1234";
    ASSERT_TRUE(writer.Write(name));
    EXPECT_EQ(name, ColorDir() + "6500K_22_ABC1234.cdmp");
    EXPECT_EQ(ReadTextFile(name), writer.DocumentText());

    for (const char* bad : {"", "sub/name", "../escape"})
    {
        std::string badName = bad;
        EXPECT_FALSE(writer.Write(badName)) << bad;
        EXPECT_EQ(badName, bad);
    }
}

TEST_F(CdmpWriterTest, InstallWritesInstallsAndReplacesTheDisplaysProfile)
{
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, "old.icm"));
    CdmpWriter writer(m_clock);
    writer.SetDeviceId(kDevice);
    FillTypical(writer);

    std::string name = "6500K_22_ABC1234";
    ASSERT_EQ(writer.InstallCdmpProfile(name), 1);
    const std::string installed = ColorDir() + "6500K_22_ABC1234.cdmp";
    EXPECT_EQ(name, installed);
    EXPECT_TRUE(FileExists(installed));
    EXPECT_EQ(platform::DisplayProfiles(kDevice),
              std::vector<std::string>{"6500K_22_ABC1234.cdmp"});
    EXPECT_EQ(m_clock.Sleeps(), std::vector<std::int64_t>{1000});
    EXPECT_TRUE(writer.CurrentProfileKnown());
    EXPECT_EQ(writer.CurrentProfilePath(), installed);

    // The next installation takes off the profile it installed itself.
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, "other.icm"));
    std::string second = "5000K_22_ABC1234";
    ASSERT_EQ(writer.InstallCdmpProfile(second), 1);
    EXPECT_EQ(platform::DisplayProfiles(kDevice),
              (std::vector<std::string>{"5000K_22_ABC1234.cdmp", "other.icm"}));
}

TEST_F(CdmpWriterTest, InstallTakesOffTheProfileTheCallerNames)
{
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, "b.icm"));
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, "a.icm"));
    CdmpWriter writer(m_clock);
    writer.SetDeviceId(kDevice);
    writer.SetCurrentProfilePath(ColorDir() + "b.icm");
    FillTypical(writer);
    std::string name = "new";
    ASSERT_EQ(writer.InstallCdmpProfile(name), 1);
    EXPECT_EQ(platform::DisplayProfiles(kDevice), (std::vector<std::string>{"new.cdmp", "a.icm"}));
}

TEST_F(CdmpWriterTest, InstallOfAPreparedFileWritesNothing)
{
    ASSERT_TRUE(platform::EnsureFolder(ColorDir()));
    const std::string prepared = "<prepared by the user/>";
    WriteTextFile(ColorDir() + "user.cdmp", prepared);

    CdmpWriter writer(m_clock);
    writer.SetDeviceId(kDevice);
    writer.SetWriteDocument(0);
    FillTypical(writer);
    std::string name = "user.cdmp";
    ASSERT_EQ(writer.InstallCdmpProfile(name), 1);
    EXPECT_EQ(name, ColorDir() + "user.cdmp");
    EXPECT_EQ(ReadTextFile(name), prepared);
    EXPECT_EQ(platform::DefaultDisplayProfile(kDevice), "user.cdmp");

    std::string missing = "absent.cdmp";
    EXPECT_EQ(writer.InstallCdmpProfile(missing), 0);
    EXPECT_FALSE(FileExists(ColorDir() + "absent.cdmp"));
    EXPECT_EQ(platform::DisplayProfiles(kDevice), std::vector<std::string>{"user.cdmp"});
}

// The platform's operations, with install or association made to fail on
// demand, recording the order of the calls.
struct FailingOps
{
    std::vector<std::string> calls;
    bool failInstall = false;
    bool failAssociate = false;

    DisplayProfileOps Make()
    {
        const DisplayProfileOps real = DisplayProfileOps::Platform();
        DisplayProfileOps ops;
        ops.install = [this, real](const std::string& source, std::string* installed) {
            calls.push_back("install " + source.substr(source.rfind('/') + 1));
            return !failInstall && real.install(source, installed);
        };
        ops.associate = [this, real](const std::string& device, const std::string& profile,
                                     std::string& note) {
            calls.push_back("associate " + profile.substr(profile.rfind('/') + 1));
            return !failAssociate && real.associate(device, profile, note);
        };
        ops.disassociate = [this, real](const std::string& device, const std::string& profile) {
            calls.push_back("disassociate " + profile.substr(profile.rfind('/') + 1));
            return real.disassociate(device, profile);
        };
        return ops;
    }
};

TEST_F(CdmpWriterTest, InstallAssociatesTheNewProfileBeforeTakingTheOldOneOff)
{
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, "old.icm"));
    FailingOps ops;
    CdmpWriter writer(m_clock);
    writer.SetDeviceId(kDevice);
    writer.SetDisplayProfileOps(ops.Make());
    FillTypical(writer);
    std::string name = "new";
    ASSERT_EQ(writer.InstallCdmpProfile(name), 1);
    EXPECT_EQ(ops.calls, (std::vector<std::string>{"install new.cdmp", "associate new.cdmp",
                                                   "disassociate old.icm"}));
    EXPECT_EQ(platform::DisplayProfiles(kDevice), std::vector<std::string>{"new.cdmp"});
}

// A failed install or association returns 0 with the display's profiles as
// they were: the old profile is still associated and still the one the
// next installation takes off.
TEST_F(CdmpWriterTest, FailedInstallOrAssociationKeepsTheOldProfile)
{
    for (const bool failInstall : {true, false})
    {
        SCOPED_TRACE(failInstall ? "install fails" : "association fails");
        ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, "old.icm"));
        FailingOps ops;
        ops.failInstall = failInstall;
        ops.failAssociate = !failInstall;
        CdmpWriter writer(m_clock);
        writer.SetDeviceId(kDevice);
        writer.SetDisplayProfileOps(ops.Make());
        FillTypical(writer);

        std::string name = "new";
        EXPECT_EQ(writer.InstallCdmpProfile(name), 0);
        EXPECT_EQ(platform::DisplayProfiles(kDevice), std::vector<std::string>{"old.icm"});
        EXPECT_EQ(writer.CurrentProfilePath(), ColorDir() + "old.icm");
        for (const std::string& call : ops.calls)
            EXPECT_EQ(call.rfind("disassociate", 0), std::string::npos) << call;

        // Once the store works again the retry replaces the old profile.
        ops.failInstall = false;
        ops.failAssociate = false;
        name = "new";
        ASSERT_EQ(writer.InstallCdmpProfile(name), 1);
        EXPECT_EQ(platform::DisplayProfiles(kDevice), std::vector<std::string>{"new.cdmp"});
        ASSERT_TRUE(platform::DisassociateDisplayProfile(kDevice, "new.cdmp"));
    }
}

// When the document cannot be saved, whatever file of that name is in the
// colour directory stays out of the association, and the display keeps its
// profile.
TEST_F(CdmpWriterTest, InstallFailsWithoutInstallingWhenTheSaveFails)
{
    ASSERT_TRUE(platform::EnsureFolder(ColorDir() + "blocked.cdmp/"));
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, "old.icm"));
    CdmpWriter writer(m_clock);
    writer.SetDeviceId(kDevice);
    FillTypical(writer);
    std::string name = "blocked";
    EXPECT_EQ(writer.InstallCdmpProfile(name), -1);
    EXPECT_EQ(name, "blocked");
    EXPECT_EQ(platform::DisplayProfiles(kDevice), std::vector<std::string>{"old.icm"});
}

TEST_F(CdmpWriterTest, CurrentProfileNameComesFromTheDisplayOrTheRememberedPath)
{
    CdmpWriter writer(m_clock);
    writer.SetDeviceId(kDevice);
    std::string name;
    ASSERT_TRUE(writer.GetCurrentIcmProfileName(0, name));
    EXPECT_EQ(name, ColorDir() + platform::kSRGBProfileFileName);

    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, "mine.icm"));
    ASSERT_TRUE(writer.GetCurrentIcmProfileName(0, name));
    EXPECT_EQ(name, ColorDir() + "mine.icm");

    writer.SetCurrentProfilePath("/elsewhere/remembered.cdmp");
    ASSERT_TRUE(writer.GetCurrentIcmProfileName(1, name));
    EXPECT_EQ(name, "/elsewhere/remembered.cdmp");

    name = "unchanged";
    EXPECT_FALSE(writer.GetCurrentIcmProfileName(7, name));
    EXPECT_EQ(name, "unchanged");
}

TEST_F(CdmpWriterTest, InstallTracesItsStepsWhenTheTraceIsOn)
{
    ASSERT_TRUE(platform::EnsureFolder(AgentFolder()));
    WriteTextFile(AgentDebugIniPath(), "[FILEOUT]\nFILEOUT_FLG=1\n");
    CdmpWriter writer(m_clock);
    writer.SetDeviceId(kDevice);
    FillTypical(writer);
    std::string name = "traced";
    ASSERT_EQ(writer.InstallCdmpProfile(name), 1);

    const std::string trace = ReadTextFile(TraceFilePath());
    for (const char* line : {"-インストール以前 : traced\n", "-LCDDevice success\n",
                             "-Dynamically created DOM:\n<?xml", "-DOM saved to dynamDom.xml\n",
                             "-AssociateColorProfileWithDevice success = 1\n"})
        EXPECT_NE(trace.find(line), std::string::npos) << line;
}

} // namespace
