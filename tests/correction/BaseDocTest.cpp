#include "correction/BaseDoc.h"

#include "core/ImageAccess.h"
#include "core/RGBImage.h"
#include "core/StdMatrix.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <vector>

using testsupport::ReadTextFile;
using testsupport::TempDir;
using testsupport::WriteTextFile;

namespace {

// A step of its own for the base's behaviour: one integer parameter, a
// configurable section, and a record of what the base called.
class CProbeDoc : public CBaseDoc
{
public:
    explicit CProbeDoc(std::string section = "qzProbeDoc", bool failSave = false)
        : m_section(std::move(section)), m_failSave(failSave)
    {
        Reset();
    }

    void Reset() override
    {
        CBaseDoc::Reset();
        value = 5;
    }
    std::unique_ptr<CBaseDoc> Clone() const override { return std::make_unique<CProbeDoc>(*this); }
    void Assign(const CBaseDoc& other) override
    {
        if (const auto* doc = dynamic_cast<const CProbeDoc*>(&other))
            *this = *doc;
    }
    bool LoadParams(const CParamFileReader& file) override
    {
        if (!CBaseDoc::LoadParams(file))
            return false;
        value = file.GetInt(m_section, "Value", 5);
        return true;
    }
    bool SaveParams(CParamFileWriter& file) const override
    {
        if (!CBaseDoc::SaveParams(file))
            return false;
        CSaveDoc save(file);
        // A document that cannot store its value (a line break in it).
        return save.WriteKey("Value", m_failSave ? "1\n2" : std::to_string(value));
    }
    std::string GetSectionName() const override { return m_section; }

    bool PrepareApply(const CDNGTranspose*, CAccessRGBImageByLab&, std::vector<std::string>*,
                      double scale) override
    {
        events.push_back("prepare");
        preparedScale = scale;
        return prepareResult;
    }
    bool Apply(CAccessRGBImageByLab& image, const CRect* rect, Progress progress,
               int mode) const override
    {
        events.push_back("apply mode " + std::to_string(mode));
        appliedRect = rect ? *rect : CRect(-1, -1, -1, -1);
        appliedTo = &image.GetImage();
        return CBaseDoc::Apply(image, rect, progress, mode);
    }

    int value = 5;
    // What the base called; Apply is const, so the probe's record of it is
    // mutable.
    mutable std::vector<std::string> events;
    double preparedScale = 0.0;
    bool prepareResult = true;
    mutable CRect appliedRect;
    mutable const CRGBImage* appliedTo = nullptr;

private:
    std::string m_section;
    bool m_failSave;
};

// Every pixel distinct: r = x, g = y, b = x + 100 y.
CRGBImage Numbered(int width, int height)
{
    CRGBImage image(width, height);
    RGB16* pixels = image.Lock();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[y * width + x] = {static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y),
                                     static_cast<std::uint16_t>(x + 100 * y)};
    image.Unlock();
    return image;
}

RGB16 PixelAt(CRGBImage& image, int x, int y)
{
    const RGB16 pixel = image.Lock()[y * image.GetWidth() + x];
    image.Unlock();
    return pixel;
}

const CStdMatrix& Identity()
{
    static const CStdMatrix identity = CStdMatrix::Identity(3);
    return identity;
}

struct ProgressLog final : IProgressSink
{
    std::vector<double> values;
    int stopAfter = -1; // answer false on this report (0-based); -1 never

    bool Report(double percent) override
    {
        values.push_back(percent);
        return static_cast<int>(values.size()) - 1 != stopAfter;
    }
};

// --- Parameters and the parameter file --------------------------------------

TEST(BaseDocTest, StepsAreDisabledUnlessTheEditionSaysOtherwise)
{
    CProbeDoc doc;
    EXPECT_EQ(GetStepEditionPolicy(), StepEditionPolicy::AllStepsDisabled);
    EXPECT_FALSE(doc.IsStepEnabled());
    {
        ScopedStepEditionPolicy full(StepEditionPolicy::AllStepsEnabled);
        EXPECT_TRUE(doc.IsStepEnabled());
        EXPECT_TRUE(CProbeDoc("other").IsStepEnabled());
    }
    EXPECT_FALSE(doc.IsStepEnabled());
}

TEST(BaseDocTest, ResetEmptiesTheTitleAndCloneCopiesIt)
{
    CProbeDoc doc;
    doc.SetTitle("Evening light");
    doc.value = 9;
    const std::unique_ptr<CBaseDoc> clone = doc.Clone();
    EXPECT_EQ(clone->GetTitle(), "Evening light");
    EXPECT_EQ(dynamic_cast<const CProbeDoc&>(*clone).value, 9);
    doc.Reset();
    EXPECT_EQ(doc.GetTitle(), "");
    EXPECT_EQ(doc.value, 5);
    EXPECT_TRUE(CProbeDoc().CBaseDoc::IsEqual(doc));
}

TEST(BaseDocTest, SectionHeadHoldsVerAndTitle)
{
    CProbeDoc doc;
    doc.SetTitle("Portrait");
    CParamFileWriter file;
    ASSERT_TRUE(doc.SaveParams(file));
    EXPECT_EQ(file.GetText(), "[qzProbeDoc]\nVer=2.0\nTitle=Portrait\nValue=5\n");

    CProbeDoc untitled;
    CParamFileWriter second;
    ASSERT_TRUE(untitled.SaveParams(second));
    EXPECT_EQ(second.GetText(), "[qzProbeDoc]\nVer=2.0\nTitle=\nValue=5\n");
}

TEST(BaseDocTest, EmptySectionNameNeitherWritesNorReads)
{
    TempDir dir;
    const std::string path = dir.File("p.qzp");
    CProbeDoc nameless("");
    nameless.SetTitle("kept");
    CParamFileWriter file;
    EXPECT_TRUE(nameless.CBaseDoc::SaveParams(file));
    EXPECT_EQ(file.GetText(), "");

    WriteTextFile(path, "[]\nTitle=read\n");
    CParamFileReader reader;
    ASSERT_TRUE(reader.Load(path));
    EXPECT_TRUE(nameless.CBaseDoc::LoadParams(reader));
    EXPECT_EQ(nameless.GetTitle(), "kept");
}

TEST(BaseDocTest, ParamFileRoundTripKeepsTitlesAndSectionOrder)
{
    TempDir dir;
    const std::string path = dir.File("p.qzp");
    CProbeDoc first("qzFirst");
    CProbeDoc second("qzSecond");
    first.SetTitle("  spaced title ");
    first.value = 11;
    second.value = 22;
    const CBaseDoc* docs[] = {&first, &second};
    ASSERT_TRUE(SaveParamFile(path, docs));
    EXPECT_EQ(ReadTextFile(path), "[qzFirst]\nVer=2.0\nTitle=\"  spaced title \"\nValue=11\n"
                                  "[qzSecond]\nVer=2.0\nTitle=\nValue=22\n");

    CProbeDoc loadedFirst("qzFirst");
    CProbeDoc loadedSecond("qzSecond");
    loadedSecond.SetTitle("replaced by the empty title");
    CBaseDoc* targets[] = {&loadedSecond, nullptr, &loadedFirst};
    ASSERT_TRUE(LoadParamFile(path, targets));
    EXPECT_EQ(loadedFirst.GetTitle(), "  spaced title ");
    EXPECT_EQ(loadedFirst.value, 11);
    EXPECT_EQ(loadedSecond.GetTitle(), "");
    EXPECT_EQ(loadedSecond.value, 22);
}

TEST(BaseDocTest, AFailedSectionFailsTheSaveAndKeepsTheOldFile)
{
    TempDir dir;
    const std::string path = dir.File("p.qzp");
    WriteTextFile(path, "[qzFirst]\nValue=1\n");
    CProbeDoc good("qzFirst");
    CProbeDoc bad("qzSecond", true);
    const CBaseDoc* docs[] = {&good, &bad};
    EXPECT_FALSE(SaveParamFile(path, docs));
    EXPECT_EQ(ReadTextFile(path), "[qzFirst]\nValue=1\n");

    // A title with a line break cannot be stored either.
    CProbeDoc titled("qzFirst");
    titled.SetTitle("two\nlines");
    const CBaseDoc* titledDocs[] = {&titled};
    EXPECT_FALSE(SaveParamFile(path, titledDocs));
    EXPECT_EQ(ReadTextFile(path), "[qzFirst]\nValue=1\n");
}

TEST(BaseDocTest, AnUnreadableFileLeavesTheDocumentsAlone)
{
    TempDir dir;
    CProbeDoc doc;
    doc.SetTitle("mine");
    doc.value = 8;
    CBaseDoc* docs[] = {&doc};
    EXPECT_FALSE(LoadParamFile(dir.File("missing.qzp"), docs));
    EXPECT_EQ(doc.GetTitle(), "mine");
    EXPECT_EQ(doc.value, 8);

    // A readable file without the section gives the defaults.
    WriteTextFile(dir.File("other.qzp"), "[qzOther]\nTitle=x\n");
    EXPECT_TRUE(LoadParamFile(dir.File("other.qzp"), docs));
    EXPECT_EQ(doc.GetTitle(), "");
    EXPECT_EQ(doc.value, 5);
}

// --- Applying ----------------------------------------------------------------

TEST(BaseDocTest, ProcessImagePreparesThenAppliesToTheWholeImageInMode1)
{
    CRGBImage image = Numbered(4, 3);
    CProbeDoc doc;
    EXPECT_TRUE(doc.ProcessImage(image, nullptr, Identity(), nullptr, 0.5, nullptr, {}, nullptr));
    EXPECT_EQ(doc.events, (std::vector<std::string>{"prepare", "apply mode 1"}));
    EXPECT_EQ(doc.preparedScale, 0.5);
    EXPECT_EQ(doc.appliedRect, CRect(-1, -1, -1, -1));
    EXPECT_FALSE(image.IsLocked());

    CProbeDoc refusing;
    refusing.prepareResult = false;
    EXPECT_FALSE(
        refusing.ProcessImage(image, nullptr, Identity(), nullptr, 1.0, nullptr, {}, nullptr));
    EXPECT_EQ(refusing.events, std::vector<std::string>{"prepare"});
}

TEST(BaseDocTest, ApplyRectCopiesEqualRectanglesRowByRow)
{
    CRGBImage source = Numbered(8, 6);
    CRGBImage target(5, 5);
    CAccessRGBImageByLab from(source, nullptr, Identity());
    CAccessRGBImageByLab to(target, nullptr, Identity());
    CProbeDoc doc;
    const CRect src(2, 1, 5, 4);
    const CRect dst(1, 2, 4, 5);
    ASSERT_TRUE(doc.ApplyRect(from, &src, &to, &dst, {}, 2));
    EXPECT_EQ(doc.appliedRect, dst);
    EXPECT_EQ(doc.appliedTo, &target);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
        {
            const RGB16 p = to.GetStoredPixel(1 + x, 2 + y);
            EXPECT_EQ(p.r, 2 + x);
            EXPECT_EQ(p.g, 1 + y);
        }
    EXPECT_EQ(to.GetStoredPixel(0, 0).b, 0); // outside the rectangle: untouched
}

TEST(BaseDocTest, ApplyRectReducesByNearestPixelFromTheMiddleOfEachSpan)
{
    CRGBImage source = Numbered(8, 6);
    CRGBImage target(4, 3);
    CAccessRGBImageByLab from(source, nullptr, Identity());
    CAccessRGBImageByLab to(target, nullptr, Identity());
    CProbeDoc doc;
    ASSERT_TRUE(doc.ApplyRect(from, nullptr, &to, nullptr, {}, 1));
    // Half the size: every second pixel, starting at offset 1.
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
        {
            const RGB16 p = to.GetStoredPixel(x, y);
            EXPECT_EQ(p.r, 2 * x + 1);
            EXPECT_EQ(p.g, 2 * y + 1);
        }
}

TEST(BaseDocTest, SampleIndexFollowsTheIntegerMapping)
{
    const struct
    {
        int i, start, srcLength, dstLength, limit, expected;
    } cases[] = {
        {0, 0, 8, 4, 8, 1},  {3, 0, 8, 4, 8, 7}, {0, 2, 3, 3, 8, 2}, {2, 2, 3, 3, 8, 4},
        {0, 0, 3, 6, 3, 0},  {5, 0, 3, 6, 3, 2}, {0, 0, 9, 2, 9, 2}, {1, 0, 9, 2, 9, 6},
        {1, 5, 10, 2, 8, 7}, // clamped to the image's last column
    };
    for (const auto& c : cases)
        EXPECT_EQ(CBaseDoc::SampleIndex(c.i, c.start, c.srcLength, c.dstLength, c.limit),
                  c.expected)
            << c.i << " " << c.start << " " << c.srcLength << " " << c.dstLength;
}

TEST(BaseDocTest, ApplyRectRefusesRectanglesOutsideTheImages)
{
    CRGBImage source = Numbered(4, 4);
    CRGBImage target(4, 4);
    CAccessRGBImageByLab from(source, nullptr, Identity());
    CAccessRGBImageByLab to(target, nullptr, Identity());
    CProbeDoc doc;
    const CRect outside(2, 2, 6, 4);
    const CRect inside(0, 0, 2, 2);
    EXPECT_FALSE(doc.ApplyRect(from, &outside, &to, &inside, {}, 1));
    EXPECT_FALSE(doc.ApplyRect(from, &inside, &to, &outside, {}, 1));
    EXPECT_TRUE(doc.events.empty());
}

TEST(BaseDocTest, ApplyRectWithoutDestinationAppliesToTheSource)
{
    CRGBImage source = Numbered(4, 4);
    CAccessRGBImageByLab from(source, nullptr, Identity());
    CProbeDoc doc;
    const CRect rect(1, 1, 3, 2);
    EXPECT_TRUE(doc.ApplyRect(from, &rect, nullptr, nullptr, {}, 2));
    EXPECT_EQ(doc.appliedRect, rect);
    EXPECT_EQ(doc.appliedTo, &source);
    EXPECT_EQ(doc.events, std::vector<std::string>{"apply mode 2"});
}

TEST(BaseDocTest, BaseApplyReportsEveryRowAndStopsWhenAsked)
{
    CRGBImage image = Numbered(3, 5);
    CAccessRGBImageByLab access(image, nullptr, Identity());
    CProbeDoc doc;

    ProgressLog all;
    EXPECT_TRUE(doc.CBaseDoc::Apply(access, nullptr, all, 1));
    EXPECT_EQ(all.values, (std::vector<double>{0, 25, 50, 75, 100}));

    ProgressLog first;
    first.stopAfter = 0;
    EXPECT_FALSE(doc.CBaseDoc::Apply(access, nullptr, first, 1));
    EXPECT_EQ(first.values.size(), 1u);

    // One row is all of the work: 100, not 0 / 0.
    ProgressLog single;
    const CRect row(0, 2, 3, 3);
    EXPECT_TRUE(doc.CBaseDoc::Apply(access, &row, single, 1));
    EXPECT_EQ(single.values, std::vector<double>{100});
    EXPECT_EQ(PixelAt(image, 2, 4).b, 402); // nothing changed
}

TEST(BaseDocTest, TileSizeIs256Square)
{
    int width = 0;
    int height = 0;
    CProbeDoc().GetTileSize(width, height);
    EXPECT_EQ(width, 256);
    EXPECT_EQ(height, 256);
}

} // namespace
