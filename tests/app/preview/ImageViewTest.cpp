// The image view over the real project: generated TIFF files loaded with
// sRGB profiles, the preview refined tile by tile on a virtual clock
// (coarse, then the visible tiles at full resolution, then those out of
// sight), the painted pixels against the project's own conversion, the
// mouse (picks, the drag item, pans with the space bar), the wheel, and the
// view keeping its hands off the project while it is busy or while events
// are pumped.

#include "app/preview/ImageView.h"
#include "app/preview/BaseDragItem.h"
#include "app/shell/KeyState.h"
#include "app/shell/ProgressAdapters.h"
#include "controls/support/EventPump.h"
#include "controls/support/ResourceImages.h"
#include "core/ImageAccess.h"
#include "core/ImageEx.h"
#include "platform/Clock.h"
#include "tests/controls/NotifySpy.h"
#include "tests/correction/ProjectTestSupport.h"
#include "tests/support/TestImages.h"
#include "tests/support/TestProfiles.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using projecttest::ProjectFixture;

constexpr int kMessage = UWM_IMAGEVIEW_NOTIFY;
const QRgb kOutside = qRgb(192, 192, 192);
const QRgb kFrame = qRgb(128, 128, 128);
const QRgb kWhite = qRgb(255, 255, 255);

class FakeKeys final : public IKeyState
{
public:
    bool spaceBarDown() const override { return space; }
    bool space = false;
};

// A clock on which every reading takes `step` milliseconds: a tick's
// budget runs out after a known number of tiles.
class SteppingClock final : public platform::Clock
{
public:
    explicit SteppingClock(std::int64_t step) : m_step(step) {}
    std::int64_t NowMs() override
    {
        m_clock.Advance(m_step);
        return m_clock.NowMs();
    }
    void SleepMs(std::int64_t ms) override { m_clock.SleepMs(ms); }

private:
    platform::VirtualClock m_clock;
    std::int64_t m_step;
};

// A drag item with one handle, hit within 2 x scale image pixels.
class FakeDragItem final : public CBaseDragItem
{
public:
    struct Call
    {
        std::string what;
        CPoint point;
        int scale = 0;
        CRect screen;
        CRect image;
        bool operator==(const Call&) const = default;
    };

    bool HitTest(const CPoint& p, int scale) override
    {
        calls.push_back({"hit", p, scale, {}, {}});
        return std::abs(p.x - handle.x) <= 2 * scale && std::abs(p.y - handle.y) <= 2 * scale;
    }
    void BeginDrag(const CPoint& p, const CRect& screen, const CRect& image) override
    {
        m_dragging = 1;
        calls.push_back({"begin", p, 0, screen, image});
    }
    void Drag(const CPoint& p, const CRect& screen, const CRect& image) override
    {
        calls.push_back({"drag", p, 0, screen, image});
    }
    void EndDrag(const CPoint& p) override
    {
        m_dragging = 0;
        calls.push_back({"end", p, 0, {}, {}});
    }
    int GetCursorId() const override { return kCursorDragItem; }
    void Draw(QPainter&, const CRect& screen, const CRect& image) const override
    {
        draws.push_back({"draw", {}, 0, screen, image});
    }

    // The calls other than hit tests.
    std::vector<Call> Actions() const
    {
        std::vector<Call> out;
        for (const Call& c : calls)
            if (c.what != "hit")
                out.push_back(c);
        return out;
    }

    CPoint handle{100, 50};
    std::vector<Call> calls;
    mutable std::vector<Call> draws;
};

std::ostream& operator<<(std::ostream& out, const FakeDragItem::Call& c)
{
    return out << c.what << " (" << c.point.x << "," << c.point.y << ") scale " << c.scale
               << " screen (" << c.screen.left << "," << c.screen.top << "," << c.screen.right
               << "," << c.screen.bottom << ") image (" << c.image.left << "," << c.image.top << ","
               << c.image.right << "," << c.image.bottom << ")";
}

// Single pixels alternating: even (x + y) black, odd mid-grey. A coarse
// rendering samples one pixel of each 4 x 4 block (an even one), so a
// tile's second pixel tells apart white (not rendered), black (coarse) and
// grey (full resolution).
CRGBImage Checkerboard(int width, int height)
{
    CRGBImage image(width, height);
    RGB16* p = image.Lock();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p[static_cast<std::size_t>(y) * width + x] =
                (x + y) % 2 == 0 ? RGB16{0, 0, 0} : RGB16{32768, 32768, 32768};
    image.Unlock();
    return image;
}

QRgb PixelOf(const CImageEx& image, int x, int y)
{
    const std::uint8_t* p = image.GetPixelAddress(x, y);
    return qRgb(p[2], p[1], p[0]);
}

enum class TileState
{
    None,
    Coarse,
    Full
};

bool SameCursor(const QWidget* widget, int id)
{
    return widget->testAttribute(Qt::WA_SetCursor) &&
           widget->cursor().pixmap().toImage() == LoadCursorResource(id).pixmap().toImage();
}

class ImageViewTest : public ProjectFixture
{
protected:
    ImageViewTest()
    {
        view.resize(640, 320);
        view.SetProject(m_project.get());
        m_project->SetImageView(&view);
        view.SetClock(&clock);
        view.SetKeyState(&keys);
        view.setNotifyMessage(kMessage);
        // The tests step the refinement themselves.
        view.findChild<QTimer*>(QString::number(CImageView::kRefineTimer))->stop();
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    ~ImageViewTest() override
    {
        m_project->SetImageView(nullptr);
        view.SetDragItem(nullptr);
    }

    // Writes the image as a 16-bit TIFF with the sRGB profile embedded,
    // lists it and loads it.
    void LoadPicture(CRGBImage image, const std::string& name = "picture.tif")
    {
        const std::string path = m_dir.File(name);
        projecttest::WriteTiff16(path, image, projecttest::SRGBProfileBytes());
        CImageFileInfo entry;
        ASSERT_EQ(entry.ReadInfo(path), 1);
        ASSERT_TRUE(m_project->AddFile(entry, m_project->GetCount()));
        Load(path);
        ASSERT_TRUE(m_project->IsImageReady());
    }

    // Steps until refined; the number of steps (the test fails past 1000).
    int RefineAll()
    {
        for (int steps = 0; steps < 1000; ++steps)
        {
            if (view.IsRefined())
                return steps;
            view.StepRefinement();
        }
        ADD_FAILURE() << "never refined";
        return -1;
    }

    QImage Shown()
    {
        return view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    const CImageEx& AfterPreview()
    {
        static const CImageEx none;
        const CImageEx* preview = m_project->GetAfterPreview();
        EXPECT_NE(preview, nullptr);
        return preview != nullptr ? *preview : none;
    }

    // What the checkerboard's tile at (left, top) of the preview shows.
    TileState StateAt(const CImageEx& preview, int left, int top)
    {
        const QRgb p = PixelOf(preview, left + 1, top);
        if (p == kWhite)
            return TileState::None;
        return qRed(p) == 0 ? TileState::Coarse : TileState::Full;
    }

    void Send(QEvent::Type type, QPoint point, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        QMouseEvent event(type, QPointF(point), QPointF(view.viewport()->mapToGlobal(point)),
                          button, buttons, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &event);
    }
    void Press(QPoint p) { Send(QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton); }
    void DragTo(QPoint p) { Send(QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton); }
    void Hover(QPoint p) { Send(QEvent::MouseMove, p, Qt::NoButton, Qt::NoButton); }
    void Release(QPoint p) { Send(QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton); }

    platform::VirtualClock clock;
    FakeKeys keys;
    CImageView view;
};

// ---- Layout -------------------------------------------------------------------

TEST_F(ImageViewTest, LaysTheImageOutFittedOrZoomed)
{
    // Before an image: nothing to lay out.
    EXPECT_TRUE(view.GetImageRect().IsRectEmpty());
    LoadPicture(projecttest::GradientImage(600, 300));

    // Fitted into 640 x 320 (aspect 2): all of it.
    EXPECT_EQ(view.GetImageRect(), CRect(0, 0, 640, 320));
    view.SetZoom(1.0);
    EXPECT_EQ(view.GetImageRect(), CRect(20, 10, 620, 310));
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), 0);

    // Four times: larger than the pane, scroll bars over the rest.
    view.SetZoom(4.0);
    EXPECT_EQ(view.GetImageRect(), CRect(0, 0, 2400, 1200));
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), 2400 - view.viewport()->width());
    EXPECT_EQ(view.verticalScrollBar()->maximum(), 1200 - view.viewport()->height());
    EXPECT_TRUE(view.verticalScrollBar()->isVisible());
    EXPECT_EQ(view.viewport()->width(), 640 - view.verticalScrollBar()->width());

    // Back to fitting: the bars go and the pane is whole again.
    view.SetZoom(0.0);
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(view.viewport()->size(), QSize(640, 320));
    EXPECT_EQ(view.GetImageRect(), CRect(0, 0, 640, 320));
}

TEST_F(ImageViewTest, AFittedImageIsPreparedAgainOnlyOnceTheSizeSettles)
{
    LoadPicture(projecttest::GradientImage(600, 300));
    EXPECT_EQ(AfterPreview().GetWidth(), 600);
    RefineAll();
    QTimer* settle = view.findChild<QTimer*>(QString::number(CImageView::kResizeTimer));
    ASSERT_NE(settle, nullptr);

    view.resize(320, 200);
    // Laid out at once, prepared later.
    EXPECT_EQ(view.GetImageRect(), CRect(0, 20, 320, 180));
    EXPECT_TRUE(settle->isActive());
    EXPECT_EQ(AfterPreview().GetWidth(), 600);
    EXPECT_TRUE(view.IsRefined());

    settle->setInterval(0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !settle->isActive(); }));
    EXPECT_EQ(AfterPreview().GetWidth(), 320);
    EXPECT_EQ(AfterPreview().GetHeight(), 160);
    EXPECT_FALSE(view.IsRefined());

    // A zoomed image is laid out at once and nothing waits.
    view.SetZoom(0.5);
    view.resize(400, 300);
    EXPECT_FALSE(settle->isActive());
    EXPECT_EQ(view.GetImageRect(), CRect(50, 75, 350, 225));
}

// ---- Refinement -----------------------------------------------------------------

TEST_F(ImageViewTest, RefinesCoarseThenFullIncludingThePartialLastTile)
{
    LoadPicture(Checkerboard(600, 300));
    view.SetZoom(1.0);
    // 600 x 300 in tiles of 256: three columns, two rows, the last ones
    // partial (88 and 44 pixels).
    const std::vector<QPoint> tiles = {{0, 0},   {256, 0},   {512, 0},
                                       {0, 256}, {256, 256}, {512, 256}};
    for (const QPoint& t : tiles)
        EXPECT_EQ(StateAt(AfterPreview(), t.x(), t.y()), TileState::None) << t.x() << "," << t.y();
    EXPECT_FALSE(view.IsRefined());

    // The clock stands still: one tick does a whole pass.
    EXPECT_TRUE(view.StepRefinement());
    for (const QPoint& t : tiles)
        EXPECT_EQ(StateAt(AfterPreview(), t.x(), t.y()), TileState::Coarse)
            << t.x() << "," << t.y();
    EXPECT_FALSE(view.IsRefined());

    EXPECT_TRUE(view.StepRefinement());
    for (const QPoint& t : tiles)
        EXPECT_EQ(StateAt(AfterPreview(), t.x(), t.y()), TileState::Full) << t.x() << "," << t.y();
    EXPECT_TRUE(view.IsRefined());
    // The last pixel of the partial corner tile.
    EXPECT_EQ(PixelOf(AfterPreview(), 599, 299), PixelOf(AfterPreview(), 0, 0));
    EXPECT_EQ(PixelOf(AfterPreview(), 599, 298), PixelOf(AfterPreview(), 1, 0));

    EXPECT_FALSE(view.StepRefinement()); // nothing left
}

TEST_F(ImageViewTest, EachTickRendersUntilItsTimeIsUsed)
{
    // Every clock reading takes 15 ms: a tick of 30 ms renders 2 tiles (a
    // third would end it at 45 ms).
    static_assert(CImageView::kTickBudgetMs == 30);
    SteppingClock slow(15);
    view.SetClock(&slow);
    view.resize(1300, 540);
    LoadPicture(Checkerboard(1280, 512));
    view.SetZoom(1.0);
    std::vector<QPoint> tiles;
    for (int top = 0; top < 512; top += 256)
        for (int left = 0; left < 1280; left += 256)
            tiles.emplace_back(left, top);
    ASSERT_EQ(tiles.size(), 10u);

    std::vector<TileState> before(tiles.size(), TileState::None);
    int ticks = 0;
    while (!view.IsRefined() && ticks < 100)
    {
        ASSERT_TRUE(view.StepRefinement());
        ++ticks;
        std::vector<TileState> after;
        for (const QPoint& t : tiles)
            after.push_back(StateAt(AfterPreview(), t.x(), t.y()));
        int changed = 0;
        for (std::size_t i = 0; i < tiles.size(); ++i)
            changed += after[i] != before[i] ? 1 : 0;
        EXPECT_GE(changed, 1) << "tick " << ticks;
        EXPECT_LE(changed, 2) << "tick " << ticks;
        // No tile at full resolution while another still shows nothing.
        const bool anyFull = std::count(after.begin(), after.end(), TileState::Full) > 0;
        const bool anyNone = std::count(after.begin(), after.end(), TileState::None) > 0;
        EXPECT_FALSE(anyFull && anyNone) << "tick " << ticks;
        before = after;
    }
    EXPECT_EQ(ticks, 10); // 5 coarse, 5 full, 2 tiles each
    EXPECT_EQ(std::count(before.begin(), before.end(), TileState::Full), 10);
}

TEST_F(ImageViewTest, TilesOutOfSightComeLastAndScrollingFindsThemDone)
{
    LoadPicture(Checkerboard(1200, 600));
    view.SetZoom(1.0); // scroll bars; the first three columns and two rows show
    const QPoint hidden(768, 0);
    const QPoint shown(256, 256);

    EXPECT_TRUE(view.StepRefinement()); // coarse, visible only
    EXPECT_EQ(StateAt(AfterPreview(), shown.x(), shown.y()), TileState::Coarse);
    EXPECT_EQ(StateAt(AfterPreview(), hidden.x(), hidden.y()), TileState::None);
    EXPECT_TRUE(view.StepRefinement()); // full, visible only
    EXPECT_EQ(StateAt(AfterPreview(), shown.x(), shown.y()), TileState::Full);
    EXPECT_EQ(StateAt(AfterPreview(), hidden.x(), hidden.y()), TileState::None);
    EXPECT_FALSE(view.IsRefined());
    EXPECT_TRUE(view.StepRefinement()); // out of sight, never coarse
    EXPECT_EQ(StateAt(AfterPreview(), hidden.x(), hidden.y()), TileState::Full);
    EXPECT_TRUE(view.IsRefined());

    view.horizontalScrollBar()->setValue(view.horizontalScrollBar()->maximum());
    EXPECT_FALSE(view.StepRefinement());
    const QImage shownNow = Shown();
    const int x = 1199 - view.horizontalScrollBar()->value();
    EXPECT_EQ(shownNow.pixel(x, 1), PixelOf(AfterPreview(), 1199, 1));
}

TEST_F(ImageViewTest, RebuildingTilesKeepsThePictureWhileTheFullPassRedraws)
{
    LoadPicture(Checkerboard(600, 300));
    view.SetZoom(1.0);
    RefineAll();
    view.RebuildTiles();
    EXPECT_FALSE(view.IsRefined());
    EXPECT_TRUE(view.StepRefinement());
    // Straight to full resolution: the picture never turned coarse.
    EXPECT_EQ(StateAt(AfterPreview(), 256, 0), TileState::Full);
    EXPECT_TRUE(view.IsRefined());

    // The before preview has tiles of its own, which rebuilding the after
    // tiles leaves alone.
    m_project->SetCompareMode(kCompareBefore);
    ASSERT_NE(m_project->GetBeforePreview(), nullptr);
    EXPECT_FALSE(view.IsRefined());
    view.RebuildTiles();
    RefineAll();
    const std::unique_ptr<CImageEx> display = m_project->MakeDisplayImage();
    ASSERT_NE(display, nullptr);
    for (const QPoint p : {QPoint(0, 0), QPoint(1, 0), QPoint(599, 299), QPoint(300, 151)})
        EXPECT_EQ(PixelOf(*m_project->GetBeforePreview(), p.x(), p.y()),
                  PixelOf(*display, p.x(), p.y()));
}

TEST_F(ImageViewTest, NothingIsRenderedOrPaintedWhileTheProjectIsBusy)
{
    LoadPicture(projecttest::GradientImage(600, 300));
    FakeDragItem item;
    view.SetDragItem(&item);
    view.viewport()->repaint();
    EXPECT_FALSE(item.draws.empty());

    m_project->BeginBatch();
    item.draws.clear();
    EXPECT_FALSE(view.StepRefinement());
    view.viewport()->repaint();
    EXPECT_TRUE(item.draws.empty());
    EXPECT_FALSE(view.IsRefined());

    m_project->EndBatch(); // the view is updated
    EXPECT_FALSE(item.draws.empty());
    EXPECT_TRUE(view.StepRefinement());
}

TEST_F(ImageViewTest, NothingIsRenderedOrPaintedWhileEventsArePumped)
{
    LoadPicture(projecttest::GradientImage(600, 300));
    FakeDragItem item;
    view.SetDragItem(&item);

    bool guarded = false;
    bool stepped = true;
    std::size_t draws = 99;
    QTimer::singleShot(0, &view, [&] {
        guarded = IsPumpingEvents();
        item.draws.clear();
        view.viewport()->repaint();
        draws = item.draws.size();
        stepped = view.StepRefinement();
    });
    PumpMessages();
    EXPECT_TRUE(guarded);
    EXPECT_EQ(draws, 0u);
    EXPECT_FALSE(stepped);
    EXPECT_FALSE(IsPumpingEvents());

    EXPECT_TRUE(view.StepRefinement());
    view.viewport()->repaint();
    EXPECT_FALSE(item.draws.empty());
}

TEST_F(ImageViewTest, NoClientAreaRendersNothingAndDividesByNothing)
{
    LoadPicture(projecttest::GradientImage(600, 300));
    RefineAll();
    view.resize(0, 320);
    EXPECT_TRUE(view.UpdateImage(true));
    EXPECT_TRUE(view.GetImageRect().IsRectEmpty());
    EXPECT_FALSE(view.StepRefinement());
    EXPECT_TRUE(view.IsRefined());
    view.RebuildTiles();
    view.Relayout();
    EXPECT_FALSE(view.StepRefinement());
}

// ---- Painting --------------------------------------------------------------------

TEST_F(ImageViewTest, PaintsTheProjectsConversionWithGreyAround)
{
    LoadPicture(projecttest::GradientImage(600, 300));
    view.SetZoom(1.0);
    RefineAll();
    const std::unique_ptr<CImageEx> display = m_project->MakeDisplayImage();
    ASSERT_NE(display, nullptr);
    const QImage shown = Shown();
    for (const QPoint p : {QPoint(0, 0), QPoint(1, 0), QPoint(255, 255), QPoint(256, 256),
                           QPoint(599, 299), QPoint(300, 150), QPoint(598, 3)})
        EXPECT_EQ(shown.pixel(20 + p.x(), 10 + p.y()), PixelOf(*display, p.x(), p.y()))
            << p.x() << "," << p.y();
    for (const QPoint p : {QPoint(0, 0), QPoint(639, 319), QPoint(19, 150), QPoint(620, 150),
                           QPoint(300, 9), QPoint(300, 310)})
        EXPECT_EQ(shown.pixel(p), kOutside) << p.x() << "," << p.y();
}

TEST_F(ImageViewTest, AReducedImageShowsItsPreviewPixelForPixel)
{
    view.resize(320, 200);
    LoadPicture(projecttest::GradientImage(600, 300));
    ASSERT_EQ(view.GetImageRect(), CRect(0, 20, 320, 180));
    RefineAll();
    const CImageEx& preview = AfterPreview();
    ASSERT_EQ(preview.GetWidth(), 320);
    const QImage shown = Shown();
    for (const QPoint p : {QPoint(0, 0), QPoint(319, 159), QPoint(100, 80), QPoint(257, 1)})
        EXPECT_EQ(shown.pixel(p.x(), 20 + p.y()), PixelOf(preview, p.x(), p.y()))
            << p.x() << "," << p.y();
    EXPECT_EQ(shown.pixel(5, 19), kOutside);
    EXPECT_EQ(shown.pixel(5, 180), kOutside);
}

TEST_F(ImageViewTest, WithoutAnImageTheViewIsGreyInAFrame)
{
    const QImage shown = Shown();
    EXPECT_EQ(shown.pixel(0, 0), kFrame);
    EXPECT_EQ(shown.pixel(639, 319), kFrame);
    EXPECT_EQ(shown.pixel(320, 0), kFrame);
    EXPECT_EQ(shown.pixel(1, 1), kOutside);
    EXPECT_EQ(shown.pixel(320, 160), kOutside);
    EXPECT_FALSE(view.StepRefinement());
}

TEST_F(ImageViewTest, TheSmallestImageFillsItsRectangle)
{
    // 50 x 50, the least the probe accepts: one tile, no coarse pass, each
    // pixel 6.4 screen pixels wide.
    LoadPicture(projecttest::GradientImage(50, 50));
    EXPECT_EQ(view.GetImageRect(), CRect(160, 0, 480, 320));
    EXPECT_EQ(RefineAll(), 1);
    const std::unique_ptr<CImageEx> display = m_project->MakeDisplayImage();
    ASSERT_NE(display, nullptr);
    const QImage shown = Shown();
    EXPECT_EQ(shown.pixel(160, 0), PixelOf(*display, 0, 0));
    EXPECT_EQ(shown.pixel(479, 319), PixelOf(*display, 49, 49));
    // Well inside the first and second pixels (the stretch's rounding at
    // their borders is Qt's).
    EXPECT_EQ(shown.pixel(163, 3), PixelOf(*display, 0, 0));
    EXPECT_EQ(shown.pixel(170, 10), PixelOf(*display, 1, 1));
    EXPECT_EQ(shown.pixel(159, 0), kOutside);
    EXPECT_EQ(shown.pixel(480, 319), kOutside);

    QSignalSpy spy(&view, &CImageView::notify);
    Press(QPoint(479, 319));
    Release(QPoint(479, 319));
    EXPECT_EQ(Notifications(spy), (std::vector<Notification>{{kMessage, CImageView::kPressed, 0}}));
    EXPECT_LT(view.GetLastPressedPoint().x, 1.0);
    EXPECT_LT(view.GetLastPressedPoint().y, 1.0);
    EXPECT_EQ(static_cast<int>(50 * view.GetLastPressedPoint().x), 49);
}

// ---- Mouse ---------------------------------------------------------------------------

TEST_F(ImageViewTest, PressesOnTheImageAndMovesNotifyTheFrame)
{
    LoadPicture(projecttest::GradientImage(600, 300));
    view.SetZoom(1.0); // the image at (20, 10) - (620, 310)
    QSignalSpy spy(&view, &CImageView::notify);

    struct Case
    {
        QPoint point;
        bool notified;
        CPoint pixel; // trunc(W x rx), trunc(H x ry)
    };
    const std::vector<Case> presses = {
        {QPoint(619, 309), true, {599, 299}}, // the last pixel
        {QPoint(20, 10), true, {0, 0}},       {QPoint(320, 160), true, {300, 150}},
        {QPoint(620, 309), false, {}}, // just right of it
        {QPoint(19, 10), false, {}},          {QPoint(100, 9), false, {}},
    };
    for (const Case& c : presses)
    {
        spy.clear();
        Press(c.point);
        Release(c.point);
        if (!c.notified)
        {
            EXPECT_TRUE(spy.isEmpty()) << c.point.x() << "," << c.point.y();
            continue;
        }
        // Once, for the press only.
        EXPECT_EQ(Notifications(spy),
                  (std::vector<Notification>{{kMessage, CImageView::kPressed, 0}}))
            << c.point.x() << "," << c.point.y();
        const CPointD r = view.GetLastPressedPoint();
        EXPECT_GE(r.x, 0.0);
        EXPECT_LT(r.x, 1.0);
        EXPECT_GE(r.y, 0.0);
        EXPECT_LT(r.y, 1.0);
        EXPECT_EQ(static_cast<int>(600 * r.x), c.pixel.x);
        EXPECT_EQ(static_cast<int>(300 * r.y), c.pixel.y);
    }

    spy.clear();
    Hover(QPoint(5, 5));
    EXPECT_EQ(Notifications(spy), (std::vector<Notification>{{kMessage, CImageView::kMoved, 0}}));
    EXPECT_FALSE(view.GetLastMovePoint().has_value());
    Hover(QPoint(320, 160));
    ASSERT_TRUE(view.GetLastMovePoint().has_value());
    EXPECT_EQ(*view.GetLastMovePoint(), CPointD(0.5, 0.5));

    // Without a message number nothing is sent.
    view.setNotifyMessage(0);
    spy.clear();
    Press(QPoint(320, 160));
    Hover(QPoint(321, 160));
    Release(QPoint(321, 160));
    EXPECT_TRUE(spy.isEmpty());
}

TEST_F(ImageViewTest, APickedColourIsCarriedAndReleasedOnce)
{
    LoadPicture(projecttest::GradientImage(600, 300));
    view.SetZoom(1.0);
    view.SetColorChangeMode(true);
    QSignalSpy spy(&view, &CImageView::notify);

    Press(QPoint(120, 60));
    EXPECT_NEAR(view.GetLastPressedPoint().x, 100.0 / 600.0, 1e-12);
    EXPECT_NEAR(view.GetLastPressedPoint().y, 50.0 / 300.0, 1e-12);
    DragTo(QPoint(300, 200));
    EXPECT_TRUE(SameCursor(view.viewport(), kCursorPick));
    Release(QPoint(310, 210));
    EXPECT_EQ(Notifications(spy),
              (std::vector<Notification>{{kMessage, CImageView::kPressed, 0},
                                         {kMessage, CImageView::kReleased, 0}}));
    EXPECT_EQ(view.GetReleaseScreenPoint(), view.viewport()->mapToGlobal(QPoint(310, 210)));
    EXPECT_FALSE(view.viewport()->testAttribute(Qt::WA_SetCursor));

    // A press off the image picks nothing.
    spy.clear();
    Press(QPoint(5, 5));
    Release(QPoint(5, 5));
    EXPECT_TRUE(spy.isEmpty());
}

TEST_F(ImageViewTest, TheDragItemGetsImagePoints)
{
    LoadPicture(projecttest::GradientImage(600, 300));
    view.SetZoom(0.5); // 300 x 150 at (170, 85): two image pixels a screen pixel
    FakeDragItem item;
    view.SetDragItem(&item);
    QSignalSpy spy(&view, &CImageView::notify);
    const CRect screen(170, 85, 470, 235);
    const CRect image(0, 0, 600, 300);

    Press(QPoint(220, 110)); // image (100, 50): the handle
    DragTo(QPoint(230, 120));
    EXPECT_TRUE(SameCursor(view.viewport(), kCursorDragItem));
    Release(QPoint(240, 130));
    const std::vector<FakeDragItem::Call> expected = {
        {"begin", {100, 50}, 0, screen, image},
        {"drag", {120, 70}, 0, screen, image},
        {"end", {140, 90}, 0, {}, {}},
    };
    EXPECT_EQ(item.Actions(), expected);
    ASSERT_FALSE(item.calls.empty());
    EXPECT_EQ(item.calls.front(), (FakeDragItem::Call{"hit", {100, 50}, 2, {}, {}}));
    EXPECT_TRUE(spy.isEmpty()); // the item took the press

    // It is drawn over the image, with the same rectangles.
    item.draws.clear();
    view.viewport()->repaint();
    ASSERT_FALSE(item.draws.empty());
    EXPECT_EQ(item.draws.back(), (FakeDragItem::Call{"draw", {}, 0, screen, image}));

    // Over its handle its cursor shows; elsewhere none.
    Hover(QPoint(220, 110));
    EXPECT_TRUE(SameCursor(view.viewport(), kCursorDragItem));
    Hover(QPoint(400, 200));
    EXPECT_FALSE(view.viewport()->testAttribute(Qt::WA_SetCursor));

    // A press away from the handle goes to the frame.
    item.calls.clear();
    spy.clear();
    Press(QPoint(400, 200));
    Release(QPoint(400, 200));
    EXPECT_TRUE(item.Actions().empty());
    EXPECT_EQ(Notifications(spy), (std::vector<Notification>{{kMessage, CImageView::kPressed, 0}}));
}

TEST_F(ImageViewTest, TheSpaceBarPansOnlyWithAScrollBar)
{
    LoadPicture(projecttest::GradientImage(600, 300));
    keys.space = true;
    QSignalSpy spy(&view, &CImageView::notify);

    // Fitted: no scroll bar, the press is an ordinary one.
    Press(QPoint(320, 160));
    EXPECT_FALSE(SameCursor(view.viewport(), kCursorPan));
    Release(QPoint(320, 160));
    EXPECT_EQ(Notifications(spy), (std::vector<Notification>{{kMessage, CImageView::kPressed, 0}}));

    view.SetZoom(4.0);
    spy.clear();
    Press(QPoint(300, 150));
    EXPECT_TRUE(SameCursor(view.viewport(), kCursorPan));
    DragTo(QPoint(200, 100));
    EXPECT_EQ(view.horizontalScrollBar()->value(), 100);
    EXPECT_EQ(view.verticalScrollBar()->value(), 50);
    DragTo(QPoint(500, 400)); // past the start: held at 0
    EXPECT_EQ(view.horizontalScrollBar()->value(), 0);
    EXPECT_EQ(view.verticalScrollBar()->value(), 0);
    Release(QPoint(500, 400));
    EXPECT_FALSE(view.viewport()->testAttribute(Qt::WA_SetCursor));
    EXPECT_TRUE(spy.isEmpty());

    // The space bar let go during the pan ends it.
    Press(QPoint(300, 150));
    DragTo(QPoint(250, 140));
    EXPECT_EQ(view.horizontalScrollBar()->value(), 50);
    keys.space = false;
    DragTo(QPoint(200, 100));
    EXPECT_EQ(view.horizontalScrollBar()->value(), 50);
    DragTo(QPoint(190, 100));
    Release(QPoint(190, 100));
    EXPECT_EQ(Notifications(spy), (std::vector<Notification>{{kMessage, CImageView::kMoved, 0}}));
}

TEST_F(ImageViewTest, WheelNotchesScrollByLines)
{
    LoadPicture(projecttest::GradientImage(600, 300));
    view.SetZoom(4.0);
    QScrollBar* v = view.verticalScrollBar();
    const int line = v->singleStep();
    EXPECT_EQ(line, 1200 / 100);
    const auto wheel = [&](int delta) {
        QWheelEvent event(QPointF(100, 100),
                          QPointF(view.viewport()->mapToGlobal(QPoint(100, 100))), QPoint(),
                          QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view.viewport(), &event);
    };
    wheel(-120);
    EXPECT_EQ(v->value(), line);
    wheel(-240);
    EXPECT_EQ(v->value(), 3 * line);
    wheel(60);
    EXPECT_EQ(v->value(), 3 * line);
    wheel(60);
    EXPECT_EQ(v->value(), 2 * line);
}

TEST_F(ImageViewTest, TheCompareFlagShowsThePickCursorOverAnImage)
{
    view.SetCompareFlag(true);
    EXPECT_FALSE(view.viewport()->testAttribute(Qt::WA_SetCursor)); // no image yet
    LoadPicture(projecttest::GradientImage(100, 50));
    EXPECT_TRUE(SameCursor(view.viewport(), kCursorPick));
    view.SetCompareFlag(false);
    EXPECT_FALSE(view.viewport()->testAttribute(Qt::WA_SetCursor));
}

TEST_F(ImageViewTest, UnloadingTheImageDeletesThePreviews)
{
    const std::string path = m_dir.File("gone.tif");
    LoadPicture(projecttest::GradientImage(100, 50), "gone.tif");
    ASSERT_NE(m_project->GetAfterPreview(), nullptr);
    m_project->OnItemRemoved(path);
    EXPECT_EQ(m_project->GetAfterPreview(), nullptr);
    EXPECT_EQ(m_project->GetBeforePreview(), nullptr);
    EXPECT_EQ(Shown().pixel(1, 1), kOutside);
    EXPECT_FALSE(view.StepRefinement());
}

// ---- A panel's value changing ----------------------------------------------------

// A step that paints every pixel one colour, and counts its preparations
// (the count shared by its copies).
class PaintDoc final : public CBaseDoc
{
public:
    PaintDoc(RGB16 colour, std::shared_ptr<int> prepared)
        : m_colour(colour), m_prepared(std::move(prepared))
    {}
    std::unique_ptr<CBaseDoc> Clone() const override { return std::make_unique<PaintDoc>(*this); }
    void Assign(const CBaseDoc& other) override
    {
        if (const auto* doc = dynamic_cast<const PaintDoc*>(&other))
            *this = *doc;
    }
    bool PrepareApply(const CDNGTranspose*, CAccessRGBImageByLab&, std::vector<std::string>*,
                      double) override
    {
        ++*m_prepared;
        return true;
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
    std::shared_ptr<int> m_prepared;
};

TEST_F(ImageViewTest, AChangeDropsTheRefinementOfThePreviousValue)
{
    // Every clock reading takes 15 ms: a tick renders 2 of the 6 tiles.
    SteppingClock slow(15);
    view.SetClock(&slow);
    LoadPicture(Checkerboard(600, 300));
    view.SetZoom(1.0);
    RefineAll();
    const auto prepared = std::make_shared<int>(0);
    const PaintDoc first(RGB16{60000, 0, 0}, prepared);
    const PaintDoc second(RGB16{0, 0, 60000}, prepared);

    m_project->SetPreviewDoc(&first);
    EXPECT_EQ(*prepared, 1); // once per change, not again by the view's redraw
    ASSERT_TRUE(view.StepRefinement());
    const std::int64_t before = view.GetRenderedTileCount();
    m_project->SetPreviewDoc(&second);
    EXPECT_EQ(*prepared, 2);
    EXPECT_FALSE(view.IsRefined());
    RefineAll();
    // One refinement of the new value (6 coarse tiles, 6 full), nothing of
    // the old one finished first; every tile shows the new value.
    EXPECT_EQ(view.GetRenderedTileCount() - before, 12);
    for (const QPoint p : {QPoint(0, 0), QPoint(300, 1), QPoint(599, 299), QPoint(513, 257)})
    {
        const QRgb shown = PixelOf(AfterPreview(), p.x(), p.y());
        EXPECT_GT(qBlue(shown), 200) << p.x() << "," << p.y();
        EXPECT_LT(qRed(shown), 50) << p.x() << "," << p.y();
    }

    // The image itself changing prepares the document again.
    view.UpdateImage(false);
    EXPECT_EQ(*prepared, 3);
    view.SetClock(&clock);
}

TEST_F(ImageViewTest, ARunningRefinementTicksAtOnceAfterAChange)
{
    QTimer* timer = view.findChild<QTimer*>(QString::number(CImageView::kRefineTimer));
    LoadPicture(Checkerboard(600, 300));
    view.SetZoom(1.0);
    RefineAll();
    timer->start(CImageView::kRefineIntervalMs);
    const std::int64_t before = view.GetRenderedTileCount();

    const PaintDoc doc(RGB16{0, 60000, 0}, std::make_shared<int>(0));
    m_project->SetPreviewDoc(&doc);
    // The next tick is due at once, not an interval later.
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.GetRenderedTileCount() > before; }));
    // Then the ticks come at their interval again.
    EXPECT_EQ(timer->interval(), CImageView::kRefineIntervalMs);
    timer->stop();
}

// ---- The first look of a large JPEG ------------------------------------------------------

// Where the middle of each quadrant of the image is shown.
std::vector<QPoint> QuadrantMiddles(const CRect& shown)
{
    const int w = shown.Width();
    const int h = shown.Height();
    return {QPoint(shown.left + w / 4, shown.top + h / 4),
            QPoint(shown.left + 3 * w / 4, shown.top + h / 4),
            QPoint(shown.left + w / 4, shown.top + 3 * h / 4),
            QPoint(shown.left + 3 * w / 4, shown.top + 3 * h / 4)};
}

class FirstLookTest : public ImageViewTest
{
protected:
    // The image as a JPEG of 2400 x 1680 (large enough for a first look)
    // with the sRGB profile, listed; its path.
    std::string AddLargeJpeg(CRGBImage image, const std::string& name)
    {
        const std::string path = m_dir.File(name);
        projecttest::WriteJpeg(path, image, projecttest::SRGBProfileBytes());
        CImageFileInfo entry;
        EXPECT_EQ(entry.ReadInfo(path), 1);
        EXPECT_TRUE(m_project->AddFile(entry, m_project->GetCount()));
        return path;
    }

    // Loads the entry as the main window does, with a progress that takes
    // a picture of the view at the first report that finds a first look;
    // answers goOn after it. The load's result.
    int LoadWatching(const std::string& path, bool goOn = true)
    {
        auto progress = ProgressFunction([&](double) {
            if (!during.isNull())
                return goOn;
            if (m_project->GetFirstLook() != nullptr)
            {
                during = Shown();
                rectDuring = view.GetImageRect();
            }
            return true;
        });
        return m_project->LoadImage(Entry(path), false, progress);
    }

    QImage during;
    CRect rectDuring;
};

// While a large JPEG decodes, the view is laid out for it and shows its
// first look, converted for the monitor as the refined picture is (a
// wide-gamut monitor, on which the file's own values would look wrong);
// once loaded, the first look stands until the refinement replaces it,
// with no white in between.
TEST_F(FirstLookTest, ALargeJpegIsShownWhileItLoadsInTheMonitorsColours)
{
    CColorProfile p3 = projecttest::OpenProfile(testsupport::P3LikeProfileBytes(), "p3.icm");
    ASSERT_TRUE(m_project->SetProjectProfiles(&p3, &m_working, &m_input));
    const std::string path = AddLargeJpeg(testsupport::FlatQuadrants(2400, 1680), "large.jpg");

    ASSERT_EQ(LoadWatching(path), 1);
    EXPECT_EQ(m_project->GetFirstLook(), nullptr);
    ASSERT_FALSE(during.isNull()) << "no first look was shown";
    EXPECT_EQ(rectDuring, view.GetImageRect());
    const QImage loaded = Shown();
    RefineAll();
    const QImage refined = Shown();

    const std::vector<QPoint> middles = QuadrantMiddles(view.GetImageRect());
    // The monitor's colours: the reddish quadrant is not the file's red.
    EXPECT_GT(std::abs(qRed(refined.pixel(middles[0])) - 200) +
                  std::abs(qGreen(refined.pixel(middles[0])) - 60),
              6);
    for (const QPoint& p : middles)
    {
        for (const QImage* shown : std::initializer_list<const QImage*>{&during, &loaded})
        {
            const QRgb a = shown->pixel(p);
            const QRgb b = refined.pixel(p);
            EXPECT_LE(std::abs(qRed(a) - qRed(b)), 1) << p.x() << "," << p.y();
            EXPECT_LE(std::abs(qGreen(a) - qGreen(b)), 1) << p.x() << "," << p.y();
            EXPECT_LE(std::abs(qBlue(a) - qBlue(b)), 1) << p.x() << "," << p.y();
        }
    }
    EXPECT_EQ(during.pixel(1, 1), kOutside);
}

// The refinement replaces every pixel of the first look: on a pattern that
// a reduced decode blurs to grey, the refined preview is the one a load
// without a first look gives, byte for byte.
TEST_F(FirstLookTest, TheRefinedPictureIsTheSameWithOrWithoutAFirstLook)
{
    const std::string path = AddLargeJpeg(Checkerboard(2400, 1680), "fine.jpg");
    ASSERT_EQ(LoadWatching(path), 1);
    ASSERT_FALSE(during.isNull());
    RefineAll();
    const CImageEx& first = AfterPreview();
    const int width = first.GetWidth();
    const std::vector<std::uint8_t> withLook(first.GetBits(),
                                             first.GetBits() + first.GetPitch() * first.GetHeight());

    Load(path); // no progress: no first look
    RefineAll();
    const CImageEx& second = AfterPreview();
    ASSERT_EQ(second.GetWidth(), width);
    const std::vector<std::uint8_t> withoutLook(
        second.GetBits(), second.GetBits() + second.GetPitch() * second.GetHeight());
    EXPECT_TRUE(withLook == withoutLook);
}

// A load cancelled after its first look leaves no image and no first look.
TEST_F(FirstLookTest, ACancelAfterTheFirstLookLeavesNoPicture)
{
    const std::string path = AddLargeJpeg(testsupport::FlatQuadrants(2400, 1680), "cancelled.jpg");
    EXPECT_EQ(LoadWatching(path, false), 0);
    ASSERT_FALSE(during.isNull());
    EXPECT_EQ(m_project->GetFirstLook(), nullptr);
    EXPECT_FALSE(m_project->IsImageReady());
    const QImage shown = Shown();
    for (const QPoint& p : QuadrantMiddles(rectDuring))
        EXPECT_EQ(shown.pixel(p), kOutside);
    EXPECT_FALSE(view.StepRefinement());
}

// ---- The keyboard -----------------------------------------------------------------------

TEST(SystemKeyStateTest, FollowsTheSpaceBarWhicheverWidgetHasTheFocus)
{
    QWidget widget;
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    const IKeyState& keys = SystemKeyState();
    EXPECT_FALSE(keys.spaceBarDown());

    QTest::keyPress(&widget, Qt::Key_Space);
    EXPECT_TRUE(keys.spaceBarDown());
    // A held key repeats as release and press pairs.
    QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
    QApplication::sendEvent(&widget, &repeat);
    EXPECT_TRUE(keys.spaceBarDown());
    QTest::keyClick(&widget, Qt::Key_A);
    EXPECT_TRUE(keys.spaceBarDown());
    QTest::keyRelease(&widget, Qt::Key_Space);
    EXPECT_FALSE(keys.spaceBarDown());

    // The release may go to another program once this one loses the keyboard.
    QTest::keyPress(&widget, Qt::Key_Space);
    QEvent deactivate(QEvent::ApplicationDeactivate);
    QApplication::sendEvent(qApp, &deactivate);
    EXPECT_FALSE(keys.spaceBarDown());
}

TEST(EventPumpTest, TellsWhetherEventsAreBeingPumpedAtAnyDepth)
{
    std::vector<bool> seen;
    QTimer::singleShot(0, qApp, [&] {
        seen.push_back(IsPumpingEvents());
        QTimer::singleShot(0, qApp, [&] { seen.push_back(IsPumpingEvents()); });
        PumpEvents();
        seen.push_back(IsPumpingEvents()); // still inside the outer pump
    });
    EXPECT_FALSE(IsPumpingEvents());
    PumpMessages();
    EXPECT_FALSE(IsPumpingEvents());
    EXPECT_EQ(seen, (std::vector<bool>{true, true, true}));
}

} // namespace
