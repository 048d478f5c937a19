#include "agent/ProfileInstaller.h"

#include "agent/AgentSettings.h"
#include "agent/CdmpWriter.h"
#include "agent/DdcCiLink.h"
#include "agent/IccProfileBuilder.h"
#include "agent/MccsCapabilities.h"
#include "agent/MonitorProbe.h"
#include "platform/Clock.h"
#include "platform/ColorDirectory.h"
#include "platform/FileReplace.h"
#include "platform/Registry.h"
#include "platform/ddc/SimulatedMonitors.h"
#include "tests/agent/FakeDdcTransport.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using testsupport::ReadTextFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteTextFile;

constexpr const char* kDevice = "MONITOR\\ABC1234\\FAKE-1";
constexpr std::uint16_t kNone = CProfileInstaller::kNotRead;

// Followed values in the installer's order: 02h, 0Bh, 0Ch, 14h, 72h, E8h, 68h.
CProfileInstaller::VcpValues Values(std::uint16_t preset, std::uint16_t increment = 50,
                                    std::uint16_t request = 70, std::uint16_t gamma = kNone,
                                    std::uint16_t simpleGamma = kNone,
                                    std::uint16_t gammaSelect = kNone)
{
    return {2, increment, request, preset, gamma, simpleGamma, gammaSelect};
}

struct FileId
{
    ino_t inode = 0;
    bool exists = false;
};

FileId IdOf(const std::string& path)
{
    struct stat st = {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return {st.st_ino, true};
}

std::uint32_t Big32(const std::string& bytes, std::size_t at)
{
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3]));
}

void PutBig32(std::string& bytes, std::size_t at, std::uint32_t value)
{
    bytes[at] = static_cast<char>(value >> 24);
    bytes[at + 1] = static_cast<char>(value >> 16);
    bytes[at + 2] = static_cast<char>(value >> 8);
    bytes[at + 3] = static_cast<char>(value);
}

// The offset of a tag's data in a profile file's bytes.
std::size_t TagOffset(const std::string& bytes, const std::string& signature)
{
    const std::uint32_t count = Big32(bytes, 128);
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const std::size_t entry = 132 + 12 * i;
        if (bytes.compare(entry, 4, signature) == 0)
            return Big32(bytes, entry + 4);
    }
    ADD_FAILURE() << "no tag " << signature;
    return 0;
}

// Moves the chromaticity x, y of an XYZ tag by (dx, dy), keeping its Y.
void ShiftChromaticity(std::string& bytes, const std::string& signature, double dx, double dy)
{
    const std::size_t at = TagOffset(bytes, signature) + 8;
    const double X = FromS15Fixed16(Big32(bytes, at));
    const double Y = FromS15Fixed16(Big32(bytes, at + 4));
    const double Z = FromS15Fixed16(Big32(bytes, at + 8));
    const double x = X / (X + Y + Z) + dx;
    const double y = Y / (X + Y + Z) + dy;
    PutBig32(bytes, at, static_cast<std::uint32_t>(ToS15Fixed16(x * Y / y)));
    PutBig32(bytes, at + 8, static_cast<std::uint32_t>(ToS15Fixed16((1.0 - x - y) * Y / y)));
}

// Sets one sample of a curve tag to factor x its value.
void ScaleCurveSample(std::string& bytes, const std::string& signature, int sample, double factor)
{
    const std::size_t at = TagOffset(bytes, signature) + 12 + 2 * static_cast<std::size_t>(sample);
    const int old =
        (static_cast<unsigned char>(bytes[at]) << 8) | static_cast<unsigned char>(bytes[at + 1]);
    const long scaled = std::lround(old * factor);
    bytes[at] = static_cast<char>((scaled >> 8) & 0xFF);
    bytes[at + 1] = static_cast<char>(scaled & 0xFF);
}

// A colour directory and association store of our own, a fake monitor
// (maker ABC, product 1234, sRGB primaries) and the installer over it.
class ProfileInstallerTest : public ::testing::Test
{
protected:
    ProfileInstallerTest()
    {
        EXPECT_TRUE(platform::ColorDirectory(colorDir));
        platform::EdidFields fields;
        fields.maker = "ABC";
        fields.product = 0x1234;
        fake.edid = platform::BuildEdid(fields);
        caps.Parse("(prot(monitor)type(lcd)vcp(02 0B 0C 14(01 02 05 0B) 72(FF 78)))");
        installer.SetDeviceId(kDevice);
    }

    static std::string TraceOnIni(const TempDir& dir)
    {
        WriteTextFile(dir.File("ZEPH_D.INI"), "[FILEOUT]\nFILEOUT_FLG=1\n");
        return dir.File("ZEPH_D.INI");
    }

    bool Traced(const std::string& text) const
    {
        return ReadTextFile(dir.File("fprintf.txt")).find("-" + text) != std::string::npos;
    }
    void ClearTrace() const { WriteTextFile(dir.File("fprintf.txt"), ""); }

    std::string Path(const std::string& name) const { return colorDir + name; }
    std::vector<std::string> Associated() const { return platform::DisplayProfiles(kDevice); }

    // A profile for the fake monitor at 6500 K and the given gamma, as the
    // installer writes it, saved under name.
    std::string SaveMonitorProfile(const std::string& name, double gamma = 2.2)
    {
        CIccProfileBuilder builder;
        FillMonitor(builder, gamma);
        builder.SetDescription(name);
        EXPECT_TRUE(builder.BuildTags());
        EXPECT_TRUE(builder.Save(Path(name)));
        return Path(name);
    }

    void FillMonitor(CIccProfileBuilder& builder, double gamma = 2.2)
    {
        XyzTriple red;
        XyzTriple green;
        XyzTriple blue;
        XyzTriple white;
        ASSERT_EQ(probe.SetEdid(fake.edid), true);
        ASSERT_EQ(probe.GetPrimaryColorChromaticityFromEDID(red, green, blue), 0);
        ASSERT_EQ(probe.ConvertFromColorTempIntoColorChrom(6500, white), 0);
        ASSERT_TRUE(builder.SetPrimaries(red, green, blue, white));
        ASSERT_TRUE(builder.SetGamma(gamma));
    }

    TempDir dir;
    ScopedEnv dataHome{"XDG_DATA_HOME", dir.Path() + "data"};
    ScopedEnv configHome{"XDG_CONFIG_HOME", dir.Path() + "config"};
    std::string colorDir;
    agenttest::FakeDdcTransport fake;
    platform::VirtualClock clock;
    CTraceLog trace{TraceOnIni(dir), dir.File("fprintf.txt")};
    CDdcCiLink link{fake, clock, platform::RegistryStore(dir.File("registry.ini")), trace};
    CMccsCapabilities caps{&link};
    CMonitorProbe probe{link, caps, trace};
    CProfileInstaller installer{probe, caps, trace};
    ProfileSettings easy; // easy mode, ICC, no GammaSelect
};

TEST(ProfileGamma, GammaFromVcpValueFollowsTheTypeOfThe72hList)
{
    struct Case
    {
        int type;
        std::uint16_t value;
        int result;
        double gamma;
    };
    const Case cases[] = {
        {kGammaTypeAbsolute, 120, 1, 2.2},
        {kGammaTypeAbsolute, 0, 1, 1.0},
        {kGammaTypeRelative, 0x400, 1, 2.2},
        {kGammaTypeRelative, 0x401, 1, 2.1},
        {kGammaTypeRelative, 0x403, 1, 1.9},
        {kGammaTypeRelative, 0x40A, 1, 1.2},
        {kGammaTypeRelative, 0x411, 1, 2.3},
        {kGammaTypeRelative, 0x41A, 1, 3.2},
        {kGammaTypeRelative, 0x420, 1, -1.0}, // "no gamma": the caller falls back to E8h
        {kGammaTypeRelative, 0x40B, 0, -1.0},
        {kGammaTypeRelative, 0x410, 0, -1.0},
        {kGammaTypeRelative, 0x41B, 0, -1.0},
        {kGammaTypeRelative, 0xFC00, 0, -1.0}, // negative as a signed 16-bit number
        {kGammaTypeUnknown, 0x403, 1, 2.2},
    };
    for (const Case& c : cases)
    {
        double gamma = 0.0;
        EXPECT_EQ(GammaFromVcpValue(c.type, 2.2, c.value, gamma), c.result) << c.value;
        EXPECT_NEAR(gamma, c.gamma, 1e-9) << c.value;
    }
    EXPECT_DOUBLE_EQ(GammaFromSimpleGamma(170), 2.2);
    EXPECT_DOUBLE_EQ(GammaFromSimpleGamma(0), 0.5);
}

TEST(ProfileGamma, DefaultGammaAndPresetListComeFromTheCapabilities)
{
    struct Case
    {
        const char* capabilities; // nullptr: nothing parsed
        int type;
        double gamma; // 9.0: left as it was
        int presets;
    };
    const Case cases[] = {
        {nullptr, kGammaTypeUnknown, 2.2, 0},
        {"(vcp(02 14(01 05 08) 72(FF 78)))", kGammaTypeRelative, 2.2, 3},
        {"(vcp(02 72(01 8C)))", kGammaTypeAbsolute, 2.4, 0},
        {"(vcp(02 72))", kGammaTypeUnknown, 9.0, 0},
        {"(vcp(02 72(FF)))", kGammaTypeUnknown, 9.0, 0}, // too short to say
        {"(vcp(02 14))", kGammaTypeUnknown, 9.0, 0},
    };
    for (const Case& c : cases)
    {
        CMccsCapabilities caps(nullptr);
        if (c.capabilities)
            caps.Parse(c.capabilities);
        double gamma = 9.0;
        EXPECT_EQ(GetDefaultGammaFromCapabilities(caps, gamma), c.type) << c.capabilities;
        EXPECT_NEAR(gamma, c.gamma, 1e-9);
        std::vector<int> values;
        EXPECT_EQ(GetColorPresetList(caps, &values), c.presets);
        EXPECT_EQ(static_cast<int>(values.size()), c.presets);
    }
    CMccsCapabilities caps(nullptr);
    caps.Parse("(vcp(14(01 05 0B)))");
    std::vector<int> values;
    ASSERT_EQ(GetColorPresetList(caps, &values), 3);
    EXPECT_EQ(values, (std::vector<int>{1, 5, 11}));
    EXPECT_EQ(GetColorPresetList(caps, nullptr), 3);
}

TEST(ProfileName, GammaPartIsRoundedNotTruncated)
{
    struct Case
    {
        int kelvin;
        double gamma;
        const char* name;
    };
    const Case cases[] = {
        {6500, 2.2, "6500K_22_ABC1234"},
        {6500, 2.3 - 0.1, "6500K_22_ABC1234"}, // 2.1999...: truncation would give 21
        {6500, 2.2 - 0.1 * 3, "6500K_19_ABC1234"},
        {5000, 1.8, "5000K_18_ABC1234"},
        {9300, 2.44, "9300K_24_ABC1234"},
        {9300, 2.46, "9300K_25_ABC1234"},
        {6500, 0.0, ""},
        {6500, -1.0, ""},
        {6500, std::nan(""), ""},
        {6500, HUGE_VAL, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MakeProfileName(c.kelvin, c.gamma, "ABC", "1234"), c.name) << c.gamma;
}

TEST_F(ProfileInstallerTest, PresetChangeProducesInstallsAndAssociatesTheNamedProfile)
{
    // Preset 5 with 0Bh = 50 and 0Ch = 70: T = 50 x 70 + 3000 = 6500 K.
    ASSERT_EQ(installer.InstallColorProfile(Values(5, 50, 70), easy), CProfileInstaller::kResultOk);
    EXPECT_TRUE(Traced("ColTemp(1) = 6500\n"));
    const std::string path = Path("6500K_22_ABC1234.icm");
    ASSERT_TRUE(IdOf(path).exists);
    EXPECT_EQ(Associated(), std::vector<std::string>{"6500K_22_ABC1234.icm"});
    EXPECT_EQ(platform::DefaultDisplayProfile(kDevice), "6500K_22_ABC1234.icm");
    EXPECT_EQ(installer.CurrentProfileName(), path);
    EXPECT_TRUE(installer.AlreadyCreated());

    // The file is a profile of this monitor.
    CIccProfileBuilder builder;
    FillMonitor(builder);
    EXPECT_EQ(installer.FileSubstitutionJudgment(builder, path), CProfileInstaller::kKeepFile);

    // The same request again reuses the file: nothing is rewritten and the
    // display keeps exactly this one profile.
    const FileId before = IdOf(path);
    ClearTrace();
    ASSERT_EQ(installer.InstallColorProfile(Values(5, 50, 70), easy), CProfileInstaller::kResultOk);
    EXPECT_TRUE(Traced("NO_CHANGE_FILE\n"));
    EXPECT_EQ(IdOf(path).inode, before.inode);
    EXPECT_EQ(Associated(), std::vector<std::string>{"6500K_22_ABC1234.icm"});
}

TEST_F(ProfileInstallerTest, ColourTemperatureComesFromTheRequestOrThePresetTable)
{
    struct Case
    {
        std::uint16_t preset, increment, request;
        const char* file;
    };
    const Case cases[] = {
        {5, 50, 70, "6500K_22_ABC1234.icm"},
        {11, 50, 80, "6500K_22_ABC1234.icm"},   // PROGRAMMABLE: always the table's
        {3, 50, kNone, "4000K_22_ABC1234.icm"}, // no request: the table's
        {8, kNone, 70, "9300K_22_ABC1234.icm"},
        {2, 100, 47, "7700K_22_ABC1234.icm"},
    };
    for (const Case& c : cases)
    {
        ASSERT_EQ(installer.InstallColorProfile(Values(c.preset, c.increment, c.request), easy),
                  CProfileInstaller::kResultOk)
            << c.file;
        EXPECT_EQ(platform::DefaultDisplayProfile(kDevice), c.file);
        // Every decision replaces the one before: one profile on the display.
        EXPECT_EQ(Associated().size(), 1u) << c.file;
    }
}

TEST_F(ProfileInstallerTest, ValuesThatNoProfileCanBeMadeForTouchNothing)
{
    ProfileSettings customGamma = easy;
    customGamma.gammaSelectSupported = true;
    struct Case
    {
        CProfileInstaller::VcpValues values;
        ProfileSettings settings;
        int result;
    };
    const Case cases[] = {
        {Values(kNone), easy, CProfileInstaller::kResultNoColorPreset},
        {Values(0, kNone, kNone), easy, CProfileInstaller::kResultTemperatureOutOfRange},
        {Values(5, 60000, 60000), easy, CProfileInstaller::kResultTemperatureOutOfRange},
        {Values(5, 10, 70), easy, CProfileInstaller::kResultTemperatureOutOfRange},
        {Values(15, kNone, kNone), easy, CProfileInstaller::kResultFailed},
        {Values(5, 50, 70, kNone, kNone, 2), customGamma, CProfileInstaller::kResultFailed},
        {Values(5, 50, 70, kNone, kNone, kGammaSelectCustom), customGamma,
         CProfileInstaller::kResultFailed},
        {Values(5, 50, 70, 0x420, kNone, kGammaSelectCustom), customGamma,
         CProfileInstaller::kResultFailed},
    };
    const std::vector<std::string> filesBefore = platform::ListInstalledProfiles();
    for (const Case& c : cases)
    {
        EXPECT_EQ(installer.InstallColorProfile(c.values, c.settings), c.result)
            << c.values[3] << " " << c.values[6];
        EXPECT_FALSE(installer.RetryAdvised());
    }
    EXPECT_TRUE(Traced("Error_ NOT_SELCOLPRESET: CheckNewControlValue(3)\n"));
    EXPECT_EQ(platform::ListInstalledProfiles(), filesBefore);
    EXPECT_TRUE(Associated().empty());
}

TEST_F(ProfileInstallerTest, GammaOfTheProfileFollowsGammaSelect)
{
    ProfileSettings settings = easy;
    settings.gammaSelectSupported = true;
    struct Case
    {
        std::uint16_t gamma, simpleGamma, gammaSelect;
        const char* file;
    };
    const Case cases[] = {
        {0x403, kNone, kGammaSelectCustom, "6500K_19_ABC1234.icm"}, // 2.2 - 3 x 0.1
        {0x411, kNone, kGammaSelectCustom, "6500K_23_ABC1234.icm"},
        {0x420, 130, kGammaSelectCustom, "6500K_18_ABC1234.icm"},    // falls back to E8h
        {kNone, 200, kGammaSelectCustom, "6500K_25_ABC1234.icm"},    // only E8h
        {0x403, kNone, kGammaSelectDefault, "6500K_22_ABC1234.icm"}, // default of 72(FF 78)
        {0x403, 200, kGammaSelectNoCorrection, "6500K_22_ABC1234.icm"},
        {0x403, 200, kGammaSelectProgrammable, "6500K_22_ABC1234.icm"},
        {0x403, 200, kGammaSelectOption, "6500K_22_ABC1234.icm"},
    };
    for (const Case& c : cases)
    {
        ASSERT_EQ(installer.InstallColorProfile(
                      Values(5, 50, 70, c.gamma, c.simpleGamma, c.gammaSelect), settings),
                  CProfileInstaller::kResultOk)
            << c.file;
        EXPECT_EQ(platform::DefaultDisplayProfile(kDevice), c.file);
    }

    // CUSTOM with a 72h value, but the capabilities do not describe 72h.
    caps.Parse("(vcp(02 0B 0C 14(01 05)))");
    EXPECT_EQ(installer.InstallColorProfile(Values(5, 50, 70, 0x403, kNone, kGammaSelectCustom),
                                            settings),
              CProfileInstaller::kResultGammaNotDescribed);
    // DEFAULT without a described gamma is 2.2.
    EXPECT_EQ(installer.InstallColorProfile(
                  Values(4, kNone, kNone, 0x403, kNone, kGammaSelectDefault), settings),
              CProfileInstaller::kResultOk);
    EXPECT_EQ(platform::DefaultDisplayProfile(kDevice), "5000K_22_ABC1234.icm");
}

// The tolerances of the judgement (inclusive) are 0.002 for red and blue
// x, y, 0.005 for green and white, and 5 % for the curves at 64, 92, 128
// and 192.
TEST_F(ProfileInstallerTest, SubstitutionJudgementKeepsCloseProfilesAndReplacesOthers)
{
    struct Case
    {
        const char* what;
        const char* tag; // "" for none
        double dx, dy;
        int sample;
        double factor;
        int expected;
    };
    const Case cases[] = {
        {"identical", "", 0, 0, 0, 1.0, CProfileInstaller::kKeepFile},
        {"green x 0.004", "gXYZ", 0.004, 0, 0, 1.0, CProfileInstaller::kKeepFile},
        {"green y -0.0045", "gXYZ", 0, -0.0045, 0, 1.0, CProfileInstaller::kKeepFile},
        {"green x 0.006", "gXYZ", 0.006, 0, 0, 1.0, CProfileInstaller::kMakeNewFile},
        {"red x 0.003", "rXYZ", 0.003, 0, 0, 1.0, CProfileInstaller::kMakeNewFile},
        {"red x 0.0015", "rXYZ", 0.0015, 0, 0, 1.0, CProfileInstaller::kKeepFile},
        {"blue y -0.003", "bXYZ", 0, -0.003, 0, 1.0, CProfileInstaller::kMakeNewFile},
        {"white x 0.004", "wtpt", 0.004, 0, 0, 1.0, CProfileInstaller::kKeepFile},
        {"white y 0.006", "wtpt", 0, 0.006, 0, 1.0, CProfileInstaller::kMakeNewFile},
        {"red curve 128 +4 %", "rTRC", 0, 0, 128, 1.04, CProfileInstaller::kKeepFile},
        {"blue curve 64 -6 %", "bTRC", 0, 0, 64, 0.94, CProfileInstaller::kMakeNewFile},
        {"green curve 192 +6 %", "gTRC", 0, 0, 192, 1.06, CProfileInstaller::kMakeNewFile},
        // A stored sample of 0 is no scale to divide by: never "within".
        {"red curve 92 zero", "rTRC", 0, 0, 92, 0.0, CProfileInstaller::kMakeNewFile},
    };
    CIccProfileBuilder current;
    FillMonitor(current);
    const std::string original = ReadTextFile(SaveMonitorProfile("probe.icm"));
    for (const Case& c : cases)
    {
        std::string bytes = original;
        const std::string tag = c.tag;
        if (tag.size() == 4 && tag[1] == 'T')
            ScaleCurveSample(bytes, tag, c.sample, c.factor);
        else if (tag.size() == 4)
            ShiftChromaticity(bytes, tag, c.dx, c.dy);
        WriteTextFile(Path("probe.icm"), bytes);
        EXPECT_EQ(installer.FileSubstitutionJudgment(current, Path("probe.icm")), c.expected)
            << c.what;
    }

    // A file that cannot be decoded, and a builder that is incomplete.
    WriteTextFile(Path("broken.icm"), "not a profile");
    EXPECT_EQ(installer.FileSubstitutionJudgment(current, Path("broken.icm")),
              CProfileInstaller::kMakeNewFile);
    EXPECT_EQ(installer.FileSubstitutionJudgment(current, Path("missing.icm")),
              CProfileInstaller::kMakeNewFile);
    CIccProfileBuilder incomplete;
    EXPECT_EQ(installer.FileSubstitutionJudgment(incomplete, Path("probe.icm")),
              CProfileInstaller::kMakeNewFile);
}

// End to end: the displayed profile's green x drifts by 0.004 and the file
// stays; red x by 0.003 and a new one is written in its place.
TEST_F(ProfileInstallerTest, CurrentProfileIsKeptOrRewrittenByTheJudgement)
{
    ASSERT_EQ(installer.InstallColorProfile(Values(5), easy), CProfileInstaller::kResultOk);
    const std::string path = Path("6500K_22_ABC1234.icm");
    const std::string original = ReadTextFile(path);

    std::string greenOff = original;
    ShiftChromaticity(greenOff, "gXYZ", 0.004, 0.0);
    WriteTextFile(path, greenOff);
    ASSERT_EQ(installer.InstallColorProfile(Values(5), easy), CProfileInstaller::kResultOk);
    EXPECT_EQ(ReadTextFile(path), greenOff);

    std::string redOff = original;
    ShiftChromaticity(redOff, "rXYZ", 0.003, 0.0);
    WriteTextFile(path, redOff);
    ASSERT_EQ(installer.InstallColorProfile(Values(5), easy), CProfileInstaller::kResultOk);
    EXPECT_TRUE(Traced("CHANGE_FILE\n"));
    const std::string rewritten = ReadTextFile(path);
    EXPECT_NE(rewritten, redOff);
    // The same profile as the first, but for the header's date.
    EXPECT_EQ(rewritten.substr(36), original.substr(36));
    EXPECT_EQ(Associated(), std::vector<std::string>{"6500K_22_ABC1234.icm"});
}

TEST_F(ProfileInstallerTest, NearestProfileRanksBySumOfAbsoluteDifferences)
{
    CIccProfileBuilder current;
    FillMonitor(current);
    std::string name = "untouched";
    EXPECT_EQ(installer.FindNearestProfile(current, name), 0); // only the sRGB profile
    EXPECT_EQ(name, "untouched");

    const std::string original = ReadTextFile(SaveMonitorProfile("base.icm"));
    ::unlink(Path("base.icm").c_str());
    // a: red x +0.0015 and red y -0.0015: the signed sum is 0, the absolute
    // sum 0.003. b: green x +0.002 only. c: beyond the red tolerance.
    std::string a = original;
    ShiftChromaticity(a, "rXYZ", 0.0015, -0.0015);
    std::string b = original;
    ShiftChromaticity(b, "gXYZ", 0.002, 0.0);
    std::string c = original;
    ShiftChromaticity(c, "rXYZ", 0.0025, 0.0);
    WriteTextFile(Path("a.icm"), a);
    WriteTextFile(Path("b.icm"), b);
    WriteTextFile(Path("c.icm"), c);
    WriteTextFile(Path("d.ICM"), "not a profile");
    WriteTextFile(Path("e.txt"), original); // not an .icm file

    ASSERT_EQ(installer.FindNearestProfile(current, name), 1);
    EXPECT_EQ(name, Path("b.icm"));
    EXPECT_TRUE(Traced("NOT_COMPARE\n\n"));

    // Once the best file is gone the next one is taken; an exact copy
    // beats both.
    ::unlink(Path("b.icm").c_str());
    ASSERT_EQ(installer.FindNearestProfile(current, name), 1);
    EXPECT_EQ(name, Path("a.icm"));
    WriteTextFile(Path("z.icm"), original);
    ASSERT_EQ(installer.FindNearestProfile(current, name), 1);
    EXPECT_EQ(name, Path("z.icm"));

    CIccProfileBuilder incomplete;
    EXPECT_EQ(installer.FindNearestProfile(incomplete, name), 0);
}

// A curv tag of n entries sampling x^gamma, or the sRGB curve when gamma
// is 0, rounded to 16 bits (as other programs' profiles hold them).
std::vector<std::uint8_t> TableCurveTag(std::size_t n, double gamma)
{
    std::vector<std::uint8_t> tag(12 + 2 * n, 0);
    std::copy_n("curv", 4, tag.begin());
    tag[10] = static_cast<std::uint8_t>(n >> 8);
    tag[11] = static_cast<std::uint8_t>(n & 0xFF);
    for (std::size_t i = 0; i < n; ++i)
    {
        const double x = static_cast<double>(i) / static_cast<double>(n - 1);
        const double y = gamma > 0.0          ? std::pow(x, gamma)
                         : x <= 0.04045 ? x / 12.92
                                        : std::pow((x + 0.055) / 1.055, 2.4);
        const long entry = std::lround(y * 65535.0);
        tag[12 + 2 * i] = static_cast<std::uint8_t>(entry >> 8);
        tag[13 + 2 * i] = static_cast<std::uint8_t>(entry & 0xFF);
    }
    return tag;
}

// Profiles whose curves are 1,024-entry tables (the desktop's sRGB profile
// among them) are compared like our own: the sRGB one is read and found too
// far from gamma 2.2, one with the monitor's values is taken.
TEST_F(ProfileInstallerTest, ProfilesWithLongCurveTablesAreCompared)
{
    CIccProfileBuilder current;
    FillMonitor(current);

    const auto saveWithCurves = [this](const std::string& name, const IccXyz& red,
                                       const IccXyz& green, const IccXyz& blue,
                                       const IccXyz& white, double gamma) {
        CIccProfileBuilder builder;
        ASSERT_TRUE(builder.SetPrimaries(red, green, blue, white));
        ASSERT_TRUE(builder.SetGamma(2.2));
        builder.SetDescription(name);
        ASSERT_TRUE(builder.BuildTags());
        const std::vector<std::uint8_t> curve = TableCurveTag(1024, gamma);
        for (const std::uint32_t signature :
             {IccSignature("rTRC"), IccSignature("gTRC"), IccSignature("bTRC")})
            builder.SetTag(signature, curve);
        ASSERT_TRUE(builder.Save(Path(name)));
    };
    const auto xy = [](double x, double y) { return IccXyz{x / y, 1.0, (1.0 - x - y) / y}; };
    saveWithCurves(platform::kSRGBProfileFileName, xy(0.64, 0.33), xy(0.30, 0.60),
                   xy(0.15, 0.06), xy(0.3127, 0.3290), 0.0);

    std::string name;
    ClearTrace();
    EXPECT_EQ(installer.FindNearestProfile(current, name), 0);
    std::string trace = ReadTextFile(dir.File("fprintf.txt"));
    EXPECT_NE(trace.find(std::string("DecodeFileName = ") + Path(platform::kSRGBProfileFileName)),
              std::string::npos)
        << trace;
    EXPECT_EQ(trace.find("lacks"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("NOT_COMPARE"), std::string::npos) << trace;

    IccCompareRecord monitor;
    ASSERT_TRUE(current.Export(monitor));
    saveWithCurves("table.icm", monitor.red, monitor.green, monitor.blue, monitor.white, 2.2);
    ClearTrace();
    ASSERT_EQ(installer.FindNearestProfile(current, name), 1);
    EXPECT_EQ(name, Path("table.icm"));
    trace = ReadTextFile(dir.File("fprintf.txt"));
    EXPECT_EQ(trace.find("lacks"), std::string::npos) << trace;
}

TEST_F(ProfileInstallerTest, MatchingProfileOfTheColourDirectoryIsReused)
{
    // A profile for these settings under another name: it is associated
    // instead of writing 6500K_22_ABC1234.icm.
    SaveMonitorProfile("mine.icm");
    ASSERT_EQ(installer.InstallColorProfile(Values(5), easy), CProfileInstaller::kResultOk);
    EXPECT_FALSE(IdOf(Path("6500K_22_ABC1234.icm")).exists);
    EXPECT_EQ(Associated(), std::vector<std::string>{"mine.icm"});
    EXPECT_EQ(installer.CurrentProfileName(), Path("mine.icm"));
}

// A recording wrapper around the platform's store that can be told to fail.
struct RecordingOps
{
    std::vector<std::string> calls;
    bool failInstall = false;
    bool failAssociate = false;

    DisplayProfileOps Make()
    {
        DisplayProfileOps platformOps = DisplayProfileOps::Platform();
        DisplayProfileOps ops;
        ops.install = [this, platformOps](const std::string& source, std::string* installed) {
            calls.push_back("install " + source.substr(source.rfind('/') + 1));
            return !failInstall && platformOps.install(source, installed);
        };
        ops.associate = [this, platformOps](const std::string& device, const std::string& profile,
                                            std::string& note) {
            calls.push_back("associate " + profile.substr(profile.rfind('/') + 1));
            return !failAssociate && platformOps.associate(device, profile, note);
        };
        ops.disassociate = [this, platformOps](const std::string& device,
                                               const std::string& profile) {
            calls.push_back("disassociate " + profile.substr(profile.rfind('/') + 1));
            return platformOps.disassociate(device, profile);
        };
        return ops;
    }
};

// Both profile formats go through the same install, associate, then remove
// sequence.
class ProfileInstallerFormatTest : public ProfileInstallerTest,
                                   public ::testing::WithParamInterface<int>
{
protected:
    ProfileInstallerFormatTest() { settings.format = GetParam(); }

    // The file name the installer gives the profile of a base name.
    std::string File(const std::string& base) const
    {
        return base + (GetParam() == 0 ? ".icm" : ".cdmp");
    }

    ProfileSettings settings = easy;
};

INSTANTIATE_TEST_SUITE_P(Formats, ProfileInstallerFormatTest, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == 0 ? "Icc" : "DeviceModel");
                         });

TEST_P(ProfileInstallerFormatTest, NewProfileIsAssociatedBeforeTheOldOneIsRemoved)
{
    // The display has the user's own profile when the agent starts.
    WriteTextFile(Path("user.icm"), "user's profile");
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, "user.icm"));
    RecordingOps recording;
    installer.SetDisplayProfileOps(recording.Make());

    ASSERT_EQ(installer.InstallColorProfile(Values(5), settings), CProfileInstaller::kResultOk);
    EXPECT_EQ(recording.calls, (std::vector<std::string>{"install " + File("6500K_22_ABC1234"),
                                                         "associate " + File("6500K_22_ABC1234"),
                                                         "disassociate user.icm"}));
    EXPECT_EQ(Associated(), std::vector<std::string>{File("6500K_22_ABC1234")});

    // The next decision starts from the profile the agent associated.
    recording.calls.clear();
    ASSERT_EQ(installer.InstallColorProfile(Values(4, kNone, kNone), settings),
              CProfileInstaller::kResultOk);
    EXPECT_EQ(recording.calls,
              (std::vector<std::string>{"install " + File("5000K_22_ABC1234"),
                                        "associate " + File("5000K_22_ABC1234"),
                                        "disassociate " + File("6500K_22_ABC1234")}));
    EXPECT_EQ(Associated(), std::vector<std::string>{File("5000K_22_ABC1234")});
}

TEST_P(ProfileInstallerFormatTest, FailedInstallOrAssociationKeepsTheOldProfileAndAsksForRetry)
{
    ASSERT_EQ(installer.InstallColorProfile(Values(5), settings), CProfileInstaller::kResultOk);
    RecordingOps recording;
    installer.SetDisplayProfileOps(recording.Make());

    for (const bool failInstall : {true, false})
    {
        SCOPED_TRACE(failInstall ? "install fails" : "association fails");
        recording.failInstall = failInstall;
        recording.failAssociate = !failInstall;
        recording.calls.clear();
        EXPECT_EQ(installer.InstallColorProfile(Values(4, kNone, kNone), settings),
                  CProfileInstaller::kResultFailed);
        EXPECT_TRUE(installer.RetryAdvised());
        EXPECT_EQ(Associated(), std::vector<std::string>{File("6500K_22_ABC1234")});
        EXPECT_EQ(installer.CurrentProfileName(), Path(File("6500K_22_ABC1234")));
        EXPECT_FALSE(recording.calls.empty());
        for (const std::string& call : recording.calls)
            EXPECT_EQ(call.rfind("disassociate", 0), std::string::npos) << call;
    }

    // The retry succeeds once the store works again, and only then is the
    // old profile removed.
    recording.failAssociate = false;
    ASSERT_EQ(installer.InstallColorProfile(Values(4, kNone, kNone), settings),
              CProfileInstaller::kResultOk);
    EXPECT_FALSE(installer.RetryAdvised());
    EXPECT_EQ(Associated(), std::vector<std::string>{File("5000K_22_ABC1234")});
}

TEST_F(ProfileInstallerTest, UnreadableEdidFailsAndAsksForRetry)
{
    fake.edidAnswer = false;
    EXPECT_EQ(installer.InstallColorProfile(Values(5), easy), CProfileInstaller::kResultFailed);
    EXPECT_TRUE(installer.RetryAdvised());
    EXPECT_TRUE(Associated().empty());

    fake.edidAnswer = true;
    EXPECT_EQ(installer.InstallColorProfile(Values(5), easy), CProfileInstaller::kResultOk);
    EXPECT_FALSE(installer.RetryAdvised());
}

TEST_F(ProfileInstallerTest, DeviceModelFormatWritesAndInstallsACdmpFile)
{
    ProfileSettings settings = easy;
    settings.format = 1;
    settings.whiteLuminance = 200;
    WriteTextFile(Path("user.icm"), "user's profile");
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, "user.icm"));

    ASSERT_EQ(installer.InstallColorProfile(Values(5), settings), CProfileInstaller::kResultOk);
    const std::string path = Path("6500K_22_ABC1234.cdmp");
    const std::string document = ReadTextFile(path);
    ASSERT_FALSE(document.empty());
    EXPECT_NE(document.find("6500K_22_ABC1234.cdmp</"), std::string::npos);
    EXPECT_NE(document.find("LCD device model profile"), std::string::npos);
    EXPECT_EQ(Associated(), std::vector<std::string>{"6500K_22_ABC1234.cdmp"});
    EXPECT_EQ(installer.CurrentProfileName(), path);
    EXPECT_FALSE(IdOf(Path("6500K_22_ABC1234.icm")).exists);

    // The primaries at their luminances add up to the white at 200.
    XyzTriple red;
    XyzTriple green;
    XyzTriple blue;
    XyzTriple white;
    ASSERT_EQ(probe.GetPrimaryColorChromaticityFromEDID(red, green, blue), 0);
    ASSERT_EQ(probe.ConvertFromColorTempIntoColorChrom(6500, white), 0);
    const auto& l = installer.LuminanceResults();
    EXPECT_NEAR(red.X * l[0] + green.X * l[1] + blue.X * l[2], 200.0 * white.X, 1e-9);
    EXPECT_NEAR(l[0] + l[1] + l[2], 200.0, 1e-9);
    EXPECT_NEAR(red.Z * l[0] + green.Z * l[1] + blue.Z * l[2], 200.0 * white.Z, 1e-9);
    for (const double v : l)
        EXPECT_GT(v, 0.0);
}

TEST_F(ProfileInstallerTest, ProModeInstallsThePresetsProfileFromTheIni)
{
    caps.Parse("(vcp(02 14(01 05)))");
    WriteTextFile(Path("srgb-mine.icm"), "a prepared profile");
    WriteTextFile(Path("warm.icm"), "another prepared profile");
    struct Case
    {
        std::vector<std::string> keys;
        std::vector<std::string> values;
        int result;
    };
    const Case cases[] = {
        {{"PNSRGB", "PN6500K"}, {"srgb-mine.icm", "warm.icm"}, 1},
        {{"PNSRGB"}, {"srgb-mine.icm"}, 0},                        // 5 has none
        {{"PNsrgb", "PN6500K"}, {"srgb-mine.icm", "warm.icm"}, 0}, // keys are exact
        {{"PNSRGB", "PN6500K"}, {"srgb-mine.icm", "gone.icm"}, 0}, // file not installed
        {{"PNSRGB", "PNSRGB"}, {"srgb-mine.icm", "warm.icm"}, 0},  // a preset counts once
    };
    for (const Case& c : cases)
        EXPECT_EQ(
            installer.SelectProfileFromIni(c.keys, c.values, static_cast<int>(c.keys.size()) - 1),
            c.result);

    ASSERT_EQ(
        installer.SelectProfileFromIni({"PNSRGB", "PN6500K"}, {"srgb-mine.icm", "warm.icm"}, 1), 1);
    EXPECT_EQ(installer.PresetProfileNames()[1], "srgb-mine.icm");
    EXPECT_EQ(installer.PresetProfileNames()[5], "warm.icm");
    EXPECT_TRUE(Traced("find SelectColorPreset for INI = 2\n"));

    ProfileSettings pro = easy;
    pro.easyMode = 0;
    ASSERT_EQ(installer.InstallColorProfile(Values(1), pro), CProfileInstaller::kResultOk);
    EXPECT_EQ(Associated(), std::vector<std::string>{"srgb-mine.icm"});
    ASSERT_EQ(installer.InstallColorProfile(Values(5), pro), CProfileInstaller::kResultOk);
    EXPECT_EQ(Associated(), std::vector<std::string>{"warm.icm"});
    // Pro mode needs no EDID and reads no profile.
    EXPECT_EQ(fake.edidCalls, 0);

    // A preset without a profile, or none at all, fails.
    for (const std::uint16_t preset : {std::uint16_t{2}, std::uint16_t{20}, kNone})
        EXPECT_EQ(installer.InstallColorProfile(Values(preset), pro),
                  CProfileInstaller::kResultFailed);
    EXPECT_EQ(Associated(), std::vector<std::string>{"warm.icm"});

    // A monitor that lists no presets has none to select.
    caps.Parse("(vcp(02 10))");
    EXPECT_EQ(installer.SelectProfileFromIni({"PNSRGB"}, {"srgb-mine.icm"}, 0), 0);
}

} // namespace
