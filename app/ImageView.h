#pragma once
// CImageView: the left pane of the main window. It shows the project's
// working image converted for the monitor, fitted to the pane or at a fixed
// zoom, scrollable, and refines it progressively: a timer renders the
// visible tiles coarse first, then at full resolution, then the tiles
// scrolled out of sight. It also carries the mouse work on the image:
// colour picks that the frame routes to the shown panel, the drag item of
// the shown panel, dragging a picked colour onto the specified-colour
// panel, and panning with the space bar held.
//
// The view tells its owner what the mouse did through notify(message,
// code, 0) with the codes below; what a notification carries is read back
// from the view (GetLastPressedPoint, GetLastMovePoint,
// GetReleaseScreenPoint) inside the connected slot.

#include "controls/NotifyMessage.h"
#include "core/Interpolation.h"
#include "core/Rect.h"
#include "correction/ProjectServices.h"

#include <QAbstractScrollArea>

#include <memory>
#include <optional>

class CBaseDragItem;
class CProjectManage;
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

    // The shown panel's drag item (not owned); null for none.
    void SetDragItem(CBaseDragItem* item);
    CBaseDragItem* GetDragItem() const { return m_dragItem; }
    // On while the specified-colour panel is shown in display mode 2: a
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
    // The clock that budgets the time of one tick (the system clock by
    // default; tests give a virtual one).
    void SetClock(platform::Clock* clock);

signals:
    void notify(int message, int code, qint64 value);

private:
    CProjectManage* m_project = nullptr;
    double m_zoom = 0.0;
    CRect m_imageRect;
    CBaseDragItem* m_dragItem = nullptr;
    bool m_colorChange = false;
    bool m_compare = false;
    CPointD m_lastPressed;
    std::optional<CPointD> m_lastMove;
    QPoint m_releaseScreenPoint;
    platform::Clock* m_clock = nullptr;
};
