#include "core/ColorProfile.h"
#include "core/ImageEx.h"
#include "core/ImageFileProbe.h"
#include "core/ProfileDirectory.h"
#include "core/ProfileStore.h"
#include "core/SRGBProfile.h"
#include "core/UseOsCmm.h"
#include "platform/ColorDirectory.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <lcms2.h>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

using coretest::Get16;
using coretest::Get32;
using coretest::SaveLcmsProfile;
using coretest::WriteBytes;

constexpr std::uint32_t Sig(const char* s)
{
    return IccSignature(s);
}

void Put32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

void Put16(Bytes& b, std::size_t at, std::uint16_t v)
{
    b[at] = static_cast<std::uint8_t>(v >> 8);
    b[at + 1] = static_cast<std::uint8_t>(v);
}

// ------------------------------------------------------------ element makers

// A curveType element: `count` in the header, the given entries after it.
Bytes CurvElement(std::uint32_t count, const std::vector<std::uint16_t>& entries)
{
    Bytes e(12 + 2 * entries.size(), 0);
    Put32(e, 0, Sig("curv"));
    Put32(e, 8, count);
    for (std::size_t i = 0; i < entries.size(); ++i)
        Put16(e, 12 + 2 * i, entries[i]);
    return e;
}

Bytes ParaElement(std::uint16_t type, const std::vector<double>& params)
{
    Bytes e(12 + 4 * params.size(), 0);
    Put32(e, 0, Sig("para"));
    Put16(e, 8, type);
    for (std::size_t i = 0; i < params.size(); ++i)
        Put32(e, 12 + 4 * i,
              static_cast<std::uint32_t>(
                  static_cast<std::int32_t>(std::lround(params[i] * 65536.0))));
    return e;
}

struct MlucRecord
{
    const char* language;
    const char* country;
    std::u16string text;
};

Bytes MlucElement(const std::vector<MlucRecord>& records)
{
    Bytes e(16 + 12 * records.size(), 0);
    Put32(e, 0, Sig("mluc"));
    Put32(e, 8, static_cast<std::uint32_t>(records.size()));
    Put32(e, 12, 12);
    for (std::size_t i = 0; i < records.size(); ++i)
    {
        const std::size_t at = 16 + 12 * i;
        std::memcpy(e.data() + at, records[i].language, 2);
        std::memcpy(e.data() + at + 2, records[i].country, 2);
        Put32(e, at + 4, static_cast<std::uint32_t>(2 * records[i].text.size()));
        Put32(e, at + 8, static_cast<std::uint32_t>(e.size()));
        for (const char16_t c : records[i].text)
        {
            e.push_back(static_cast<std::uint8_t>(c >> 8));
            e.push_back(static_cast<std::uint8_t>(c & 0xFF));
        }
    }
    return e;
}

// ------------------------------------------------------------ profile makers

// sRGB-like colorants: the primaries scaled to add up to a D65 white, then
// adapted to D50 as a monitor profile stores them. Scale 0..1.
struct Colorants
{
    CStdVector red;
    CStdVector green;
    CStdVector blue;
    CStdVector white;
};

Colorants TestColorants()
{
    Colorants c;
    c.white = CStdVector{0.9505, 1.0, 1.0890};
    c.red = CStdVector{0.4124, 0.2126, 0.0193};
    c.green = CStdVector{0.3576, 0.7152, 0.1192};
    c.blue = CStdVector{0.1805, 0.0722, 0.9505};
    BradfordAdapt(c.red, c.green, c.blue, c.white);
    return c;
}

// A writable in-memory matrix/TRC monitor profile, as the monitor wizard
// writes one.
void WriteMatrixProfile(CColorProfile& p, const std::string& description = "Test Monitor",
                        double gamma = 2.2)
{
    const Colorants c = TestColorants();
    ASSERT_TRUE(p.SetHeader(Sig("mntr"), Sig("XYZ ")));
    ASSERT_TRUE(p.SetDescriptionTag(Sig("desc"), description));
    ASSERT_TRUE(p.SetCopyrightTag("Copyright"));
    ASSERT_TRUE(p.SetXYZTag(c.white, Sig("wtpt")));
    ASSERT_TRUE(p.SetXYZTag(c.red, Sig("rXYZ")));
    ASSERT_TRUE(p.SetXYZTag(c.green, Sig("gXYZ")));
    ASSERT_TRUE(p.SetXYZTag(c.blue, Sig("bXYZ")));
    ASSERT_TRUE(p.SetGammaTag(gamma, Sig("rTRC")));
    ASSERT_TRUE(p.SetGammaTag(gamma, Sig("gTRC")));
    ASSERT_TRUE(p.SetGammaTag(gamma, Sig("bTRC")));
}

// Bytes of a matrix profile with some elements replaced (an empty element
// list leaves the tag out of the profile altogether).
Bytes MatrixProfileBytes(const std::vector<std::pair<std::uint32_t, Bytes>>& replace = {},
                         std::uint32_t version = 0x02100000)
{
    CColorProfile p;
    p.CreateInMemory("matrix.icc");
    WriteMatrixProfile(p);
    CColorProfile q;
    q.CreateInMemory("matrix.icc");
    q.SetHeader(Sig("mntr"), Sig("XYZ "));
    for (const std::uint32_t sig : {Sig("desc"), Sig("cprt"), Sig("wtpt"), Sig("rXYZ"), Sig("gXYZ"),
                                    Sig("bXYZ"), Sig("rTRC"), Sig("gTRC"), Sig("bTRC")})
    {
        Bytes element;
        bool replaced = false;
        for (const auto& [s, e] : replace)
        {
            if (s == sig)
            {
                element = e;
                replaced = true;
            }
        }
        if (!replaced)
            p.GetTagElement(sig, element);
        if (!element.empty())
            q.SetTagElement(sig, element);
    }
    for (const auto& [s, e] : replace)
    {
        Bytes existing;
        if (!q.GetTagElement(s, existing) && !e.empty())
            q.SetTagElement(s, e);
    }
    Bytes bytes;
    q.GetProfileBytes(bytes);
    Put32(bytes, 8, version);
    return bytes;
}

Bytes LcmsSRGBBytes()
{
    return SaveLcmsProfile(cmsCreate_sRGBProfile());
}

Bytes LcmsLabBytes()
{
    return SaveLcmsProfile(cmsCreateLab4Profile(nullptr));
}

// A LittleCMS matrix-shaper profile (version 4) with the given curve in all
// three channels.
Bytes LcmsRGBBytes(cmsToneCurve* curve)
{
    const cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    Bytes bytes = SaveLcmsProfile(cmsCreateRGBProfile(&d65, &primaries, curves));
    cmsFreeToneCurve(curve);
    return bytes;
}

double SRGBToLinear(double v)
{
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

Bytes Truncated(Bytes b, std::size_t n)
{
    b.resize(n);
    return b;
}

std::string AsText(const Bytes& b, std::size_t at, std::size_t n)
{
    return std::string(reinterpret_cast<const char*>(b.data() + at), n);
}

// Every test gets its own colour directory and configuration folder, and
// leaves the process-wide state as it found it.
class ColorProfileTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        FreeMonitorProfile();
        platform::SetDisplayProfileHook(nullptr);
        UseOsCmm = m_savedUseOsCmm;
    }

    std::string ColorDir() const { return m_dir.Path() + "data/icc/"; }

    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_data{"XDG_DATA_HOME", m_dir.Path() + "data"};
    testsupport::ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir.Path() + "config"};
    int m_savedUseOsCmm = UseOsCmm.load();
};

// ====================================================================== writers

TEST_F(ColorProfileTest, TagWritersProduceTheDesignedLayouts)
{
    CColorProfile p;
    ASSERT_TRUE(p.CreateInMemory());
    ASSERT_TRUE(p.SetDescriptionTag(Sig("desc"), "3D-LUT profile"));
    ASSERT_TRUE(p.SetCopyrightTag("Copyright"));
    ASSERT_TRUE(p.SetGammaTag(2.2, Sig("rTRC")));
    ASSERT_TRUE(p.SetXYZTag(CStdVector{0.9642, 1.0, -0.5}, Sig("wtpt")));
    ASSERT_TRUE(p.SetDeviceTextTags());
    ASSERT_TRUE(p.SetProfileSequenceTag());

    Bytes e;
    ASSERT_TRUE(p.GetTagElement(Sig("desc"), e));
    ASSERT_EQ(e.size(), 105u);
    EXPECT_EQ(Get32(e, 0), Sig("desc"));
    EXPECT_EQ(Get32(e, 4), 0u);
    EXPECT_EQ(Get32(e, 8), 15u);
    EXPECT_EQ(AsText(e, 12, 14), "3D-LUT profile");
    EXPECT_TRUE(std::all_of(e.begin() + 26, e.end(), [](std::uint8_t b) { return b == 0; }));

    ASSERT_TRUE(p.GetTagElement(Sig("cprt"), e));
    ASSERT_EQ(e.size(), 18u);
    EXPECT_EQ(Get32(e, 0), Sig("text"));
    EXPECT_EQ(AsText(e, 8, 9), "Copyright");
    EXPECT_EQ(e[17], 0);

    ASSERT_TRUE(p.GetTagElement(Sig("rTRC"), e));
    ASSERT_EQ(e.size(), 14u);
    EXPECT_EQ(Get32(e, 0), Sig("curv"));
    EXPECT_EQ(Get32(e, 8), 1u);
    EXPECT_EQ(Get16(e, 12), 563); // 2.2 * 256 = 563.2, truncated

    ASSERT_TRUE(p.GetTagElement(Sig("wtpt"), e));
    ASSERT_EQ(e.size(), 20u);
    EXPECT_EQ(Get32(e, 0), Sig("XYZ "));
    EXPECT_EQ(Get32(e, 8), 0xF6D5u); // 0.9642 * 65536 = 63189.8, truncated
    EXPECT_EQ(Get32(e, 12), 0x10000u);
    EXPECT_EQ(Get32(e, 16), 0xFFFF8000u); // -0.5 in two's complement

    for (const char* sig : {"dmnd", "dmdd"})
    {
        ASSERT_TRUE(p.GetTagElement(Sig(sig), e)) << sig;
        EXPECT_EQ(e.size(), 95u);
        EXPECT_EQ(Get32(e, 8), 5u);
        EXPECT_EQ(AsText(e, 12, 5), std::string("test\0", 5));
    }

    ASSERT_TRUE(p.GetTagElement(Sig("pseq"), e));
    ASSERT_EQ(e.size(), 308u);
    EXPECT_EQ(Get32(e, 0), Sig("pseq"));
    EXPECT_EQ(Get32(e, 8), 2u);
    for (std::size_t record = 0; record < 2; ++record)
    {
        for (std::size_t d = 0; d < 2; ++d)
        {
            const std::size_t at = 12 + 148 * record + 20 + 64 * d;
            EXPECT_EQ(Get32(e, at), Sig("desc"));
            EXPECT_EQ(Get32(e, at + 8), 1u);
        }
    }
}

TEST_F(ColorProfileTest, WritersRefuseProfilesThatAreNotWritable)
{
    CColorProfile closed;
    EXPECT_FALSE(closed.SetHeader(Sig("mntr"), Sig("XYZ ")));
    EXPECT_FALSE(closed.SetDescriptionTag(Sig("desc"), "x"));
    EXPECT_FALSE(closed.SetProfileSequenceTag());

    CColorProfile readOnly;
    ASSERT_TRUE(readOnly.OpenFromMemory(BuildSRGBProfileBytes(), "srgb.icm"));
    EXPECT_FALSE(readOnly.SetXYZTag(CStdVector{1.0, 1.0, 1.0}, Sig("wtpt")));
    EXPECT_FALSE(readOnly.SetGammaTag(1.0, Sig("rTRC")));
    EXPECT_FALSE(readOnly.SetCopyrightTag("x"));
    EXPECT_FALSE(readOnly.SetDeviceTextTags());
    EXPECT_FALSE(readOnly.SetTagElement(Sig("A2B0"), Bytes(40, 0)));
    EXPECT_FALSE(readOnly.Save());
}

TEST_F(ColorProfileTest, SerializerWritesHeaderTableAndAlignedElements)
{
    CColorProfile p;
    ASSERT_TRUE(p.CreateInMemory("link"));
    ASSERT_TRUE(p.SetHeader(Sig("link"), Sig("RGB ")));
    ASSERT_TRUE(p.SetDescriptionTag(Sig("desc"), "3D-LUT profile")); // 105 bytes
    ASSERT_TRUE(p.SetCopyrightTag("Copyright"));                     // 18 bytes
    ASSERT_TRUE(p.SetTagElement(Sig("A2B0"), Bytes{'m', 'f', 't', '2', 0, 0, 0, 0, 1}));
    // Writing a tag again replaces its element where it stands.
    ASSERT_TRUE(p.SetCopyrightTag("Copyright 2"));

    Bytes bytes;
    ASSERT_TRUE(p.GetProfileBytes(bytes));
    EXPECT_EQ(Get32(bytes, 0), bytes.size());
    EXPECT_EQ(bytes.size() % 4, 0u);
    EXPECT_EQ(Get32(bytes, 36), Sig("acsp"));
    EXPECT_EQ(Get32(bytes, 12), Sig("link"));
    EXPECT_EQ(Get32(bytes, 20), Sig("RGB "));
    ASSERT_EQ(Get32(bytes, 128), 3u);

    const std::uint32_t expected[3][2] = {{Sig("desc"), 105}, {Sig("cprt"), 20}, {Sig("A2B0"), 9}};
    std::uint32_t previousEnd = 132 + 3 * 12;
    for (std::size_t i = 0; i < 3; ++i)
    {
        const std::size_t at = 132 + 12 * i;
        EXPECT_EQ(Get32(bytes, at), expected[i][0]) << i;
        const std::uint32_t offset = Get32(bytes, at + 4);
        const std::uint32_t size = Get32(bytes, at + 8);
        EXPECT_EQ(size, expected[i][1]) << i;
        EXPECT_EQ(offset % 4, 0u) << i;
        EXPECT_GE(offset, previousEnd) << i;
        EXPECT_LE(offset + size, bytes.size()) << i;
        previousEnd = offset + size;
    }

    // LittleCMS reads what we wrote.
    CColorProfile reopened;
    ASSERT_TRUE(reopened.OpenFromMemory(bytes, "link"));
    Bytes element;
    ASSERT_TRUE(reopened.GetTagElement(Sig("cprt"), element));
    EXPECT_EQ(AsText(element, 8, 11), "Copyright 2");
    EXPECT_TRUE(reopened.OpenLcmsProfile() != nullptr);
}

TEST_F(ColorProfileTest, SetHeaderSetsTheDesignedFieldsAndKeepsTheOthers)
{
    CColorProfile p;
    ASSERT_TRUE(p.CreateInMemory());
    ASSERT_TRUE(p.SetHeader(Sig("mntr"), Sig("XYZ ")));
    ASSERT_TRUE(p.SetHeader(Sig("link"), Sig("RGB "))); // the second call wins
    Bytes b;
    ASSERT_TRUE(p.GetProfileBytes(b));
    EXPECT_EQ(Get32(b, 4), Sig("MSFT"));
    EXPECT_EQ(Get32(b, 8), 0x02100000u);
    EXPECT_EQ(Get32(b, 12), Sig("link"));
    EXPECT_EQ(Get32(b, 16), Sig("RGB "));
    EXPECT_EQ(Get32(b, 20), Sig("RGB "));
    EXPECT_EQ(Get32(b, 40), Sig("MSFT"));
    EXPECT_EQ(Get32(b, 64), 0u); // rendering intent untouched
    EXPECT_EQ(Get32(b, 68), 0xF6D6u);
    EXPECT_EQ(Get32(b, 72), 0x10000u);
    EXPECT_EQ(Get32(b, 76), 0xD32Du);

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    EXPECT_EQ(Get16(b, 24), local.tm_year + 1900);
    EXPECT_GE(Get16(b, 26), 1);
    EXPECT_LE(Get16(b, 26), 12);
    EXPECT_GE(Get16(b, 28), 1);
    EXPECT_LE(Get16(b, 28), 31);
    EXPECT_LE(Get16(b, 30), 23);
}

// ====================================================================== sRGB

TEST_F(ColorProfileTest, OwnSRGBProfileHasTheDesignedHeaderAndTags)
{
    const Bytes b = BuildSRGBProfileBytes();
    ASSERT_GE(b.size(), 132u);
    EXPECT_EQ(Get32(b, 0), b.size());
    EXPECT_EQ(Get32(b, 4), Sig("MSFT"));
    EXPECT_EQ(Get32(b, 8), 0x02100000u);
    EXPECT_EQ(Get32(b, 12), Sig("mntr"));
    EXPECT_EQ(Get32(b, 16), Sig("RGB "));
    EXPECT_EQ(Get32(b, 20), Sig("XYZ "));
    EXPECT_EQ(Get32(b, 36), Sig("acsp"));
    EXPECT_EQ(Get32(b, 40), Sig("MSFT"));
    EXPECT_EQ(Get32(b, 68), 0xF6D6u);
    EXPECT_EQ(Get32(b, 72), 0x10000u);
    EXPECT_EQ(Get32(b, 76), 0xD32Du);

    CColorProfile p;
    ASSERT_TRUE(p.OpenFromMemory(b, "sRGB Color Space Profile.icm"));
    std::string text;
    EXPECT_TRUE(p.GetDescription(text));
    EXPECT_EQ(text, "sRGB IEC61966-2.1");
    EXPECT_TRUE(p.IsRGBMatrixProfile());

    std::vector<double> r, g, bl;
    ASSERT_TRUE(p.ReadTRCTags(r, g, bl));
    ASSERT_EQ(r.size(), 1024u);
    EXPECT_EQ(r.back(), 1.0);
    for (const std::size_t i : {0u, 10u, 100u, 512u, 1000u})
        EXPECT_NEAR(r[i], SRGBToLinear(i / 1023.0), 1.0 / 65535) << i;

    // Reading un-adapts the D50 colorants back to D65 sRGB (white Y = 100).
    CCIEXYZ red, green, blue, white;
    ASSERT_TRUE(p.ReadColorants(red, green, blue, white));
    EXPECT_NEAR(white[0], 95.05, 0.01);
    EXPECT_NEAR(white[2], 108.91, 0.01);
    const double reference[3][3] = {
        {41.24, 21.26, 1.93}, {35.76, 71.52, 11.92}, {18.05, 7.22, 95.05}};
    const CCIEXYZ* got[3] = {&red, &green, &blue};
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR((*got[c])[k], reference[c][k], 0.05) << c << "," << k;
}

TEST_F(ColorProfileTest, OwnSRGBTransformsToLittleCMSsRGBAlmostUnchanged)
{
    CColorProfile ours;
    ASSERT_TRUE(ours.OpenFromMemory(BuildSRGBProfileBytes(), "srgb"));
    LcmsProfilePtr input = ours.OpenLcmsProfile();
    ASSERT_TRUE(input != nullptr);
    LcmsProfilePtr output(cmsCreate_sRGBProfile());
    cmsHTRANSFORM t = cmsCreateTransform(input.get(), TYPE_RGB_16, output.get(), TYPE_RGB_16,
                                         INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE);
    ASSERT_TRUE(t != nullptr);
    int worst = 0;
    for (int r = 0; r <= 65535; r += 4369)
        for (int g = 0; g <= 65535; g += 4369)
            for (int b = 0; b <= 65535; b += 4369)
            {
                const cmsUInt16Number in[3] = {static_cast<cmsUInt16Number>(r),
                                               static_cast<cmsUInt16Number>(g),
                                               static_cast<cmsUInt16Number>(b)};
                cmsUInt16Number out[3] = {};
                cmsDoTransform(t, in, out, 1);
                for (int k = 0; k < 3; ++k)
                    worst = std::max(worst, std::abs(int{out[k]} - int{in[k]}));
            }
    cmsDeleteTransform(t);
    // Within a quarter of an 8-bit step.
    EXPECT_LE(worst, 64);
}

// ====================================================================== curves

struct CurveCase
{
    const char* name;
    Bytes element;
    bool ok;
    std::vector<double> expected;
};

TEST_F(ColorProfileTest, CurveElementsReadAsCurveLists)
{
    std::vector<std::uint16_t> endsAtZero(1024, 1000);
    endsAtZero.back() = 0;
    Bytes gammaInOddType = CurvElement(1, {0x0233});
    Put32(gammaInOddType, 0, Sig("sf32")); // any type signature is read as a curve
    const CurveCase cases[] = {
        {"count 0 is gamma 1", CurvElement(0, {}), true, {1.0}},
        {"count 1 is a u8Fixed8 gamma", CurvElement(1, {0x0233}), true, {2.19921875}},
        {"another type with a curve layout", gammaInOddType, true, {2.19921875}},
        {"table normalised by its last entry",
         CurvElement(3, {0, 16384, 32768}),
         true,
         {0, 0.5, 1.0}},
        {"table ending in 0", CurvElement(1024, endsAtZero), false, {}},
        {"count larger than the element", CurvElement(0x7FFFFFFF, {0, 65535}), false, {}},
        {"count of 2^32 - 1", CurvElement(0xFFFFFFFF, {1, 2, 3}), false, {}},
        {"one entry but no room for it", Truncated(CurvElement(1, {0x0233}), 13), false, {}},
        {"element of 11 bytes", Truncated(CurvElement(0, {}), 11), false, {}},
        {"para type 0 is its gamma", ParaElement(0, {2.5}), true, {2.5}},
        {"para missing parameters", ParaElement(4, {2.4, 1.0, 0.0}), false, {}},
        {"para unknown type", ParaElement(7, {1, 1, 1, 1, 1, 1, 1}), false, {}},
        {"para type 1 never above 0", ParaElement(1, {1.0, -1.0, 0.0}), false, {}},
    };
    for (const CurveCase& c : cases)
    {
        CColorProfile p;
        ASSERT_TRUE(p.OpenFromMemory(MatrixProfileBytes({{Sig("gTRC"), c.element}}), "c.icc"))
            << c.name;
        std::vector<double> r, g, b;
        EXPECT_EQ(p.ReadTRCTags(r, g, b), c.ok) << c.name;
        if (c.ok)
        {
            ASSERT_EQ(g.size(), c.expected.size()) << c.name;
            for (std::size_t i = 0; i < g.size(); ++i)
                EXPECT_NEAR(g[i], c.expected[i], 1e-4) << c.name << " [" << i << "]";
            EXPECT_EQ(r, std::vector<double>{563 / 256.0}) << c.name;
        }
        CRGBGammaTable table;
        EXPECT_EQ(p.GetTRC(table), c.ok) << c.name;
        EXPECT_EQ(p.GetInverseTRC(table), c.ok) << c.name;
        EXPECT_EQ(p.HasMatrixTRC(), c.ok) << c.name;
    }
}

TEST_F(ColorProfileTest, ParametricCurvesOfLittleCMSsRGBReadAsTheSRGBCurve)
{
    CColorProfile p;
    ASSERT_TRUE(p.OpenFromMemory(LcmsSRGBBytes(), "lcms-srgb.icc"));
    std::uint32_t version = 0;
    ASSERT_TRUE(p.GetVersion(version));
    EXPECT_GE(version, 0x04000000u);
    Bytes element;
    ASSERT_TRUE(p.GetTagElement(Sig("rTRC"), element));
    ASSERT_EQ(Get32(element, 0), Sig("para"));

    std::vector<double> r, g, b;
    ASSERT_TRUE(p.ReadTRCTags(r, g, b));
    for (const auto* curve : {&r, &g, &b})
    {
        ASSERT_EQ(curve->size(), 1024u);
        EXPECT_DOUBLE_EQ(curve->back(), 1.0);
        for (const std::size_t i : {0u, 5u, 10u, 11u, 50u, 256u, 700u, 1023u})
            EXPECT_NEAR((*curve)[i], SRGBToLinear(i / 1023.0), 2e-4) << i;
    }
    EXPECT_TRUE(p.IsRGBMatrixProfile());
}

TEST_F(ColorProfileTest, LittleCMSGammaAndTabulatedCurvesAreRead)
{
    // A gamma curve is written as 'para' type 0 in a version-4 profile.
    CColorProfile gamma;
    ASSERT_TRUE(gamma.OpenFromMemory(LcmsRGBBytes(cmsBuildGamma(nullptr, 2.2)), "g.icc"));
    std::vector<double> r, g, b;
    ASSERT_TRUE(gamma.ReadTRCTags(r, g, b));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_NEAR(r[0], 2.2, 1e-4);

    // A tabulated curve is a 'curv' table.
    std::vector<cmsUInt16Number> table(256);
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = static_cast<cmsUInt16Number>(std::lround(65535.0 * std::pow(i / 255.0, 1.8)));
    CColorProfile tabulated;
    ASSERT_TRUE(tabulated.OpenFromMemory(
        LcmsRGBBytes(cmsBuildTabulatedToneCurve16(nullptr, 256, table.data())), "t.icc"));
    ASSERT_TRUE(tabulated.ReadTRCTags(r, g, b));
    ASSERT_EQ(b.size(), 256u);
    for (std::size_t i = 0; i < 256; i += 51)
        EXPECT_NEAR(b[i], table[i] / 65535.0, 1e-9) << i;

    LogColorSpace lcs;
    ASSERT_TRUE(tabulated.GetLogColorSpace(lcs, false));
    EXPECT_NEAR(lcs.lcsGammaBlue / 65536.0, 1.8, 1e-3);
}

TEST_F(ColorProfileTest, ToneTablesFollowTheCurves)
{
    CColorProfile linear;
    ASSERT_TRUE(linear.CreateInMemory());
    WriteMatrixProfile(linear, "linear", 1.0);
    CRGBGammaTable forward;
    ASSERT_TRUE(linear.GetTRC(forward));
    ASSERT_TRUE(forward.IsComplete());
    for (std::size_t i = 0; i < 65536; i += 4097)
        EXPECT_EQ(forward[1].GetEntries()[i], i);

    CColorProfile srgb;
    ASSERT_TRUE(srgb.OpenFromMemory(BuildSRGBProfileBytes(), "srgb"));
    CRGBGammaTable inverse;
    ASSERT_TRUE(srgb.GetTRC(forward));
    ASSERT_TRUE(srgb.GetInverseTRC(inverse));
    for (std::size_t i = 0; i < 65536; i += 997)
    {
        const int back = inverse[0].GetEntries()[forward[0].GetEntries()[i]];
        EXPECT_NEAR(back, static_cast<int>(i), 40) << i;
    }
}

// ====================================================================== descriptions

TEST_F(ColorProfileTest, DescriptionLosesTrailingBlanksOnly)
{
    const struct
    {
        std::string written;
        std::string read;
    } cases[] = {
        {"Monitor   ", "Monitor"},
        {"  Monitor", "  Monitor"},
        {"  Mon itor  ", "  Mon itor"},
        {"Monitor\t", "Monitor\t"},
    };
    for (const auto& c : cases)
    {
        CColorProfile p;
        ASSERT_TRUE(p.CreateInMemory("/some/folder/blank.icc"));
        WriteMatrixProfile(p, c.written);
        std::string text;
        EXPECT_TRUE(p.GetDescription(text)) << c.written;
        EXPECT_EQ(text, c.read);
    }

    std::string text = "  a b  ";
    TrimString(text);
    EXPECT_EQ(text, "  a b");
    text = "   ";
    TrimString(text);
    EXPECT_EQ(text, "");
}

struct DescriptionCase
{
    const char* name;
    std::uint32_t version;
    Bytes element;
    bool ok;
    std::string text;
};

TEST_F(ColorProfileTest, DescriptionsByVersionAndLanguage)
{
    Bytes countTooBig;
    {
        CColorProfile p;
        p.CreateInMemory();
        p.SetDescriptionTag(Sig("desc"), "Short");
        p.GetTagElement(Sig("desc"), countTooBig);
        Put32(countTooBig, 8, 0xFFFFFFF0);
    }
    Bytes emptyText(91, 0);
    Put32(emptyText, 0, Sig("desc"));
    Put32(emptyText, 8, 1);
    Bytes latin1(100, 0);
    Put32(latin1, 0, Sig("desc"));
    Put32(latin1, 8, 5);
    std::memcpy(latin1.data() + 12, "Caf\xE9", 5);

    Bytes recordOutOfBounds = MlucElement({{"en", "US", u"Monitor"}});
    Put32(recordOutOfBounds, 16 + 8, 0xFFFFFFF0);
    Bytes recordCountHuge = MlucElement({{"en", "US", u"Monitor"}});
    Put32(recordCountHuge, 8, 0x20000000);
    Bytes unpairedSurrogate = MlucElement({{"ja", "JP", u"X"}, {"en", "US", u"English"}});
    Put16(unpairedSurrogate, unpairedSurrogate.size() - 16, 0xD800); // first unit of "X"

    const DescriptionCase cases[] = {
        {"v2 text description", 0x02100000, {}, true, "Test Monitor"},
        {"v2 with an mluc element", 0x02100000, MlucElement({{"en", "US", u"Monitor"}}), false, ""},
        {"v2 ASCII count beyond the element", 0x02100000, countTooBig, false, ""},
        {"v2 empty text", 0x02100000, emptyText, false, ""},
        {"v2 Latin-1 text becomes UTF-8", 0x02100000, latin1, true, "Caf\xC3\xA9"},
        {"v4 only German", 0x04300000, MlucElement({{"de", "DE", u"Bildschirm"}}), false, ""},
        {"v4 US English", 0x04300000,
         MlucElement({{"de", "DE", u"Bildschirm"}, {"en", "US", u"Monitor"}}), true, "Monitor"},
        {"v4 Japanese beats English", 0x04300000,
         MlucElement({{"ja", "JP", u"モニター"}, {"en", "US", u"Monitor"}}), true, "モニター"},
        {"v4 Japanese beats English after it", 0x04300000,
         MlucElement({{"en", "US", u"Monitor"}, {"ja", "JP", u"モニター"}}), true, "モニター"},
        {"v4 last match counts", 0x04300000,
         MlucElement({{"en", "US", u"First"}, {"en", "US", u"Second  "}}), true, "Second"},
        {"v4 British English is not used", 0x04300000, MlucElement({{"en", "GB", u"Monitor"}}),
         false, ""},
        {"v4 text up to its NUL", 0x04300000,
         MlucElement({{"en", "US", std::u16string(u"Mon\0x", 5)}}), true, "Mon"},
        {"v4 surrogate pair", 0x04300000, MlucElement({{"en", "US", u"A\U0001F600"}}), true,
         "A\xF0\x9F\x98\x80"},
        {"v4 unpaired surrogate drops that record", 0x04300000, unpairedSurrogate, true, "English"},
        {"v4 record out of bounds", 0x04300000, recordOutOfBounds, false, ""},
        {"v4 record count huge", 0x04300000, recordCountHuge, false, ""},
        {"v4 textDescriptionType", 0x04300000, {}, false, ""},
    };
    for (const DescriptionCase& c : cases)
    {
        std::vector<std::pair<std::uint32_t, Bytes>> replace;
        if (!c.element.empty())
            replace.emplace_back(Sig("desc"), c.element);
        CColorProfile p;
        ASSERT_TRUE(p.OpenFromMemory(MatrixProfileBytes(replace, c.version), "/x/y/Name.icc"))
            << c.name;
        std::string text;
        EXPECT_EQ(p.GetDescription(text), c.ok) << c.name;
        EXPECT_EQ(text, c.ok ? c.text : std::string("Name.icc")) << c.name;
    }
}

TEST_F(ColorProfileTest, LittleCMSsRGBDescriptionIsItsEnglishText)
{
    CColorProfile p;
    ASSERT_TRUE(p.OpenFromMemory(LcmsSRGBBytes(), "lcms.icc"));
    std::string text;
    EXPECT_TRUE(p.GetDescription(text));
    EXPECT_EQ(text, "sRGB built-in");
}

TEST_F(ColorProfileTest, MlucDecodingAndSelection)
{
    std::vector<LocalizedText> records;
    Bytes none = MlucElement({});
    EXPECT_TRUE(DecodeMlucTag(none, records));
    EXPECT_TRUE(records.empty());
    std::string text = "unchanged";
    EXPECT_FALSE(SelectLocalizedText(records, text));
    EXPECT_EQ(text, "unchanged");

    Bytes two = MlucElement({{"fr", "FR", u"Écran"}, {"xx", "YY", u""}});
    ASSERT_TRUE(DecodeMlucTag(two, records));
    ASSERT_EQ(records.size(), 1u); // the empty text is dropped
    EXPECT_EQ(records[0].text, "\xC3\x89"
                               "cran");
    EXPECT_EQ(records[0].language, "fr");
    EXPECT_EQ(records[0].country, "FR");

    Bytes wrongType = two;
    Put32(wrongType, 0, Sig("desc"));
    EXPECT_FALSE(DecodeMlucTag(wrongType, records));
    EXPECT_FALSE(DecodeMlucTag(Bytes(two.begin(), two.begin() + 15), records));
    // A record whose text runs one byte past the element.
    Bytes pastEnd = MlucElement({{"en", "US", u"ab"}});
    Put32(pastEnd, 16 + 4, 5);
    EXPECT_FALSE(DecodeMlucTag(pastEnd, records));
}

TEST_F(ColorProfileTest, DescriptionFromFileKeepsTrailingBlanks)
{
    CColorProfile p;
    ASSERT_TRUE(p.CreateNew(m_dir.File("printer.icc")));
    WriteMatrixProfile(p, "Printer  ");
    ASSERT_TRUE(p.Close());

    std::string text;
    EXPECT_TRUE(GetProfileDescriptionFromFile(text, m_dir.File("printer.icc")));
    EXPECT_EQ(text, "Printer  ");
    EXPECT_FALSE(GetProfileDescriptionFromFile(text, m_dir.File("missing.icc")));
    EXPECT_EQ(text, "missing.icc");
    testsupport::WriteTextFile(m_dir.File("junk.icc"), "not a profile");
    EXPECT_FALSE(GetProfileDescriptionFromFile(text, m_dir.File("junk.icc")));
    EXPECT_EQ(text, "junk.icc");
}

// ====================================================================== colorants

TEST_F(ColorProfileTest, MatrixOfColorantsThatAddUpToWhiteMapsFullScaleToWhite)
{
    CColorProfile p;
    ASSERT_TRUE(p.CreateInMemory());
    WriteMatrixProfile(p);
    CStdMatrix m;
    ASSERT_TRUE(p.GetRGBToXYZMatrix(m));
    ASSERT_EQ(m.GetRows(), 3u);
    ASSERT_EQ(m.GetCols(), 3u);
    const CStdVector xyz = m.MultiplyVector(CStdVector{65535.0, 65535.0, 65535.0});
    EXPECT_NEAR(xyz[1], 100.0, 0.01);
    EXPECT_NEAR(xyz[0], 95.05, 0.01);
    EXPECT_NEAR(xyz[2], 108.90, 0.01);
    // Red alone gives the red colorant, un-adapted back to D65.
    const CStdVector red = m.MultiplyVector(CStdVector{65535.0, 0.0, 0.0});
    EXPECT_NEAR(red[0], 41.24, 0.01);
    EXPECT_NEAR(red[1], 21.26, 0.01);
    EXPECT_NEAR(red[2], 1.93, 0.01);
}

TEST_F(ColorProfileTest, ColorantReadsFailOnUnusableElements)
{
    Bytes zeroWhite(20, 0);
    Put32(zeroWhite, 0, Sig("XYZ "));
    Put32(zeroWhite, 8, 0xF6D6);
    Bytes longXYZ(24, 0);
    Put32(longXYZ, 0, Sig("XYZ "));
    Bytes sameAsRed;
    {
        CColorProfile p;
        p.CreateInMemory();
        WriteMatrixProfile(p);
        p.GetTagElement(Sig("rXYZ"), sameAsRed);
    }
    Bytes notXYZ(20, 0);
    Put32(notXYZ, 0, Sig("sf32"));

    const struct
    {
        const char* name;
        std::vector<std::pair<std::uint32_t, Bytes>> replace;
    } cases[] = {
        {"white with Y = 0", {{Sig("wtpt"), zeroWhite}}},
        {"white of another type", {{Sig("wtpt"), notXYZ}}},
        {"colorant element of 24 bytes", {{Sig("gXYZ"), longXYZ}}},
        {"no blue colorant", {{Sig("bXYZ"), Bytes{}}}},
        {"all colorants equal", {{Sig("gXYZ"), sameAsRed}, {Sig("bXYZ"), sameAsRed}}},
        {"no colorants of type XYZ",
         {{Sig("rXYZ"), notXYZ}, {Sig("gXYZ"), notXYZ}, {Sig("bXYZ"), notXYZ}}},
    };
    for (const auto& c : cases)
    {
        CColorProfile p;
        ASSERT_TRUE(p.OpenFromMemory(MatrixProfileBytes(c.replace), "c.icc")) << c.name;
        CCIEXYZ red, green, blue, white;
        EXPECT_FALSE(p.ReadColorants(red, green, blue, white)) << c.name;
        CStdMatrix m;
        EXPECT_FALSE(p.GetRGBToXYZMatrix(m)) << c.name;
        EXPECT_FALSE(p.HasMatrixTRC()) << c.name;
        EXPECT_FALSE(p.IsRGBMatrixProfile()) << c.name;
        EXPECT_FALSE(p.IsOpen()) << c.name;
        EXPECT_EQ(p.GetName(), "") << c.name;
    }

    // A header without an illuminant (a profile written without SetHeader).
    CColorProfile bare;
    ASSERT_TRUE(bare.CreateInMemory());
    const Colorants c = TestColorants();
    bare.SetXYZTag(c.white, Sig("wtpt"));
    bare.SetXYZTag(c.red, Sig("rXYZ"));
    bare.SetXYZTag(c.green, Sig("gXYZ"));
    bare.SetXYZTag(c.blue, Sig("bXYZ"));
    CCIEXYZ red, green, blue, white;
    EXPECT_FALSE(bare.ReadColorants(red, green, blue, white));
}

TEST_F(ColorProfileTest, ColorantOfAnotherTypeKeepsTheCallersValue)
{
    Bytes notXYZ(20, 0);
    Put32(notXYZ, 0, Sig("sf32"));
    CColorProfile p;
    ASSERT_TRUE(p.OpenFromMemory(MatrixProfileBytes({{Sig("bXYZ"), notXYZ}}), "c.icc"));
    CCIEXYZ red, green, white;
    CCIEXYZ blue(1.0, 2.0, 3.0);
    ASSERT_TRUE(p.ReadColorants(red, green, blue, white));
    // The caller's blue went through the same adaptation as the others:
    // D50 to D65, which leaves it close to where it was but not equal.
    EXPECT_NEAR(blue[1], 2.0, 0.2);
    EXPECT_NE(blue[0], 1.0);
}

// ------------------------------------------------ chromatic adaptation tag

// An 'XYZ ' element of the value (scale 0..1), rounded to s15Fixed16.
Bytes XYZElement(const CStdVector& v)
{
    Bytes e(20, 0);
    Put32(e, 0, Sig("XYZ "));
    for (std::size_t i = 0; i < 3; ++i)
        Put32(e, 8 + 4 * i,
              static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(v[i] * 65536.0))));
    return e;
}

// An 'sf32' element of nine numbers (a 3x3 matrix row by row), with the
// given type and extra bytes after the numbers.
Bytes ChadElement(const std::array<double, 9>& m, std::uint32_t type = Sig("sf32"),
                  std::size_t extra = 0)
{
    Bytes e(44 + extra, 0);
    Put32(e, 0, type);
    for (std::size_t i = 0; i < 9; ++i)
        Put32(e, 8 + 4 * i,
              static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(m[i] * 65536.0))));
    return e;
}

// The Bradford adaptation matrix from the white to D50, row by row.
std::array<double, 9> BradfordToD50(const CStdVector& white)
{
    CStdVector columns[3] = {CStdVector{1.0, 0.0, 0.0}, CStdVector{0.0, 1.0, 0.0},
                             CStdVector{0.0, 0.0, 1.0}};
    BradfordAdapt(columns[0], columns[1], columns[2], white);
    std::array<double, 9> m{};
    for (std::size_t r = 0; r < 3; ++r)
        for (std::size_t c = 0; c < 3; ++c)
            m[3 * r + c] = columns[c][r];
    return m;
}

struct ColorantSet
{
    CCIEXYZ red, green, blue, white;
};

ColorantSet ReadAll(const Bytes& bytes)
{
    CColorProfile p;
    EXPECT_TRUE(p.OpenFromMemory(bytes, "c.icc"));
    ColorantSet s;
    EXPECT_TRUE(p.ReadColorants(s.red, s.green, s.blue, s.white));
    return s;
}

void ExpectSameColorants(const ColorantSet& got, const ColorantSet& want, double tolerance,
                         const std::string& name)
{
    const CCIEXYZ* g[4] = {&got.red, &got.green, &got.blue, &got.white};
    const CCIEXYZ* w[4] = {&want.red, &want.green, &want.blue, &want.white};
    for (int k = 0; k < 4; ++k)
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR((*g[k])[i], (*w[k])[i], tolerance) << name << " value " << k << "," << i;
}

// A profile with a 'chad' tag states how its colorants were adapted to the
// PCS white; its media white tag then need not be the real white (version 4
// profiles store D50 there). The colorants and white are taken back through
// the inverse of that matrix, whatever adaptation it is.
TEST_F(ColorProfileTest, ChromaticAdaptationTagTakesColorantsBackToTheMediaWhite)
{
    const CStdVector d65{0.9505, 1.0, 1.0890};
    const CStdVector d50{0.9642, 1.0, 0.8249};
    // Today's reading of the version-2 profile: the reference.
    const ColorantSet v2 = ReadAll(MatrixProfileBytes());

    // Bradford, with the PCS white as media white: the same colorants.
    const Bytes bradford = MatrixProfileBytes(
        {{Sig("wtpt"), XYZElement(d50)}, {Sig("chad"), ChadElement(BradfordToD50(d65))}});
    ExpectSameColorants(ReadAll(bradford), v2, 0.01, "Bradford chad");

    // A plain scaling of X, Y and Z (von Kries in XYZ): the stored colorants
    // are the sRGB ones scaled so, and come back unscaled; a reader that
    // assumed Bradford would not find them.
    const double sx = d50[0] / d65[0];
    const double sz = d50[2] / d65[2];
    const CStdVector raw[3] = {CStdVector{0.4124, 0.2126, 0.0193},
                               CStdVector{0.3576, 0.7152, 0.1192},
                               CStdVector{0.1805, 0.0722, 0.9505}};
    std::vector<std::pair<std::uint32_t, Bytes>> scaled = {
        {Sig("wtpt"), XYZElement(d50)}, {Sig("chad"), ChadElement({sx, 0, 0, 0, 1, 0, 0, 0, sz})}};
    const char* tags[3] = {"rXYZ", "gXYZ", "bXYZ"};
    for (int c = 0; c < 3; ++c)
        scaled.emplace_back(Sig(tags[c]),
                            XYZElement(CStdVector{raw[c][0] * sx, raw[c][1], raw[c][2] * sz}));
    const ColorantSet vonKries = ReadAll(MatrixProfileBytes(scaled));
    const ColorantSet expected{CCIEXYZ(41.24, 21.26, 1.93), CCIEXYZ(35.76, 71.52, 11.92),
                               CCIEXYZ(18.05, 7.22, 95.05), CCIEXYZ(95.05, 100.0, 108.90)};
    ExpectSameColorants(vonKries, expected, 0.01, "XYZ scaling chad");
    // The matrix follows: full drive is the white, red alone the red.
    CColorProfile p;
    ASSERT_TRUE(p.OpenFromMemory(MatrixProfileBytes(scaled), "k.icc"));
    CStdMatrix m;
    ASSERT_TRUE(p.GetRGBToXYZMatrix(m));
    const CStdVector full = m.MultiplyVector(CStdVector{65535.0, 65535.0, 65535.0});
    EXPECT_NEAR(full[0], 95.05, 0.01);
    EXPECT_NEAR(full[1], 100.0, 0.01);
    EXPECT_NEAR(full[2], 108.90, 0.01);
}

// The adaptation to the PCS undoes ReadColorants' own, whichever it was:
// it takes the media white to D50 and the media-relative matrix back to the
// stored colorants.
TEST_F(ColorProfileTest, MediaToPCSMatrixGivesBackTheStoredColorants)
{
    const char* tags[3] = {"rXYZ", "gXYZ", "bXYZ"};
    const struct
    {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"version 2, Bradford", MatrixProfileBytes()},
        {"LittleCMS version 4 with 'chad'", LcmsRGBBytes(cmsBuildGamma(nullptr, 2.2))},
    };
    for (const auto& c : cases)
    {
        CColorProfile p;
        ASSERT_TRUE(p.OpenFromMemory(c.bytes, "p.icc")) << c.name;
        CCIEXYZ red, green, blue, white;
        ASSERT_TRUE(p.ReadColorants(red, green, blue, white)) << c.name;
        CStdMatrix toPCS;
        ASSERT_TRUE(p.GetMediaToPCSMatrix(toPCS)) << c.name;
        const CStdVector pcsWhite = toPCS.MultiplyVector(white);
        EXPECT_NEAR(pcsWhite[0], 96.42, 0.01) << c.name;
        EXPECT_NEAR(pcsWhite[1], 100.0, 0.01) << c.name;
        EXPECT_NEAR(pcsWhite[2], 82.49, 0.01) << c.name;
        // The colorants as the profile stores them (on the scale Y = 100).
        const CCIEXYZ* media[3] = {&red, &green, &blue};
        for (int k = 0; k < 3; ++k)
        {
            const CStdVector back = toPCS.MultiplyVector(*media[k]);
            Bytes element;
            ASSERT_TRUE(p.GetTagElement(Sig(tags[k]), element));
            for (int i = 0; i < 3; ++i)
            {
                const std::int32_t v = static_cast<std::int32_t>(Get32(element, 8 + 4 * i));
                EXPECT_NEAR(back[i], v / 65536.0 * 100.0, 0.01) << c.name << " " << k << "," << i;
            }
        }
    }
}

// A 'chad' tag that cannot be used is passed by: the colorants are read as
// from a profile without one (Bradford from the media white tag).
TEST_F(ColorProfileTest, UnusableChromaticAdaptationTagIsPassedBy)
{
    const ColorantSet v2 = ReadAll(MatrixProfileBytes());
    const std::array<double, 9> identity = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    // Would halve X: noticeably different when used.
    const std::array<double, 9> halfX = {0.5, 0, 0, 0, 1, 0, 0, 0, 1};
    const struct
    {
        const char* name;
        Bytes chad;
    } cases[] = {
        {"one number short", Truncated(ChadElement(halfX), 40)},
        {"a number too many", ChadElement(halfX, Sig("sf32"), 4)},
        {"type is not sf32", ChadElement(halfX, Sig("XYZ "))},
        {"header only", Truncated(ChadElement(halfX), 8)},
        {"singular", ChadElement({1, 0, 0, 0, 1, 0, 0, 0, 0})},
        {"all zero", ChadElement({0, 0, 0, 0, 0, 0, 0, 0, 0})},
        {"white without light", ChadElement({1, 0, 0, 0, -1, 0, 0, 0, 1})},
    };
    for (const auto& c : cases)
    {
        const ColorantSet got = ReadAll(MatrixProfileBytes({{Sig("chad"), c.chad}}));
        ExpectSameColorants(got, v2, 0.0, c.name);
    }
    // The identity is a usable tag: the colorants stay as stored (D50), the
    // white is the PCS white.
    const ColorantSet same = ReadAll(MatrixProfileBytes({{Sig("chad"), ChadElement(identity)}}));
    EXPECT_NEAR(same.white[0], 96.42, 0.01);
    EXPECT_NEAR(same.white[2], 82.49, 0.01);
    const Colorants stored = TestColorants();
    EXPECT_NEAR(same.red[0], stored.red[0] * 100.0, 0.01);
    EXPECT_NEAR(same.blue[2], stored.blue[2] * 100.0, 0.01);
}

// LittleCMS writes version-4 profiles: media white D50 and a 'chad' tag.
// Its sRGB and ours give the same matrix to XYZ, whose white is D65.
TEST_F(ColorProfileTest, LittleCMSAndOwnSRGBGiveTheSameMatrix)
{
    CColorProfile lcms;
    ASSERT_TRUE(lcms.OpenFromMemory(LcmsSRGBBytes(), "lcms-srgb.icc"));
    Bytes chad;
    ASSERT_TRUE(lcms.GetTagElement(Sig("chad"), chad)); // what this test is about
    CColorProfile ours;
    ASSERT_TRUE(ours.OpenFromMemory(BuildSRGBProfileBytes(), "srgb.icc"));

    CStdMatrix a;
    CStdMatrix b;
    ASSERT_TRUE(lcms.GetRGBToXYZMatrix(a));
    ASSERT_TRUE(ours.GetRGBToXYZMatrix(b));
    const std::vector<double>& da = a.GetData();
    const std::vector<double>& db = b.GetData();
    ASSERT_EQ(da.size(), 9u);
    ASSERT_EQ(db.size(), 9u);
    for (std::size_t i = 0; i < 9; ++i)
        EXPECT_NEAR(da[i], db[i], 1e-3 * std::abs(db[i])) << "element " << i;

    for (const CStdMatrix* m : {&a, &b})
    {
        const CStdVector white = m->MultiplyVector(CStdVector{65535.0, 65535.0, 65535.0});
        EXPECT_NEAR(white[0], 95.04, 0.1);
        EXPECT_NEAR(white[1], 100.0, 0.1);
        EXPECT_NEAR(white[2], 108.88, 0.1);
    }
}

TEST_F(ColorProfileTest, BradfordAdaptationTakesTheWhiteToD50)
{
    CStdVector white{0.9505, 1.0, 1.0890};
    CStdVector a = white;
    CStdVector b{0.2, 0.3, 0.4};
    CStdVector c{0.0, 0.0, 0.0};
    BradfordAdapt(a, b, c, white);
    EXPECT_NEAR(a[0], 0.9642, 1e-9);
    EXPECT_NEAR(a[1], 1.0, 1e-9);
    EXPECT_NEAR(a[2], 0.8249, 1e-9);
    EXPECT_EQ(c, (CStdVector{0.0, 0.0, 0.0}));
    EXPECT_EQ(white, (CStdVector{0.9505, 1.0, 1.0890}));

    // From D50 itself nothing moves.
    CStdVector d50{0.9642, 1.0, 0.8249};
    CStdVector x{0.3, 0.5, 0.7};
    CStdVector y = x;
    CStdVector z = x;
    BradfordAdapt(x, y, z, d50);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(x[i], CStdVector({0.3, 0.5, 0.7})[i], 1e-12);

    CCIEXYZ xyz;
    const std::int32_t numbers[3] = {65536, 0x8000, -65536};
    XYZNumberToCIEXYZ(xyz, numbers);
    EXPECT_EQ(xyz, CCIEXYZ(100.0, 50.0, -100.0));
}

// ====================================================================== colour-space record

TEST_F(ColorProfileTest, LogColorSpaceRecord)
{
    CColorProfile p;
    ASSERT_TRUE(p.CreateInMemory());
    WriteMatrixProfile(p, "Monitor", 2.2);

    LogColorSpace lcs;
    ASSERT_TRUE(p.GetLogColorSpace(lcs, true));
    EXPECT_EQ(lcs.lcsSignature, 0x50534F43u); // 'PSOC'
    EXPECT_EQ(lcs.lcsVersion, 0x400u);
    EXPECT_EQ(lcs.lcsSize, 328u);
    EXPECT_EQ(lcs.lcsCSType, 0);
    EXPECT_EQ(lcs.lcsIntent, 4);
    EXPECT_EQ(lcs.lcsGammaRed, 0x10000u);
    EXPECT_EQ(lcs.lcsGammaGreen, 0x10000u);
    EXPECT_EQ(lcs.lcsGammaBlue, 0x10000u);
    EXPECT_EQ(lcs.lcsFilename[0], '\0');
    // Endpoints: the stored (D50-adapted) colorants over the white's Y, in
    // 2.30 fixed point.
    const Colorants c = TestColorants();
    EXPECT_NEAR(lcs.lcsEndpoints.ciexyzRed.ciexyzX / 1073741824.0, c.red[0], 1e-4);
    EXPECT_NEAR(lcs.lcsEndpoints.ciexyzGreen.ciexyzY / 1073741824.0, c.green[1], 1e-4);
    EXPECT_NEAR(lcs.lcsEndpoints.ciexyzBlue.ciexyzZ / 1073741824.0, c.blue[2], 1e-4);

    LogColorSpace gammas;
    ASSERT_TRUE(p.GetLogColorSpace(gammas, false));
    EXPECT_EQ(gammas.lcsGammaRed, 144128u); // 563 / 256 in 16.16
    EXPECT_EQ(gammas.lcsEndpoints.ciexyzRed.ciexyzX, lcs.lcsEndpoints.ciexyzRed.ciexyzX);

    EXPECT_TRUE(p.IsSameLogColorSpace(gammas));
    LogColorSpace other = gammas;
    other.lcsGammaBlue += 1;
    EXPECT_FALSE(p.IsSameLogColorSpace(other));
    other = gammas;
    other.lcsEndpoints.ciexyzGreen.ciexyzZ += 1;
    EXPECT_FALSE(p.IsSameLogColorSpace(other));
    EXPECT_FALSE(p.IsSameLogColorSpace(lcs)); // linear gammas differ

    CColorProfile closed;
    EXPECT_FALSE(closed.GetLogColorSpace(lcs, true));
    EXPECT_FALSE(closed.IsSameLogColorSpace(gammas));
}

TEST_F(ColorProfileTest, LogColorSpaceIntentAndFittedGamma)
{
    const std::pair<std::uint32_t, std::int32_t> intents[] = {{0, 4}, {1, 2}, {2, 1},
                                                              {3, 8}, {4, 4}, {0xFFFFFFFF, 4}};
    for (const auto& [headerIntent, expected] : intents)
    {
        Bytes bytes = BuildSRGBProfileBytes();
        Put32(bytes, 64, headerIntent);
        CColorProfile p;
        ASSERT_TRUE(p.OpenFromMemory(bytes, "srgb"));
        LogColorSpace lcs;
        ASSERT_TRUE(p.GetLogColorSpace(lcs, false)) << headerIntent;
        EXPECT_EQ(lcs.lcsIntent, expected) << headerIntent;
        // The sampled sRGB curve is fitted best by a power of about 2.2.
        EXPECT_NEAR(lcs.lcsGammaGreen / 65536.0, 2.2, 1e-4);
    }
}

// ====================================================================== opening

TEST_F(ColorProfileTest, MalformedProfilesAreRefused)
{
    const Bytes good = MatrixProfileBytes();
    ASSERT_GE(good.size(), 200u);
    const auto mutated = [&](const std::function<void(Bytes&)>& change) {
        Bytes b = good;
        change(b);
        return b;
    };
    const struct
    {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"empty", Bytes{}},
        {"header only", Bytes(good.begin(), good.begin() + 128)},
        {"truncated in the tag data", Bytes(good.begin(), good.begin() + good.size() / 2)},
        {"size field below the table", mutated([](Bytes& b) { Put32(b, 0, 131); })},
        {"size field beyond the data", mutated([](Bytes& b) { Put32(b, 0, Get32(b, 0) + 4); })},
        {"no acsp signature", mutated([](Bytes& b) { Put32(b, 36, Sig("abcd")); })},
        {"tag count huge", mutated([](Bytes& b) { Put32(b, 128, 0xFFFFFFFF); })},
        {"tag count beyond the data",
         mutated([](Bytes& b) { Put32(b, 128, (Get32(b, 0) - 132) / 12 + 1); })},
        {"tag offset at the end", mutated([](Bytes& b) { Put32(b, 132 + 4, Get32(b, 0)); })},
        {"tag size one too many",
         mutated([](Bytes& b) { Put32(b, 132 + 8, Get32(b, 0) - Get32(b, 132 + 4) + 1); })},
        {"tag offset and size wrap around", mutated([](Bytes& b) {
             Put32(b, 132 + 4, 0xFFFFFFF0);
             Put32(b, 132 + 8, 0x20);
         })},
        {"tag inside the header", mutated([](Bytes& b) { Put32(b, 132 + 4, 16); })},
    };
    for (const auto& c : cases)
    {
        CColorProfile p;
        EXPECT_FALSE(p.OpenFromMemory(c.bytes, "bad.icc")) << c.name;
        EXPECT_FALSE(p.IsOpen()) << c.name;
        EXPECT_EQ(p.GetName(), "") << c.name;
        WriteBytes(m_dir.File("bad.icc"), c.bytes);
        EXPECT_FALSE(p.Open(m_dir.File("bad.icc"))) << c.name;
    }
}

TEST_F(ColorProfileTest, BytesBeyondTheSizeFieldAreNotPartOfTheProfile)
{
    const Bytes good = BuildSRGBProfileBytes();
    Bytes padded = good;
    padded.insert(padded.end(), 64, 0xEE);
    CColorProfile p;
    ASSERT_TRUE(p.OpenFromMemory(padded, "padded"));
    Bytes back;
    ASSERT_TRUE(p.GetProfileBytes(back));
    EXPECT_EQ(back, good);
}

TEST_F(ColorProfileTest, EngineSwitchDecidesWhichProfilesOpen)
{
    Bytes printer = MatrixProfileBytes();
    Put32(printer, 12, Sig("prtr"));
    Bytes cmyk = MatrixProfileBytes();
    Put32(cmyk, 16, Sig("CMYK"));
    Bytes noCurves = MatrixProfileBytes({{Sig("gTRC"), Bytes{}}});
    const struct
    {
        const char* name;
        Bytes bytes;
        bool opensWithOwnPath;
    } cases[] = {
        {"Lab profile", LcmsLabBytes(), false},
        {"printer-class RGB profile", printer, false},
        {"CMYK data", cmyk, false},
        {"without a curve", noCurves, false},
        {"scanner-class matrix profile",
         [] {
             Bytes b = MatrixProfileBytes();
             Put32(b, 12, Sig("scnr"));
             return b;
         }(),
         true},
        {"colour-space-class matrix profile",
         [] {
             Bytes b = MatrixProfileBytes();
             Put32(b, 12, Sig("spac"));
             return b;
         }(),
         true},
        {"LittleCMS sRGB", LcmsSRGBBytes(), true},
    };
    for (const auto& c : cases)
    {
        WriteBytes(m_dir.File("p.icc"), c.bytes);
        for (const int engine : {1, 0})
        {
            UseOsCmm = engine;
            const bool expected = engine == 1 || c.opensWithOwnPath;
            CColorProfile fromFile;
            EXPECT_EQ(fromFile.Open(m_dir.File("p.icc")), expected)
                << c.name << " engine " << engine;
            EXPECT_EQ(fromFile.IsOpen(), expected) << c.name;
            EXPECT_EQ(fromFile.GetName(), expected ? m_dir.File("p.icc") : "") << c.name;
            CColorProfile fromMemory;
            EXPECT_EQ(fromMemory.OpenFromMemory(c.bytes, "mem"), expected) << c.name;
            // Device profiles open whatever the engine: only LittleCMS
            // converts to them.
            CColorProfile device;
            EXPECT_TRUE(device.OpenDeviceProfile(m_dir.File("p.icc"))) << c.name;
            EXPECT_TRUE(device.IsOpen()) << c.name;
        }
    }
    CColorProfile missing;
    EXPECT_FALSE(missing.OpenDeviceProfile(m_dir.File("missing.icc")));
    EXPECT_FALSE(missing.IsOpen());
}

TEST_F(ColorProfileTest, OpenOfAMissingFileFailsAndCloses)
{
    CColorProfile p;
    ASSERT_TRUE(p.OpenFromMemory(BuildSRGBProfileBytes(), "srgb"));
    EXPECT_FALSE(p.Open(m_dir.File("missing.icc")));
    EXPECT_FALSE(p.IsOpen());
    EXPECT_EQ(p.GetName(), "");
    std::uint32_t value = 0;
    EXPECT_FALSE(p.GetDataColorSpace(value));
    EXPECT_FALSE(p.GetDeviceClass(value));
    Bytes bytes;
    EXPECT_FALSE(p.GetProfileBytes(bytes));
    EXPECT_TRUE(p.OpenLcmsProfile() == nullptr);
    std::string text;
    EXPECT_FALSE(p.GetDescription(text));
    EXPECT_EQ(text, "");
}

TEST_F(ColorProfileTest, BareNamesResolveInTheColorDirectory)
{
    std::string folder;
    ASSERT_TRUE(GetColorDirectory(folder));
    EXPECT_EQ(folder, ColorDir());
    WriteBytes(folder + "Bare.icc", LcmsSRGBBytes());

    CColorProfile p;
    ASSERT_TRUE(p.Open("Bare.icc"));
    EXPECT_EQ(p.GetName(), "Bare.icc");
    std::string text;
    EXPECT_TRUE(GetProfileDescriptionFromFile(text, "Bare.icc"));
    EXPECT_EQ(text, "sRGB built-in");

    // The sRGB profile is always there by its bare name.
    ASSERT_TRUE(p.Open(GetSRGBProfileFileName()));
    EXPECT_TRUE(p.GetDescription(text));
    EXPECT_EQ(text, GetSRGBProfileDescription());

    // A relative path with a folder is not a bare name.
    EXPECT_FALSE(p.Open("icc/Bare.icc"));

    ASSERT_TRUE(p.CreateNew("Created.icc"));
    EXPECT_TRUE(std::filesystem::exists(folder + "Created.icc"));
}

TEST_F(ColorProfileTest, ProfileEmbeddedInAnImageFileOpensUnderTheImagesName)
{
    CImageEx image;
    ASSERT_TRUE(image.Create(8, 8));
    const Bytes profile = LcmsSRGBBytes();
    const std::string withProfile = m_dir.File("photo.JPG");
    const std::string withoutProfile = m_dir.File("plain.tif");
    ASSERT_TRUE(SaveImageFile(profile, kImageFileJpeg, image, withProfile, 72.0f, 72.0f, 4));
    ASSERT_TRUE(SaveImageFile({}, kImageFileTiff8, image, withoutProfile, 72.0f, 72.0f, 0));

    CColorProfile p;
    ASSERT_TRUE(p.Open(withProfile));
    EXPECT_EQ(p.GetName(), withProfile);
    Bytes bytes;
    ASSERT_TRUE(p.GetProfileBytes(bytes));
    EXPECT_EQ(bytes, profile);
    std::string text;
    EXPECT_TRUE(p.GetDescription(text));
    EXPECT_EQ(text, "sRGB built-in");

    EXPECT_FALSE(p.Open(withoutProfile));
    EXPECT_FALSE(p.IsOpen());

    // An embedded profile obeys the engine switch too.
    const std::string withLab = m_dir.File("lab.jpeg");
    ASSERT_TRUE(SaveImageFile(LcmsLabBytes(), kImageFileJpeg, image, withLab, 72.0f, 72.0f, 4));
    UseOsCmm = 0;
    EXPECT_FALSE(p.Open(withLab));
    UseOsCmm = 1;
    EXPECT_TRUE(p.Open(withLab));
}

// ====================================================================== copies and files

TEST_F(ColorProfileTest, CopiesOwnTheSourcesBytes)
{
    CColorProfile source;
    ASSERT_TRUE(source.OpenFromMemory(BuildSRGBProfileBytes(), "/a/srgb.icm"));
    CColorProfile copy(source);
    EXPECT_EQ(copy.GetName(), "/a/srgb.icm");
    Bytes a, b;
    ASSERT_TRUE(source.GetProfileBytes(a));
    ASSERT_TRUE(copy.GetProfileBytes(b));
    EXPECT_EQ(a, b);

    source.Close();
    std::string text;
    EXPECT_TRUE(copy.GetDescription(text)); // independent of the source
    copy = copy;                            // self-assignment changes nothing
    EXPECT_TRUE(copy.IsOpen());
    copy = source; // a closed source leaves the target closed
    EXPECT_FALSE(copy.IsOpen());
    EXPECT_EQ(copy.GetName(), "");

    // A writable source gives a read-only copy of its serialisation.
    CColorProfile writable;
    ASSERT_TRUE(writable.CreateInMemory("made"));
    WriteMatrixProfile(writable);
    copy = writable;
    EXPECT_TRUE(copy.IsOpen());
    EXPECT_FALSE(copy.IsWritable());
    EXPECT_EQ(copy.GetName(), "made");
    EXPECT_TRUE(copy.GetDescription(text));
    EXPECT_EQ(text, "Test Monitor");

    CColorProfile moved(std::move(copy));
    EXPECT_FALSE(copy.IsOpen());
    EXPECT_EQ(moved.GetName(), "made");
}

TEST_F(ColorProfileTest, CreatedProfileFileIsWrittenWhenCreatedSavedAndClosed)
{
    const std::string path = m_dir.File("ModelX_6500K_22.icm");
    {
        CColorProfile p;
        ASSERT_TRUE(p.CreateNew(path));
        EXPECT_EQ(p.GetName(), path);
        EXPECT_TRUE(p.IsWritable());
        // Created at once, as an empty profile.
        EXPECT_EQ(std::filesystem::file_size(path), 132u);
        WriteMatrixProfile(p, "ModelX 6500K 2.2 Profile");
        EXPECT_EQ(std::filesystem::file_size(path), 132u);
    } // the destructor completes the file

    CColorProfile back;
    ASSERT_TRUE(back.Open(path));
    std::string text;
    EXPECT_TRUE(back.GetDescription(text));
    EXPECT_EQ(text, "ModelX 6500K 2.2 Profile");
    EXPECT_TRUE(back.IsRGBMatrixProfile());

    CColorProfile p;
    ASSERT_TRUE(p.CreateNew(path)); // replaces the file
    EXPECT_EQ(std::filesystem::file_size(path), 132u);
    ASSERT_TRUE(p.SetCopyrightTag("x"));
    ASSERT_TRUE(p.Save());
    const auto saved = std::filesystem::file_size(path);
    EXPECT_GT(saved, 132u);
    p = back; // reassignment closes (and completes) the created profile first
    EXPECT_EQ(std::filesystem::file_size(path), saved);
    EXPECT_FALSE(p.IsWritable());

    CColorProfile nowhere;
    EXPECT_FALSE(nowhere.CreateNew(m_dir.File("no/such/folder/x.icc")));
    EXPECT_FALSE(nowhere.IsOpen());
    CColorProfile memory;
    ASSERT_TRUE(memory.CreateInMemory());
    EXPECT_FALSE(memory.Save());
    EXPECT_TRUE(memory.Close());
}

TEST_F(ColorProfileTest, LittleCMSHandlesServeTwoThreads)
{
    CColorProfile p;
    ASSERT_TRUE(p.OpenFromMemory(BuildSRGBProfileBytes(), "srgb"));
    bool ok[2] = {false, false};
    const auto work = [&](int index) {
        bool good = true;
        for (int i = 0; i < 20 && good; ++i)
        {
            LcmsProfilePtr in = p.OpenLcmsProfile();
            LcmsProfilePtr out(cmsCreate_sRGBProfile());
            cmsHTRANSFORM t = cmsCreateTransform(in.get(), TYPE_RGB_16, out.get(), TYPE_RGB_16,
                                                 INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE);
            good = t != nullptr;
            if (t)
                cmsDeleteTransform(t);
        }
        ok[index] = good;
    };
    std::thread a(work, 0);
    std::thread b(work, 1);
    a.join();
    b.join();
    EXPECT_TRUE(ok[0]);
    EXPECT_TRUE(ok[1]);
}

// ====================================================================== monitor profile

TEST_F(ColorProfileTest, FreshSetupGetsSRGBAndAMonitorProfile)
{
    EXPECT_FALSE(std::filesystem::exists(ColorDir()));
    EXPECT_EQ(GetMonitorProfile(), nullptr);
    ASSERT_TRUE(InitMonitorProfile());
    ASSERT_NE(GetMonitorProfile(), nullptr);
    EXPECT_EQ(GetMonitorProfile()->GetName(), "sRGB Color Space Profile.icm");
    EXPECT_TRUE(std::filesystem::exists(ColorDir() + "sRGB Color Space Profile.icm"));

    // With the program's own engine too: our sRGB is a matrix profile.
    UseOsCmm = 0;
    ASSERT_TRUE(InitMonitorProfile());
    std::string text;
    EXPECT_TRUE(GetMonitorProfile()->GetDescription(text));
    EXPECT_EQ(text, "sRGB IEC61966-2.1");

    // A file of the sRGB name that is already there is left alone.
    WriteBytes(ColorDir() + "sRGB Color Space Profile.icm", LcmsSRGBBytes());
    ASSERT_TRUE(EnsureSRGBProfileInstalled());
    ASSERT_TRUE(InitMonitorProfile());
    EXPECT_TRUE(GetMonitorProfile()->GetDescription(text));
    EXPECT_EQ(text, "sRGB built-in");
}

TEST_F(ColorProfileTest, MonitorProfileComesFromTheDisplaysAssociation)
{
    std::string folder;
    ASSERT_TRUE(GetColorDirectory(folder));
    WriteBytes(folder + "Monitor.icc", MatrixProfileBytes());
    WriteBytes(folder + "Model.gmmp", MatrixProfileBytes());
    WriteBytes(folder + "Model.GMMP", MatrixProfileBytes());
    WriteBytes(folder + "Lab.icc", LcmsLabBytes());

    const struct
    {
        const char* associated;
        int engine;
        bool loads;
    } cases[] = {
        {"Monitor.icc", 0, true},  {"Model.gmmp", 1, false}, {"Model.GMMP", 1, true},
        {"Missing.icc", 1, false}, {"Lab.icc", 1, true},     {"Lab.icc", 0, false},
    };
    for (const auto& c : cases)
    {
        ASSERT_TRUE(platform::AssociateDisplayProfile("", c.associated));
        UseOsCmm = c.engine;
        EXPECT_EQ(InitMonitorProfile(), c.loads) << c.associated << " engine " << c.engine;
        if (c.loads)
        {
            ASSERT_NE(GetMonitorProfile(), nullptr);
            EXPECT_EQ(GetMonitorProfile()->GetName(), c.associated);
        }
        else
        {
            EXPECT_EQ(GetMonitorProfile(), nullptr) << c.associated;
        }
        ASSERT_TRUE(platform::DisassociateDisplayProfile("", c.associated));
    }

    // Another display's association is its own.
    ASSERT_TRUE(platform::AssociateDisplayProfile("MONITOR\\ABC1234\\card0-DP-1", "Monitor.icc"));
    ASSERT_TRUE(InitMonitorProfile());
    EXPECT_EQ(GetMonitorProfile()->GetName(), "sRGB Color Space Profile.icm");
    ASSERT_TRUE(InitMonitorProfile("MONITOR\\ABC1234\\card0-DP-1"));
    EXPECT_EQ(GetMonitorProfile()->GetName(), "Monitor.icc");

    FreeMonitorProfile();
    EXPECT_FALSE(LoadMonitorProfile()); // needs the object InitMonitorProfile makes
}

TEST_F(ColorProfileTest, MonitorProfileFromTheGuiHook)
{
    static std::string s_path;
    s_path = m_dir.File("from-x11.icc");
    WriteBytes(s_path, LcmsSRGBBytes());
    platform::SetDisplayProfileHook([](const std::string&) { return s_path; });
    ASSERT_TRUE(InitMonitorProfile());
    EXPECT_EQ(GetMonitorProfile()->GetName(), s_path);
}

TEST_F(ColorProfileTest, SetMonitorProfileReplacesOrRefuses)
{
    ASSERT_TRUE(InitMonitorProfile());
    CColorProfile* before = GetMonitorProfile();
    ASSERT_NE(before, nullptr);

    WriteBytes(m_dir.File("model.camp"), MatrixProfileBytes());
    EXPECT_FALSE(SetMonitorProfile(m_dir.File("model.camp")));
    EXPECT_EQ(GetMonitorProfile(), before);
    EXPECT_EQ(before->GetName(), "sRGB Color Space Profile.icm");

    WriteBytes(m_dir.File("new.icc"), MatrixProfileBytes());
    EXPECT_TRUE(SetMonitorProfile(m_dir.File("new.icc")));
    ASSERT_NE(GetMonitorProfile(), nullptr);
    EXPECT_EQ(GetMonitorProfile()->GetName(), m_dir.File("new.icc"));

    EXPECT_FALSE(SetMonitorProfile(m_dir.File("missing.icc")));
    EXPECT_EQ(GetMonitorProfile(), nullptr);
}

// ====================================================================== installed profiles

TEST_F(ColorProfileTest, EmptyColorDirectoryStillListsSRGB)
{
    std::vector<std::pair<std::string, std::string>> list{{"stale", "entry"}};
    EnumInstalledProfiles(list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].first, "sRGB Color Space Profile.icm");
    EXPECT_EQ(list[0].second, "sRGB IEC61966-2.1");
    EXPECT_EQ(FindProfileByDescription("sRGB IEC61966-2.1"), "sRGB Color Space Profile.icm");
}

TEST_F(ColorProfileTest, InstalledProfilesAreTheRGBProfilesWithADescription)
{
    std::string folder;
    ASSERT_TRUE(GetColorDirectory(folder));
    Bytes printer = MatrixProfileBytes();
    Put32(printer, 12, Sig("prtr"));
    WriteBytes(folder + "a-lcms.icc", LcmsSRGBBytes());
    WriteBytes(folder + "b-lab.icc", LcmsLabBytes());
    testsupport::WriteTextFile(folder + "c-junk.icc", "junk");
    WriteBytes(folder + "d-nodesc.icc", MatrixProfileBytes({{Sig("desc"), Bytes{}}}));
    WriteBytes(folder + "e-printer.icc", printer);
    WriteBytes(folder + ".hidden.icc", LcmsSRGBBytes());
    std::filesystem::create_directory(folder + "f-folder.icc");

    std::vector<std::pair<std::string, std::string>> list;
    EnumInstalledProfiles(list);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"a-lcms.icc", "sRGB built-in"},
        {"e-printer.icc", "Test Monitor"},
        {"sRGB Color Space Profile.icm", "sRGB IEC61966-2.1"},
    };
    EXPECT_EQ(list, expected);
    EXPECT_EQ(FindProfileByDescription("sRGB built-in"), "a-lcms.icc");
    EXPECT_EQ(FindProfileByDescription("srgb built-in"), "");

    // The program's own engine takes only matrix profiles of its classes.
    UseOsCmm = 0;
    EnumInstalledProfiles(list);
    const std::vector<std::pair<std::string, std::string>> matrixOnly = {
        {"a-lcms.icc", "sRGB built-in"},
        {"sRGB Color Space Profile.icm", "sRGB IEC61966-2.1"},
    };
    EXPECT_EQ(list, matrixOnly);
}

} // namespace
