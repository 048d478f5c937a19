#include "imagefile/ImageLoadSave.h"

#include "core/GammaTable.h"
#include "core/ImageEx.h"
#include "core/ImageFileProbe.h"
#include "core/RGBImage.h"
#include "core/RowBands.h"
#include "core/StdMatrix.h"
#include "imagefile/ReloadCache.h"
#include "imagefile/DNGFile.h"
#include "imagefile/ImageFileInfo.h"
#include "imagefile/TiffFile.h"
#include "tests/support/DngBuilder.h"
#include "tests/support/OpenCounter.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestImages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <sys/time.h>
#include <thread>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

CRGBImage Pattern(int width, int height)
{
    CRGBImage image(width, height);
    RGB16* p = image.Lock();
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            // Smooth enough for a JPEG to keep it close.
            p[y * width + x] =
                RGB16{static_cast<std::uint16_t>(x * 1000), static_cast<std::uint16_t>(y * 1000),
                      static_cast<std::uint16_t>(30000 + x * 100 + y * 100)};
        }
    }
    image.Unlock();
    return image;
}

// The largest difference of any channel of any pixel; -1 for other sizes.
int MaxDifference(CRGBImage& a, CRGBImage& b)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
    {
        return -1;
    }
    const RGB16* pa = a.Lock();
    const RGB16* pb = b.Lock();
    int worst = 0;
    for (std::size_t i = 0; i < a.GetPixelCount(); ++i)
    {
        worst = std::max({worst, std::abs(pa[i].r - pb[i].r), std::abs(pa[i].g - pb[i].g),
                          std::abs(pa[i].b - pb[i].b)});
    }
    a.Unlock();
    b.Unlock();
    return worst;
}

CImageFileInfo OutputRecord(const std::string& path, ImageFileType type, int width, int height,
                            float dpi)
{
    CImageFileInfo out;
    out.m_path = path;
    out.m_type = type;
    out.m_detectedType = type;
    out.m_width = width;
    out.m_height = height;
    out.m_xResolution = dpi;
    out.m_yResolution = dpi;
    return out;
}

class ImageLoadSaveTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        ClearReloadImageCache();
        ClearReloadThumbnailCache();
    }

    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_cache{"XDG_CACHE_HOME", m_dir.Path() + "cache"};
    testsupport::ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir.Path() + "config"};
    testsupport::RecordingMessageSink m_messages;
};

// A load's progress that keeps its values, notes whether a report came
// from a thread other than the one that made it, and answers goOn.
struct CallerProgressLog final : IProgressSink
{
    explicit CallerProgressLog(bool goOn) : goOn(goOn) {}
    bool Report(double value) override
    {
        elsewhere = elsewhere || std::this_thread::get_id() != caller;
        values.push_back(value);
        return goOn;
    }

    const std::thread::id caller = std::this_thread::get_id();
    const bool goOn;
    std::vector<double> values;
    bool elsewhere = false;
};

TEST(MakeOutputFileNameTest, ReplacesTheExtensionByFormat)
{
    struct Case
    {
        int format;
        const char* path;
        const char* expected;
    };
    const Case cases[] = {
        {0, "/a/b/photo.jpg", "/a/b/photo.tif"}, {1, "/a/b/photo.JPG", "/a/b/photo.tif"},
        {2, "/a/b/photo.tif", "/a/b/photo.jpg"}, {3, "/a/b/photo.tif", "/a/b/photo"},
        {2, "/a.d/b/photo", "/a.d/b/photo.jpg"}, {0, "photo.x.tiff", "photo.x.tif"},
    };
    for (const Case& c : cases)
    {
        std::string out;
        MakeOutputFileName(c.format, out, c.path);
        EXPECT_EQ(out, c.expected) << c.format << " " << c.path;
    }
}

TEST(LineProgressTest, OneLineImageIsComplete)
{
    EXPECT_DOUBLE_EQ(LineProgress(0, 1), 1.0);
    EXPECT_DOUBLE_EQ(LineProgress(0, 0), 1.0);
    EXPECT_DOUBLE_EQ(LineProgress(0, 401), 0.0);
    EXPECT_DOUBLE_EQ(LineProgress(200, 401), 0.5);
    EXPECT_DOUBLE_EQ(LineProgress(400, 401), 1.0);
}

TEST_F(ImageLoadSaveTest, Tiff16RoundTripIsExact)
{
    CRGBImage image = Pattern(64, 60);
    const std::string path = m_dir.File("out.tif");
    CImageFileInfo out = OutputRecord(path, kImageFileTiff16, 64, 60, 300.7f);
    out.m_iccProfile = std::vector<std::uint8_t>(132, 7);
    ASSERT_EQ(SaveTiff16(nullptr, out, image, {}), 1);

    CTiffFile tiff;
    ASSERT_TRUE(tiff.Open(path, CTiffFile::kModeRead));
    ASSERT_TRUE(tiff.ReadHeader());
    ASSERT_EQ(tiff.GetXResolution().size(), 2u);
    EXPECT_EQ(tiff.GetXResolution()[0] / std::max(1u, tiff.GetXResolution()[1]), 300u);
    EXPECT_EQ(tiff.GetIccProfile(), out.m_iccProfile);
    tiff.Close();

    CImageFileInfo in;
    in.m_path = path;
    CRGBImage back;
    ASSERT_EQ(LoadImage(in, back, nullptr, nullptr, {}, false), 1);
    EXPECT_EQ(in.m_type, kImageFileTiff16);
    EXPECT_EQ(in.m_state, kLoadStateDone);
    EXPECT_EQ(in.m_error, 0);
    EXPECT_EQ(MaxDifference(image, back), 0);
    EXPECT_EQ(in.m_iccProfile, out.m_iccProfile);
    EXPECT_FALSE(IsLoading(path));
}

// A 16-bit TIFF is read and converted in bands of rows on all cores: the
// image is the one a single thread makes, pixel for pixel through the
// matrix, the progress is heard on the calling thread only and rises, and
// a cancel stops the load without calling it a failure.
TEST_F(ImageLoadSaveTest, Tiff16LoadsTheSameForAnyThreadCountAndStopsOnACancel)
{
    const int width = 64;
    const int height = 300;
    CRGBImage image = Pattern(width, height);
    const std::string path = m_dir.File("bands.tif");
    ASSERT_EQ(SaveTiff16(nullptr, OutputRecord(path, kImageFileTiff16, width, height, 300.0f),
                         image, {}),
              1);
    const CRGBMatrix matrix(CStdMatrix(1.2, -0.3, 0.1, 0.2, 0.9, -0.15, -0.1, 0.4, 1.1));
    CRGBImage expected = Pattern(width, height);
    {
        RGB16* p = expected.Lock();
        matrix.ConvertLine(p, p, expected.GetPixelCount());
        expected.Unlock();
    }
    for (const int threads : {1, 3, 8})
    {
        SCOPED_TRACE(threads);
        SetRowThreadCount(threads);
        CallerProgressLog log(true);
        CImageFileInfo in;
        in.m_path = path;
        CRGBImage back;
        ASSERT_EQ(LoadImage(in, back, nullptr, &matrix, log, false), 1);
        EXPECT_EQ(MaxDifference(expected, back), 0);
        EXPECT_FALSE(log.elsewhere);
        EXPECT_TRUE(std::is_sorted(log.values.begin(), log.values.end()));
        EXPECT_GT(log.values.size(), 2u);
    }
    for (const int threads : {1, 8})
    {
        SCOPED_TRACE(threads);
        SetRowThreadCount(threads);
        int reports = 0;
        auto cancelSecond = ProgressFunction([&](double) { return ++reports < 2; });
        CImageFileInfo in;
        in.m_path = path;
        CRGBImage back;
        EXPECT_EQ(LoadImage(in, back, nullptr, &matrix, cancelSecond, false), 0);
        EXPECT_EQ(in.m_error, 0);
        EXPECT_NE(in.m_state, kLoadStateOther);
    }
    SetRowThreadCount(0);
}

TEST_F(ImageLoadSaveTest, JpegRoundTripIsClose)
{
    CRGBImage image = Pattern(64, 60);
    const std::string path = m_dir.File("out.jpg");
    CImageFileInfo out = OutputRecord(path, kImageFileJpeg, 64, 60, 200.0f);
    out.m_jpegQuality = 4;
    ASSERT_EQ(SaveImageByGdiplus(out, image, nullptr, nullptr, {}), 1);

    CImageFileInfo in;
    in.m_path = path;
    CRGBImage back;
    ASSERT_EQ(LoadImage(in, back, nullptr, nullptr, {}, false), 1);
    EXPECT_EQ(in.m_type, kImageFileJpeg);
    EXPECT_EQ(in.m_xResolution, 200.0f);
    const int diff = MaxDifference(image, back);
    EXPECT_GE(diff, 0);
    EXPECT_LT(diff, 8 * 257); // a few levels of 8 bits
}

TEST_F(ImageLoadSaveTest, AJpegDecodeReportsOnTheCallingThreadAndHonoursACancel)
{
    CRGBImage image = Pattern(640, 480);
    const std::string path = m_dir.File("big.jpg");
    ASSERT_EQ(SaveImageByGdiplus(OutputRecord(path, kImageFileJpeg, 640, 480, 300.0f), image,
                                 nullptr, nullptr, {}),
              1);
    // The decoder itself reports nothing; the load's progress still hears
    // from the calling thread (whose events it may handle) while it runs.
    for (const bool cancel : {false, true})
    {
        SCOPED_TRACE(cancel ? "cancelled" : "to the end");
        CallerProgressLog log(!cancel);
        const std::vector<double>& values = log.values;
        CImageFileInfo in;
        in.m_path = path;
        CRGBImage back;
        EXPECT_EQ(LoadImage(in, back, nullptr, nullptr, log, false), cancel ? 0 : 1);
        EXPECT_FALSE(log.elsewhere);
        ASSERT_FALSE(values.empty());
        EXPECT_EQ(values.front(), 0.0);
        if (cancel)
        {
            // Nothing after the decode: the pixels are not converted.
            EXPECT_EQ(std::count_if(values.begin(), values.end(), [](double v) { return v > 0.0; }),
                      0);
            EXPECT_EQ(in.m_error, 0); // a cancel is no failure
        }
        else
        {
            // The conversion of the decoded rows reported after it.
            EXPECT_GT(values.back(), 0.3);
            EXPECT_EQ(back.GetWidth(), 640);
            EXPECT_EQ(back.GetHeight(), 480);
        }
    }
}

RGB16 PixelAt(CRGBImage& image, int x, int y)
{
    const RGB16 p = image.Lock()[static_cast<std::size_t>(y) * image.GetWidth() + x];
    image.Unlock();
    return p;
}

// A large JPEG's load hands one first look over: a decode at 1/8 of the
// size, converted as the working image is, from inside a report on the
// loading thread, before the load returns. Nothing comes without a
// progress (no window to show it in), for small JPEGs and TIFFs (quick to
// load anyway), or once the load was asked to stop.
TEST_F(ImageLoadSaveTest, ALargeJpegGivesOneFirstLookWhileItLoads)
{
    // 4.03 megapixels: just above the size that gets a first look.
    CRGBImage large = testsupport::FlatQuadrants(2400, 1680);
    CRGBImage small = testsupport::FlatQuadrants(1600, 1200);
    const std::string largeJpeg = m_dir.File("large.jpg");
    const std::string smallJpeg = m_dir.File("small.jpg");
    const std::string largeTiff = m_dir.File("large.tif");
    ASSERT_EQ(SaveImageByGdiplus(OutputRecord(largeJpeg, kImageFileJpeg, 2400, 1680, 300.0f),
                                 large, nullptr, nullptr, {}),
              1);
    ASSERT_EQ(SaveImageByGdiplus(OutputRecord(smallJpeg, kImageFileJpeg, 1600, 1200, 300.0f),
                                 small, nullptr, nullptr, {}),
              1);
    ASSERT_EQ(SaveTiff16(nullptr, OutputRecord(largeTiff, kImageFileTiff16, 2400, 1680, 300.0f),
                         large, {}),
              1);
    // The tone tables the working image is converted with: every value
    // halved, so that the look is seen to go through them too.
    CRGBGammaTable halve;
    std::vector<std::uint16_t> halved(CGammaTable::EntryCount);
    for (std::size_t v = 0; v < halved.size(); ++v)
        halved[v] = static_cast<std::uint16_t>(v / 2);
    for (int c = 0; c < 3; ++c)
        ASSERT_TRUE(halve[c].SetTable(halved));

    const struct
    {
        const char* what;
        std::string path;
        bool withProgress;
        bool goOn;
        bool looks;
    } cases[] = {
        {"large JPEG", largeJpeg, true, true, true},
        {"large JPEG without a progress", largeJpeg, false, true, false},
        {"large JPEG whose load is cancelled", largeJpeg, true, false, false},
        {"small JPEG", smallJpeg, true, true, false},
        {"large TIFF", largeTiff, true, true, false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        CallerProgressLog log(c.goOn);
        int looks = 0;
        bool elsewhere = false;
        bool afterTheLoad = false;
        bool loadEnded = false;
        CRGBImage look;
        const FirstLookSink sink = [&](CRGBImage& reduced) {
            ++looks;
            elsewhere = elsewhere || std::this_thread::get_id() != log.caller;
            afterTheLoad = afterTheLoad || loadEnded;
            look = std::move(reduced);
        };
        CImageFileInfo in;
        in.m_path = c.path;
        CRGBImage back;
        const int result = LoadImage(in, back, &halve, nullptr,
                                     c.withProgress ? Progress(log) : Progress(), false, sink);
        loadEnded = true;
        EXPECT_EQ(result, c.goOn ? 1 : 0);
        EXPECT_EQ(looks, c.looks ? 1 : 0);
        if (!c.looks || looks != 1)
            continue;
        EXPECT_FALSE(elsewhere);
        EXPECT_FALSE(afterTheLoad);
        ASSERT_EQ(look.GetWidth(), 300);
        ASSERT_EQ(look.GetHeight(), 210);
        // The middle of each quadrant, in the look and in the whole image.
        for (const auto& [x, y] : {std::pair{75, 52}, {225, 52}, {75, 157}, {225, 157}})
        {
            const RGB16 reduced = PixelAt(look, x, y);
            const RGB16 whole = PixelAt(back, x * 8, y * 8);
            EXPECT_EQ(reduced.r, whole.r) << x << "," << y;
            EXPECT_EQ(reduced.g, whole.g) << x << "," << y;
            EXPECT_EQ(reduced.b, whole.b) << x << "," << y;
            EXPECT_LT(whole.r, 32768) << "the tables were applied";
        }
    }
}

TEST_F(ImageLoadSaveTest, StreamedJpegMatchesTheWholeImageEncoding)
{
    // Taller than the conversion ring, so its slots are reused.
    CRGBImage image = Pattern(70, 150);
    const std::string streamed = m_dir.File("streamed.jpg");
    CImageFileInfo out = OutputRecord(streamed, kImageFileJpeg, 70, 150, 300.0f);
    out.m_jpegQuality = 3;
    ASSERT_EQ(SaveImageByGdiplus(out, image, nullptr, nullptr, {}), 1);

    CImageEx display;
    ASSERT_TRUE(display.Create(70, 150));
    const CRect all(0, 0, 70, 150);
    ASSERT_TRUE(image.CopyRectConverted(display, all, all, nullptr, nullptr, {}, nullptr, nullptr));
    const std::string whole = m_dir.File("whole.jpg");
    ASSERT_TRUE(SaveImageFile({}, kImageFileJpeg, display, whole, 300.0f, 300.0f, 3));
    EXPECT_EQ(testsupport::ReadTextFile(streamed), testsupport::ReadTextFile(whole));
}

TEST_F(ImageLoadSaveTest, Tiff8RoundTripKeepsHighBytes)
{
    CRGBImage image = Pattern(64, 60);
    const std::string path = m_dir.File("out8.tiff");
    CImageFileInfo out = OutputRecord(path, kImageFileTiff8, 64, 60, 240.0f);
    ASSERT_EQ(SaveImageByGdiplus(out, image, nullptr, nullptr, {}), 1);
    CImageFileInfo in;
    in.m_path = path;
    CRGBImage back;
    ASSERT_EQ(LoadImage(in, back, nullptr, nullptr, {}, false), 1);
    EXPECT_EQ(in.m_type, kImageFileTiff8);
    EXPECT_LE(MaxDifference(image, back), 256);
}

TEST_F(ImageLoadSaveTest, ALoadOpensItsFileOnce)
{
    // The probe, the embedded profile and the decoding share one open file;
    // the pixels are those the loaders give when they open the file
    // themselves.
    struct Case
    {
        const char* name;
        ImageFileType type;
    };
    const Case cases[] = {
        {"once16.tif", kImageFileTiff16},
        {"once8.tif", kImageFileTiff8},
        {"once.jpg", kImageFileJpeg},
    };
    const CRGBImage source = Pattern(64, 60);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string path = m_dir.File(c.name);
        CImageFileInfo out = OutputRecord(path, c.type, 64, 60, 300.0f);
        out.m_iccProfile = std::vector<std::uint8_t>(132, 7);
        CRGBImage image = source;
        ASSERT_EQ(c.type == kImageFileTiff16 ? SaveTiff16(nullptr, out, image, {})
                                             : SaveImageByGdiplus(out, image, nullptr, nullptr, {}),
                  1);

        testsupport::OpenCounter opens(path);
        ASSERT_TRUE(opens.IsWatching());
        CImageFileInfo in;
        in.m_path = path;
        CRGBImage loaded;
        ASSERT_EQ(LoadImage(in, loaded, nullptr, nullptr, {}, false), 1);
        EXPECT_EQ(opens.Take(), 1);
        EXPECT_EQ(in.m_type, c.type);
        EXPECT_EQ(in.m_iccProfile, out.m_iccProfile);

        CRGBImage byPath;
        ASSERT_EQ(c.type == kImageFileTiff16 ? LoadTiffImage(in, byPath, nullptr, nullptr, {})
                                             : LoadImageByGdiplus(in, byPath, nullptr, nullptr, {}),
                  1);
        EXPECT_EQ(MaxDifference(loaded, byPath), 0);
    }
}

TEST_F(ImageLoadSaveTest, FailedSavesKeepTheOldFile)
{
    CRGBImage image = Pattern(64, 60);
    const std::string path = m_dir.File("keep.tif");
    testsupport::WriteTextFile(path, "old contents");

    // Cancelled at the first line report: the new file is discarded.
    CImageFileInfo out = OutputRecord(path, kImageFileTiff16, 64, 60, 300.0f);
    ProgressFunction stop([](double) { return false; });
    CancelWatch tiffWatch(stop);
    EXPECT_EQ(SaveTiff16(nullptr, out, image, tiffWatch.Watched()), 0);
    EXPECT_TRUE(tiffWatch.Cancelled());

    // A resolution below 1 dpi cannot be written.
    CImageFileInfo noDpi = OutputRecord(path, kImageFileTiff16, 64, 60, 0.5f);
    EXPECT_EQ(SaveTiff16(nullptr, noDpi, image, {}), 0);

    // An output size other than the image's.
    CImageFileInfo wrongSize = OutputRecord(path, kImageFileTiff16, 65, 60, 300.0f);
    EXPECT_EQ(SaveTiff16(nullptr, wrongSize, image, {}), 0);

    // An 8-bit save cancelled while converting.
    CImageFileInfo jpeg = OutputRecord(path, kImageFileJpeg, 64, 60, 300.0f);
    CancelWatch jpegWatch(stop);
    EXPECT_EQ(SaveImageByGdiplus(jpeg, image, nullptr, nullptr, jpegWatch.Watched()), 0);
    EXPECT_TRUE(jpegWatch.Cancelled());

    EXPECT_EQ(testsupport::ReadTextFile(path), "old contents");
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(m_dir.Path()))
    {
        files += entry.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(files, 1u); // no temporary left beside the target
}

TEST_F(ImageLoadSaveTest, SaveWhoseRenameFailsKeepsTarget)
{
    CRGBImage image = Pattern(64, 60);
    // The target is a folder with contents: the rename over it fails.
    const std::string path = m_dir.File("folder.tif");
    fs::create_directory(path);
    testsupport::WriteTextFile(path + "/inside", "x");

    CImageFileInfo out = OutputRecord(path, kImageFileTiff16, 64, 60, 300.0f);
    EXPECT_EQ(SaveTiff16(nullptr, out, image, {}), 0);
    CImageFileInfo jpeg = OutputRecord(path, kImageFileJpeg, 64, 60, 300.0f);
    EXPECT_EQ(SaveImageByGdiplus(jpeg, image, nullptr, nullptr, {}), 0);

    EXPECT_EQ(testsupport::ReadTextFile(path + "/inside"), "x");
    std::size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(m_dir.Path()))
    {
        entries += entry.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(entries, 0u);
    EXPECT_GE(m_messages.messages.size(), 1u);

    // A target whose folder is a file cannot even be opened.
    const std::string blocked = m_dir.File("plain") + "/x.tif";
    testsupport::WriteTextFile(m_dir.File("plain"), "file");
    CImageFileInfo bad = OutputRecord(blocked, kImageFileTiff16, 64, 60, 300.0f);
    EXPECT_EQ(SaveTiff16(nullptr, bad, image, {}), 0);
    EXPECT_EQ(testsupport::ReadTextFile(m_dir.File("plain")), "file");
}

TEST_F(ImageLoadSaveTest, LoadFailuresSetState)
{
    CRGBImage image;
    // A missing file: reading its information fails.
    CImageFileInfo missing;
    missing.m_path = m_dir.File("missing.tif");
    EXPECT_EQ(LoadImage(missing, image, nullptr, nullptr, {}, false), 0);
    EXPECT_EQ(missing.m_state, kLoadStateNoInfo);
    EXPECT_EQ(missing.m_error, 1);
    EXPECT_EQ(missing.m_path, m_dir.File("missing.tif"));

    // A header size other than the record's.
    CRGBImage source = Pattern(64, 60);
    const std::string path = m_dir.File("a.tif");
    CImageFileInfo out = OutputRecord(path, kImageFileTiff16, 64, 60, 300.0f);
    ASSERT_EQ(SaveTiff16(nullptr, out, source, {}), 1);
    CImageFileInfo wrong = OutputRecord(path, kImageFileTiff16, 64, 61, 300.0f);
    EXPECT_EQ(LoadTiffImage(wrong, image, nullptr, nullptr, {}), 0);
    EXPECT_EQ(wrong.m_state, kLoadStateOther);

    // A cancelled load: flag set, no error recorded.
    CImageFileInfo in;
    in.m_path = path;
    ProgressFunction stop([](double) { return false; });
    CancelWatch watch(stop);
    EXPECT_EQ(LoadImage(in, image, nullptr, nullptr, watch.Watched(), false), 0);
    EXPECT_TRUE(watch.Cancelled());
    EXPECT_EQ(in.m_error, 0);
}

// The developed rows of a DNG as the reader gives them (before orientation).
std::vector<RGB16> DevelopedRows(const std::string& path, const testsupport::TempDir& dir,
                                 unsigned& width, unsigned& height)
{
    CDNGFile dng;
    std::vector<RGB16> rows;
    if (!dng.Open(path) ||
        !dng.Develop(dir.File("ref_A.raw"), dir.File("ref_C.raw"), dir.File("ref_B.raw"), {}))
    {
        return rows;
    }
    width = dng.GetOutputWidth();
    height = dng.GetOutputHeight();
    rows.resize(std::size_t{width} * height);
    for (unsigned y = 0; y < height; ++y)
    {
        EXPECT_TRUE(dng.GetLine(y, rows.data() + std::size_t{y} * width));
    }
    return rows;
}

TEST_F(ImageLoadSaveTest, DngLoadsThroughTheChainWithOrientation)
{
    struct Case
    {
        int orientation;
        // Where developed pixel i of row n lands, for a W x H development.
        void (*place)(int i, int n, int W, int H, int& x, int& y);
    };
    const Case cases[] = {
        {1,
         [](int i, int n, int, int, int& x, int& y) {
             x = i;
             y = n;
         }},
        {3,
         [](int i, int n, int W, int H, int& x, int& y) {
             x = W - 1 - i;
             y = H - 1 - n;
         }},
        {6,
         [](int i, int n, int, int H, int& x, int& y) {
             x = H - 1 - n;
             y = i;
         }},
        {8,
         [](int i, int n, int W, int, int& x, int& y) {
             x = n;
             y = W - 1 - i;
         }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.orientation);
        testsupport::DngRecipe recipe;
        recipe.samples = 3;
        recipe.width = 80;
        recipe.height = 60;
        testsupport::DngBuilder builder(recipe);
        builder.Ifd0().Shorts(274, {c.orientation});
        const std::string path = m_dir.File("o" + std::to_string(c.orientation) + ".dng");
        ASSERT_TRUE(builder.WriteFile(path));
        unsigned W = 0;
        unsigned H = 0;
        const std::vector<RGB16> rows = DevelopedRows(path, m_dir, W, H);
        ASSERT_FALSE(rows.empty());

        // The record as ReadInfo makes it for a DNG: the size as shown.
        const bool turned = c.orientation >= 5;
        CImageFileInfo in = OutputRecord(path, kImageFileDng, static_cast<int>(turned ? H : W),
                                         static_cast<int>(turned ? W : H), 240.0f);
        CRGBImage image;
        std::vector<double> reported;
        ProgressFunction record([&reported](double v) { reported.push_back(v); });
        CancelWatch watch(record);
        ASSERT_EQ(DevelopDngImage(in, image, watch.Watched()), 1);
        EXPECT_FALSE(watch.Cancelled());
        EXPECT_EQ(in.m_state, kLoadStateDone);
        ASSERT_FALSE(reported.empty());
        EXPECT_LE(reported.back(), 1.0);
        ASSERT_EQ(image.GetWidth(), static_cast<int>(turned ? H : W));
        ASSERT_EQ(image.GetHeight(), static_cast<int>(turned ? W : H));
        const RGB16* p = image.Lock();
        int wrong = 0;
        for (int n = 0; n < static_cast<int>(H); ++n)
        {
            for (int i = 0; i < static_cast<int>(W); ++i)
            {
                int x = 0;
                int y = 0;
                c.place(i, n, static_cast<int>(W), static_cast<int>(H), x, y);
                const RGB16& got = p[static_cast<std::size_t>(y) * image.GetWidth() + x];
                const RGB16& want = rows[static_cast<std::size_t>(n) * W + i];
                wrong += (got.r != want.r || got.g != want.g || got.b != want.b) ? 1 : 0;
            }
        }
        image.Unlock();
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(ImageLoadSaveTest, DngRecordOfAnotherSizeFails)
{
    testsupport::DngRecipe recipe;
    recipe.samples = 3;
    recipe.width = 64;
    recipe.height = 56;
    const std::string path = m_dir.File("size.dng");
    ASSERT_TRUE(testsupport::DngBuilder(recipe).WriteFile(path));
    CImageFileInfo in = OutputRecord(path, kImageFileDng, 64, 57, 240.0f);
    CRGBImage image;
    EXPECT_EQ(DevelopDngImage(in, image, {}), 0);
    EXPECT_EQ(in.m_state, kLoadStateOther);

    // Cancelled during development.
    in.m_height = 56;
    ProgressFunction stop([](double) { return false; });
    CancelWatch watch(stop);
    EXPECT_EQ(DevelopDngImage(in, image, watch.Watched()), 0);
    EXPECT_TRUE(watch.Cancelled());
}

TEST_F(ImageLoadSaveTest, RestoredImageIsNotReadFromItsFile)
{
    CRGBImage onDisk = Pattern(64, 60);
    const std::string path = m_dir.File("cached.tif");
    CImageFileInfo out = OutputRecord(path, kImageFileTiff16, 64, 60, 300.0f);
    ASSERT_EQ(SaveTiff16(nullptr, out, onDisk, {}), 1);

    // A cache entry for the unchanged file with other pixels wins.
    CRGBImage cached(64, 60);
    ASSERT_TRUE(
        StoreReloadImage(cached, path, {kImageFileTiff16, 64, 60, 123.0f, 123.0f}, nullptr));
    CImageFileInfo in;
    in.m_path = path;
    CRGBImage image;
    ASSERT_EQ(LoadImage(in, image, nullptr, nullptr, {}, false), 1);
    EXPECT_EQ(in.m_state, kLoadStateDone);
    EXPECT_EQ(in.m_xResolution, 123.0f);
    EXPECT_EQ(MaxDifference(image, cached), 0);

    // A touched file no longer matches: it is read again.
    struct stat st
    {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    struct timeval times[2] = {{st.st_atim.tv_sec, 0}, {st.st_mtim.tv_sec - 5, 0}};
    ASSERT_EQ(::utimes(path.c_str(), times), 0);
    ASSERT_EQ(LoadImage(in, image, nullptr, nullptr, {}, false), 1);
    EXPECT_EQ(MaxDifference(image, onDisk), 0);
}

} // namespace
