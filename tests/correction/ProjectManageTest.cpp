// The project manager's core: loading into the working image, the step
// chain with its snapshots, commits, removal, saving results and parking.

#include "correction/ProjectManage.h"

#include "core/ImageAccess.h"
#include "core/PathUtils.h"
#include "imagefile/ImageFileInfo.h"
#include "imagefile/ImageLoadSave.h"
#include "platform/File.h"
#include "tests/correction/ProjectTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace projecttest;

namespace {

// The project with its protected helpers and previews in reach.
class ProjectProbe : public CProjectManage
{
public:
    ProjectProbe() : CProjectManage(std::string()) {}
    using CProjectManage::m_afterPreview;
    using CProjectManage::m_beforePreview;
    using CProjectManage::m_parkPath;
    using CProjectManage::m_snapshots;
    using CProjectManage::ParkWorkingImage;
    using CProjectManage::RestoreParkedImage;
    using CProjectManage::RestoreSnapshot;
    using CProjectManage::StoreBaseSnapshot;
    using CProjectManage::StoreSnapshot;
};

RGB16 PixelAt(CRGBImage& image, int x, int y)
{
    CAccessRGBImage access(image);
    RGB16 px{};
    access.GetPixel(x, y, px);
    return px;
}

// Progress reports of one slot (fractions or percents).
struct Reports final : IProgressSink
{
    std::vector<double> values;
    int cancelAt = -1; // the report index answered with false

    bool Report(double value) override
    {
        values.push_back(value);
        return static_cast<int>(values.size()) - 1 != cancelAt;
    }
    Progress Slot() { return *this; }
};

// The order in which the step slots were entered.
struct StepOrder final : IProgressSink
{
    std::vector<int>* order = nullptr;
    int slot = 0;

    bool Report(double) override
    {
        if (order->empty() || order->back() != slot)
            order->push_back(slot);
        return true;
    }
};

struct SnapshotReports final : IProgressSink
{
    std::vector<std::pair<int, int>> values;
    bool Report(double) override { return true; }
    bool Report(std::int64_t done, std::int64_t total) override
    {
        values.emplace_back(static_cast<int>(done), static_cast<int>(total));
        return true;
    }
};

std::string Description(const std::vector<std::uint8_t>& bytes)
{
    CColorProfile profile = OpenProfile(bytes, "described.icm");
    std::string text;
    profile.GetDescription(text);
    return text;
}

std::vector<std::uint8_t> ProfileBytes(const CColorProfile* profile)
{
    std::vector<std::uint8_t> bytes;
    if (profile != nullptr)
        profile->GetProfileBytes(bytes);
    return bytes;
}

// A gradation document whose effect shows: levels with gamma 2.
CGrayCalibDoc GammaDoc(double gamma = 2.0)
{
    CGrayCalibDoc doc;
    doc.GetParams().InGamma = gamma;
    return doc;
}

class ProjectManageTest : public ProjectFixture
{
protected:
    ProjectManageTest()
    {
        auto probe = std::make_unique<ProjectProbe>();
        m_probe = probe.get();
        m_project = std::move(probe);
        m_project->SetImageView(&m_view);
        m_project->SetShell(&m_shell);
        m_project->SetPrintDialogs(&m_printDialogs);
        EXPECT_TRUE(m_project->SetProjectProfiles(&m_monitor, &m_working, &m_input));
    }

    // Loads a fresh 300 x 200 gradient and returns a copy of its pixels.
    CRGBImage LoadGradient(const std::string& name = "a.tif",
                           const std::vector<std::uint8_t>& profile = {})
    {
        m_path = AddTiff(name, 300, 200, profile);
        Load(m_path);
        return m_project->GetWorkingImage();
    }

    // The work folder's snapshot files.
    std::vector<std::string> SnapshotFiles() const
    {
        std::vector<std::string> files;
        for (const auto& item : std::filesystem::directory_iterator(GetAppTempFolder()))
        {
            const std::string name = item.path().filename().string();
            if (name.starts_with("PMS"))
                files.push_back(item.path().string());
        }
        return files;
    }

    ProjectProbe* m_probe = nullptr;
    std::string m_path;
};

} // namespace

// ---- Loading

TEST_F(ProjectManageTest, LoadTakesTheEmbeddedProfileAndAppliesOnlyItsToneCurves)
{
    const std::vector<std::uint8_t> wide = WideProfileBytes();
    const CRGBImage loaded = LoadGradient("wide.tif", wide);

    EXPECT_EQ(m_project->GetInputProfileText(), Description(wide));
    EXPECT_EQ(ProfileBytes(m_project->GetInputProfile()), wide);
    EXPECT_EQ(m_project->GetCurrentStep(), 0);
    EXPECT_EQ(m_project->GetDirtyStep(), 0);
    EXPECT_TRUE(m_project->IsImageReady());
    EXPECT_EQ(m_project->GetCurrentRecord().m_path, m_path);
    EXPECT_TRUE(m_project->GetRawThumbnail().IsEmpty()); // no RAW data
    ASSERT_FALSE(m_view.updates.empty());
    EXPECT_TRUE(m_view.updates.back());

    // Linear RGB in the image's own primaries: each channel through its tone
    // table alone, no matrix mixing the channels.
    CRGBImage source = GradientImage(300, 200);
    CRGBImage working = m_project->GetWorkingImage();
    const CRGBGammaTable& trc = m_project->GetInputTRC();
    for (const auto& [x, y] : {std::pair{0, 0}, {150, 100}, {299, 199}, {37, 181}})
    {
        const RGB16 device = PixelAt(source, x, y);
        const RGB16 linear = PixelAt(working, x, y);
        EXPECT_EQ(linear.r, trc[0].GetEntries()[device.r]) << x << "," << y;
        EXPECT_EQ(linear.g, trc[1].GetEntries()[device.g]) << x << "," << y;
        EXPECT_EQ(linear.b, trc[2].GetEntries()[device.b]) << x << "," << y;
    }

    // Snapshot 0 holds the loaded image: a restart brings it back.
    ASSERT_TRUE(m_probe->StoreBaseSnapshot());
    m_project->GetWorkingImage() = GradientImage(300, 200);
    m_project->ProcessToStep(0, kCompareAfter, true);
    EXPECT_TRUE(SameImage(m_project->GetWorkingImage(), loaded));
}

TEST_F(ProjectManageTest, SnapshotZeroIsWrittenOnlyWhenAStepChangesTheImage)
{
    const CRGBImage loaded = LoadGradient();
    const auto written = [&] {
        struct stat info
        {};
        return ::stat(m_probe->m_snapshots[0].GetPath().c_str(), &info) == 0 ? info.st_size
                                                                               : off_t{-1};
    };
    // Nothing on the way to the first picture; the image still knows its size.
    EXPECT_EQ(written(), 0);
    int width = 0;
    int height = 0;
    ASSERT_TRUE(m_project->GetStepImageSize(0, width, height));
    EXPECT_EQ(width, 300);
    EXPECT_EQ(height, 200);

    // Steps that change nothing, compare modes and restarts need no file.
    m_project->ProcessToStep(7, kCompareBefore, false);
    m_project->ProcessToStep(3, kCompareAfter, true);
    EXPECT_TRUE(SameImage(m_project->GetWorkingImage(), loaded));
    EXPECT_EQ(written(), 0);

    // The first step that runs writes the loaded image first, and going
    // back finds it.
    ScopedStepEditionPolicy policy(StepEditionPolicy::AllStepsEnabled);
    m_project->CommitGrayCalibDoc(GammaDoc());
    m_project->ProcessToStep(4, kCompareAfter, false);
    EXPECT_EQ(written(), 8 + 300 * 200 * 6);
    const CRGBImage atFour = m_project->GetWorkingImage();
    EXPECT_FALSE(SameImage(atFour, loaded));
    m_project->SetCompareMode(kCompareBefore);
    EXPECT_TRUE(SameImage(m_project->GetWorkingImage(), loaded));
    m_project->SetCompareMode(kCompareAfter);
    m_project->ProcessToStep(0, kCompareAfter, true);
    EXPECT_TRUE(SameImage(m_project->GetWorkingImage(), loaded));
    EXPECT_TRUE(m_messages.messages.empty());

    // A new image is the new snapshot 0, written again only when needed.
    const CRGBImage other = LoadGradient("b.tif", WideProfileBytes());
    EXPECT_FALSE(SameImage(other, loaded));
    m_project->ProcessToStep(4, kCompareAfter, false);
    m_project->ProcessToStep(0, kCompareAfter, false);
    EXPECT_TRUE(SameImage(m_project->GetWorkingImage(), other));
}

TEST_F(ProjectManageTest, ASnapshotZeroThatCannotBeWrittenDropsTheImageWhenAStepNeedsIt)
{
    ScopedStepEditionPolicy policy(StepEditionPolicy::AllStepsEnabled);
    LoadGradient();
    m_project->CommitGrayCalibDoc(GammaDoc());
    // The file can be read but not written.
    platform::File readOnly;
    ASSERT_TRUE(readOnly.OpenRead(m_probe->m_snapshots[0].GetPath()));
    m_probe->m_snapshots[0].GetFile() = std::move(readOnly);

    m_project->ProcessToStep(4, kCompareAfter, false);
    EXPECT_EQ(m_project->GetCurrentStep(), -1);
    EXPECT_TRUE(m_project->GetWorkingImage().IsEmpty());
    ASSERT_EQ(m_messages.messages.size(), 1u);
    EXPECT_EQ(m_messages.messages[0].stringId, kStrSnapshotFailed);
}

TEST_F(ProjectManageTest, LoadWithoutEmbeddedProfileTakesTheDefaultInputProfile)
{
    LoadGradient("plain.tif");
    EXPECT_EQ(ProfileBytes(m_project->GetInputProfile()), ProfileBytes(&m_input));
    EXPECT_EQ(m_project->GetInputProfileText(), Description(SRGBProfileBytes()));
}

TEST_F(ProjectManageTest, ImageDescriptionByFileType)
{
    struct Case
    {
        const char* name;
        void (*write)(const std::string&, CRGBImage&, const std::vector<std::uint8_t>&, float);
        const char* text;
    };
    const Case cases[] = {
        {"a16.tif", &WriteTiff16, "TIFF(16bit) 300x200"},
        {"a8.tif", &WriteTiff8, "TIFF(8bit) 300x200"},
        {"a.jpg", &WriteJpeg, "JPEG 300x200"},
    };
    for (const Case& c : cases)
    {
        const std::string path = m_dir.File(c.name);
        CRGBImage image = GradientImage(300, 200);
        c.write(path, image, {}, 300.0f);
        CImageFileInfo entry;
        ASSERT_EQ(entry.ReadInfo(path), 1) << c.name;
        ASSERT_TRUE(m_project->AddFile(entry, m_project->GetCount()));
        Load(path);
        std::string text;
        m_project->GetImageFormatText(text);
        EXPECT_EQ(text, c.text);
        m_project->GetImageName(text);
        EXPECT_EQ(text, c.name);
        EXPECT_DOUBLE_EQ(m_project->GetImageDPI(), 300.0) << c.name;
    }
}

TEST_F(ProjectManageTest, NothingLoadedGivesEmptyAnswers)
{
    std::string text = "x";
    m_project->GetImageFormatText(text);
    EXPECT_TRUE(text.empty());
    m_project->GetImageName(text);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(m_project->GetImageDPI(), 0.0);
    EXPECT_FALSE(m_project->IsImageReady());
    int width = 0;
    int height = 0;
    EXPECT_FALSE(m_project->GetRawImageSize(width, height));
    int temperature = 0;
    int tint = 0;
    EXPECT_FALSE(m_project->GetAsShotWhiteBalance(&temperature, &tint));
    EXPECT_EQ(m_project->GetRawData(), nullptr);
    m_project->GetTileSize(width, height);
    EXPECT_EQ(width, 256);
    EXPECT_EQ(height, 256);
}

TEST_F(ProjectManageTest, LoadReportsFractionsAndPassesTheLoadersCancel)
{
    Reports reports;
    m_project->m_imageLoadSlot = reports.Slot();
    LoadGradient();
    ASSERT_GE(reports.values.size(), 2u);
    EXPECT_EQ(reports.values.front(), 0.0);
    EXPECT_EQ(reports.values.back(), 1.0);
    for (double v : reports.values)
    {
        EXPECT_GE(v, 0.0);
        EXPECT_LE(v, 1.0);
    }

    // The loader's first line report is answered with 0.
    Reports cancelling;
    cancelling.cancelAt = 1;
    m_project->m_imageLoadSlot = cancelling.Slot();
    CancelWatch watch(m_project->m_imageLoadSlot);
    EXPECT_EQ(m_project->LoadImage(Entry(m_path), false, watch.Watched()), 0);
    EXPECT_TRUE(watch.Cancelled());
    EXPECT_EQ(m_project->GetCurrentStep(), -1);
    EXPECT_TRUE(m_project->GetWorkingImage().IsEmpty());
    EXPECT_EQ(Entry(m_path).m_error, 0); // a cancel is no load error
    m_project->m_imageLoadSlot = {};
}

TEST_F(ProjectManageTest, FailedLoadDropsTheImageButKeepsTheDocuments)
{
    LoadGradient();
    m_project->CommitGrayCalibDoc(GammaDoc(1.7));
    m_probe->m_beforePreview = std::make_unique<CImageEx>();
    const std::string broken = AddTiff("broken.tif", 300, 200);
    testsupport::WriteTextFile(broken, "not a TIFF any more");

    EXPECT_EQ(m_project->LoadImage(Entry(broken), false), 0);
    EXPECT_EQ(Entry(broken).m_error, 1);
    EXPECT_EQ(m_project->GetCurrentStep(), -1);
    EXPECT_EQ(m_project->GetDirtyStep(), -1);
    EXPECT_TRUE(m_project->GetWorkingImage().IsEmpty());
    EXPECT_EQ(m_project->GetBeforePreview(), nullptr);
    EXPECT_DOUBLE_EQ(m_project->GetGrayCalibDoc().GetParams().InGamma, 1.7);
    EXPECT_FALSE(m_project->IsImageReady());
}

// ---- Steps and snapshots

TEST_F(ProjectManageTest, WithEveryStepDisabledTheLoadedImageStays)
{
    const CRGBImage loaded = LoadGradient();
    m_project->CommitGrayCalibDoc(GammaDoc());
    for (int step = 0; step <= CProjectManage::kStepCount; ++step)
        EXPECT_EQ(m_project->FindLastEnabledStep(step), 0);

    m_project->ProcessToStep(4, kCompareAfter, false);
    EXPECT_EQ(m_project->GetCurrentStep(), 4);
    EXPECT_TRUE(SameImage(m_project->GetWorkingImage(), loaded));
    m_project->ProcessToStep(7, kCompareBefore, false);
    EXPECT_EQ(m_project->GetCompareMode(), kCompareBefore);
    EXPECT_TRUE(SameImage(m_project->GetWorkingImage(), loaded));
    m_project->ProcessToStep(2, kCompareAfter, true);
    EXPECT_TRUE(SameImage(m_project->GetWorkingImage(), loaded));

    std::array<int, 7> flags{};
    m_project->GetStepsToProcess(true, 7, flags);
    EXPECT_EQ(flags, (std::array<int, 7>{}));
    m_project->GetBatchStepFlags(flags);
    EXPECT_EQ(flags, (std::array<int, 7>{}));
}

TEST_F(ProjectManageTest, StepsRunInSlotOrderAndEarlierStepsComeBackFromTheirSnapshots)
{
    ScopedStepEditionPolicy policy(StepEditionPolicy::AllStepsEnabled);
    const CRGBImage loaded = LoadGradient();
    m_project->CommitGrayCalibDoc(GammaDoc());

    std::vector<int> order;
    std::array<StepOrder, 7> recorders;
    for (int i = 0; i < 7; ++i)
    {
        StepOrder& recorder = recorders[static_cast<std::size_t>(i)];
        recorder.order = &order;
        recorder.slot = i + 1;
        m_project->m_stepSlots[static_cast<std::size_t>(i)] = recorder;
    }
    SnapshotReports stores;
    m_project->m_snapshotStoreSlot = stores;
    SnapshotReports restores;
    m_project->m_snapshotRestoreSlot = restores;

    m_project->ProcessToStep(3, kCompareAfter, false);
    EXPECT_EQ(order, (std::vector<int>{2, 3})); // no RAW data: slot 1 is passed by
    EXPECT_EQ(m_project->GetCurrentStep(), 3);
    EXPECT_EQ(m_project->GetDirtyStep(), 3);
    EXPECT_EQ(stores.values, (std::vector<std::pair<int, int>>{{0, 1}, {1, 1}, {0, 1}, {1, 1}}));
    const CRGBImage atThree = m_project->GetWorkingImage();

    m_project->ProcessToStep(4, kCompareAfter, false);
    EXPECT_EQ(order, (std::vector<int>{2, 3, 4}));
    const CRGBImage atFour = m_project->GetWorkingImage();
    EXPECT_FALSE(SameImage(atFour, atThree)); // the gamma shows

    m_project->ProcessToStep(7, kCompareAfter, false);
    EXPECT_EQ(order, (std::vector<int>{2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(m_project->GetDirtyStep(), 7);

    // Back and forth between steps whose snapshots are valid: read back,
    // nothing runs again.
    restores.values.clear();
    m_project->ProcessToStep(3, kCompareAfter, false);
    EXPECT_TRUE(SameImage(m_project->GetWorkingImage(), atThree));
    EXPECT_EQ(restores.values.front(), (std::pair{0, 1}));
    EXPECT_EQ(restores.values.back(), (std::pair{1, 1}));
    m_project->ProcessToStep(4, kCompareAfter, false);
    EXPECT_TRUE(SameImage(m_project->GetWorkingImage(), atFour));
    m_project->ProcessToStep(0, kCompareAfter, false);
    EXPECT_TRUE(SameImage(m_project->GetWorkingImage(), loaded));
    EXPECT_EQ(order.size(), 6u);
    EXPECT_EQ(m_project->GetDirtyStep(), 7);

    // A restart runs the chain again from snapshot 0.
    order.clear();
    m_project->ProcessToStep(4, kCompareAfter, true);
    EXPECT_EQ(order, (std::vector<int>{2, 3, 4}));
    EXPECT_TRUE(SameImage(m_project->GetWorkingImage(), atFour));

    for (Progress& slot : m_project->m_stepSlots)
        slot = {};
    m_project->m_snapshotStoreSlot = {};
    m_project->m_snapshotRestoreSlot = {};
}

TEST_F(ProjectManageTest, CompareModeShowsSnapshotZeroOrTheResult)
{
    ScopedStepEditionPolicy policy(StepEditionPolicy::AllStepsEnabled);
    const CRGBImage loaded = LoadGradient();
    m_project->CommitGrayCalibDoc(GammaDoc());
    m_project->ProcessToStep(4, kCompareAfter, false);
    const CRGBImage atFour = m_project->GetWorkingImage();

    const int relayouts = m_view.relayouts;
    m_project->SetCompareMode(kCompareBefore);
    EXPECT_TRUE(SameImage(m_project->GetWorkingImage(), loaded));
    EXPECT_EQ(m_view.relayouts, relayouts + 1);
    m_project->SetCompareMode(kCompareAfter);
    EXPECT_TRUE(SameImage(m_project->GetWorkingImage(), atFour));

    // A preview document is prepared on the result, and snapshot 0 stays
    // in view.
    m_project->SetCompareMode(kCompareBefore);
    CGrayCalibDoc preview = GammaDoc(0.5);
    m_project->SetPreviewDoc(&preview);
    EXPECT_FALSE(static_cast<CGrayCalibDoc*>(m_project->GetPreviewDoc())->GetToneTable().IsEmpty());
    EXPECT_TRUE(SameImage(m_project->GetWorkingImage(), loaded));
    m_project->DeletePreviewDoc();
    m_project->SetCompareMode(kCompareAfter);

    // The target equal to the current step changes only the compare mode.
    m_project->ProcessToStep(4, kCompareBefore, false);
    EXPECT_EQ(m_project->GetCompareMode(), kCompareBefore);
    EXPECT_TRUE(SameImage(m_project->GetWorkingImage(), loaded));

    // From compare mode 1 the steps still work on the result.
    m_project->ProcessToStep(5, kCompareAfter, false);
    EXPECT_EQ(m_project->GetCurrentStep(), 5);
    m_project->ProcessToStep(4, kCompareAfter, false);
    EXPECT_TRUE(SameImage(m_project->GetWorkingImage(), atFour));
}

TEST_F(ProjectManageTest, ACancelledStepLeavesTheLastFinishedStep)
{
    ScopedStepEditionPolicy policy(StepEditionPolicy::AllStepsEnabled);
    LoadGradient();
    m_project->CommitGrayCalibDoc(GammaDoc());
    m_project->ProcessToStep(3, kCompareAfter, false);
    const CRGBImage atThree = m_project->GetWorkingImage();

    // The gradation step's own first report is answered with 0.
    Reports cancelling;
    cancelling.cancelAt = 1;
    m_project->m_stepSlots[3] = cancelling.Slot();
    m_project->ProcessToStep(6, kCompareAfter, false);
    m_project->m_stepSlots[3] = {};
    EXPECT_EQ(m_project->GetCurrentStep(), 3);
    EXPECT_EQ(m_project->GetDirtyStep(), 3);
    EXPECT_TRUE(SameImage(m_project->GetWorkingImage(), atThree));
    EXPECT_TRUE(m_messages.messages.empty());

    // Without the cancel the chain goes on from there.
    m_project->ProcessToStep(6, kCompareAfter, false);
    EXPECT_EQ(m_project->GetCurrentStep(), 6);
    EXPECT_FALSE(SameImage(m_project->GetWorkingImage(), atThree));
}

TEST_F(ProjectManageTest, ACommitBeyondTheCurrentStepIsRecomputedFromTheDirtyStep)
{
    ScopedStepEditionPolicy policy(StepEditionPolicy::AllStepsEnabled);
    LoadGradient();
    m_project->ProcessToStep(7, kCompareAfter, false);
    m_project->CommitGrayCalibDoc(GammaDoc());
    EXPECT_EQ(m_project->GetDirtyStep(), 3);
    m_project->ProcessToStep(6, kCompareAfter, false);
    const CRGBImage recomputed = m_project->GetWorkingImage();

    // The same documents on a fresh load.
    m_project->ProcessToStep(6, kCompareAfter, true);
    EXPECT_TRUE(SameImage(recomputed, m_project->GetWorkingImage()));
}

TEST_F(ProjectManageTest, AnalysisIsMadeWhenTheColourStepsAreEntered)
{
    LoadGradient();
    auto total = [](const std::vector<std::uint32_t>& bins) {
        std::uint64_t sum = 0;
        for (std::uint32_t v : bins)
            sum += v;
        return sum;
    };
    // 300 x 200 samples every 4th pixel of every 4th row: 75 x 50.
    m_project->ProcessToStep(3, kCompareAfter, false);
    EXPECT_EQ(total(m_project->GetGrayHistogram()), 75u * 50u);
    m_project->ProcessToStep(4, kCompareAfter, false);
    EXPECT_GT(total(m_project->GetHueHistogram()), 0u);
    m_project->ProcessToStep(5, kCompareAfter, false);
    EXPECT_EQ(total(m_project->GetLightnessBins()), 75u * 50u);
    EXPECT_EQ(total(m_project->GetChromaBins()), 75u * 50u);
    EXPECT_GT(total(m_project->GetHueBins()), 0u);
}

TEST_F(ProjectManageTest, ADamagedSnapshotDropsTheImageWithAMessage)
{
    ScopedStepEditionPolicy policy(StepEditionPolicy::AllStepsEnabled);
    LoadGradient();
    m_project->CommitGrayCalibDoc(GammaDoc());
    m_project->ProcessToStep(4, kCompareAfter, false);
    m_probe->m_afterPreview = std::make_unique<CImageEx>();

    const std::vector<std::string> files = SnapshotFiles();
    ASSERT_EQ(files.size(), 8u);
    for (const std::string& file : files)
        ASSERT_EQ(::truncate(file.c_str(), 100), 0);

    m_project->ProcessToStep(2, kCompareAfter, false);
    EXPECT_EQ(m_project->GetCurrentStep(), -1);
    EXPECT_EQ(m_project->GetDirtyStep(), -1);
    EXPECT_TRUE(m_project->GetWorkingImage().IsEmpty());
    EXPECT_EQ(m_project->GetAfterPreview(), nullptr);
    ASSERT_EQ(m_messages.messages.size(), 1u);
    EXPECT_EQ(m_messages.messages[0].stringId, kStrSnapshotFailed);
    ASSERT_FALSE(m_view.updates.empty());
    EXPECT_FALSE(m_view.updates.back());

    // Nothing more happens without an image.
    m_project->ProcessToStep(5, kCompareAfter, false);
    EXPECT_EQ(m_project->GetCurrentStep(), -1);
    EXPECT_EQ(m_messages.messages.size(), 1u);
}

TEST_F(ProjectManageTest, SnapshotsRoundTripAndRefuseWhatTheyDoNotHold)
{
    const CRGBImage loaded = LoadGradient();
    ASSERT_TRUE(m_probe->StoreBaseSnapshot());
    EXPECT_FALSE(m_probe->RestoreSnapshot(5, {})); // never stored
    EXPECT_FALSE(m_probe->RestoreSnapshot(8, {}));
    EXPECT_FALSE(m_probe->StoreSnapshot(-1, {}));

    SnapshotReports reports;
    ASSERT_TRUE(m_probe->StoreSnapshot(5, reports));
    EXPECT_EQ(m_probe->m_snapshots[5].m_width, 300);
    EXPECT_EQ(m_probe->m_snapshots[5].m_height, 200);
    // A smaller image over a larger one leaves a file of exactly its size.
    m_project->GetWorkingImage() = GradientImage(30, 20);
    ASSERT_TRUE(m_probe->StoreSnapshot(5, {}));
    struct stat info
    {};
    ASSERT_EQ(::stat(m_probe->m_snapshots[5].GetPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 8 + 30 * 20 * 6);
    m_project->GetWorkingImage() = CRGBImage();
    ASSERT_TRUE(m_probe->RestoreSnapshot(5, {}));
    EXPECT_TRUE(SameImage(m_project->GetWorkingImage(), GradientImage(30, 20)));
    ASSERT_TRUE(m_probe->RestoreSnapshot(0, {}));
    EXPECT_TRUE(SameImage(m_project->GetWorkingImage(), loaded));
}

// ---- Documents

TEST_F(ProjectManageTest, CommitsLowerTheDirtyStepOnlyForADifferentDocument)
{
    ScopedStepEditionPolicy policy(StepEditionPolicy::AllStepsEnabled);
    LoadGradient();
    struct Case
    {
        int slot;
        void (*commitChanged)(CProjectManage&);
        int expectedDirty;
    };
    const Case cases[] = {
        {1,
         [](CProjectManage& p) {
             CDNGParamDoc doc = p.GetDNGParamDoc();
             doc.GetParams().Exposure += 10;
             p.CommitDNGParamDoc(doc);
         },
         0},
        // A chart document whose title alone differs is equal; one whose
        // tables differ is committed.
        {2,
         [](CProjectManage& p) {
             CChartDoc doc = p.GetChartDoc();
             doc.SetTitle("other");
             p.CommitChartDoc(doc);
         },
         7},
        {2,
         [](CProjectManage& p) {
             CChartDoc doc = p.GetChartDoc();
             doc.GetParams().colorChartReference.SetAt(0, 0, CCIEXYZ(20.0, 21.0, 22.0));
             p.CommitChartDoc(doc);
         },
         1},
        {3,
         [](CProjectManage& p) {
             CTrimmingDoc doc = p.GetTrimmingDoc();
             doc.GetTrimRecord().SizeDPI += 50;
             p.CommitTrimmingDoc(doc);
         },
         2},
        {4, [](CProjectManage& p) { p.CommitGrayCalibDoc(GammaDoc(1.5)); }, 3},
        {5,
         [](CProjectManage& p) {
             CColorCalibDoc doc = p.GetColorCalibDoc();
             CColorCalibData data = doc.GetCalibData();
             data.Offset += 5.0;
             doc.SetCalibData(data);
             p.CommitColorCalibDoc(doc);
         },
         4},
        {6,
         [](CProjectManage& p) {
             CColorChangeDoc doc = p.GetColorChangeDoc();
             CLChRange entry = doc.GetEntry(0);
             entry.HendouEffectK += 0.5;
             doc.SetEntry(0, entry);
             p.CommitColorChangeDoc(doc);
         },
         5},
        {7,
         [](CProjectManage& p) {
             CFilterDoc doc = p.GetFilterDoc();
             doc.GetParams().Threshold += 3;
             p.CommitFilterDoc(doc);
         },
         6},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.slot);
        // Through step 0, since a target equal to the current step only
        // sets the compare mode.
        m_project->ProcessToStep(0, kCompareAfter, false);
        m_project->ProcessToStep(7, kCompareAfter, false);
        ASSERT_EQ(m_project->GetDirtyStep(), 7);
        m_project->SetModified(false);

        // The project's own document again: nothing changes.
        CBaseDoc* own = m_project->GetDoc(c.slot);
        ASSERT_NE(own, nullptr);
        switch (c.slot)
        {
        case 1:
            m_project->CommitDNGParamDoc(CDNGParamDoc(m_project->GetDNGParamDoc()));
            break;
        case 2:
            m_project->CommitChartDoc(CChartDoc(m_project->GetChartDoc()));
            break;
        case 3:
            m_project->CommitTrimmingDoc(CTrimmingDoc(m_project->GetTrimmingDoc()));
            break;
        case 4:
            m_project->CommitGrayCalibDoc(CGrayCalibDoc(m_project->GetGrayCalibDoc()));
            break;
        case 5:
            m_project->CommitColorCalibDoc(CColorCalibDoc(m_project->GetColorCalibDoc()));
            break;
        case 6:
            m_project->CommitColorChangeDoc(CColorChangeDoc(m_project->GetColorChangeDoc()));
            break;
        default:
            m_project->CommitFilterDoc(CFilterDoc(m_project->GetFilterDoc()));
            break;
        }
        EXPECT_EQ(m_project->GetDirtyStep(), 7);
        EXPECT_FALSE(m_project->IsModified());

        const std::unique_ptr<CBaseDoc> before = own->Clone();
        c.commitChanged(*m_project);
        EXPECT_EQ(m_project->GetDirtyStep(), c.expectedDirty);
        EXPECT_EQ(m_project->IsModified(), c.expectedDirty != 7);
        if (c.expectedDirty != 7)
        {
            EXPECT_FALSE(before->IsEqual(*own)); // copied in
        }
    }
    EXPECT_EQ(m_project->GetDoc(0), nullptr);
    EXPECT_EQ(m_project->GetDoc(8), nullptr);
}

TEST_F(ProjectManageTest, PreviewDocumentIsAPreparedCloneAndSetsTheTile)
{
    LoadGradient();
    CFilterDoc filter;
    filter.GetParams().Radius = 3;
    const std::size_t updates = m_view.updates.size();
    m_project->SetPreviewDoc(&filter);
    ASSERT_NE(m_project->GetPreviewDoc(), nullptr);
    EXPECT_NE(m_project->GetPreviewDoc(), &filter);
    EXPECT_TRUE(m_project->GetPreviewDoc()->IsEqual(filter));
    EXPECT_EQ(m_view.updates.size(), updates + 1);

    int width = 0;
    int height = 0;
    m_project->GetTileSize(width, height);
    EXPECT_EQ(width, CFilterDoc::kTileWidth);
    EXPECT_EQ(height, CFilterDoc::kTileHeight);

    m_project->SetPreviewDoc(nullptr);
    EXPECT_EQ(m_project->GetPreviewDoc(), nullptr);
    m_project->GetTileSize(width, height);
    EXPECT_EQ(width, 256);
}

TEST_F(ProjectManageTest, StepFlagsFollowTheCurrentStepAndTheLimit)
{
    ScopedStepEditionPolicy policy(StepEditionPolicy::AllStepsEnabled);
    LoadGradient();
    m_project->ProcessToStep(2, kCompareAfter, false);
    std::array<int, 7> flags{};
    m_project->GetStepsToProcess(false, 5, flags);
    EXPECT_EQ(flags, (std::array<int, 7>{0, 0, 1, 1, 1, 0, 0}));
    m_project->GetStepsToProcess(true, 5, flags);
    EXPECT_EQ(flags, (std::array<int, 7>{0, 1, 1, 1, 1, 0, 0})); // no RAW data for slot 1
    m_project->GetBatchStepFlags(flags);
    EXPECT_EQ(flags, (std::array<int, 7>{0, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(m_project->FindLastEnabledStep(7), 7);
    EXPECT_EQ(m_project->FindLastEnabledStep(1), 0);
}

TEST_F(ProjectManageTest, OutputSettingsMarkTheProjectOnlyWhenTheyChange)
{
    struct Case
    {
        const char* what;
        void (*set)(CProjectManage&, int);
        int current;
    };
    const Case cases[] = {
        {"format", [](CProjectManage& p, int v) { p.SetOutputFormat(v); }, kOutputTiff16},
        {"option", [](CProjectManage& p, int v) { p.SetOutputOption(v); }, 2},
        {"folder",
         [](CProjectManage& p, int v) {
             p.SetOutputFolder(v == 0 ? p.GetOutputFolder() : std::string("/elsewhere/"));
         },
         0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        m_project->SetModified(false);
        c.set(*m_project, c.current);
        EXPECT_FALSE(m_project->IsModified());
        c.set(*m_project, 1);
        EXPECT_TRUE(m_project->IsModified());
    }
    EXPECT_EQ(m_project->GetOutputFormat(), 1);
    EXPECT_EQ(m_project->GetOutputOption(), 1);
    EXPECT_EQ(m_project->GetOutputFolder(), "/elsewhere/");
}

TEST_F(ProjectManageTest, ParameterFileRoundTripsTheDocuments)
{
    m_project->CommitGrayCalibDoc(GammaDoc(1.25));
    CFilterDoc filter;
    filter.GetParams().Radius = 7;
    m_project->CommitFilterDoc(filter);
    const std::string path = m_dir.File("params.qzp");
    ASSERT_TRUE(m_project->SaveParamFile(path));
    m_project->GetGrayCalibDoc().Reset();
    m_project->GetFilterDoc().Reset();
    ASSERT_TRUE(m_project->LoadParamFile(path));
    EXPECT_DOUBLE_EQ(m_project->GetGrayCalibDoc().GetParams().InGamma, 1.25);
    EXPECT_EQ(m_project->GetFilterDoc().GetParams().Radius, 7);
    EXPECT_FALSE(m_project->LoadParamFile(m_dir.File("missing.qzp")));
}

// ---- The list

TEST_F(ProjectManageTest, RemovingTheCurrentEntryDropsTheImage)
{
    LoadGradient();
    const std::string other = AddTiff("other.tif", 300, 200);
    m_probe->m_beforePreview = std::make_unique<CImageEx>();
    m_probe->m_afterPreview = std::make_unique<CImageEx>();

    m_project->RemoveFiles({other});
    EXPECT_EQ(m_project->GetCurrentStep(), 0);
    EXPECT_FALSE(m_project->GetWorkingImage().IsEmpty());

    const std::size_t updates = m_view.updates.size();
    m_project->RemoveFiles({m_path});
    EXPECT_EQ(m_project->GetCurrentStep(), -1);
    EXPECT_EQ(m_project->GetDirtyStep(), -1);
    EXPECT_TRUE(m_project->GetWorkingImage().IsEmpty());
    EXPECT_TRUE(m_project->GetRawThumbnail().IsEmpty());
    EXPECT_EQ(m_project->GetBeforePreview(), nullptr);
    EXPECT_EQ(m_project->GetAfterPreview(), nullptr);
    ASSERT_EQ(m_view.updates.size(), updates + 1);
    EXPECT_FALSE(m_view.updates.back());
    EXPECT_TRUE(m_messages.messages.empty());
}

TEST_F(ProjectManageTest, RemovalWithoutAViewStillEmptiesTheImage)
{
    LoadGradient();
    m_project->SetImageView(nullptr);
    m_project->RemoveFiles({m_path});
    EXPECT_TRUE(m_project->GetWorkingImage().IsEmpty());
    EXPECT_EQ(m_project->GetCurrentStep(), -1);
}

TEST_F(ProjectManageTest, UnloadDropsProfilesListImageAndDocuments)
{
    LoadGradient();
    m_project->CommitGrayCalibDoc(GammaDoc(1.8));
    m_project->UnloadProject();
    EXPECT_EQ(m_project->GetInputProfile(), nullptr);
    EXPECT_EQ(m_project->GetWorkingProfile(), nullptr);
    EXPECT_EQ(m_project->GetCount(), 0u);
    EXPECT_DOUBLE_EQ(m_project->GetGrayCalibDoc().GetParams().InGamma, 1.0);
    EXPECT_EQ(m_project->GetCurrentStep(), -1);
    EXPECT_TRUE(m_project->GetWorkingImage().IsEmpty());
    EXPECT_FALSE(m_project->IsImageReady());
    EXPECT_EQ(m_view.redraws, 1);
}

TEST_F(ProjectManageTest, PrintersAreEnumeratedOnce)
{
    FakePrintDialogs dialogs;
    m_project->SetPrintDialogs(&dialogs);
    EXPECT_EQ(dialogs.enumerations, 0); // the project has its printers
    ProjectProbe fresh;
    fresh.SetPrintDialogs(&dialogs);
    fresh.SetPrintDialogs(&dialogs);
    EXPECT_EQ(dialogs.enumerations, 1);
    EXPECT_NE(fresh.GetPrinters(), nullptr);
}

TEST_F(ProjectManageTest, ProjectProfilesNeedAllThree)
{
    EXPECT_FALSE(m_project->SetProjectProfiles(&m_monitor, nullptr, &m_input));
    EXPECT_EQ(m_project->GetInputProfile(), nullptr);
    EXPECT_EQ(m_project->GetDefaultInputProfile(), nullptr);
    const std::string path = AddTiff("a.tif", 300, 200);
    EXPECT_EQ(m_project->LoadImage(Entry(path), false), 0);
    EXPECT_TRUE(m_project->SetProjectProfiles(&m_monitor, &m_working, &m_input));
    Load(path);
}

// ---- Saving

TEST_F(ProjectManageTest, ResultGoesBesideAnExistingFileUnderAFreeName)
{
    const std::vector<std::uint8_t> wide = WideProfileBytes();
    LoadGradient("photo.tif", wide);
    const std::string out = m_dir.Path() + "out";
    std::filesystem::create_directory(out);
    m_project->SetOutputFolder(out); // without the trailing '/'
    testsupport::WriteTextFile(out + "/photo.tif", "keep me");

    Reports reports;
    m_project->m_imageSaveSlot = reports.Slot();
    std::string written;
    CancelWatch watch(m_project->m_imageSaveSlot);
    ASSERT_TRUE(m_project->SaveResultImage(Entry(m_path), -1.0, written, watch.Watched()));
    m_project->m_imageSaveSlot = {};
    EXPECT_EQ(written, out + "/photo_00002.tif");
    EXPECT_FALSE(watch.Cancelled());
    EXPECT_EQ(testsupport::ReadTextFile(out + "/photo.tif"), "keep me");
    ASSERT_GE(reports.values.size(), 2u);
    EXPECT_EQ(reports.values.front(), 0.0);
    EXPECT_EQ(reports.values.back(), 1.0);

    // The file describes its pixels: the input profile embedded, and the
    // device values of the source back through its inverse tone curves.
    CImageFileInfo result;
    ASSERT_EQ(result.ReadInfo(written), 1);
    EXPECT_EQ(result.m_iccProfile, wide);
    EXPECT_EQ(result.m_width, 300);
    EXPECT_EQ(result.m_height, 200);
    EXPECT_FLOAT_EQ(result.m_xResolution, 300.0f);
    CRGBImage pixels;
    ASSERT_EQ(LoadTiffImage(result, pixels, nullptr, nullptr, {}), 1);
    CRGBImage source = GradientImage(300, 200);
    for (const auto& [x, y] : {std::pair{150, 100}, {299, 199}, {200, 50}})
    {
        const RGB16 a = PixelAt(source, x, y);
        const RGB16 b = PixelAt(pixels, x, y);
        EXPECT_NEAR(a.r, b.r, 64) << x << "," << y;
        EXPECT_NEAR(a.g, b.g, 64) << x << "," << y;
        EXPECT_NEAR(a.b, b.b, 64) << x << "," << y;
    }

    // Again: the next free number, with the resolution given.
    ASSERT_TRUE(m_project->SaveResultImage(Entry(m_path), 150.0, written));
    EXPECT_EQ(written, out + "/photo_00003.tif");
    ASSERT_EQ(result.ReadInfo(written), 1);
    EXPECT_FLOAT_EQ(result.m_xResolution, 150.0f);
}

TEST_F(ProjectManageTest, ResultFormatsTakeTheirExtensionAndEmbedTheInputProfile)
{
    const std::vector<std::uint8_t> wide = WideProfileBytes();
    LoadGradient("wide.tif", wide);
    m_project->SetOutputFolder(m_dir.Path());
    struct Case
    {
        int format;
        const char* name;
        ImageFileType type;
    };
    const Case cases[] = {
        {kOutputTiff8, "wide_00002.tif", kImageFileTiff8},
        {kOutputJpeg, "wide.jpg", kImageFileJpeg},
    };
    for (const Case& c : cases)
    {
        m_project->SetOutputFormat(c.format);
        std::string written;
        ASSERT_TRUE(m_project->SaveResultImage(Entry(m_path), -1.0, written));
        EXPECT_EQ(written, m_dir.File(c.name));
        CImageFileInfo result;
        ASSERT_EQ(result.ReadInfo(written), 1) << written;
        EXPECT_EQ(result.m_type, c.type);
        EXPECT_EQ(result.m_iccProfile, wide);
    }
    m_project->SetOutputFormat(7);
    std::string written = "unchanged";
    EXPECT_FALSE(m_project->SaveResultImage(Entry(m_path), -1.0, written));
    EXPECT_EQ(written, "unchanged");
}

TEST_F(ProjectManageTest, CorrectedImageIsWrittenWhereAsked)
{
    LoadGradient();
    Reports reports;
    m_project->m_imageLoadSlot = reports.Slot();
    const std::string path = m_dir.File("saved.jpg");
    ASSERT_TRUE(m_project->SaveCorrectedImage(path, kOutputJpeg, 4));
    m_project->m_imageLoadSlot = {};
    EXPECT_EQ(reports.values.front(), 0.0);
    EXPECT_EQ(reports.values.back(), 1.0);
    CImageFileInfo result;
    ASSERT_EQ(result.ReadInfo(path), 1);
    EXPECT_EQ(result.m_type, kImageFileJpeg);
    EXPECT_EQ(result.m_iccProfile, SRGBProfileBytes());
    EXPECT_FALSE(m_project->SaveCorrectedImage(m_dir.File("x.tif"), 3, 0));
}

// ---- Parking

TEST_F(ProjectManageTest, ParkedImageComesBackWithItsInputProfile)
{
    const std::vector<std::uint8_t> wide = WideProfileBytes();
    const CRGBImage loaded = LoadGradient("wide.tif", wide);
    ASSERT_TRUE(m_probe->ParkWorkingImage());
    EXPECT_TRUE(m_project->GetWorkingImage().IsEmpty());
    struct stat info
    {};
    ASSERT_EQ(::stat(m_probe->m_parkPath.c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 8 + 300 * 200 * 6);
    EXPECT_TRUE(GetFileNameFromPath(m_probe->m_parkPath).starts_with("PMB"));

    // Another entry loaded meanwhile (as the batch does) changes the input.
    const std::string plain = AddTiff("plain.tif", 120, 80);
    ASSERT_EQ(m_project->LoadImage(Entry(plain), true), 1);
    EXPECT_NE(ProfileBytes(m_project->GetInputProfile()), wide);

    ASSERT_TRUE(m_probe->RestoreParkedImage());
    EXPECT_TRUE(SameImage(m_project->GetWorkingImage(), loaded));
    EXPECT_EQ(ProfileBytes(m_project->GetInputProfile()), wide);
    EXPECT_EQ(m_project->GetInputProfileText(), Description(wide));
    EXPECT_EQ(m_project->GetCurrentStep(), 0);
    // Nothing parked: nothing to do.
    EXPECT_TRUE(m_probe->RestoreParkedImage());
    EXPECT_TRUE(SameImage(m_project->GetWorkingImage(), loaded));
}

TEST_F(ProjectManageTest, ADamagedParkFileDropsTheImage)
{
    LoadGradient();
    ASSERT_TRUE(m_probe->ParkWorkingImage());
    ASSERT_EQ(::truncate(m_probe->m_parkPath.c_str(), 1000), 0);
    EXPECT_FALSE(m_probe->RestoreParkedImage());
    EXPECT_EQ(m_project->GetCurrentStep(), -1);
    EXPECT_TRUE(m_project->GetWorkingImage().IsEmpty());
    ASSERT_EQ(m_messages.messages.size(), 1u);
    EXPECT_EQ(m_messages.messages[0].stringId, kStrSnapshotFailed);
}

TEST_F(ProjectManageTest, WorkFilesAreRemovedWithTheProject)
{
    const std::vector<std::string> snapshots = SnapshotFiles();
    EXPECT_EQ(snapshots.size(), 8u);
    const std::string park = m_probe->m_parkPath;
    EXPECT_EQ(::access(park.c_str(), F_OK), 0);
    m_project.reset();
    m_probe = nullptr;
    EXPECT_TRUE(SnapshotFiles().empty());
    EXPECT_NE(::access(park.c_str(), F_OK), 0);
}
