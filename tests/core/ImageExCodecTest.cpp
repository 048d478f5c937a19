#include "core/ImageEx.h"

#include "core/ImageFileProbe.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/core/ImageCodecFixtures.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <atomic>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

using namespace imagefixtures;
using coretest::SamePixels;
using testsupport::TempDir;

namespace {

CImageEx NoiseImage(int width, int height, std::uint32_t seed)
{
    CImageEx image;
    EXPECT_TRUE(image.Create(width, height));
    FillNoise(image, seed);
    return image;
}

// Largest difference of one channel between the image and interleaved
// R, G, B (or grey, components = 1) samples of the same size.
int MaxDifference(const CImageEx& image, const std::vector<std::uint8_t>& samples, int components)
{
    int worst = 0;
    std::size_t i = 0;
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x, i += components)
        {
            const std::uint8_t* bgr = image.GetPixelAddress(x, y);
            for (int c = 0; c < 3; ++c)
            {
                const int expected = samples[i + (components == 1 ? 0 : c)];
                worst = std::max(worst, std::abs(bgr[2 - c] - expected));
            }
        }
    return worst;
}

// --- Round trips through SaveImageFile -----------------------------------------

TEST(CImageExLoad, TiffRoundTripIsExact)
{
    TempDir dir;
    // Widths whose rows need 0, 1, 2 and 3 bytes of padding.
    for (const auto& [width, height] : {std::pair{1, 1}, {4, 3}, {37, 23}, {66, 5}, {3, 40}})
    {
        SCOPED_TRACE(testing::Message() << width << " x " << height);
        const CImageEx source = NoiseImage(width, height, static_cast<std::uint32_t>(width));
        const std::string path = dir.File("rt.tif");
        ASSERT_TRUE(SaveImageFile({}, kImageFileTiff8, source, path, 300.0f, 240.0f, 2));
        CImageEx loaded;
        ASSERT_TRUE(loaded.Load(path));
        EXPECT_TRUE(SamePixels(source, loaded));
        EXPECT_FLOAT_EQ(loaded.GetXDpi(), 300.0f);
        EXPECT_FLOAT_EQ(loaded.GetYDpi(), 240.0f);
    }
}

TEST(CImageExLoad, JpegAtLevel4RoundTripsWithinTolerance)
{
    TempDir dir;
    const int width = 61;
    const int height = 29;
    const std::vector<std::uint8_t> rgb = SmoothSamples(width, height, 3);
    CImageEx source;
    ASSERT_TRUE(source.Create(width, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            const std::uint8_t* in = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            std::uint8_t* out = source.GetPixelAddress(x, y);
            out[0] = in[2], out[1] = in[1], out[2] = in[0];
        }
    const std::string path = dir.File("rt.jpg");
    ASSERT_TRUE(SaveImageFile({}, kImageFileJpeg, source, path, 150.0f, 150.0f, 4));
    CImageEx loaded;
    ASSERT_TRUE(loaded.Load(path));
    ASSERT_EQ(loaded.GetWidth(), width);
    ASSERT_EQ(loaded.GetHeight(), height);
    // Quality 100 with 4:2:0 chroma on a smooth ramp: one or two levels.
    // A swap of red and blue would be off by 50.
    EXPECT_LE(MaxDifference(loaded, rgb, 3), 2);
    EXPECT_FLOAT_EQ(loaded.GetXDpi(), 150.0f);
}

// --- Files of other writers --------------------------------------------------

TEST(CImageExLoad, TiffLayoutsOfOtherWriters)
{
    const std::uint32_t w = 40;
    const std::uint32_t h = 20;
    const std::vector<std::uint8_t> rgb = NoiseBytes(w * h * 3, 5);
    const std::vector<std::uint8_t> grey = NoiseBytes(w * h, 6);
    std::vector<std::uint16_t> rgb16(w * h * 3);
    for (std::size_t i = 0; i < rgb16.size(); ++i)
        rgb16[i] = static_cast<std::uint16_t>(rgb[i] << 8 | (255 - rgb[i]));
    struct Case
    {
        const char* name;
        TiffFixture fixture;
        int components; // of the expected samples: 3 rgb, 1 grey
    };
    const Case cases[] = {
        {"one strip", {.width = w, .height = h, .rowsPerStrip = h, .samples8 = rgb}, 3},
        {"strips of 3 rows", {.width = w, .height = h, .rowsPerStrip = 3, .samples8 = rgb}, 3},
        {"LZW", {.width = w, .height = h, .compression = COMPRESSION_LZW, .samples8 = rgb}, 3},
        {"Deflate",
         {.width = w, .height = h, .compression = COMPRESSION_ADOBE_DEFLATE, .samples8 = rgb},
         3},
        {"PackBits",
         {.width = w, .height = h, .compression = COMPRESSION_PACKBITS, .samples8 = rgb},
         3},
        {"tiles hanging over both edges",
         {.width = w, .height = h, .tileSide = 16, .samples8 = rgb},
         3},
        {"big-endian", {.width = w, .height = h, .bigEndian = true, .samples8 = rgb}, 3},
        {"16-bit keeps the high byte",
         {.width = w, .height = h, .bits = 16, .samples16 = rgb16},
         3},
        {"16-bit big-endian, LZW",
         {.width = w,
          .height = h,
          .bits = 16,
          .compression = COMPRESSION_LZW,
          .bigEndian = true,
          .samples16 = rgb16},
         3},
        {"greyscale",
         {.width = w,
          .height = h,
          .samples = 1,
          .photometric = PHOTOMETRIC_MINISBLACK,
          .samples8 = grey},
         1},
    };
    TempDir dir;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("layout.tif");
        ASSERT_TRUE(WriteTiff(path, c.fixture));
        CImageEx image;
        ASSERT_TRUE(image.Load(path));
        ASSERT_EQ(image.GetWidth(), static_cast<int>(w));
        ASSERT_EQ(image.GetHeight(), static_cast<int>(h));
        EXPECT_EQ(MaxDifference(image, c.components == 1 ? grey : rgb, c.components), 0);
    }
}

TEST(CImageExLoad, JpegCompressedYCbCrTiff)
{
    TempDir dir;
    const std::vector<std::uint8_t> rgb = SmoothSamples(48, 32, 3);
    const std::string path = dir.File("ycc.tif");
    ASSERT_TRUE(WriteTiff(path, {.width = 48,
                                 .height = 32,
                                 .photometric = PHOTOMETRIC_YCBCR,
                                 .compression = COMPRESSION_JPEG,
                                 .rowsPerStrip = 16,
                                 .samples8 = rgb}));
    CImageEx image;
    ASSERT_TRUE(image.Load(path));
    EXPECT_LE(MaxDifference(image, rgb, 3), 8); // libtiff writes quality 75
}

TEST(CImageExLoad, AProbedFileDecodesFromItsOpenFile)
{
    // The file is removed after the probe and its name given to other
    // bytes: a decoder that opened the name again would fail or differ.
    const std::vector<std::uint8_t> rgb = NoiseBytes(40 * 24 * 3, 9);
    const std::vector<std::uint8_t> grey = NoiseBytes(40 * 24, 10);
    const std::vector<std::uint8_t> icc = NoiseBytes(300, 11);
    struct Case
    {
        const char* name;
        bool jpeg;
        JpegFixture jpegFixture;
        TiffFixture tiffFixture;
    };
    const Case cases[] = {
        {"jpeg with profile and EXIF",
         true,
         {.width = 40, .height = 24, .exif = MakeExif(6, 300, 300, 2), .icc = icc},
         {}},
        {"progressive greyscale jpeg",
         true,
         {.width = 40, .height = 24, .inSpace = JCS_GRAYSCALE, .components = 1, .progressive = true},
         {}},
        {"tiff with profile", false, {}, {.width = 40, .height = 24, .icc = icc, .samples8 = rgb}},
        {"tiled greyscale tiff",
         false,
         {},
         {.width = 40,
          .height = 24,
          .samples = 1,
          .photometric = PHOTOMETRIC_MINISBLACK,
          .tileSide = 16,
          .samples8 = grey}},
    };
    TempDir dir;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(c.jpeg ? "probed.jpg" : "probed.tif");
        ASSERT_TRUE(c.jpeg ? WriteJpeg(path, c.jpegFixture) : WriteTiff(path, c.tiffFixture));
        CImageEx byName;
        ASSERT_TRUE(byName.Load(path, 20));
        std::vector<std::uint8_t> profile;
        LoadEmbeddedProfile(path, profile);
        ImageProbeResult unkept;
        const bool accepted = ProbeImageFile(path, unkept);

        ImageProbeResult probe;
        ProbedImageFile opened;
        EXPECT_EQ(ProbeImageFile(path, probe, &opened), accepted);
        ASSERT_TRUE(opened.IsOpen());
        EXPECT_EQ(probe.profile, profile);
        EXPECT_EQ(probe.orientation, unkept.orientation);
        ASSERT_EQ(std::remove(path.c_str()), 0);
        WriteBytes(path, "II*\0 not the probed file");

        CImageEx decoded;
        ASSERT_TRUE(decoded.Load(std::move(opened), 20));
        EXPECT_FALSE(opened.IsOpen()); // the file is closed after its decoding
        EXPECT_TRUE(SamePixels(decoded, byName));
        EXPECT_EQ(decoded.GetXDpi(), byName.GetXDpi());
        EXPECT_EQ(decoded.GetYDpi(), byName.GetYDpi());

        // Nothing left to decode.
        EXPECT_FALSE(decoded.Load(std::move(opened)));
        EXPECT_TRUE(decoded.IsNull());
    }
}

// A decode tells how many of its rows are done, for a thread that shows
// the progress of a load: all of them at the end, a share on the way.
TEST(CImageExLoad, DecodeTellsTheShareOfItsRowsDone)
{
    TempDir dir;
    const CImageEx source = NoiseImage(96, 300, 7);
    for (const int type : {kImageFileJpeg, kImageFileTiff8})
    {
        SCOPED_TRACE(type);
        const std::string path = dir.File(type == kImageFileJpeg ? "rows.jpg" : "rows.tif");
        ASSERT_TRUE(SaveImageFile({}, type, source, path, 300.0f, 300.0f, 2));
        std::atomic<double> decoded{0.0};
        CImageEx loaded;
        ASSERT_TRUE(loaded.Load(path, 0, &decoded));
        EXPECT_EQ(decoded.load(), 1.0);

        // A reduced decode counts the rows it makes.
        decoded = 0.0;
        ASSERT_TRUE(loaded.Load(path, 40, &decoded));
        EXPECT_EQ(decoded.load(), 1.0);
    }
}

TEST(CImageExLoad, JpegColourSpaces)
{
    struct Case
    {
        const char* name;
        JpegFixture fixture;
        bool loads;
    };
    const Case cases[] = {
        {"YCbCr", {.width = 40, .height = 24, .quality = 98}, true},
        {"stored RGB", {.width = 40, .height = 24, .storeRgb = true, .quality = 98}, true},
        {"progressive", {.width = 40, .height = 24, .quality = 98, .progressive = true}, true},
        {"greyscale",
         {.width = 40, .height = 24, .inSpace = JCS_GRAYSCALE, .components = 1, .quality = 98},
         true},
        {"CMYK", {.width = 40, .height = 24, .inSpace = JCS_CMYK, .components = 4}, false},
    };
    TempDir dir;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("cs.jpg");
        ASSERT_TRUE(WriteJpeg(path, c.fixture));
        CImageEx image;
        ASSERT_EQ(image.Load(path), c.loads);
        if (!c.loads)
        {
            EXPECT_TRUE(image.IsNull());
            continue;
        }
        const auto samples = SmoothSamples(c.fixture.width, c.fixture.height, c.fixture.components);
        EXPECT_LE(MaxDifference(image, samples, c.fixture.components), 3);
    }
}

TEST(CImageExLoad, ResolutionComesFromTheFile)
{
    TempDir dir;
    struct Case
    {
        const char* name;
        bool jpeg;
        JpegFixture jpegFixture;
        TiffFixture tiffFixture;
        float x;
        float y;
    };
    const Case cases[] = {
        {"JPEG dots per cm",
         true,
         {.densityUnit = 2, .xDensity = 100, .yDensity = 40},
         {},
         254.0f,
         101.6f},
        {"JPEG aspect only", true, {.densityUnit = 0}, {}, 96.0f, 96.0f},
        {"JPEG EXIF only",
         true,
         {.jfif = false, .exif = MakeExif(1, 350, 350, 2)},
         {},
         350.0f,
         350.0f},
        {"TIFF inch",
         false,
         {},
         {.writeResolution = true, .xResolution = 300.0f, .yResolution = 72.0f},
         300.0f,
         72.0f},
        {"TIFF without", false, {}, {}, 96.0f, 96.0f},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("res.img");
        ASSERT_TRUE(c.jpeg ? WriteJpeg(path, c.jpegFixture) : WriteTiff(path, c.tiffFixture));
        CImageEx image;
        image.SetResolution(1.0f, 1.0f);
        ASSERT_TRUE(image.Load(path));
        EXPECT_FLOAT_EQ(image.GetXDpi(), c.x);
        EXPECT_FLOAT_EQ(image.GetYDpi(), c.y);
    }
}

TEST(CImageExLoad, OrientationIsNotApplied)
{
    TempDir dir;
    const std::string jpeg = dir.File("o.jpg");
    ASSERT_TRUE(WriteJpeg(
        jpeg, {.width = 30, .height = 10, .jfif = false, .exif = MakeExif(6, 72, 72, 2)}));
    const std::string tiff = dir.File("o.tif");
    ASSERT_TRUE(WriteTiff(tiff, {.width = 30, .height = 10, .orientation = 6}));
    for (const std::string& path : {jpeg, tiff})
    {
        CImageEx image;
        ASSERT_TRUE(image.Load(path));
        EXPECT_EQ(image.GetWidth(), 30);
        EXPECT_EQ(image.GetHeight(), 10);
    }
}

// libjpeg scales by 1/2, 1/4 or 1/8 while decoding; the smallest scale whose
// longer side still reaches maxSide is used.
TEST(CImageExLoad, ReducedJpegDecode)
{
    TempDir dir;
    const std::string jpeg = dir.File("big.jpg");
    ASSERT_TRUE(WriteJpeg(jpeg, {.width = 400, .height = 300}));
    const std::string portrait = dir.File("tall.jpg");
    ASSERT_TRUE(WriteJpeg(portrait, {.width = 300, .height = 400}));
    struct Case
    {
        const std::string* path;
        int maxSide;
        int width;
        int height;
    };
    const Case cases[] = {
        {&jpeg, 0, 400, 300},       {&jpeg, 401, 400, 300},    {&jpeg, 400, 400, 300},
        {&jpeg, 201, 400, 300},     {&jpeg, 200, 200, 150},    {&jpeg, 150, 200, 150},
        {&jpeg, 100, 100, 75},      {&jpeg, 50, 50, 38},       {&jpeg, 1, 50, 38},
        {&portrait, 160, 150, 200}, {&portrait, 100, 75, 100},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << *c.path << " maxSide " << c.maxSide);
        CImageEx image;
        ASSERT_TRUE(image.Load(*c.path, c.maxSide));
        EXPECT_EQ(image.GetWidth(), c.width);
        EXPECT_EQ(image.GetHeight(), c.height);
    }
    // A TIFF is always read whole.
    const std::string tiff = dir.File("big.tif");
    ASSERT_TRUE(WriteTiff(tiff, {.width = 400, .height = 300}));
    CImageEx image;
    ASSERT_TRUE(image.Load(tiff, 100));
    EXPECT_EQ(image.GetWidth(), 400);
}

// --- Refusals and damaged files ----------------------------------------------

TEST(CImageExLoad, RefusedFilesLeaveTheImageEmpty)
{
    TempDir dir;
    struct Case
    {
        const char* name;
        bool jpeg;
        JpegFixture jpegFixture;
        TiffFixture tiffFixture;
        std::string raw; // written as is when not empty
    };
    const Case cases[] = {
        {"palette TIFF", false, {}, {.samples = 1, .photometric = PHOTOMETRIC_PALETTE}, ""},
        {"separate planes", false, {}, {.planar = PLANARCONFIG_SEPARATE}, ""},
        {"RGB with alpha", false, {}, {.samples = 4}, ""},
        {"16-bit greyscale",
         false,
         {},
         {.bits = 16, .samples = 1, .photometric = PHOTOMETRIC_MINISBLACK},
         ""},
        {"JPEG wider than 32767", true, {.width = 32768, .height = 2}, {}, ""},
        {"not an image", false, {}, {}, "hello"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("refused.img");
        if (!c.raw.empty())
            WriteBytes(path, c.raw);
        else
            ASSERT_TRUE(c.jpeg ? WriteJpeg(path, c.jpegFixture) : WriteTiff(path, c.tiffFixture));
        CImageEx image = NoiseImage(5, 5, 1);
        EXPECT_FALSE(image.Load(path));
        EXPECT_TRUE(image.IsNull());
    }
    CImageEx image = NoiseImage(5, 5, 1);
    EXPECT_FALSE(image.Load(dir.File("missing.jpg")));
    EXPECT_TRUE(image.IsNull());
}

// Every proper prefix of a JPEG lacks at least its end-of-image marker; none
// may load (libjpeg would pad the picture with grey) or read out of bounds.
TEST(CImageExLoad, TruncatedJpegFailsCleanly)
{
    TempDir dir;
    const std::string whole = dir.File("whole.jpg");
    ASSERT_TRUE(WriteJpeg(whole, {.width = 48, .height = 40, .progressive = true}));
    const std::string bytes = ReadBytes(whole);
    const std::string path = dir.File("cut.jpg");
    for (std::size_t length = 0; length < bytes.size();
         length += (length + 8 < bytes.size() ? 5 : 1))
    {
        SCOPED_TRACE(length);
        WriteBytes(path, bytes.substr(0, length));
        CImageEx image;
        EXPECT_FALSE(image.Load(path));
        EXPECT_TRUE(image.IsNull());
    }
    CImageEx image;
    EXPECT_TRUE(image.Load(whole));
}

TEST(CImageExLoad, TruncatedTiffFailsCleanly)
{
    TempDir dir;
    const std::string whole = dir.File("whole.tif");
    for (const TiffFixture& fixture :
         {TiffFixture{.width = 30, .height = 20, .rowsPerStrip = 4},
          TiffFixture{.width = 30, .height = 20, .compression = COMPRESSION_LZW},
          TiffFixture{.width = 40, .height = 20, .tileSide = 16}})
    {
        ASSERT_TRUE(WriteTiff(whole, fixture));
        const std::string bytes = ReadBytes(whole);
        const std::string path = dir.File("cut.tif");
        // libtiff writes the image data before the directory: a file cut
        // anywhere in its first half has lost pixels or its directory.
        for (std::size_t length = 0; length < bytes.size(); length += 7)
        {
            SCOPED_TRACE(length);
            WriteBytes(path, bytes.substr(0, length));
            CImageEx image;
            const bool loaded = image.Load(path);
            if (length < bytes.size() / 2)
            {
                EXPECT_FALSE(loaded);
            }
            EXPECT_EQ(loaded, !image.IsNull());
        }
    }
}

// A file opened by the probe and cut short by another program before its
// pixels are read: the reads past the new end fail the decode and nothing
// is written outside libtiff's buffers (AddressSanitizer).
TEST(CImageExLoad, AFileShrunkAfterItsProbeFailsCleanly)
{
    TempDir dir;
    const std::string path = dir.File("shrinking.tif");
    for (const TiffFixture& fixture :
         {TiffFixture{.width = 300, .height = 200, .rowsPerStrip = 200},
          TiffFixture{.width = 300, .height = 200, .rowsPerStrip = 8},
          TiffFixture{.width = 300, .height = 200, .compression = COMPRESSION_LZW},
          TiffFixture{.width = 64, .height = 64, .tileSide = 32}})
    {
        ASSERT_TRUE(WriteTiff(path, fixture));
        ImageProbeResult probe;
        ProbedImageFile opened;
        ASSERT_TRUE(ProbeImageFile(path, probe, &opened));
        std::filesystem::resize_file(path, 16);
        CImageEx image;
        EXPECT_FALSE(image.Load(std::move(opened)));
        EXPECT_TRUE(image.IsNull());
    }
}

// Random damage anywhere in a file: whatever the outcome, no read out of
// bounds (AddressSanitizer) and a consistent image.
TEST(CImageExLoad, DamagedFilesNeverReadOutOfBounds)
{
    TempDir dir;
    const std::string jpeg = dir.File("d.jpg");
    ASSERT_TRUE(WriteJpeg(
        jpeg,
        {.width = 40, .height = 24, .exif = MakeExif(6, 72, 72, 2), .icc = NoiseBytes(500, 3)}));
    const std::string tiff = dir.File("d.tif");
    ASSERT_TRUE(WriteTiff(tiff, {.width = 40,
                                 .height = 24,
                                 .compression = COMPRESSION_LZW,
                                 .writeResolution = true,
                                 .xResolution = 300.0f,
                                 .yResolution = 300.0f,
                                 .icc = NoiseBytes(500, 4)}));
    for (const std::string& source : {jpeg, tiff})
    {
        const std::string original = ReadBytes(source);
        const std::string path = dir.File(source == jpeg ? "bad.jpg" : "bad.tif");
        for (std::uint32_t seed = 1; seed <= 150; ++seed)
        {
            SCOPED_TRACE(testing::Message() << source << " seed " << seed);
            std::string bytes = original;
            const auto noise = NoiseBytes(8, seed);
            for (int k = 0; k < 4; ++k)
            {
                // Keep the signature so that the damaged file reaches the codec.
                const std::size_t at =
                    4 + (std::size_t{noise[2 * k]} << 8 | noise[2 * k + 1]) % (bytes.size() - 4);
                bytes[at] = static_cast<char>(noise[2 * k] ^ noise[2 * k + 1] ^ 0x5A);
            }
            WriteBytes(path, bytes);
            CImageEx image;
            const bool loaded = image.Load(path);
            EXPECT_EQ(loaded, !image.IsNull());
            ImageProbeResult probe;
            ProbeImageFile(path, probe);
            std::vector<std::uint8_t> icc;
            LoadEmbeddedProfile(path, icc);
        }
    }
}

} // namespace
