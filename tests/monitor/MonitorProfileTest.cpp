// The manual mode's monitor profile: the target white of a typed or preset
// temperature, the refusals and their messages, the profile's name and
// content read back by LittleCMS, and its installation on the display in
// place of the profile it had.

#include "monitor/MonitorProfile.h"

#include "core/CIEColor.h"
#include "core/ColorProfile.h"
#include "platform/ColorDirectory.h"

#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>

using testsupport::ReadTextFile;
using testsupport::WriteTextFile;

namespace {

constexpr const char* kDevice = "MONITOR\\QBX1234\\SIM-1";
constexpr int kModel = 0xABCD;

// A model with sRGB primaries and a white away from D65, so that "Native"
// and the daylight whites differ.
constexpr double kPrimaries[9] = {0.64, 0.33, 0.30, 0.60, 0.15, 0.06, 0.3200, 0.3350, 2.2};

class MonitorProfileTest : public ::testing::Test
{
protected:
    MonitorProfileTest() { WriteModel("ModelX", ""); }

    void WriteModel(const std::string& name, const std::string& extra, double gamma = 2.2,
                    const double* primaries = kPrimaries)
    {
        std::filesystem::create_directories(folders.File("program/Data/ABCD"));
        std::string ini = "[PrimaryColor]\n";
        const char* keys[8] = {"Red_x",  "Red_y",  "Green_x", "Green_y",
                               "Blue_x", "Blue_y", "White_x", "White_y"};
        for (int i = 0; i < 8; ++i)
            ini += std::string(keys[i]) + "=" + std::to_string(primaries[i]) + "\n";
        ini += "Gamma=" + std::to_string(gamma) + "\n[Settings]\nCount=3\nModelName=" + name +
               "\n" + extra;
        WriteTextFile(folders.File("program/Data/ABCD/ABCD.ini"), ini);
    }

    MonitorProfileRequest Typed(int kelvin) const
    {
        MonitorProfileRequest r = Base();
        r.mode = MonitorTemperatureMode::Typed;
        r.typedKelvin = kelvin;
        return r;
    }
    MonitorProfileRequest Preset(std::optional<std::string> text) const
    {
        MonitorProfileRequest r = Base();
        r.preset = std::move(text);
        return r;
    }
    MonitorProfileRequest Base() const
    {
        MonitorProfileRequest r;
        r.modelCode = kModel;
        r.deviceId = kDevice;
        r.programFolder = folders.File("program");
        return r;
    }

    std::string ColorDir() const { return folders.File("data/icc/"); }

    // The colour directory's profiles but the sRGB one every directory has.
    std::vector<std::string> WrittenProfiles() const
    {
        std::vector<std::string> names = platform::ListInstalledProfiles();
        std::erase(names, std::string(platform::kSRGBProfileFileName));
        return names;
    }

    testsupport::PrivateUserFolders folders;
};

CCIEXYZ XYZOf(double x, double y)
{
    return CCIEYxy(1.0, x, y).ToXYZ();
}

struct LcmsProfileDeleter
{
    void operator()(void* p) const { cmsCloseProfile(p); }
};
using LcmsProfile = std::unique_ptr<void, LcmsProfileDeleter>;

TEST_F(MonitorProfileTest, TypedTemperatureNamesAndDescribesTheProfile)
{
    const MonitorProfileResult result = CreateMonitorProfile(Typed(6500));
    ASSERT_TRUE(result.ok) << result.messageId;
    EXPECT_EQ(result.messageId, 0);
    EXPECT_EQ(result.profilePath, ColorDir() + "ModelX_6500K_22.icm");
    EXPECT_EQ(WrittenProfiles(), std::vector<std::string>{"ModelX_6500K_22.icm"});

    CColorProfile profile;
    ASSERT_TRUE(profile.Open(result.profilePath));
    std::string description;
    ASSERT_TRUE(profile.GetDescription(description));
    EXPECT_EQ(description, "ModelX 6500K 2.2 Profile");
    std::uint32_t deviceClass = 0;
    std::uint32_t pcs = 0;
    ASSERT_TRUE(profile.GetDeviceClass(deviceClass));
    ASSERT_TRUE(profile.GetConnectionSpace(pcs));
    EXPECT_EQ(deviceClass, IccSignature("mntr"));
    EXPECT_EQ(pcs, IccSignature("XYZ "));
    std::vector<std::uint8_t> cprt;
    ASSERT_TRUE(profile.GetTagElement(IccSignature("cprt"), cprt));
    ASSERT_GT(cprt.size(), 9u);
    const std::string copyright(reinterpret_cast<const char*>(cprt.data()) + 8);
    EXPECT_FALSE(copyright.empty());
    EXPECT_TRUE(std::all_of(copyright.begin(), copyright.end(),
                            [](char c) { return c >= 0x20 && c < 0x7F; }))
        << "one line of ASCII: " << copyright;

    // The white is CIE daylight at 6500 K.
    LcmsProfile lcms(cmsOpenProfileFromFile(result.profilePath.c_str(), "r"));
    ASSERT_TRUE(lcms);
    const auto* wtpt = static_cast<const cmsCIEXYZ*>(cmsReadTag(lcms.get(), cmsSigMediaWhitePointTag));
    ASSERT_NE(wtpt, nullptr);
    const CCIEXYZ daylight = GetDaylightXYZ(6500);
    EXPECT_NEAR(wtpt->X, daylight[0], 1e-4);
    EXPECT_NEAR(wtpt->Y, 1.0, 1e-4);
    EXPECT_NEAR(wtpt->Z, daylight[2], 1e-4);
}

TEST_F(MonitorProfileTest, NameCarriesThePresetTextAndTheGamma)
{
    const struct
    {
        MonitorProfileRequest request;
        double gamma;
        const char* file;
        const char* description;
    } cases[] = {
        {Preset("Native"), 2.2, "ModelX_NativeK_22.icm", "ModelX NativeK 2.2 Profile"},
        {Preset("9300"), 2.2, "ModelX_9300K_22.icm", "ModelX 9300K 2.2 Profile"},
        {Preset("5000"), 1.8, "ModelX_5000K_18.icm", "ModelX 5000K 1.8 Profile"},
        // Gamma times ten, truncated; the description rounds it.
        {Typed(5000), 2.3, "ModelX_5000K_23.icm", "ModelX 5000K 2.3 Profile"},
        {Typed(5000), 2.45, "ModelX_5000K_24.icm", "ModelX 5000K 2.5 Profile"},
    };
    for (const auto& c : cases)
    {
        WriteModel("ModelX", "", c.gamma);
        const MonitorProfileResult result = CreateMonitorProfile(c.request);
        ASSERT_TRUE(result.ok) << c.file;
        EXPECT_EQ(result.profilePath, ColorDir() + c.file);
        std::string description;
        EXPECT_TRUE(GetProfileDescriptionFromFile(description, result.profilePath));
        EXPECT_EQ(description, c.description);
    }
}

TEST_F(MonitorProfileTest, RefusalsWriteNothingAndKeepTheDisplaysProfile)
{
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, "Old.icm"));
    const struct
    {
        const char* what;
        std::string extraIni;
        double gamma;
        MonitorProfileRequest request;
        int message;
        std::vector<std::string> args;
    } cases[] = {
        {"typed above the range", "", 2.2, Typed(12000), 3062, {"2600", "10000"}},
        {"typed below the range", "", 2.2, Typed(2599), 3062, {"2600", "10000"}},
        {"typed outside the model's range", "[ColorPreset]\nMinTemperature=5000\n"
         "MaxTemperature=9300\n", 2.2, Typed(4000), 3062, {"5000", "9300"}},
        {"preset beyond 25000 K", "", 2.2, Preset("30000"), 3060, {}},
        {"preset below 2600 K", "", 2.2, Preset("2500"), 3060, {}},
        {"preset that is no number", "", 2.2, Preset("native"), 3060, {}},
        {"no preset chosen", "", 2.2, Preset(std::nullopt), 3060, {}},
        {"gamma 0", "", 0.0, Typed(6500), 3060, {}},
    };
    for (const auto& c : cases)
    {
        WriteModel("ModelX", c.extraIni, c.gamma);
        const MonitorProfileResult result = CreateMonitorProfile(c.request);
        EXPECT_FALSE(result.ok) << c.what;
        EXPECT_EQ(result.messageId, c.message) << c.what;
        EXPECT_EQ(result.messageArgs, c.args) << c.what;
        EXPECT_TRUE(WrittenProfiles().empty()) << c.what;
        EXPECT_EQ(platform::DisplayProfiles(kDevice), std::vector<std::string>{"Old.icm"})
            << c.what;
    }
    // Model data no monitor can have is missing model data: nothing is
    // written, under a name of a wrapped-round gamma or any other.
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const double nanRed[9] = {kNaN, 0.33, 0.30, 0.60, 0.15, 0.06, 0.3200, 0.3350, 2.2};
    const double infGreen[9] = {0.64, 0.33, 0.30, kInf, 0.15, 0.06, 0.3200, 0.3350, 2.2};
    const double hugeBlue[9] = {0.64, 0.33, 0.30, 0.60, 1e308, 0.06, 0.3200, 0.3350, 2.2};
    const double outsideWhite[9] = {0.64, 0.33, 0.30, 0.60, 0.15, 0.06, 0.7, 0.6, 2.2};
    const struct
    {
        const char* what;
        double gamma;
        const double* primaries;
    } unusable[] = {
        {"gamma 1e308", 1e308, kPrimaries}, {"gamma NaN", kNaN, kPrimaries},
        {"gamma infinite", kInf, kPrimaries}, {"gamma 400", 400.0, kPrimaries},
        {"red x NaN", 2.2, nanRed}, {"green y infinite", 2.2, infGreen},
        {"blue x 1e308", 2.2, hugeBlue}, {"white outside the diagram", 2.2, outsideWhite},
    };
    for (const auto& c : unusable)
    {
        WriteModel("ModelX", "", c.gamma, c.primaries);
        for (const MonitorProfileRequest& request : {Typed(6500), Preset("Native")})
        {
            const MonitorProfileResult result = CreateMonitorProfile(request);
            EXPECT_FALSE(result.ok) << c.what;
            EXPECT_EQ(result.messageId, 3060) << c.what;
            EXPECT_TRUE(WrittenProfiles().empty()) << c.what;
            EXPECT_EQ(platform::DisplayProfiles(kDevice), std::vector<std::string>{"Old.icm"})
                << c.what;
        }
    }

    // A model without data at all.
    MonitorProfileRequest none = Typed(6500);
    none.modelCode = 0x4321;
    EXPECT_EQ(CreateMonitorProfile(none).messageId, 3060);
}

// "Native": the white is the model's own, and the colorants before
// adaptation are the primaries at the luminances S that add up to it.
TEST_F(MonitorProfileTest, NativeWhiteAndColorantsThatAddUpToIt)
{
    const MonitorProfileResult result = CreateMonitorProfile(Preset("Native"));
    ASSERT_TRUE(result.ok);
    CColorProfile profile;
    ASSERT_TRUE(profile.Open(result.profilePath));
    CCIEXYZ red;
    CCIEXYZ green;
    CCIEXYZ blue;
    CCIEXYZ white;
    // The colorants adapted back from D50 to the media white, white Y = 100.
    ASSERT_TRUE(profile.ReadColorants(red, green, blue, white));
    const CCIEXYZ native = XYZOf(kPrimaries[6], kPrimaries[7]);
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_NEAR(white[i] / 100, native[i], 1e-4) << i;
        EXPECT_NEAR((red[i] + green[i] + blue[i]) / 100, native[i], 1e-3) << i;
    }
    // Each colorant keeps its primary's chromaticity.
    const CCIEYxy r = red.ToYxy();
    const CCIEYxy b = blue.ToYxy();
    EXPECT_NEAR(r[1], kPrimaries[0], 1e-3);
    EXPECT_NEAR(r[2], kPrimaries[1], 1e-3);
    EXPECT_NEAR(b[1], kPrimaries[4], 1e-3);
    EXPECT_NEAR(b[2], kPrimaries[5], 1e-3);
}

// LittleCMS as the independent reader: its own RGB profile from the same
// primaries and white (Bradford-adapted to D50 by LittleCMS) has the same
// colorants, a transform takes RGB red to the adapted red colorant and RGB
// white to D50, and the curves are the model's gamma.
TEST_F(MonitorProfileTest, LittleCmsReadsTheColorantsOfThePrimaries)
{
    const struct
    {
        MonitorProfileRequest request;
        double whiteX;
        double whiteY;
    } cases[] = {
        {Preset("Native"), kPrimaries[6], kPrimaries[7]},
        {Typed(6500), GetDaylightXYZ(6500).ToYxy()[1], GetDaylightXYZ(6500).ToYxy()[2]},
        {Typed(3000), GetDaylightXYZ(3000).ToYxy()[1], GetDaylightXYZ(3000).ToYxy()[2]},
    };
    for (const auto& c : cases)
    {
        const MonitorProfileResult result = CreateMonitorProfile(c.request);
        ASSERT_TRUE(result.ok);
        LcmsProfile ours(cmsOpenProfileFromFile(result.profilePath.c_str(), "r"));
        ASSERT_TRUE(ours);

        const cmsCIExyY whitePoint = {c.whiteX, c.whiteY, 1.0};
        const cmsCIExyYTRIPLE primaries = {{kPrimaries[0], kPrimaries[1], 1.0},
                                           {kPrimaries[2], kPrimaries[3], 1.0},
                                           {kPrimaries[4], kPrimaries[5], 1.0}};
        cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
        cmsToneCurve* curves[3] = {gamma, gamma, gamma};
        LcmsProfile reference(cmsCreateRGBProfile(&whitePoint, &primaries, curves));
        cmsFreeToneCurve(gamma);
        ASSERT_TRUE(reference);

        for (const cmsTagSignature tag :
             {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag})
        {
            const auto* a = static_cast<const cmsCIEXYZ*>(cmsReadTag(ours.get(), tag));
            const auto* b = static_cast<const cmsCIEXYZ*>(cmsReadTag(reference.get(), tag));
            ASSERT_NE(a, nullptr);
            ASSERT_NE(b, nullptr);
            EXPECT_NEAR(a->X, b->X, 2e-4) << result.profilePath << " tag " << tag;
            EXPECT_NEAR(a->Y, b->Y, 2e-4) << result.profilePath << " tag " << tag;
            EXPECT_NEAR(a->Z, b->Z, 2e-4) << result.profilePath << " tag " << tag;
        }

        const auto* redColorant =
            static_cast<const cmsCIEXYZ*>(cmsReadTag(ours.get(), cmsSigRedColorantTag));
        LcmsProfile xyz(cmsCreateXYZProfile());
        cmsHTRANSFORM toXYZ = cmsCreateTransform(ours.get(), TYPE_RGB_DBL, xyz.get(), TYPE_XYZ_DBL,
                                                 INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
        ASSERT_NE(toXYZ, nullptr);
        const double rgb[2][3] = {{1.0, 0.0, 0.0}, {1.0, 1.0, 1.0}};
        double out[2][3] = {};
        cmsDoTransform(toXYZ, rgb, out, 2);
        cmsDeleteTransform(toXYZ);
        EXPECT_NEAR(out[0][0], redColorant->X, 2e-3);
        EXPECT_NEAR(out[0][1], redColorant->Y, 2e-3);
        EXPECT_NEAR(out[0][2], redColorant->Z, 2e-3);
        EXPECT_NEAR(out[1][0], 0.9642, 2e-3);
        EXPECT_NEAR(out[1][1], 1.0, 2e-3);
        EXPECT_NEAR(out[1][2], 0.8249, 2e-3);

        const auto* trc = static_cast<const cmsToneCurve*>(cmsReadTag(ours.get(), cmsSigGreenTRCTag));
        ASSERT_NE(trc, nullptr);
        EXPECT_NEAR(cmsEstimateGamma(trc, 0.01), 2.2, 0.01);
    }
}

// Below 4000 K the daylight formula is carried on (LittleCMS's own white
// from a temperature refuses those): 3000 K is warmer than 4000 K, on the
// same smooth locus.
TEST_F(MonitorProfileTest, WarmWhitesBelow4000K)
{
    const MonitorProfileResult result = CreateMonitorProfile(Typed(3000));
    ASSERT_TRUE(result.ok) << result.messageId;
    EXPECT_EQ(result.profilePath, ColorDir() + "ModelX_3000K_22.icm");
    LcmsProfile lcms(cmsOpenProfileFromFile(result.profilePath.c_str(), "r"));
    ASSERT_TRUE(lcms);
    const auto* wtpt = static_cast<const cmsCIEXYZ*>(cmsReadTag(lcms.get(), cmsSigMediaWhitePointTag));
    ASSERT_NE(wtpt, nullptr);
    cmsCIExyY white;
    cmsXYZ2xyY(&white, wtpt);
    // x = -4.6070e9/T^3 + 2.9678e6/T^2 + 0.09911e3/T + 0.244063 at T = 3000,
    // y = -3x^2 + 2.87x - 0.275.
    const double T = 3000.0;
    const double x = -4.607e9 / (T * T * T) + 2.9678e6 / (T * T) + 99.11 / T + 0.244063;
    EXPECT_NEAR(white.x, x, 1e-4);
    EXPECT_NEAR(white.y, -3 * x * x + 2.87 * x - 0.275, 1e-4);
    cmsCIExyY at4000;
    ASSERT_TRUE(cmsWhitePointFromTemp(&at4000, 4000));
    EXPECT_GT(white.x, at4000.x);
}

TEST_F(MonitorProfileTest, TheNewProfileReplacesTheDisplaysPrevious)
{
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, "Other.icm"));
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, "Old.icm"));
    const std::string storeBefore = ReadTextFile(platform::DisplayProfileStorePath());

    const MonitorProfileResult result = CreateMonitorProfile(Typed(6500));
    ASSERT_TRUE(result.ok);
    // On the display as its default, the previous default taken off and
    // the rest kept.
    EXPECT_EQ(platform::DisplayProfiles(kDevice),
              (std::vector<std::string>{"ModelX_6500K_22.icm", "Other.icm"}));
    // The store's text changed: what the main window watches to reload the
    // monitor profile.
    EXPECT_NE(ReadTextFile(platform::DisplayProfileStorePath()), storeBefore);

    // The same profile made again stays the display's one profile of that
    // name; a caller's named previous profile is the one taken off.
    MonitorProfileRequest again = Typed(6500);
    EXPECT_TRUE(CreateMonitorProfile(again).ok);
    again.previousProfile = "Other.icm";
    EXPECT_TRUE(CreateMonitorProfile(again).ok);
    EXPECT_EQ(platform::DisplayProfiles(kDevice),
              std::vector<std::string>{"ModelX_6500K_22.icm"});
}

TEST_F(MonitorProfileTest, FailedAssociationKeepsThePreviousProfile)
{
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, "Old.icm"));
    // The store's lock cannot be taken (a folder stands where its lock file
    // goes): the store can be read but not written.
    const std::string lock = platform::DisplayProfileStorePath() + ".assoc.lock";
    std::filesystem::remove(lock);
    std::filesystem::create_directories(lock);

    const MonitorProfileResult result = CreateMonitorProfile(Typed(6500));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.messageId, 3060);
    EXPECT_EQ(platform::DisplayProfiles(kDevice), std::vector<std::string>{"Old.icm"});
}

TEST_F(MonitorProfileTest, ModelNameCannotLeaveTheColourDirectory)
{
    const struct
    {
        const char* name;
        const char* file;
    } cases[] = {
        {"../x/y", "_._x_y_6500K_22.icm"},
        {"../../../etc/passwd", "_._.__.__etc_passwd_6500K_22.icm"},
        {"A\x01" "B\\C\x7f", "A_B_C__6500K_22.icm"},
        {"..", "_._6500K_22.icm"},
    };
    for (const auto& c : cases)
    {
        WriteModel(c.name, "");
        const MonitorProfileResult result = CreateMonitorProfile(Typed(6500));
        ASSERT_TRUE(result.ok) << c.name;
        EXPECT_EQ(result.profilePath, ColorDir() + c.file) << c.name;
        EXPECT_TRUE(std::filesystem::is_regular_file(result.profilePath)) << c.name;
    }
    // Nothing was written beside or above the colour directory.
    EXPECT_FALSE(std::filesystem::exists(folders.File("data/x")));
    EXPECT_FALSE(std::filesystem::exists(folders.File("x")));
}

TEST(SafeFileNamePart, ReplacesWhatAFileNameCannotHold)
{
    const struct
    {
        const char* text;
        const char* safe;
    } cases[] = {
        {"ModelX", "ModelX"},     {"Model X 2.0", "Model X 2.0"}, {"", "_"},
        {".hidden", "_hidden"},   {"a..b", "a._b"},               {"a/b\\c", "a_b_c"},
        {"tab\there", "tab_here"}, {"液晶モニター", "液晶モニター"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SafeFileNamePart(c.text), c.safe) << c.text;
}

} // namespace
