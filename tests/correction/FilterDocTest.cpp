// The filter document: the sparse Gaussian kernel, the parameter section,
// and the unsharp mask against a plain per-pixel rendering of the same
// steps; tiles, threads and the whole image agree.

#include "correction/FilterDoc.h"

#include "core/CIEColor.h"
#include "core/ImageAccess.h"
#include "core/RGBImage.h"
#include "core/StdMatrix.h"
#include "correction/GrayCalibDoc.h"
#include "tests/correction/CorrectionTestSupport.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

using testsupport::TempDir;
using testsupport::WriteTextFile;
using namespace correctiontest;

namespace {

// Soft shapes with some noise: edges to sharpen and flat parts to keep.
CRGBImage TestImage(int w, int h, unsigned seed)
{
    CRGBImage image(w, h);
    RGB16* p = image.Lock();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-1500, 1500);
    for (int y = 0; y < h; ++y)
    {
        for (int x = 0; x < w; ++x)
        {
            const bool inside = (x / 9 + y / 7) % 2 == 0;
            const int base = inside ? 42000 : 9000;
            auto channel = [&](int offset) {
                return static_cast<std::uint16_t>(
                    std::clamp(base + offset + noise(random), 0, 65535));
            };
            p[static_cast<std::size_t>(y) * w + x] = {channel(0), channel(x * 40),
                                                      channel(-y * 30)};
        }
    }
    image.Unlock();
    return image;
}

std::uint16_t PlaneValue(double L)
{
    return ClampToU16(L * 655.35);
}

// The unsharp mask of a whole image written the plain way: a plane with a
// border of edge pixels, box means with every index clamped, and every
// kernel sample's index clamped too.
void ReferenceSharpen(CRGBImage& image, const CFilterDoc& params)
{
    CFilterDoc doc;
    doc.BuildKernel(params.GetParams().Radius / 10.0);
    const CRect m = doc.GetKernelMargins();
    const int h = -doc.GetBoxSpread().left;
    const int W = image.GetWidth();
    const int H = image.GetHeight();
    const int pw = W + m.right - m.left;
    const int ph = H + m.bottom - m.top;
    CAccessRGBImageByLab access(image, nullptr, WorkingSpace());
    const CLabRowKernel lab(access);
    std::vector<int> plane(static_cast<std::size_t>(pw) * ph);
    auto at = [&](std::vector<int>& v, int x, int y) -> int& {
        return v[static_cast<std::size_t>(std::clamp(y, 0, ph - 1)) * pw +
                 std::clamp(x, 0, pw - 1)];
    };
    for (int py = 0; py < ph; ++py)
    {
        for (int px = 0; px < pw; ++px)
        {
            const int x = std::clamp(px + m.left, 0, W - 1);
            const int y = std::clamp(py + m.top, 0, H - 1);
            at(plane, px, py) = PlaneValue(lab.Lightness(access.GetStoredPixel(x, y)));
        }
    }
    if (h > 0)
    {
        std::vector<int> pass = plane;
        for (int py = 0; py < ph; ++py)
        {
            for (int px = 0; px < pw; ++px)
            {
                int sum = 0;
                for (int k = -h; k <= h; ++k)
                    sum += at(plane, px + k, py);
                at(pass, px, py) = sum / (2 * h + 1);
            }
        }
        plane = pass;
        for (int py = 0; py < ph; ++py)
        {
            for (int px = 0; px < pw; ++px)
            {
                int sum = 0;
                for (int k = -h; k <= h; ++k)
                    sum += at(plane, px, py + k);
                at(pass, px, py) = sum / (2 * h + 1);
            }
        }
        plane = pass;
    }
    const double threshold = params.GetParams().Threshold / 255.0 * 20.0;
    RGB16* pixels = image.Lock();
    for (int y = 0; y < H; ++y)
    {
        for (int x = 0; x < W; ++x)
        {
            double b = 0.0;
            for (const CFilterDoc::KernelSample& s : doc.GetKernel())
                b += s.weight * at(plane, x - m.left + s.dx, y - m.top + s.dy);
            RGB16& px = pixels[static_cast<std::size_t>(y) * W + x];
            double L;
            double A;
            double B;
            lab.ToLab(px, L, A, B);
            const double d = L - std::min(b, 100.0);
            if (std::fabs(d) >= threshold)
                L = std::clamp(L + d * params.GetParams().Amount / 100.0, 0.0, 100.0);
            px = lab.FromLab(L, A, B);
        }
    }
}

// Asks to stop past 30 %.
struct StopBeyond30 final : IProgressSink
{
    bool Report(double percent) override { return percent <= 30.0; }
};

CFilterDoc Filter(int radius, int amount, int threshold)
{
    CFilterDoc doc;
    doc.GetParams().Radius = radius;
    doc.GetParams().Amount = amount;
    doc.GetParams().Threshold = threshold;
    return doc;
}

} // namespace

// --- Kernel ------------------------------------------------------------------------

TEST(FilterDocTest, KernelOfRadiusTen)
{
    // s = 1: r = 2.4477, R = 3, step 1, h 0: the 29 offsets of the 7 x 7
    // grid within distance 3.
    CFilterDoc doc;
    doc.BuildKernel(1.0);
    const std::vector<CFilterDoc::KernelSample>& k = doc.GetKernel();
    ASSERT_EQ(k.size(), 29u);
    double sum = 0.0;
    for (const CFilterDoc::KernelSample& s : k)
    {
        EXPECT_LE(s.dx * s.dx + s.dy * s.dy, 9);
        sum += s.weight;
    }
    EXPECT_NEAR(sum * 655.35, 1.0, 1e-12) << "weights sum to 1 / 655.35";
    EXPECT_EQ(doc.GetBoxSpread(), CRect(0, 0, 1, 1));
    EXPECT_EQ(doc.GetKernelMargins(), CRect(-3, -3, 4, 4));
    // The centre weighs most, the corners of the circle least.
    const auto centre =
        std::find_if(k.begin(), k.end(), [](const auto& s) { return s.dx == 0 && s.dy == 0; });
    ASSERT_NE(centre, k.end());
    for (const CFilterDoc::KernelSample& s : k)
        EXPECT_LE(s.weight, centre->weight);
}

TEST(FilterDocTest, KernelOfWideBlurs)
{
    struct Case
    {
        double s;
        int step; // sample spacing, truncated
        int h;    // half box width
    };
    // r = sqrt(2 ln 20) s = 2.4477 s; step = r / 3 beyond r = 3.
    const Case cases[] = {{2.5, 2, 1}, {6.0, 4, 2}, {10.0, 8, 4}, {100.0, 81, 40}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.s);
        CFilterDoc doc;
        doc.BuildKernel(c.s);
        const auto& k = doc.GetKernel();
        EXPECT_LE(k.size(), 49u);
        EXPECT_GE(k.size(), 21u);
        int maxOffset = 0;
        for (const auto& s : k)
            maxOffset = std::max(maxOffset, s.dx);
        EXPECT_EQ(maxOffset, static_cast<int>(3 * (2.4477468306808166 * c.s / 3.0)));
        EXPECT_EQ(doc.GetBoxSpread(), CRect(-c.h, -c.h, c.h + 1, c.h + 1));
        EXPECT_EQ(doc.GetKernelMargins(), CRect(-maxOffset - c.h, -maxOffset - c.h,
                                                maxOffset + c.h + 1, maxOffset + c.h + 1));
    }

    // Sizes that are no blur at all or absurdly wide stay finite.
    const double sizes[] = {0.0, -4.0, std::nan(""), 1e-300, 1e9, INFINITY};
    for (const double s : sizes)
    {
        CFilterDoc doc;
        doc.BuildKernel(s);
        ASSERT_FALSE(doc.GetKernel().empty());
        for (const auto& sample : doc.GetKernel())
            ASSERT_TRUE(std::isfinite(sample.weight)) << s;
        EXPECT_LE(doc.GetKernelMargins().right, 1000) << s;
    }
}

// --- Parameters --------------------------------------------------------------------

TEST(FilterDocTest, ParametersLoadClampedAndSave)
{
    TempDir dir;
    struct Case
    {
        const char* body;
        int radius, amount, threshold;
    };
    const Case cases[] = {
        {"Radius=15\nAmount=500\nThreshold=255\n", 15, 500, 255},
        {"Radius=1001\nAmount=0\nThreshold=256\n", 0, 50, 0},
        {"Radius=-1\nAmount=501\nThreshold=-1\n", 0, 50, 0},
        {"Radius=1000\nAmount=1\nThreshold=0\n", 1000, 1, 0},
        {"Radius=ten\nAmount=1e2\nThreshold=4294967297\n", 0, 50, 0},
        {"", 0, 50, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.body);
        WriteTextFile(dir.File("f.qzp"), std::string("[qzFilterDoc]\r\nTitle=x\r\n") + c.body);
        CParamFileReader reader;
        ASSERT_TRUE(reader.Load(dir.File("f.qzp")));
        CFilterDoc doc = Filter(7, 7, 7);
        ASSERT_TRUE(doc.LoadParams(reader));
        EXPECT_EQ(doc.GetParams().Radius, c.radius);
        EXPECT_EQ(doc.GetParams().Amount, c.amount);
        EXPECT_EQ(doc.GetParams().Threshold, c.threshold);
        EXPECT_EQ(doc.GetTitle(), "x");
    }

    CFilterDoc doc = Filter(12, 150, 3);
    CParamFileWriter writer;
    ASSERT_TRUE(doc.SaveParams(writer));
    EXPECT_EQ(writer.GetText(),
              "[qzFilterDoc]\nVer=2.0\nTitle=\nRadius=12\nAmount=150\nThreshold=3\n");
}

TEST(FilterDocTest, EqualityAndCopies)
{
    CFilterDoc a = Filter(20, 80, 4);
    a.SetTitle("crisp");
    CRGBImage image(4, 4);
    CAccessRGBImageByLab access(image, nullptr, WorkingSpace());
    a.PrepareApply(nullptr, access, nullptr, 0.25);
    EXPECT_EQ(a.GetPreviewScale(), 0.25);

    CFilterDoc b;
    b.Assign(a);
    EXPECT_TRUE(b.IsEqual(a));
    EXPECT_EQ(b.GetTitle(), "crisp");
    EXPECT_EQ(b.GetPreviewScale(), 1.0) << "a copy starts at full scale";
    const std::unique_ptr<CBaseDoc> clone = a.Clone();
    EXPECT_TRUE(clone->IsEqual(a));
    EXPECT_EQ(dynamic_cast<CFilterDoc&>(*clone).GetPreviewScale(), 1.0);

    for (int field = 0; field < 3; ++field)
    {
        CFilterDoc c = a;
        (field == 0   ? c.GetParams().Radius
         : field == 1 ? c.GetParams().Amount
                      : c.GetParams().Threshold) += 1;
        EXPECT_FALSE(c.IsEqual(a)) << field;
    }
    EXPECT_FALSE(a.IsEqual(CGrayCalibDoc()));
    a.Reset();
    EXPECT_TRUE(a.IsEqual(CFilterDoc()));
    EXPECT_EQ(a.GetPreviewScale(), 1.0);
    int w = 0;
    int h = 0;
    a.GetTileSize(w, h);
    EXPECT_EQ(w, 128);
    EXPECT_EQ(h, 128);
}

// --- Apply -------------------------------------------------------------------------

TEST(FilterDocTest, RadiusZeroIsAnExactCopy)
{
    CFilterDoc doc = Filter(0, 500, 0);
    CRGBImage source = TestImage(50, 40, 1);
    const std::vector<RGB16> original = Pixels(source);
    {
        CAccessRGBImageByLab access(source, nullptr, WorkingSpace());
        ProgressLog log;
        std::vector<double>& progress = log.percents;
        EXPECT_TRUE(doc.Apply(access, nullptr, log, 1));
        EXPECT_TRUE(progress.empty());
    }
    EXPECT_TRUE(SamePixels(Pixels(source), original));

    // Into a destination: the base's copy, nothing else.
    CRGBImage target(50, 40);
    {
        CAccessRGBImageByLab src(source, nullptr, WorkingSpace());
        CAccessRGBImageByLab dst(target, nullptr, WorkingSpace());
        EXPECT_TRUE(doc.ApplyRect(src, nullptr, &dst, nullptr, {}, 2));
    }
    EXPECT_TRUE(SamePixels(Pixels(target), original));
}

TEST(FilterDocTest, MatchesThePlainRendering)
{
    struct Case
    {
        int radius, amount, threshold;
    };
    // Radius 10: no box passes; 25 and 60: box means of width 3 and 5.
    const Case cases[] = {{10, 100, 0}, {25, 250, 0}, {60, 80, 10}, {7, 500, 40}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.radius);
        const CFilterDoc doc0 = Filter(c.radius, c.amount, c.threshold);
        CRGBImage image = TestImage(61, 37, 3);
        CRGBImage expected = image;
        CFilterDoc doc = doc0;
        ASSERT_TRUE(
            doc.ProcessImage(image, nullptr, WorkingSpace(), nullptr, 1.0, nullptr, {}, nullptr));
        ReferenceSharpen(expected, doc0);
        EXPECT_TRUE(SamePixels(Pixels(image), Pixels(expected)));
    }
}

TEST(FilterDocTest, SharpensEdgesAndHonoursTheThreshold)
{
    // A step from L* ~30 to L* ~70: the dark side darkens next to the edge,
    // the light side lightens; far from it nothing moves.
    CRGBImage image(40, 8);
    RGB16* p = image.Lock();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 40; ++x)
            p[y * 40 + x] = x < 20 ? RGB16{4000, 4000, 4000} : RGB16{26000, 26000, 26000};
    image.Unlock();

    auto lightness = [](CRGBImage& img, int x) {
        CAccessRGBImageByLab access(img, nullptr, WorkingSpace());
        CCIELab lab;
        access.GetLabAt(x, 4, lab);
        return lab[0];
    };
    const double dark = lightness(image, 19);
    const double light = lightness(image, 20);
    const double farDark = lightness(image, 2);

    CFilterDoc doc = Filter(15, 100, 0);
    ASSERT_TRUE(
        doc.ProcessImage(image, nullptr, WorkingSpace(), nullptr, 1.0, nullptr, {}, nullptr));
    EXPECT_LT(lightness(image, 19), dark - 3.0);
    EXPECT_GT(lightness(image, 20), light + 3.0);
    EXPECT_NEAR(lightness(image, 2), farDark, 0.01);

    // Threshold 255 sharpens only differences of 20 L* or more. Across a
    // step of less than 20 L* the blurred value never lies that far from a
    // pixel, so the pixels only make the Lab round trip.
    CRGBImage strict(40, 8);
    RGB16* s = strict.Lock();
    for (int i = 0; i < 40 * 8; ++i)
        s[i] = i % 40 < 20 ? RGB16{8000, 8000, 8000} : RGB16{17000, 17000, 17000};
    strict.Unlock();
    ASSERT_LT(lightness(strict, 20) - lightness(strict, 19), 19.0);
    CRGBImage roundTrip = strict;
    {
        CAccessRGBImageByLab access(roundTrip, nullptr, WorkingSpace());
        const CLabRowKernel lab(access);
        RGB16* q = roundTrip.Lock();
        for (std::size_t i = 0; i < roundTrip.GetPixelCount(); ++i)
        {
            double L;
            double A;
            double B;
            lab.ToLab(q[i], L, A, B);
            q[i] = lab.FromLab(L, A, B);
        }
    }
    doc.GetParams().Threshold = 255;
    ASSERT_TRUE(
        doc.ProcessImage(strict, nullptr, WorkingSpace(), nullptr, 1.0, nullptr, {}, nullptr));
    EXPECT_TRUE(SamePixels(Pixels(strict), Pixels(roundTrip)));
}

TEST(FilterDocTest, TilesThreadsAndWholeImageAgree)
{
    const CRGBImage source = TestImage(300, 200, 11);
    CFilterDoc doc = Filter(60, 150, 2);

    // The whole image in place.
    CRGBImage whole = source;
    ASSERT_TRUE(
        doc.ProcessImage(whole, nullptr, WorkingSpace(), nullptr, 1.0, nullptr, {}, nullptr));
    const std::vector<RGB16> expected = Pixels(whole);

    // Tile by tile into a destination, at the document's tile size.
    CRGBImage src = source;
    CRGBImage tiled(300, 200);
    {
        CAccessRGBImageByLab from(src, nullptr, WorkingSpace());
        CAccessRGBImageByLab to(tiled, nullptr, WorkingSpace());
        int tw = 0;
        int th = 0;
        doc.GetTileSize(tw, th);
        for (int top = 0; top < 200; top += th)
        {
            for (int left = 0; left < 300; left += tw)
            {
                const CRect tile(left, top, std::min(left + tw, 300), std::min(top + th, 200));
                ASSERT_TRUE(doc.ApplyRect(from, &tile, &to, &tile, {}, 2));
            }
        }
    }
    EXPECT_TRUE(SamePixels(Pixels(tiled), expected));

    // Any number of threads.
    for (const int threads : {1, 2, 7})
    {
        SetRowThreadCount(threads);
        CRGBImage image = source;
        ASSERT_TRUE(
            doc.ProcessImage(image, nullptr, WorkingSpace(), nullptr, 1.0, nullptr, {}, nullptr));
        EXPECT_TRUE(SamePixels(Pixels(image), expected)) << threads;
    }
    SetRowThreadCount(0);

    // An inner rectangle on its own (no destination) reads its border from
    // the pixels around it, so it matches the whole image there too; Apply
    // without that preparation refuses and changes nothing.
    CRGBImage part = source;
    {
        CAccessRGBImageByLab access(part, nullptr, WorkingSpace());
        const CRect rect(100, 50, 228, 178);
        CRGBImage untouched = source;
        CRGBImage reference = source;
        {
            CAccessRGBImageByLab plain(untouched, nullptr, WorkingSpace());
            EXPECT_FALSE(doc.Apply(plain, &rect, {}, 1));
        }
        EXPECT_TRUE(SamePixels(Pixels(untouched), Pixels(reference)));
        ASSERT_TRUE(doc.ApplyRect(access, &rect, nullptr, nullptr, {}, 1));
    }
    const std::vector<RGB16> partPixels = Pixels(part);
    for (int y = 50; y < 178; ++y)
    {
        for (int x = 100; x < 228; ++x)
        {
            const std::size_t i = static_cast<std::size_t>(y) * 300 + x;
            ASSERT_TRUE(partPixels[i].r == expected[i].r && partPixels[i].g == expected[i].g &&
                        partPixels[i].b == expected[i].b)
                << x << "," << y;
        }
    }
}

TEST(FilterDocTest, PreviewScaleShrinksTheBlur)
{
    // A destination half as large in both directions at preview scale 1,
    // or full size at preview scale 0.5: both blur with s = 2 for Radius 40.
    CFilterDoc expected;
    expected.BuildKernel(2.0);

    CRGBImage source = TestImage(64, 48, 2);
    CRGBImage half(32, 24);
    CFilterDoc doc = Filter(40, 100, 0);
    {
        CAccessRGBImageByLab from(source, nullptr, WorkingSpace());
        CAccessRGBImageByLab to(half, nullptr, WorkingSpace());
        ASSERT_TRUE(doc.PrepareApply(nullptr, from, nullptr, 1.0));
        ASSERT_TRUE(doc.ApplyRect(from, nullptr, &to, nullptr, {}, 2));
    }
    EXPECT_EQ(doc.GetKernel().size(), expected.GetKernel().size());
    EXPECT_EQ(doc.GetKernelMargins(), expected.GetKernelMargins());

    CRGBImage full = source;
    CFilterDoc scaled = Filter(40, 100, 0);
    {
        CAccessRGBImageByLab access(full, nullptr, WorkingSpace());
        ASSERT_TRUE(scaled.PrepareApply(nullptr, access, nullptr, 0.5));
        ASSERT_TRUE(scaled.ApplyRect(access, nullptr, nullptr, nullptr, {}, 2));
    }
    ASSERT_EQ(scaled.GetKernel().size(), expected.GetKernel().size());
    for (std::size_t i = 0; i < expected.GetKernel().size(); ++i)
        EXPECT_EQ(scaled.GetKernel()[i].weight, expected.GetKernel()[i].weight);
}

TEST(FilterDocTest, ReducedPreviewSamplesItsBorderLikeTheBase)
{
    // A region of 100 x 80 drawn at 50 x 80 (columns halved, rows kept):
    // the plane's border must come from the source pixels the base's
    // nearest-pixel sampling gives positions beyond the region, with each
    // direction's own scale. Rendering the same sampling, margin included,
    // into a small image and sharpening its inner rectangle there must
    // give the same pixels.
    CRGBImage source = TestImage(220, 180, 8);
    const CRect region(40, 30, 140, 110);
    const int W = 50;
    const int H = 80;
    const int M = 20; // more than the kernel's margins at this size
    CFilterDoc doc = Filter(35, 200, 0);

    CRGBImage preview(W, H);
    {
        CAccessRGBImageByLab from(source, nullptr, WorkingSpace());
        CAccessRGBImageByLab to(preview, nullptr, WorkingSpace());
        ASSERT_TRUE(doc.ApplyRect(from, &region, &to, nullptr, {}, 2));
    }

    CRGBImage sampled(W + 2 * M, H + 2 * M);
    {
        const RGB16* from = source.Lock();
        RGB16* to = sampled.Lock();
        for (int v = 0; v < H + 2 * M; ++v)
        {
            const int y = CBaseDoc::SampleIndex(v - M, region.top, region.Height(), H, 180);
            for (int u = 0; u < W + 2 * M; ++u)
            {
                const int x = CBaseDoc::SampleIndex(u - M, region.left, region.Width(), W, 220);
                to[static_cast<std::size_t>(v) * (W + 2 * M) + u] = from[y * 220 + x];
            }
        }
        source.Unlock();
        sampled.Unlock();
    }
    CFilterDoc same = doc;
    {
        CAccessRGBImageByLab access(sampled, nullptr, WorkingSpace());
        ASSERT_TRUE(same.PrepareApply(nullptr, access, nullptr, std::sqrt(0.5)));
        const CRect inner(M, M, M + W, M + H);
        ASSERT_TRUE(same.ApplyRect(access, &inner, nullptr, nullptr, {}, 1));
    }
    const std::vector<RGB16> got = Pixels(preview);
    const std::vector<RGB16> want = Pixels(sampled);
    for (int y = 0; y < H; ++y)
    {
        for (int x = 0; x < W; ++x)
        {
            const RGB16& a = got[static_cast<std::size_t>(y) * W + x];
            const RGB16& b = want[static_cast<std::size_t>(y + M) * (W + 2 * M) + x + M];
            ASSERT_TRUE(a.r == b.r && a.g == b.g && a.b == b.b) << x << "," << y;
        }
    }
}

TEST(FilterDocTest, ProgressRunsThroughTheFourPasses)
{
    CRGBImage image = TestImage(40, 30, 4);
    CFilterDoc doc = Filter(60, 100, 0); // h = 2: both box passes run
    CAccessRGBImageByLab access(image, nullptr, WorkingSpace());
    ProgressLog log;
    std::vector<double>& progress = log.percents;
    ASSERT_TRUE(doc.ApplyRect(access, nullptr, nullptr, nullptr, log, 1));
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), 0.0);
    EXPECT_EQ(progress.back(), 100.0);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    // Own lightness 0..12.5 (y / H), then the box passes from 12.5 to 50.
    EXPECT_NEAR(progress[29], 29.0 / 30.0 * 12.5, 1e-12);
    EXPECT_EQ(progress[30], 12.5);
    EXPECT_NE(std::find(progress.begin(), progress.end(), 25.0), progress.end());
    EXPECT_NE(std::find(progress.begin(), progress.end(), 50.0), progress.end());

    StopBeyond30 stop;
    EXPECT_FALSE(doc.ApplyRect(access, nullptr, nullptr, nullptr, stop, 1));
}
