// The project's previews, measurements, display images, monitor changes and
// print entry points.

#include "tests/correction/ProjectTestSupport.h"
#include "tests/support/TestProfiles.h"

#include "core/ColorDisplay.h"
#include "core/ImageAccess.h"
#include "core/ProfileStore.h"
#include "core/SRGBProfile.h"
#include "core/RowBands.h"
#include "core/UseOsCmm.h"
#include "correction/ParamFile.h"
#include "imagefile/DNGTranspose.h"

#include <gtest/gtest.h>

#include <cstring>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <thread>

namespace {

using namespace projecttest;

// ---- Helpers -------------------------------------------------------------

// Sets UseOsCmm for its lifetime.
class ScopedUseOsCmm
{
public:
    explicit ScopedUseOsCmm(int value) : m_old(UseOsCmm.load()) { UseOsCmm = value; }
    ~ScopedUseOsCmm() { UseOsCmm = m_old; }
    ScopedUseOsCmm(const ScopedUseOsCmm&) = delete;
    ScopedUseOsCmm& operator=(const ScopedUseOsCmm&) = delete;

private:
    int m_old;
};

// A project whose current image can be given RAW data, as a DNG would
// bring it, without a DNG file.
class RawTestProject : public CProjectManage
{
public:
    using CProjectManage::CProjectManage;

    void GiveRawData(const CDNGTranspose& raw)
    {
        m_currentRecord.m_transform = std::make_unique<CDNGTranspose>(raw);
        m_rawThumbnail.Create(kRawThumbnailSize, kRawThumbnailSize);
        m_rawThumbnail.Resample(m_workingImage);
    }
};

// A camera whose as-shot neutral is not grey: developing changes pixels.
CDNGTranspose TestCamera()
{
    CDNGTranspose raw;
    raw.Setup(21, 0, CStdMatrix::Identity(3), CStdMatrix(), false, {0.5, 1.0, 0.8}, {});
    return raw;
}

// A step that paints its rectangle with one colour.
class ConstantDoc : public CBaseDoc
{
public:
    explicit ConstantDoc(RGB16 colour) : m_colour(colour) {}
    std::unique_ptr<CBaseDoc> Clone() const override
    {
        return std::make_unique<ConstantDoc>(*this);
    }
    void Assign(const CBaseDoc& other) override
    {
        if (const auto* doc = dynamic_cast<const ConstantDoc*>(&other))
            *this = *doc;
    }
    bool Apply(CAccessRGBImageByLab& image, const CRect* rect, Progress, int) const override
    {
        const CRect r = rect ? *rect : CRect(0, 0, image.GetWidth(), image.GetHeight());
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                image.SetPixel(x, y, m_colour);
        return true;
    }

private:
    RGB16 m_colour;
};

class RecordingCanvas : public IPreviewCanvas
{
public:
    struct Call
    {
        const CImageEx* image;
        CRect source;
        CRect destination;
    };
    void DrawImage(const CImageEx& image, const CRect& source, const CRect& destination) override
    {
        calls.push_back({&image, source, destination});
    }
    std::vector<Call> calls;
};

class RecordingStepProgress : public IPrintStepProgress
{
public:
    void SetSteps(const std::array<int, 7>& flags) override { steps.push_back(flags); }
    void SetStepProgress(int stage) override { stages.push_back(stage); }
    std::vector<std::array<int, 7>> steps;
    std::vector<int> stages;
};

// Every value reported, in order.
struct RecordProgress final : IProgressSink
{
    std::vector<double> values;
    bool Report(double value) override
    {
        values.push_back(value);
        return true;
    }
};

void FillRect(CRGBImage& image, const CRect& rect, RGB16 colour)
{
    ASSERT_FALSE(image.IsEmpty());
    RGB16* p = image.Lock();
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            p[static_cast<std::size_t>(y) * image.GetWidth() + x] = colour;
    image.Unlock();
}

bool SamePixels(const CImageEx& a, const CImageEx& b)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return false;
    for (int y = 0; y < a.GetHeight(); ++y)
    {
        if (!std::equal(a.GetPixelAddress(0, y), a.GetPixelAddress(0, y) + a.GetWidth() * 3,
                        b.GetPixelAddress(0, y)))
            return false;
    }
    return true;
}

// The bytes of pixel (x, y) as (blue, green, red).
std::array<std::uint8_t, 3> PixelAt(const CImageEx& image, int x, int y)
{
    const std::uint8_t* p = image.GetPixelAddress(x, y);
    return {p[0], p[1], p[2]};
}

// The display conversion of a converter as the program draws it: the
// transform with UseOsCmm 1, the matrix and inverse tone tables otherwise,
// then the LUT when given.
void ConvertForDisplay(const CColorConverter& converter, CRGBImage& image, const CRect& src,
                       CImageEx& display, const CRect& dst, const CColorTransform* lut)
{
    const bool os = UseOsCmm.load() == 1 && converter.GetTransform();
    ASSERT_TRUE(image.CopyRectConverted(display, src, dst,
                                        os ? nullptr : &converter.GetInputToOutputMatrix(),
                                        os ? nullptr : &converter.GetOutputInverseTRC(), {},
                                        os ? converter.GetTransform() : nullptr, lut));
}

// A LUT file that inverts every channel (out = 255 - in).
void WriteInvertingLut(const std::string& path)
{
    std::ofstream file(path, std::ios::binary);
    file << "R,G,B,R,G,B\n";
    for (int r = 0; r < 17; ++r)
        for (int g = 0; g < 17; ++g)
            for (int b = 0; b < 17; ++b)
            {
                const int in[3] = {std::min(255, r * 16), std::min(255, g * 16),
                                   std::min(255, b * 16)};
                file << in[0] << ',' << in[1] << ',' << in[2] << ',' << 255 - in[0] << ','
                     << 255 - in[1] << ',' << 255 - in[2] << '\n';
            }
}

class ProjectPreviewTest : public ProjectFixture
{
protected:
    // Replaces the fixture's project by another one, with the same services
    // and profiles.
    template <class Project> Project* ReplaceProject(std::unique_ptr<Project> project)
    {
        Project* raw = project.get();
        m_project = std::move(project);
        m_project->SetImageView(&m_view);
        m_project->SetShell(&m_shell);
        m_project->SetPrintDialogs(&m_printDialogs);
        EXPECT_TRUE(m_project->SetProjectProfiles(&m_monitor, &m_working, &m_input));
        return raw;
    }

    CRect Whole() const
    {
        return CRect(0, 0, m_project->GetWorkingImage().GetWidth(),
                     m_project->GetWorkingImage().GetHeight());
    }

    std::vector<std::string> MessageIds() const
    {
        std::vector<std::string> ids;
        for (const auto& m : m_messages.messages)
            ids.push_back(std::to_string(m.stringId));
        return ids;
    }
};

// ---- Previews ------------------------------------------------------------

TEST_F(ProjectPreviewTest, PreviewsAreMadeWhiteAndKeptWhileTheSizeStays)
{
    struct Case
    {
        const char* name;
        bool (CProjectManage::*make)(const CRect&, int*);
        CImageEx* (CProjectManage::*get)() const;
    };
    const Case cases[] = {
        {"before", &CProjectManage::MakeBeforePreview, &CProjectManage::GetBeforePreview},
        {"after", &CProjectManage::MakeAfterPreview, &CProjectManage::GetAfterPreview},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CProjectManage& p = *m_project;
        int created = -1;
        ASSERT_TRUE((p.*c.make)(CRect(10, 20, 50, 50), &created));
        EXPECT_EQ(created, 1);
        CImageEx* first = (p.*c.get)();
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->GetWidth(), 40);
        EXPECT_EQ(first->GetHeight(), 30);
        EXPECT_EQ(PixelAt(*first, 0, 0), (std::array<std::uint8_t, 3>{255, 255, 255}));
        EXPECT_EQ(PixelAt(*first, 39, 29), (std::array<std::uint8_t, 3>{255, 255, 255}));

        // The same size elsewhere keeps the image and what is drawn in it.
        FillDIB(*first, RGB16{0, 0, 0});
        ASSERT_TRUE((p.*c.make)(CRect(0, 0, 40, 30), &created));
        EXPECT_EQ(created, 0);
        EXPECT_EQ((p.*c.get)(), first);
        EXPECT_EQ(PixelAt(*first, 5, 5), (std::array<std::uint8_t, 3>{0, 0, 0}));

        ASSERT_TRUE((p.*c.make)(CRect(0, 0, 41, 30), &created));
        EXPECT_EQ(created, 1);
        EXPECT_EQ((p.*c.get)()->GetWidth(), 41);

        // An empty rectangle cannot be made: the preview is gone.
        EXPECT_FALSE((p.*c.make)(CRect(0, 0, 0, 30), &created));
        EXPECT_EQ(created, 0);
        EXPECT_EQ((p.*c.get)(), nullptr);
    }

    ASSERT_TRUE(m_project->MakeAfterPreview(CRect(0, 0, 8, 8), nullptr));
    FillDIB(*m_project->GetAfterPreview(), RGB16{0, 0, 0});
    m_project->ClearAfterPreview();
    EXPECT_EQ(PixelAt(*m_project->GetAfterPreview(), 7, 7),
              (std::array<std::uint8_t, 3>{255, 255, 255}));
    m_project->DeletePreviews();
    EXPECT_EQ(m_project->GetAfterPreview(), nullptr);
    m_project->ClearAfterPreview(); // nothing to clear
}

TEST_F(ProjectPreviewTest, RenderingByThreeOfAHundredPixelsShowsThirtyFourColumns)
{
    Load(AddTiff("g.tif", 120, 60));
    ASSERT_TRUE(m_project->MakeBeforePreview(Whole(), nullptr));
    ASSERT_TRUE(m_project->RenderBeforePreview(CRect(0, 0, 100, 60), 3));
    const CImageEx& preview = *m_project->GetBeforePreview();

    // Every column of the gradient differs, so each sample makes one run of
    // equal columns in a row of the tile.
    for (int y : {0, 31, 59})
    {
        int runs = 1;
        for (int x = 1; x < 100; ++x)
            runs += PixelAt(preview, x, y) != PixelAt(preview, x - 1, y) ? 1 : 0;
        EXPECT_EQ(runs, 34) << "row " << y;
        EXPECT_EQ(PixelAt(preview, 100, y), (std::array<std::uint8_t, 3>{255, 255, 255}));
    }
    // Rows: 20 samples down 60 rows.
    int runs = 1;
    for (int y = 1; y < 60; ++y)
        runs += PixelAt(preview, 0, y) != PixelAt(preview, 0, y - 1) ? 1 : 0;
    EXPECT_EQ(runs, 20);
}

TEST_F(ProjectPreviewTest, RenderedPixelsAreTheDisplayConversionOfTheWorkingImage)
{
    Load(AddTiff("g.tif", 90, 70, WideProfileBytes()));
    const CRect tile(13, 7, 77, 61);
    for (int os : {1, 0})
    {
        ScopedUseOsCmm engine(os);
        for (bool after : {false, true})
        {
            SCOPED_TRACE(testing::Message() << "UseOsCmm " << os << (after ? " after" : " before"));
            ASSERT_TRUE(after ? m_project->MakeAfterPreview(Whole(), nullptr)
                              : m_project->MakeBeforePreview(Whole(), nullptr));
            ASSERT_TRUE(after ? m_project->RenderAfterPreview(tile, 1)
                              : m_project->RenderBeforePreview(tile, 1));
            CImageEx expected;
            ASSERT_TRUE(expected.Create(90, 70));
            FillDIB(expected, RGB16{65535, 65535, 65535});
            ConvertForDisplay(*m_project, m_project->GetWorkingImage(), tile, expected, tile,
                              nullptr);
            EXPECT_TRUE(SamePixels(
                after ? *m_project->GetAfterPreview() : *m_project->GetBeforePreview(), expected));
            m_project->DeletePreviews();
        }
    }
}

TEST_F(ProjectPreviewTest, ReducedTilesShowTheirNearestPixelsOnAnyThreadCount)
{
    // A preview smaller than the image, as a fitted view has it: each tile
    // shows the nearest pixels of its own rectangle of the image, as
    // drawing a copy of the whole tile into the tile's part of the preview
    // shows them, whatever the number of threads that convert it.
    Load(AddTiff("large.tif", 251, 173, WideProfileBytes()));
    CRGBImage& working = m_project->GetWorkingImage();
    const CRect preview(0, 0, 97, 67);
    const std::vector<CRect> tiles = {CRect(0, 0, 32, 32), CRect(32, 0, 64, 32),
                                      CRect(64, 32, 97, 67), CRect(5, 40, 6, 41)};
    for (int os : {1, 0})
    {
        ScopedUseOsCmm engine(os);
        for (bool after : {false, true})
        {
            SCOPED_TRACE(testing::Message() << "UseOsCmm " << os << (after ? " after" : " before"));
            CImageEx expected;
            ASSERT_TRUE(expected.Create(preview.Width(), preview.Height()));
            FillDIB(expected, RGB16{65535, 65535, 65535});
            std::vector<CRect> pixels;
            for (const CRect& tile : tiles)
            {
                ASSERT_TRUE(m_project->MakeAfterPreview(preview, nullptr));
                CRect inside;
                m_project->MapAfterPreviewRect(tile, inside);
                CRect destination;
                m_project->ReverseMapAfterPreviewRect(inside, destination);
                CRGBImage copy(inside.Width(), inside.Height());
                const CRect whole(0, 0, inside.Width(), inside.Height());
                copy.CopyRectFrom(inside, working, whole);
                ConvertForDisplay(*m_project, copy, whole, expected, destination, nullptr);
                pixels.push_back(inside);
            }
            m_project->DeletePreviews();

            for (int threads : {1, 3, 8})
            {
                SCOPED_TRACE(testing::Message() << threads << " threads");
                SetRowThreadCount(threads);
                ASSERT_TRUE(after ? m_project->MakeAfterPreview(preview, nullptr)
                                  : m_project->MakeBeforePreview(preview, nullptr));
                for (const CRect& inside : pixels)
                    ASSERT_TRUE(after ? m_project->RenderAfterPreview(inside, 1)
                                      : m_project->RenderBeforePreview(inside, 1));
                EXPECT_TRUE(SamePixels(after ? *m_project->GetAfterPreview()
                                             : *m_project->GetBeforePreview(),
                                       expected));
                m_project->DeletePreviews();
            }
            SetRowThreadCount(0);
        }
    }
}

TEST_F(ProjectPreviewTest, AfterPreviewGoesThroughThePreviewDocument)
{
    Load(AddTiff("g.tif", 64, 64));
    const ConstantDoc doc(RGB16{30000, 1000, 50000});
    m_project->SetPreviewDoc(&doc);
    ASSERT_TRUE(m_project->MakeAfterPreview(Whole(), nullptr));
    ASSERT_TRUE(m_project->MakeBeforePreview(Whole(), nullptr));
    ASSERT_TRUE(m_project->RenderAfterPreview(CRect(0, 0, 32, 32), 1));
    ASSERT_TRUE(m_project->RenderBeforePreview(CRect(0, 0, 32, 32), 1));

    CRGBImage flat(1, 1);
    FillRect(flat, CRect(0, 0, 1, 1), RGB16{30000, 1000, 50000});
    CImageEx expected;
    ASSERT_TRUE(expected.Create(1, 1));
    ConvertForDisplay(*m_project, flat, CRect(0, 0, 1, 1), expected, CRect(0, 0, 1, 1), nullptr);
    EXPECT_EQ(PixelAt(*m_project->GetAfterPreview(), 3, 17), PixelAt(expected, 0, 0));
    EXPECT_EQ(PixelAt(*m_project->GetAfterPreview(), 31, 31), PixelAt(expected, 0, 0));
    EXPECT_NE(PixelAt(*m_project->GetBeforePreview(), 3, 17), PixelAt(expected, 0, 0));
    // Outside the tile the preview stays white.
    EXPECT_EQ(PixelAt(*m_project->GetAfterPreview(), 32, 0),
              (std::array<std::uint8_t, 3>{255, 255, 255}));
}

// A picture every step changes and the sharpening has something to read:
// a gradient crossed by hard-edged stripes and a little noise.
void Texture(CRGBImage& image)
{
    RGB16* p = image.Lock();
    std::uint32_t noise = 12345;
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
        {
            noise = noise * 1103515245u + 12345u;
            const int stripe = ((x / 3 + y / 5) % 4 == 0) ? 18000 : 0;
            const int grain = static_cast<int>((noise >> 16) % 3000);
            p[static_cast<std::size_t>(y) * image.GetWidth() + x] =
                RGB16{static_cast<std::uint16_t>(8000 + x * 150 + stripe + grain),
                      static_cast<std::uint16_t>(6000 + y * 200 + grain),
                      static_cast<std::uint16_t>(30000 - x * 60 + stripe / 2)};
        }
    image.Unlock();
}

// The seven steps, each changed as its panel changes it, the specified
// colour also with its affected range shown (preview mode 2 of its own).
std::vector<std::pair<std::string, std::unique_ptr<CBaseDoc>>> ChangedSteps(int width, int height)
{
    std::vector<std::pair<std::string, std::unique_ptr<CBaseDoc>>> steps;
    auto development = std::make_unique<CDNGParamDoc>();
    development->GetParams().AsShot = 0;
    development->GetParams().Exposure = 50;
    steps.emplace_back("development", std::move(development));
    auto chart = std::make_unique<CChartDoc>();
    chart->GetParams().AdjustBlackLevel = 1;
    steps.emplace_back("chart", std::move(chart));
    auto trimming = std::make_unique<CTrimmingDoc>();
    trimming->GetParams().TrmPosX = width / 3;
    trimming->GetParams().TrmPosY = height / 4;
    trimming->GetParams().TrmWidth = width / 2;
    trimming->GetParams().TrmHeight = height / 2;
    steps.emplace_back("trimming", std::move(trimming));
    auto gradation = std::make_unique<CGrayCalibDoc>();
    gradation->GetParams().InGamma = 0.8;
    steps.emplace_back("gradation", std::move(gradation));
    auto tone = std::make_unique<CColorCalibDoc>();
    tone->GetParams().Hue = 20.0;
    tone->GetParams().Sat = 60.0;
    steps.emplace_back("colour tone", std::move(tone));
    for (int shown : {-1, 0})
    {
        auto colour = std::make_unique<CColorChangeDoc>();
        CLChRange& entry = colour->GetParams().entries[0];
        entry.LChBeforMin = CCIELCh(10.0, 5.0, 0.0);
        entry.LChBeforCenter = CCIELCh(50.0, 30.0, 45.0);
        entry.LChBeforMax = CCIELCh(90.0, 120.0, 90.0);
        entry.LChAfter = CCIELCh(60.0, 40.0, 60.0);
        entry.RectData = CRect(0, 0, 10, 10);
        entry.RectImage = CRect(0, 0, width, height);
        colour->SetActiveElement(shown);
        steps.emplace_back(shown < 0 ? "specified colour" : "specified colour, range shown",
                           std::move(colour));
    }
    for (int radius : {30, 200})
    {
        auto filter = std::make_unique<CFilterDoc>();
        filter->GetParams().Radius = radius;
        filter->GetParams().Amount = 150;
        steps.emplace_back("filter radius " + std::to_string(radius), std::move(filter));
    }
    return steps;
}

// The preview's tiles: a grid of 40 x 30 preview pixels, so that tile edges
// cross the picture.
std::vector<CRect> PreviewGrid(int width, int height)
{
    std::vector<CRect> tiles;
    for (int top = 0; top < height; top += 30)
        for (int left = 0; left < width; left += 40)
            tiles.emplace_back(left, top, std::min(left + 40, width), std::min(top + 30, height));
    return tiles;
}

TEST_F(ProjectPreviewTest, PanelPreviewsShowTheirStepAsWholeTilesDidOnAnyThreadCount)
{
    // Each step's after preview, at full resolution and coarse, reduced and
    // enlarged, against the tile worked out whole through the document's
    // ApplyRect and then drawn into its part of the preview by the nearest
    // pixel, whatever the number of threads.
    auto* project = ReplaceProject(std::make_unique<RawTestProject>(std::string()));
    Load(AddTiff("t.tif", 251, 173, WideProfileBytes()));
    project->GiveRawData(TestCamera());
    CRGBImage& working = project->GetWorkingImage();
    Texture(working);

    for (auto& [name, doc] : ChangedSteps(working.GetWidth(), working.GetHeight()))
    {
        project->SetPreviewDoc(doc.get());
        std::unique_ptr<CBaseDoc> reference = doc->Clone();
        {
            CAccessRGBImageByLab access(working, nullptr, project->GetWorkingMatrix());
            ASSERT_TRUE(reference->PrepareApply(project->GetRawData(), access, nullptr, 1.0));
        }
        for (const CRect preview : {CRect(0, 0, 97, 67), CRect(0, 0, 300, 210)})
        {
            for (int factor : {1, 4})
            {
                SCOPED_TRACE(testing::Message() << name << ", preview " << preview.Width() << " x "
                                                << preview.Height() << ", factor " << factor);
                ASSERT_TRUE(project->MakeAfterPreview(preview, nullptr));
                CImageEx expected;
                ASSERT_TRUE(expected.Create(preview.Width(), preview.Height()));
                FillDIB(expected, RGB16{65535, 65535, 65535});
                std::vector<CRect> pixels;
                for (const CRect& tile : PreviewGrid(preview.Width(), preview.Height()))
                {
                    CRect inside;
                    project->MapAfterPreviewRect(tile, inside);
                    CRect destination;
                    project->ReverseMapAfterPreviewRect(inside, destination);
                    CRGBImage worked((inside.Width() + factor - 1) / factor,
                                     (inside.Height() + factor - 1) / factor);
                    const CRect whole(0, 0, worked.GetWidth(), worked.GetHeight());
                    {
                        CAccessRGBImageByLab source(working, nullptr, project->GetWorkingMatrix());
                        CAccessRGBImageByLab target(worked, nullptr, project->GetWorkingMatrix());
                        ASSERT_TRUE(reference->ApplyRect(source, &inside, &target, &whole, {}, 2));
                    }
                    ConvertForDisplay(*project, worked, whole, expected, destination, nullptr);
                    pixels.push_back(inside);
                }
                for (int threads : {1, 3, 8})
                {
                    SCOPED_TRACE(testing::Message() << threads << " threads");
                    SetRowThreadCount(threads);
                    m_project->DeletePreviews();
                    ASSERT_TRUE(project->MakeAfterPreview(preview, nullptr));
                    for (const CRect& inside : pixels)
                        ASSERT_TRUE(project->RenderAfterPreview(inside, factor));
                    EXPECT_TRUE(SamePixels(*project->GetAfterPreview(), expected));
                }
                SetRowThreadCount(0);
                m_project->DeletePreviews();
            }
        }
    }
}

TEST_F(ProjectPreviewTest, SharpeningAcrossTileEdgesIsThatOfTheWholeImage)
{
    // Every pixel shown is the pixel of the whole image sharpened, the
    // pixels at the tiles' edges too; a tile sharpened on its own (its
    // neighbourhood cut at its border) would show others there.
    Load(AddTiff("t.tif", 251, 173));
    CRGBImage& working = m_project->GetWorkingImage();
    Texture(working);
    CFilterDoc filter;
    filter.GetParams().Radius = 80;
    filter.GetParams().Amount = 200;
    m_project->SetPreviewDoc(&filter);

    CRGBImage sharpened(working);
    CFilterDoc whole(filter);
    ASSERT_TRUE(whole.ProcessImage(sharpened, nullptr, m_project->GetWorkingMatrix(), nullptr, 1.0,
                                   nullptr, {}, nullptr));
    const CRect preview(0, 0, 125, 86);
    CImageEx expected;
    CImageEx cut;
    ASSERT_TRUE(expected.Create(preview.Width(), preview.Height()));
    ASSERT_TRUE(cut.Create(preview.Width(), preview.Height()));
    ASSERT_TRUE(m_project->MakeAfterPreview(preview, nullptr));
    for (const CRect& tile : PreviewGrid(preview.Width(), preview.Height()))
    {
        CRect inside;
        m_project->MapAfterPreviewRect(tile, inside);
        CRect destination;
        m_project->ReverseMapAfterPreviewRect(inside, destination);
        ASSERT_TRUE(m_project->RenderAfterPreview(inside, 1));
        ConvertForDisplay(*m_project, sharpened, inside, expected, destination, nullptr);

        CRGBImage alone(inside.Width(), inside.Height());
        const CRect all(0, 0, inside.Width(), inside.Height());
        alone.CopyRectFrom(inside, working, all);
        CFilterDoc own(filter);
        ASSERT_TRUE(own.ProcessImage(alone, nullptr, m_project->GetWorkingMatrix(), nullptr, 1.0,
                                     nullptr, {}, nullptr));
        ConvertForDisplay(*m_project, alone, all, cut, destination, nullptr);
    }
    EXPECT_TRUE(SamePixels(*m_project->GetAfterPreview(), expected));
    EXPECT_FALSE(SamePixels(cut, expected));
}

TEST_F(ProjectPreviewTest, FilterPreviewFollowsEveryChangeOfTheWorkingImage)
{
    // The filter's preview keeps the lightness of the working image from
    // one change of the filter to the next. Each way the working image
    // changes (in place, at the same size and address, or as another image
    // of the same size) gives a preview sharpened from the new pixels.
    ScopedStepEditionPolicy policy(StepEditionPolicy::AllStepsEnabled);
    Load(AddTiff("t.tif", 251, 173));
    Texture(m_project->GetWorkingImage());
    m_project->WorkingImageChanged();
    CFilterDoc filter;
    filter.GetParams().Radius = 80;
    filter.GetParams().Amount = 200;
    const CRect preview(0, 0, 125, 86);

    // The refined preview against the whole working image sharpened.
    const auto showsSharpenedImage = [&] {
        m_project->SetPreviewDoc(&filter);
        CRGBImage sharpened(m_project->GetWorkingImage());
        CFilterDoc whole(filter);
        if (!whole.ProcessImage(sharpened, nullptr, m_project->GetWorkingMatrix(), nullptr, 1.0,
                                nullptr, {}, nullptr))
            return false;
        CImageEx expected;
        if (!expected.Create(preview.Width(), preview.Height()))
            return false;
        m_project->DeletePreviews();
        if (!m_project->MakeAfterPreview(preview, nullptr))
            return false;
        for (const CRect& tile : PreviewGrid(preview.Width(), preview.Height()))
        {
            CRect inside;
            m_project->MapAfterPreviewRect(tile, inside);
            CRect destination;
            m_project->ReverseMapAfterPreviewRect(inside, destination);
            if (!m_project->RenderAfterPreview(inside, 1))
                return false;
            ConvertForDisplay(*m_project, sharpened, inside, expected, destination, nullptr);
        }
        return SamePixels(*m_project->GetAfterPreview(), expected);
    };

    CGrayCalibDoc gamma;
    gamma.GetParams().InGamma = 0.6;
    const struct
    {
        const char* name;
        std::function<void()> change;
    } changes[] = {
        {"a step before the filter",
         [&] {
             m_project->CommitGrayCalibDoc(gamma);
             m_project->ProcessToStep(CProjectManage::kStepFilter, kCompareAfter, false);
         }},
        {"back to the loaded image", [&] { m_project->ProcessToStep(0, kCompareAfter, true); }},
        {"another image of the same size", [&] { Load(AddTiff("u.tif", 251, 173)); }},
        {"pixels written through the accessor",
         [&] {
             FillRect(m_project->GetWorkingImage(), CRect(40, 30, 120, 90),
                      RGB16{50000, 9000, 20000});
             m_project->WorkingImageChanged();
         }},
    };
    ASSERT_TRUE(showsSharpenedImage());
    for (const auto& [name, change] : changes)
    {
        SCOPED_TRACE(name);
        const CRGBImage before(m_project->GetWorkingImage());
        change();
        ASSERT_FALSE(SameImage(before, m_project->GetWorkingImage()));
        EXPECT_TRUE(showsSharpenedImage());
    }
}

TEST_F(ProjectPreviewTest, NothingRendersWithoutAPreviewOrWhileTheImageIsLocked)
{
    // No image, no preview.
    EXPECT_FALSE(m_project->RenderBeforePreview(CRect(0, 0, 10, 10), 1));
    Load(AddTiff("g.tif", 64, 64));
    EXPECT_FALSE(m_project->RenderAfterPreview(CRect(0, 0, 10, 10), 1));

    ASSERT_TRUE(m_project->MakeBeforePreview(Whole(), nullptr));
    ASSERT_TRUE(m_project->MakeAfterPreview(Whole(), nullptr));
    CRGBImage& image = m_project->GetWorkingImage();
    image.Lock();
    EXPECT_FALSE(m_project->RenderBeforePreview(CRect(0, 0, 10, 10), 1));
    EXPECT_FALSE(m_project->RenderAfterPreview(CRect(0, 0, 10, 10), 1));
    CCIEXYZ xyz;
    CCIELab lab;
    RGB16 rgb{};
    EXPECT_FALSE(m_project->PickAverageXYZ(CRect(0, 0, 10, 10), xyz));
    EXPECT_FALSE(m_project->PickAverageLab(CRect(0, 0, 10, 10), lab, 0));
    EXPECT_FALSE(m_project->PickAverageRGB(CRect(0, 0, 10, 10), rgb));
    EXPECT_EQ(m_project->MakeDisplayImage(), nullptr);
    m_project->PrintImage();
    image.Unlock();
    EXPECT_TRUE(m_printDialogs.imageDialogs.empty());
    EXPECT_TRUE(m_messages.messages.empty());
    // The preview keeps what it had: nothing was drawn.
    EXPECT_EQ(PixelAt(*m_project->GetBeforePreview(), 0, 0),
              (std::array<std::uint8_t, 3>{255, 255, 255}));
    // A rectangle outside the image renders nothing either.
    EXPECT_FALSE(m_project->RenderBeforePreview(CRect(64, 0, 80, 10), 1));
    EXPECT_FALSE(m_project->PickAverageXYZ(CRect(-20, -20, 0, 0), xyz));
}

TEST_F(ProjectPreviewTest, MappingBetweenPreviewAndImagePixels)
{
    Load(AddTiff("g.tif", 120, 60));
    ASSERT_TRUE(m_project->MakeBeforePreview(CRect(0, 0, 40, 30), nullptr));
    ASSERT_TRUE(m_project->MakeAfterPreview(CRect(0, 0, 60, 20), nullptr));

    struct Case
    {
        const char* name;
        void (CProjectManage::*map)(const CRect&, CRect&) const;
        CRect in;
        CRect out;
    };
    const Case cases[] = {
        // Preview to image: x * 120 / 40, y * 60 / 30.
        {"before", &CProjectManage::MapBeforePreviewRect, CRect(1, 1, 3, 3), CRect(3, 2, 9, 6)},
        // Image to preview: x * 40 / 120 and y * 30 / 60, truncated.
        {"before reverse", &CProjectManage::ReverseMapBeforePreviewRect, CRect(10, 11, 50, 41),
         CRect(3, 5, 16, 20)},
        // Preview to image: x * 120 / 60, y * 60 / 20.
        {"after", &CProjectManage::MapAfterPreviewRect, CRect(5, 1, 7, 4), CRect(10, 3, 14, 12)},
        {"after reverse", &CProjectManage::ReverseMapAfterPreviewRect, CRect(10, 11, 50, 41),
         CRect(5, 3, 25, 13)},
    };
    for (const Case& c : cases)
    {
        CRect out;
        (m_project.get()->*c.map)(c.in, out);
        EXPECT_EQ(out, c.out) << c.name;
    }

    // Without a preview the rectangle stays as it is.
    m_project->DeletePreviews();
    CRect out;
    m_project->MapBeforePreviewRect(CRect(1, 2, 3, 4), out);
    EXPECT_EQ(out, CRect(1, 2, 3, 4));
}

TEST_F(ProjectPreviewTest, DrawPreviewStretchesThePreviewOfTheCompareMode)
{
    Load(AddTiff("g.tif", 120, 60));
    RecordingCanvas canvas;

    // Compare mode 1 without a before preview: nothing drawn, yet done.
    m_project->SetCompareMode(kCompareBefore);
    ASSERT_TRUE(m_project->MakeAfterPreview(CRect(0, 0, 60, 30), nullptr));
    EXPECT_TRUE(m_project->DrawPreview(CRect(0, 0, 120, 60), canvas, CRect(0, 0, 300, 150)));
    EXPECT_TRUE(canvas.calls.empty());

    // Compare mode 2: the after preview, the image rectangle taken into its
    // pixels.
    m_project->SetCompareMode(kCompareAfter);
    EXPECT_TRUE(m_project->DrawPreview(CRect(20, 10, 100, 50), canvas, CRect(5, 6, 305, 156)));
    ASSERT_EQ(canvas.calls.size(), 1u);
    EXPECT_EQ(canvas.calls[0].image, m_project->GetAfterPreview());
    EXPECT_EQ(canvas.calls[0].source, CRect(10, 5, 50, 25));
    EXPECT_EQ(canvas.calls[0].destination, CRect(5, 6, 305, 156));

    m_project->SetCompareMode(kCompareBefore);
    ASSERT_TRUE(m_project->MakeBeforePreview(CRect(0, 0, 120, 60), nullptr));
    EXPECT_TRUE(m_project->DrawPreview(CRect(20, 10, 100, 50), canvas, CRect(0, 0, 80, 40)));
    ASSERT_EQ(canvas.calls.size(), 2u);
    EXPECT_EQ(canvas.calls[1].image, m_project->GetBeforePreview());
    EXPECT_EQ(canvas.calls[1].source, CRect(20, 10, 100, 50));
}

// ---- Measuring -----------------------------------------------------------

TEST_F(ProjectPreviewTest, AveragesOfAFlatRegionFollowTheConverter)
{
    Load(AddTiff("g.tif", 64, 64, WideProfileBytes()));
    const RGB16 flat{40000, 20000, 9000};
    FillRect(m_project->GetWorkingImage(), CRect(8, 8, 40, 30), flat);
    const CRect region(10, 10, 30, 25);

    const CRGBMatrix toXyz(m_project->GetWorkingMatrix());
    const CCIEXYZ xyz(toXyz.GetX(flat.r, flat.g, flat.b), toXyz.GetY(flat.r, flat.g, flat.b),
                      toXyz.GetZ(flat.r, flat.g, flat.b));
    const CCIELab lab = xyz.ToLab(m_project->GetWhiteXYZ());
    const CRGBGammaTable& out = m_project->GetOutputInverseTRC();

    CCIEXYZ pickedXyz;
    ASSERT_TRUE(m_project->PickAverageXYZ(region, pickedXyz));
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_NEAR(pickedXyz[i], xyz[i], 1e-9 * std::max(1.0, std::fabs(xyz[i])));

    CCIELab pickedLab;
    ASSERT_TRUE(m_project->PickAverageLab(region, pickedLab, 0));
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_NEAR(pickedLab[i], lab[i], 0.05) << i;

    RGB16 pickedRgb{};
    ASSERT_TRUE(m_project->PickAverageRGB(region, pickedRgb));
    EXPECT_EQ(pickedRgb.r, out.Red().GetEntries()[flat.r]);
    EXPECT_EQ(pickedRgb.g, out.Green().GetEntries()[flat.g]);
    EXPECT_EQ(pickedRgb.b, out.Blue().GetEntries()[flat.b]);

    // A region half of one colour and half of another averages them.
    FillRect(m_project->GetWorkingImage(), CRect(0, 40, 10, 48), RGB16{0, 0, 0});
    FillRect(m_project->GetWorkingImage(), CRect(10, 40, 20, 48), RGB16{20000, 20000, 20000});
    CCIEXYZ half;
    ASSERT_TRUE(m_project->PickAverageXYZ(CRect(0, 40, 20, 48), half));
    EXPECT_NEAR(half[1], toXyz.GetY(10000, 10000, 10000), 1e-9);
}

TEST_F(ProjectPreviewTest, WhichPicksGoThroughThePreviewDocument)
{
    Load(AddTiff("g.tif", 64, 64));
    const RGB16 original{40000, 20000, 9000};
    const RGB16 painted{1000, 30000, 60000};
    FillRect(m_project->GetWorkingImage(), Whole(), original);
    const ConstantDoc doc(painted);
    m_project->SetPreviewDoc(&doc);
    const CRGBMatrix toXyz(m_project->GetWorkingMatrix());
    const auto yOf = [&](RGB16 c) { return toXyz.GetY(c.r, c.g, c.b); };
    const CRect region(4, 4, 20, 20);

    struct Case
    {
        int compareMode;
        int flag;
        bool labThrough; // PickAverageLab sees the painted colour
        bool rgbThrough; // PickAverageRGB sees it
    };
    const Case cases[] = {
        {kCompareAfter, 0, true, true},
        {kCompareAfter, 1, false, true},
        {kCompareBefore, 0, false, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "mode " << c.compareMode << " flag " << c.flag);
        m_project->SetCompareMode(c.compareMode);
        CCIELab lab;
        ASSERT_TRUE(m_project->PickAverageLab(region, lab, c.flag));
        const double expectedY = yOf(c.labThrough ? painted : original);
        EXPECT_NEAR(lab[0], 116.0 * std::cbrt(expectedY / m_project->GetWhiteXYZ()[1]) - 16.0,
                    0.05);
        RGB16 rgb{};
        ASSERT_TRUE(m_project->PickAverageRGB(region, rgb));
        const RGB16 seen = c.rgbThrough ? painted : original;
        EXPECT_EQ(rgb.g, m_project->GetOutputInverseTRC().Green().GetEntries()[seen.g]);
        // PickAverageXYZ never goes through the document.
        CCIEXYZ xyz;
        ASSERT_TRUE(m_project->PickAverageXYZ(region, xyz));
        EXPECT_NEAR(xyz[1], yOf(original), 1e-9);
    }
}

TEST_F(ProjectPreviewTest, ChartPatchesAverageBoxesClippedToTheImage)
{
    Load(AddTiff("g.tif", 60, 50));
    CRGBImage& image = m_project->GetWorkingImage();
    const RGB16 ground{30000, 30000, 30000};
    const RGB16 red{60000, 1000, 2000};
    const RGB16 blue{1000, 2000, 60000};
    FillRect(image, Whole(), ground);
    // 5 x 5 corner squares: the clipped 6 x 6 boxes around the corners,
    // (0, 0)-(5, 5) and (54, 44)-(59, 49) inclusive, hold 25 pixels of the
    // square and 11 of the ground.
    FillRect(image, CRect(0, 0, 5, 5), red);
    FillRect(image, CRect(55, 45, 60, 50), blue);
    // Just outside the box around (30, 20): (24..36, 14..26) is not seen.
    FillRect(image, CRect(24, 14, 25, 27), red);
    FillRect(image, CRect(36, 14, 37, 27), blue);

    T2DArray<CPoint> centres;
    centres.Resize(1, 3, CPoint{});
    centres.SetAt(0, 0, CPoint{0, 0});
    centres.SetAt(0, 1, CPoint{30, 20});
    centres.SetAt(0, 2, CPoint{59, 49});
    T2DArray<CCIEXYZ> measured;
    m_project->MeasureChartPatches(centres, measured);
    ASSERT_EQ(measured.GetRows(), 1);
    ASSERT_EQ(measured.GetColumns(), 3);

    const CRGBMatrix toXyz(m_project->GetWorkingMatrix());
    const auto xyzOf = [&](RGB16 c) {
        return CCIEXYZ(toXyz.GetX(c.r, c.g, c.b), toXyz.GetY(c.r, c.g, c.b),
                       toXyz.GetZ(c.r, c.g, c.b));
    };
    const auto mix = [&](RGB16 square) {
        const CCIEXYZ a = xyzOf(square);
        const CCIEXYZ g = xyzOf(ground);
        return CCIEXYZ((25 * a[0] + 11 * g[0]) / 36, (25 * a[1] + 11 * g[1]) / 36,
                       (25 * a[2] + 11 * g[2]) / 36);
    };
    const CCIEXYZ expected[3] = {mix(red), xyzOf(ground), mix(blue)};
    for (int i = 0; i < 3; ++i)
    {
        const CCIEXYZ m = measured.GetAt(0, i);
        for (std::size_t k = 0; k < 3; ++k)
            EXPECT_NEAR(m[k], expected[i][k], 1e-9) << i << ", " << k;
    }
}

TEST_F(ProjectPreviewTest, RawWhiteNeedsRawDataAndEnoughLight)
{
    Load(AddTiff("g.tif", 64, 64));
    CCIEXYZ white;
    EXPECT_FALSE(m_project->PickRawWhiteXYZ(CRect(0, 0, 10, 10), white)); // no RAW data

    auto* project = ReplaceProject(std::make_unique<RawTestProject>(std::string()));
    Load(AddTiff("r.tif", 64, 64));
    project->GiveRawData(TestCamera());
    FillRect(project->GetWorkingImage(), CRect(0, 0, 16, 16), RGB16{0, 0, 0});
    FillRect(project->GetWorkingImage(), CRect(16, 0, 32, 16), RGB16{30000, 50000, 40000});
    EXPECT_FALSE(project->PickRawWhiteXYZ(CRect(0, 0, 16, 16), white)); // Y = 0
    ASSERT_TRUE(project->PickRawWhiteXYZ(CRect(16, 0, 32, 16), white));
    EXPECT_DOUBLE_EQ(white[1], 100.0);
    EXPECT_GT(white[0], 0.0);
    EXPECT_GT(white[2], 0.0);

    // Once the development step has run, the working image is no longer
    // the undeveloped data.
    ScopedStepEditionPolicy steps(StepEditionPolicy::AllStepsEnabled);
    EXPECT_TRUE(project->PickRawWhiteXYZ(CRect(16, 0, 32, 16), white)); // still at step 0
    project->ProcessToStep(CProjectManage::kStepDNGParam, kCompareAfter, false);
    ASSERT_EQ(project->GetCurrentStep(), CProjectManage::kStepDNGParam);
    EXPECT_FALSE(project->PickRawWhiteXYZ(CRect(16, 0, 32, 16), white));
}

TEST_F(ProjectPreviewTest, UnprocessedViewDevelopsRawPixels)
{
    auto* project = ReplaceProject(std::make_unique<RawTestProject>(std::string()));
    Load(AddTiff("g.tif", 64, 64));
    project->GiveRawData(TestCamera());
    const RGB16 camera{20000, 40000, 30000};
    FillRect(project->GetWorkingImage(), Whole(), camera);

    CCIEXYZ processed;
    ASSERT_TRUE(project->PickAverageXYZ(CRect(0, 0, 8, 8), processed));
    project->SetCompareMode(kCompareBefore);
    CCIEXYZ unprocessed;
    ASSERT_TRUE(project->PickAverageXYZ(CRect(0, 0, 8, 8), unprocessed));

    // What the default development makes of the same pixels.
    CRGBImage developed(8, 8);
    FillRect(developed, CRect(0, 0, 8, 8), camera);
    {
        CDNGParamDoc development;
        CAccessRGBImageByLab access(developed, nullptr, project->GetWorkingMatrix());
        development.PrepareApply(project->GetRawData(), access, nullptr, 1.0);
        development.Apply(access, nullptr, {}, 1);
    }
    RGB16 d{};
    {
        CAccessRGBImage access(developed);
        access.GetPixel(0, 0, d);
    }
    const CRGBMatrix toXyz(project->GetWorkingMatrix());
    EXPECT_NEAR(unprocessed[1], toXyz.GetY(d.r, d.g, d.b), 1e-9);
    EXPECT_NEAR(processed[1], toXyz.GetY(camera.r, camera.g, camera.b), 1e-9);
    EXPECT_GT(std::fabs(unprocessed[0] - processed[0]), 1.0);

    // The before preview shows the developed pixels too.
    ASSERT_TRUE(project->MakeBeforePreview(Whole(), nullptr));
    ASSERT_TRUE(project->RenderBeforePreview(CRect(0, 0, 8, 8), 1));
    CImageEx expected;
    ASSERT_TRUE(expected.Create(8, 8));
    ConvertForDisplay(*project, developed, CRect(0, 0, 8, 8), expected, CRect(0, 0, 8, 8), nullptr);
    EXPECT_EQ(PixelAt(*project->GetBeforePreview(), 4, 4), PixelAt(expected, 4, 4));
}

TEST_F(ProjectPreviewTest, RawPreviewHistogramsCountEveryThumbnailPixel)
{
    auto* project = ReplaceProject(std::make_unique<RawTestProject>(std::string()));
    Load(AddTiff("g.tif", 64, 64));

    std::vector<std::uint32_t> r(256, 9), g(256, 9), b(256, 9), l(256, 9);
    const auto total = [](const std::vector<std::uint32_t>& bins) {
        std::uint64_t sum = 0;
        for (std::uint32_t v : bins)
            sum += v;
        return sum;
    };
    // Without RAW data or a development document: all bins 0.
    const CDNGParamDoc panel;
    project->SetPreviewDoc(&panel);
    project->DevelopRawPreview(r, g, b, l);
    EXPECT_EQ(total(r) + total(g) + total(b) + total(l), 0u);

    project->GiveRawData(TestCamera());
    const ConstantDoc other(RGB16{1, 2, 3});
    project->SetPreviewDoc(&other);
    project->DevelopRawPreview(r, g, b, l);
    EXPECT_EQ(total(l), 0u);

    project->SetPreviewDoc(&panel);
    project->DevelopRawPreview(r, g, b, l);
    const std::uint64_t pixels = 256u * 256u;
    EXPECT_EQ(total(r), pixels);
    EXPECT_EQ(total(g), pixels);
    EXPECT_EQ(total(b), pixels);
    EXPECT_EQ(total(l), pixels);
    // A gradient spreads over many levels.
    EXPECT_GT(std::count_if(r.begin(), r.end(), [](std::uint32_t v) { return v > 0; }), 50);
}

TEST_F(ProjectPreviewTest, GrayPatchLevelsOfTheChart)
{
    Load(AddTiff("g.tif", 64, 64));
    CChartDoc& chart = m_project->GetChartDoc();
    const CCIEXYZ white = m_project->GetWhiteXYZ();
    // Luminance factors of the patches; the third repeats the second.
    const double factors[] = {0.05, 0.21, 0.21, 0.47, 0.83};
    chart.SetGrayScaleCount(5, CCIEXYZ());
    for (int i = 0; i < 5; ++i)
        chart.GetParams().grayScaleTable.SetAt(0, i, white * factors[i]);

    chart.GetParams().UseGrayScale = 0;
    std::vector<double> levels{0.5};
    m_project->MeasureGrayPatches(levels);
    EXPECT_TRUE(levels.empty());

    chart.GetParams().UseGrayScale = 1;
    m_project->MeasureGrayPatches(levels);
    ASSERT_EQ(levels.size(), 4u);
    const double distinct[] = {0.05, 0.21, 0.47, 0.83};
    for (std::size_t i = 0; i < 4; ++i)
    {
        const double L = 116.0 * std::cbrt(distinct[i]) - 16.0;
        EXPECT_NEAR(levels[i], std::floor(L / 100.0 * 255.0) / 255.0, 1.01 / 255.0) << i;
        EXPECT_DOUBLE_EQ(levels[i] * 255.0, std::round(levels[i] * 255.0)) << i;
    }
}

TEST_F(ProjectPreviewTest, ColourPatchesOfTheChartByHue)
{
    Load(AddTiff("g.tif", 64, 64));
    CChartDoc& chart = m_project->GetChartDoc();
    const CCIEXYZ white = m_project->GetWhiteXYZ();
    const CCIELab labs[] = {{60, 40, 30}, {50, -30, -20}, {55, 10, 50}, {60, 40, 30}};
    chart.SetColorChartSize(1, 5, CCIEXYZ());
    for (int i = 0; i < 4; ++i)
        chart.GetParams().colorChartTable.SetAt(0, i, labs[i].ToXYZ(white));
    // The fifth patch stays black: it has no lightness and is dropped.

    std::vector<CCIELCh> patches;
    chart.GetParams().UseColorChart = 0;
    m_project->MeasureColorPatches(patches);
    EXPECT_TRUE(patches.empty());

    chart.GetParams().UseColorChart = 1;
    m_project->MeasureColorPatches(patches);
    ASSERT_EQ(patches.size(), 3u); // the repeated hue once
    for (std::size_t i = 1; i < patches.size(); ++i)
        EXPECT_LT(patches[i - 1][2], patches[i][2]);
    // The stored values, as LCh against the converter's white.
    std::set<double> hues;
    for (int i = 0; i < 3; ++i)
        hues.insert(labs[i].ToXYZ(white).ToLab(white).ToLCh()[2]);
    for (const CCIELCh& p : patches)
        EXPECT_EQ(hues.count(p[2]), 1u) << p[2];
}

TEST_F(ProjectPreviewTest, ChromaHistogramOfTheSpecifiedColourStep)
{
    std::vector<std::uint32_t> bins(256, 5);
    m_project->GetChromaHistogram(bins, 0, 255, 0, 255);
    EXPECT_EQ(std::count(bins.begin(), bins.end(), 0u), 256);

    Load(AddTiff("g.tif", 90, 50));
    m_project->ProcessToStep(CProjectManage::kStepColorCalib, kCompareAfter, false);
    m_project->GetChromaHistogram(bins, 0, 255, 0, 255);
    std::uint64_t counted = 0;
    for (std::uint32_t v : bins)
        counted += v;
    // Sampling every 4th pixel of every 4th row.
    EXPECT_EQ(counted, static_cast<std::uint64_t>((90 + 3) / 4) * ((50 + 3) / 4));

    // An empty lightness range counts nothing.
    m_project->GetChromaHistogram(bins, 255, 0, 0, 255);
    EXPECT_EQ(std::count(bins.begin(), bins.end(), 0u), 256);
}

// ---- Display images --------------------------------------------------------

TEST_F(ProjectPreviewTest, DisplayImageIsTheWholeWorkingImageConverted)
{
    EXPECT_EQ(m_project->MakeDisplayImage(), nullptr);
    Load(AddTiff("g.tif", 77, 51, WideProfileBytes()));
    for (int os : {1, 0})
    {
        ScopedUseOsCmm engine(os);
        std::unique_ptr<CImageEx> display = m_project->MakeDisplayImage();
        ASSERT_NE(display, nullptr);
        CImageEx expected;
        ASSERT_TRUE(expected.Create(77, 51));
        ConvertForDisplay(*m_project, m_project->GetWorkingImage(), Whole(), expected, Whole(),
                          nullptr);
        EXPECT_TRUE(SamePixels(*display, expected)) << "UseOsCmm " << os;
    }
}

TEST_F(ProjectPreviewTest, DisplayImageOfAnEntryIsItsOwnColourSpace)
{
    const std::string srgb = AddTiff("s.tif", 80, 60, SRGBProfileBytes());
    const std::string wide = AddTiff("w.tif", 80, 60, WideProfileBytes());
    const std::string other = AddTiff("o.tif", 70, 50);

    std::unique_ptr<CImageEx> ofSrgb = m_project->MakeDisplayImageOf(Entry(srgb));
    std::unique_ptr<CImageEx> ofWide = m_project->MakeDisplayImageOf(Entry(wide));
    ASSERT_NE(ofSrgb, nullptr);
    ASSERT_NE(ofWide, nullptr);
    EXPECT_FALSE(SamePixels(*ofSrgb, *ofWide));
    // Building it left the project as it was: no image loaded.
    EXPECT_EQ(m_project->GetCurrentStep(), -1);
    EXPECT_TRUE(m_project->GetWorkingImage().IsEmpty());

    // The same as the display image of the entry once it is loaded.
    Load(wide);
    std::unique_ptr<CImageEx> loaded = m_project->MakeDisplayImage();
    ASSERT_NE(loaded, nullptr);
    EXPECT_TRUE(SamePixels(*ofWide, *loaded));

    // A cache thread builds display images while the UI thread loads others.
    std::vector<std::unique_ptr<CImageEx>> built;
    const CImageFileInfo& wideEntry = Entry(wide);
    std::thread cache([&] {
        for (int i = 0; i < 4; ++i)
            built.push_back(m_project->MakeDisplayImageOf(wideEntry));
    });
    for (int i = 0; i < 4; ++i)
        Load(i % 2 == 0 ? srgb : other);
    cache.join();
    ASSERT_EQ(built.size(), 4u);
    for (const auto& image : built)
    {
        ASSERT_NE(image, nullptr);
        EXPECT_TRUE(SamePixels(*image, *ofWide));
    }

    // A file that is gone gives nothing.
    CImageFileInfo missing(Entry(srgb));
    missing.m_path = m_dir.File("gone.tif");
    EXPECT_EQ(m_project->MakeDisplayImageOf(missing), nullptr);
}

// A box reduces a larger image to fit it, aspect kept, never enlarging; the
// reduction is the trimming's area resampling of the loaded pixels, then
// the same display conversion.
TEST_F(ProjectPreviewTest, DisplayImageOfAnEntryFitsItsBox)
{
    struct Case
    {
        int width, height, boxWidth, boxHeight, expectWidth, expectHeight;
    };
    const Case cases[] = {
        {80, 60, 40, 40, 40, 30},   // wider than the box: the width fills it
        {60, 80, 40, 40, 30, 40},   // taller: the height fills it
        {80, 60, 80, 10, 13, 10},   // 80 x 10 / 60 = 13.3 columns
        {80, 60, 200, 100, 80, 60}, // smaller than the box: never enlarged
        {80, 60, 80, 60, 80, 60},   // exactly the box
        {80, 60, 0, 0, 80, 60},     // no box
        {80, 60, 40, 0, 80, 60},    // half a box is none
    };
    int index = 0;
    for (const Case& c : cases)
    {
        const std::string path = AddTiff("b" + std::to_string(index++) + ".tif", c.width,
                                         c.height, WideProfileBytes());
        std::unique_ptr<CImageEx> display =
            m_project->MakeDisplayImageOf(Entry(path), c.boxWidth, c.boxHeight);
        ASSERT_NE(display, nullptr);
        EXPECT_EQ(display->GetWidth(), c.expectWidth) << c.boxWidth << "x" << c.boxHeight;
        EXPECT_EQ(display->GetHeight(), c.expectHeight) << c.boxWidth << "x" << c.boxHeight;
    }

    const std::string path = AddTiff("r.tif", 90, 64, WideProfileBytes());
    std::unique_ptr<CImageEx> reduced = m_project->MakeDisplayImageOf(Entry(path), 45, 45);
    ASSERT_NE(reduced, nullptr);
    Load(path);
    CRGBImage expectedPixels;
    ASSERT_TRUE(ResampleImageRect(m_project->GetWorkingImage(), Whole(), 45, 32, expectedPixels));
    CImageEx expected;
    ASSERT_TRUE(expected.Create(45, 32));
    const CRect box(0, 0, 45, 32);
    ConvertForDisplay(*m_project, expectedPixels, box, expected, box, nullptr);
    EXPECT_TRUE(SamePixels(*reduced, expected));
}

TEST_F(ProjectPreviewTest, ColourConversionLutOfTheEntry)
{
    const std::string lutFolder = m_dir.File("lut/");
    ASSERT_TRUE(std::filesystem::create_directories(lutFolder));
    WriteInvertingLut(lutFolder + "Invert.csv");
    auto* project = ReplaceProject(std::make_unique<CProjectManage>(lutFolder));
    ASSERT_EQ(project->GetLUTCount(), 1u);

    const std::string path = AddTiff("g.tif", 60, 50);
    Entry(path).m_lutName = "Invert";
    std::unique_ptr<CImageEx> ofEntry = project->MakeDisplayImageOf(Entry(path));
    Load(path);
    ASSERT_EQ(project->GetLUTIndex(), 1);

    CImageEx plain;
    ASSERT_TRUE(plain.Create(60, 50));
    ConvertForDisplay(*project, project->GetWorkingImage(), Whole(), plain, Whole(), nullptr);
    CImageEx withLut;
    ASSERT_TRUE(withLut.Create(60, 50));
    ConvertForDisplay(*project, project->GetWorkingImage(), Whole(), withLut, Whole(),
                      project->GetLUTTransform(0));
    ASSERT_FALSE(SamePixels(plain, withLut));

    std::unique_ptr<CImageEx> display = project->MakeDisplayImage();
    ASSERT_NE(display, nullptr);
    EXPECT_TRUE(SamePixels(*display, withLut));
    ASSERT_NE(ofEntry, nullptr);
    EXPECT_TRUE(SamePixels(*ofEntry, withLut));

    // The after preview shows the LUT, the before preview does not.
    ASSERT_TRUE(project->MakeBeforePreview(Whole(), nullptr));
    ASSERT_TRUE(project->MakeAfterPreview(Whole(), nullptr));
    ASSERT_TRUE(project->RenderBeforePreview(Whole(), 1));
    ASSERT_TRUE(project->RenderAfterPreview(Whole(), 1));
    EXPECT_TRUE(SamePixels(*project->GetBeforePreview(), plain));
    EXPECT_TRUE(SamePixels(*project->GetAfterPreview(), withLut));
}

// ---- Monitor changes -------------------------------------------------------

TEST_F(ProjectPreviewTest, LoadingNewProfilesDropsTheImageButKeepsTheList)
{
    Load(AddTiff("g.tif", 60, 50));
    AddTiff("h.tif", 60, 50);
    ASSERT_TRUE(m_project->MakeBeforePreview(Whole(), nullptr));
    m_project->SetModified(true);
    const CColorProfile wide = OpenProfile(WideProfileBytes(), "wide-monitor.icm");
    m_view.updates.clear();

    m_project->OnMonitorProfileLoaded(&wide, &m_working, &m_input);
    EXPECT_EQ(m_project->GetCurrentStep(), -1);
    EXPECT_TRUE(m_project->GetWorkingImage().IsEmpty());
    EXPECT_EQ(m_project->GetBeforePreview(), nullptr);
    EXPECT_EQ(m_project->GetCount(), 2u);
    EXPECT_FALSE(m_project->IsModified());
    EXPECT_EQ(m_project->GetOutputProfileName(), "wide-monitor.icm");
    EXPECT_FALSE(m_view.updates.empty());

    // A missing profile leaves the converter's profiles as they are.
    m_project->OnMonitorProfileLoaded(&m_monitor, nullptr, &m_input);
    EXPECT_EQ(m_project->GetOutputProfileName(), "wide-monitor.icm");
    m_project->SetOutputProfile(&m_monitor);
}

// The process-wide monitor profile made in the test, removed again (after
// the project has let go of it).
class ProcessMonitorProfile
{
public:
    ProcessMonitorProfile(CProjectManage& project, const CColorProfile& fallback)
        : m_project(project), m_fallback(fallback)
    {}
    ~ProcessMonitorProfile()
    {
        m_project.SetOutputProfile(&m_fallback);
        FreeMonitorProfile();
    }
    ProcessMonitorProfile(const ProcessMonitorProfile&) = delete;
    ProcessMonitorProfile& operator=(const ProcessMonitorProfile&) = delete;

private:
    CProjectManage& m_project;
    const CColorProfile& m_fallback;
};

TEST_F(ProjectPreviewTest, MonitorProfileChangesReachTheConverter)
{
    testsupport::ScopedEnv data("XDG_DATA_HOME", m_dir.Path() + "data");
    ScopedUseOsCmm engine(0);
    Load(AddTiff("g.tif", 60, 50));
    const std::string widePath = m_dir.File("wide-monitor.icc");
    {
        const std::vector<std::uint8_t> bytes = WideProfileBytes();
        std::ofstream(widePath, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    ProcessMonitorProfile scope(*m_project, m_monitor);
    ASSERT_TRUE(SetMonitorProfile(widePath));

    m_view.updates.clear();
    m_project->RefreshDisplayConversion();
    EXPECT_EQ(m_project->GetOutputProfileName(), widePath);
    EXPECT_EQ(UseOsCmm.load(), 0); // a matrix profile keeps the own path
    ASSERT_EQ(m_view.updates.size(), 1u);
    EXPECT_TRUE(m_view.updates[0]);

    // The same name, or a busy project: nothing is reloaded.
    EXPECT_FALSE(m_project->OnMonitorProfileChanged(widePath));
    m_project->BeginBatch();
    EXPECT_FALSE(m_project->OnMonitorProfileChanged("other.icc"));
    m_project->EndBatch();
    EXPECT_EQ(GetMonitorProfile()->GetName(), widePath);

    // The same name now holding another profile (a file written again in
    // place, as the desktop's copy of an X11 profile is) is a change.
    {
        const std::vector<std::uint8_t> bytes = BuildSRGBProfileBytes();
        std::ofstream(widePath, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    EXPECT_TRUE(m_project->OnMonitorProfileChanged(widePath));

    // Another name: the process-wide profile is read again from the
    // display's source (here the sRGB profile of the colour folder).
    EXPECT_TRUE(m_project->OnMonitorProfileChanged("other.icc"));
    ASSERT_NE(GetMonitorProfile(), nullptr);
    EXPECT_NE(GetMonitorProfile()->GetName(), widePath);
}

TEST_F(ProjectPreviewTest, WithoutAProcessMonitorProfileTheSystemEngineIsTaken)
{
    ScopedUseOsCmm engine(0);
    ASSERT_EQ(GetMonitorProfile(), nullptr);
    EXPECT_TRUE(m_project->OnMonitorProfileChanged("other.icc"));
    EXPECT_EQ(UseOsCmm.load(), 1);

    // Refreshing without one keeps the output profile and still redraws.
    m_view.updates.clear();
    m_project->RefreshDisplayConversion();
    EXPECT_EQ(m_project->GetOutputProfileName(), "monitor.icm");
    EXPECT_EQ(m_view.updates.size(), 1u);

    // Without an output profile nothing is reloaded.
    CProjectManage bare{std::string()};
    EXPECT_FALSE(bare.OnMonitorProfileChanged("other.icc"));
}

// ---- Printing --------------------------------------------------------------

TEST_F(ProjectPreviewTest, PrintImageLendsTheDialogTheWorkingImageAsThePrintCopy)
{
    Load(AddTiff("photo.tif", 64, 50));
    m_project->PrintImage();
    ASSERT_EQ(m_printDialogs.imageDialogs.size(), 1u);
    const auto& dialog = m_printDialogs.imageDialogs[0];
    EXPECT_EQ(dialog.width, 64);
    EXPECT_EQ(dialog.height, 50);
    EXPECT_EQ(dialog.image, &m_project->GetWorkingImage());
    EXPECT_EQ(dialog.imageName, "photo.tif");
    EXPECT_EQ(dialog.profileName, "monitor.icm");
    EXPECT_EQ(dialog.printers, m_project->GetPrinters());
    // Labelled with the input profile's linear record: the working image's
    // pixels are linear in the input primaries.
    LogColorSpace linear;
    ASSERT_NE(m_project->GetInputProfile(), nullptr);
    ASSERT_TRUE(m_project->GetInputProfile()->GetLogColorSpace(linear, true));
    EXPECT_EQ(std::memcmp(&dialog.colorSpace, &linear, sizeof linear), 0);
    // Nothing is rendered for the dialog, so nothing is shown meanwhile.
    EXPECT_TRUE(m_shell.progressCaptions.empty());
    EXPECT_TRUE(m_messages.messages.empty());

    // Without print dialogs nothing is printed and nothing is said.
    m_project->SetPrintDialogs(nullptr);
    m_project->PrintImage();
    EXPECT_EQ(m_printDialogs.imageDialogs.size(), 1u);
    EXPECT_TRUE(m_messages.messages.empty());
}

// The print copy is the image in a known space, whatever the monitor: taken
// from the colour space it is labelled with to sRGB, its pixels are within
// 2 levels of LittleCMS's conversion of the file's own 16-bit pixels, on an
// sRGB monitor and on a P3-like one alike (the copy never passes through
// the monitor's gamut), and the copy is the same on both.
TEST_F(ProjectPreviewTest, ThePrintCopyKeepsTheImagesColoursOnEveryMonitor)
{
    const std::vector<std::uint8_t> wide = WideProfileBytes();
    constexpr int kWidth = 64, kHeight = 50;
    Load(AddTiff("wide.tif", kWidth, kHeight, wide));
    CRGBImage file = GradientImage(kWidth, kHeight);
    const std::vector<std::uint8_t> expected = testsupport::ReferenceRgb16To8(
        wide, SRGBProfileBytes(), &file.Lock()->r, file.GetPixelCount());
    file.Unlock();
    ASSERT_EQ(expected.size(), file.GetPixelCount() * 3);
    const CColorProfile p3 = OpenProfile(testsupport::P3LikeProfileBytes(), "p3.icm");
    const CColorProfile srgb = OpenProfile(SRGBProfileBytes(), "srgb.icm");

    CRGBImage firstCopy;
    const CColorProfile* const monitors[] = {&m_monitor, &p3};
    for (const CColorProfile* monitor : monitors)
    {
        SCOPED_TRACE(monitor->GetName());
        ASSERT_TRUE(m_project->SetOutputProfile(monitor));
        int worst = -1;
        m_printDialogs.onImageDialog = [&](const CRGBImage& copy, const LogColorSpace& space) {
            CPixelConversion conversion;
            ASSERT_TRUE(conversion.Prepare(&space, srgb, nullptr, nullptr, PixelInput::Rgb16));
            CImageEx printed;
            ASSERT_TRUE(printed.Create(kWidth, kHeight));
            conversion.ConvertRows16(copy.GetPixels(), kWidth, printed.GetBits(),
                                     printed.GetPitch(), kWidth, kHeight);
            worst = 0;
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x)
                {
                    const std::uint8_t* bgr = printed.GetPixelAddress(x, y);
                    const std::uint8_t* rgb =
                        &expected[(static_cast<std::size_t>(y) * kWidth + x) * 3];
                    for (int c = 0; c < 3; ++c)
                        worst = std::max(worst, std::abs(int{bgr[2 - c]} - int{rgb[c]}));
                }
            if (firstCopy.IsEmpty())
                firstCopy = copy;
            else
                EXPECT_TRUE(SameImage(copy, firstCopy));
        };
        m_project->PrintImage();
        EXPECT_GE(worst, 0) << "no dialog";
        EXPECT_LE(worst, 2);
    }
    m_printDialogs.onImageDialog = nullptr;
}

TEST_F(ProjectPreviewTest, PrintIndexParksTheImageAndRestoresTheDocuments)
{
    ScopedStepEditionPolicy steps(StepEditionPolicy::AllStepsEnabled);
    Load(AddTiff("g.tif", 64, 50));
    const CRGBImage before = m_project->GetWorkingImage();
    const CGrayCalibDoc gradation = m_project->GetGrayCalibDoc();

    bool emptyWhileOpen = false;
    std::unique_ptr<CImageEx> asAtStart;
    std::unique_ptr<CImageEx> asTheyAre;
    m_printDialogs.onIndexDialog = [&](CProjectManage& project) {
        emptyWhileOpen = project.GetWorkingImage().IsEmpty();
        // The user's documents change while the dialog is open; mode 2
        // develops with the documents of the moment the dialog opened.
        project.GetGrayCalibDoc().GetParams().OutWhiteLevel = 128;
        asAtStart =
            project.DevelopImageForPrint(0, 24, 18, kBatchAsAtStart, "", false, nullptr, nullptr);
        asTheyAre =
            project.DevelopImageForPrint(0, 24, 18, kBatchAsTheyAre, "", false, nullptr, nullptr);
    };
    m_project->PrintIndex();

    EXPECT_EQ(m_printDialogs.indexDialogs, 1);
    EXPECT_EQ(m_printDialogs.indexPrinters, m_project->GetPrinters());
    EXPECT_TRUE(emptyWhileOpen);
    EXPECT_TRUE(SameImage(m_project->GetWorkingImage(), before));
    EXPECT_TRUE(m_project->GetGrayCalibDoc().IsEqual(gradation));
    ASSERT_NE(asAtStart, nullptr);
    ASSERT_NE(asTheyAre, nullptr);
    EXPECT_FALSE(SamePixels(*asAtStart, *asTheyAre));

    // Mode 2 outside the dialog develops with the project's documents.
    std::unique_ptr<CImageEx> later =
        m_project->DevelopImageForPrint(0, 24, 18, kBatchAsAtStart, "", false, nullptr, nullptr);
    ASSERT_NE(later, nullptr);
    EXPECT_TRUE(SamePixels(*later, *asAtStart));

    // Without an image loaded the dialog runs all the same.
    CProjectManage& p = *m_project;
    p.OnItemRemoved(p.GetCurrentRecord().m_path);
    m_printDialogs.onIndexDialog = nullptr;
    p.PrintIndex();
    EXPECT_EQ(m_printDialogs.indexDialogs, 2);
    EXPECT_TRUE(p.GetWorkingImage().IsEmpty());
}

TEST_F(ProjectPreviewTest, DevelopImageForPrintSizesAndProgress)
{
    ScopedStepEditionPolicy steps(StepEditionPolicy::AllStepsEnabled);
    const std::string path = AddTiff("g.tif", 120, 60, WideProfileBytes());
    AddTiff("unchecked.tif", 50, 50);
    m_project->GetItem(1).m_check = 0;

    // Requested size; the fit flag with a zero side takes the cache size
    // (kept here: the image is not larger than 512).
    struct Case
    {
        int width;
        int height;
        bool fit;
        int expectedWidth; // 0: nothing made
        int expectedHeight;
    };
    const Case cases[] = {
        {40, 30, false, 40, 30}, {40, 30, true, 40, 30}, {0, 30, true, 120, 60},
        {0, 0, true, 120, 60},   {0, 30, false, 0, 0},
    };
    for (const Case& c : cases)
    {
        std::unique_ptr<CImageEx> image = m_project->DevelopImageForPrint(
            0, c.width, c.height, kBatchAsTheyAre, "", c.fit, nullptr, nullptr);
        if (c.expectedWidth == 0)
        {
            EXPECT_EQ(image, nullptr);
            continue;
        }
        ASSERT_NE(image, nullptr) << c.width << "x" << c.height;
        EXPECT_EQ(image->GetWidth(), c.expectedWidth);
        EXPECT_EQ(image->GetHeight(), c.expectedHeight);
    }
    // Only checked entries count.
    EXPECT_EQ(m_project->DevelopImageForPrint(1, 40, 30, 1, "", false, nullptr, nullptr), nullptr);

    // Mode 0 applies no step: the entry's own display image.
    std::unique_ptr<CImageEx> plain =
        m_project->DevelopImageForPrint(0, 0, 0, 0, "", true, nullptr, nullptr);
    std::unique_ptr<CImageEx> display = m_project->MakeDisplayImageOf(Entry(path));
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(display, nullptr);
    EXPECT_TRUE(SamePixels(*plain, *display));

    // Progress: the load as a fraction, the steps that run in percent, the
    // dialog's stages after every step.
    RecordProgress loadRecord;
    std::array<RecordProgress, 7> stepRecords;
    const std::vector<double>& load = loadRecord.values;
    PrintDevelopProgress progress;
    progress.load = loadRecord;
    for (std::size_t i = 0; i < 7; ++i)
        progress.steps[i] = stepRecords[i];
    RecordingStepProgress dialog;
    ASSERT_NE(
        m_project->DevelopImageForPrint(0, 40, 30, kBatchAsTheyAre, "", false, &dialog, &progress),
        nullptr);
    ASSERT_FALSE(load.empty());
    for (double f : load)
    {
        EXPECT_GE(f, 0.0);
        EXPECT_LE(f, 1.0);
    }
    ASSERT_EQ(dialog.steps.size(), 1u);
    EXPECT_EQ(dialog.steps[0], (std::array<int, 7>{0, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(dialog.stages, (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
    // No RAW data: the development step does not run; trimming never does.
    EXPECT_TRUE(stepRecords[0].values.empty());
    EXPECT_TRUE(stepRecords[2].values.empty());
    for (std::size_t i : {1u, 3u, 4u, 5u, 6u})
    {
        ASSERT_GE(stepRecords[i].values.size(), 2u) << i;
        EXPECT_EQ(stepRecords[i].values.front(), 0.0);
        EXPECT_EQ(stepRecords[i].values.back(), 100.0);
    }
}

TEST_F(ProjectPreviewTest, ParameterFileModeDevelopsWithDocumentsOfItsOwn)
{
    ScopedStepEditionPolicy steps(StepEditionPolicy::AllStepsEnabled);
    AddTiff("g.tif", 64, 64);

    // A parameter file that darkens (output white level 128).
    CDNGParamDoc dng;
    CChartDoc chart;
    CTrimmingDoc trimming;
    CGrayCalibDoc gradation;
    CColorCalibDoc tone;
    CColorChangeDoc change;
    CFilterDoc filter;
    gradation.GetParams().OutWhiteLevel = 128;
    const std::array<const CBaseDoc*, 7> docs{&dng,  &chart,  &trimming, &gradation,
                                              &tone, &change, &filter};
    const std::string paramFile = m_dir.File("dark.qzp");
    ASSERT_TRUE(SaveParamFile(paramFile, docs));

    std::unique_ptr<CImageEx> asTheyAre =
        m_project->DevelopImageForPrint(0, 32, 24, kBatchAsTheyAre, "", false, nullptr, nullptr);
    std::unique_ptr<CImageEx> fromFile = m_project->DevelopImageForPrint(
        0, 32, 24, kBatchFromParamFile, paramFile, false, nullptr, nullptr);
    ASSERT_NE(asTheyAre, nullptr);
    ASSERT_NE(fromFile, nullptr);
    EXPECT_FALSE(SamePixels(*asTheyAre, *fromFile));
    // Darker: the sum of the bytes falls.
    const auto sum = [](const CImageEx& image) {
        long long s = 0;
        for (int y = 0; y < image.GetHeight(); ++y)
            for (int x = 0; x < image.GetWidth() * 3; ++x)
                s += image.GetPixelAddress(0, y)[x];
        return s;
    };
    EXPECT_LT(sum(*fromFile), sum(*asTheyAre));

    // The project's documents are untouched.
    EXPECT_EQ(m_project->GetGrayCalibDoc().GetParams().OutWhiteLevel, 255);
    EXPECT_FALSE(m_project->IsModified());

    // A parameter file that cannot be read gives nothing.
    EXPECT_EQ(m_project->DevelopImageForPrint(0, 32, 24, kBatchFromParamFile,
                                              m_dir.File("none.qzp"), false, nullptr, nullptr),
              nullptr);
}

TEST(CalcIndexCacheSizeTest, LongerSideBecomes512)
{
    struct Case
    {
        int width;
        int height;
        int outWidth;
        int outHeight;
    };
    const Case cases[] = {
        {0, 100, 0, 0},         {100, 0, 0, 0},        {512, 4000, 512, 4000},
        {6000, 300, 6000, 300}, {513, 513, 512, 512},  {3000, 2000, 512, 341},
        {2000, 3000, 341, 512}, {1000, 999, 512, 511}, {100, 80, 100, 80},
    };
    for (const Case& c : cases)
    {
        int w = -1;
        int h = -1;
        CalcIndexCacheSize(h, w, c.width, c.height);
        EXPECT_EQ(w, c.outWidth) << c.width << "x" << c.height;
        EXPECT_EQ(h, c.outHeight) << c.width << "x" << c.height;
    }
}

} // namespace
