#include "correction/TrimmingDoc.h"

#include "core/ImageAccess.h"
#include "core/RGBImage.h"
#include "platform/File.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteTextFile;

namespace {

const CStdMatrix& Identity()
{
    static const CStdMatrix identity = CStdMatrix::Identity(3);
    return identity;
}

// A smooth but everywhere different image: no two neighbours alike, no
// symmetry a wrong index could hide behind.
CRGBImage Pattern(int width, int height)
{
    CRGBImage image(width, height);
    RGB16* pixels = image.Lock();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[static_cast<std::size_t>(y) * width + x] = {
                static_cast<std::uint16_t>((x * 977 + y * 131) % 65536),
                static_cast<std::uint16_t>((x * 37 + y * 1013) % 65536),
                static_cast<std::uint16_t>((x * x + 7 * y * y) % 65536)};
    image.Unlock();
    return image;
}

std::vector<RGB16> PixelsOf(CRGBImage& image)
{
    const RGB16* pixels = image.Lock();
    std::vector<RGB16> copy(pixels, pixels + image.GetPixelCount());
    image.Unlock();
    return copy;
}

bool SamePixels(const std::vector<RGB16>& a, const std::vector<RGB16>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(RGB16)) == 0;
}

// A record set up on a width x height image with the whole image trimmed.
CTrimmingDoc SetUpFor(int width, int height, int dpi = 300)
{
    CTrimmingDoc doc;
    doc.SetOriginalSize(true, width, height, dpi);
    return doc;
}

CTrimmingDoc LoadFrom(const std::string& keys)
{
    TempDir dir;
    WriteTextFile(dir.File("p.qzp"), "[qzTrimmingDoc]\n" + keys);
    CParamFileReader reader;
    EXPECT_TRUE(reader.Load(dir.File("p.qzp")));
    CTrimmingDoc doc;
    doc.SetSetupResolution(72);
    EXPECT_TRUE(doc.LoadParams(reader));
    return doc;
}

std::string KeysOf(const CTrimmingDoc::TrimRecord& r)
{
    CTrimmingDoc doc;
    doc.GetTrimRecord() = r;
    CParamFileWriter file;
    doc.SaveParams(file);
    const std::string text = file.GetText();
    return text.substr(text.find("OrgWidth"));
}

struct ProgressLog final : IProgressSink
{
    std::vector<double> values;
    int stopAt = -1;
    bool Report(double percent) override
    {
        values.push_back(percent);
        return static_cast<int>(values.size()) - 1 != stopAt;
    }
};

// --- Limits, ratios and fits ----------------------------------------------------

TEST(TrimmingDocTest, SizeLimitsFollowTheImageSize)
{
    const struct
    {
        int width, height, minW, minH, maxW, maxH;
    } cases[] = {
        {40, 30, 40, 30, 4000, 4000}, {6000, 4000, 50, 50, 6000, 4000},
        {49, 50, 49, 50, 4000, 4000}, {0, -5, 50, 50, 4000, 4000},
        {4001, 1, 50, 1, 4001, 4000},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        CTrimmingDoc doc;
        doc.GetTrimRecord().OrgWidth = c.width;
        doc.GetTrimRecord().OrgHeight = c.height;
        EXPECT_EQ(doc.GetMinTrimWidth(), c.minW);
        EXPECT_EQ(doc.GetMinTrimHeight(), c.minH);
        EXPECT_EQ(doc.GetMaxTrimWidth(), c.maxW);
        EXPECT_EQ(doc.GetMaxTrimHeight(), c.maxH);
        // Millimetres at the record's 300 dpi.
        EXPECT_DOUBLE_EQ(doc.GetMaxTrimWidthMM(), c.maxW / 300.0 * 25.4);
        EXPECT_DOUBLE_EQ(doc.GetMinTrimHeightMM(), c.minH / 300.0 * 25.4);
    }
    EXPECT_DOUBLE_EQ(CTrimmingDoc::MinTrimSizeToMM(40, 100), 40 / 100.0 * 25.4);
    EXPECT_EQ(CTrimmingDoc::MaxTrimSizeToMM(40, 0), 0.0);
}

TEST(TrimmingDocTest, PaperPairsOfTheRatioTypes)
{
    const int pairs[][2] = {{841, 1189}, {1189, 841}, {100, 143}, {143, 100}, {100, 148},
                            {148, 100},  {3, 4},      {9, 16},    {1, 1}};
    for (int type = 0; type < 9; ++type)
    {
        int width = 0;
        int height = 0;
        ASSERT_TRUE(CTrimmingDoc::GetPaperSizeMM(width, height, type)) << type;
        EXPECT_EQ(width, pairs[type][0]);
        EXPECT_EQ(height, pairs[type][1]);
    }
    for (int type : {9, 13, -1, 14})
    {
        int width = -7;
        int height = -8;
        EXPECT_FALSE(CTrimmingDoc::GetPaperSizeMM(width, height, type)) << type;
        EXPECT_EQ(width, -7);
        EXPECT_EQ(height, -8);
    }
}

TEST(TrimmingDocTest, FitIntoBoxKeepsTheAspectAndNeverEnlarges)
{
    const struct
    {
        int w, h, boxW, boxH, outW, outH;
    } cases[] = {
        {3000, 2000, 1000, 1000, 1000, 667},
        {800, 600, 1000, 1000, 800, 600},
        {2000, 3000, 1000, 1000, 667, 1000},
        {1000, 1000, 1000, 1000, 1000, 1000},
        {1200, 600, 1000, 1000, 1000, 500},
        {3000, 2000, 3000, 500, 750, 500},
        // Very flat or tall images keep a side of at least one pixel.
        {10000, 1, 100, 100, 100, 1},
        {1, 10000, 100, 100, 1, 100},
        {30000, 2, 100, 100, 100, 1},
    };
    for (const auto& c : cases)
    {
        int width = 0;
        int height = 0;
        CTrimmingDoc::FitIntoBox(c.w, c.h, c.boxW, c.boxH, width, height);
        EXPECT_EQ(width, c.outW) << c.w << "x" << c.h << " into " << c.boxW << "x" << c.boxH;
        EXPECT_EQ(height, c.outH) << c.w << "x" << c.h << " into " << c.boxW << "x" << c.boxH;
    }
}

TEST(TrimmingDocTest, SetOriginalSizeSetsUpANewImage)
{
    CTrimmingDoc doc;
    doc.SetOriginalSize(false, 1200, 900, 0);
    const CTrimmingDoc::TrimRecord& r = doc.GetTrimRecord();
    EXPECT_EQ(doc.GetSetupResolution(), 300);
    EXPECT_EQ(r.SizeDPI, 300);
    EXPECT_EQ(r.TrmWidth, 1200);
    EXPECT_EQ(r.TrmHeight, 900);
    EXPECT_EQ(r.SizePixelWidth, 1200);
    EXPECT_EQ(r.SizeMMWidth100, 10160); // 1200 / 300 * 25.4 = 101.6 mm
    EXPECT_EQ(r.SizeMMHeight100, 7619); // 900 / 300 * 25.4 * 100 = 7619.99..., truncated
    EXPECT_TRUE(CTrimmingDoc::IsValidTrimRecord(r));

    // The same size again keeps the user's rectangle and output size.
    doc.GetTrimRecord().TrmPosX = 100;
    doc.GetTrimRecord().TrmWidth = 500;
    doc.GetTrimRecord().TrmRatioType = 3;
    doc.GetTrimRecord().SizePixelWidth = 640;
    doc.SetSetupResolution(-1);
    doc.SetOriginalSize(false, 1200, 900, 240);
    EXPECT_EQ(r.TrmPosX, 100);
    EXPECT_EQ(r.TrmRatioType, 3);
    EXPECT_EQ(r.SizePixelWidth, 640);
    EXPECT_EQ(r.SizeDPI, 300);
    EXPECT_EQ(doc.GetSetupResolution(), 240);

    // Another size starts over.
    doc.SetOriginalSize(false, 600, 400, 240);
    EXPECT_EQ(r.TrmPosX, 0);
    EXPECT_EQ(r.TrmWidth, 600);
    EXPECT_EQ(r.TrmRatioType, 9);
    EXPECT_EQ(r.SizePixelWidth, 600);
    EXPECT_EQ(r.SizeDPI, 240);
    EXPECT_EQ(r.SizeMMWidth100, 6350);

    // A zero output size is set up again without moving the rectangle.
    doc.GetTrimRecord().TrmPosY = 10;
    doc.GetTrimRecord().SizePixelHeight = 0;
    doc.SetOriginalSize(false, 600, 400, 100);
    EXPECT_EQ(r.TrmPosY, 10);
    EXPECT_EQ(r.SizePixelHeight, 400);
    EXPECT_EQ(r.SizeDPI, 100);
}

// --- Parameters -----------------------------------------------------------------

TEST(TrimmingDocTest, AValidRecordRoundTripsAndResetsTheSetupResolution)
{
    CTrimmingDoc doc = SetUpFor(3000, 2000);
    CTrimmingDoc::TrimRecord& r = doc.GetTrimRecord();
    r.TrmPosX = 100;
    r.TrmPosY = 200;
    r.TrmWidth = 1500;
    r.TrmHeight = 1000;
    r.TrmRatioType = 3;
    r.SizeMode = 1;
    r.SizePixelWidth = 1200;
    r.SizePixelHeight = 800;
    doc.SetTitle("crop");
    CParamFileWriter file;
    ASSERT_TRUE(doc.SaveParams(file));
    EXPECT_EQ(file.GetText(), "[qzTrimmingDoc]\nVer=2.0\nTitle=crop\nOrgWidth=3000\n"
                              "OrgHeight=2000\nTrmPosX=100\nTrmPosY=200\nTrmWidth=1500\n"
                              "TrmHeight=1000\nTrmRatioType=3\nSizeMode=1\nSizePixelWidth=1200\n"
                              "SizePixelHeight=800\nSizeMMWidth100=25400\nSizeMMHeight100=16933\n"
                              "SizeDPI=300\nSizeRatioFix=1\n");
    const std::string text = file.GetText();
    const CTrimmingDoc loaded = LoadFrom(text.substr(text.find("Title")));
    EXPECT_EQ(loaded.GetTrimRecord(), r);
    EXPECT_EQ(loaded.GetTitle(), "crop");
    EXPECT_EQ(loaded.GetSetupResolution(), -1);
    EXPECT_FALSE(loaded.IsEqual(doc)); // the set-up resolution differs
    doc.SetSetupResolution(-1);
    EXPECT_TRUE(loaded.IsEqual(doc));
}

TEST(TrimmingDocTest, AnInvalidRecordIsReplacedWhole)
{
    const CTrimmingDoc::TrimRecord valid = SetUpFor(3000, 2000).GetTrimRecord();
    ASSERT_TRUE(CTrimmingDoc::IsValidTrimRecord(valid));
    using R = CTrimmingDoc::TrimRecord;
    const struct
    {
        const char* name;
        void (*spoil)(R&);
    } cases[] = {
        {"ratio type 14", [](R& r) { r.TrmRatioType = 14; }},
        {"ratio type -1", [](R& r) { r.TrmRatioType = -1; }},
        {"no width", [](R& r) { r.OrgWidth = 0; }},
        {"no height", [](R& r) { r.OrgHeight = 0; }},
        {"left outside", [](R& r) { r.TrmPosX = 3000; }},
        {"top negative", [](R& r) { r.TrmPosY = -1; }},
        {"too narrow", [](R& r) { r.TrmWidth = 49; }},
        {"past the right edge", [](R& r) { r.TrmPosX = 1; }},
        {"size mode 2", [](R& r) { r.SizeMode = 2; }},
        {"dpi 49", [](R& r) { r.SizeDPI = 49; }},
        {"dpi 1201", [](R& r) { r.SizeDPI = 1201; }},
        {"output too small", [](R& r) { r.SizePixelWidth = 49; }},
        {"output too large", [](R& r) { r.SizePixelHeight = 4001; }},
        {"millimetres too small", [](R& r) { r.SizeMMWidth100 = 422; }},
        {"millimetres too large", [](R& r) { r.SizeMMHeight100 = 33867; }},
        {"an image no program holds",
         [](R& r) {
             r.OrgWidth = 40000;
             r.TrmWidth = 40000;
             r.SizePixelWidth = 40000;
             r.SizeMMWidth100 = 338666;
         }},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        R spoilt = valid;
        c.spoil(spoilt);
        const CTrimmingDoc loaded = LoadFrom(KeysOf(spoilt));
        EXPECT_EQ(loaded.GetTrimRecord(), R{});
        EXPECT_EQ(loaded.GetSetupResolution(), -1);
    }
    // The limits themselves are accepted.
    R edge = valid;
    edge.SizeMMWidth100 = 423;    // 50 px at 300 dpi: 4.2333 mm
    edge.SizeMMHeight100 = 33866; // 4000 px at 300 dpi: 338.6667 mm
    EXPECT_EQ(LoadFrom(KeysOf(edge)).GetTrimRecord(), edge);

    // Text where numbers belong gives the reset values of those keys, and
    // then the record as a whole fails.
    const CTrimmingDoc garbage = LoadFrom("OrgWidth=3000\nOrgHeight=abc\nTrmWidth=nan\n");
    EXPECT_EQ(garbage.GetTrimRecord(), R{});
}

TEST(TrimmingDocTest, CopiesAndComparison)
{
    CTrimmingDoc doc = SetUpFor(800, 600, 200);
    doc.SetTitle("a");
    const std::unique_ptr<CBaseDoc> clone = doc.Clone();
    EXPECT_TRUE(clone->IsEqual(doc));
    EXPECT_EQ(clone->GetTitle(), "a");
    CTrimmingDoc other;
    EXPECT_FALSE(other.IsEqual(doc));
    other.Assign(*clone);
    EXPECT_TRUE(other.IsEqual(doc));
    EXPECT_EQ(other.GetSetupResolution(), 200);
    other.GetTrimRecord().SizeRatioFix = 0;
    EXPECT_FALSE(other.IsEqual(doc));
    other.Reset();
    EXPECT_EQ(other.GetTrimRecord(), CTrimmingDoc::TrimRecord{});
    EXPECT_EQ(other.GetSetupResolution(), -1);
    EXPECT_EQ(other.GetTitle(), "");
}

// --- Resampling -----------------------------------------------------------------

class ResampleTest : public testing::TestWithParam<int>
{
protected:
    void TearDown() override { SetRowThreadCount(0); }
};

// The resize gives exactly what the raw image writer gives for the same
// rectangle and size, whatever the number of threads.
TEST_P(ResampleTest, MatchesTheRawWriterPixelForPixel)
{
    SetRowThreadCount(GetParam());
    CRGBImage source = Pattern(211, 157);
    const struct
    {
        CRect rect;
        int width, height;
    } cases[] = {
        {CRect(0, 0, 211, 157), 100, 67},  {CRect(0, 0, 211, 157), 211, 157},
        {CRect(0, 0, 211, 157), 400, 300}, {CRect(13, 7, 200, 150), 60, 200},
        {CRect(5, 5, 25, 25), 7, 3},       {CRect(0, 0, 211, 157), 1, 1},
        {CRect(100, 0, 101, 157), 3, 40},  {CRect(0, 0, 211, 157), 140, 150},
    };
    TempDir dir;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        platform::File file;
        ASSERT_TRUE(file.OpenWrite(dir.File("ref.rgb"), platform::FileCreate::Truncate, 0600));
        ASSERT_TRUE(source.WriteScaledRaw(file, c.rect.left, c.rect.top, c.rect.Width(),
                                          c.rect.Height(), c.width, c.height, {}));
        CRGBImage reference;
        ASSERT_TRUE(reference.ReadRaw(file));
        file.Close();

        CRGBImage resized;
        ASSERT_TRUE(ResampleImageRect(source, c.rect, c.width, c.height, resized, {}));
        EXPECT_EQ(resized.GetWidth(), c.width);
        EXPECT_EQ(resized.GetHeight(), c.height);
        EXPECT_TRUE(SamePixels(PixelsOf(resized), PixelsOf(reference)));
    }
    EXPECT_FALSE(source.IsLocked());
}

INSTANTIATE_TEST_SUITE_P(Threads, ResampleTest, testing::Values(1, 4),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::to_string(info.param);
                         });

TEST(TrimmingDocTest, ResampleRefusesBadArguments)
{
    CRGBImage source = Pattern(20, 10);
    CRGBImage out(3, 3);
    EXPECT_FALSE(ResampleImageRect(source, CRect(0, 0, 21, 10), 5, 5, out, {}));
    EXPECT_FALSE(ResampleImageRect(source, CRect(-1, 0, 10, 10), 5, 5, out, {}));
    EXPECT_FALSE(ResampleImageRect(source, CRect(5, 5, 5, 8), 5, 5, out, {}));
    EXPECT_FALSE(ResampleImageRect(source, CRect(0, 0, 20, 10), 0, 5, out, {}));
    EXPECT_FALSE(ResampleImageRect(source, CRect(0, 0, 20, 10), 5, 40000, out, {}));
    CRGBImage empty;
    EXPECT_FALSE(ResampleImageRect(empty, CRect(0, 0, 1, 1), 5, 5, out, {}));
}

// --- ProcessImage -----------------------------------------------------------------

class TrimmingProcessTest : public testing::Test
{
protected:
    bool Process(CTrimmingDoc& doc, CRGBImage& image, const BatchSizeRequest* request,
                 ProgressLog* log = nullptr, std::vector<std::string>* details = nullptr)
    {
        return doc.ProcessImage(image, nullptr, Identity(), nullptr, 1.0, request,
                                log ? Progress(*log) : Progress(), details);
    }

    TempDir m_cache;
    ScopedEnv m_env{"XDG_CACHE_HOME", m_cache.Path()};
};

TEST_F(TrimmingProcessTest, TheBatchBoxResizesEvenWhenTheStepIsDisabled)
{
    const struct
    {
        int width, height, outW, outH;
    } cases[] = {{300, 200, 100, 67}, {80, 60, 80, 60}, {200, 300, 67, 100}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        CTrimmingDoc doc = SetUpFor(c.width, c.height);
        doc.GetTrimRecord().TrmWidth = 50; // no crop: the step is disabled
        CRGBImage image = Pattern(c.width, c.height);
        CRGBImage expected;
        ASSERT_TRUE(
            ResampleImageRect(image, CRect(0, 0, c.width, c.height), c.outW, c.outH, expected, {}));
        const BatchSizeRequest box{3, 100, 100};
        ProgressLog log;
        ASSERT_TRUE(Process(doc, image, &box, &log));
        EXPECT_EQ(image.GetWidth(), c.outW);
        EXPECT_EQ(image.GetHeight(), c.outH);
        EXPECT_TRUE(SamePixels(PixelsOf(image), PixelsOf(expected)));
        ASSERT_FALSE(log.values.empty());
        EXPECT_EQ(log.values.back(), 100.0);
        EXPECT_TRUE(std::is_sorted(log.values.begin(), log.values.end()));
    }
}

TEST_F(TrimmingProcessTest, ADisabledStepWithoutABoxChangesNothing)
{
    CTrimmingDoc doc = SetUpFor(60, 40);
    doc.GetTrimRecord().TrmWidth = 50;
    for (int mode : {1, 2})
    {
        CRGBImage image = Pattern(60, 40);
        const std::vector<RGB16> before = PixelsOf(image);
        const BatchSizeRequest request{mode, 10, 10};
        ProgressLog log;
        EXPECT_TRUE(Process(doc, image, &request, &log));
        EXPECT_TRUE(SamePixels(PixelsOf(image), before));
        EXPECT_EQ(log.values, std::vector<double>{100.0});

        ProgressLog stop;
        stop.stopAt = 0;
        EXPECT_FALSE(Process(doc, image, &request, &stop));
    }
}

TEST_F(TrimmingProcessTest, AnEnabledStepCropsAndResizesToTheRecordedSize)
{
    ScopedStepEditionPolicy enabled(StepEditionPolicy::AllStepsEnabled);
    CTrimmingDoc doc = SetUpFor(120, 90);
    CTrimmingDoc::TrimRecord& r = doc.GetTrimRecord();
    r.TrmPosX = 10;
    r.TrmPosY = 20;
    r.TrmWidth = 100;
    r.TrmHeight = 60;
    r.SizePixelWidth = 50;
    r.SizePixelHeight = 30;

    CRGBImage image = Pattern(120, 90);
    CRGBImage expected;
    ASSERT_TRUE(ResampleImageRect(image, CRect(10, 20, 110, 80), 50, 30, expected, {}));
    ASSERT_TRUE(Process(doc, image, nullptr));
    EXPECT_EQ(image.GetWidth(), 50);
    EXPECT_EQ(image.GetHeight(), 30);
    EXPECT_TRUE(SamePixels(PixelsOf(image), PixelsOf(expected)));

    // "Keep the size" crops only.
    CRGBImage kept = Pattern(120, 90);
    const BatchSizeRequest keep{2, 0, 0};
    ASSERT_TRUE(Process(doc, kept, &keep));
    EXPECT_EQ(kept.GetWidth(), 100);
    EXPECT_EQ(kept.GetHeight(), 60);
    CRGBImage original = Pattern(120, 90);
    const std::vector<RGB16> all = PixelsOf(original);
    const std::vector<RGB16> crop = PixelsOf(kept);
    for (int y = 0; y < 60; ++y)
        ASSERT_EQ(std::memcmp(&crop[static_cast<std::size_t>(y) * 100],
                              &all[static_cast<std::size_t>(y + 20) * 120 + 10],
                              100 * sizeof(RGB16)),
                  0)
            << y;
}

TEST_F(TrimmingProcessTest, AnImageOfAnotherSizeIsNotCroppedAndTheLogSaysWhy)
{
    ScopedStepEditionPolicy enabled(StepEditionPolicy::AllStepsEnabled);
    CTrimmingDoc doc = SetUpFor(120, 90);
    doc.GetTrimRecord().TrmWidth = 60;
    CRGBImage image = Pattern(100, 80);
    const BatchSizeRequest keep{2, 0, 0};
    std::vector<std::string> details{"earlier line"};
    ASSERT_TRUE(Process(doc, image, &keep, nullptr, &details));
    EXPECT_EQ(image.GetWidth(), 100);
    ASSERT_EQ(details.size(), 2u);
    EXPECT_NE(details[1].find("120 x 90"), std::string::npos);
    EXPECT_NE(details[1].find("100 x 80"), std::string::npos);
    EXPECT_LE(details[1].size(), 255u);
}

TEST_F(TrimmingProcessTest, ACancelOrAFailedTemporaryFileLeavesTheImageAsItWas)
{
    CTrimmingDoc doc = SetUpFor(200, 100);
    const BatchSizeRequest box{3, 50, 50};
    for (int stopAt : {0, 5, 1000000})
    {
        SCOPED_TRACE(stopAt);
        CRGBImage image = Pattern(200, 100);
        const std::vector<RGB16> before = PixelsOf(image);
        ProgressLog log;
        log.stopAt = stopAt;
        const bool done = Process(doc, image, &box, &log);
        if (stopAt < static_cast<int>(log.values.size()))
        {
            EXPECT_FALSE(done);
            EXPECT_EQ(image.GetWidth(), 200);
            EXPECT_TRUE(SamePixels(PixelsOf(image), before));
        }
        else
        {
            EXPECT_TRUE(done);
            EXPECT_EQ(image.GetWidth(), 50);
        }
    }

    // No temporary raw file is left behind, whatever happened.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_cache.Path()))
        EXPECT_EQ(entry.path().filename().string().find("TRM"), std::string::npos) << entry.path();

    // The temporary folder cannot be made: a file stands where it belongs.
    TempDir blocked;
    WriteTextFile(blocked.File("cache"), "not a folder");
    ScopedEnv env("XDG_CACHE_HOME", blocked.File("cache"));
    CRGBImage image = Pattern(200, 100);
    const std::vector<RGB16> before = PixelsOf(image);
    EXPECT_FALSE(Process(doc, image, &box));
    EXPECT_EQ(image.GetWidth(), 200);
    EXPECT_TRUE(SamePixels(PixelsOf(image), before));
}

// --- Preview ----------------------------------------------------------------------

TEST(TrimmingDocTest, PreviewDarkensWhatLiesOutsideTheTrimmingRectangle)
{
    CTrimmingDoc doc = SetUpFor(8, 6);
    CTrimmingDoc::TrimRecord& r = doc.GetTrimRecord();
    r.TrmPosX = 2;
    r.TrmPosY = 2;
    r.TrmWidth = 4;
    r.TrmHeight = 2;
    CRGBImage source(8, 6);
    RGB16* pixels = source.Lock();
    for (int i = 0; i < 48; ++i)
        pixels[i] = {4000, 800, 7};
    source.Unlock();
    CRGBImage target(4, 3);
    CAccessRGBImageByLab from(source, nullptr, Identity());
    CAccessRGBImageByLab to(target, nullptr, Identity());
    ASSERT_TRUE(doc.ApplyRect(from, nullptr, &to, nullptr, {}, 2));
    // Destination (x, y) samples source (2x + 1, 2y + 1).
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
        {
            const int sx = 2 * x + 1;
            const int sy = 2 * y + 1;
            const bool inside = sx >= 2 && sx < 6 && sy >= 2 && sy < 4;
            const RGB16 p = to.GetStoredPixel(x, y);
            EXPECT_EQ(p.r, inside ? 4000 : 1000) << x << "," << y;
            EXPECT_EQ(p.g, inside ? 800 : 200);
            EXPECT_EQ(p.b, inside ? 7 : 1);
        }

    // Other modes copy without darkening.
    CRGBImage plain(4, 3);
    CAccessRGBImageByLab toPlain(plain, nullptr, Identity());
    ASSERT_TRUE(doc.ApplyRect(from, nullptr, &toPlain, nullptr, {}, 1));
    EXPECT_EQ(toPlain.GetStoredPixel(0, 0).r, 4000);
}

} // namespace
