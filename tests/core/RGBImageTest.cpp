#include "core/RGBImage.h"

#include "platform/File.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using testsupport::ReadTextFile;
using testsupport::TempDir;
using testsupport::WriteTextFile;

namespace {

// A pixel as R, G, B values, which GoogleTest compares and prints.
using Px = std::array<int, 3>;

Px PixelAt(CRGBImage& image, int x, int y)
{
    const RGB16 p = image.Lock()[static_cast<std::size_t>(y) * image.GetWidth() + x];
    image.Unlock();
    return {p.r, p.g, p.b};
}

void SetPixel(CRGBImage& image, int x, int y, RGB16 p)
{
    image.Lock()[static_cast<std::size_t>(y) * image.GetWidth() + x] = p;
    image.Unlock();
}

// An image whose every pixel differs from its neighbours, so that a pixel
// in the wrong place shows.
CRGBImage Pattern(int width, int height, std::uint32_t seed = 1)
{
    CRGBImage image(width, height);
    std::mt19937 random(seed);
    RGB16* p = image.Lock();
    for (std::size_t i = 0; i < image.GetPixelCount(); ++i)
        p[i] = RGB16{static_cast<std::uint16_t>(random()), static_cast<std::uint16_t>(random()),
                     static_cast<std::uint16_t>(random())};
    image.Unlock();
    return image;
}

// An image from rows of red values (green and blue derived from red so
// that channels are told apart).
CRGBImage FromRows(const std::vector<std::vector<int>>& rows)
{
    CRGBImage image(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
    for (std::size_t y = 0; y < rows.size(); ++y)
        for (std::size_t x = 0; x < rows[y].size(); ++x)
        {
            const int v = rows[y][x];
            SetPixel(image, static_cast<int>(x), static_cast<int>(y),
                     RGB16{static_cast<std::uint16_t>(v), static_cast<std::uint16_t>(2 * v),
                           static_cast<std::uint16_t>(65535 - v)});
        }
    return image;
}

bool SamePixels(CRGBImage& a, CRGBImage& b)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return false;
    const bool same = std::memcmp(a.Lock(), b.Lock(), a.GetPixelCount() * sizeof(RGB16)) == 0;
    a.Unlock();
    b.Unlock();
    return same;
}

std::uint64_t FileSize(const std::string& path)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
}

// A raw file of the given header and pixel bytes, and extra bytes (or
// fewer when negative) at its end.
std::string RawFile(std::uint32_t width, std::uint32_t height, long long pixelBytes)
{
    std::string data(8 + static_cast<std::size_t>(std::max(0LL, pixelBytes)), '\x07');
    for (int i = 0; i < 4; ++i)
    {
        data[i] = static_cast<char>(width >> (8 * i));
        data[4 + i] = static_cast<char>(height >> (8 * i));
    }
    return data;
}

// Opens a file with the given open(2) flags for the File forms (a file
// opened read-only shows that a write fails), closed on scope exit.
class File
{
public:
    File(const std::string& path, int flags)
    {
        m_file.Adopt(::open(path.c_str(), flags | O_CLOEXEC, 0644));
        EXPECT_TRUE(m_file.IsOpen()) << path;
    }
    platform::File& Get() { return m_file; }

private:
    platform::File m_file;
};

// Records the (done, total) reports, answers false at report number
// cancelAt (1-based), and notes whether the image was locked during each.
struct Recorder final : IProgressSink
{
    explicit Recorder(const CRGBImage* watched = nullptr, int cancelOnCall = 0)
        : image(watched), cancelAt(cancelOnCall)
    {}

    const CRGBImage* image;
    int cancelAt;
    std::vector<std::pair<int, int>> calls;
    bool alwaysLocked = true;
    bool refused = false; // a report was answered false

    bool Report(double) override { return true; }
    bool Report(std::int64_t done, std::int64_t total) override
    {
        calls.emplace_back(static_cast<int>(done), static_cast<int>(total));
        if (image != nullptr && !image->IsLocked())
            alwaysLocked = false;
        if (static_cast<int>(calls.size()) == cancelAt)
            refused = true;
        return static_cast<int>(calls.size()) != cancelAt;
    }
};

// --- Storage ------------------------------------------------------------------

TEST(RGBImage, CreateKeepsPixelsWhenThePixelCountStays)
{
    CRGBImage image = Pattern(100, 200);
    const Px first = PixelAt(image, 0, 0);
    const Px last = PixelAt(image, 99, 199);
    ASSERT_TRUE(image.Create(200, 100));
    EXPECT_EQ(image.GetWidth(), 200);
    EXPECT_EQ(image.GetHeight(), 100);
    EXPECT_EQ(PixelAt(image, 0, 0), first);
    EXPECT_EQ(PixelAt(image, 199, 99), last);

    // Another count gives a fresh black image.
    ASSERT_TRUE(image.Create(3, 3));
    EXPECT_EQ(image.GetPixelCount(), 9u);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(PixelAt(image, x, y), (Px{0, 0, 0}));
    EXPECT_FALSE(image.IsLocked());
}

TEST(RGBImage, ANewImageIsBlackWhateverItsSize)
{
    // Large images take their memory with huge pages asked for before it is
    // cleared; a block that malloc hands back may hold an older image.
    const std::vector<std::pair<int, int>> sizes = {{3, 3}, {1024, 1024}, {1001, 777}, {700, 1}};
    for (const auto& [width, height] : sizes)
    {
        {
            CRGBImage before = Pattern(width + 1, height);
        }
        CRGBImage image;
        ASSERT_TRUE(image.Create(width, height)) << width << "x" << height;
        const RGB16* p = image.Lock();
        std::size_t lit = 0;
        for (std::size_t i = 0; i < image.GetPixelCount(); ++i)
            lit += (p[i].r | p[i].g | p[i].b) != 0 ? 1 : 0;
        image.Unlock();
        EXPECT_EQ(lit, 0u) << width << "x" << height;
    }
}

TEST(RGBImage, CreateOfNoOrImpossiblePixelsLeavesTheImageEmpty)
{
    struct Case
    {
        int width;
        int height;
    };
    for (const Case c : {Case{0, 0}, Case{0, 10}, Case{10, 0}, Case{-2, -5}, Case{-10, 10},
                         Case{32768, 1}, Case{1, 32768}, Case{0x7FFFFFFF, 0x7FFFFFFF}})
    {
        CRGBImage image = Pattern(10, 10);
        EXPECT_FALSE(image.Create(c.width, c.height)) << c.width << " x " << c.height;
        EXPECT_TRUE(image.IsEmpty());
        EXPECT_EQ(image.GetWidth(), 0);
        EXPECT_EQ(image.GetHeight(), 0);
    }
    CRGBImage constructed(4, 5);
    EXPECT_FALSE(constructed.IsEmpty());
    EXPECT_EQ(constructed.GetPixelCount(), 20u);
}

TEST(RGBImage, CopiesAreDeepAndMovesEmptyTheSource)
{
    CRGBImage original = Pattern(7, 3);
    CRGBImage copy(original);
    ASSERT_TRUE(SamePixels(copy, original));
    SetPixel(copy, 1, 1, RGB16{1, 2, 3});
    EXPECT_NE(PixelAt(original, 1, 1), (Px{1, 2, 3}));

    CRGBImage assigned(2, 2);
    assigned = original;
    EXPECT_TRUE(SamePixels(assigned, original));
    assigned = CRGBImage();
    EXPECT_TRUE(assigned.IsEmpty());

    CRGBImage moved(std::move(copy));
    EXPECT_EQ(PixelAt(moved, 1, 1), (Px{1, 2, 3}));
    EXPECT_TRUE(copy.IsEmpty());
    EXPECT_EQ(copy.GetWidth(), 0);
}

// --- Raw files ----------------------------------------------------------------

TEST(RGBImageRaw, TwoByOneImageGivesTheExactBytes)
{
    TempDir dir;
    const std::string path = dir.File("two.rgb");
    CRGBImage image(2, 1);
    SetPixel(image, 0, 0, RGB16{0x0102, 0x0304, 0x0506});
    SetPixel(image, 1, 0, RGB16{0xA1B2, 0xC3D4, 0xE5F6});
    {
        File file(path, O_WRONLY | O_CREAT | O_TRUNC);
        ASSERT_TRUE(image.WriteRaw(file.Get()));
    }
    const std::string expected("\x02\x00\x00\x00\x01\x00\x00\x00"
                               "\x02\x01\x04\x03\x06\x05"
                               "\xB2\xA1\xD4\xC3\xF6\xE5",
                               20);
    EXPECT_EQ(ReadTextFile(path), expected);
    EXPECT_FALSE(image.IsLocked());
}

// Round trips through both forms of reading and writing. Wide images
// (1048576 / 32767 = 32 rows a chunk) and tall ones go in several chunks;
// the progress reports the first row of each chunk, with the image locked.
TEST(RGBImageRaw, RoundTripsInOneGoAndInChunks)
{
    struct Case
    {
        int width;
        int height;
        std::vector<int> chunkRows; // rows reported by the chunked forms
    };
    const Case cases[] = {
        {1, 1, {}},
        {5, 3, {}},
        {1024, 1024, {}}, // exactly one chunk: one transfer
        {1024, 2500, {0, 1024, 2048}},
        {32767, 70, {0, 32, 64}},
    };
    TempDir dir;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        CRGBImage image = Pattern(c.width, c.height, static_cast<std::uint32_t>(c.width));
        const std::string plain = dir.File("plain.rgb");
        const std::string chunked = dir.File("chunked.rgb");
        ASSERT_TRUE(image.SaveRaw(plain));
        EXPECT_EQ(FileSize(plain), 8 + image.GetPixelCount() * 6);

        Recorder writes{&image};
        {
            File file(chunked, O_WRONLY | O_CREAT | O_TRUNC);
            ASSERT_TRUE(image.WriteRawChunked(file.Get(), writes));
        }
        EXPECT_FALSE(writes.refused);
        EXPECT_TRUE(ReadTextFile(plain) == ReadTextFile(chunked));

        CRGBImage fromPlain(3, 3);
        ASSERT_TRUE(fromPlain.LoadRaw(chunked));
        EXPECT_TRUE(SamePixels(fromPlain, image));

        CRGBImage fromChunks;
        Recorder reads{&fromChunks};
        {
            File file(plain, O_RDONLY);
            ASSERT_TRUE(fromChunks.ReadRawChunked(file.Get(), reads));
        }
        EXPECT_FALSE(reads.refused);
        EXPECT_TRUE(SamePixels(fromChunks, image));
        EXPECT_FALSE(fromChunks.IsLocked());
        EXPECT_FALSE(image.IsLocked());

        for (const Recorder* r : {&writes, &reads})
        {
            ASSERT_EQ(r->calls.size(), c.chunkRows.size());
            for (std::size_t i = 0; i < r->calls.size(); ++i)
            {
                EXPECT_EQ(r->calls[i].first, c.chunkRows[i]);
                EXPECT_EQ(r->calls[i].second, c.height);
            }
            EXPECT_TRUE(r->alwaysLocked);
        }
    }
}

// The slot form hands the slot done / total as a fraction.
TEST(RGBImageRaw, LoadWithSlotReportsFractions)
{
    TempDir dir;
    const std::string path = dir.File("slot.rgb");
    CRGBImage image = Pattern(1024, 2500);
    ASSERT_TRUE(image.SaveRaw(path));

    std::vector<double> seen;
    bool answer = true;
    ProgressFunction slot([&](double progress) {
        seen.push_back(progress);
        return answer;
    });
    CRGBImage loaded;
    CancelWatch loading(slot);
    ASSERT_TRUE(loaded.LoadRaw(path, loading.Watched()));
    EXPECT_FALSE(loading.Cancelled());
    EXPECT_TRUE(SamePixels(loaded, image));
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_DOUBLE_EQ(seen[0], 0.0);
    EXPECT_DOUBLE_EQ(seen[1], 1024.0 / 2500.0);
    EXPECT_DOUBLE_EQ(seen[2], 2048.0 / 2500.0);

    // An empty slot reports nothing and reads all the same.
    CRGBImage quiet;
    ASSERT_TRUE(quiet.LoadRaw(path, {}));
    EXPECT_TRUE(SamePixels(quiet, image));

    // A slot that answers false cancels.
    answer = false;
    CancelWatch cancelling(slot);
    EXPECT_FALSE(quiet.LoadRaw(path, cancelling.Watched()));
    EXPECT_TRUE(cancelling.Cancelled());
    EXPECT_FALSE(quiet.IsLocked());
}

// The header is not trusted: a file whose length is not exactly
// 8 + width * height * 6, or whose sides are too large, is refused before
// anything is allocated, and the image keeps what it had.
TEST(RGBImageRaw, DamagedFilesAreRefusedAndTheImageKept)
{
    struct Case
    {
        const char* name;
        std::string data;
    };
    const Case cases[] = {
        {"one byte too long", RawFile(4, 3, 4 * 3 * 6 + 1)},
        {"one byte too short", RawFile(4, 3, 4 * 3 * 6 - 1)},
        {"header only, pixels missing", RawFile(4, 3, 0)},
        {"no pixels at all", RawFile(0, 0, 0)},
        {"zero width", RawFile(0, 5, 0)},
        {"short header", std::string("\x02\x00\x00\x00\x01", 5)},
        {"empty file", std::string()},
        {"sides beyond the limit, small file", RawFile(65536, 32769, 60)},
        {"width beyond the limit, exact length", RawFile(32768, 1, 32768 * 6)},
        {"large header, small file", RawFile(20000, 20000, 100)},
        // 8 + 32766 * 21847 * 6 is 65524 modulo 2^32.
        {"length that matches in 32 bits only", RawFile(32766, 21847, 65524 - 8)},
    };
    TempDir dir;
    const std::string path = dir.File("bad.rgb");
    for (const Case& c : cases)
    {
        WriteTextFile(path, c.data);
        CRGBImage image = Pattern(3, 2);
        const CRGBImage before(image);
        EXPECT_FALSE(image.LoadRaw(path)) << c.name;
        Recorder progress;
        {
            File file(path, O_RDONLY);
            EXPECT_FALSE(image.ReadRawChunked(file.Get(), progress)) << c.name;
        }
        EXPECT_FALSE(progress.refused) << c.name;
        EXPECT_TRUE(progress.calls.empty()) << c.name;
        CRGBImage expected(before);
        EXPECT_TRUE(SamePixels(image, expected)) << c.name;
        EXPECT_FALSE(image.IsLocked()) << c.name;
    }
    CRGBImage image;
    EXPECT_FALSE(image.LoadRaw(dir.File("missing.rgb")));
    EXPECT_FALSE(image.LoadRaw(dir.Path()));
}

// A raw file's length is a 32-bit quantity: a file of exactly the length
// its header asks for, but beyond 4 GiB, is refused (before allocating its
// 4 GiB). The file is sparse, so it takes no disk space.
TEST(RGBImageRaw, FilesOfFourGigabytesOrMoreAreRefused)
{
    TempDir dir;
    const std::string path = dir.File("huge.rgb");
    const std::uint32_t width = 32767;
    const std::uint32_t height = 21846; // 8 + w * h * 6 = 4294970900 > 2^32 - 1
    WriteTextFile(path, RawFile(width, height, 0));
    ASSERT_EQ(::truncate(path.c_str(), 8 + static_cast<off_t>(width) * height * 6), 0);
    CRGBImage image = Pattern(2, 2);
    EXPECT_FALSE(image.LoadRaw(path));
    EXPECT_EQ(image.GetWidth(), 2);
}

TEST(RGBImageRaw, WritingNeedsTheExactLengthAfterwards)
{
    TempDir dir;
    const std::string path = dir.File("longer.rgb");
    WriteTextFile(path, std::string(1000, 'x'));
    CRGBImage image = Pattern(3, 3);
    {
        // Writing over a longer file without truncating leaves its tail:
        // not a raw file.
        File file(path, O_WRONLY);
        EXPECT_FALSE(image.WriteRaw(file.Get()));
        EXPECT_FALSE(image.IsLocked());
    }
    {
        File file(path, O_RDONLY);
        EXPECT_FALSE(image.WriteRaw(file.Get())); // not writable
        platform::File notOpen;
        EXPECT_FALSE(image.WriteRaw(notOpen));
    }
    // SaveRaw replaces the file whole.
    ASSERT_TRUE(image.SaveRaw(path));
    EXPECT_EQ(FileSize(path), 8u + 9 * 6);
    EXPECT_FALSE(image.SaveRaw(dir.File("no-such-folder/x.rgb")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

// Cancelling at the first report stops after the first chunk: what was
// transferred so far stays.
TEST(RGBImageRaw, CancelAtFirstReportStopsAfterFirstChunk)
{
    TempDir dir;
    const std::string path = dir.File("cancel.rgb");
    CRGBImage image = Pattern(1024, 2500);
    ASSERT_TRUE(image.SaveRaw(path));
    const std::size_t chunkBytes = 1024u * 1024u * 6u;

    CRGBImage partial;
    Recorder stopRead{&partial, 1};
    {
        File file(path, O_RDONLY);
        EXPECT_FALSE(partial.ReadRawChunked(file.Get(), stopRead));
    }
    EXPECT_TRUE(stopRead.refused);
    EXPECT_EQ(stopRead.calls.size(), 1u);
    EXPECT_FALSE(partial.IsLocked());
    ASSERT_EQ(partial.GetWidth(), 1024);
    EXPECT_EQ(PixelAt(partial, 1023, 1023), PixelAt(image, 1023, 1023));
    EXPECT_EQ(PixelAt(partial, 0, 1024), (Px{0, 0, 0}));

    Recorder stopWrite{&image, 1};
    {
        File file(dir.File("cut.rgb"), O_WRONLY | O_CREAT | O_TRUNC);
        EXPECT_FALSE(image.WriteRawChunked(file.Get(), stopWrite));
    }
    EXPECT_TRUE(stopWrite.refused);
    EXPECT_EQ(stopWrite.calls.size(), 1u);
    EXPECT_EQ(FileSize(dir.File("cut.rgb")), 8 + chunkBytes);
    EXPECT_FALSE(image.IsLocked());
}

// --- Scaled writing -------------------------------------------------------------

// Writes the rectangle scaled and reads the file back.
CRGBImage Scaled(CRGBImage& image, int left, int top, int width, int height, int newWidth,
                 int newHeight)
{
    TempDir dir;
    const std::string path = dir.File("scaled.rgb");
    CRGBImage result;
    File file(path, O_WRONLY | O_CREAT | O_TRUNC);
    Recorder rows{&image};
    EXPECT_TRUE(
        image.WriteScaledRaw(file.Get(), left, top, width, height, newWidth, newHeight, rows));
    EXPECT_FALSE(rows.refused);
    EXPECT_FALSE(image.IsLocked());
    EXPECT_TRUE(result.LoadRaw(path));
    return result;
}

void ExpectReds(CRGBImage& image, const std::vector<std::vector<int>>& reds)
{
    ASSERT_EQ(image.GetHeight(), static_cast<int>(reds.size()));
    ASSERT_EQ(image.GetWidth(), static_cast<int>(reds[0].size()));
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
            EXPECT_EQ(PixelAt(image, x, y)[0], reds[y][x]) << "at " << x << ", " << y;
}

// Values worked by hand. Twice the size: p = x / 2 between columns a and
// min(a + 1, last). Half the size: s = 2, n = 1, w = 0.5, so a pixel is
// (S(c) + 0.5 S(c - 1) + 0.5 S(c + 1)) / 2 around c = 2x, edges clamped.
TEST(RGBImageScaled, MatchesHandWorkedValues)
{
    struct Case
    {
        const char* name;
        std::vector<std::vector<int>> source;
        int newWidth;
        int newHeight;
        std::vector<std::vector<int>> expected;
    };
    const Case cases[] = {
        {"row x2", {{0, 100, 400}}, 6, 1, {{0, 50, 100, 250, 400, 400}}},
        {"2x2 x2",
         {{0, 100}, {200, 300}},
         4,
         4,
         {{0, 50, 100, 100}, {100, 150, 200, 200}, {200, 250, 300, 300}, {200, 250, 300, 300}}},
        // x0: (0 + 0.5*0 + 0.5*100) / 2; x1: (200 + 0.5*100 + 0.5*1000) / 2.
        {"row x0.5", {{0, 100, 200, 1000}}, 2, 1, {{25, 375}}},
        // s = 3: n = 3, w = 0: plain means of three, left edge clamped.
        {"row x1/3", {{30, 60, 90, 120, 150, 180}}, 2, 1, {{40, 120}}},
        // s = 1.5: n = 1, w = 0.25; c = 0 and 1.
        {"row x2/3", {{0, 300, 600}}, 2, 1, {{50, 300}}},
        {"column x0.5", {{0}, {400}, {800}, {4000}}, 1, 2, {{100}, {1500}}},
        // Reducing one way and enlarging the other.
        {"4x1 to 2x2", {{0, 100, 200, 1000}}, 2, 2, {{25, 375}, {25, 375}}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CRGBImage image = FromRows(c.source);
        CRGBImage result =
            Scaled(image, 0, 0, image.GetWidth(), image.GetHeight(), c.newWidth, c.newHeight);
        ExpectReds(result, c.expected);
    }
}

// The two axes are separable and the channels independent: a 4x4 image
// whose red varies by column and green by row halves to the values of each
// axis alone, and blue (their sum) to the sum.
TEST(RGBImageScaled, HalvingTwoDimensionsKeepsChannelsApart)
{
    const int cols[4] = {0, 100, 200, 1000};
    const int rows[4] = {0, 400, 800, 4000};
    CRGBImage image(4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            SetPixel(image, x, y,
                     RGB16{static_cast<std::uint16_t>(cols[x]), static_cast<std::uint16_t>(rows[y]),
                           static_cast<std::uint16_t>(cols[x] + rows[y])});
    CRGBImage half = Scaled(image, 0, 0, 4, 4, 2, 2);
    const int red[2] = {25, 375};
    const int green[2] = {100, 1500};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
        {
            const Px p = PixelAt(half, x, y);
            EXPECT_EQ(p[0], red[x]);
            EXPECT_EQ(p[1], green[y]);
            EXPECT_EQ(p[2], red[x] + green[y]);
        }
}

TEST(RGBImageScaled, SourceRectangleAndEdges)
{
    CRGBImage image = Pattern(6, 5);
    // 1:1 of an inner rectangle copies it.
    CRGBImage same = Scaled(image, 2, 1, 3, 4, 3, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(PixelAt(same, x, y), PixelAt(image, 2 + x, 1 + y));

    // Enlarging the last column: the second neighbour is clamped to the
    // image's last column, so the value repeats.
    CRGBImage edge = Scaled(image, 5, 0, 1, 1, 2, 1);
    EXPECT_EQ(PixelAt(edge, 0, 0), PixelAt(image, 5, 0));
    EXPECT_EQ(PixelAt(edge, 1, 0), PixelAt(image, 5, 0));

    // Reducing a rectangle at x = 2 reads the column left of it as an edge
    // pixel: (S(2) + 0.5 S(1) + 0.5 S(3)) / 2.
    CRGBImage row = FromRows({{1000, 2000, 100, 300, 5000}});
    CRGBImage reduced = Scaled(row, 2, 0, 2, 1, 1, 1);
    EXPECT_EQ(PixelAt(reduced, 0, 0)[0], (100 + 1000 + 150) / 2);
}

// The weights of every destination pixel add up to one, so a flat image
// stays flat: in doubles the weights may sum to one less an ulp, which the
// rounding of the result absorbs. Nothing wraps at full scale.
TEST(RGBImageScaled, FlatImageStaysFlat)
{
    CRGBImage image(9, 7);
    RGB16* p = image.Lock();
    for (std::size_t i = 0; i < image.GetPixelCount(); ++i)
        p[i] = RGB16{65535, 0, 30000};
    image.Unlock();
    for (const auto& size : {std::pair{4, 3}, std::pair{2, 2}, std::pair{20, 13}, std::pair{5, 30},
                             std::pair{1, 1}, std::pair{3, 7}})
    {
        CRGBImage result = Scaled(image, 0, 0, 9, 7, size.first, size.second);
        for (int y = 0; y < result.GetHeight(); ++y)
            for (int x = 0; x < result.GetWidth(); ++x)
            {
                const Px got = PixelAt(result, x, y);
                ASSERT_TRUE(got[0] == 65535 && got[1] == 0 && got[2] == 30000)
                    << size.first << " x " << size.second << " at " << x << ", " << y << ": "
                    << got[0] << " " << got[1] << " " << got[2];
            }
    }
}

TEST(RGBImageScaled, RefusesBadRectanglesAndStopsOnCancel)
{
    TempDir dir;
    const std::string path = dir.File("scaled.rgb");
    CRGBImage image = Pattern(6, 5);
    struct Case
    {
        int left, top, width, height, newWidth, newHeight;
    };
    const Case bad[] = {
        {-1, 0, 3, 3, 2, 2},         {0, -1, 3, 3, 2, 2}, {4, 0, 3, 3, 2, 2},
        {0, 3, 3, 3, 2, 2},          {0, 0, 0, 3, 2, 2},  {0, 0, 3, 0, 2, 2},
        {0, 0, 3, 3, 0, 2},          {0, 0, 3, 3, 2, -1}, {0, 0, 3, 3, 32768, 1},
        {0x7FFFFFFF, 0, 3, 3, 2, 2},
    };
    for (const Case& c : bad)
    {
        File file(path, O_WRONLY | O_CREAT | O_TRUNC);
        Recorder rows{&image};
        EXPECT_FALSE(image.WriteScaledRaw(file.Get(), c.left, c.top, c.width, c.height, c.newWidth,
                                          c.newHeight, rows))
            << c.left << "," << c.top << " " << c.width << "x" << c.height;
        EXPECT_FALSE(rows.refused);
        EXPECT_EQ(FileSize(path), 0u);
        EXPECT_FALSE(image.IsLocked());
    }
    CRGBImage empty;
    {
        File file(path, O_WRONLY | O_CREAT | O_TRUNC);
        EXPECT_FALSE(empty.WriteScaledRaw(file.Get(), 0, 0, 1, 1, 1, 1, {}));
    }

    // Rows are reported one by one; 0 at the first stops after one row.
    Recorder all{&image};
    {
        File file(path, O_WRONLY | O_CREAT | O_TRUNC);
        ASSERT_TRUE(image.WriteScaledRaw(file.Get(), 0, 0, 6, 5, 4, 3, all));
    }
    ASSERT_EQ(all.calls.size(), 3u);
    EXPECT_EQ(all.calls[2], (std::pair{2, 3}));
    EXPECT_TRUE(all.alwaysLocked);

    Recorder stop{&image, 1};
    {
        File file(path, O_WRONLY | O_CREAT | O_TRUNC);
        EXPECT_FALSE(image.WriteScaledRaw(file.Get(), 0, 0, 6, 5, 4, 3, stop));
    }
    EXPECT_TRUE(stop.refused);
    EXPECT_EQ(stop.calls.size(), 1u);
    EXPECT_EQ(FileSize(path), 8u + 4 * 6);
    EXPECT_FALSE(image.IsLocked());
}

// --- Copies between images --------------------------------------------------------

TEST(RGBImageCopy, CopyRectFromPicksTheDocumentedPixels)
{
    // Red of the source pixel is its column, green its row.
    CRGBImage source(6, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            SetPixel(source, x, y,
                     RGB16{static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y), 7});

    struct Case
    {
        const char* name;
        CRect src;
        CRect dst;
        std::vector<int> columns; // source column of destination columns 0..5 (-1: untouched)
        std::vector<int> rows;    // source row of destination rows 0..3 (-1: untouched)
    };
    const Case cases[] = {
        {"equal sizes", {1, 1, 4, 3}, {2, 0, 5, 2}, {-1, -1, 1, 2, 3, -1}, {1, 2, -1, -1}},
        // col = (2 * i) div 4 + (2 div 4) div 2.
        {"enlarging", {0, 0, 2, 2}, {1, 0, 5, 4}, {-1, 0, 0, 1, 1, -1}, {0, 0, 1, 1}},
        // col = (4 * i) div 2 + (4 div 2) div 2 = 2i + 1.
        {"halving", {0, 0, 4, 4}, {0, 0, 2, 2}, {1, 3, -1, -1, -1, -1}, {1, 3, -1, -1}},
        // col = (3 * i) div 2 + (3 div 2) div 2 = 0, 1.
        {"three to two", {3, 0, 6, 3}, {0, 0, 2, 2}, {3, 4, -1, -1, -1, -1}, {0, 1, -1, -1}},
        // Reducing near the edge: (6 div 4) div 2 = 0, and the last
        // positions clamp to the source's last column.
        {"clamped", {3, 0, 9, 1}, {0, 0, 4, 1}, {3, 4, 5, 5, -1, -1}, {0, -1, -1, -1}},
        // Destination partly outside this image: the rest is written where
        // it would have been.
        {"clipped destination",
         {0, 0, 3, 2},
         {-1, 3, 2, 5},
         {1, 2, -1, -1, -1, -1},
         {-1, -1, -1, 0}},
        // Source partly outside: its outside columns take the edge pixel.
        {"source outside", {-2, 0, 1, 1}, {0, 0, 3, 1}, {0, 0, 0, -1, -1, -1}, {0, -1, -1, -1}},
        {"empty source", {2, 2, 2, 4}, {0, 0, 3, 3}, {-1, -1, -1, -1, -1, -1}, {-1, -1, -1, -1}},
        {"empty destination",
         {0, 0, 2, 2},
         {3, 3, 1, 1},
         {-1, -1, -1, -1, -1, -1},
         {-1, -1, -1, -1}},
        {"destination beyond",
         {0, 0, 2, 2},
         {6, 0, 8, 2},
         {-1, -1, -1, -1, -1, -1},
         {-1, -1, -1, -1}},
    };
    const RGB16 blank{999, 999, 999};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CRGBImage image(6, 4);
        RGB16* p = image.Lock();
        for (std::size_t i = 0; i < image.GetPixelCount(); ++i)
            p[i] = blank;
        image.Unlock();
        image.CopyRectFrom(c.src, source, c.dst);
        EXPECT_FALSE(image.IsLocked());
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x)
            {
                const Px got = PixelAt(image, x, y);
                if (c.columns[x] < 0 || c.rows[y] < 0)
                    EXPECT_EQ(got, (Px{999, 999, 999})) << "at " << x << ", " << y;
                else
                    EXPECT_EQ(got, (Px{c.columns[x], c.rows[y], 7})) << "at " << x << ", " << y;
            }
    }
}

TEST(RGBImageCopy, CopyOntoItselfDoesNothing)
{
    CRGBImage image = Pattern(5, 5);
    const CRGBImage before(image);
    image.CopyRectFrom(CRect(0, 0, 2, 2), image, CRect(1, 1, 5, 5));
    image.Resample(image);
    CRGBImage expected(before);
    EXPECT_TRUE(SamePixels(image, expected));
    EXPECT_FALSE(image.IsLocked());
}

TEST(RGBImageCopy, ResampleMatchesBilinearByHand)
{
    // Red: two by two blended; green: values whose blends end in .5, so
    // rounding (add 0.5, truncate) shows against truncation.
    CRGBImage source(2, 2);
    SetPixel(source, 0, 0, RGB16{0, 0, 5});
    SetPixel(source, 1, 0, RGB16{100, 1, 5});
    SetPixel(source, 0, 1, RGB16{200, 1, 5});
    SetPixel(source, 1, 1, RGB16{300, 2, 5});
    CRGBImage image(4, 4);
    image.Resample(source);
    EXPECT_FALSE(image.IsLocked());
    const int red[4][4] = {
        {0, 50, 100, 100}, {100, 150, 200, 200}, {200, 250, 300, 300}, {200, 250, 300, 300}};
    // Exact: 0 .5 1 1 / .5 1 1.5 1.5 / 1 1.5 2 2 / 1 1.5 2 2.
    const int green[4][4] = {{0, 1, 1, 1}, {1, 1, 2, 2}, {1, 2, 2, 2}, {1, 2, 2, 2}};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
        {
            const Px p = PixelAt(image, x, y);
            EXPECT_EQ(p[0], red[y][x]) << "at " << x << ", " << y;
            EXPECT_EQ(p[1], green[y][x]) << "at " << x << ", " << y;
            EXPECT_EQ(p[2], 5) << "at " << x << ", " << y;
        }

    // Halving lands on every second pixel exactly (x = j / 0.5).
    CRGBImage wide = FromRows({{10, 20, 30, 40}, {50, 60, 70, 80}});
    CRGBImage half(2, 1);
    half.Resample(wide);
    EXPECT_EQ(PixelAt(half, 0, 0), PixelAt(wide, 0, 0));
    EXPECT_EQ(PixelAt(half, 1, 0), PixelAt(wide, 2, 0));

    // Equal sizes copy.
    CRGBImage pattern = Pattern(7, 3);
    CRGBImage copy(7, 3);
    copy.Resample(pattern);
    EXPECT_TRUE(SamePixels(copy, pattern));
}

TEST(RGBImageCopy, ResampleOfAConstantImageIsConstant)
{
    const RGB16 colour{12345, 65535, 1};
    CRGBImage source(3, 5);
    RGB16* p = source.Lock();
    for (std::size_t i = 0; i < source.GetPixelCount(); ++i)
        p[i] = colour;
    source.Unlock();
    for (const auto& size : {std::pair{7, 2}, std::pair{1, 1}, std::pair{30, 41}, std::pair{3, 9}})
    {
        CRGBImage image(size.first, size.second);
        image.Resample(source);
        for (int y = 0; y < image.GetHeight(); ++y)
            for (int x = 0; x < image.GetWidth(); ++x)
                ASSERT_EQ(PixelAt(image, x, y), (Px{12345, 65535, 1}))
                    << size.first << " x " << size.second << " at " << x << ", " << y;
    }
    // Empty images on either side change nothing.
    CRGBImage empty;
    empty.Resample(source);
    EXPECT_TRUE(empty.IsEmpty());
    CRGBImage target(2, 2);
    target.Resample(empty);
    EXPECT_EQ(PixelAt(target, 1, 1), (Px{0, 0, 0}));
}

// --- Off-screen surface ---------------------------------------------------------

TEST(DIBMemDC, ZeroedSurfaceOfTheRectanglesSize)
{
    CDIBMemDC surface(CRect(10, 20, 13, 22));
    EXPECT_EQ(surface.GetWidth(), 3);
    EXPECT_EQ(surface.GetHeight(), 2);
    EXPECT_EQ(surface.GetStride(), 12);
    EXPECT_EQ(surface.GetRect(), CRect(10, 20, 13, 22));
    ASSERT_NE(surface.GetBits(), nullptr);
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(surface.GetBits()[i], 0);

    for (const CRect& rect : {CRect(), CRect(5, 5, 5, 9), CRect(5, 5, 9, 2), CRect(3, 0, 1, 1),
                              CRect(0, 0, 40000, 40000), CRect(-0x7FFFFFFF, 0, 0x7FFFFFFF, 1)})
    {
        const CDIBMemDC none(rect);
        EXPECT_EQ(none.GetBits(), nullptr);
    }
}

} // namespace
