#include "app/preview/ImageView.h"

#include "app/preview/BaseDragItem.h"
#include "app/shell/KeyState.h"
#include "controls/support/ColorRef.h"
#include "controls/support/EventPump.h"
#include "controls/support/ResourceImages.h"
#include "core/ImageEx.h"
#include "correction/ProjectManage.h"
#include "platform/Clock.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>

// How the picture is made. The project keeps a preview image of the whole
// working image at the size it is shown (imageview::PreviewRect): fitted or
// reduced, one preview pixel per screen pixel; enlarged, one per image
// pixel, stretched when painted. The preview is divided into tiles, and a
// tick of the refinement timer renders them in three passes, each tile
// painted as soon as it is rendered:
//   1. coarse: the visible tiles at one sample per 4 x 4 preview pixels,
//      so that the whole visible picture appears at once (skipped when 4
//      tiles or fewer are visible);
//   2. full: the visible tiles at full resolution;
//   3. the tiles scrolled out of sight, so that scrolling later finds
//      them done.
// A tick renders tiles of one pass while the next tile, at the mean time of
// the tick's tiles so far, still fits its time budget (at least one tile),
// so that a large view is refined in a few ticks whatever its tile count,
// while the events between ticks keep the window responsive. A tile at full
// resolution is converted on every hardware thread (the project's
// rendering), which leaves the picture as one thread makes it.
//
// Before all that, while a large JPEG is still being decoded, the project
// may hold a first look at it (a reduced decode, converted for the
// monitor): the view is laid out for the image and paints the first look,
// and the new preview of the loaded image starts as the first look
// stretched over it, its visible tiles counting as done by the coarse pass.

namespace {

constexpr int kDefaultTileSide = 256;
// Tiles this many or fewer visible skip the coarse pass.
constexpr int kCoarseMinimumTiles = 4;
// A rendered tile is painted this much larger on each side, so that the
// integer mappings between preview, image and screen leave no seam.
constexpr int kPaintMargin = 2;

const QColor& OutsideColour()
{
    static const QColor colour = ColorFromRef(MakeColorRef(192, 192, 192));
    return colour;
}

const QColor& FrameColour()
{
    static const QColor colour = ColorFromRef(MakeColorRef(128, 128, 128));
    return colour;
}

QRect ToQRect(const CRect& r)
{
    return QRect(r.left, r.top, r.Width(), r.Height());
}

CRect Intersect(const CRect& a, const CRect& b)
{
    const CRect r(std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                  std::min(a.bottom, b.bottom));
    return r.IsRectEmpty() ? CRect() : r;
}

// DrawPreview's canvas: the preview's rows painted as they lie (blue,
// green, red, padded rows) without a copy, stretched by the nearest pixel
// as the design's COLORONCOLOR stretch does.
class PainterCanvas final : public IPreviewCanvas
{
public:
    explicit PainterCanvas(QPainter& painter) : m_painter(painter) {}

    void DrawImage(const CImageEx& image, const CRect& source, const CRect& destination) override
    {
        // An empty source or destination has no scale to stretch by.
        if (image.IsNull() || source.IsRectEmpty() || destination.IsRectEmpty())
            return;
        const QImage rows(image.GetBits(), image.GetWidth(), image.GetHeight(), image.GetPitch(),
                          QImage::Format_BGR888);
        m_painter.drawImage(ToQRect(destination), rows, ToQRect(source));
    }

private:
    QPainter& m_painter;
};

} // namespace

CImageView::CImageView(QWidget* parent)
    : QAbstractScrollArea(parent), m_clock(&platform::SystemClock()), m_keys(&SystemKeyState())
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Painting covers the whole client area: nothing is erased first, and
    // while the view may not paint (busy) the last picture stays.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    // Moves without a button: the frame hears them, and the cursor changes
    // over a drag item's handles.
    viewport()->setMouseTracking(true);

    m_refineTimer = new QTimer(this);
    m_refineTimer->setObjectName(QString::number(kRefineTimer));
    m_refineTimer->setInterval(kRefineIntervalMs);
    connect(m_refineTimer, &QTimer::timeout, this, &CImageView::OnRefineTimer);
    m_refineTimer->start();

    m_resizeTimer = new QTimer(this);
    m_resizeTimer->setObjectName(QString::number(kResizeTimer));
    m_resizeTimer->setSingleShot(true);
    m_resizeTimer->setInterval(kResizeSettleMs);
    connect(m_resizeTimer, &QTimer::timeout, this, &CImageView::OnResizeSettled);

    Layout();
}

CImageView::~CImageView() = default;

void CImageView::SetProject(CProjectManage* project)
{
    m_project = project;
    Layout();
    viewport()->update();
}

// ---- State ----------------------------------------------------------------

bool CImageView::IsImageLoaded() const
{
    return !ShowsFirstLook() && m_project != nullptr && m_project->IsImageReady() &&
           !m_project->GetWorkingImage().IsEmpty();
}

bool CImageView::ShowsFirstLook() const
{
    return m_project != nullptr && m_project->GetFirstLook() != nullptr;
}

bool CImageView::IsHeld() const
{
    return (m_project != nullptr && m_project->IsBusy()) || IsPumpingEvents();
}

CImageView::Mode CImageView::CurrentMode() const
{
    return m_project != nullptr && m_project->GetCompareMode() == kCompareBefore ? Mode::Before
                                                                                 : Mode::After;
}

void CImageView::ImageSize(int& width, int& height) const
{
    width = 0;
    height = 0;
    if (ShowsFirstLook())
    {
        m_project->GetFirstLookImageSize(width, height);
    }
    else if (m_project != nullptr)
    {
        width = m_project->GetWorkingImage().GetWidth();
        height = m_project->GetWorkingImage().GetHeight();
    }
}

int CImageView::ImageWidth() const
{
    int width = 0;
    int height = 0;
    ImageSize(width, height);
    return width;
}

int CImageView::ImageHeight() const
{
    int width = 0;
    int height = 0;
    ImageSize(width, height);
    return height;
}

QPoint CImageView::ScrollPosition() const
{
    return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

bool CImageView::HasScrollBar() const
{
    return horizontalScrollBar()->maximum() > horizontalScrollBar()->minimum() ||
           verticalScrollBar()->maximum() > verticalScrollBar()->minimum();
}

void CImageView::SetDragItem(CBaseDragItem* item)
{
    if (item != m_dragItem)
    {
        m_dragging = false;
        m_hoverCursor = 0;
    }
    m_dragItem = item;
    UpdateCursor();
    viewport()->update();
}

void CImageView::SetCompareFlag(bool on)
{
    m_compare = on;
    UpdateCursor();
}

void CImageView::SetClock(platform::Clock* clock)
{
    m_clock = clock ? clock : &platform::SystemClock();
}

void CImageView::SetKeyState(const IKeyState* keys)
{
    m_keys = keys ? keys : &SystemKeyState();
}

// ---- Layout -----------------------------------------------------------------

void CImageView::Layout()
{
    // Showing or hiding a scroll bar resizes the client area, which asks
    // for the layout again: that is done here, in a few rounds, rather than
    // from inside the resize.
    if (m_inLayout)
    {
        m_layoutAgain = true;
        return;
    }
    m_inLayout = true;
    for (int round = 0; round < 3; ++round)
    {
        m_layoutAgain = false;
        ApplyLayout();
        if (!m_layoutAgain)
            break;
    }
    m_inLayout = false;
}

void CImageView::ApplyLayout()
{
    // The scroll bars are decided here, as the scroll size asks, rather
    // than by Qt's own show-as-needed, which follows a range change only
    // later through the event loop: the client area and the layout then
    // agree at once. A bar takes room from the client area, which may make
    // the other bar needed too.
    const bool loaded = ShowsFirstLook() || IsImageLoaded();
    const int width = loaded ? ImageWidth() : 0;
    const int height = loaded ? ImageHeight() : 0;
    // The client area without scroll bars (maximumViewportSize would take
    // off the bars already on).
    const QSize full = contentsRect().size();
    QSize client = full;
    imageview::ViewLayout layout =
        imageview::ComputeLayout(width, height, client.width(), client.height(), m_zoom);
    bool needH = false;
    bool needV = false;
    for (int round = 0; round < 2; ++round)
    {
        needH = needH || layout.scrollWidth > client.width();
        needV = needV || layout.scrollHeight > client.height();
        const QSize left(full.width() - (needV ? verticalScrollBar()->sizeHint().width() : 0),
                         full.height() - (needH ? horizontalScrollBar()->sizeHint().height() : 0));
        if (left == client)
            break;
        client = QSize(std::max(left.width(), 0), std::max(left.height(), 0));
        layout = imageview::ComputeLayout(width, height, client.width(), client.height(), m_zoom);
    }
    m_imageRect = layout.imageRect;
    m_scrollWidth = layout.scrollWidth;
    m_scrollHeight = layout.scrollHeight;

    // The scroll bars stand for the scroll size: a line is a hundredth of
    // it, a page the client area.
    QScrollBar* h = horizontalScrollBar();
    h->setSingleStep(std::max(1, m_scrollWidth / 100));
    h->setPageStep(std::max(1, client.width()));
    h->setRange(0, std::max(0, m_scrollWidth - client.width()));
    QScrollBar* v = verticalScrollBar();
    v->setSingleStep(std::max(1, m_scrollHeight / 100));
    v->setPageStep(std::max(1, client.height()));
    v->setRange(0, std::max(0, m_scrollHeight - client.height()));
    setHorizontalScrollBarPolicy(h->maximum() > 0 ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(v->maximum() > 0 ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

void CImageView::SetZoom(double factor)
{
    m_zoom = factor;
    Layout();
    if (IsImageLoaded())
        Render(false, false);
    viewport()->update();
}

bool CImageView::UpdateImage(bool rebuild)
{
    Layout();
    if (IsImageLoaded())
    {
        // A before preview just made from the first look keeps it.
        const bool firstLook = Render(rebuild, true) && CurrentMode() == Mode::Before;
        if (rebuild && !firstLook)
        {
            if (CImageEx* before = m_project->GetBeforePreview(); before && !before->IsNull())
                FillDIB(*before, RGB16{0xFFFF, 0xFFFF, 0xFFFF});
        }
        if (CurrentMode() != Mode::After)
            m_project->ClearAfterPreview();
    }
    else
    {
        if (m_project != nullptr)
            m_project->DeletePreviews();
        for (TileSets* sets : {&m_beforeTiles, &m_afterTiles})
        {
            sets->coarse.SetRect(CRect());
            sets->full.SetRect(CRect());
        }
        m_dragging = false;
        m_picking = false;
        m_carryingColour = false;
        m_panStart.reset();
    }
    UpdateCursor();
    viewport()->repaint();
    return true;
}

void CImageView::RebuildTiles()
{
    if (CurrentMode() != Mode::After)
    {
        m_afterRebuild = true;
        return;
    }
    int width = kDefaultTileSide;
    int height = kDefaultTileSide;
    if (m_project != nullptr)
        m_project->GetTileSize(width, height);
    if (width < 1 || height < 1)
        width = height = kDefaultTileSide;
    // A new tile size clears every flag. The picture of the last preview
    // document stays on the screen until the full pass replaces it: a
    // panel's slider moving does not flash the coarse picture.
    m_afterTiles.coarse.SetTileSize(width, height);
    m_afterTiles.full.SetTileSize(width, height);
    if (IsImageLoaded())
        MarkVisibleCoarseDone(Mode::After);
    RefineSoon();
    viewport()->update();
}

void CImageView::Relayout()
{
    Layout();
    if (IsImageLoaded())
        Render(false, false);
}

void CImageView::RedrawNow()
{
    viewport()->repaint();
}

void CImageView::ShowFirstLook()
{
    Layout();
    viewport()->repaint();
}

// ---- Preparation --------------------------------------------------------------

// loaded: the image itself changed (UpdateImage); rebuild: the preview
// is to be drawn afresh.
bool CImageView::Render(bool rebuild, bool loaded)
{
    if (m_project == nullptr)
        return false;
    const CRect preview = imageview::PreviewRect(m_imageRect, ImageWidth(), ImageHeight());
    const Mode mode = CurrentMode();
    TileSets& sets = SetsOf(mode);
    int created = 0;
    const bool made = !preview.IsRectEmpty() &&
                      (mode == Mode::Before ? m_project->MakeBeforePreview(preview, &created)
                                            : m_project->MakeAfterPreview(preview, &created));
    if (!made)
    {
        // Nothing to show (a client area of no width or height) or no
        // memory for the preview: nothing to render either.
        ResetTiles(sets, CRect(), false);
        m_beforeRebuild = m_beforeRebuild || rebuild;
        return false;
    }

    // A new preview is white, and so is a rebuilt one: its visible tiles
    // are left to the coarse pass. Otherwise the preview's picture stands
    // while the full pass renders it again; so does a new preview made from
    // the first look of the image just loaded, which stands for more than
    // the coarse pass would render.
    const bool fromFirstLook = created == CProjectManage::kPreviewFirstLook;
    const bool keepsPicture = (created == 0 && !rebuild) || fromFirstLook;
    if (mode == Mode::Before)
    {
        if (created != 0 || rebuild || m_beforeRebuild)
        {
            m_beforeRebuild = false;
            sets.coarse.SetTileSize(kDefaultTileSide, kDefaultTileSide);
            sets.full.SetTileSize(kDefaultTileSide, kDefaultTileSide);
            ResetTiles(sets, preview, keepsPicture);
        }
        m_afterRebuild = m_afterRebuild || loaded;
    }
    else if (created != 0 || loaded || m_afterRebuild)
    {
        m_afterRebuild = false;
        int width = kDefaultTileSide;
        int height = kDefaultTileSide;
        m_project->GetTileSize(width, height);
        if (width < 1 || height < 1)
            width = height = kDefaultTileSide;
        sets.coarse.SetTileSize(width, height);
        sets.full.SetTileSize(width, height);
        ResetTiles(sets, preview, keepsPicture);
        m_project->PreparePreviewDoc();
    }
    m_beforeRebuild = m_beforeRebuild || rebuild;
    return fromFirstLook;
}

void CImageView::ResetTiles(TileSets& sets, const CRect& preview, bool keepsPicture)
{
    sets.coarse.SetRect(preview);
    sets.full.SetRect(preview);
    if (keepsPicture)
        MarkVisibleCoarseDone(&sets == &m_beforeTiles ? Mode::Before : Mode::After);
    if (!preview.IsRectEmpty())
        RefineSoon();
}

void CImageView::RefineSoon()
{
    if (m_refineTimer->isActive() && m_refineTimer->interval() != 0)
        m_refineTimer->start(0);
}

void CImageView::OnRefineTimer()
{
    if (m_refineTimer->interval() != kRefineIntervalMs)
        m_refineTimer->start(kRefineIntervalMs);
    StepRefinement();
}

void CImageView::MarkVisibleCoarseDone(Mode mode)
{
    CSplitRect& coarse = SetsOf(mode).coarse;
    CRect tile;
    for (int k = 0; k < coarse.GetTileCount(); ++k)
    {
        if (coarse.GetTile(k, tile) && !TileClientRect(mode, tile).IsRectEmpty())
            coarse.SetTileDone(k);
    }
}

// ---- Progressive refinement ---------------------------------------------------

CRect CImageView::TileImageRect(Mode mode, const CRect& tile) const
{
    CRect pixels;
    if (mode == Mode::Before)
        m_project->MapBeforePreviewRect(tile, pixels);
    else
        m_project->MapAfterPreviewRect(tile, pixels);
    return pixels;
}

CRect CImageView::TileClientRect(Mode mode, const CRect& tile) const
{
    const CRect pixels = TileImageRect(mode, tile);
    if (pixels.IsRectEmpty())
        return CRect();
    const CRect scroll =
        imageview::ImageRectToScroll(m_imageRect, ImageWidth(), ImageHeight(), pixels);
    const QPoint position = ScrollPosition();
    const CRect client(scroll.left - position.x(), scroll.top - position.y(),
                       scroll.right - position.x(), scroll.bottom - position.y());
    return Intersect(client, CRect(0, 0, viewport()->width(), viewport()->height()));
}

bool CImageView::RenderTile(Mode mode, const CRect& tile, int factor)
{
    const CRect pixels = TileImageRect(mode, tile);
    return mode == Mode::Before ? m_project->RenderBeforePreview(pixels, factor)
                                : m_project->RenderAfterPreview(pixels, factor);
}

void CImageView::PaintTileNow(const CRect& client)
{
    if (!isVisible() || client.IsRectEmpty())
        return;
    viewport()->repaint(
        ToQRect(client).adjusted(-kPaintMargin, -kPaintMargin, kPaintMargin, kPaintMargin));
}

bool CImageView::HasRoom(std::int64_t start, int rendered) const
{
    return imageview::TickHasRoom(m_clock->NowMs() - start, rendered, kTickBudgetMs);
}

bool CImageView::StepRefinement()
{
    if (!IsImageLoaded() || !isVisible() || IsHeld())
        return false;
    const Mode mode = CurrentMode();
    TileSets& sets = SetsOf(mode);
    const int count = std::min(sets.coarse.GetTileCount(), sets.full.GetTileCount());
    if (count == 0)
        return false;
    const std::int64_t start = m_clock->NowMs();
    const int coarseFactor = imageview::CoarseFactor(ImageWidth(), sets.full.GetRect().Width());

    int visible = 0;
    CRect tile;
    for (int k = 0; k < count; ++k)
    {
        if (sets.coarse.GetTile(k, tile) && !TileClientRect(mode, tile).IsRectEmpty())
            ++visible;
    }

    // One pass over the visible tiles of a set not yet done (nor done in
    // `finer`): each rendered tile is painted at once; the pass ends when
    // the tick's time is used up, after at least one tile.
    const auto visiblePass = [&](CSplitRect& set, const CSplitRect* finer, int factor) {
        int done = 0;
        for (int k = 0; k < count; ++k)
        {
            if (set.IsTileDone(k) || (finer != nullptr && finer->IsTileDone(k)) ||
                !set.GetTile(k, tile))
                continue;
            const CRect client = TileClientRect(mode, tile);
            if (client.IsRectEmpty())
                continue;
            if (RenderTile(mode, tile, factor))
            {
                set.SetTileDone(k);
                ++done;
                ++m_renderedTiles;
                PaintTileNow(client);
            }
            if (!HasRoom(start, done))
                break;
        }
        return done;
    };

    if (visible > kCoarseMinimumTiles && visiblePass(sets.coarse, &sets.full, coarseFactor) > 0)
        return true;
    if (visiblePass(sets.full, nullptr, 1) > 0)
        return true;

    // Out of sight: nothing to paint; a tile that fails is passed by.
    int rendered = 0;
    for (int k = 0; k < count; ++k)
    {
        if (sets.full.IsTileDone(k) || !sets.full.GetTile(k, tile))
            continue;
        if (RenderTile(mode, tile, 1))
        {
            sets.full.SetTileDone(k);
            ++rendered;
            ++m_renderedTiles;
        }
        if (!HasRoom(start, rendered))
            break;
    }
    return rendered > 0;
}

bool CImageView::IsRefined() const
{
    const TileSets& sets = CurrentMode() == Mode::Before ? m_beforeTiles : m_afterTiles;
    for (int k = 0; k < sets.full.GetTileCount(); ++k)
    {
        if (!sets.full.IsTileDone(k))
            return false;
    }
    return true;
}

// ---- Painting ---------------------------------------------------------------

bool CImageView::VisibleParts(CRect& source, CRect& destination) const
{
    const QPoint position = ScrollPosition();
    source = imageview::VisibleImageRect(m_imageRect, ImageWidth(), ImageHeight(), position.x(),
                                         position.y(), viewport()->width(), viewport()->height());
    if (source.IsRectEmpty())
        return false;
    const CRect scroll =
        imageview::ImageRectToScroll(m_imageRect, ImageWidth(), ImageHeight(), source);
    destination = CRect(scroll.left - position.x(), scroll.top - position.y(),
                        scroll.right - position.x(), scroll.bottom - position.y());
    return !destination.IsRectEmpty();
}

void CImageView::paintEvent(QPaintEvent* /*event*/)
{
    // While the project is busy or an operation pumps events, the working
    // image and the previews may be half made: nothing is painted, and the
    // last picture stays; only the first look of a loading image, which is
    // whole from the start, is shown.
    const bool firstLook = ShowsFirstLook();
    if (IsHeld() && !firstLook)
        return;
    QPainter painter(viewport());
    const QRect client = viewport()->rect();
    CRect source;
    CRect destination;
    if (!(firstLook || IsImageLoaded()) || !VisibleParts(source, destination))
    {
        painter.fillRect(client, OutsideColour());
        painter.setPen(FrameColour());
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(client.adjusted(0, 0, -1, -1));
        return;
    }

    // Around the image: above, below, then left and right of it.
    const QRect shown = ToQRect(destination);
    painter.fillRect(QRect(0, 0, client.width(), shown.top()), OutsideColour());
    painter.fillRect(
        QRect(0, shown.bottom() + 1, client.width(), client.height() - shown.bottom() - 1),
        OutsideColour());
    painter.fillRect(QRect(0, shown.top(), shown.left(), shown.height()), OutsideColour());
    painter.fillRect(
        QRect(shown.right() + 1, shown.top(), client.width() - shown.right() - 1, shown.height()),
        OutsideColour());

    PainterCanvas canvas(painter);
    if (firstLook)
    {
        m_project->DrawFirstLook(source, canvas, destination);
        return;
    }
    m_project->DrawPreview(source, canvas, destination);
    if (m_dragItem != nullptr)
        m_dragItem->Draw(painter, destination, source);
}

// ---- Size and scrolling ---------------------------------------------------------

void CImageView::resizeEvent(QResizeEvent* event)
{
    if (m_inLayout)
    {
        // A scroll bar came or went while laying out.
        m_layoutAgain = true;
        return;
    }
    if (IsImageLoaded() && m_zoom <= 0.0)
    {
        // A fitted image follows the size at once, but its preview is made
        // again only once the size has stopped changing.
        Layout();
        m_resizeTimerRunning = true;
        m_resizeTimer->start();
        return;
    }
    QAbstractScrollArea::resizeEvent(event);
    Layout();
}

void CImageView::OnResizeSettled()
{
    m_resizeTimer->stop();
    Layout();
    if (IsImageLoaded())
        Render(false, false);
    m_resizeTimerRunning = false;
}

void CImageView::scrollContentsBy(int dx, int dy)
{
    viewport()->scroll(dx, dy);
}

void CImageView::wheelEvent(QWheelEvent* event)
{
    const int lines = m_wheel.Add(event->angleDelta().y());
    QScrollBar* v = verticalScrollBar();
    for (int i = 0; i < lines; ++i)
        v->triggerAction(QAbstractSlider::SliderSingleStepSub);
    for (int i = 0; i > lines; --i)
        v->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    event->accept();
}

// ---- Mouse ---------------------------------------------------------------------

bool CImageView::ClientToImagePixel(const QPoint& client, CPoint& pixel) const
{
    const QPoint position = ScrollPosition();
    return imageview::ScrollToImagePixel(m_imageRect, ImageWidth(), ImageHeight(),
                                         client.x() + position.x(), client.y() + position.y(),
                                         pixel);
}

bool CImageView::ClientToRelative(const QPoint& client, CPointD& relative) const
{
    const QPoint position = ScrollPosition();
    return imageview::ScrollToRelative(m_imageRect, ImageWidth(), ImageHeight(),
                                       client.x() + position.x(), client.y() + position.y(),
                                       relative);
}

bool CImageView::IsClientPointOnImage(const QPoint& client, CPoint* pixel) const
{
    CPoint p;
    if (!IsImageLoaded() || !ClientToImagePixel(client, p) ||
        !imageview::IsOnImage(p, ImageWidth(), ImageHeight()))
        return false;
    if (pixel != nullptr)
        *pixel = p;
    return true;
}

void CImageView::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() != Qt::LeftButton || !IsImageLoaded())
        return;
    const QPoint point = event->position().toPoint();
    CPoint pixel;
    const bool onImage = IsClientPointOnImage(point, &pixel);
    if (!onImage)
        return;

    if (m_keys->spaceBarDown() && HasScrollBar())
    {
        m_panStart = point + ScrollPosition();
        UpdateCursor();
    }
    else if (m_colorChange)
    {
        m_picking = true;
        ClientToRelative(point, m_lastPressed);
        sendNotify(kPressed, 0);
    }
    else if (m_dragItem != nullptr &&
             m_dragItem->HitTest(pixel, imageview::HitScale(m_imageRect, ImageWidth(),
                                                            point.x() + ScrollPosition().x())))
    {
        m_dragging = true;
        CRect source;
        CRect destination;
        VisibleParts(source, destination);
        m_dragItem->BeginDrag(pixel, destination, source);
        UpdateCursor();
        viewport()->update();
    }
    else if (notifyMessage() != 0)
    {
        ClientToRelative(point, m_lastPressed);
        sendNotify(kPressed, 0);
    }
}

void CImageView::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    const QPoint point = event->position().toPoint();
    bool handled = false;
    if (m_panStart)
    {
        handled = true;
        if (m_keys->spaceBarDown())
        {
            QScrollBar* h = horizontalScrollBar();
            if (h->maximum() > h->minimum())
                h->setValue(imageview::PanPosition(m_panStart->x(), point.x(), h->maximum()));
            QScrollBar* v = verticalScrollBar();
            if (v->maximum() > v->minimum())
                v->setValue(imageview::PanPosition(m_panStart->y(), point.y(), v->maximum()));
        }
        else
        {
            m_panStart.reset();
            UpdateCursor();
        }
    }
    else if (m_picking)
    {
        handled = true;
        CPointD relative;
        if (ClientToRelative(point, relative) && !(relative == m_lastPressed) && !m_dragging &&
            !m_carryingColour)
        {
            // The picked colour is being carried towards the panel.
            m_carryingColour = true;
            UpdateCursor();
        }
    }
    else if (m_dragging)
    {
        handled = true;
        CPoint pixel;
        if (m_dragItem != nullptr && IsImageLoaded() && ClientToImagePixel(point, pixel))
        {
            CRect source;
            CRect destination;
            VisibleParts(source, destination);
            m_dragItem->Drag(pixel, destination, source);
            viewport()->update();
        }
    }
    else
    {
        CPointD relative;
        if (IsClientPointOnImage(point) && ClientToRelative(point, relative))
            m_lastMove = relative;
        else
            m_lastMove.reset();
        sendNotify(kMoved, 0);
    }

    if (handled)
        return;
    // Over a handle of the drag item the item's cursor shows.
    CPoint pixel;
    if (m_dragItem != nullptr && viewport()->rect().contains(point) &&
        IsClientPointOnImage(point, &pixel) &&
        m_dragItem->HitTest(pixel, imageview::HitScale(m_imageRect, ImageWidth(),
                                                       point.x() + ScrollPosition().x())))
        SetHoverCursor(m_dragItem->GetCursorId());
    else
        SetHoverCursor(0);
}

void CImageView::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint point = event->position().toPoint();
    if (m_panStart)
    {
        m_panStart.reset();
        UpdateCursor();
        viewport()->update();
    }
    if (m_picking)
    {
        m_picking = false;
        m_carryingColour = false;
        m_releaseScreenPoint = event->globalPosition().toPoint();
        UpdateCursor();
        sendNotify(kReleased, 0);
    }
    if (m_dragging)
    {
        m_dragging = false;
        CPoint pixel{-1, -1};
        if (m_dragItem != nullptr)
        {
            // Without an image the item keeps the place of its last feedback.
            if (!IsImageLoaded() || !ClientToImagePixel(point, pixel))
                pixel = CPoint{-1, -1};
            m_dragItem->EndDrag(pixel);
        }
        UpdateCursor();
        viewport()->update();
    }
}

// ---- Cursors --------------------------------------------------------------------

void CImageView::SetHoverCursor(int cursorId)
{
    if (cursorId == m_hoverCursor)
        return;
    m_hoverCursor = cursorId;
    UpdateCursor();
}

void CImageView::UpdateCursor()
{
    int id = 0;
    if (m_panStart)
        id = kCursorPan;
    else if (m_dragging)
        id = kCursorDragItem;
    else if (m_carryingColour)
        id = kCursorPick;
    else if (m_hoverCursor != 0)
        id = m_hoverCursor;
    else if (m_compare && IsImageLoaded())
        id = kCursorPick;
    if (id != 0)
        viewport()->setCursor(LoadCursorResource(id));
    else
        viewport()->unsetCursor();
}
