// The colour converter: matrices and tables of the own path, the LittleCMS
// transform and its agreement with the own path down into the shadows,
// failure handling, the LUT list, and the start-up fallback to LittleCMS
// when the monitor profile needs it.

#include "core/ColorConverter.h"
#include "core/ImageAccess.h"
#include "core/ProfileDirectory.h"
#include "core/ProfileStore.h"
#include "core/RGBImage.h"
#include "core/SRGBProfile.h"
#include "core/UseOsCmm.h"
#include "platform/ColorDirectory.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using testsupport::RecordingMessageSink;

using coretest::GridValue;
using coretest::kSRGBPrimaries;
using coretest::kWidePrimaries;
using coretest::LcmsRGBProfileBytes;
using coretest::Primaries;
using coretest::SaveLcmsProfile;
using coretest::WriteBytes;

CStdVector XYZOfChromaticity(double x, double y)
{
    return CStdVector{x / y, 1.0, (1.0 - x - y) / y};
}

// The sRGB encoding curve sampled at 1024 points as a 'curv' element: a
// straight toe (slope 12.92) below linear 0.0031308, a 1/2.4 power above.
Bytes SRGBCurveElement()
{
    constexpr std::size_t kCount = 1024;
    Bytes e(12 + 2 * kCount, 0);
    const auto put = [&e](std::size_t at, std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            e[at + i] = static_cast<std::uint8_t>(v >> (8 * (bytes - 1 - i)));
    };
    put(0, IccSignature("curv"), 4);
    put(8, kCount, 4);
    for (std::size_t i = 0; i < kCount; ++i)
    {
        const double x = static_cast<double>(i) / (kCount - 1);
        const double y = x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
        put(12 + 2 * i, static_cast<std::uint32_t>(std::lround(y * 65535.0)), 2);
    }
    return e;
}

// A version-2 matrix/TRC monitor profile as our own writers make one (the
// monitor wizard's way): colorants that add up to the white, adapted to D50
// with Bradford, the white as media white, and per channel a power-law
// gamma, or (gamma 0) the sRGB curve.
Bytes OwnMatrixProfileBytes(const Primaries& p, double gamma)
{
    const CStdVector white = XYZOfChromaticity(p.wx, p.wy);
    const CStdVector primaries[3] = {XYZOfChromaticity(p.rx, p.ry), XYZOfChromaticity(p.gx, p.gy),
                                     XYZOfChromaticity(p.bx, p.by)};
    CStdMatrix m(3, 3);
    for (std::uint32_t c = 0; c < 3; ++c)
        for (std::uint32_t r = 0; r < 3; ++r)
            m.SetAt(r, c, primaries[c][r]);
    EXPECT_TRUE(m.Invert());
    const CStdVector scale = m.MultiplyVector(white);
    CStdVector colorants[3];
    for (std::size_t c = 0; c < 3; ++c)
    {
        colorants[c] = primaries[c];
        colorants[c] *= scale[c];
    }
    BradfordAdapt(colorants[0], colorants[1], colorants[2], white);

    CColorProfile profile;
    EXPECT_TRUE(profile.CreateInMemory("own matrix"));
    profile.SetHeader(IccSignature("mntr"), IccSignature("XYZ "));
    profile.SetDescriptionTag(IccSignature("desc"), "Own Matrix");
    profile.SetXYZTag(white, IccSignature("wtpt"));
    profile.SetXYZTag(colorants[0], IccSignature("rXYZ"));
    profile.SetXYZTag(colorants[1], IccSignature("gXYZ"));
    profile.SetXYZTag(colorants[2], IccSignature("bXYZ"));
    for (const char* tag : {"rTRC", "gTRC", "bTRC"})
    {
        if (gamma > 0.0)
            profile.SetGammaTag(gamma, IccSignature(tag));
        else
            profile.SetTagElement(IccSignature(tag), SRGBCurveElement());
    }
    Bytes bytes;
    EXPECT_TRUE(profile.GetProfileBytes(bytes));
    return bytes;
}

// A Lab identity profile: LittleCMS takes it, but not as the output of an
// RGB transform, and it has no colorants for the own path.
Bytes LabProfileBytes()
{
    return SaveLcmsProfile(cmsCreateLab4Profile(nullptr));
}

// A LUT file whose output of grid point (r, g, b) is map(r, g, b), each an
// 8-bit value; line k is red index k / 289, green (k / 17) mod 17, blue
// k mod 17.
template <class Map> std::string LutText(Map map)
{
    std::string text = "R,G,B,R',G',B'\n";
    for (std::size_t k = 0; k < 17 * 17 * 17; ++k)
    {
        const int r = GridValue(k / 289);
        const int g = GridValue((k / 17) % 17);
        const int b = GridValue(k % 17);
        const auto [outR, outG, outB] = map(r, g, b);
        text += std::to_string(r) + "," + std::to_string(g) + "," + std::to_string(b) + "," +
                std::to_string(outR) + "," + std::to_string(outG) + "," + std::to_string(outB) +
                "\n";
    }
    return text;
}

std::string IdentityLut()
{
    return LutText([](int r, int g, int b) { return std::array<int, 3>{r, g, b}; });
}

int MaxChannelDifference(const RGB16& a, const RGB16& b)
{
    return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

// Every test has its own colour directory and configuration folder and
// leaves the engine switch and the monitor profile as it found them.
class ColorConverterTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        FreeMonitorProfile();
        UseOsCmm = m_savedUseOsCmm;
    }

    static CColorProfile Open(const Bytes& bytes, const std::string& name)
    {
        CColorProfile profile;
        EXPECT_TRUE(profile.OpenFromMemory(bytes, name)) << name;
        return profile;
    }

    std::string MakeLutFolder(const std::string& name = "Lut")
    {
        const std::string folder = m_dir.File(name) + "/";
        std::filesystem::create_directories(folder);
        return folder;
    }

    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_data{"XDG_DATA_HOME", m_dir.Path() + "data"};
    testsupport::ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir.Path() + "config"};
    int m_savedUseOsCmm = UseOsCmm.load();
};

// ------------------------------------------------------------------ matrices

TEST_F(ColorConverterTest, SameProfileInAndOutGivesTheIdentityMatrix)
{
    UseOsCmm = 1;
    const struct
    {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"our sRGB", BuildSRGBProfileBytes()},
        {"own wide gamut", OwnMatrixProfileBytes(kWidePrimaries, 2.2)},
        {"LittleCMS v4", LcmsRGBProfileBytes(kWidePrimaries, 1.8)},
    };
    for (const auto& c : cases)
    {
        const CColorProfile profile = Open(c.bytes, c.name);
        CColorConverter converter{std::string()};
        EXPECT_TRUE(converter.SetProfiles(&profile, &profile, &profile)) << c.name;
        const std::vector<double>& m = converter.GetInputToOutputMatrix().GetData();
        ASSERT_EQ(m.size(), 9u);
        for (std::size_t i = 0; i < 9; ++i)
            EXPECT_NEAR(m[i], i % 4 == 0 ? 1.0 : 0.0, 1e-9) << c.name << " element " << i;
    }
}

TEST_F(ColorConverterTest, OutputWithoutColorantsGivesTheIdentityMatrix)
{
    UseOsCmm = 1;
    const CColorProfile srgb = Open(BuildSRGBProfileBytes(), "sRGB");
    const CColorProfile lab = Open(LabProfileBytes(), "Lab");
    CColorConverter converter{std::string()};
    converter.SetProfiles(&srgb, &srgb, &lab);
    const CRGBMatrix identity;
    EXPECT_EQ(converter.GetInputToOutputMatrix().GetData(), identity.GetData());
}

TEST_F(ColorConverterTest, InputWhiteBecomesFullScaleOnBothEngines)
{
    const CColorProfile wide = Open(OwnMatrixProfileBytes(kWidePrimaries, 2.2), "wide");
    const CColorProfile srgb = Open(BuildSRGBProfileBytes(), "sRGB");
    const struct
    {
        const CColorProfile* input;
        const CColorProfile* output;
        int engine;
        int tolerance;
    } cases[] = {
        {&srgb, &srgb, 0, 1}, {&wide, &wide, 0, 1}, {&wide, &srgb, 0, 1},
        {&srgb, &srgb, 1, 2}, {&wide, &srgb, 1, 2},
    };
    for (const auto& c : cases)
    {
        UseOsCmm = c.engine;
        CColorConverter converter{std::string()};
        ASSERT_TRUE(converter.SetProfiles(c.input, c.input, c.output));
        const CCIEXYZ white = converter.GetWhiteXYZ();
        EXPECT_NEAR(white[0], 95.05, 0.05);
        EXPECT_DOUBLE_EQ(white[1], 100.0);
        EXPECT_NEAR(white[2], 108.9, 0.05);
        RGB16 px{};
        converter.XYZToOutputRGB(&white, &px, 1);
        EXPECT_LE(MaxChannelDifference(px, RGB16{65535, 65535, 65535}), c.tolerance)
            << c.input->GetName() << " -> " << c.output->GetName() << " engine " << c.engine << ": "
            << px.r << " " << px.g << " " << px.b;
    }
}

TEST_F(ColorConverterTest, InputRGBAndXYZRoundTripAndGamut)
{
    UseOsCmm = 0;
    const CColorProfile srgb = Open(BuildSRGBProfileBytes(), "sRGB");
    const CColorProfile wide = Open(OwnMatrixProfileBytes(kWidePrimaries, 2.2), "wide");
    CColorConverter converter{std::string()};
    ASSERT_TRUE(converter.SetProfiles(&srgb, &srgb, &srgb));

    for (const RGB16 px : {RGB16{65535, 0, 0}, RGB16{1000, 30000, 50000},
                           RGB16{65535, 65535, 65535}, RGB16{12000, 12000, 12000}})
    {
        CCIEXYZ xyz;
        converter.InputRGBToXYZ(px, xyz);
        RGB16 back{};
        converter.XYZToInputRGB(xyz, back);
        EXPECT_LE(MaxChannelDifference(px, back), 40) << px.r << " " << px.g << " " << px.b;
        bool inside = false;
        EXPECT_TRUE(converter.IsInInputGamut(inside, std::span(&xyz, 1)));
        EXPECT_TRUE(inside);
    }

    // Wide-gamut green is outside sRGB; black is inside; only the first
    // colour of the list counts; an empty list is outside.
    CColorConverter wideConverter{std::string()};
    ASSERT_TRUE(wideConverter.SetProfiles(&wide, &wide, &srgb));
    CCIEXYZ wideGreen;
    wideConverter.InputRGBToXYZ(RGB16{0, 65535, 0}, wideGreen);
    bool inside = true;
    const CCIEXYZ list[2] = {wideGreen, CCIEXYZ(0, 0, 0)};
    EXPECT_FALSE(converter.IsInInputGamut(inside, list));
    EXPECT_FALSE(inside);
    EXPECT_TRUE(converter.IsInInputGamut(inside, std::span(list + 1, 1)));
    EXPECT_FALSE(converter.IsInInputGamut(inside, std::span<const CCIEXYZ>()));

    // Without profiles there is no input space.
    CColorConverter empty{std::string()};
    EXPECT_FALSE(empty.IsInInputGamut(inside, std::span(list + 1, 1)));
    const CCIEXYZ none = empty.GetWhiteXYZ();
    EXPECT_EQ(none[1], 0.0);
}

// -------------------------------------------------------- the two engines

// The working image's pixels drawn for display through the own path (M_io,
// then the output's inverse tone tables) and through the LittleCMS
// transform agree within one 8-bit step, shadows included: the 16-bit
// transform of a linear input keeps its precision where the encoding curve
// is steepest.
//
// The output curves have a straight toe, as sRGB's has. Under a pure power
// law x^(1/2.2) the curve is infinitely steep at 0: the first linear step
// (1/65535) is worth 426 output steps, so a channel that the matrix takes to
// a fraction of a step (a colour on the edge of the output gamut) shows as
// 0 on the own path, whose linear stage holds whole 16-bit steps, and as up
// to 426 through LittleCMS's floating-point pipeline.
TEST_F(ColorConverterTest, EnginesAgreeWithinOneEightBitStepIncludingShadows)
{
    UseOsCmm = 0;
    const CColorProfile wide = Open(OwnMatrixProfileBytes(kWidePrimaries, 2.2), "wide");
    const CColorProfile wideToe = Open(OwnMatrixProfileBytes(kWidePrimaries, 0.0), "wide toe");
    const CColorProfile srgb = Open(BuildSRGBProfileBytes(), "sRGB");
    const CColorProfile lcmsWide = Open(LcmsRGBProfileBytes(kWidePrimaries, 2.2), "LittleCMS wide");
    const struct
    {
        const char* name;
        const CColorProfile* input;
        const CColorProfile* output;
    } cases[] = {
        {"sRGB to itself", &srgb, &srgb},
        {"wide gamut to sRGB", &wide, &srgb},
        {"sRGB to wide gamut", &srgb, &wideToe},
        // Version-4 profiles (media white D50, a 'chad' tag) on either side:
        // their colorants are taken back to their real white as ours are,
        // and the linear input profile is built from the colorants as
        // stored, relative to the PCS white, for both kinds.
        {"sRGB to LittleCMS wide gamut", &srgb, &lcmsWide},
        {"LittleCMS wide gamut to sRGB", &lcmsWide, &srgb},
    };

    std::vector<int> values;
    for (int v = 0; v <= 1000; v += 50)
        values.push_back(v);
    for (int v : {3000, 9000, 20000, 33000, 47000, 60000, 65535})
        values.push_back(v);
    std::vector<RGB16> grid;
    for (int r : values)
        for (int g : values)
            for (int b : values)
                grid.push_back(RGB16{static_cast<std::uint16_t>(r), static_cast<std::uint16_t>(g),
                                     static_cast<std::uint16_t>(b)});
    CRGBImage image(static_cast<int>(grid.size()), 1);
    {
        CAccessRGBImage access(image);
        access.WriteLine(grid.data(), grid.size());
    }

    for (const auto& c : cases)
    {
        CColorConverter converter{std::string()};
        ASSERT_TRUE(converter.SetProfiles(c.input, c.input, c.output)) << c.name;
        ASSERT_NE(converter.GetTransform(), nullptr);
        std::vector<RGB16> own(grid.size());
        std::vector<RGB16> lcms(grid.size());
        {
            CReadRGBImage reader(image, &converter.GetOutputInverseTRC(),
                                 &converter.GetInputToOutputMatrix());
            reader.ReadLine(own.data(), own.size());
        }
        {
            CReadRGBImage reader(image, nullptr, nullptr, converter.GetTransform());
            reader.ReadLine(lcms.data(), lcms.size());
        }
        int worst = 0;
        std::size_t worstAt = 0;
        for (std::size_t k = 0; k < grid.size(); ++k)
        {
            const int d = MaxChannelDifference(own[k], lcms[k]);
            if (d > worst)
            {
                worst = d;
                worstAt = k;
            }
        }
        EXPECT_LE(worst, 257) << c.name << " at " << grid[worstAt].r << " " << grid[worstAt].g
                              << " " << grid[worstAt].b;
    }
}

// The 99th percentile of a list of differences.
double Percentile99(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[(values.size() - 1) * 99 / 100];
}

// Both engines convert relative colorimetric: the input's white becomes the
// monitor's white, whatever the two whites are. ProPhoto's is D50, Adobe
// RGB's and sRGB's D65; the P3-like monitor's D65, the other monitor's a
// bluish 9300 K daylight (the agent's profile for a monitor set to 9300 K).
// Colours are compared as the monitor shows them: both outputs through the
// monitor profile to Lab, CIEDE2000.
TEST_F(ColorConverterTest, OwnEngineAdaptsWhitesAsLittleCmsDoes)
{
    UseOsCmm = 0;
    constexpr Primaries kProPhoto{0.7347, 0.2653, 0.1596, 0.8404, 0.0366, 0.0001, 0.3457, 0.3585};
    constexpr Primaries kP3{0.680, 0.320, 0.265, 0.690, 0.150, 0.060, 0.3127, 0.3290};
    constexpr Primaries kP3At9300K{0.680, 0.320, 0.265, 0.690, 0.150, 0.060, 0.2848, 0.2932};
    const Bytes p3Bytes = OwnMatrixProfileBytes(kP3, 2.2);
    const Bytes bluishBytes = OwnMatrixProfileBytes(kP3At9300K, 2.2);
    const CColorProfile p3 = Open(p3Bytes, "P3 monitor");
    const CColorProfile bluish = Open(bluishBytes, "9300 K monitor");
    const CColorProfile proPhoto = Open(OwnMatrixProfileBytes(kProPhoto, 1.8), "ProPhoto");
    const CColorProfile lcmsProPhoto = Open(LcmsRGBProfileBytes(kProPhoto, 1.8), "ProPhoto v4");
    const CColorProfile adobe = Open(OwnMatrixProfileBytes(kWidePrimaries, 2.2), "Adobe RGB");
    const CColorProfile srgb = Open(BuildSRGBProfileBytes(), "sRGB");
    const struct
    {
        const char* name;
        const CColorProfile* input;
        const CColorProfile* monitor;
        const Bytes* monitorBytes;
    } cases[] = {
        {"ProPhoto to P3", &proPhoto, &p3, &p3Bytes},
        {"ProPhoto (version 4) to P3", &lcmsProPhoto, &p3, &p3Bytes},
        {"Adobe RGB to P3", &adobe, &p3, &p3Bytes},
        {"sRGB to P3", &srgb, &p3, &p3Bytes},
        {"sRGB to the 9300 K monitor", &srgb, &bluish, &bluishBytes},
        {"ProPhoto to the 9300 K monitor", &proPhoto, &bluish, &bluishBytes},
    };

    // Device values of the input on a 9-step grid (white among them).
    std::vector<RGB16> device;
    for (int r = 0; r <= 8; ++r)
        for (int g = 0; g <= 8; ++g)
            for (int b = 0; b <= 8; ++b)
                device.push_back(RGB16{static_cast<std::uint16_t>(std::min(r * 8192, 65535)),
                                       static_cast<std::uint16_t>(std::min(g * 8192, 65535)),
                                       static_cast<std::uint16_t>(std::min(b * 8192, 65535))});

    for (const auto& c : cases)
    {
        CColorConverter converter{std::string()};
        ASSERT_TRUE(converter.SetProfiles(c.input, c.input, c.monitor)) << c.name;
        ASSERT_NE(converter.GetTransform(), nullptr);
        // The working image holds the input's linear values.
        std::vector<RGB16> linear = device;
        ApplyRGBGammaTable(linear.data(), linear.size(), converter.GetInputTRC());
        CRGBImage image(static_cast<int>(linear.size()), 1);
        {
            CAccessRGBImage access(image);
            access.WriteLine(linear.data(), linear.size());
        }
        std::vector<RGB16> own(linear.size());
        std::vector<RGB16> lcms(linear.size());
        {
            CReadRGBImage reader(image, &converter.GetOutputInverseTRC(),
                                 &converter.GetInputToOutputMatrix());
            reader.ReadLine(own.data(), own.size());
        }
        {
            CReadRGBImage reader(image, nullptr, nullptr, converter.GetTransform());
            reader.ReadLine(lcms.data(), lcms.size());
        }

        // The input's white is the monitor's white on the own path.
        const RGB16& white = own.back();
        EXPECT_GE(std::min({white.r, white.g, white.b}), 65535 - 257) << c.name;

        cmsHPROFILE monitor = cmsOpenProfileFromMem(
            c.monitorBytes->data(), static_cast<cmsUInt32Number>(c.monitorBytes->size()));
        cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
        cmsHTRANSFORM toLab = cmsCreateTransform(monitor, TYPE_RGB_16, lab, TYPE_Lab_DBL,
                                                 INTENT_RELATIVE_COLORIMETRIC, 0);
        ASSERT_NE(toLab, nullptr);
        std::vector<cmsCIELab> ownLab(own.size());
        std::vector<cmsCIELab> lcmsLab(lcms.size());
        cmsDoTransform(toLab, own.data(), ownLab.data(), static_cast<cmsUInt32Number>(own.size()));
        cmsDoTransform(toLab, lcms.data(), lcmsLab.data(),
                       static_cast<cmsUInt32Number>(lcms.size()));
        cmsDeleteTransform(toLab);
        cmsCloseProfile(lab);
        cmsCloseProfile(monitor);

        std::vector<double> differences;
        for (std::size_t k = 0; k < own.size(); ++k)
            differences.push_back(cmsCIE2000DeltaE(&ownLab[k], &lcmsLab[k], 1.0, 1.0, 1.0));
        EXPECT_LE(Percentile99(differences), 1.0) << c.name;
    }
}

TEST_F(ColorConverterTest, XYZToOutputRGBFollowsTheEngineSwitch)
{
    UseOsCmm = 0;
    const CColorProfile wide = Open(OwnMatrixProfileBytes(kWidePrimaries, 2.2), "wide");
    const CColorProfile srgb = Open(BuildSRGBProfileBytes(), "sRGB");
    CColorConverter converter{std::string()};
    ASSERT_TRUE(converter.SetProfiles(&wide, &wide, &srgb));

    // Colours of the input space, dark ones among them.
    std::vector<CCIEXYZ> colours;
    for (const RGB16 px : {RGB16{300, 200, 100}, RGB16{5000, 800, 60000},
                           RGB16{30000, 30000, 30000}, RGB16{65535, 40000, 0}, RGB16{0, 0, 0}})
    {
        CCIEXYZ xyz;
        converter.InputRGBToXYZ(px, xyz);
        colours.push_back(xyz);
    }
    std::vector<RGB16> own(colours.size());
    converter.XYZToOutputRGB(colours.data(), own.data(), colours.size());
    UseOsCmm = 1;
    std::vector<RGB16> lcms(colours.size());
    converter.XYZToOutputRGB(colours.data(), lcms.data(), colours.size());
    bool differ = false;
    for (std::size_t k = 0; k < colours.size(); ++k)
    {
        EXPECT_LE(MaxChannelDifference(own[k], lcms[k]), 257) << k;
        differ = differ || MaxChannelDifference(own[k], lcms[k]) > 0;
    }
    // Two engines, not one path twice.
    EXPECT_TRUE(differ);
    EXPECT_EQ(lcms.back().r, 0);
}

// ------------------------------------------------------------ failures

TEST_F(ColorConverterTest, ATransformThatCannotBeBuiltIsReportedAndDropped)
{
    UseOsCmm = 1;
    const CColorProfile srgb = Open(BuildSRGBProfileBytes(), "sRGB");
    const CColorProfile lab = Open(LabProfileBytes(), "Lab");

    enum class Call
    {
        SetProfiles,
        SetInputProfile,
        SetOutputProfile
    };
    const struct
    {
        const char* name;
        Call call;
        const CColorProfile* input;
        const CColorProfile* output;
    } cases[] = {
        // LittleCMS cannot write 16-bit RGB through a Lab output profile.
        {"Lab output", Call::SetProfiles, &srgb, &lab},
        {"Lab output later", Call::SetOutputProfile, nullptr, &lab},
        // Without colorants there is no linear input space.
        {"Lab input", Call::SetProfiles, &lab, &srgb},
        {"Lab input later", Call::SetInputProfile, &lab, nullptr},
    };
    for (const auto& c : cases)
    {
        CColorConverter converter{std::string()};
        ASSERT_TRUE(converter.SetProfiles(&srgb, &srgb, &srgb));
        ASSERT_NE(converter.GetTransform(), nullptr);
        bool result = true;
        switch (c.call)
        {
        case Call::SetProfiles:
            result = converter.SetProfiles(c.input, &srgb, c.output);
            break;
        case Call::SetInputProfile:
            result = converter.SetInputProfile(c.input);
            break;
        case Call::SetOutputProfile:
            result = converter.SetOutputProfile(c.output);
            break;
        }
        EXPECT_FALSE(result) << c.name;
        EXPECT_EQ(converter.GetTransform(), nullptr) << c.name;
        // Back to usable profiles, a transform again.
        EXPECT_TRUE(converter.SetProfiles(&srgb, &srgb, &srgb)) << c.name;
        EXPECT_NE(converter.GetTransform(), nullptr) << c.name;
    }
}

TEST_F(ColorConverterTest, ANullProfileEmptiesTheCopiesAndKeepsTheLastBuild)
{
    UseOsCmm = 0;
    const CColorProfile srgb = Open(BuildSRGBProfileBytes(), "sRGB");
    const CColorProfile wide = Open(OwnMatrixProfileBytes(kWidePrimaries, 2.2), "wide");
    CColorConverter converter{std::string()};
    ASSERT_TRUE(converter.SetProfiles(&wide, &wide, &srgb));
    const std::vector<double> matrix = converter.GetInputToOutputMatrix().GetData();
    const CColorTransform* transform = converter.GetTransform();
    ASSERT_NE(transform, nullptr);

    const struct
    {
        const CColorProfile* input;
        const CColorProfile* working;
        const CColorProfile* output;
    } cases[] = {{&srgb, nullptr, &srgb}, {nullptr, &srgb, &srgb}, {&srgb, &srgb, nullptr}};
    for (const auto& c : cases)
    {
        EXPECT_FALSE(converter.SetProfiles(c.input, c.working, c.output));
        EXPECT_EQ(converter.GetInputProfile(), nullptr);
        EXPECT_EQ(converter.GetWorkingProfile(), nullptr);
        EXPECT_EQ(converter.GetInputToOutputMatrix().GetData(), matrix);
        EXPECT_EQ(converter.GetTransform(), transform);
        EXPECT_TRUE(converter.GetOutputInverseTRC().IsComplete());
    }
    // Without an input profile a new output profile has nothing to join.
    EXPECT_FALSE(converter.SetOutputProfile(&wide));
    EXPECT_EQ(converter.GetOutputProfileName(), "sRGB");
}

TEST_F(ColorConverterTest, InputAndOutputCanBeReplacedOneAtATime)
{
    UseOsCmm = 0;
    const CColorProfile srgb = Open(BuildSRGBProfileBytes(), "sRGB");
    const CColorProfile wide = Open(OwnMatrixProfileBytes(kWidePrimaries, 2.2), "wide");

    CColorConverter converter{std::string()};
    // Each side needs the other.
    EXPECT_FALSE(converter.SetInputProfile(&srgb));
    EXPECT_FALSE(converter.SetOutputProfile(&srgb));
    EXPECT_EQ(converter.GetInputProfile(), nullptr);
    EXPECT_EQ(converter.GetOutputProfileName(), "");
    EXPECT_FALSE(converter.SetInputProfile(nullptr));

    ASSERT_TRUE(converter.SetProfiles(&srgb, &srgb, &srgb));
    EXPECT_NEAR(converter.GetInputToOutputMatrix().GetAt(0, 1), 0.0, 1e-9);
    ASSERT_TRUE(converter.SetOutputProfile(&wide));
    EXPECT_EQ(converter.GetOutputProfileName(), "wide");
    EXPECT_EQ(converter.GetOutputProfile(), &wide);
    // sRGB green in wide-gamut terms has some red.
    EXPECT_GT(converter.GetInputToOutputMatrix().GetAt(0, 1), 0.01);
    ASSERT_TRUE(converter.SetInputProfile(&wide));
    EXPECT_EQ(converter.GetInputProfile()->GetName(), "wide");
    EXPECT_NEAR(converter.GetInputToOutputMatrix().GetAt(0, 1), 0.0, 1e-9);
    EXPECT_FALSE(converter.SetOutputProfile(nullptr));
    EXPECT_EQ(converter.GetOutputProfile(), &wide);
}

TEST_F(ColorConverterTest, LinearInputProfileAndColorSpaceRecords)
{
    const CColorProfile srgb = Open(BuildSRGBProfileBytes(), "sRGB");
    const LcmsProfilePtr linear = CreateLinearInputProfile(srgb);
    ASSERT_NE(linear, nullptr);
    // A linear profile: half the drive is half the luminance.
    EXPECT_NEAR(cmsDetectRGBProfileGamma(linear.get(), 0.1), 1.0, 0.01);

    LogColorSpace lcs;
    ASSERT_TRUE(srgb.GetLogColorSpace(lcs, true));
    const struct
    {
        const char* name;
        void (*change)(LogColorSpace&);
        bool made;
    } cases[] = {
        {"as read", [](LogColorSpace&) {}, true},
        {"a zero gamma", [](LogColorSpace& l) { l.lcsGammaGreen = 0; }, false},
        {"not calibrated RGB", [](LogColorSpace& l) { l.lcsCSType = 0x73524742; }, false},
        {"no white", [](LogColorSpace& l) { l.lcsEndpoints = {}; }, false},
    };
    for (const auto& c : cases)
    {
        LogColorSpace changed = lcs;
        c.change(changed);
        EXPECT_EQ(CreateLcmsProfileFromLogColorSpace(changed) != nullptr, c.made) << c.name;
    }

    const struct
    {
        std::int32_t lcsIntent;
        cmsUInt32Number intent;
    } intents[] = {{kLcsGmImages, INTENT_PERCEPTUAL},
                   {kLcsGmGraphics, INTENT_RELATIVE_COLORIMETRIC},
                   {kLcsGmBusiness, INTENT_SATURATION},
                   {kLcsGmAbsColorimetric, INTENT_ABSOLUTE_COLORIMETRIC},
                   {3, INTENT_PERCEPTUAL}};
    for (const auto& i : intents)
    {
        lcs.lcsIntent = i.lcsIntent;
        EXPECT_EQ(LcmsIntentFromLogColorSpace(lcs), i.intent) << i.lcsIntent;
    }

    // A profile without colorants has no linear form.
    UseOsCmm = 1;
    const CColorProfile lab = Open(LabProfileBytes(), "Lab");
    EXPECT_EQ(CreateLinearInputProfile(lab), nullptr);
}

// ------------------------------------------------------------------- LUTs

TEST_F(ColorConverterTest, LutFilesAreLoadedInNameOrderUpToTheLimit)
{
    const std::string lut = IdentityLut();
    const struct
    {
        const char* name;
        int valid;            // valid files "a00.csv", "a01.csv", ...
        bool invalidLast;     // and "z.csv", not a LUT, after them
        std::size_t expected; // transforms held
        bool limitMessage;    // string 3046 shown
    } cases[] = {
        {"thirty files", 30, false, 24, true},
        {"24 and an invalid 25th", 24, true, 24, true},
        {"exactly 24", 24, false, 24, false},
        {"a few and an invalid one", 3, true, 3, false},
    };
    for (const auto& c : cases)
    {
        const std::string folder = MakeLutFolder(std::string("Lut ") + c.name);
        for (int i = c.valid - 1; i >= 0; --i) // written out of order
        {
            char name[32];
            std::snprintf(name, sizeof name, "a%02d.csv", i);
            testsupport::WriteTextFile(folder + name, lut);
        }
        if (c.invalidLast)
            testsupport::WriteTextFile(folder + "z.csv", "just,a,header\n");

        RecordingMessageSink sink;
        CColorConverter converter(folder);
        ASSERT_EQ(converter.GetLUTCount(), c.expected) << c.name;
        ASSERT_EQ(converter.GetLUTNames().size(), c.expected) << c.name;
        for (std::size_t i = 0; i < c.expected; ++i)
        {
            char name[32];
            std::snprintf(name, sizeof name, "a%02zu", i);
            EXPECT_EQ(converter.GetLUTNames()[i], name);
            ASSERT_NE(converter.GetLUTTransform(i), nullptr);
            EXPECT_TRUE(converter.GetLUTTransform(i)->IsValid());
        }
        EXPECT_EQ(converter.GetLUTTransform(c.expected), nullptr);

        std::vector<RecordingMessageSink::Message> limit;
        std::vector<RecordingMessageSink::Message> rejected;
        for (const auto& m : sink.messages)
            (m.stringId == kStrLutLimitReached ? limit : rejected).push_back(m);
        if (c.limitMessage)
        {
            ASSERT_EQ(limit.size(), 1u) << c.name;
            EXPECT_EQ(limit[0].args, std::vector<std::string>{"24"});
        }
        else
        {
            EXPECT_TRUE(limit.empty()) << c.name;
        }
        // A file met after the limit is not examined, so not reported.
        const bool invalidExamined = c.invalidLast && c.valid < 24;
        ASSERT_EQ(rejected.size(), invalidExamined ? 1u : 0u) << c.name;
        if (invalidExamined)
        {
            EXPECT_EQ(rejected[0].stringId, kStrLutFileRejected);
            ASSERT_EQ(rejected[0].args.size(), 1u);
            EXPECT_NE(rejected[0].args[0].find(folder + "z.csv"), std::string::npos)
                << rejected[0].args[0];
        }
    }
}

TEST_F(ColorConverterTest, OnlyCsvFilesCountAndRejectedOnesArePassedBy)
{
    const std::string folder = MakeLutFolder();
    const std::string lut = IdentityLut();
    std::filesystem::create_directories(folder + "dir.csv");
    testsupport::WriteTextFile(folder + "dir.csv/inner.csv", lut);
    testsupport::WriteTextFile(folder + "Upper.CSV", lut);
    testsupport::WriteTextFile(folder + "notes.txt", lut);
    testsupport::WriteTextFile(folder + "csv", lut);
    testsupport::WriteTextFile(folder + "short.csv", "a,b,c,d,e,f\n1,2,3,4,5,6\n");
    testsupport::WriteTextFile(folder + "wide.csv", lut);
    std::filesystem::create_symlink(folder + "wide.csv", folder + "link.csv");

    RecordingMessageSink sink;
    CColorConverter converter(folder);
    EXPECT_EQ(converter.GetLUTNames(), (std::vector<std::string>{"Upper", "link", "wide"}));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].stringId, kStrLutFileRejected);
    ASSERT_EQ(sink.messages[0].args.size(), 1u);
    EXPECT_NE(sink.messages[0].args[0].find("short.csv"), std::string::npos);
    EXPECT_EQ(converter.FindLUTTransform("wide"), converter.GetLUTTransform(2));
    EXPECT_EQ(converter.FindLUTTransform("short"), nullptr);

    // Loading again rebuilds the same list; freeing empties both lists.
    converter.LoadLUTTransforms();
    EXPECT_EQ(converter.GetLUTCount(), 3u);
    converter.FreeLUTTransforms();
    EXPECT_EQ(converter.GetLUTCount(), 0u);
    EXPECT_TRUE(converter.GetLUTNames().empty());

    // A folder that is missing, or none at all, gives no LUTs and no message.
    RecordingMessageSink quiet;
    CColorConverter missing(m_dir.File("nowhere"));
    EXPECT_EQ(missing.GetLUTCount(), 0u);
    CColorConverter none{std::string()};
    EXPECT_EQ(none.GetLUTCount(), 0u);
    EXPECT_TRUE(quiet.messages.empty());

    std::string error;
    EXPECT_FALSE(none.CreateLUTTransform(folder + "short.csv", &error));
    EXPECT_NE(error.find("short.csv"), std::string::npos);
    EXPECT_TRUE(none.CreateLUTTransform(folder + "wide.csv", &error));
    EXPECT_EQ(none.GetLUTNames(), std::vector<std::string>{"wide"});
}

TEST_F(ColorConverterTest, LutTransformsApplyTheirGrid)
{
    const std::string folder = MakeLutFolder();
    testsupport::WriteTextFile(folder + "1 identity.csv", IdentityLut());
    // Output red = input blue, green = input red, blue = input green: a
    // rotation shows whether the grid's axes are read in the file's order.
    testsupport::WriteTextFile(folder + "2 rotate.csv", LutText([](int r, int g, int b) {
                                   return std::array<int, 3>{b, r, g};
                               }));
    testsupport::WriteTextFile(folder + "3 invert.csv", LutText([](int r, int g, int b) {
                                   return std::array<int, 3>{255 - r, 255 - g, 255 - b};
                               }));
    CColorConverter converter(folder);
    ASSERT_EQ(converter.GetLUTCount(), 3u);

    std::vector<RGB16> colours;
    for (int r = 0; r < 256; r += 15)
        for (int g = 0; g < 256; g += 17)
            for (int b = 0; b < 256; b += 51)
                colours.push_back(RGB16{static_cast<std::uint16_t>(r * 257),
                                        static_cast<std::uint16_t>(g * 257),
                                        static_cast<std::uint16_t>(b * 257)});
    const struct
    {
        const char* name;
        std::array<int, 3> (*expected)(int, int, int);
    } cases[] = {
        {"1 identity",
         [](int r, int g, int b) {
             return std::array<int, 3>{r, g, b};
         }},
        {"2 rotate",
         [](int r, int g, int b) {
             return std::array<int, 3>{b, r, g};
         }},
        {"3 invert",
         [](int r, int g, int b) {
             return std::array<int, 3>{255 - r, 255 - g, 255 - b};
         }},
    };
    for (const auto& c : cases)
    {
        const CColorTransform* t = converter.FindLUTTransform(c.name);
        ASSERT_NE(t, nullptr) << c.name;
        std::vector<RGB16> out(colours.size());
        t->Translate(colours.data(), out.data(), colours.size());
        for (std::size_t k = 0; k < colours.size(); ++k)
        {
            const std::array<int, 3> want =
                c.expected(colours[k].r >> 8, colours[k].g >> 8, colours[k].b >> 8);
            EXPECT_LE(std::abs((out[k].r >> 8) - want[0]), 1) << c.name << " " << k;
            EXPECT_LE(std::abs((out[k].g >> 8) - want[1]), 1) << c.name << " " << k;
            EXPECT_LE(std::abs((out[k].b >> 8) - want[2]), 1) << c.name << " " << k;
        }
    }
}

// ------------------------------------------------- monitor profile at start-up

// With the own engine stored, a display profile that only LittleCMS can use
// switches the engine instead of leaving the program without a monitor
// profile, for the caller that asks (and records the switch).
TEST_F(ColorConverterTest, StartUpFallsBackToLittleCmsForTheMonitorProfile)
{
    std::string folder;
    ASSERT_TRUE(GetColorDirectory(folder));
    WriteBytes(folder + "Lab.icc", LabProfileBytes());
    WriteBytes(folder + "Matrix.icc", OwnMatrixProfileBytes(kWidePrimaries, 2.2));

    const struct
    {
        const char* associated;
        int engine;
        bool askSwitch;
        bool loads;
        bool switched;
        int engineAfter;
    } cases[] = {
        {"Lab.icc", 0, true, true, true, 1},       {"Lab.icc", 0, false, false, false, 0},
        {"Lab.icc", 1, true, true, false, 1},      {"Matrix.icc", 0, true, true, false, 0},
        {"Missing.icc", 0, true, false, false, 0}, {"Model.gmmp", 0, true, false, false, 0},
    };
    for (const auto& c : cases)
    {
        ASSERT_TRUE(platform::AssociateDisplayProfile("", c.associated));
        UseOsCmm = c.engine;
        bool switched = !c.switched;
        EXPECT_EQ(InitMonitorProfile("", c.askSwitch ? &switched : nullptr), c.loads)
            << c.associated << " engine " << c.engine;
        if (c.askSwitch)
        {
            EXPECT_EQ(switched, c.switched) << c.associated;
        }
        EXPECT_EQ(UseOsCmm.load(), c.engineAfter) << c.associated;
        EXPECT_EQ(GetMonitorProfile() != nullptr, c.loads) << c.associated;
        if (c.loads)
        {
            EXPECT_EQ(GetMonitorProfile()->GetName(), c.associated);
        }
        ASSERT_TRUE(platform::DisassociateDisplayProfile("", c.associated));
    }
}

} // namespace
