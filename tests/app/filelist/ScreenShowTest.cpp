// The full-screen view and the slide show over the real project: generated
// TIFF and JPEG files in the list, a fake panel as host, the window driven
// by its own keys, clicks, timer and control bar (offscreen).

#include "app/filelist/ScreenShow.h"

#include "app/filelist/ImageCache.h"
#include "controls/dialogs/SlideShowDlg.h"
#include "controls/widgets/ImageScreen.h"
#include "core/ImageEx.h"
#include "tests/correction/ProjectTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTest>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using projecttest::ProjectFixture;

// The panel as the controller sees it: the project's list, a selection, a
// monitor rectangle, and the panel's loading of the selected entry.
class FakeHost final : public IScreenShowHost
{
public:
    CProjectManage* ScreenProject() const override { return project; }
    QWidget* ScreenOwner() const override { return owner; }
    std::vector<CImageFileInfo> ScreenEntries() const override
    {
        std::vector<CImageFileInfo> entries;
        for (std::size_t i = 0; project != nullptr && i < project->GetCount(); ++i)
            entries.push_back(project->GetItem(i));
        return entries;
    }
    int ScreenFirstSelectedRow() const override { return selected; }
    bool ScreenEnsureImageLoaded() override
    {
        ++ensureCalls;
        if (project->IsImageReady())
            return true;
        if (selected < 0 || static_cast<std::size_t>(selected) >= project->GetCount())
            return false;
        return project->LoadImage(project->GetItem(static_cast<std::size_t>(selected)), false) ==
               1;
    }
    QRect ScreenMonitorRect() const override { return monitor; }

    CProjectManage* project = nullptr;
    QWidget* owner = nullptr;
    int selected = -1;
    QRect monitor;
    int ensureCalls = 0;
};

// Waits for the cache's worker; the limit only keeps a broken worker from
// hanging the suite.
bool WaitFor(const std::function<bool()>& condition)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// The top-level full-screen windows that exist (closed ones are deleted).
int ScreenWindowCount()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<CImageScreen*>(widget) != nullptr)
            ++count;
    return count;
}

class ScreenShowTest : public ProjectFixture
{
protected:
    ScreenShowTest()
    {
        m_host.project = m_project.get();
        m_host.owner = &m_owner;
        m_owner.resize(200, 100);
    }

    // A JPEG of a gradient added to the list.
    std::string AddJpeg(const std::string& name, int width, int height)
    {
        const std::string path = m_dir.File(name);
        CRGBImage image = projecttest::GradientImage(width, height);
        projecttest::WriteJpeg(path, image, projecttest::SRGBProfileBytes());
        CImageFileInfo entry;
        EXPECT_EQ(entry.ReadInfo(path), 1) << path;
        EXPECT_TRUE(m_project->AddFile(entry, m_project->GetCount())) << path;
        return path;
    }

    // A list entry whose file has been spoilt after it was listed.
    std::string AddUnreadable(const std::string& name)
    {
        const std::string path = AddTiff(name, 64, 64);
        testsupport::WriteTextFile(path, "not a picture any more");
        return path;
    }

    // The list of the slide-show tests: rows 0 .. 4, row 3 unreadable,
    // row 1 wider than the screen.
    void AddShowFiles()
    {
        AddTiff("r0.tif", 120, 80);
        AddTiff("r1.tif", 1000, 300);
        AddJpeg("r2.jpg", 90, 130);
        AddUnreadable("r3.tif");
        AddJpeg("r4.jpg", 100, 70);
    }

    QSize ScreenSize() const { return QGuiApplication::primaryScreen()->geometry().size(); }

    // What the slide show's window shows: the cache's front, by row.
    void ExpectShowing(int row)
    {
        CImageScreen* screen = m_show.GetScreen();
        ASSERT_NE(screen, nullptr);
        EXPECT_EQ(m_show.GetCache().FrontRow(), row);
        EXPECT_EQ(screen->GetImage(), m_show.GetCache().FrontImage());
        EXPECT_NE(screen->GetImage(), nullptr);
    }

    bool CacheHasNext() const { return m_show.GetCache().Size() >= 2; }

    QWidget m_owner;
    FakeHost m_host;
    CScreenShow m_show{m_host};
};

TEST_F(ScreenShowTest, FullScreenWithNoImageAndNoSelectionDoesNothing)
{
    AddTiff("a.tif", 80, 60);
    m_show.OnFullScreen();
    EXPECT_EQ(m_host.ensureCalls, 1);
    EXPECT_FALSE(m_show.IsFullScreenOpen());
    EXPECT_EQ(m_show.GetScreen(), nullptr);
    EXPECT_EQ(m_show.GetDisplayImage(), nullptr);
    EXPECT_TRUE(m_owner.isEnabled());
    EXPECT_EQ(ScreenWindowCount(), 0);
}

TEST_F(ScreenShowTest, SlideShowOfAnEmptyListDoesNothing)
{
    m_show.OnSlideShow();
    EXPECT_FALSE(m_show.IsSlideShowOpen());
    EXPECT_TRUE(m_owner.isEnabled());
    EXPECT_EQ(ScreenWindowCount(), 0);
}

// The selected entry is loaded when the project has no image; the window
// covers the screen with the whole image converted for the monitor, and
// carries the image's name and format texts.
TEST_F(ScreenShowTest, FullScreenShowsTheLoadedImage)
{
    AddTiff("a.tif", 80, 60);
    const std::string path = AddTiff("b.tif", 300, 200);
    m_host.selected = 1;
    m_show.OnFullScreen();
    ASSERT_TRUE(m_show.IsFullScreenOpen());
    CImageScreen* screen = m_show.GetScreen();
    ASSERT_NE(screen, nullptr);
    EXPECT_TRUE(screen->isVisible());
    EXPECT_FALSE(m_owner.isEnabled());
    EXPECT_EQ(screen->notifyMessage(), UWM_IMAGESCREEN_NOTIFY);
    EXPECT_EQ(m_project->GetCurrentRecord().m_path, path);

    const CImageEx* shown = screen->GetImage();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown, m_show.GetDisplayImage());
    EXPECT_EQ(shown->GetWidth(), 300);
    EXPECT_EQ(shown->GetHeight(), 200);
    const std::unique_ptr<CImageEx> expected = m_project->MakeDisplayImage();
    ASSERT_NE(expected, nullptr);
    EXPECT_EQ(std::memcmp(shown->GetBits(), expected->GetBits(),
                          static_cast<std::size_t>(shown->GetPitch()) * shown->GetHeight()),
              0);

    std::string name;
    std::string format;
    m_project->GetImageName(name);
    m_project->GetImageFormatText(format);
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(screen->m_strImageName.toStdString(), name);
    EXPECT_EQ(screen->m_strImageFormat.toStdString(), format);
    EXPECT_TRUE(screen->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

// The window lies over the screen of the main window's monitor; with no
// monitor (an empty rectangle), or one on no screen, the primary screen.
TEST_F(ScreenShowTest, WindowCoversTheScreenOfTheMonitor)
{
    const QRect primary = QGuiApplication::primaryScreen()->geometry();
    const QRect monitors[] = {
        QRect(),
        QRect(primary.topLeft(), QSize(0, 0)),
        QRect(primary.left() + 10, primary.top() + 10, 200, 100),
        QRect(-40000, -40000, 640, 480),
    };
    Load(AddTiff("a.tif", 80, 60));
    for (const QRect& monitor : monitors)
    {
        SCOPED_TRACE(::testing::Message() << monitor.x() << "," << monitor.y() << " "
                                          << monitor.width() << "x" << monitor.height());
        m_host.monitor = monitor;
        m_show.OnFullScreen();
        ASSERT_NE(m_show.GetScreen(), nullptr);
        EXPECT_EQ(m_show.GetScreen()->geometry(), primary);
        EXPECT_EQ(m_show.GetScreen()->screen(), QGuiApplication::primaryScreen());
        QTest::keyClick(m_show.GetScreen(), Qt::Key_Escape);
        QCoreApplication::processEvents();
        EXPECT_FALSE(m_show.IsFullScreenOpen());
    }
}

// Codes 0..2 close the full screen view: the owner is enabled again, the
// window deleted, the image freed. Larger codes are ignored.
TEST_F(ScreenShowTest, CloseCodesReEnableTheOwner)
{
    Load(AddTiff("a.tif", 80, 60));
    const std::vector<std::pair<const char*, std::function<void(CImageScreen&)>>> closers = {
        {"click", [](CImageScreen& s) { QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(5, 5)); }},
        {"Enter", [](CImageScreen& s) { QTest::keyClick(&s, Qt::Key_Return); }},
        {"Esc", [](CImageScreen& s) { QTest::keyClick(&s, Qt::Key_Escape); }},
    };
    for (const auto& [what, close] : closers)
    {
        SCOPED_TRACE(what);
        m_show.OnFullScreen();
        ASSERT_TRUE(m_show.IsFullScreenOpen());
        QPointer<CImageScreen> screen = m_show.GetScreen();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(screen.data()));
        EXPECT_FALSE(m_owner.isEnabled());

        // The slide show's "next" (code 3) means nothing here.
        screen->OnSlideShowCommand(CSlideShowDlg::kNext);
        EXPECT_TRUE(m_show.IsFullScreenOpen());

        close(*screen);
        // Posted: nothing happens until the event loop delivers it.
        EXPECT_TRUE(m_show.IsFullScreenOpen());
        QCoreApplication::processEvents();
        EXPECT_FALSE(m_show.IsFullScreenOpen());
        EXPECT_TRUE(m_owner.isEnabled());
        EXPECT_EQ(m_show.GetScreen(), nullptr);
        EXPECT_EQ(m_show.GetDisplayImage(), nullptr);
        EXPECT_EQ(ScreenWindowCount(), 0);
        EXPECT_TRUE(screen.isNull());
    }

    // Two closes in a row: the second arrives from a window already gone.
    m_show.OnFullScreen();
    QPointer<CImageScreen> screen = m_show.GetScreen();
    ASSERT_NE(screen, nullptr);
    QTest::keyClick(screen.data(), Qt::Key_Escape);
    QTest::keyClick(screen.data(), Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_FALSE(m_show.IsFullScreenOpen());
    EXPECT_TRUE(m_owner.isEnabled());
    // A view opened afterwards stays open.
    m_show.OnFullScreen();
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_show.IsFullScreenOpen());
    EXPECT_TRUE(screen.isNull() || screen.data() != m_show.GetScreen());
}

// A new monitor profile: the full screen view's image is made again.
TEST_F(ScreenShowTest, RefreshRemakesTheFullScreenImage)
{
    Load(AddTiff("a.tif", 80, 60));
    m_show.OnFullScreen();
    ASSERT_TRUE(m_show.IsFullScreenOpen());
    const CImageEx* before = m_show.GetDisplayImage();
    m_show.RefreshScreenImage();
    ASSERT_NE(m_show.GetDisplayImage(), nullptr);
    EXPECT_NE(m_show.GetDisplayImage(), before);
    EXPECT_EQ(m_show.GetScreen()->GetImage(), m_show.GetDisplayImage());
}

// The show from the selected row over the list: the worker fills at most
// ten records of screen-sized images, skipping the unreadable entry; the
// timer, a click and Enter step on, wrapping from the last row to the
// first; "previous" from the first row goes to the last, skipping the
// unreadable one on the way back; Esc closes.
TEST_F(ScreenShowTest, SlideShowStepsThroughTheList)
{
    AddShowFiles();
    m_host.selected = 4;
    m_show.OnSlideShow();
    ASSERT_TRUE(m_show.IsSlideShowOpen());
    CImageScreen* screen = m_show.GetScreen();
    ASSERT_NE(screen, nullptr);
    EXPECT_TRUE(screen->isVisible());
    EXPECT_FALSE(m_owner.isEnabled());
    EXPECT_EQ(screen->notifyMessage(), UWM_SLIDESHOW_NOTIFY);
    EXPECT_TRUE(screen->IsSlideTimerRunning());
    ExpectShowing(4);

    const CImageCache& cache = m_show.GetCache();
    ASSERT_TRUE(WaitFor([&] { return cache.Size() == CImageCache::kMaxRecords; }));
    EXPECT_EQ(cache.Rows(), (std::vector<int>{4, 0, 1, 2, 4, 0, 1, 2, 4, 0}));
    EXPECT_TRUE(cache.HasFailed(3));
    int width = 0;
    int height = 0;
    cache.GetLargestImageSize(width, height);
    EXPECT_LE(width, ScreenSize().width());
    EXPECT_LE(height, ScreenSize().height());

    // Timer 501, a click, Enter: each shows the next row.
    struct Step
    {
        const char* what;
        std::function<void()> act;
        int expectRow;
    };
    const Step steps[] = {
        {"timer", [&] { screen->OnTimer(CImageScreen::kSlideTimer); }, 0},
        {"click", [&] { QTest::mouseClick(screen, Qt::LeftButton, {}, QPoint(3, 3)); }, 1},
        {"Enter", [&] { QTest::keyClick(screen, Qt::Key_Enter); }, 2},
        {"bar next", [&] { screen->OnSlideShowCommand(CSlideShowDlg::kNext); }, 4},
    };
    for (const Step& step : steps)
    {
        SCOPED_TRACE(step.what);
        ASSERT_TRUE(WaitFor([&] { return CacheHasNext(); }));
        step.act();
        QCoreApplication::processEvents();
        ExpectShowing(step.expectRow);
        EXPECT_TRUE(screen->IsSlideTimerRunning());
    }
    // "Previous" from row 4 passes the unreadable row 3 by; from row 0 it
    // goes to the last row.
    const int previousRows[] = {2, 1, 0, 4, 2};
    for (int expected : previousRows)
    {
        screen->OnSlideShowCommand(CSlideShowDlg::kPrevious);
        ExpectShowing(expected);
        EXPECT_TRUE(screen->IsSlideTimerRunning());
        EXPECT_TRUE(cache.IsRunning());
    }

    QPointer<CImageScreen> closing(screen);
    QTest::keyClick(screen, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_FALSE(m_show.IsSlideShowOpen());
    EXPECT_TRUE(m_owner.isEnabled());
    EXPECT_EQ(m_show.GetScreen(), nullptr);
    EXPECT_FALSE(cache.IsRunning());
    EXPECT_EQ(cache.Size(), 0u);
    EXPECT_EQ(ScreenWindowCount(), 0);
    EXPECT_TRUE(closing.isNull());
}

// Images wider than the screen are stored reduced to it, aspect kept.
TEST_F(ScreenShowTest, CachedImagesAreScreenSized)
{
    const QSize screenSize = ScreenSize();
    AddTiff("wide.tif", screenSize.width() * 2, screenSize.height() / 2);
    AddJpeg("tall.jpg", screenSize.width() / 2, screenSize.height() + 40);
    m_show.OnSlideShow();
    ASSERT_TRUE(m_show.IsSlideShowOpen());
    const CImageCache& cache = m_show.GetCache();
    ASSERT_TRUE(WaitFor([&] { return cache.Size() == CImageCache::kMaxRecords; }));

    ExpectShowing(0);
    const CImageEx* wide = m_show.GetScreen()->GetImage();
    EXPECT_EQ(wide->GetWidth(), screenSize.width());
    EXPECT_EQ(wide->GetHeight(), screenSize.height() / 4);

    m_show.GetScreen()->OnTimer(CImageScreen::kSlideTimer);
    ExpectShowing(1);
    const CImageEx* tall = m_show.GetScreen()->GetImage();
    EXPECT_EQ(tall->GetHeight(), screenSize.height());
    EXPECT_LE(tall->GetWidth(), screenSize.width() / 2);

    int width = 0;
    int height = 0;
    cache.GetLargestImageSize(width, height);
    EXPECT_EQ(width, screenSize.width());
    EXPECT_EQ(height, screenSize.height());
}

// "Next" while only the image on screen is cached does nothing; the
// paused worker adds nothing until the pause ends.
TEST_F(ScreenShowTest, NextWaitsForTheWorker)
{
    AddShowFiles();
    m_show.SetPaused(true);
    m_show.OnSlideShow();
    ASSERT_TRUE(m_show.IsSlideShowOpen());
    CImageScreen* screen = m_show.GetScreen();
    ExpectShowing(0);
    const CImageEx* first = screen->GetImage();

    screen->OnTimer(CImageScreen::kSlideTimer);
    QTest::keyClick(screen, Qt::Key_Return);
    QCoreApplication::processEvents();
    ExpectShowing(0);
    EXPECT_EQ(screen->GetImage(), first);
    EXPECT_EQ(m_show.GetCache().Size(), 1u);

    m_show.SetPaused(false);
    ASSERT_TRUE(WaitFor([&] { return CacheHasNext(); }));
    screen->OnTimer(CImageScreen::kSlideTimer);
    ExpectShowing(1);

    // The bar's close (code 5) ends the show.
    screen->OnSlideShowCommand(CSlideShowDlg::kClose);
    QCoreApplication::processEvents();
    EXPECT_FALSE(m_show.IsSlideShowOpen());
    EXPECT_TRUE(m_owner.isEnabled());
    EXPECT_EQ(ScreenWindowCount(), 0);
}

// A new monitor profile during the show: the cache is emptied and made
// again from the row on screen, and the worker goes on from there.
TEST_F(ScreenShowTest, RefreshRebuildsTheSlideShowCache)
{
    AddShowFiles();
    m_host.selected = 2;
    m_show.OnSlideShow();
    const CImageCache& cache = m_show.GetCache();
    ASSERT_TRUE(WaitFor([&] { return CacheHasNext(); }));
    m_show.GetScreen()->OnTimer(CImageScreen::kSlideTimer);
    ExpectShowing(4);

    m_show.SetPaused(true);
    m_show.RefreshScreenImage();
    ExpectShowing(4);
    EXPECT_EQ(cache.Rows(), std::vector<int>{4});
    EXPECT_TRUE(cache.IsRunning());
    EXPECT_TRUE(m_show.GetScreen()->IsSlideTimerRunning());

    m_show.SetPaused(false);
    ASSERT_TRUE(WaitFor([&] { return cache.Size() == CImageCache::kMaxRecords; }));
    EXPECT_EQ(cache.Rows(), (std::vector<int>{4, 0, 1, 2, 4, 0, 1, 2, 4, 0}));
}

// The controller goes while a show is open: the owner is enabled, the
// window and the worker gone.
TEST_F(ScreenShowTest, DestroyedWhileTheSlideShowRuns)
{
    AddShowFiles();
    QPointer<CImageScreen> screen;
    {
        CScreenShow show(m_host);
        show.OnSlideShow();
        screen = show.GetScreen();
        ASSERT_FALSE(screen.isNull());
        EXPECT_FALSE(m_owner.isEnabled());
    }
    EXPECT_TRUE(screen.isNull());
    EXPECT_TRUE(m_owner.isEnabled());
}

} // namespace
