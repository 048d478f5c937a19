#include "correction/DNGParamDoc.h"

#include "core/ImageAccess.h"
#include "core/RGBImage.h"
#include "imagefile/DNGTranspose.h"
#include "tests/correction/CorrectionTestSupport.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using correctiontest::WorkingSpace;
using testsupport::TempDir;
using testsupport::WriteTextFile;

namespace {

const CStdMatrix& Identity()
{
    static const CStdMatrix identity = CStdMatrix::Identity(3);
    return identity;
}

// A two-illuminant camera description (standard light A and D65).
CDNGTranspose MakeCamera()
{
    CDNGTranspose camera;
    const CStdMatrix a(0.8, -0.2, -0.05, -0.5, 1.3, 0.2, -0.1, 0.2, 0.7);
    const CStdMatrix d65(0.7, -0.1, -0.05, -0.4, 1.2, 0.2, -0.05, 0.15, 0.6);
    camera.Setup(17, 21, a, d65, true, std::vector<double>{0.5, 1.0, 0.7}, {});
    return camera;
}

CRGBImage Filled(int width, int height, RGB16 value)
{
    CRGBImage image(width, height);
    RGB16* pixels = image.Lock();
    for (std::size_t i = 0; i < image.GetPixelCount(); ++i)
        pixels[i] = value;
    image.Unlock();
    return image;
}

RGB16 PixelAt(CRGBImage& image, int x, int y)
{
    const RGB16 pixel = image.Lock()[y * image.GetWidth() + x];
    image.Unlock();
    return pixel;
}

CDNGParamDoc LoadFrom(const std::string& text)
{
    TempDir dir;
    WriteTextFile(dir.File("p.qzp"), text);
    CParamFileReader reader;
    EXPECT_TRUE(reader.Load(dir.File("p.qzp")));
    CDNGParamDoc doc;
    doc.GetParams().Temperature = 1234; // overwritten by the load
    EXPECT_TRUE(doc.LoadParams(reader));
    return doc;
}

struct StopAfterFirst final : IProgressSink
{
    int calls = 0;
    bool Report(double) override { return ++calls != 1; }
};

TEST(DNGParamDocTest, StartsAsShotWithoutCorrections)
{
    const CDNGParamDoc doc;
    EXPECT_EQ(doc.GetParams().AsShot, 1);
    EXPECT_EQ(doc.GetParams().Temperature, 6500);
    EXPECT_EQ(doc.GetParams().Tint, 0);
    EXPECT_EQ(doc.GetParams().Exposure, 0);
    EXPECT_EQ(doc.GetParams().Shadow, 0);
    EXPECT_FALSE(doc.IsPrepared());
    EXPECT_EQ(doc.GetSectionName(), "qzDNGParamDoc");
    EXPECT_FALSE(doc.IsStepEnabled());
}

TEST(DNGParamDocTest, LoadReplacesOutOfRangeValuesByDefaults)
{
    const struct
    {
        const char* keys;
        int asShot, temperature, tint, exposure, shadow;
    } cases[] = {
        {"Temperature=1999\nTint=-151\nExposure=400\nShadow=101\n", 1, 6500, 0, 400, 0},
        {"Temperature=50000\nTint=150\nExposure=-400\nShadow=100\n", 1, 50000, 150, -400, 100},
        {"Temperature=2000\nTint=-150\nExposure=401\nShadow=-1\n", 1, 2000, -150, 0, 0},
        {"AsShot=0\nTemperature=abc\nTint=nan\nExposure=1e2\nShadow=50\n", 0, 6500, 0, 0, 50},
        // Only 1 means as shot; any other stored number is kept as 0.
        {"AsShot=5\n", 0, 6500, 0, 0, 0},
        {"AsShot=-1\n", 0, 6500, 0, 0, 0},
        {"AsShot=yes\n", 1, 6500, 0, 0, 0},
        {"", 1, 6500, 0, 0, 0},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.keys);
        const CDNGParamDoc doc = LoadFrom(std::string("[qzDNGParamDoc]\n") + c.keys);
        EXPECT_EQ(doc.GetParams().AsShot, c.asShot);
        EXPECT_EQ(doc.GetParams().Temperature, c.temperature);
        EXPECT_EQ(doc.GetParams().Tint, c.tint);
        EXPECT_EQ(doc.GetParams().Exposure, c.exposure);
        EXPECT_EQ(doc.GetParams().Shadow, c.shadow);
    }
    const CDNGParamDoc missing = LoadFrom("[qzOther]\nAsShot=0\nTemperature=3000\n");
    EXPECT_EQ(missing.GetParams().AsShot, 1);
    EXPECT_EQ(missing.GetParams().Temperature, 6500);
}

TEST(DNGParamDocTest, SaveAndLoadRoundTrip)
{
    CDNGParamDoc doc;
    doc.SetTitle("Tungsten");
    doc.GetParams().AsShot = 0;
    doc.GetParams().Temperature = 3200;
    doc.GetParams().Tint = -12;
    doc.GetParams().Exposure = 150;
    doc.GetParams().Shadow = 30;
    CParamFileWriter file;
    ASSERT_TRUE(doc.SaveParams(file));
    EXPECT_EQ(file.GetText(), "[qzDNGParamDoc]\nVer=2.0\nTitle=Tungsten\nAsShot=0\n"
                              "Temperature=3200\nTint=-12\nExposure=150\nShadow=30\n");
    const CDNGParamDoc loaded = LoadFrom(file.GetText());
    EXPECT_TRUE(loaded.IsEqual(doc));
    EXPECT_EQ(loaded.GetTitle(), "Tungsten");
    EXPECT_EQ(loaded.GetParams().Temperature, 3200);
    EXPECT_EQ(loaded.GetParams().Tint, -12);
}

TEST(DNGParamDocTest, TemperatureAndTintMatterOnlyWithoutTheAsShotWhite)
{
    CDNGParamDoc a;
    CDNGParamDoc b;
    b.GetParams().Temperature = 3000;
    b.GetParams().Tint = 40;
    EXPECT_TRUE(a.IsEqual(b));
    a.GetParams().AsShot = 0;
    b.GetParams().AsShot = 0;
    EXPECT_FALSE(a.IsEqual(b));
    b.GetParams().Temperature = a.GetParams().Temperature;
    b.GetParams().Tint = a.GetParams().Tint;
    EXPECT_TRUE(a.IsEqual(b));
    b.GetParams().Exposure = 1;
    EXPECT_FALSE(a.IsEqual(b));
    b.GetParams().Exposure = 0;
    b.GetParams().Shadow = 1;
    EXPECT_FALSE(a.IsEqual(b));
    b.GetParams().Shadow = 0;
    b.GetParams().AsShot = 1;
    EXPECT_FALSE(a.IsEqual(b));
}

TEST(DNGParamDocTest, CopiesDropThePreparedDevelopment)
{
    CDNGParamDoc doc;
    doc.GetParams().Shadow = 40;
    doc.SetTitle("t");
    doc.SetDevelopment({100, 100, 100}, Identity() * 2.0, 10);
    ASSERT_TRUE(doc.IsPrepared());

    CDNGParamDoc copy(doc);
    const std::unique_ptr<CBaseDoc> clone = doc.Clone();
    CDNGParamDoc assigned;
    assigned.Assign(doc);
    const CDNGParamDoc* copies[] = {&copy, &assigned,
                                    dynamic_cast<const CDNGParamDoc*>(clone.get())};
    for (const CDNGParamDoc* d : copies)
    {
        ASSERT_NE(d, nullptr);
        EXPECT_FALSE(d->IsPrepared());
        EXPECT_EQ(d->GetParams().Shadow, 40);
        EXPECT_EQ(d->GetTitle(), "t");
        EXPECT_EQ(d->GetBlackOffset(), 0);
        EXPECT_EQ(d->GetClipLevel()[0], 65535);
    }

    // An unprepared document leaves the image exactly as it was.
    CRGBImage image = Filled(3, 2, {1000, 2000, 3000});
    CAccessRGBImageByLab access(image, nullptr, Identity());
    EXPECT_TRUE(copy.Apply(access, nullptr, {}, 1));
    const RGB16 p = access.GetStoredPixel(2, 1);
    EXPECT_EQ(p.r, 1000);
    EXPECT_EQ(p.g, 2000);
    EXPECT_EQ(p.b, 3000);
}

TEST(DNGParamDocTest, PixelsGoThroughClipMatrixBlackOffsetAndClamp)
{
    const CStdMatrix swapAndScale(0.0, 1.0, 0.0, // R <- G
                                  2.0, 0.0, 0.0, // G <- 2 R
                                  0.5, 0.0, 0.5);
    const struct
    {
        RGB16 in;
        std::array<std::uint16_t, 3> clip;
        int black;
        RGB16 out;
    } cases[] = {
        {{1000, 2000, 3000}, {65535, 65535, 65535}, 0, {2000, 2000, 2000}},
        // A red clip of 60000 limits a red of 65535 before the matrix.
        {{65535, 100, 0}, {60000, 65535, 65535}, 0, {100, 65535, 30000}},
        // The largest shadow: 6425 off every channel; below that gives 0.
        {{10000, 6000, 10000}, {65535, 65535, 65535}, 6425, {0, 13575, 3575}},
        {{40000, 0, 40000}, {65535, 65535, 65535}, 0, {0, 65535, 40000}},
    };
    for (const auto& c : cases)
    {
        CDNGParamDoc doc;
        doc.SetDevelopment(c.clip, swapAndScale, c.black);
        CRGBImage image = Filled(2, 2, c.in);
        CAccessRGBImageByLab access(image, nullptr, Identity());
        ASSERT_TRUE(doc.Apply(access, nullptr, {}, 1));
        const RGB16 p = access.GetStoredPixel(1, 1);
        EXPECT_EQ(p.r, c.out.r);
        EXPECT_EQ(p.g, c.out.g);
        EXPECT_EQ(p.b, c.out.b);
    }
}

TEST(DNGParamDocTest, ApplyWorksOnTheRectangleOnly)
{
    CDNGParamDoc doc;
    doc.SetDevelopment({65535, 65535, 65535}, Identity() * 2.0, 0);
    CRGBImage image = Filled(4, 3, {100, 100, 100});
    CAccessRGBImageByLab access(image, nullptr, Identity());
    const CRect rect(1, 1, 3, 2);
    ASSERT_TRUE(doc.Apply(access, &rect, {}, 1));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
        {
            const bool inside = x >= 1 && x < 3 && y == 1;
            EXPECT_EQ(access.GetStoredPixel(x, y).r, inside ? 200 : 100) << x << "," << y;
        }
}

TEST(DNGParamDocTest, AStopAfterTheFirstRowLeavesOneRowDeveloped)
{
    CDNGParamDoc doc;
    doc.SetDevelopment({65535, 65535, 65535}, Identity() * 2.0, 0);
    CRGBImage image = Filled(3, 4, {100, 100, 100});
    CAccessRGBImageByLab access(image, nullptr, Identity());
    StopAfterFirst stop;
    EXPECT_FALSE(doc.Apply(access, nullptr, stop, 1));
    EXPECT_EQ(stop.calls, 1);
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(access.GetStoredPixel(1, y).g, y == 0 ? 200 : 100) << y;
}

TEST(DNGParamDocTest, PrepareAsksTheCameraDescriptionForTheDevelopment)
{
    const CDNGTranspose camera = MakeCamera();
    CRGBImage image = Filled(2, 2, {30000, 30000, 30000});
    CAccessRGBImageByLab access(image, nullptr, WorkingSpace());

    const struct
    {
        int asShot, temperature, tint, exposure, shadow;
    } cases[] = {{1, 6500, 0, 0, 0}, {0, 3200, 20, 100, 100}, {7, 3200, 20, -50, 10}};
    for (const auto& c : cases)
    {
        CDNGParamDoc doc;
        doc.GetParams().AsShot = c.asShot;
        doc.GetParams().Temperature = c.temperature;
        doc.GetParams().Tint = c.tint;
        doc.GetParams().Exposure = c.exposure;
        doc.GetParams().Shadow = c.shadow;
        ASSERT_TRUE(doc.PrepareApply(&camera, access, nullptr, 1.0));
        ASSERT_TRUE(doc.IsPrepared());

        std::array<std::uint16_t, 3> white{};
        CStdMatrix matrix;
        int black = -1;
        camera.SetWhiteBalance(c.temperature, c.tint, c.asShot == 1, c.exposure, c.shadow,
                               WorkingSpace(), white, matrix, black);
        EXPECT_EQ(doc.GetClipLevel(), white);
        EXPECT_EQ(doc.GetBlackOffset(), black);
        EXPECT_EQ(doc.GetDevelopMatrix().GetData(), matrix.GetData());
    }
    CDNGParamDoc shadow;
    shadow.GetParams().Shadow = 100;
    ASSERT_TRUE(shadow.PrepareApply(&camera, access, nullptr, 1.0));
    EXPECT_EQ(shadow.GetBlackOffset(), 6425);

    // Without a camera description the image passes unchanged.
    ASSERT_TRUE(shadow.PrepareApply(nullptr, access, nullptr, 1.0));
    EXPECT_FALSE(shadow.IsPrepared());
    EXPECT_TRUE(shadow.Apply(access, nullptr, {}, 1));
    EXPECT_EQ(PixelAt(image, 0, 0).r, 30000);
}

TEST(DNGParamDocTest, ProcessImageDevelopsADngImageAndPassesOthers)
{
    const CDNGTranspose camera = MakeCamera();
    CDNGParamDoc doc;
    doc.GetParams().Exposure = 100;
    CRGBImage plain = Filled(3, 3, {20000, 20000, 20000});
    EXPECT_TRUE(
        doc.ProcessImage(plain, nullptr, WorkingSpace(), nullptr, 1.0, nullptr, {}, nullptr));
    EXPECT_EQ(PixelAt(plain, 1, 1).g, 20000);

    CRGBImage raw = Filled(3, 3, {20000, 20000, 20000});
    EXPECT_TRUE(doc.ProcessImage(raw, nullptr, WorkingSpace(), &camera, 1.0, nullptr, {}, nullptr));
    EXPECT_NE(PixelAt(raw, 1, 1).g, 20000);
}

} // namespace
