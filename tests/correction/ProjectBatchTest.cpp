// The batch run and its log: the log's exact text, resizing, the documents
// of each entry, cancelling, failures, the numbered logs of later runs, and
// the shown image surviving the batch.

#include "core/PathUtils.h"
#include "correction/ProjectManage.h"
#include "imagefile/ImageFileInfo.h"
#include "tests/correction/ProjectTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace projecttest;
namespace fs = std::filesystem;

// Mon Dec  7 22:10:00 2026 in UTC.
constexpr std::time_t kLogTime = 1796681400;
std::time_t FixedClock()
{
    return kLogTime;
}

// Sets TZ for its lifetime; the C library's zone follows at both ends.
class ScopedTimeZone
{
public:
    explicit ScopedTimeZone(const std::string& zone)
    {
        m_env.emplace("TZ", zone);
        ::tzset();
    }
    ~ScopedTimeZone()
    {
        m_env.reset();
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<testsupport::ScopedEnv> m_env;
};

std::string Line(std::string_view a, std::string_view b = {})
{
    return std::string(a) + std::string(b) + "\r\n";
}

std::vector<std::string> FileNames(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& item : fs::directory_iterator(folder, ec))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

int CountFilesWithPrefix(const std::string& folder, const std::string& prefix)
{
    int n = 0;
    for (const std::string& name : FileNames(folder))
        n += name.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
}

struct EntryCall
{
    int index;
    int total;
    std::string path;
    int previousSaveFailed;
};

class ProjectBatchTest : public ProjectFixture
{
protected:
    ProjectBatchTest() : m_zone("UTC")
    {
        m_out = m_dir.Path() + "out/";
        fs::create_directories(m_out);
        m_project->SetOutputFolder(m_out);
        m_project->SetLogClock(&FixedClock);
        m_project->m_batchEntrySlot = {&EntryThunk, this};
        m_project->m_batchStepsSlot = {&StepsThunk, this};
    }

    static int EntryThunk(int index, int total, CImageFileInfo* entry, int previousSaveFailed,
                          void* user)
    {
        auto* self = static_cast<ProjectBatchTest*>(user);
        self->m_entryCalls.push_back(
            {index, total, entry ? entry->m_path : std::string(), previousSaveFailed});
        return self->m_onEntry ? self->m_onEntry(index) : 1;
    }
    static void StepsThunk(const std::array<int, 7>& flags, void* user)
    {
        auto* self = static_cast<ProjectBatchTest*>(user);
        self->m_stepFlags.push_back(flags);
        if (self->m_onSteps)
            self->m_onSteps();
    }

    void Run(int mode, bool resize = false, int width = 0, int height = 0,
             const std::string& paramFile = std::string())
    {
        m_project->RunBatch(mode, paramFile, resize, width, height);
    }

    std::string Head() const { return Line(kBatchLogBegin, FormatLogTime(kLogTime)) + "\r\n"; }
    std::string Tail(bool cancelled) const
    {
        return Line(cancelled ? kBatchLogCancelled : kBatchLogEnd, FormatLogTime(kLogTime));
    }
    std::string Converted(const std::string& path, const std::string& written) const
    {
        return Line(path, kBatchLogConverting) + Line(written, kBatchLogSaved) + "\r\n";
    }
    std::string LoadError(const std::string& path) const
    {
        return Line(path, kBatchLogLoadError) + "\r\n";
    }
    std::string SaveError(const std::string& path) const
    {
        return Line(path, kBatchLogConverting) + Line(kBatchLogSaveError) + "\r\n";
    }
    std::string Log(const std::string& name = std::string(kBatchLogName)) const
    {
        return testsupport::ReadTextFile(m_out + name);
    }
    static CImageFileInfo Info(const std::string& path)
    {
        CImageFileInfo info;
        EXPECT_EQ(info.ReadInfo(path), 1) << path;
        return info;
    }
    int WorkFilesPMB() const { return CountFilesWithPrefix(GetAppTempFolder(), "PMB"); }
    void UncheckAll()
    {
        for (std::size_t i = 0; i < m_project->GetCount(); ++i)
            m_project->GetItem(i).m_check = 0;
    }

    ScopedTimeZone m_zone;
    std::string m_out;
    std::vector<EntryCall> m_entryCalls;
    std::vector<std::array<int, 7>> m_stepFlags;
    std::function<int(int)> m_onEntry;
    std::function<void()> m_onSteps;
};

// ---- The log

TEST_F(ProjectBatchTest, LogOfTwoEntriesTheSecondUnreadable)
{
    const std::string a = AddTiff("a.tif", 60, 50);
    const std::string b = AddTiff("b.tif", 60, 50);
    testsupport::WriteTextFile(b, "not an image");
    const int pmbBefore = WorkFilesPMB();

    Run(kBatchAsAtStart);

    EXPECT_EQ(Log(), Head() + Converted(a, m_out + "a.tif") + LoadError(b) + Tail(false));
    EXPECT_EQ(FormatLogTime(kLogTime), "Mon Dec  7 22:10:00 2026");
    EXPECT_EQ(FileNames(m_out), (std::vector<std::string>{"Batch_log.txt", "a.tif"}));
    ASSERT_EQ(m_entryCalls.size(), 2u);
    EXPECT_EQ(m_entryCalls[0].index, 0);
    EXPECT_EQ(m_entryCalls[0].total, 2);
    EXPECT_EQ(m_entryCalls[0].path, a);
    EXPECT_EQ(m_entryCalls[1].index, 1);
    EXPECT_EQ(m_entryCalls[1].total, 2);
    EXPECT_EQ(m_entryCalls[1].path, b);
    EXPECT_EQ(m_entryCalls[1].previousSaveFailed, 0);
    // The steps callback is told of loaded entries only.
    EXPECT_EQ(m_stepFlags.size(), 1u);
    EXPECT_EQ(m_shell.opened, std::vector<std::string>{m_out + "Batch_log.txt"});
    // The temporary log was moved, not copied and left behind.
    EXPECT_EQ(WorkFilesPMB(), pmbBefore);
}

TEST_F(ProjectBatchTest, DetailLinesOfTheStepsStandBetweenTheEntryLines)
{
    ScopedStepEditionPolicy all(StepEditionPolicy::AllStepsEnabled);
    const std::string a = AddTiff("a.tif", 300, 200);
    const std::string b = AddTiff("b.tif", 200, 400);
    // The trimming frame was set up on a's size: b, of another size, is
    // not cropped, and the trimming step says so.
    m_project->GetTrimmingDoc().SetOriginalSize(true, 300, 200, 150);

    Run(kBatchAsTheyAre);

    const std::string log = Log();
    const std::string headAndA = Head() + Converted(a, m_out + "a.tif");
    ASSERT_EQ(log.substr(0, headAndA.size()), headAndA);
    const std::string bStart = Line(b, kBatchLogConverting);
    const std::string bEnd = Line(m_out + "b.tif", kBatchLogSaved) + "\r\n" + Tail(false);
    ASSERT_GT(log.size(), headAndA.size() + bStart.size() + bEnd.size());
    EXPECT_EQ(log.substr(headAndA.size(), bStart.size()), bStart);
    EXPECT_EQ(log.substr(log.size() - bEnd.size()), bEnd);
    const std::string detail =
        log.substr(headAndA.size() + bStart.size(),
                   log.size() - headAndA.size() - bStart.size() - bEnd.size());
    EXPECT_GT(detail.size(), 2u);
    EXPECT_EQ(std::count(detail.begin(), detail.end(), '\n'), 1) << detail;
    EXPECT_EQ(detail.substr(detail.size() - 2), "\r\n");
}

TEST_F(ProjectBatchTest, CancelFromTheEntryCallbackBeforeTheThirdEntry)
{
    std::vector<std::string> paths;
    for (const char* name : {"a.tif", "b.tif", "c.tif", "d.tif"})
        paths.push_back(AddTiff(name, 60, 50));
    m_onEntry = [](int index) { return index == 2 ? 0 : 1; };

    Run(kBatchAsAtStart);

    EXPECT_EQ(Log(), Head() + Converted(paths[0], m_out + "a.tif") +
                         Converted(paths[1], m_out + "b.tif") + Tail(true));
    EXPECT_EQ(m_entryCalls.size(), 3u);
    EXPECT_EQ(FileNames(m_out), (std::vector<std::string>{"Batch_log.txt", "a.tif", "b.tif"}));
}

// A cancel or a stop of any stage ends the batch with the tail "中止:";
// what stopped decides whether the entry is logged.
TEST_F(ProjectBatchTest, StopsOfTheStagesEndTheBatch)
{
    ScopedStepEditionPolicy all(StepEditionPolicy::AllStepsEnabled);
    const std::string a = AddTiff("a.tif", 60, 50);
    AddTiff("b.tif", 60, 50);
    static ProgressFunction refuse([](double) { return false; });

    struct Case
    {
        const char* name;
        std::function<void(CProjectManage&)> stop;
        bool loggedAsSaveError; // else the entry is not logged at all
    };
    const Case cases[] = {
        {"the loader cancels", [](CProjectManage& p) { p.m_imageLoadSlot = refuse; }, false},
        {"a step stops",
         [](CProjectManage& p) { p.m_stepSlots[CProjectManage::kStepGrayCalib - 1] = refuse; },
         false},
        {"the writer cancels", [](CProjectManage& p) { p.m_imageSaveSlot = refuse; }, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        fs::remove_all(m_out);
        fs::create_directories(m_out);
        m_entryCalls.clear();
        m_project->m_imageLoadSlot = {};
        m_project->m_imageSaveSlot = {};
        m_project->m_stepSlots = {};
        c.stop(*m_project);

        Run(kBatchAsAtStart);

        EXPECT_EQ(Log(),
                  Head() + (c.loggedAsSaveError ? SaveError(a) : std::string()) + Tail(true));
        EXPECT_EQ(m_entryCalls.size(), 1u);
        EXPECT_EQ(FileNames(m_out), std::vector<std::string>{"Batch_log.txt"});
    }
    m_project->m_imageLoadSlot = {};
    m_project->m_imageSaveSlot = {};
    m_project->m_stepSlots = {};
}

// The output folder is broken while the first entry is saved and mended
// before the third; the second entry does not load.
TEST_F(ProjectBatchTest, SaveErrorIsLoggedAndToldToTheNextEntry)
{
    const std::string a = AddTiff("a.tif", 60, 50);
    const std::string b = AddTiff("b.tif", 60, 50);
    const std::string c = AddTiff("c.tif", 60, 50);
    testsupport::WriteTextFile(b, "not an image");
    const std::string folder = m_out.substr(0, m_out.size() - 1);

    struct Breakage
    {
        const char* name;
        bool needsNonRoot; // root writes into folders without write permission
        std::function<void()> breakIt;
        std::function<void()> mend;
    };
    const Breakage breakages[] = {
        {"the output folder is a file", false,
         [&] {
             fs::rename(folder, folder + ".away");
             testsupport::WriteTextFile(folder, "a file");
         },
         [&] {
             fs::remove(folder);
             fs::rename(folder + ".away", folder);
         }},
        {"the output folder is not writable", true, [&] { ::chmod(folder.c_str(), 0555); },
         [&] { ::chmod(folder.c_str(), 0755); }},
    };
    for (const Breakage& breakage : breakages)
    {
        SCOPED_TRACE(breakage.name);
        if (breakage.needsNonRoot && ::geteuid() == 0)
            continue;
        fs::remove_all(m_out);
        fs::create_directories(m_out);
        m_entryCalls.clear();
        m_onEntry = [&](int index) {
            if (index == 0)
                breakage.breakIt();
            if (index == 2)
                breakage.mend();
            return 1;
        };

        Run(kBatchAsAtStart);

        EXPECT_EQ(Log(), Head() + SaveError(a) + LoadError(b) + Converted(c, m_out + "c.tif") +
                             Tail(false));
        ASSERT_EQ(m_entryCalls.size(), 3u);
        EXPECT_EQ(m_entryCalls[0].previousSaveFailed, 0);
        EXPECT_EQ(m_entryCalls[1].previousSaveFailed, 1);
        // A load error is no save failure.
        EXPECT_EQ(m_entryCalls[2].previousSaveFailed, 0);
        EXPECT_EQ(FileNames(m_out), (std::vector<std::string>{"Batch_log.txt", "c.tif"}));
    }
    m_onEntry = nullptr;
}

TEST_F(ProjectBatchTest, SecondRunWritesANumberedLogBesideTheFirst)
{
    const std::string a = AddTiff("a.tif", 60, 50);
    // The folder without its trailing separator: the log's name gets one.
    m_project->SetOutputFolder(m_out.substr(0, m_out.size() - 1));

    Run(kBatchAsAtStart);
    const std::string first = Log();
    Run(kBatchAsAtStart);

    EXPECT_EQ(Log(), first);
    EXPECT_EQ(Log("Batch_log_00002.txt"),
              Head() + Converted(a, m_out + "a_00002.tif") + Tail(false));
    EXPECT_EQ(m_shell.opened,
              (std::vector<std::string>{m_out + "Batch_log.txt", m_out + "Batch_log_00002.txt"}));
}

TEST_F(ProjectBatchTest, NoCheckedEntriesDoNothing)
{
    const std::string a = AddTiff("a.tif", 60, 50);
    AddTiff("b.tif", 60, 50);
    Load(a);
    const CRGBImage before = m_project->GetWorkingImage();
    UncheckAll();
    const int pmbBefore = WorkFilesPMB();
    const std::size_t updatesBefore = m_view.updates.size();

    Run(kBatchAsAtStart, true, 10, 10);

    EXPECT_TRUE(FileNames(m_out).empty());
    EXPECT_TRUE(m_shell.opened.empty());
    EXPECT_TRUE(m_entryCalls.empty());
    EXPECT_EQ(WorkFilesPMB(), pmbBefore);
    EXPECT_EQ(m_view.updates.size(), updatesBefore);
    EXPECT_EQ(m_project->GetCurrentStep(), 0);
    ASSERT_EQ(m_project->GetWorkingImage().GetWidth(), 60);
    EXPECT_EQ(m_project->GetWorkingImage().GetPixelCount(), before.GetPixelCount());
}

// ---- Sizes, resolutions and documents

TEST_F(ProjectBatchTest, SizeRequestOfTheModes)
{
    const std::string a = AddTiff("a.tif", 300, 200);
    const std::string b = AddTiff("b.tif", 200, 400);
    const std::string paramFile = m_dir.File("params.qzp");
    ASSERT_TRUE(m_project->SaveParamFile(paramFile));

    struct Case
    {
        const char* name;
        int mode;
        bool resize;
        int aWidth, aHeight, bWidth, bHeight;
        int trimmingRow; // flag 2 of the steps callback
    };
    const Case cases[] = {
        {"as at start, resized", kBatchAsAtStart, true, 100, 67, 50, 100, 1},
        {"from the parameter file, resized", kBatchFromParamFile, true, 100, 67, 50, 100, 1},
        {"as at start, kept", kBatchAsAtStart, false, 300, 200, 200, 400, 0},
        {"as they are: no size request", kBatchAsTheyAre, true, 300, 200, 200, 400, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        fs::remove_all(m_out);
        fs::create_directories(m_out);
        m_stepFlags.clear();

        Run(c.mode, c.resize, 100, 100, paramFile);

        const CImageFileInfo outA = Info(m_out + "a.tif");
        const CImageFileInfo outB = Info(m_out + "b.tif");
        EXPECT_EQ(outA.m_width, c.aWidth);
        EXPECT_EQ(outA.m_height, c.aHeight);
        EXPECT_EQ(outB.m_width, c.bWidth);
        EXPECT_EQ(outB.m_height, c.bHeight);
        ASSERT_EQ(m_stepFlags.size(), 2u);
        for (const auto& flags : m_stepFlags)
            EXPECT_EQ(flags[CProjectManage::kStepTrimming - 1], c.trimmingRow);
    }
}

// Only with the documents as they are does the trimming document's output
// resolution replace the image's.
TEST_F(ProjectBatchTest, TrimmingResolutionHoldsForDocumentsAsTheyAre)
{
    ScopedStepEditionPolicy all(StepEditionPolicy::AllStepsEnabled);
    AddTiff("a.tif", 300, 200); // written at 300 dpi
    m_project->GetTrimmingDoc().SetOriginalSize(true, 300, 200, 150);

    const std::pair<int, float> cases[] = {{kBatchAsTheyAre, 150.0f}, {kBatchAsAtStart, 300.0f}};
    for (const auto& [mode, dpi] : cases)
    {
        SCOPED_TRACE(mode);
        fs::remove_all(m_out);
        fs::create_directories(m_out);
        Run(mode);
        const CImageFileInfo out = Info(m_out + "a.tif");
        EXPECT_FLOAT_EQ(out.m_xResolution, dpi);
        EXPECT_FLOAT_EQ(out.m_yResolution, dpi);
    }
}

// Each entry starts from the documents of the mode, whatever happened to
// them for the entry before; afterwards the documents are as before.
TEST_F(ProjectBatchTest, DocumentsOfEachEntryByMode)
{
    AddTiff("a.tif", 60, 50);
    AddTiff("b.tif", 60, 50);
    const std::string paramFile = m_dir.File("params.qzp");
    m_project->GetFilterDoc().SetTitle("from the file");
    ASSERT_TRUE(m_project->SaveParamFile(paramFile));
    m_project->GetFilterDoc().SetTitle("at the start");

    std::vector<std::string> seen;
    m_onEntry = [&](int index) {
        m_project->GetFilterDoc().SetTitle("changed for " + std::to_string(index));
        return 1;
    };
    m_onSteps = [&] { seen.push_back(m_project->GetFilterDoc().GetTitle()); };

    struct Case
    {
        int mode;
        std::vector<std::string> titles;
    };
    const Case cases[] = {
        {kBatchAsAtStart, {"at the start", "at the start"}},
        {kBatchFromParamFile, {"from the file", "from the file"}},
        {kBatchAsTheyAre, {"changed for 0", "changed for 1"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.mode);
        seen.clear();
        Run(c.mode, false, 0, 0, paramFile);
        EXPECT_EQ(seen, c.titles);
        EXPECT_EQ(m_project->GetFilterDoc().GetTitle(), "at the start");
    }
    m_onEntry = nullptr;
    m_onSteps = nullptr;
}

// ---- The shown image

TEST_F(ProjectBatchTest, ShownImageComesBackInItsOwnColourSpace)
{
    const std::string wide = AddTiff("wide.tif", 80, 60, WideProfileBytes());
    AddTiff("s1.tif", 90, 60, SRGBProfileBytes());
    AddTiff("s2.tif", 100, 50, SRGBProfileBytes());
    Entry(wide).m_check = 0;
    Load(wide);

    const CRGBImage before = m_project->GetWorkingImage();
    const std::string text = m_project->GetInputProfileText();
    ASSERT_NE(m_project->GetInputProfile(), nullptr);
    std::string description;
    ASSERT_TRUE(m_project->GetInputProfile()->GetDescription(description));
    const CStdMatrix matrix = m_project->GetWorkingMatrix();
    // The batch's profile must differ, or this test would prove nothing.
    {
        std::string srgb;
        ASSERT_TRUE(OpenProfile(SRGBProfileBytes(), "s.icc").GetDescription(srgb));
        ASSERT_NE(srgb, description);
    }

    Run(kBatchAsAtStart, true, 20, 20);

    EXPECT_EQ(FileNames(m_out), (std::vector<std::string>{"Batch_log.txt", "s1.tif", "s2.tif"}));
    EXPECT_EQ(m_project->GetCurrentStep(), 0);
    EXPECT_EQ(m_project->GetCurrentRecord().m_path, wide);
    EXPECT_EQ(m_project->GetInputProfileText(), text);
    ASSERT_NE(m_project->GetInputProfile(), nullptr);
    std::string after;
    ASSERT_TRUE(m_project->GetInputProfile()->GetDescription(after));
    EXPECT_EQ(after, description);
    for (std::uint32_t r = 0; r < 3; ++r)
    {
        for (std::uint32_t c = 0; c < 3; ++c)
            EXPECT_DOUBLE_EQ(m_project->GetWorkingMatrix().GetAt(r, c), matrix.GetAt(r, c));
    }

    CRGBImage& image = m_project->GetWorkingImage();
    ASSERT_EQ(image.GetWidth(), 80);
    ASSERT_EQ(image.GetHeight(), 60);
    CRGBImage expected = before;
    const RGB16* p = image.Lock();
    const RGB16* q = expected.Lock();
    std::size_t differing = 0;
    for (std::size_t i = 0; i < image.GetPixelCount(); ++i)
        differing += (p[i].r != q[i].r || p[i].g != q[i].g || p[i].b != q[i].b) ? 1 : 0;
    image.Unlock();
    expected.Unlock();
    EXPECT_EQ(differing, 0u);
}

TEST_F(ProjectBatchTest, BatchWithoutAShownImageLeavesNone)
{
    AddTiff("a.tif", 60, 50);
    Run(kBatchAsAtStart);
    EXPECT_EQ(m_project->GetCurrentStep(), -1);
    EXPECT_TRUE(m_project->GetWorkingImage().IsEmpty());
    EXPECT_EQ(FileNames(m_out), (std::vector<std::string>{"Batch_log.txt", "a.tif"}));
}

TEST_F(ProjectBatchTest, BeginAndEndBatch)
{
    // Without an image: only the busy flag.
    m_project->BeginBatch();
    EXPECT_TRUE(m_project->IsBusy());
    const std::size_t updates = m_view.updates.size();
    m_project->EndBatch();
    EXPECT_FALSE(m_project->IsBusy());
    EXPECT_EQ(m_view.updates.size(), updates);

    // With one: the previews go, and the view is rebuilt at the end.
    const std::string a = AddTiff("a.tif", 60, 50);
    Load(a);
    int created = 0;
    ASSERT_TRUE(m_project->MakeBeforePreview(CRect(0, 0, 12, 8), &created));
    ASSERT_TRUE(m_project->MakeAfterPreview(CRect(0, 0, 12, 8), &created));
    m_project->BeginBatch();
    EXPECT_TRUE(m_project->IsBusy());
    EXPECT_EQ(m_project->GetBeforePreview(), nullptr);
    EXPECT_EQ(m_project->GetAfterPreview(), nullptr);
    m_project->EndBatch();
    EXPECT_FALSE(m_project->IsBusy());
    ASSERT_FALSE(m_view.updates.empty());
    EXPECT_TRUE(m_view.updates.back());
}

// ---- Moving the log into place

TEST_F(ProjectBatchTest, LogThatCannotBeMovedIsDeleted)
{
    std::string log;
    ASSERT_TRUE(CProjectManage::MakeBatchLogTempName(log));
    EXPECT_EQ(GetFileNameFromPath(log).rfind("PMB", 0), 0u);
    EXPECT_EQ(GetFolderFromPath(log), GetAppTempFolder());
    m_project->BeginBatchLog(log);

    EXPECT_FALSE(m_project->ShowBatchLog(log, m_dir.Path() + "missing"));
    EXPECT_FALSE(fs::exists(log));
    EXPECT_TRUE(m_shell.opened.empty());
}

TEST_F(ProjectBatchTest, LogMovesAcrossFileSystemsWithoutReplacing)
{
    // The work folder is under the test's temporary folder; /dev/shm is
    // another file system where there is one.
    char pattern[] = "/dev/shm/qb_batch_XXXXXX";
    if (!::mkdtemp(pattern))
        GTEST_SKIP() << "no /dev/shm";
    const std::string other = std::string(pattern) + "/";
    struct stat a
    {};
    struct stat b
    {};
    if (::stat(other.c_str(), &a) != 0 || ::stat(GetAppTempFolder().c_str(), &b) != 0 ||
        a.st_dev == b.st_dev)
    {
        fs::remove_all(other);
        GTEST_SKIP() << "/dev/shm is on the work folder's file system";
    }
    testsupport::WriteTextFile(other + "Batch_log.txt", "an older log");

    std::string log;
    ASSERT_TRUE(CProjectManage::MakeBatchLogTempName(log));
    m_project->BeginBatchLog(log);
    m_project->EndBatchLog(log, false);
    const std::string text = testsupport::ReadTextFile(log);

    EXPECT_TRUE(m_project->ShowBatchLog(log, other));
    EXPECT_FALSE(fs::exists(log));
    EXPECT_EQ(testsupport::ReadTextFile(other + "Batch_log.txt"), "an older log");
    EXPECT_EQ(testsupport::ReadTextFile(other + "Batch_log_00002.txt"), text);
    EXPECT_EQ(m_shell.opened, std::vector<std::string>{other + "Batch_log_00002.txt"});
    fs::remove_all(other);
}

// ---- The log writer and the time

TEST(LogFileTest, AppendsLinesWithCrLf)
{
    testsupport::TempDir dir;
    const std::string path = dir.File("log.txt");
    testsupport::WriteTextFile(path, "old\r\n");
    {
        CLogFile log;
        ASSERT_TRUE(log.Open(path));
        EXPECT_TRUE(log.WriteLine("開始:"));
        EXPECT_TRUE(log.WriteLine(""));
    }
    {
        CLogFile log;
        ASSERT_TRUE(log.Open(path));
        EXPECT_TRUE(log.WriteLine("end"));
        log.Close();
        EXPECT_FALSE(log.WriteLine("after closing"));
    }
    EXPECT_EQ(testsupport::ReadTextFile(path), "old\r\n開始:\r\n\r\nend\r\n");

    CLogFile missing;
    EXPECT_FALSE(missing.Open(dir.File("no/such/folder/log.txt")));
    EXPECT_FALSE(missing.WriteLine("text"));
}

TEST(FormatLogTimeTest, CtimeFormInLocalTime)
{
    struct Case
    {
        const char* zone;
        std::time_t time;
        const char* text;
    };
    const Case cases[] = {
        {"UTC", 0, "Thu Jan  1 00:00:00 1970"},
        {"UTC", kLogTime, "Mon Dec  7 22:10:00 2026"},
        {"UTC", 1796076000, "Mon Nov 30 22:00:00 2026"},
        {"UTC", 951782400, "Tue Feb 29 00:00:00 2000"},
        // Nine hours east: the next day, and the next month.
        {"JST-9", kLogTime, "Tue Dec  8 07:10:00 2026"},
        {"JST-9", 1796076000, "Tue Dec  1 07:00:00 2026"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.text);
        ScopedTimeZone zone(c.zone);
        EXPECT_EQ(FormatLogTime(c.time), c.text);
    }
}

TEST(FormatLogTimeTest, EnglishNamesWhateverTheLocale)
{
    const std::string old = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "de_DE.utf8"))
        GTEST_SKIP() << "no German locale";
    ScopedTimeZone zone("UTC");
    const std::string text = FormatLogTime(951782400);
    std::setlocale(LC_ALL, old.c_str());
    EXPECT_EQ(text, "Tue Feb 29 00:00:00 2000");
}

} // namespace
