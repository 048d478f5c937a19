#pragma once
// CImageView: the left pane of the main window. It shows the project's
// working image converted for the monitor, fitted to the pane or at a fixed
// zoom, scrollable, and refines it progressively: a timer renders the
// visible tiles coarse first, then at full resolution, then the tiles
// scrolled out of sight. It also carries the mouse work on the image:
// colour picks that the frame routes to the shown panel, the drag item of
// the shown panel, dragging a picked colour onto the chosen-colour
// panel, and panning with the space bar held.
//
// The view tells its owner what the mouse did through notify(message,
// code, 0) with the codes below; what a notification carries is read back
// from the view (GetLastPressedPoint, GetLastMovePoint,
// GetReleaseScreenPoint) inside the connected slot.

#include "app/preview/ImageViewLogic.h"
#include "controls/support/NotifyMessage.h"
#include "core/Interpolation.h"
#include "core/Rect.h"
#include "core/SplitRect.h"
#include "correction/ProjectServices.h"

#include <QAbstractScrollArea>

#include <cstdint>
#include <memory>
#include <optional>

class CBaseDragItem;
class CProjectManage;
class IKeyState;
class QTimer;
namespace platform { class Clock; }

inline constexpr int UWM_IMAGEVIEW_NOTIFY = 0x40B;

class CImageView : public QAbstractScrollArea,
                   public IProjectImageView,
                   public NotifyMessageSupport<CImageView>
{
    Q_OBJECT
    friend class NotifyMessageSupport<CImageView>;

public:
    // Codes of the view's notification.
    enum NotifyCode : int
    {
        kPressed = 1,  // button pressed over the image: GetLastPressedPoint
        kMoved = 2,    // mouse moved: GetLastMovePoint (none outside the image)
        kReleased = 3, // button released after a colour pick: GetReleaseScreenPoint
    };

    explicit CImageView(QWidget* parent = nullptr);
    ~CImageView() override;

    void SetProject(CProjectManage* project);
    CProjectManage* GetProject() const { return m_project; }

    // factor <= 0 fits the image to the pane; otherwise the scale factor.
    void SetZoom(double factor);
    double GetZoom() const { return m_zoom; }

    // IProjectImageView
    bool UpdateImage(bool rebuild) override;
    void RebuildTiles() override;
    void Relayout() override;
    void RedrawNow() override;
    void ShowFirstLook() override;

    // The shown panel's drag item (not owned); null for none.
    void SetDragItem(CBaseDragItem* item);
    CBaseDragItem* GetDragItem() const { return m_dragItem; }
    // On while the chosen-colour panel is shown in display mode 2: a
    // press picks a colour that can be dragged onto the panel.
    void SetColorChangeMode(bool on) { m_colorChange = on; }
    bool IsColorChangeMode() const { return m_colorChange; }
    // On while a panel shows the uncorrected image for comparison.
    void SetCompareFlag(bool on);
    bool GetCompareFlag() const { return m_compare; }

    // Relative position (0..1, 0..1) of the last press on the image.
    CPointD GetLastPressedPoint() const { return m_lastPressed; }
    // Relative position of the last move, none when it was off the image.
    std::optional<CPointD> GetLastMovePoint() const { return m_lastMove; }
    // Global (screen) position of the release that ended a colour pick.
    QPoint GetReleaseScreenPoint() const { return m_releaseScreenPoint; }

    // Where the image lies in scroll coordinates.
    const CRect& GetImageRect() const { return m_imageRect; }

    // One tick of the progressive refinement (the view's 100 ms timer calls
    // it). True when a tile was rendered.
    bool StepRefinement();
    // Every tile of the current display mode's full-resolution set is done.
    bool IsRefined() const;
    // The tiles rendered so far, by either pass, in the view's life: a
    // watcher sees from it whether the picture painted is a new one.
    std::int64_t GetRenderedTileCount() const { return m_renderedTiles; }
    // The clock that budgets the time of one tick (the system clock by
    // default; tests give a virtual one).
    void SetClock(platform::Clock* clock);
    // The keyboard whose space bar starts a pan (the real one by default;
    // null restores it).
    void SetKeyState(const IKeyState* keys);

    // The rendering time one tick of the refinement may take: tiles are
    // rendered while the next one is expected to fit (at least one a tick).
    static constexpr int kTickBudgetMs = 30;
    // Timer ids: the refinement's tick and the settling of a resize (each a
    // child QTimer named by its id, so that tests find it). While it runs,
    // the refinement's timer ticks at once when the tiles were made anew (a
    // new picture is wanted: a panel's value changed, the image or the
    // layout did), and then every kRefineIntervalMs again.
    static constexpr int kRefineTimer = 100;
    static constexpr int kRefineIntervalMs = 100;
    static constexpr int kResizeTimer = 101;
    static constexpr int kResizeSettleMs = 300;

signals:
    void notify(int message, int code, qint64 value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // The two previews of the project, as its compare mode chooses the one
    // DrawPreview shows: before (display mode 1) and after (display mode 2,
    // through the panel's preview document).
    enum class Mode
    {
        Before,
        After
    };
    // A preview's tiles: the coarse pass and the full-resolution pass over
    // the same grid, so that tile k is the same rectangle in both.
    struct TileSets
    {
        CSplitRect coarse;
        CSplitRect full;
    };

    bool IsImageLoaded() const;
    // The project holds a first look at the image it is loading: the view
    // is laid out for that image and shows the first look, and nothing
    // reads the working image, which may be half made.
    bool ShowsFirstLook() const;
    // The project is busy, or the program is inside an operation that
    // pumps events: the view neither paints the image nor renders.
    bool IsHeld() const;
    Mode CurrentMode() const;
    TileSets& SetsOf(Mode mode) { return mode == Mode::Before ? m_beforeTiles : m_afterTiles; }
    // The image shown: the working image's size, or that of the image the
    // first look stands for.
    void ImageSize(int& width, int& height) const;
    int ImageWidth() const;
    int ImageHeight() const;
    QPoint ScrollPosition() const;

    void Layout();
    void ApplyLayout();
    // True when the preview of the current mode was made anew from the
    // project's first look.
    bool Render(bool rebuild, bool loaded);
    // The sets take the preview rectangle, every flag cleared; unless the
    // preview's old picture stands (a new or rebuilt preview is white), the
    // visible tiles count as drawn by the coarse pass.
    void ResetTiles(TileSets& sets, const CRect& preview, bool keepsPicture);
    void MarkVisibleCoarseDone(Mode mode);
    // The tiles were made anew: the running refinement timer ticks at once
    // rather than up to an interval later. What the tiles of the previous
    // picture still had to render is dropped with them.
    void RefineSoon();
    void OnRefineTimer();

    // Where a tile of the preview lies in the client area (empty when not
    // visible) and which image pixels it stands for.
    CRect TileImageRect(Mode mode, const CRect& tile) const;
    CRect TileClientRect(Mode mode, const CRect& tile) const;
    bool RenderTile(Mode mode, const CRect& tile, int factor);
    void PaintTileNow(const CRect& client);
    // The tick that began at start (clock milliseconds) with `rendered`
    // tiles done renders another (imageview::TickHasRoom).
    bool HasRoom(std::int64_t start, int rendered) const;

    // The visible part of the image (image pixels) and where it is shown
    // (client coordinates).
    bool VisibleParts(CRect& source, CRect& destination) const;
    // The image pixel under a client point; false without an image
    // rectangle.
    bool ClientToImagePixel(const QPoint& client, CPoint& pixel) const;
    bool ClientToRelative(const QPoint& client, CPointD& relative) const;
    bool IsClientPointOnImage(const QPoint& client, CPoint* pixel = nullptr) const;
    bool HasScrollBar() const;

    void OnResizeSettled();
    void UpdateCursor();
    void SetHoverCursor(int cursorId);

    CProjectManage* m_project = nullptr;
    double m_zoom = 0.0;
    CRect m_imageRect;
    int m_scrollWidth = imageview::kEmptyScrollSize;
    int m_scrollHeight = imageview::kEmptyScrollSize;
    TileSets m_beforeTiles;
    TileSets m_afterTiles;
    CBaseDragItem* m_dragItem = nullptr;
    bool m_colorChange = false;
    bool m_picking = false;
    CPointD m_lastPressed;
    std::optional<CPointD> m_lastMove;
    QPoint m_releaseScreenPoint;
    bool m_resizeTimerRunning = false;
    bool m_dragging = false;
    // Scroll position plus point at the start of a pan; none when no pan runs.
    std::optional<QPoint> m_panStart;
    // The cursor resource shown because the mouse is over a drag item's
    // handle (0: none), and whether a picked colour is being carried.
    int m_hoverCursor = 0;
    bool m_carryingColour = false;
    bool m_compare = false;
    bool m_beforeRebuild = false;
    bool m_afterRebuild = false;
    imageview::WheelAccumulator m_wheel;
    bool m_inLayout = false;
    bool m_layoutAgain = false;
    platform::Clock* m_clock = nullptr;
    const IKeyState* m_keys = nullptr;
    QTimer* m_refineTimer = nullptr;
    std::int64_t m_renderedTiles = 0;
    QTimer* m_resizeTimer = nullptr;
};
