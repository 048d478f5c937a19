#include "core/ImageFileProbe.h"

#include "core/ImageEx.h"
#include "tests/core/ImageCodecFixtures.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>

using namespace imagefixtures;
using testsupport::TempDir;

namespace {

// --- Extension tests ---------------------------------------------------------

TEST(ImageFileExtensions, EachTestAcceptsItsExtensionsIgnoringCase)
{
    struct Case
    {
        const char* path;
        bool profileCapable;
        bool jpeg;
        bool image;
    };
    const Case cases[] = {
        {"/p/a.jpg", true, true, true},
        {"/p/a.JPG", true, true, true},
        {"/p/a.Jpeg", true, true, true},
        {"/p/a.tif", true, false, true},
        {"/p/a.TIFF", true, false, true},
        {"/p/a.dng", true, false, false},
        {"/p/a.DnG", true, false, false},
        {"/p/a.png", false, false, false},
        {"/p/a.jpg.txt", false, false, false},
        {"/p/a", false, false, false},
        {"/p.jpg/a", false, false, false},
        {"/p/.jpg", false, false, false},
        {"/p/a.jp", false, false, false},
        {"/p/a.jpgx", false, false, false},
        {"", false, false, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(HasProfileCapableExtension(c.path), c.profileCapable);
        EXPECT_EQ(IsJpegFileName(c.path), c.jpeg);
        EXPECT_EQ(IsGdiplusImageFile(c.path), c.image);
    }
}

TEST(ImageFileExtensions, CodecsAreAlwaysAvailable)
{
    EXPECT_TRUE(IsGdiplusAvailable());
}

// --- Probe -------------------------------------------------------------------

struct ProbeExpectation
{
    bool accepted;
    ImageFileType type;
    std::uint32_t width;
    std::uint32_t height;
    float xDpi;
    float yDpi;
    int orientation;
};

void ExpectProbe(const std::string& path, const ProbeExpectation& e)
{
    ImageProbeResult result;
    EXPECT_EQ(ProbeImageFile(path, result), e.accepted);
    EXPECT_EQ(result.type, e.type);
    EXPECT_EQ(result.width, e.width);
    EXPECT_EQ(result.height, e.height);
    EXPECT_NEAR(result.xResolution, e.xDpi, 1e-3);
    EXPECT_NEAR(result.yResolution, e.yDpi, 1e-3);
    EXPECT_EQ(result.orientation, e.orientation);
}

TEST(ProbeImageFile, JpegFiles)
{
    struct Case
    {
        const char* name;
        JpegFixture fixture;
        ProbeExpectation expect;
    };
    const Case cases[] = {
        {"dpi",
         {.width = 64, .height = 48, .xDensity = 300, .yDensity = 300},
         {true, kImageFileJpeg, 64, 48, 300.0f, 300.0f, 0}},
        {"dots per cm",
         {.densityUnit = 2, .xDensity = 100, .yDensity = 50},
         {true, kImageFileJpeg, 16, 8, 254.0f, 127.0f, 0}},
        {"aspect ratio only",
         {.densityUnit = 0, .xDensity = 1, .yDensity = 1},
         {true, kImageFileJpeg, 16, 8, 0.0f, 0.0f, 0}},
        {"EXIF without JFIF",
         {.jfif = false, .exif = MakeExif(6, 72, 72, 2)},
         {true, kImageFileJpeg, 16, 8, 72.0f, 72.0f, 6}},
        {"EXIF in centimetres",
         {.jfif = false, .exif = MakeExif(0, 100, 40, 3)},
         {true, kImageFileJpeg, 16, 8, 254.0f, 101.6f, 0}},
        {"EXIF without unit of length",
         {.jfif = false, .exif = MakeExif(8, 100, 100, 1)},
         {true, kImageFileJpeg, 16, 8, 0.0f, 0.0f, 8}},
        {"JFIF density before EXIF",
         {.xDensity = 300, .yDensity = 300, .exif = MakeExif(3, 72, 72, 2)},
         {true, kImageFileJpeg, 16, 8, 300.0f, 300.0f, 3}},
        {"RGB without colour transform (no JFIF)",
         {.storeRgb = true},
         {true, kImageFileJpeg, 16, 8, 0.0f, 0.0f, 0}},
        {"progressive",
         {.width = 33, .height = 17, .progressive = true},
         {true, kImageFileJpeg, 33, 17, 72.0f, 72.0f, 0}},
        {"greyscale",
         {.width = 20, .height = 10, .inSpace = JCS_GRAYSCALE, .components = 1},
         {false, kImageFileJpeg, 20, 10, 72.0f, 72.0f, 0}},
        {"CMYK",
         {.inSpace = JCS_CMYK, .components = 4},
         {false, kImageFileJpeg, 16, 8, 72.0f, 72.0f, 0}},
        {"wider than 32767",
         {.width = 32768, .height = 8},
         {false, kImageFileJpeg, 32768, 8, 72.0f, 72.0f, 0}},
    };
    TempDir dir;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("probe.jpg");
        ASSERT_TRUE(WriteJpeg(path, c.fixture));
        ExpectProbe(path, c.expect);
    }
}

TEST(ProbeImageFile, TiffFiles)
{
    struct Case
    {
        const char* name;
        TiffFixture fixture;
        ProbeExpectation expect;
    };
    const Case cases[] = {
        {"8-bit RGB",
         {.width = 50,
          .height = 60,
          .writeResolution = true,
          .xResolution = 300.0f,
          .yResolution = 200.0f},
         {true, kImageFileTiff8, 50, 60, 300.0f, 200.0f, 0}},
        {"8-bit RGB, LZW",
         {.compression = COMPRESSION_LZW},
         {true, kImageFileTiff8, 16, 8, 0.0f, 0.0f, 0}},
        {"8-bit RGB, tiled",
         {.width = 40, .height = 20, .tileSide = 16},
         {true, kImageFileTiff8, 40, 20, 0.0f, 0.0f, 0}},
        {"8-bit YCbCr in JPEG",
         {.width = 32,
          .height = 16,
          .photometric = PHOTOMETRIC_YCBCR,
          .compression = COMPRESSION_JPEG,
          .rowsPerStrip = 16},
         {true, kImageFileTiff8, 32, 16, 0.0f, 0.0f, 0}},
        {"16-bit RGB, uncompressed",
         {.bits = 16},
         {true, kImageFileTiff16, 16, 8, 0.0f, 0.0f, 0}},
        {"16-bit RGB, uncompressed, big-endian",
         {.bits = 16, .bigEndian = true},
         {true, kImageFileTiff16, 16, 8, 0.0f, 0.0f, 0}},
        {"16-bit RGB, LZW",
         {.bits = 16, .compression = COMPRESSION_LZW},
         {false, kImageFileTiff16, 16, 8, 0.0f, 0.0f, 0}},
        {"16-bit RGB, Deflate",
         {.bits = 16, .compression = COMPRESSION_ADOBE_DEFLATE},
         {false, kImageFileTiff16, 16, 8, 0.0f, 0.0f, 0}},
        {"16-bit RGB, tiled",
         {.bits = 16, .tileSide = 16},
         {false, kImageFileTiff16, 16, 8, 0.0f, 0.0f, 0}},
        {"16-bit RGB, BigTIFF",
         {.bits = 16, .bigTiff = true},
         {false, kImageFileTiff16, 16, 8, 0.0f, 0.0f, 0}},
        {"16-bit RGB, separate planes",
         {.bits = 16, .planar = PLANARCONFIG_SEPARATE},
         {false, kImageFileTiff16, 16, 8, 0.0f, 0.0f, 0}},
        {"8-bit RGB, separate planes",
         {.planar = PLANARCONFIG_SEPARATE},
         {false, kImageFileTiff8, 16, 8, 0.0f, 0.0f, 0}},
        {"palette",
         {.samples = 1, .photometric = PHOTOMETRIC_PALETTE},
         {false, kImageFileTiff8, 16, 8, 0.0f, 0.0f, 0}},
        {"greyscale",
         {.samples = 1, .photometric = PHOTOMETRIC_MINISBLACK},
         {false, kImageFileTiff8, 16, 8, 0.0f, 0.0f, 0}},
        {"RGB with alpha", {.samples = 4}, {false, kImageFileTiff8, 16, 8, 0.0f, 0.0f, 0}},
        {"16-bit RGB with alpha",
         {.bits = 16, .samples = 4},
         {false, kImageFileTiff8, 16, 8, 0.0f, 0.0f, 0}},
        {"resolution in centimetres",
         {.writeResolution = true,
          .xResolution = 100.0f,
          .yResolution = 50.0f,
          .resolutionUnit = RESUNIT_CENTIMETER},
         {true, kImageFileTiff8, 16, 8, 254.0f, 127.0f, 0}},
        {"resolution without unit",
         {.writeResolution = true,
          .xResolution = 300.0f,
          .yResolution = 300.0f,
          .resolutionUnit = RESUNIT_NONE},
         {true, kImageFileTiff8, 16, 8, 0.0f, 0.0f, 0}},
        {"orientation",
         {.orientation = ORIENTATION_RIGHTTOP},
         {true, kImageFileTiff8, 16, 8, 0.0f, 0.0f, 6}},
        {"taller than 32767",
         {.width = 1, .height = 32768},
         {false, kImageFileTiff8, 1, 32768, 0.0f, 0.0f, 0}},
    };
    TempDir dir;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("probe.tif");
        ASSERT_TRUE(WriteTiff(path, c.fixture));
        ExpectProbe(path, c.expect);
    }
}

TEST(ProbeImageFile, UnreadableFileLeavesResultUntouched)
{
    TempDir dir;
    std::string goodJpeg;
    {
        const std::string path = dir.File("good.jpg");
        ASSERT_TRUE(WriteJpeg(path, {}));
        goodJpeg = ReadBytes(path);
    }
    std::string goodTiff;
    {
        const std::string path = dir.File("good.tif");
        ASSERT_TRUE(WriteTiff(path, {}));
        goodTiff = ReadBytes(path);
    }
    struct Case
    {
        const char* name;
        std::string bytes; // empty name below means "no file"
    };
    const Case cases[] = {
        {"empty", ""},
        {"text", "just some text, not an image\n"},
        {"PNG", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)},
        {"JPEG cut in its header", goodJpeg.substr(0, 40)},
        {"JPEG signature only", goodJpeg.substr(0, 3)},
        {"TIFF header only", goodTiff.substr(0, 8)},
        {"TIFF with the first IFD beyond the end", std::string("II*\0\xff\xff\0\0", 8)},
    };
    const ImageProbeResult sentinel{7, 123, 456, 1.5f, 2.5f, 4, {}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("bad.jpg");
        WriteBytes(path, c.bytes);
        ImageProbeResult result = sentinel;
        EXPECT_FALSE(ProbeImageFile(path, result));
        EXPECT_EQ(result.type, sentinel.type);
        EXPECT_EQ(result.width, sentinel.width);
        EXPECT_EQ(result.height, sentinel.height);
        EXPECT_EQ(result.xResolution, sentinel.xResolution);
        EXPECT_EQ(result.orientation, sentinel.orientation);
    }
    ImageProbeResult result = sentinel;
    EXPECT_FALSE(ProbeImageFile(dir.File("missing.jpg"), result));
    EXPECT_EQ(result.width, sentinel.width);
    EXPECT_FALSE(ProbeImageFile(dir.Path(), result)); // a folder
}

// The EXIF block of a camera file is untrusted: cut at every length, or
// with lying offsets and counts, it may lose its fields but never be read
// beyond its end (AddressSanitizer watches) nor stop the probe.
TEST(ProbeImageFile, DamagedExifIsReadWithinItsBounds)
{
    TempDir dir;
    const std::string path = dir.File("exif.jpg");
    const std::vector<std::uint8_t> exif = MakeExif(6, 300, 300, 2);
    for (std::size_t length = 0; length <= exif.size(); ++length)
    {
        SCOPED_TRACE(length);
        JpegFixture fixture{.jfif = false};
        fixture.exif.assign(exif.begin(), exif.begin() + static_cast<std::ptrdiff_t>(length));
        if (fixture.exif.empty())
            fixture.exif.push_back('E');
        ASSERT_TRUE(WriteJpeg(path, fixture));
        ImageProbeResult result;
        ASSERT_TRUE(ProbeImageFile(path, result));
        EXPECT_TRUE(result.orientation == 0 || result.orientation == 6);
        EXPECT_TRUE(result.xResolution == 0.0f || result.xResolution == 300.0f);
        if (length == exif.size())
        {
            EXPECT_EQ(result.orientation, 6);
            EXPECT_EQ(result.xResolution, 300.0f);
        }
    }

    struct Patch
    {
        const char* name;
        std::size_t offset; // into the payload
        std::vector<std::uint8_t> bytes;
    };
    // Payload layout: "Exif\0\0", TIFF header at 6, IFD0 at 6 + 8 with its
    // count, entries from 6 + 10 (orientation, X, Y, unit).
    const Patch patches[] = {
        {"IFD offset past the end", 10, {0xF0, 0xFF, 0xFF, 0x7F}},
        {"IFD offset at the last byte", 10, {static_cast<std::uint8_t>(exif.size() - 7), 0, 0, 0}},
        {"entry count far too large", 14, {0xFF, 0xFF}},
        {"rational offset past the end", 16 + 12 + 8, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"zero denominator", exif.size() - 12, {0, 0, 0, 0}},
        {"orientation out of range", 16 + 8, {9, 0}},
        {"wrong magic number", 8, {43, 0}},
        {"unknown byte order", 6, {'X', 'X'}},
    };
    for (const Patch& p : patches)
    {
        SCOPED_TRACE(p.name);
        JpegFixture fixture{.jfif = false, .exif = exif};
        std::copy(p.bytes.begin(), p.bytes.end(),
                  fixture.exif.begin() + static_cast<std::ptrdiff_t>(p.offset));
        ASSERT_TRUE(WriteJpeg(path, fixture));
        ImageProbeResult result;
        ASSERT_TRUE(ProbeImageFile(path, result));
        EXPECT_TRUE(result.orientation == 0 || result.orientation == 6);
        EXPECT_TRUE(result.xResolution == 0.0f || result.xResolution == 300.0f);
    }
}

// --- Embedded profile --------------------------------------------------------

std::vector<std::uint8_t> ProfileBytes(std::size_t size)
{
    return NoiseBytes(size, static_cast<std::uint32_t>(size));
}

TEST(LoadEmbeddedProfile, ReadsProfilesOfOtherWriters)
{
    TempDir dir;
    const auto icc = ProfileBytes(70000); // two APP2 markers
    const std::string jpeg = dir.File("a.jpeg");
    ASSERT_TRUE(WriteJpeg(jpeg, {.icc = icc}));
    const std::string tiff = dir.File("a.tif");
    ASSERT_TRUE(WriteTiff(tiff, {.icc = icc}));
    const std::string dng = dir.File("a.DNG"); // TIFF-based: its first directory's
    ASSERT_TRUE(WriteTiff(dng, {.icc = icc}));
    for (const std::string& path : {jpeg, tiff, dng})
    {
        SCOPED_TRACE(path);
        std::vector<std::uint8_t> bytes;
        EXPECT_TRUE(LoadEmbeddedProfile(path, bytes));
        EXPECT_EQ(bytes, icc);
    }
}

TEST(LoadEmbeddedProfile, NothingWithoutAProfileOrWithABrokenOne)
{
    TempDir dir;
    const auto icc = ProfileBytes(3000);
    const auto app2 = [&icc](std::uint8_t seq, std::uint8_t count) {
        std::vector<std::uint8_t> p = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
        p.push_back(seq);
        p.push_back(count);
        p.insert(p.end(), icc.begin(), icc.end());
        return p;
    };
    struct Case
    {
        const char* name;
        std::string file;
        bool jpeg;
        JpegFixture jpegFixture;
        TiffFixture tiffFixture;
    };
    const Case cases[] = {
        {"JPEG without profile", "a.jpg", true, {}, {}},
        {"TIFF without profile", "a.tif", false, {}, {}},
        {"JPEG with a marker of its chain missing",
         "a.jpg",
         true,
         {.rawApp2 = {app2(1, 3), app2(3, 3)}},
         {}},
        {"JPEG with a marker numbered 0", "a.jpg", true, {.rawApp2 = {app2(0, 1)}}, {}},
        {"JPEG with a marker twice", "a.jpg", true, {.rawApp2 = {app2(1, 2), app2(1, 2)}}, {}},
        {"JPEG named .png", "a.png", true, {.icc = icc}, {}},
        {"TIFF named .bmp", "a.bmp", false, {}, {.icc = icc}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(c.file);
        ASSERT_TRUE(c.jpeg ? WriteJpeg(path, c.jpegFixture) : WriteTiff(path, c.tiffFixture));
        std::vector<std::uint8_t> bytes = {1, 2, 3};
        EXPECT_FALSE(LoadEmbeddedProfile(path, bytes));
        EXPECT_EQ(bytes, (std::vector<std::uint8_t>{1, 2, 3}));
    }
    std::vector<std::uint8_t> bytes;
    EXPECT_FALSE(LoadEmbeddedProfile(dir.File("missing.jpg"), bytes));
    WriteBytes(dir.File("text.tif"), "not a TIFF");
    EXPECT_FALSE(LoadEmbeddedProfile(dir.File("text.tif"), bytes));
}

// --- Save --------------------------------------------------------------------

CImageEx NoiseImage(int width, int height, std::uint32_t seed = 1)
{
    CImageEx image;
    EXPECT_TRUE(image.Create(width, height));
    FillNoise(image, seed);
    return image;
}

TEST(SaveImageFile, QualityLevels)
{
    const int expected[][2] = {{-1, 50}, {0, 50}, {1, 62}, {2, 75}, {3, 87}, {4, 100}, {5, 100}};
    for (const auto& [level, quality] : expected)
        EXPECT_EQ(JpegQualityFromLevel(level), quality) << "level " << level;

    // The file itself carries the tables of that quality, and neighbouring
    // qualities have tables of their own, so the check can tell them apart.
    TempDir dir;
    const CImageEx image = NoiseImage(24, 16);
    for (int level = 0; level <= 4; ++level)
    {
        SCOPED_TRACE(level);
        const std::string path = dir.File("q.jpg");
        ASSERT_TRUE(SaveImageFile({}, kImageFileJpeg, image, path, 72.0f, 72.0f, level));
        std::array<std::uint16_t, 64> table{};
        ASSERT_TRUE(ReadLumaQuantTable(path, table));
        const int quality = JpegQualityFromLevel(level);
        EXPECT_EQ(table, LumaQuantTableForQuality(quality));
        if (quality < 100)
        {
            EXPECT_NE(table, LumaQuantTableForQuality(quality + 1));
        }
        EXPECT_NE(table, LumaQuantTableForQuality(quality - 1));
    }
}

TEST(SaveImageFile, OtherTypesWriteNothing)
{
    TempDir dir;
    const CImageEx image = NoiseImage(8, 8);
    for (const ImageFileType type :
         {kImageFileTiff16, kImageFileDng, kImageFileRaw, kImageFileUnsupported, -1})
    {
        SCOPED_TRACE(type);
        const std::string fresh = dir.File("fresh.out");
        EXPECT_FALSE(SaveImageFile({}, type, image, fresh, 72.0f, 72.0f, 2));
        EXPECT_FALSE(std::filesystem::exists(fresh));
        const std::string existing = dir.File("existing.out");
        WriteBytes(existing, "keep me");
        EXPECT_FALSE(SaveImageFile({}, type, image, existing, 72.0f, 72.0f, 2));
        EXPECT_EQ(ReadBytes(existing), "keep me");
    }
}

TEST(SaveImageFile, RefusesWhatItCannotWrite)
{
    TempDir dir;
    const CImageEx image = NoiseImage(8, 8);
    const CImageEx empty;
    for (const ImageFileType type : {kImageFileTiff8, kImageFileJpeg})
    {
        SCOPED_TRACE(type);
        EXPECT_FALSE(SaveImageFile({}, type, empty, dir.File("empty.out"), 72.0f, 72.0f, 2));
        EXPECT_FALSE(std::filesystem::exists(dir.File("empty.out")));
        EXPECT_FALSE(
            SaveImageFile({}, type, image, dir.File("no/such/folder.out"), 72.0f, 72.0f, 2));
    }
    // 255 markers of 65519 bytes are all a JPEG can carry.
    const std::vector<std::uint8_t> huge(std::size_t{255} * 65519 + 1, 0x42);
    EXPECT_FALSE(SaveImageFile(huge, kImageFileJpeg, image, dir.File("huge.jpg"), 72, 72, 2));
    EXPECT_FALSE(std::filesystem::exists(dir.File("huge.jpg")));
}

TEST(SaveImageFile, ProfileRoundTripsExactly)
{
    TempDir dir;
    const CImageEx image = NoiseImage(19, 7);
    // 65519 bytes fill one APP2 marker exactly; one more needs a second.
    for (const std::size_t size : {std::size_t{1}, std::size_t{3144}, std::size_t{65519},
                                   std::size_t{65520}, std::size_t{200000}})
    {
        for (const ImageFileType type : {kImageFileTiff8, kImageFileJpeg})
        {
            SCOPED_TRACE(testing::Message() << "size " << size << " type " << type);
            const auto icc = ProfileBytes(size);
            const std::string path = dir.File(type == kImageFileJpeg ? "p.jpg" : "p.tif");
            ASSERT_TRUE(SaveImageFile(icc, type, image, path, 72.0f, 72.0f, 4));
            std::vector<std::uint8_t> bytes;
            ASSERT_TRUE(LoadEmbeddedProfile(path, bytes));
            EXPECT_EQ(bytes, icc);
        }
    }
    // Without a profile the file has none.
    for (const char* name : {"none.jpg", "none.tif"})
    {
        const std::string path = dir.File(name);
        const ImageFileType type = IsJpegFileName(path) ? kImageFileJpeg : kImageFileTiff8;
        ASSERT_TRUE(SaveImageFile({}, type, image, path, 72.0f, 72.0f, 2));
        std::vector<std::uint8_t> bytes;
        EXPECT_FALSE(LoadEmbeddedProfile(path, bytes));
    }
}

TEST(SaveImageFile, WrittenFilesProbeWithTheirResolution)
{
    struct Case
    {
        ImageFileType type;
        float xDpi;
        float yDpi;
        float expectX;
        float expectY;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {kImageFileJpeg, 300.0f, 150.0f, 300.0f, 150.0f},
        {kImageFileJpeg, 72.4f, 71.6f, 72.0f, 72.0f}, // JFIF holds whole dots per inch
        {kImageFileJpeg, 0.0f, 300.0f, 0.0f, 0.0f}, // left out: the probe reports none (0)
        {kImageFileJpeg, nan, nan, 0.0f, 0.0f},
        {kImageFileJpeg, 1e9f, 0.2f, 65535.0f, 1.0f},
        {kImageFileTiff8, 123.5f, 300.0f, 123.5f, 300.0f},
        {kImageFileTiff8, -5.0f, 300.0f, 0.0f, 0.0f},
        {kImageFileTiff8, nan, 300.0f, 0.0f, 0.0f},
    };
    TempDir dir;
    const CImageEx image = NoiseImage(21, 13);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " " << c.xDpi << " x " << c.yDpi);
        const std::string path = dir.File("r.img");
        ASSERT_TRUE(SaveImageFile({}, c.type, image, path, c.xDpi, c.yDpi, 2));
        ImageProbeResult result;
        ASSERT_TRUE(ProbeImageFile(path, result));
        EXPECT_EQ(result.type, c.type);
        EXPECT_EQ(result.width, 21u);
        EXPECT_EQ(result.height, 13u);
        EXPECT_FLOAT_EQ(result.xResolution, c.expectX);
        EXPECT_FLOAT_EQ(result.yResolution, c.expectY);
    }
}

TEST(SaveImageFile, ReplacesAnExistingFile)
{
    TempDir dir;
    const std::string path = dir.File("out.tif");
    WriteBytes(path, "old contents");
    ASSERT_TRUE(SaveImageFile({}, kImageFileTiff8, NoiseImage(9, 4), path, 72, 72, 2));
    ImageProbeResult result;
    ASSERT_TRUE(ProbeImageFile(path, result));
    EXPECT_EQ(result.width, 9u);
    ASSERT_TRUE(SaveImageFile({}, kImageFileTiff8, NoiseImage(5, 3), path, 72, 72, 2));
    ASSERT_TRUE(ProbeImageFile(path, result));
    EXPECT_EQ(result.width, 5u);
    // No temporary file is left beside it.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        ++files;
    EXPECT_EQ(files, 1u);
}

} // namespace
