#include "agent/IccProfileBuilder.h"

#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using testsupport::ReadTextFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteTextFile;

// sRGB (IEC 61966-2-1) primaries and its D65 white as chromaticities x, y
// with Y = 1.
IccXyz FromXy(double x, double y)
{
    return {x / y, 1.0, (1.0 - x - y) / y};
}
const IccXyz kSrgbRed = FromXy(0.64, 0.33);
const IccXyz kSrgbGreen = FromXy(0.30, 0.60);
const IccXyz kSrgbBlue = FromXy(0.15, 0.06);
const IccXyz kD65 = FromXy(0.3127, 0.3290);

std::uint32_t Big32(const std::string& bytes, std::size_t at)
{
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3]));
}

std::uint16_t Big16(const std::string& bytes, std::size_t at)
{
    return static_cast<std::uint16_t>((static_cast<unsigned char>(bytes[at]) << 8) |
                                      static_cast<unsigned char>(bytes[at + 1]));
}

void PutBig32(std::string& bytes, std::size_t at, std::uint32_t value)
{
    bytes[at] = static_cast<char>(value >> 24);
    bytes[at + 1] = static_cast<char>(value >> 16);
    bytes[at + 2] = static_cast<char>(value >> 8);
    bytes[at + 3] = static_cast<char>(value);
}

std::string Sig(std::uint32_t signature)
{
    std::string text(4, ' ');
    PutBig32(text, 0, signature);
    return text;
}

// ArgyllCMS's iccdump on the PATH; empty when it is not installed.
std::string FindIccdump()
{
    const char* pathList = std::getenv("PATH");
    const std::string paths = pathList ? pathList : "";
    std::size_t start = 0;
    while (start <= paths.size())
    {
        std::size_t end = paths.find(':', start);
        if (end == std::string::npos)
            end = paths.size();
        const std::string candidate = paths.substr(start, end - start) + "/iccdump";
        if (end > start && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::string();
}

// iccdump -v3 of a profile: what it prints, and its exit status.
std::string RunIccdump(const std::string& iccdump, const std::string& path, int& status)
{
    const std::string command = "'" + iccdump + "' -v3 '" + path + "' 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return "popen failed";
    std::string output;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, got);
    status = ::pclose(pipe);
    return output;
}

bool FileExists(const std::string& path)
{
    struct stat st = {};
    return ::stat(path.c_str(), &st) == 0;
}

// Every test gets its own colour directory and agent folder.
class IccProfileBuilderTest : public ::testing::Test
{
protected:
    TempDir m_dir;
    ScopedEnv m_data{"XDG_DATA_HOME", m_dir.Path() + "data"};
    ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir.Path() + "config"};

    // A builder with sRGB primaries, D65 white and gamma 2.2.
    static void FillSrgb(CIccProfileBuilder& builder, double gamma = 2.2)
    {
        ASSERT_TRUE(builder.SetPrimaries(kSrgbRed, kSrgbGreen, kSrgbBlue, kD65));
        ASSERT_TRUE(builder.SetGamma(gamma));
    }

    // Saves a complete sRGB-like profile and returns its path.
    std::string SaveSrgbProfile(const std::string& description = "Hello",
                                const std::string& notice = "ABC")
    {
        CIccProfileBuilder builder;
        FillSrgb(builder);
        builder.SetDescription(description);
        builder.SetNotice(notice);
        EXPECT_TRUE(builder.BuildTags());
        const std::string path = m_dir.File("srgb.icm");
        EXPECT_TRUE(builder.Save(path));
        return path;
    }
};

TEST(IccFixedPoint, EncodesTruncatingTowardsZeroAndClamps)
{
    struct Case
    {
        double value;
        std::uint32_t encoded;
    };
    const Case cases[] = {
        {0.0, 0x00000000u},
        {1.0, 0x00010000u},
        {-0.5, 0xFFFF8000u},
        {0.9642, 0x0000F6D5u}, // 63189.6 truncated, not rounded
        {-0.3, 0xFFFFB334u},   // -19660.8 truncated towards zero
        {1.0 / 65536.0 * 0.999, 0x00000000u},
        {32767.5, 0x7FFF8000u},
        {1.0e9, 0x7FFFFFFFu}, // beyond the range: clamped
        {-1.0e9, 0x80000000u},
        {std::nan(""), 0x00000000u},
        {HUGE_VAL, 0x7FFFFFFFu},
    };
    for (const Case& c : cases)
        EXPECT_EQ(static_cast<std::uint32_t>(ToS15Fixed16(c.value)), c.encoded) << c.value;

    EXPECT_EQ(FromS15Fixed16(0xFFFF8000u), -0.5);
    EXPECT_EQ(FromS15Fixed16(0x00010000u), 1.0);
    EXPECT_EQ(FromS15Fixed16(0x80000000u), -32768.0);
    for (double v : {0.4361, -1.25, 2.0, 0.0139})
        EXPECT_NEAR(FromS15Fixed16(static_cast<std::uint32_t>(ToS15Fixed16(v))), v, 1.0 / 65536.0);
}

TEST(IccFixedPoint, XyzToXyGivesChromaticityAndPassesYOn)
{
    const IccXyz xy = XyzToXy(0.9642, 1.0, 0.8249);
    EXPECT_NEAR(xy.X, 0.3457, 1e-4);
    EXPECT_NEAR(xy.Y, 0.3585, 1e-4);
    EXPECT_EQ(xy.Z, 1.0);
}

TEST_F(IccProfileBuilderTest, GammaCurvesSampleDriveValuesOver255)
{
    CIccProfileBuilder builder;
    ASSERT_TRUE(builder.SetGamma(2.2));
    const IccCurve& curve = builder.Curve();
    EXPECT_EQ(curve[0], 0);
    EXPECT_EQ(curve[1], 0);
    EXPECT_EQ(curve[2], 1);
    EXPECT_EQ(curve[128], static_cast<std::uint16_t>(65535.0 * std::pow(128.0 / 255.0, 2.2)));
    EXPECT_EQ(curve[255], 65535);
    for (int i = 1; i < kIccCurveSize; ++i)
        EXPECT_LE(curve[i - 1], curve[i]) << i;

    // Gamma 1 is the identity on 0..255 (257 per step), so a drive value
    // of i really is i / 255 of full scale.
    ASSERT_TRUE(builder.SetGamma(1.0));
    for (int i = 0; i < kIccCurveSize; ++i)
        ASSERT_EQ(builder.Curve()[i], 257 * i) << i;
}

TEST_F(IccProfileBuilderTest, RefusesGammaThatIsNotAPositiveNumber)
{
    CIccProfileBuilder builder;
    ASSERT_TRUE(builder.SetGamma(1.8));
    const IccCurve before = builder.Curve();
    for (double gamma : {0.0, -1.0, -2.2, std::nan(""), HUGE_VAL})
    {
        EXPECT_FALSE(builder.SetGamma(gamma)) << gamma;
        EXPECT_EQ(builder.Gamma(), 1.8);
        EXPECT_EQ(builder.Curve(), before);
    }
}

TEST_F(IccProfileBuilderTest, RefusesPrimariesThatAreNotFinite)
{
    CIccProfileBuilder builder;
    EXPECT_FALSE(builder.SetPrimaries({std::nan(""), 1, 1}, kSrgbGreen, kSrgbBlue, kD65));
    EXPECT_FALSE(builder.SetPrimaries(kSrgbRed, kSrgbGreen, kSrgbBlue, {1, HUGE_VAL, 1}));
    ASSERT_TRUE(builder.SetGamma(2.2));
    IccCompareRecord record;
    EXPECT_FALSE(builder.Export(record));
}

// Published D50-adapted (Bradford) sRGB colorants, as in the ICC's sRGB
// profiles: red 0.4361 0.2225 0.0139, green 0.3851 0.7169 0.0971, blue
// 0.1431 0.0606 0.7141. Our inverse Bradford matrix has four decimals, so
// agreement is to a few 1e-4.
TEST(IccColorants, SrgbWithD65WhiteGivesTheD50AdaptedSrgbColorants)
{
    std::array<IccXyz, 3> c;
    ASSERT_TRUE(CalcAdaptedColorants(kSrgbRed, kSrgbGreen, kSrgbBlue, kD65, c));
    const double expected[3][3] = {
        {0.4361, 0.2225, 0.0139}, {0.3851, 0.7169, 0.0971}, {0.1431, 0.0606, 0.7141}};
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_NEAR(c[i].X, expected[i][0], 6e-4) << i;
        EXPECT_NEAR(c[i].Y, expected[i][1], 6e-4) << i;
        EXPECT_NEAR(c[i].Z, expected[i][2], 6e-4) << i;
    }
    // RGB = (1, 1, 1) is the white, carried to D50.
    EXPECT_NEAR(c[0].X + c[1].X + c[2].X, 0.964188, 3e-4);
    EXPECT_NEAR(c[0].Y + c[1].Y + c[2].Y, 1.0, 3e-4);
    EXPECT_NEAR(c[0].Z + c[1].Z + c[2].Z, 0.82489, 3e-4);

    // The scale of the inputs does not matter: only chromaticities enter.
    std::array<IccXyz, 3> scaled;
    const auto times = [](IccXyz v, double k) { return IccXyz{v.X * k, v.Y * k, v.Z * k}; };
    ASSERT_TRUE(CalcAdaptedColorants(times(kSrgbRed, 0.2), times(kSrgbGreen, 0.7),
                                     times(kSrgbBlue, 0.1), times(kD65, 200.0), scaled));
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(scaled[i].Y, c[i].Y, 1e-12);

    IccCompareRecord record;
    record.red = kSrgbRed;
    record.green = kSrgbGreen;
    record.blue = kSrgbBlue;
    record.white = kD65;
    ASSERT_TRUE(AdaptPrimaries(record));
    EXPECT_EQ(record.red.X, c[0].X);
    EXPECT_EQ(record.blue.Z, c[2].Z);
    EXPECT_EQ(record.white.X, kD65.X);
}

TEST(IccColorants, FailsWithoutAUsableMatrix)
{
    struct Case
    {
        const char* what;
        IccXyz red, green, blue, white;
    };
    const Case cases[] = {
        // Blue's chromaticity has z = 0 like the others: P has a zero row.
        {"singular", {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, kD65},
        {"two equal primaries", kSrgbRed, kSrgbRed, kSrgbBlue, kD65},
        {"black white", kSrgbRed, kSrgbGreen, kSrgbBlue, {0, 0, 0}},
        {"primary summing to zero", {1, -1, 0}, kSrgbGreen, kSrgbBlue, kD65},
        {"not finite", kSrgbRed, kSrgbGreen, kSrgbBlue, {std::nan(""), 1, 1}},
    };
    for (const Case& c : cases)
    {
        std::array<IccXyz, 3> colorants;
        EXPECT_FALSE(CalcAdaptedColorants(c.red, c.green, c.blue, c.white, colorants)) << c.what;
    }
}

TEST_F(IccProfileBuilderTest, BuildTagsNeedsEverySettingAndUsableValues)
{
    {
        CIccProfileBuilder builder;
        ASSERT_TRUE(builder.SetGamma(2.2));
        EXPECT_FALSE(builder.BuildTags()) << "primaries unset";
        EXPECT_TRUE(builder.Tags().empty());
    }
    {
        CIccProfileBuilder builder;
        ASSERT_TRUE(builder.SetPrimaries(kSrgbRed, kSrgbGreen, kSrgbBlue, kD65));
        EXPECT_FALSE(builder.BuildTags()) << "gamma unset";
        EXPECT_TRUE(builder.Tags().empty());
    }
    {
        // A white with Y = 0 has no white point X / Y, Z / Y.
        CIccProfileBuilder builder;
        ASSERT_TRUE(builder.SetPrimaries(kSrgbRed, kSrgbGreen, kSrgbBlue, {0.5, 0.0, 0.5}));
        ASSERT_TRUE(builder.SetGamma(2.2));
        EXPECT_FALSE(builder.BuildTags());
        EXPECT_TRUE(builder.Tags().empty());
    }
    {
        // Primaries almost on one line: colorants far beyond s15Fixed16.
        CIccProfileBuilder builder;
        ASSERT_TRUE(builder.SetPrimaries(FromXy(0.6, 0.3), FromXy(0.4, 0.4),
                                         FromXy(0.2, 0.5 + 1e-12), kD65));
        ASSERT_TRUE(builder.SetGamma(2.2));
        EXPECT_FALSE(builder.BuildTags());
    }
}

TEST_F(IccProfileBuilderTest, ExportGivesSourceValuesAndCurvesOnlyWhenComplete)
{
    CIccProfileBuilder builder;
    IccCompareRecord record;
    EXPECT_FALSE(builder.Export(record));
    ASSERT_TRUE(builder.SetPrimaries(kSrgbRed, kSrgbGreen, kSrgbBlue, kD65));
    EXPECT_FALSE(builder.Export(record)) << "gamma unset";
    ASSERT_TRUE(builder.SetGamma(2.2));
    ASSERT_TRUE(builder.Export(record));
    EXPECT_EQ(record.red.X, kSrgbRed.X);
    EXPECT_EQ(record.green.Z, kSrgbGreen.Z);
    EXPECT_EQ(record.white.Z, kD65.Z);
    for (const IccCurve& curve : record.curves)
        EXPECT_EQ(curve, builder.Curve());
}

TEST_F(IccProfileBuilderTest, SetTagReplacesTheTagOfTheSameSignature)
{
    CIccProfileBuilder builder;
    const std::uint8_t a[] = {1, 2, 3, 4};
    const std::uint8_t b[] = {5, 6};
    const std::uint8_t c[] = {7, 8, 9};
    builder.SetTag(IccSignature("aaaa"), a);
    builder.SetTag(IccSignature("bbbb"), b);
    builder.SetTag(IccSignature("aaaa"), c);
    ASSERT_EQ(builder.Tags().size(), 2u);
    EXPECT_EQ(builder.Tags()[0].signature, IccSignature("bbbb"));
    EXPECT_EQ(builder.Tags()[1].signature, IccSignature("aaaa"));
    EXPECT_EQ(builder.Tags()[1].size, 3u);
    EXPECT_EQ(builder.Tags()[1].data, std::vector<std::uint8_t>(std::begin(c), std::end(c)));
}

TEST_F(IccProfileBuilderTest, StampHeaderWritesTheFixedFieldsAndTheLocalTime)
{
    CIccProfileBuilder builder;
    std::tm when{};
    when.tm_year = 2007 - 1900;
    when.tm_mon = 2;
    when.tm_mday = 5;
    when.tm_hour = 14;
    when.tm_min = 7;
    when.tm_sec = 9;
    builder.StampHeader(&when);
    const std::string h(builder.Header().begin(), builder.Header().end());
    EXPECT_EQ(Big32(h, 0), 0u);
    EXPECT_EQ(h.substr(4, 4), "appl");
    EXPECT_EQ(Big32(h, 8), 0x02000000u);
    EXPECT_EQ(h.substr(12, 4), "mntr");
    EXPECT_EQ(h.substr(16, 4), "RGB ");
    EXPECT_EQ(h.substr(20, 4), "XYZ ");
    const std::uint16_t date[6] = {2007, 3, 5, 14, 7, 9};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(Big16(h, 24 + 2 * i), date[i]) << i;
    EXPECT_EQ(h.substr(36, 4), "acsp");
    EXPECT_EQ(h.substr(40, 4), "MSFT");
    EXPECT_EQ(Big32(h, 44), 0u);
    EXPECT_EQ(h.substr(48, 4), "NONE");
    EXPECT_EQ(h.substr(52, 16), std::string(16, '\0'));
    // D50 as the ICC encodes the connection space's illuminant.
    EXPECT_EQ(Big32(h, 68), 0x0000F6D6u);
    EXPECT_EQ(Big32(h, 72), 0x00010000u);
    EXPECT_EQ(Big32(h, 76), 0x0000D32Du);
    EXPECT_EQ(h.substr(80), std::string(48, '\0'));

    builder.StampHeader(nullptr);
    const std::string unknown(builder.Header().begin(), builder.Header().end());
    const std::uint16_t noDate[6] = {0, 0, 0, 0xFFFF, 0xFFFF, 0xFFFF};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(Big16(unknown, 24 + 2 * i), noDate[i]) << i;

    // Without a given time the year is this one's.
    builder.StampHeader();
    const std::string now(builder.Header().begin(), builder.Header().end());
    EXPECT_GE(Big16(now, 24), 2024);
}

TEST_F(IccProfileBuilderTest, SaveLaysOutHeaderTableAndTags)
{
    const std::string bytes = ReadTextFile(SaveSrgbProfile("Hello", "ABC"));
    // Header, count, 9 entries, three XYZ, three curves, wtpt, cprt of "ABC"
    // (8 + 4), desc of a 5-character text (padded to 8, + 23), then one
    // zero that makes the length a multiple of 4.
    const std::size_t expectedSize = 132 + 12 * 9 + 60 + 1572 + 20 + 12 + 31 + 1;
    ASSERT_EQ(bytes.size(), expectedSize);
    EXPECT_EQ(Big32(bytes, 0), expectedSize);
    ASSERT_EQ(Big32(bytes, 128), 9u);

    const char* order[9] = {"rXYZ", "gXYZ", "bXYZ", "rTRC", "gTRC", "bTRC", "wtpt", "cprt", "desc"};
    const std::uint32_t sizes[9] = {20, 20, 20, 524, 524, 524, 20, 12, 31};
    std::uint32_t expectedOffset = 132 + 12 * 9;
    for (int i = 0; i < 9; ++i)
    {
        const std::size_t entry = 132 + 12 * i;
        EXPECT_EQ(bytes.substr(entry, 4), order[i]);
        EXPECT_EQ(Big32(bytes, entry + 4), expectedOffset) << order[i];
        EXPECT_EQ(Big32(bytes, entry + 8), sizes[i]) << order[i];
        EXPECT_EQ(expectedOffset % 4, 0u) << order[i];
        expectedOffset += (sizes[i] + 3) / 4 * 4;
    }

    const std::size_t rTrc = Big32(bytes, 132 + 12 * 3 + 4);
    EXPECT_EQ(bytes.substr(rTrc, 4), "curv");
    EXPECT_EQ(Big32(bytes, rTrc + 8), 256u);
    EXPECT_EQ(Big16(bytes, rTrc + 12 + 2 * 255), 65535);
    EXPECT_EQ(Big16(bytes, rTrc + 12 + 2 * 2), 1);

    const std::size_t cprt = Big32(bytes, 132 + 12 * 7 + 4);
    EXPECT_EQ(bytes.substr(cprt, 12), std::string("text\0\0\0\0ABC\0", 12));

    // The ASCII count is the text with its zero; the padding is not text.
    const std::size_t desc = Big32(bytes, 132 + 12 * 8 + 4);
    EXPECT_EQ(bytes.substr(desc, 4), "desc");
    EXPECT_EQ(Big32(bytes, desc + 8), 6u);
    EXPECT_EQ(bytes.substr(desc + 12, 8), std::string("Hello\0\0\0", 8));
    EXPECT_EQ(bytes.substr(desc + 20), std::string(11 + 1, '\0'));
}

// The header's size is the file's length, padding after the last tag
// included, and a multiple of 4 (as ICC.1 asks and LittleCMS writes);
// a tag's own size leaves its padding out. LittleCMS and iccdump (where
// installed) read every one.
TEST_F(IccProfileBuilderTest, SizeFieldIsTheLengthPaddedToAMultipleOfFour)
{
    const std::string iccdump = FindIccdump();
    struct Case
    {
        std::optional<std::string> description;
        std::optional<std::string> notice;
    };
    const Case cases[] = {{"A", "ABC"},          {"ABCD", "ABC"}, {"Monitor 6500K_22_ABC1234", {}},
                          {{}, "Created by us"}, {{}, {}},        {"", ""}};
    for (const Case& c : cases)
    {
        const std::string what =
            c.description.value_or("(no desc)") + "/" + c.notice.value_or("(no cprt)");
        CIccProfileBuilder builder;
        FillSrgb(builder);
        if (c.description)
            builder.SetDescription(*c.description);
        if (c.notice)
            builder.SetNotice(*c.notice);
        ASSERT_TRUE(builder.BuildTags()) << what;
        const std::string path = m_dir.File("padded.icm");
        ASSERT_TRUE(builder.Save(path)) << what;
        const std::string bytes = ReadTextFile(path);

        ASSERT_GE(bytes.size(), 132u) << what;
        EXPECT_EQ(Big32(bytes, 0), bytes.size()) << what;
        EXPECT_EQ(bytes.size() % 4, 0u) << what;
        std::size_t tagsEnd = 0;
        for (std::uint32_t i = 0; i < Big32(bytes, 128); ++i)
        {
            const std::uint32_t offset = Big32(bytes, 132 + 12 * i + 4);
            const std::uint32_t size = Big32(bytes, 132 + 12 * i + 8);
            EXPECT_EQ(offset % 4, 0u) << what << " tag " << i;
            EXPECT_LE(offset + size, bytes.size()) << what << " tag " << i;
            tagsEnd = std::max<std::size_t>(tagsEnd, offset + size);
        }
        EXPECT_LT(bytes.size() - tagsEnd, 4u) << what;
        EXPECT_EQ(bytes.substr(tagsEnd), std::string(bytes.size() - tagsEnd, '\0')) << what;
        if (c.description)
        {
            const std::size_t descEntry = 132 + 12 * (Big32(bytes, 128) - 1);
            ASSERT_EQ(bytes.substr(descEntry, 4), "desc") << what;
            EXPECT_EQ(Big32(bytes, descEntry + 8) % 4, 3u)
                << what << ": the tag's size is unpadded";
        }

        std::unique_ptr<void, decltype(&cmsCloseProfile)> profile(
            cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())),
            &cmsCloseProfile);
        ASSERT_NE(profile, nullptr) << what;
        EXPECT_TRUE(cmsIsMatrixShaper(profile.get())) << what;

        if (!iccdump.empty())
        {
            int status = -1;
            const std::string output = RunIccdump(iccdump, path, status);
            EXPECT_EQ(status, 0) << what << "\n" << output;
            EXPECT_EQ(output.find("rror"), std::string::npos) << what << "\n" << output;
            EXPECT_EQ(output.find("arning"), std::string::npos) << what << "\n" << output;
        }
    }
}

TEST_F(IccProfileBuilderTest, TextTagsAreLeftOutWhenUnsetAndSavingTwiceGivesTheSameFile)
{
    CIccProfileBuilder builder;
    FillSrgb(builder);
    ASSERT_TRUE(builder.BuildTags());
    ASSERT_TRUE(builder.Save(m_dir.File("a.icm")));
    ASSERT_TRUE(builder.Save(m_dir.File("b.icm")));
    const std::string first = ReadTextFile(m_dir.File("a.icm"));
    EXPECT_EQ(first, ReadTextFile(m_dir.File("b.icm")));
    ASSERT_GE(first.size(), 132u);
    EXPECT_EQ(Big32(first, 128), 7u);
    EXPECT_EQ(first.size(), 132u + 12 * 7 + 60 + 1572 + 20);
    EXPECT_FALSE(builder.Save(m_dir.File("missing-folder/c.icm")));
}

TEST_F(IccProfileBuilderTest, LittleCmsReadsTheProfileAsAv2DisplayMatrixShaper)
{
    const std::string path = SaveSrgbProfile("Monitor 6500K_22_ABC1234", "Notice");
    std::unique_ptr<void, decltype(&cmsCloseProfile)> profile(
        cmsOpenProfileFromFile(path.c_str(), "r"), &cmsCloseProfile);
    ASSERT_NE(profile, nullptr);
    cmsHPROFILE h = profile.get();
    EXPECT_EQ(cmsGetEncodedICCversion(h), 0x02000000u);
    EXPECT_EQ(cmsGetDeviceClass(h), cmsSigDisplayClass);
    EXPECT_EQ(cmsGetColorSpace(h), cmsSigRgbData);
    EXPECT_EQ(cmsGetPCS(h), cmsSigXYZData);
    EXPECT_TRUE(cmsIsMatrixShaper(h));

    std::array<IccXyz, 3> expected;
    ASSERT_TRUE(CalcAdaptedColorants(kSrgbRed, kSrgbGreen, kSrgbBlue, kD65, expected));
    const cmsTagSignature colorantTags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                             cmsSigBlueColorantTag};
    for (int i = 0; i < 3; ++i)
    {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(h, colorantTags[i]));
        ASSERT_NE(xyz, nullptr) << i;
        EXPECT_NEAR(xyz->X, expected[i].X, 1.0 / 65536.0) << i;
        EXPECT_NEAR(xyz->Y, expected[i].Y, 1.0 / 65536.0) << i;
        EXPECT_NEAR(xyz->Z, expected[i].Z, 1.0 / 65536.0) << i;
    }

    const auto* white = static_cast<const cmsCIEXYZ*>(cmsReadTag(h, cmsSigMediaWhitePointTag));
    ASSERT_NE(white, nullptr);
    EXPECT_NEAR(white->X, kD65.X, 1.0 / 65536.0);
    EXPECT_EQ(white->Y, 1.0);
    EXPECT_NEAR(white->Z, kD65.Z, 1.0 / 65536.0);

    char text[256] = {};
    ASSERT_GT(cmsGetProfileInfoASCII(h, cmsInfoDescription, "en", "US", text, sizeof text), 0u);
    EXPECT_STREQ(text, "Monitor 6500K_22_ABC1234");
    ASSERT_GT(cmsGetProfileInfoASCII(h, cmsInfoCopyright, "en", "US", text, sizeof text), 0u);
    EXPECT_STREQ(text, "Notice");

    // Device white goes to the connection space's D50; mid-grey follows the
    // 2.2 curve.
    std::unique_ptr<void, decltype(&cmsCloseProfile)> xyzProfile(cmsCreateXYZProfile(),
                                                                 &cmsCloseProfile);
    std::unique_ptr<void, decltype(&cmsDeleteTransform)> transform(
        cmsCreateTransform(h, TYPE_RGB_8, xyzProfile.get(), TYPE_XYZ_DBL,
                           INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE),
        &cmsDeleteTransform);
    ASSERT_NE(transform, nullptr);
    const std::uint8_t rgb[6] = {255, 255, 255, 128, 128, 128};
    cmsCIEXYZ out[2] = {};
    cmsDoTransform(transform.get(), rgb, out, 2);
    EXPECT_NEAR(out[0].X, 0.9642, 1e-3);
    EXPECT_NEAR(out[0].Y, 1.0, 1e-3);
    EXPECT_NEAR(out[0].Z, 0.8249, 1e-3);
    EXPECT_NEAR(out[1].Y, std::pow(128.0 / 255.0, 2.2), 2e-3);
}

// ArgyllCMS's iccdump prints the description only when the ASCII count
// is the text's own length; run it where it is installed.
TEST_F(IccProfileBuilderTest, IccdumpPrintsTheDescription)
{
    const std::string iccdump = FindIccdump();
    if (iccdump.empty())
        GTEST_SKIP() << "iccdump (Debian package argyll) is not installed";

    const std::string path = SaveSrgbProfile("Agent profile text", "Notice");
    int status = -1;
    const std::string output = RunIccdump(iccdump, path, status);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("Agent profile text"), std::string::npos) << output;
}

TEST_F(IccProfileBuilderTest, LoadReadsBackColorantsWhitePointAndCurves)
{
    CIccProfileBuilder writer;
    FillSrgb(writer, 1.8);
    writer.SetDescription("Round trip");
    ASSERT_TRUE(writer.BuildTags());
    const std::string path = m_dir.File("round.icm");
    ASSERT_TRUE(writer.Save(path));

    CIccProfileBuilder reader;
    IccCompareRecord record;
    ASSERT_TRUE(reader.Load(path, record));

    std::array<IccXyz, 3> expected;
    ASSERT_TRUE(CalcAdaptedColorants(kSrgbRed, kSrgbGreen, kSrgbBlue, kD65, expected));
    const IccXyz decoded[3] = {record.red, record.green, record.blue};
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(decoded[i].X,
                  FromS15Fixed16(static_cast<std::uint32_t>(ToS15Fixed16(expected[i].X))));
        EXPECT_EQ(decoded[i].Y,
                  FromS15Fixed16(static_cast<std::uint32_t>(ToS15Fixed16(expected[i].Y))));
        EXPECT_EQ(decoded[i].Z,
                  FromS15Fixed16(static_cast<std::uint32_t>(ToS15Fixed16(expected[i].Z))));
    }
    EXPECT_NEAR(record.white.X, kD65.X, 1.0 / 65536.0);
    EXPECT_EQ(record.white.Y, 1.0);
    EXPECT_NEAR(record.white.Z, kD65.Z, 1.0 / 65536.0);
    for (const IccCurve& curve : record.curves)
        EXPECT_EQ(curve, writer.Curve());
}

// Curve tags of other profiles' kinds, each with the function it holds.
struct CurveForm
{
    const char* what;
    std::vector<std::uint8_t> tag;
    double (*function)(double x);
    int tolerance; // in 16-bit steps (a parametric function's s15Fixed16
                   // parameters are truncated)
};

std::vector<std::uint8_t> CurveTagBytes(const std::vector<std::uint16_t>& entries)
{
    std::vector<std::uint8_t> tag(12 + 2 * entries.size(), 0);
    std::copy_n("curv", 4, tag.begin());
    tag[8] = static_cast<std::uint8_t>(entries.size() >> 24);
    tag[9] = static_cast<std::uint8_t>(entries.size() >> 16);
    tag[10] = static_cast<std::uint8_t>(entries.size() >> 8);
    tag[11] = static_cast<std::uint8_t>(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
    {
        tag[12 + 2 * i] = static_cast<std::uint8_t>(entries[i] >> 8);
        tag[13 + 2 * i] = static_cast<std::uint8_t>(entries[i] & 0xFF);
    }
    return tag;
}

// A table of n entries sampling f over 0..1, rounded to 16 bits.
std::vector<std::uint16_t> Table(std::size_t n, double (*f)(double))
{
    std::vector<std::uint16_t> entries(n);
    for (std::size_t i = 0; i < n; ++i)
        entries[i] = static_cast<std::uint16_t>(
            std::lround(f(static_cast<double>(i) / static_cast<double>(n - 1)) * 65535.0));
    return entries;
}

std::vector<std::uint8_t> ParametricTagBytes(int function, const std::vector<double>& parameters)
{
    std::vector<std::uint8_t> tag(12 + 4 * parameters.size(), 0);
    std::copy_n("para", 4, tag.begin());
    tag[9] = static_cast<std::uint8_t>(function);
    for (std::size_t i = 0; i < parameters.size(); ++i)
    {
        const auto v = static_cast<std::uint32_t>(ToS15Fixed16(parameters[i]));
        for (int k = 0; k < 4; ++k)
            tag[12 + 4 * i + static_cast<std::size_t>(k)] =
                static_cast<std::uint8_t>(v >> (24 - 8 * k));
    }
    return tag;
}

double Gamma22(double x)
{
    return std::pow(x, 2.2);
}
// The gamma that 2.2 becomes as u8Fixed8 (563 / 256).
double Gamma22Fixed(double x)
{
    return std::pow(x, 563.0 / 256.0);
}
double Identity(double x)
{
    return x;
}
double SrgbCurve(double v)
{
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

// Whatever form a profile's curves take (a table of any length, a gamma
// alone, the identity, a parametric function), Load gives the curve at our
// drive values 0..255, so that it compares with the curves we make.
TEST_F(IccProfileBuilderTest, LoadEvaluatesCurvesOfEveryForm)
{
    const std::vector<CurveForm> forms = {
        {"1,024-entry sRGB table", CurveTagBytes(Table(1024, SrgbCurve)), SrgbCurve, 2},
        {"4,096-entry gamma 2.2 table", CurveTagBytes(Table(4096, Gamma22)), Gamma22, 2},
        {"2-entry table", CurveTagBytes({0, 65535}), Identity, 1},
        {"gamma alone", CurveTagBytes({0x0233}), Gamma22Fixed, 1},
        {"identity", CurveTagBytes({}), Identity, 1},
        {"parametric gamma", ParametricTagBytes(0, {2.2}), Gamma22, 2},
        {"parametric sRGB",
         ParametricTagBytes(3, {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045}), SrgbCurve, 4},
        {"parametric with offsets",
         ParametricTagBytes(4, {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045, 0.0, 0.0}),
         SrgbCurve, 4},
    };
    for (const CurveForm& form : forms)
    {
        CIccProfileBuilder writer;
        FillSrgb(writer);
        ASSERT_TRUE(writer.BuildTags());
        for (const std::uint32_t signature :
             {IccSignature("rTRC"), IccSignature("gTRC"), IccSignature("bTRC")})
            writer.SetTag(signature, form.tag);
        const std::string path = m_dir.File("form.icm");
        ASSERT_TRUE(writer.Save(path)) << form.what;

        CIccProfileBuilder reader;
        IccCompareRecord record;
        ASSERT_TRUE(reader.Load(path, record)) << form.what;
        for (int c = 0; c < 3; ++c)
        {
            for (int i = 0; i < kIccCurveSize; ++i)
            {
                const double expected = form.function(i / 255.0) * 65535.0;
                EXPECT_NEAR(record.curves[c][i], expected, form.tolerance)
                    << form.what << " channel " << c << " drive value " << i;
            }
        }
    }
}

// A profile Load cannot use is traced with what it lacks, naming the kind
// of a curve it does not read; a complete one, whatever its curves' form,
// traces nothing.
TEST_F(IccProfileBuilderTest, LoadTracesWhatTheProfileLacks)
{
    const std::string agentFolder = m_dir.Path() + "config/Quillbrake/ZEPH/";
    ASSERT_TRUE(std::filesystem::create_directories(agentFolder));
    WriteTextFile(agentFolder + "ZEPH_D.INI", "[FILEOUT]\nFILEOUT_FLG=1\n");
    const std::string tracePath = agentFolder + "fprintf.txt";

    CIccProfileBuilder writer;
    FillSrgb(writer);
    ASSERT_TRUE(writer.BuildTags());
    writer.SetTag(IccSignature("rTRC"), CurveTagBytes(Table(1024, SrgbCurve)));
    const std::string complete = m_dir.File("complete.icm");
    ASSERT_TRUE(writer.Save(complete));
    std::vector<std::uint8_t> lut(32, 0);
    std::copy_n("mft2", 4, lut.begin());
    writer.SetTag(IccSignature("gTRC"), lut);
    const std::string wrong = m_dir.File("wrong.icm");
    ASSERT_TRUE(writer.Save(wrong));

    CIccProfileBuilder reader;
    IccCompareRecord record;
    EXPECT_TRUE(reader.Load(complete, record));
    EXPECT_EQ(ReadTextFile(tracePath).find("lacks"), std::string::npos) << ReadTextFile(tracePath);

    EXPECT_FALSE(reader.Load(wrong, record));
    const std::string trace = ReadTextFile(tracePath);
    EXPECT_NE(
        trace.find("-ICC profile lacks gTRC (tag of type mft2, not compared): " + wrong + "\n"),
        std::string::npos)
        << trace;
}

TEST_F(IccProfileBuilderTest, LoadNeverCreatesAFile)
{
    CIccProfileBuilder reader;
    IccCompareRecord record;
    const std::string missing = m_dir.File("missing.icm");
    EXPECT_FALSE(reader.Load(missing, record));
    EXPECT_FALSE(FileExists(missing));
    EXPECT_FALSE(reader.Load(m_dir.Path(), record)) << "a folder";
}

// A profile of our own making, damaged in one way each. Every damage to
// one of the seven items the comparison needs makes Load fail cleanly;
// damage elsewhere does not matter.
TEST_F(IccProfileBuilderTest, LoadRejectsTruncatedAndLyingFiles)
{
    const std::string good = ReadTextFile(SaveSrgbProfile("Hello", "ABC"));
    ASSERT_EQ(Big32(good, 128), 9u);
    const auto entry = [](int index) { return std::size_t{132} + 12 * index; };
    const std::size_t rXyz = Big32(good, entry(0) + 4);
    const std::size_t rTrc = Big32(good, entry(3) + 4);
    const std::size_t wtpt = Big32(good, entry(6) + 4);

    struct Case
    {
        const char* what;
        std::string bytes;
        bool loads;
    };
    std::vector<Case> cases;
    const auto add = [&](const char* what, bool loads, auto&& damage) {
        std::string bytes = good;
        damage(bytes);
        cases.push_back({what, std::move(bytes), loads});
    };
    add("undamaged", true, [](std::string&) {});
    add("empty", false, [](std::string& b) { b.clear(); });
    add("cut in the header", false, [](std::string& b) { b.resize(100); });
    add("cut in the tag count", false, [](std::string& b) { b.resize(130); });
    add("cut in the tag table", false, [&](std::string& b) { b.resize(entry(4) + 5); });
    add("cut in the white point", false, [&](std::string& b) { b.resize(wtpt + 10); });
    add("cut in the description only", true, [](std::string& b) { b.resize(b.size() - 9); });
    add("no acsp", false, [](std::string& b) { b.replace(36, 4, "xxxx"); });
    add("no tags", false, [](std::string& b) { PutBig32(b, 128, 0); });
    add("offset past the end", false,
        [&](std::string& b) { PutBig32(b, entry(0) + 4, static_cast<std::uint32_t>(b.size())); });
    add("offset that overflows", false,
        [&](std::string& b) { PutBig32(b, entry(3) + 4, 0xFFFFFFF0u); });
    add("XYZ size too small", false, [&](std::string& b) { PutBig32(b, entry(1) + 8, 8); });
    add("curve size too small", false, [&](std::string& b) { PutBig32(b, entry(4) + 8, 100); });
    add("XYZ tag of another type", false, [&](std::string& b) { b.replace(rXyz, 4, "curv"); });
    add("curve tag of another type", false, [&](std::string& b) { b.replace(rTrc, 4, "mft2"); });
    add("gamma-only curve", true, [&](std::string& b) {
        PutBig32(b, rTrc + 8, 1);
        PutBig32(b, rTrc + 12, 0x02330000u); // 2.2 as u8Fixed8
    });
    add("more curve entries than the tag holds", false,
        [&](std::string& b) { PutBig32(b, rTrc + 8, 1024); });
    add("curve of a billion entries", false,
        [&](std::string& b) { PutBig32(b, rTrc + 8, 1000000000u); });
    add("parametric curve of an unknown function", false, [&](std::string& b) {
        b.replace(rTrc, 4, "para");
        PutBig32(b, rTrc + 8, 0x00050000u);
    });
    add("parametric curve cut short", false, [&](std::string& b) {
        b.replace(rTrc, 4, "para");
        PutBig32(b, rTrc + 8, 0x00040000u);
        PutBig32(b, entry(3) + 8, 12 + 4 * 6);
    });
    add("one colorant twice, another missing", false,
        [&](std::string& b) { b.replace(entry(1), 4, "rXYZ"); });
    add("huge tag count with the table intact", true,
        [](std::string& b) { PutBig32(b, 128, 0xFFFFFFFFu); });

    for (const Case& c : cases)
    {
        const std::string path = m_dir.File("damaged.icm");
        WriteTextFile(path, c.bytes);
        CIccProfileBuilder reader;
        IccCompareRecord record;
        EXPECT_EQ(reader.Load(path, record), c.loads) << c.what;
    }
}

// Tables longer than 50 entries are read as 50: items listed after the
// fiftieth entry are not seen.
TEST_F(IccProfileBuilderTest, LoadReadsAtMostFiftyTagEntries)
{
    const std::string good = ReadTextFile(SaveSrgbProfile("Hello", "ABC"));
    std::vector<std::string> items; // the seven needed entries, as saved
    for (int i = 0; i < 7; ++i)
        items.push_back(good.substr(132 + 12 * i, 12));
    // Data of the tags moved behind a 60-entry table.
    const std::size_t shift = 12 * (60 - 9);

    const auto build = [&](int firstItemIndex) {
        std::string bytes = good.substr(0, 128);
        std::string count(4, '\0');
        PutBig32(count, 0, 60);
        bytes += count;
        for (int i = 0; i < 60; ++i)
        {
            std::string e;
            if (i >= firstItemIndex && i < firstItemIndex + 7)
            {
                e = items[i - firstItemIndex];
                PutBig32(e, 4, Big32(e, 4) + static_cast<std::uint32_t>(shift));
            }
            else
            {
                e = Sig(IccSignature("zzzz")) + std::string(8, '\0');
            }
            bytes += e;
        }
        bytes += good.substr(132 + 12 * 9);
        return bytes;
    };

    struct Case
    {
        int first;
        bool loads;
    };
    for (const Case c : {Case{0, true}, Case{43, true}, Case{44, false}, Case{53, false}})
    {
        const std::string path = m_dir.File("long.icm");
        WriteTextFile(path, build(c.first));
        CIccProfileBuilder reader;
        IccCompareRecord record;
        EXPECT_EQ(reader.Load(path, record), c.loads) << c.first;
    }
}

TEST_F(IccProfileBuilderTest, CurrentProfileNameComesFromTheDisplayOrTheRememberedPath)
{
    CIccProfileBuilder builder;
    builder.SetDeviceId("MONITOR\\QBX1234\\card0-DP-1");
    std::string name = "unchanged";
    // Nothing associated: the display uses the sRGB profile.
    ASSERT_TRUE(builder.GetCurrentIcmProfileName(0, name));
    EXPECT_EQ(name, builder.ColorDirectoryPath() + "sRGB Color Space Profile.icm");

    EXPECT_FALSE(builder.HasCurrentProfilePath());
    builder.SetCurrentProfilePath("/somewhere/old.icm");
    EXPECT_TRUE(builder.HasCurrentProfilePath());
    ASSERT_TRUE(builder.GetCurrentIcmProfileName(1, name));
    EXPECT_EQ(name, "/somewhere/old.icm");

    name = "unchanged";
    EXPECT_FALSE(builder.GetCurrentIcmProfileName(2, name));
    EXPECT_EQ(name, "unchanged");
}

} // namespace
