#pragma once
// The chart panel's drag item: the patch centres of a photographed
// colour-checker chart (or of its grey strip) over the preview. In grid
// mode the user drags the grid's corners and the patch centres follow
// (ChartDragItemLogic.h); in free mode every patch centre is dragged by
// itself.
//
// Each patch centre shows as a diagonal cross in the item's colour over a
// black shadow; in grid mode the grid's outline runs through the corners.
// While a handle is dragged, the item also shows where it would go: the
// cross (free mode) or the outline and crosses of the moved grid (grid
// mode), drawn with a pen patterned by bitmap 182 so that it reads on any
// part of the image.

#include "app/panels/chart/ChartDragItemLogic.h"
#include "app/preview/BaseDragItem.h"
#include "controls/support/ColorRef.h"

#include <QImage>

class QPen;

class CChartDragItem : public CBaseDragItem
{
public:
    CChartDragItem();

    // Placement 1 = upper half of the image, any other = lower half;
    // rows x 6 patches in grid mode at the default corners.
    void InitChartItem(int placement, COLORREF colour, int rows, const CRect& image);
    void SetImageRect(const CRect& image);
    void SetFreePlacement(bool free);
    void SetGrid(int rows, int columns);
    void GetPatchPoints(T2DArray<CPoint>& points) const;

    bool HitTest(const CPoint& imagePoint, int scale) override;
    void BeginDrag(const CPoint& imagePoint, const CRect& screen, const CRect& image) override;
    void Drag(const CPoint& imagePoint, const CRect& screen, const CRect& image) override;
    void EndDrag(const CPoint& imagePoint) override;
    void Draw(QPainter& painter, const CRect& screen, const CRect& image) const override;

    COLORREF GetColor() const { return m_color; }
    const ChartGridGeometry& Geometry() const { return m_geometry; }

    // The pen of the drag feedback: the pattern bitmap as its brush, solid
    // grey when there is no pattern.
    static QPen FeedbackPen(const QImage& pattern, int width);

private:
    // The outline through the corners (two of them: a line; four: the
    // quadrilateral), shifted right and down by offset screen pixels.
    void DrawOutline(QPainter& painter, const T2DArray<CPoint>& corners, const CRect& screen,
                     const CRect& image, const QPen& pen, int offset) const;
    // A diagonal cross at every point, shifted likewise.
    void DrawCrosses(QPainter& painter, const T2DArray<CPoint>& points, const CRect& screen,
                     const CRect& image, const QPen& pen, int offset) const;
    void DrawMarkers(QPainter& painter, const T2DArray<CPoint>& points, const CRect& screen,
                     const CRect& image) const;
    void DrawGridOutline(QPainter& painter, const T2DArray<CPoint>& corners, const CRect& screen,
                         const CRect& image) const;
    void DrawFeedback(QPainter& painter, const CRect& screen, const CRect& image) const;

    ChartGridGeometry m_geometry;
    COLORREF m_color = MakeColorRef(255, 255, 255);
    QImage m_pattern;
};
