#include "imagefile/TiffFile.h"

#include "tests/support/DngBuilder.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using testsupport::TempDir;

// Deterministic pixels with every channel and bit position exercised.
std::vector<RGB16> MakePixels(std::uint32_t width, std::uint32_t height, std::uint32_t seed = 1)
{
    std::vector<RGB16> pixels(std::size_t{width} * height);
    std::uint32_t state = seed * 2654435761u + 12345u;
    for (RGB16& p : pixels)
    {
        state = state * 1664525u + 1013904223u;
        p.r = static_cast<std::uint16_t>(state >> 16);
        state = state * 1664525u + 1013904223u;
        p.g = static_cast<std::uint16_t>(state >> 16);
        state = state * 1664525u + 1013904223u;
        p.b = static_cast<std::uint16_t>(state >> 16);
    }
    return pixels;
}

// What an 8-bit file of the same pixels reads back as: the high byte, widened by 256.
std::vector<RGB16> As8Bit(std::vector<RGB16> pixels)
{
    for (RGB16& p : pixels)
        p = {static_cast<std::uint16_t>(p.r & 0xFF00), static_cast<std::uint16_t>(p.g & 0xFF00),
             static_cast<std::uint16_t>(p.b & 0xFF00)};
    return pixels;
}

bool SamePixels(const std::vector<RGB16>& a, const std::vector<RGB16>& b)
{
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(RGB16)) == 0);
}

// How a libtiff fixture departs from a plain RGB file.
struct LibtiffOptions
{
    std::uint16_t bits = 16;
    std::uint32_t rowsPerStrip = 0; // 0: libtiff's choice of one strip
    std::vector<std::uint8_t> icc;
    std::uint16_t compression = COMPRESSION_NONE;
    std::uint16_t samples = 3;
    std::uint16_t photometric = PHOTOMETRIC_RGB;
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    bool colorMap = false;
    bool secondIfd = false;
    bool stripsBackwards = false; // the strips stored in the file last first
};

void WriteLibtiff(const std::string& path, const char* mode, std::uint32_t width,
                  std::uint32_t height, const std::vector<RGB16>& pixels, const LibtiffOptions& o)
{
    TIFF* tif = TIFFOpen(path.c_str(), mode);
    ASSERT_NE(tif, nullptr);
    const std::uint32_t rows = o.rowsPerStrip != 0 ? o.rowsPerStrip : height;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, o.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, o.samples);
    if (o.samples == 4)
    {
        const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, o.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, o.planar);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, o.compression);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, 300.0f);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, 150.0f);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    if (!o.icc.empty())
        TIFFSetField(tif, TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(o.icc.size()),
                     o.icc.data());
    std::vector<std::uint16_t> map(o.colorMap ? std::size_t{1} << o.bits : 0, 0);
    if (o.colorMap)
        TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data(), map.data());

    // One strip's samples, interleaved (or planes, for the separate layout).
    const std::size_t bytesPerSample = o.bits / 8;
    const auto stripData = [&](std::uint32_t strip, std::uint16_t plane) {
        std::vector<std::uint8_t> data;
        const std::uint32_t first = strip * rows;
        const std::uint32_t last = std::min(height, first + rows);
        for (std::uint32_t y = first; y < last; ++y)
            for (std::uint32_t x = 0; x < width; ++x)
            {
                const RGB16& p = pixels[std::size_t{y} * width + x];
                const std::uint16_t channels[4] = {p.r, p.g, p.b, 0xFFFF};
                for (std::uint16_t c = 0; c < o.samples; ++c)
                {
                    if (o.planar == PLANARCONFIG_SEPARATE && c != plane)
                        continue;
                    const std::uint32_t v = o.bits == 8    ? channels[c] >> 8u
                                            : o.bits == 32 ? std::uint32_t{channels[c]} << 16
                                                           : channels[c];
                    std::uint8_t bytes[4];
                    std::memcpy(bytes, &v, 4); // native order: libtiff swaps for "wb"
                    data.insert(data.end(), bytes, bytes + bytesPerSample);
                }
            }
        return data;
    };
    const std::uint32_t strips = (height + rows - 1) / rows;
    const std::uint16_t planes = o.planar == PLANARCONFIG_SEPARATE ? o.samples : 1;
    for (std::uint16_t plane = 0; plane < planes; ++plane)
        for (std::uint32_t k = 0; k < strips; ++k)
        {
            const std::uint32_t strip = o.stripsBackwards ? strips - 1 - k : k;
            std::vector<std::uint8_t> data = stripData(strip, plane);
            ASSERT_GE(TIFFWriteEncodedStrip(tif, strip + plane * strips, data.data(),
                                            static_cast<tmsize_t>(data.size())),
                      0);
        }
    if (o.secondIfd)
    {
        ASSERT_TRUE(TIFFWriteDirectory(tif));
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 2u);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 1u);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 1u);
        std::uint8_t small[6] = {1, 2, 3, 4, 5, 6};
        ASSERT_GE(TIFFWriteEncodedStrip(tif, 0, small, 6), 0);
    }
    TIFFClose(tif);
}

// Reads the whole image with our reader; empty when any step fails.
std::vector<RGB16> ReadOurs(const std::string& path, std::vector<std::string>* trace = nullptr)
{
    CTiffFile file(trace ? TiffTraceSink([trace](std::string_view l) { trace->emplace_back(l); })
                         : TiffTraceSink{});
    std::uint32_t w = 0;
    std::uint32_t h = 0;
    if (!file.Open(path, CTiffFile::kModeRead) || !file.ReadHeader() || !file.GetSize(w, h))
        return {};
    std::vector<RGB16> all;
    std::vector<RGB16> line;
    for (std::uint32_t y = 0; y < h; ++y)
    {
        if (!file.GetLine(y, line))
            return {};
        all.insert(all.end(), line.begin(), line.end());
    }
    if (!file.Close())
        return {};
    return all;
}

// The pixels of a 16-bit file read in bands of `band` lines by
// ReadLines16, the last band first, twice over: the second pass reads what
// the first one gave back to the system. Empty when a read fails.
std::vector<RGB16> ReadOursInBands(const std::string& path, std::uint32_t band)
{
    CTiffFile file;
    std::uint32_t w = 0;
    std::uint32_t h = 0;
    if (!file.Open(path, CTiffFile::kModeRead) || !file.ReadHeader() || !file.GetSize(w, h))
        return {};
    std::vector<RGB16> all(std::size_t{w} * h);
    for (int pass = 0; pass < 2; ++pass)
    {
        std::fill(all.begin(), all.end(), RGB16{0, 0, 0});
        for (std::uint32_t first = (h - 1) / band * band;; first -= band)
        {
            if (!file.ReadLines16(first, std::min(band, h - first), &all[std::size_t{first} * w]))
                return {};
            if (first == 0)
                break;
        }
    }
    return all;
}

std::vector<std::uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return std::uint32_t{b.at(at)} | std::uint32_t{b.at(at + 1)} << 8 |
           std::uint32_t{b.at(at + 2)} << 16 | std::uint32_t{b.at(at + 3)} << 24;
}

std::vector<std::uint8_t> MakeProfileBytes(std::size_t size)
{
    std::vector<std::uint8_t> icc(size);
    for (std::size_t i = 0; i < size; ++i)
        icc[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return icc;
}

// Writes pixels with our writer; false when any step fails.
bool WriteOurs(const std::string& path, const TiffNewHeader& header,
               const std::vector<RGB16>& pixels)
{
    CTiffFile file;
    if (!file.Open(path, CTiffFile::kModeWrite) || !file.SetHeaderNew(header))
        return false;
    for (std::uint32_t y = 0; y < header.height; ++y)
        if (!file.WriteLine(y,
                            std::span(pixels).subspan(std::size_t{y} * header.width, header.width)))
            return false;
    return file.Close();
}

TiffNewHeader Header(std::uint32_t w, std::uint32_t h, std::uint16_t bits = 16,
                     std::uint32_t rows = 0, std::vector<std::uint8_t> icc = {})
{
    TiffNewHeader header;
    header.width = w;
    header.height = h;
    header.bit = {bits, bits, bits};
    header.hRes = 350;
    header.vRes = 300;
    header.rowsPerStrip = rows;
    header.icc = std::move(icc);
    return header;
}

} // namespace

// Both byte orders, both depths and several strip layouts read the pixels
// libtiff wrote, and a big-endian file equals its little-endian twin.
TEST(TiffFileRead, ByteOrderTwinsReadTheSamePixels)
{
    struct Case
    {
        std::uint16_t bits;
        std::uint32_t rowsPerStrip;
        bool backwards;
    };
    const Case cases[] = {{16, 0, false}, {16, 1, false}, {16, 7, false}, {16, 7, true},
                          {8, 0, false},  {8, 4, false},  {8, 4, true}};
    const std::uint32_t w = 37;
    const std::uint32_t h = 23;
    const std::vector<RGB16> pixels = MakePixels(w, h);
    TempDir dir;
    for (const Case& c : cases)
    {
        SCOPED_TRACE("bits " + std::to_string(c.bits) + ", rows " + std::to_string(c.rowsPerStrip) +
                     (c.backwards ? ", strips backwards" : ""));
        LibtiffOptions o;
        o.bits = c.bits;
        o.rowsPerStrip = c.rowsPerStrip;
        o.stripsBackwards = c.backwards;
        WriteLibtiff(dir.File("le.tif"), "wl", w, h, pixels, o);
        WriteLibtiff(dir.File("be.tif"), "wb", w, h, pixels, o);
        const std::vector<RGB16> expected = c.bits == 8 ? As8Bit(pixels) : pixels;
        const std::vector<RGB16> le = ReadOurs(dir.File("le.tif"));
        const std::vector<RGB16> be = ReadOurs(dir.File("be.tif"));
        EXPECT_TRUE(SamePixels(le, expected));
        EXPECT_TRUE(SamePixels(be, le));
        // The band reader of the loader's threads gives the same lines, and
        // takes 16-bit files only.
        for (const char* name : {"le.tif", "be.tif"})
        {
            const std::vector<RGB16> bands = ReadOursInBands(dir.File(name), 5);
            if (c.bits == 16)
                EXPECT_TRUE(SamePixels(bands, expected)) << name;
            else
                EXPECT_TRUE(bands.empty()) << name;
        }
    }
}

// The band reader refuses lines outside the image.
TEST(TiffFileRead, BandsOutsideTheImageFail)
{
    TempDir dir;
    const std::string full = dir.File("full.tif");
    const std::vector<RGB16> pixels = MakePixels(10, 8);
    ASSERT_TRUE(WriteOurs(full, Header(10, 8, 16, 3), pixels));
    std::vector<RGB16> out(10 * 9);
    CTiffFile file;
    ASSERT_TRUE(file.Open(full, CTiffFile::kModeRead) && file.ReadHeader());
    EXPECT_TRUE(file.ReadLines16(0, 8, out.data()));
    EXPECT_TRUE(file.ReadLines16(8, 0, out.data()));
    EXPECT_FALSE(file.ReadLines16(7, 2, out.data()));
    EXPECT_FALSE(file.ReadLines16(9, 0, out.data()));
}

// libtiff stores small strip tables as SHORT values, two of them inside the
// entry itself; in a big-endian file those sit in the field's two halves.
TEST(TiffFileRead, ShortStripTablesFromLibtiff)
{
    const std::uint32_t w = 20;
    const std::uint32_t h = 10;
    const std::vector<RGB16> pixels = MakePixels(w, h, 5);
    TempDir dir;
    for (const char* mode : {"wl", "wb"})
    {
        SCOPED_TRACE(mode);
        LibtiffOptions o;
        o.bits = 8;
        o.rowsPerStrip = 5;
        const std::string path = dir.File("short.tif");
        WriteLibtiff(path, mode, w, h, pixels, o);

        // The fixture is what the case is about: StripByteCounts SHORT, count 2.
        const std::vector<std::uint8_t> b = ReadBytes(path);
        const bool big = b.at(0) == 'M';
        const auto get16 = [&](std::size_t at) {
            return big ? static_cast<std::uint16_t>(b.at(at) << 8 | b.at(at + 1)) : Le16(b, at);
        };
        const auto get32 = [&](std::size_t at) {
            return big ? (std::uint32_t{get16(at)} << 16 | get16(at + 2)) : Le32(b, at);
        };
        const std::uint32_t ifd = get32(4);
        bool found = false;
        for (std::uint16_t e = 0; e < get16(ifd); ++e)
        {
            const std::size_t at = ifd + 2 + 12u * e;
            if (get16(at) == 279)
            {
                found = true;
                EXPECT_EQ(get16(at + 2), 3);
                EXPECT_EQ(get32(at + 4), 2u);
            }
        }
        ASSERT_TRUE(found);

        CTiffFile file;
        ASSERT_TRUE(file.Open(path, CTiffFile::kModeRead));
        ASSERT_TRUE(file.ReadHeader());
        EXPECT_EQ(file.GetStripByteCounts(), (std::vector<std::uint32_t>{300, 300}));
        EXPECT_EQ(file.GetRowsPerStrip(), 5u);
        EXPECT_EQ(file.GetXResolution(), (std::vector<std::uint32_t>{300, 1}));
        EXPECT_EQ(file.GetYResolution(), (std::vector<std::uint32_t>{150, 1}));
        EXPECT_EQ(file.GetResolutionUnit(), RESUNIT_INCH);
        file.Close();
        EXPECT_TRUE(SamePixels(ReadOurs(path), As8Bit(pixels)));
    }
}

TEST(TiffFileRead, ProfileAndSecondDirectory)
{
    const std::uint32_t w = 9;
    const std::uint32_t h = 4;
    const std::vector<RGB16> pixels = MakePixels(w, h, 9);
    TempDir dir;
    LibtiffOptions o;
    o.icc = MakeProfileBytes(3144);
    o.secondIfd = true;
    for (const char* mode : {"wl", "wb"})
    {
        SCOPED_TRACE(mode);
        const std::string path = dir.File("two.tif");
        WriteLibtiff(path, mode, w, h, pixels, o);
        CTiffFile file;
        ASSERT_TRUE(file.Open(path, CTiffFile::kModeRead));
        ASSERT_TRUE(file.ReadHeader());
        EXPECT_EQ(file.GetIccProfile(), o.icc);
        EXPECT_EQ(file.GetIfdOffsets().size(), 2u);
        std::uint32_t rw = 0;
        std::uint32_t rh = 0;
        ASSERT_TRUE(file.GetSize(rw, rh));
        EXPECT_EQ(rw, w);
        EXPECT_EQ(rh, h);
        file.Close();
        EXPECT_TRUE(SamePixels(ReadOurs(path), pixels));
    }
}

// What the loader cannot take is refused when the header is read.
TEST(TiffFileRead, RefusesWhatTheLoaderCannotTake)
{
    struct Case
    {
        const char* name;
        LibtiffOptions options;
    };
    std::vector<Case> cases;
    cases.push_back({"colour map", {}});
    cases.back().options.colorMap = true;
    cases.back().options.bits = 8;
    cases.push_back({"LZW", {}});
    cases.back().options.compression = COMPRESSION_LZW;
    cases.push_back({"four samples", {}});
    cases.back().options.samples = 4;
    cases.push_back({"grey photometric", {}});
    cases.back().options.photometric = PHOTOMETRIC_MINISBLACK;
    cases.push_back({"separate planes", {}});
    cases.back().options.planar = PLANARCONFIG_SEPARATE;
    cases.push_back({"32 bits", {}});
    cases.back().options.bits = 32;

    TempDir dir;
    const std::vector<RGB16> pixels = MakePixels(8, 6);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("refused.tif");
        WriteLibtiff(path, "wl", 8, 6, pixels, c.options);
        std::vector<std::string> trace;
        CTiffFile file([&](std::string_view l) { trace.emplace_back(l); });
        ASSERT_TRUE(file.Open(path, CTiffFile::kModeRead));
        EXPECT_FALSE(file.ReadHeader());
        EXPECT_NE(
            std::find(trace.begin(), trace.end(), "Error : ReadIFD function return value error!"),
            trace.end());
        if (c.options.colorMap)
        {
            EXPECT_NE(std::find(trace.begin(), trace.end(), "Error : ColorMap is Un-Known."),
                      trace.end());
        }
        // A failed header read closes the file.
        std::vector<RGB16> line;
        EXPECT_FALSE(file.GetLine(0, line));
    }
}

// Every cut of a valid file fails cleanly (no read outside the buffers).
TEST(TiffFileRead, TruncatedFilesFail)
{
    TempDir dir;
    const std::string full = dir.File("full.tif");
    const std::vector<RGB16> pixels = MakePixels(10, 8);
    ASSERT_TRUE(WriteOurs(full, Header(10, 8, 16, 3, MakeProfileBytes(500)), pixels));
    const std::vector<std::uint8_t> bytes = ReadBytes(full);
    // Header 8, entries end at 8 + 2 + 168, the profile starts at 14 + 168 + 6 + 24 + 16 = 228.
    for (const std::size_t size :
         {std::size_t{0}, std::size_t{4}, std::size_t{9}, std::size_t{100}, std::size_t{180},
          std::size_t{230}, std::size_t{700}, bytes.size() - 1})
    {
        SCOPED_TRACE(size);
        const std::string cut = dir.File("cut.tif");
        {
            std::ofstream out(cut, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(size));
        }
        CTiffFile file;
        ASSERT_TRUE(file.Open(cut, CTiffFile::kModeRead));
        EXPECT_FALSE(file.ReadHeader());
    }
    EXPECT_TRUE(SamePixels(ReadOurs(full), pixels));
}

// Fields that hold nothing: a directory of no entries and a profile tag of
// count 0 ask the reader for zero bytes. Such a read succeeds at once
// without touching a buffer (an empty vector's data() may be null, which
// UBSan reports when it reaches memcpy), and the rest of the file reads as
// usual.
TEST(TiffFileRead, EmptyFieldsReadNothing)
{
    TempDir dir;
    const std::vector<RGB16> pixels = MakePixels(6, 4);
    std::vector<std::uint8_t> noProfile;
    {
        const std::string made = dir.File("made.tif");
        ASSERT_TRUE(WriteOurs(made, Header(6, 4, 16, 0, MakeProfileBytes(40)), pixels));
        noProfile = ReadBytes(made);
        // The profile is the last of the 14 entries: its count goes to 0.
        const std::size_t count = 10 + 12 * 13 + 4;
        ASSERT_EQ(Le16(noProfile, count - 4), 34675);
        std::fill_n(noProfile.begin() + count, 4, 0);
    }
    const auto emptyDirectory = [](bool bigEndian) {
        testsupport::TiffWriter writer(bigEndian);
        writer.AddIfd();
        return writer.Write();
    };
    struct Case
    {
        const char* name;
        std::vector<std::uint8_t> bytes;
        bool readable;
    };
    const Case cases[] = {
        {"directory of no entries, II", emptyDirectory(false), false},
        {"directory of no entries, MM", emptyDirectory(true), false},
        {"profile of no bytes", noProfile, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("empty.tif");
        ASSERT_TRUE(testsupport::DngBuilder::WriteBytes(path, c.bytes));
        CTiffFile file;
        ASSERT_TRUE(file.Open(path, CTiffFile::kModeRead));
        ASSERT_EQ(file.ReadHeader(), c.readable);
        if (!c.readable)
            continue;
        EXPECT_TRUE(file.GetIccProfile().empty());
        std::vector<RGB16> all;
        std::vector<RGB16> line;
        for (std::uint32_t y = 0; y < 4; ++y)
        {
            ASSERT_TRUE(file.GetLine(y, line));
            all.insert(all.end(), line.begin(), line.end());
        }
        EXPECT_TRUE(SamePixels(all, pixels));
    }
}

TEST(TiffFileRead, LineArguments)
{
    TempDir dir;
    const std::string path = dir.File("a.tif");
    const std::vector<RGB16> pixels = MakePixels(6, 3);
    ASSERT_TRUE(WriteOurs(path, Header(6, 3), pixels));
    CTiffFile file;
    ASSERT_TRUE(file.Open(path, CTiffFile::kModeRead));
    ASSERT_TRUE(file.ReadHeader());
    std::vector<RGB16> line;
    ASSERT_TRUE(file.GetLine(2, line, 4)); // a part of a line
    EXPECT_TRUE(SamePixels(line, std::vector<RGB16>(pixels.begin() + 12, pixels.begin() + 16)));
    ASSERT_TRUE(file.GetLine(1, line, 99)); // more than the width: the whole line
    EXPECT_EQ(line.size(), 6u);
    EXPECT_FALSE(file.GetLine(3, line)); // past the last line
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file.Close()); // already closed
}

TEST(TiffFileRead, MissingFileAndTrace)
{
    TempDir dir;
    std::vector<std::string> trace;
    CTiffFile file([&](std::string_view l) { trace.emplace_back(l); });
    trace.clear();
    EXPECT_FALSE(file.Open(dir.File("none.tif"), CTiffFile::kModeRead));
    EXPECT_EQ(trace, (std::vector<std::string>{"Start : Open Function.",
                                               "Error : FileOpen return value NULL error!"}));

    const std::string path = dir.File("a.tif");
    ASSERT_TRUE(WriteOurs(path, Header(2, 2), MakePixels(2, 2)));
    trace.clear();
    EXPECT_TRUE(file.Open(path, CTiffFile::kModeRead));
    EXPECT_EQ(trace,
              (std::vector<std::string>{"Start : Open Function.", "End   : Open Function."}));
}

// A new 100 x 50 16-bit file with a 3144-byte profile: 14 entries, the
// values after them, the image at 8 + 2 + 168 + 4 + 6 + 16 + 3144 = 3348.
TEST(TiffFileWrite, ExactLayoutWithProfile)
{
    TempDir dir;
    const std::string path = dir.File("new.tif");
    const std::vector<std::uint8_t> icc = MakeProfileBytes(3144);
    const std::vector<RGB16> pixels = MakePixels(100, 50);
    {
        CTiffFile file;
        ASSERT_TRUE(file.Open(path, CTiffFile::kModeWrite));
        ASSERT_TRUE(file.SetHeaderNew(Header(100, 50, 16, 0, icc)));
        // Only line 1 is written: the rest stays white.
        ASSERT_TRUE(file.WriteLine(1, std::span(pixels).subspan(100, 100)));
        ASSERT_TRUE(file.Close());
    }
    const std::vector<std::uint8_t> b = ReadBytes(path);
    ASSERT_EQ(b.size(), 3348u + 30000u);
    EXPECT_EQ(b[0], 'I');
    EXPECT_EQ(b[1], 'I');
    EXPECT_EQ(Le16(b, 2), 42);
    EXPECT_EQ(Le32(b, 4), 8u);
    EXPECT_EQ(Le16(b, 8), 14);
    struct Entry
    {
        std::uint16_t tag, type;
        std::uint32_t count, value;
    };
    const Entry expected[] = {
        {254, 4, 1, 0},  {256, 3, 1, 100},      {257, 3, 1, 50},   {258, 3, 3, 182},
        {259, 3, 1, 1},  {262, 3, 1, 2},        {273, 4, 1, 3348}, {277, 3, 1, 3},
        {278, 4, 1, 50}, {279, 4, 1, 30000},    {282, 5, 1, 188},  {283, 5, 1, 196},
        {296, 3, 1, 2},  {34675, 7, 3144, 204},
    };
    for (std::size_t i = 0; i < std::size(expected); ++i)
    {
        SCOPED_TRACE(expected[i].tag);
        const std::size_t at = 10 + 12 * i;
        EXPECT_EQ(Le16(b, at), expected[i].tag);
        EXPECT_EQ(Le16(b, at + 2), expected[i].type);
        EXPECT_EQ(Le32(b, at + 4), expected[i].count);
        EXPECT_EQ(Le32(b, at + 8), expected[i].value);
    }
    EXPECT_EQ(Le32(b, 178), 0u); // no next IFD
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(Le16(b, 182 + 2 * i), 16);
    EXPECT_EQ(Le32(b, 188), 350u);
    EXPECT_EQ(Le32(b, 192), 1u);
    EXPECT_EQ(Le32(b, 196), 300u);
    EXPECT_EQ(Le32(b, 200), 1u);
    EXPECT_TRUE(std::equal(icc.begin(), icc.end(), b.begin() + 204));
    EXPECT_EQ(std::memcmp(b.data() + 3348 + 600, pixels.data() + 100, 600), 0);
    for (const std::size_t at :
         {std::size_t{3348}, std::size_t{3348 + 599}, std::size_t{3348 + 1200}, b.size() - 1})
        EXPECT_EQ(b[at], 0xFF) << at;
}

// Several strips: the offsets and counts tables sit after the bits, the
// last strip holds the remaining lines; libtiff reads back what we wrote.
TEST(TiffFileWrite, StripsAndDepthsReadByLibtiff)
{
    struct Case
    {
        std::uint16_t bits;
        std::uint32_t rows;
        bool profile;
    };
    const Case cases[] = {{16, 16, false}, {16, 0, true}, {8, 7, true}, {8, 50, false}};
    TempDir dir;
    const std::uint32_t w = 100;
    const std::uint32_t h = 50;
    const std::vector<RGB16> pixels = MakePixels(w, h, 3);
    for (const Case& c : cases)
    {
        SCOPED_TRACE("bits " + std::to_string(c.bits) + ", rows " + std::to_string(c.rows));
        const std::string path = dir.File("ours.tif");
        const std::vector<std::uint8_t> icc =
            c.profile ? MakeProfileBytes(777) : std::vector<std::uint8_t>{};
        ASSERT_TRUE(WriteOurs(path, Header(w, h, c.bits, c.rows, icc), pixels));

        const std::vector<std::uint8_t> b = ReadBytes(path);
        const std::uint32_t rows = c.rows ? c.rows : h;
        const std::uint32_t strips = (h + rows - 1) / rows;
        const std::uint32_t n = c.profile ? 14 : 13;
        const std::uint32_t s = strips > 1 ? strips : 0;
        const std::uint32_t line = 3 * (c.bits / 8) * w;
        const std::uint32_t data =
            14 + 12 * n + 6 + 8 * s + 16 + static_cast<std::uint32_t>(icc.size());
        ASSERT_EQ(b.size(), data + line * h);
        if (strips > 1)
            for (std::uint32_t i = 0; i < strips; ++i)
            {
                const std::uint32_t at = 14 + 12 * n + 6;
                EXPECT_EQ(Le32(b, at + 4 * i), data + line * rows * i);
                const std::uint32_t lines = i + 1 < strips || h % rows == 0 ? rows : h % rows;
                EXPECT_EQ(Le32(b, at + 4 * strips + 4 * i), line * lines);
            }

        TIFF* tif = TIFFOpen(path.c_str(), "r");
        ASSERT_NE(tif, nullptr);
        std::vector<std::uint8_t> scan(static_cast<std::size_t>(TIFFScanlineSize(tif)));
        const std::vector<RGB16> expected = c.bits == 8 ? As8Bit(pixels) : pixels;
        for (std::uint32_t y = 0; y < h; ++y)
        {
            ASSERT_EQ(TIFFReadScanline(tif, scan.data(), y, 0), 1);
            std::vector<RGB16> got(w);
            for (std::uint32_t x = 0; x < w; ++x)
                for (int k = 0; k < 3; ++k)
                {
                    const std::size_t i = 3 * x + k;
                    const std::uint16_t v =
                        c.bits == 8 ? static_cast<std::uint16_t>(scan[i] << 8) : Le16(scan, 2 * i);
                    (k == 0 ? got[x].r : k == 1 ? got[x].g : got[x].b) = v;
                }
            ASSERT_TRUE(SamePixels(
                got, std::vector<RGB16>(expected.begin() + y * w, expected.begin() + (y + 1) * w)))
                << "line " << y;
        }
        std::uint32_t iccSize = 0;
        void* iccData = nullptr;
        EXPECT_EQ(TIFFGetField(tif, TIFFTAG_ICCPROFILE, &iccSize, &iccData) != 0, c.profile);
        if (c.profile)
        {
            EXPECT_TRUE(iccSize == icc.size() && std::memcmp(iccData, icc.data(), iccSize) == 0);
        }
        float xres = 0;
        TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres);
        EXPECT_FLOAT_EQ(xres, 350.0f);
        TIFFClose(tif);

        EXPECT_TRUE(SamePixels(ReadOurs(path), expected));
    }
}

TEST(TiffFileWrite, HeaderChecks)
{
    struct Case
    {
        const char* line;
        void (*change)(TiffNewHeader&);
    };
    const Case cases[] = {
        {"ERROR : (0) data.width value is Error", [](TiffNewHeader& h) { h.width = 0; }},
        {"ERROR : (0) data.height value is Error", [](TiffNewHeader& h) { h.height = 0; }},
        {"ERROR : (0) data.bit value is Error",
         [](TiffNewHeader& h) {
             h.bit = {0, 16, 16};
         }},
        {"ERROR : (0) data.color value is Error", [](TiffNewHeader& h) { h.color = 0; }},
        {"ERROR : (0) data.hRes value is Error", [](TiffNewHeader& h) { h.hRes = 0; }},
        {"ERROR : (0) data.vRes value is Error", [](TiffNewHeader& h) { h.vRes = 0; }},
        {"ERROR : (0) data.unit value is Error", [](TiffNewHeader& h) { h.unit = 0; }},
        {"ERROR : (0) data.width value is Error",
         [](TiffNewHeader& h) {
             h.width = 0;
             h.unit = 0;
         }},
        {"ERROR : (4) data.color value is non-support.", [](TiffNewHeader& h) { h.color = 4; }},
        {"ERROR : The image is too large for a TIFF file.",
         [](TiffNewHeader& h) {
             h.width = 40000;
             h.height = 40000;
         }},
    };
    TempDir dir;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.line);
        std::vector<std::string> trace;
        CTiffFile file([&](std::string_view l) { trace.emplace_back(l); });
        ASSERT_TRUE(file.Open(dir.File("bad.tif"), CTiffFile::kModeWrite));
        TiffNewHeader header = Header(4, 4);
        c.change(header);
        EXPECT_FALSE(file.SetHeaderNew(header));
        EXPECT_NE(std::find(trace.begin(), trace.end(), c.line), trace.end());
        EXPECT_FALSE(file.Close());
        EXPECT_FALSE(std::filesystem::exists(dir.File("bad.tif")));
    }
}

// Sizes beyond SHORT are written as LONG and read back.
TEST(TiffFileWrite, WideImageUsesLong)
{
    TempDir dir;
    const std::string path = dir.File("wide.tif");
    const std::vector<RGB16> pixels = MakePixels(70000, 2);
    ASSERT_TRUE(WriteOurs(path, Header(70000, 2, 8), pixels));
    const std::vector<std::uint8_t> b = ReadBytes(path);
    EXPECT_EQ(Le16(b, 10 + 12 + 2), 4); // ImageWidth LONG
    EXPECT_EQ(Le32(b, 10 + 12 + 8), 70000u);
    EXPECT_TRUE(SamePixels(ReadOurs(path), As8Bit(pixels)));
}

// The target is replaced only by a successful Close: an abandoned or failed
// write leaves the old file and no temporary beside it.
TEST(TiffFileWrite, OldFileSurvivesUntilClose)
{
    TempDir dir;
    const std::string path = dir.File("keep.tif");
    testsupport::WriteTextFile(path, "old contents");
    const std::vector<RGB16> pixels = MakePixels(5, 5);
    {
        CTiffFile file;
        ASSERT_TRUE(file.Open(path, CTiffFile::kModeWrite));
        ASSERT_TRUE(file.SetHeaderNew(Header(5, 5)));
        ASSERT_TRUE(file.WriteLine(0, std::span(pixels).first(5)));
        EXPECT_EQ(testsupport::ReadTextFile(path), "old contents");
    } // destroyed without Close
    EXPECT_EQ(testsupport::ReadTextFile(path), "old contents");
    {
        CTiffFile file;
        ASSERT_TRUE(file.Open(path, CTiffFile::kModeWrite));
        ASSERT_TRUE(file.SetHeaderNew(Header(5, 5)));
        EXPECT_FALSE(
            file.WriteLine(5, std::span(pixels).first(5))); // past the end: not a stream failure
        EXPECT_TRUE(file.Close());
    }
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        ++count;
    EXPECT_EQ(count, 1u);
    std::vector<RGB16> white(25, RGB16{0xFFFF, 0xFFFF, 0xFFFF});
    EXPECT_TRUE(SamePixels(ReadOurs(path), white));

    CTiffFile file;
    EXPECT_FALSE(file.Open(dir.File("missing/folder.tif"), CTiffFile::kModeWrite));
}
