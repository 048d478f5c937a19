#include "print/IndexImage.h"

#include "core/ImageEx.h"
#include "core/PathUtils.h"
#include "tests/correction/ProjectTestSupport.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

// ---- Page arithmetic -------------------------------------------------------

TEST(IndexPageLogicTest, PagesAndCellsOnTheLastPage)
{
    struct Case
    {
        int columns;
        int rows;
        int entries;
        int pages;
        int onLastPage;
    };
    const Case cases[] = {
        {5, 4, 0, 0, 0},  // nothing marked: no page at all
        {1, 1, 0, 0, 0},
        {5, 4, 1, 1, 1},
        {5, 4, 20, 1, 20}, // exactly a page
        {5, 4, 21, 2, 1},  // one more
        {5, 4, 40, 2, 20},
        {5, 4, 45, 3, 5},
        {1, 1, 3, 3, 1},
        {0, 4, 10, 0, 0},  // a grid without cells divides nothing
        {3, 0, 10, 0, 0},
    };
    for (const Case& c : cases)
    {
        const int perPage = IndexCellsPerPage(c.columns, c.rows);
        EXPECT_EQ(IndexPageCount(c.entries, perPage), c.pages)
            << c.columns << "x" << c.rows << " " << c.entries;
        EXPECT_EQ(IndexCellsOnPage(c.entries, perPage, c.pages), c.onLastPage)
            << c.columns << "x" << c.rows << " " << c.entries;
    }
    // Pages outside the document hold nothing.
    EXPECT_EQ(IndexCellsOnPage(45, 20, 0), 0);
    EXPECT_EQ(IndexCellsOnPage(45, 20, 4), 0);
    EXPECT_EQ(IndexCellsOnPage(45, 20, 2), 20);
}

TEST(IndexPageLogicTest, AGridChangeKeepsTheFirstCellInView)
{
    // 5 x 4 on page 3 starts at cell 40; as 2 x 2 that cell is on page 11.
    EXPECT_EQ(IndexPageOfCell(20 * (3 - 1), 4), 11);
    EXPECT_EQ(IndexPageOfCell(0, 4), 1);
    EXPECT_EQ(IndexPageOfCell(40, 0), 1);
}

TEST(IndexPageLogicTest, CellRectanglesInThePage)
{
    struct Case
    {
        const char* what;
        IndexPageOptions options;
        int dpi;
        int pageHeight;
        int targetWidth;
        int targetHeight;
        int n;
        CRect expected;
    };
    IndexPageOptions across;
    across.columns = 3;
    across.rows = 2;
    IndexPageOptions down = across;
    down.order = IndexOrder::DownThenAcross;
    IndexPageOptions shrunk = across;
    shrunk.size = 2;
    IndexPageOptions titled;
    titled.title = true;
    IndexPageOptions everything = titled;
    everything.pageNumber = true;
    everything.fileName = true;
    everything.imageSize = true;

    const Case cases[] = {
        {"across, first", across, 0, 400, 600, 400, 0, {0, 0, 200, 200}},
        {"across, second", across, 0, 400, 600, 400, 1, {200, 0, 400, 200}},
        {"across, fourth starts row 2", across, 0, 400, 600, 400, 3, {0, 200, 200, 400}},
        {"down, second below the first", down, 0, 400, 600, 400, 1, {0, 200, 200, 400}},
        {"down, third tops column 2", down, 0, 400, 600, 400, 2, {200, 0, 400, 200}},
        {"size 2 gives up 2/16 a side", shrunk, 0, 400, 600, 400, 0, {25, 25, 175, 175}},
        // 600 dpi: title 5 mm = 118 px, footer 4 mm = 94, captions 2 x 70.
        {"title band", titled, 600, 2400, 1200, 2400, 0, {0, 118, 1200, 2400}},
        {"all bands", everything, 600, 2400, 1200, 2400, 0, {0, 118, 1200, 2166}},
        // The preview shows the page at half size: bands scale with it.
        {"all bands, half size", everything, 600, 2400, 600, 1200, 0, {0, 59, 600, 1083}},
        {"no cells", IndexPageOptions{0, 2}, 600, 2400, 600, 1200, 0, {}},
        // Without a page height no band can be scaled: the cell fills it.
        {"no page height", titled, 600, 0, 600, 1200, 0, {0, 0, 600, 1200}},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(IndexCellRect(c.options, c.dpi, c.pageHeight, c.targetWidth, c.targetHeight,
                                c.n),
                  c.expected)
            << c.what;
    }
}

TEST(IndexPageLogicTest, PicturesKeepTheirAspectInTheirCells)
{
    const CRect cell(0, 0, 100, 100);
    EXPECT_EQ(FitRectToAspect(cell, 200, 100), CRect(0, 25, 100, 75));
    EXPECT_EQ(FitRectToAspect(cell, 100, 200), CRect(25, 0, 75, 100));
    EXPECT_EQ(FitRectToAspect(cell, 0, 0), cell); // no cache size yet
    EXPECT_EQ(FitRectToAspect(CRect(), 10, 10), CRect());

    struct Case
    {
        int width;
        int height;
        CRect destination;
        int developWidth;
        int developHeight;
    };
    const CRect printed(0, 0, 400, 300);
    const Case cases[] = {
        {800, 600, {0, 0, 400, 300}, 400, 300},   // reduced to the cell
        {1000, 100, {0, 130, 400, 170}, 400, 40}, // a panorama
        {200, 100, {0, 50, 400, 250}, 200, 100},  // small: its own pixels, stretched
        {0, 100, {}, 0, 0},                       // no size: nothing to place
    };
    for (const Case& c : cases)
    {
        const IndexPrintPlacement p = PlacePrintedPicture(printed, c.width, c.height);
        EXPECT_EQ(p.destination, c.destination) << c.width << "x" << c.height;
        EXPECT_EQ(p.developWidth, c.developWidth) << c.width << "x" << c.height;
        EXPECT_EQ(p.developHeight, c.developHeight) << c.width << "x" << c.height;
    }
}

TEST(IndexPageLogicTest, StepBarSharesAndTextBoxes)
{
    // No step: the load has the whole bar.
    const IndexStepShares none = IndexStepSharesOf({});
    EXPECT_EQ(IndexStepBar(none, 0.5, 0), 50);
    EXPECT_EQ(IndexStepBar(none, 2.0, 0), 100); // out-of-range progress is held
    // Steps 1 and 3 on: thirds; step 3 starts after the load and step 1.
    const IndexStepShares two = IndexStepSharesOf({1, 0, 1, 0, 0, 0, 0});
    EXPECT_EQ(IndexStepBar(two, 0.0, 1), 33);
    EXPECT_EQ(IndexStepBar(two, 0.5, 3), 83);
    EXPECT_EQ(IndexStepBar(two, 1.0, 1), 66); // the end of step 1, truncated
    EXPECT_EQ(IndexStepBar(two, std::nan(""), 3), 66);

    EXPECT_EQ(IndexDonePercent(0, 0), 0);
    EXPECT_EQ(IndexDonePercent(1, 3), 33);
    EXPECT_EQ(IndexDonePercent(20, 20), 100);

    EXPECT_EQ(IndexBoxTenthMM(600, 600), 254);
    EXPECT_EQ(IndexBoxTenthMM(4960, 600), 2099); // truncated, not rounded
    EXPECT_EQ(IndexBoxTenthMM(123, 0), 123);     // no resolution: pixels
}

// ---- The model on a real project --------------------------------------------

// The "idx" cache files in the work folder.
std::vector<std::string> CacheFiles()
{
    std::vector<std::string> found;
    const std::string folder = GetAppTempFolder();
    if (DIR* dir = opendir(folder.c_str()))
    {
        while (const dirent* e = readdir(dir))
        {
            const std::string name = e->d_name;
            if (name.rfind("idx", 0) == 0)
                found.push_back(folder + name);
        }
        closedir(dir);
    }
    return found;
}

bool Exists(const std::string& path)
{
    return !path.empty() && access(path.c_str(), F_OK) == 0;
}

class IndexImageTest : public projecttest::ProjectFixture
{
protected:
    // Three marked 80 x 60 images.
    void AddThree()
    {
        for (const char* name : {"a.tif", "b.tif", "c.tif"})
            m_paths.push_back(AddTiff(name, 80, 60));
    }

    // Waits (events handled) until every entry's cell of the mode is cached.
    static bool WaitCached(const CIndexImage& index, int mode)
    {
        return QTest::qWaitFor(
            [&] {
                for (int e = 0; e < index.GetPathCount(); ++e)
                {
                    if (!index.Cell(e, mode) || !index.Cell(e, mode)->IsCached())
                        return false;
                }
                return true;
            },
            60000);
    }

    std::vector<std::string> m_paths;
};

TEST_F(IndexImageTest, EntriesLeaveUnconvertedRawFilesOutAndStayInStep)
{
    AddThree();
    Entry(m_paths[1]).m_type = kImageFileRaw; // marked, but without pixels

    CIndexImage index(*m_project);
    index.SetWorkerPause(1ms);
    ASSERT_TRUE(index.Build());
    ASSERT_EQ(index.GetPathCount(), 2);
    EXPECT_EQ(index.Entries()[0].path, m_paths[0]);
    EXPECT_EQ(index.Entries()[1].path, m_paths[2]);
    // The second cell develops the third marked entry, not the RAW one.
    EXPECT_EQ(index.Entries()[1].checkedIndex, 2u);
    EXPECT_EQ(index.Entries()[1].width, 80);

    index.Options.columns = 2;
    EXPECT_EQ(index.PageCount(), 1);
    EXPECT_FALSE(index.SetPage(2));
    ASSERT_TRUE(WaitCached(index, 0));
}

TEST_F(IndexImageTest, TheWorkerFillsCellsOnTheUserInterfaceThread)
{
    AddThree();
    CIndexImage index(*m_project);
    index.SetWorkerPause(1ms);

    std::vector<int> readyEntries;
    bool offThread = false;
    QObject::connect(&index, &CIndexImage::cellReady, [&](int entry) {
        offThread = offThread || QThread::currentThread() != qApp->thread();
        // Whoever listens sees the cell already cached.
        const CIndexCacheData* cell = index.Cell(entry, 0);
        EXPECT_TRUE(cell && cell->IsCached());
        readyEntries.push_back(entry);
    });
    ASSERT_TRUE(index.Build());
    EXPECT_TRUE(index.IsCacheThreadRunning());
    ASSERT_TRUE(WaitCached(index, 0));
    EXPECT_FALSE(offThread);

    std::vector<int> sorted = readyEntries;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<int>{0, 1, 2}));
    for (int e = 0; e < 3; ++e)
    {
        const CIndexCacheData* cell = index.Cell(e, 0);
        EXPECT_EQ(cell->CacheWidth(), 80);
        EXPECT_EQ(cell->CacheHeight(), 60);
        EXPECT_EQ(GetFolderFromPath(cell->CacheFile()), GetAppTempFolder());
        EXPECT_EQ(GetFileNameFromPath(cell->CacheFile()).rfind("idx", 0), 0u);
        CImageEx pixels;
        ASSERT_TRUE(pixels.Load(cell->CacheFile()));
        EXPECT_EQ(pixels.GetWidth(), 80);
    }

    // The cells and their files go together.
    index.StopCacheThread();
    const std::vector<std::string> files = CacheFiles();
    EXPECT_GE(files.size(), 3u);
}

TEST_F(IndexImageTest, DestroyingTheModelRemovesEveryCacheFile)
{
    AddThree();
    {
        CIndexImage index(*m_project);
        index.SetWorkerPause(1ms);
        ASSERT_TRUE(index.Build());
        ASSERT_TRUE(WaitCached(index, 0));
        EXPECT_FALSE(CacheFiles().empty());
        // Destroyed with the worker still running (other modes to go).
    }
    QCoreApplication::processEvents(); // a queued hand-over finds no model
    EXPECT_TRUE(CacheFiles().empty());
}

TEST_F(IndexImageTest, ANewParameterFileReplacesOnlyTheParameterFileCells)
{
    AddThree();
    const std::string first = m_dir.File("first.qzp");
    const std::string second = m_dir.File("second.qzp");
    ASSERT_TRUE(m_project->SaveParamFile(first));
    ASSERT_TRUE(m_project->SaveParamFile(second));

    CIndexImage index(*m_project);
    index.SetWorkerPause(1ms);
    ASSERT_TRUE(index.Build());
    index.SetCorrectionMode(kIndexModeParamFile);
    // Without a file nothing of mode 3 is rendered.
    EXPECT_FALSE(index.IsParamFileReady());
    index.SetParamFilePath(first);
    EXPECT_TRUE(index.IsParamFileReady());
    ASSERT_TRUE(WaitCached(index, kIndexModeParamFile));
    index.SetCorrectionMode(0);
    ASSERT_TRUE(WaitCached(index, 0));

    std::vector<std::string> oldFiles;
    std::vector<std::string> keptFiles;
    for (int e = 0; e < 3; ++e)
    {
        oldFiles.push_back(index.Cell(e, kIndexModeParamFile)->CacheFile());
        keptFiles.push_back(index.Cell(e, 0)->CacheFile());
    }
    index.SetParamFilePath(first); // the same path: nothing happens
    for (int e = 0; e < 3; ++e)
        EXPECT_TRUE(index.Cell(e, kIndexModeParamFile)->IsCached());

    index.SetCorrectionMode(kIndexModeParamFile);
    index.SetParamFilePath(second);
    for (int e = 0; e < 3; ++e)
    {
        EXPECT_FALSE(Exists(oldFiles[e])) << oldFiles[e];
        EXPECT_TRUE(Exists(keptFiles[e])) << keptFiles[e];
        EXPECT_TRUE(index.Cell(e, 0)->IsCached());
    }
    // The worker renders the new mode-3 cells again.
    ASSERT_TRUE(WaitCached(index, kIndexModeParamFile));
}

TEST_F(IndexImageTest, StoppingTheWorkerMidWayJoinsAndKeepsNoStrayFile)
{
    AddThree();
    CIndexImage index(*m_project);
    index.SetWorkerPause(0ms);
    ASSERT_TRUE(index.Build());
    // Stop while the first rendering is under way, then again after some.
    index.StopCacheThread();
    EXPECT_FALSE(index.IsCacheThreadRunning());
    index.RestartCacheThread();
    QTest::qWait(20);
    index.StopCacheThread();
    EXPECT_FALSE(index.IsCacheThreadRunning());

    // Every file in the folder belongs to a cached cell.
    int cached = 0;
    for (int e = 0; e < 3; ++e)
        for (int mode = 0; mode < kIndexCorrectionModes; ++mode)
            cached += index.Cell(e, mode)->IsCached() ? 1 : 0;
    QCoreApplication::processEvents();
    EXPECT_EQ(static_cast<int>(CacheFiles().size()), cached);
}

TEST_F(IndexImageTest, AGridChangeKeepsTheImagesOfTheCurrentPageInView)
{
    for (int i = 0; i < 45; ++i)
        AddTiff("g" + std::to_string(i) + ".tif", 50, 50);
    CIndexImage index(*m_project);
    index.SetWorkerPause(1ms);
    ASSERT_TRUE(index.Build());
    index.StopCacheThread();
    ASSERT_TRUE(index.SetGrid(5, 4));
    EXPECT_EQ(index.PageCount(), 3);
    ASSERT_TRUE(index.SetPage(3));

    struct Case
    {
        int columns;
        int rows;
        bool accepted;
        int page;
    };
    const Case steps[] = {
        {2, 2, true, 11}, // cell 40 is on page 11 of 2 x 2
        {0, 2, false, 11},
        {2, 11, false, 11},
        {2, 2, true, 11},
        {10, 10, true, 1},
        {1, 1, true, 1},
    };
    for (const Case& c : steps)
    {
        EXPECT_EQ(index.SetGrid(c.columns, c.rows), c.accepted) << c.columns << "x" << c.rows;
        EXPECT_EQ(index.CurrentPage(), c.page) << c.columns << "x" << c.rows;
    }
    EXPECT_EQ(index.Options.columns, 1);
    EXPECT_EQ(index.PageCount(), 45);
}

TEST_F(IndexImageTest, NothingMarkedGivesNoPagesAndNoWorker)
{
    AddThree();
    for (const std::string& path : m_paths)
        Entry(path).m_check = 0;
    CIndexImage index(*m_project);
    ASSERT_TRUE(index.Build());
    EXPECT_EQ(index.GetPathCount(), 0);
    index.Options.columns = 5;
    index.Options.rows = 4;
    EXPECT_EQ(index.PageCount(), 0);
    EXPECT_FALSE(index.IsCacheThreadRunning());
    EXPECT_FALSE(index.SetPage(1));

    index.SetPageLayout(1000, 1400, 300);
    index.Options.frame = true;
    QImage page(100, 140, QImage::Format_RGB32);
    QPainter painter(&page);
    index.DrawPreviewPage(painter, CRect(0, 0, 100, 140));
    index.DrawCellIfShown(painter, CRect(0, 0, 100, 140), 0);
    painter.end();
    // A grid without cells draws nothing either.
    index.Options.columns = 0;
    EXPECT_EQ(index.PageCount(), 0);
}

TEST_F(IndexImageTest, ARecordWithoutSizeGetsTheSizeOfItsRendering)
{
    AddThree();
    Entry(m_paths[0]).m_width = 0;
    Entry(m_paths[0]).m_height = 0;
    CIndexImage index(*m_project);
    index.SetWorkerPause(1ms);
    ASSERT_TRUE(index.Build());
    EXPECT_EQ(index.Cell(0, 0)->CacheWidth(), 0);
    // Drawn meanwhile: the placeholder fills the cell, nothing divides by 0.
    index.SetPageLayout(1000, 1000, 300);
    QImage page(100, 100, QImage::Format_RGB32);
    {
        QPainter painter(&page);
        index.DrawPreviewPage(painter, CRect(0, 0, 100, 100));
    }
    ASSERT_TRUE(WaitCached(index, 0));
    EXPECT_EQ(index.Cell(0, 0)->CacheWidth(), 80);
    EXPECT_EQ(index.Cell(0, 0)->CacheHeight(), 60);
}

// The preview of a page: placeholders until the cells are cached, then the
// pictures; frames at every position of the grid.
TEST_F(IndexImageTest, PreviewShowsPlaceholdersThenPictures)
{
    AddThree();
    CIndexImage index(*m_project);
    index.SetWorkerPause(1ms);
    index.Options.columns = 2;
    index.Options.rows = 2;
    index.Options.frame = true;
    index.SetPageLayout(800, 600, 300);
    index.StopCacheThread();

    const CRect target(0, 0, 400, 300);
    // Cell 0 is (0, 0, 200, 150); an 80 x 60 picture fills it exactly.
    const QColor frame(128, 128, 128);
    const QColor placeholder(192, 192, 192);
    QImage page(400, 300, QImage::Format_RGB32);
    const auto draw = [&] {
        page.fill(Qt::black);
        QPainter painter(&page);
        index.DrawPreviewPage(painter, target);
    };

    ASSERT_TRUE(index.Build());
    index.StopCacheThread();
    // Draw before anything is cached (the worker stopped straight away).
    bool anyCached = false;
    for (int e = 0; e < 3; ++e)
        anyCached = anyCached || index.Cell(e, 0)->IsCached();
    if (!anyCached)
    {
        draw();
        // The diagonals cross in the middle of the cell.
        int grey = 0;
        for (int y = 73; y <= 77; ++y)
            for (int x = 98; x <= 102; ++x)
                grey += page.pixelColor(x, y) == placeholder ? 1 : 0;
        EXPECT_GT(grey, 0);
        EXPECT_EQ(page.pixelColor(50, 75), QColor(Qt::white));
    }
    index.RestartCacheThread();
    ASSERT_TRUE(WaitCached(index, 0));
    draw();
    // The frame of every position, the empty fourth one too.
    EXPECT_EQ(page.pixelColor(0, 0), frame);
    EXPECT_EQ(page.pixelColor(200, 150), frame);
    EXPECT_EQ(page.pixelColor(399, 299), frame);
    EXPECT_EQ(page.pixelColor(300, 225), QColor(Qt::white)); // nothing at the fourth
    // The gradient: red grows along x, green along y.
    const QColor left = page.pixelColor(20, 75);
    const QColor right = page.pixelColor(180, 75);
    EXPECT_LT(left.red() + 40, right.red());
    EXPECT_NE(page.pixelColor(100, 75), placeholder);

    // A cell redrawn alone lands in the same place.
    QImage again(400, 300, QImage::Format_RGB32);
    again.fill(Qt::black);
    {
        QPainter painter(&again);
        index.DrawCellIfShown(painter, target, 1);
        index.DrawCellIfShown(painter, target, 7); // not on this page: nothing
    }
    EXPECT_EQ(again.pixelColor(300, 75), page.pixelColor(300, 75));
    EXPECT_EQ(again.pixelColor(100, 75), QColor(Qt::black));
}

} // namespace
