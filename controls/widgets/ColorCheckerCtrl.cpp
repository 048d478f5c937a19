#include "controls/widgets/ColorCheckerCtrl.h"

#include "controls/support/PointerState.h"
#include "controls/widgets/ColorCellLogic.h"

#include <QMouseEvent>

CColorCheckerCtrl::CColorCheckerCtrl(QWidget* parent)
    : CControlWidget(parent), m_pointer(&SystemPointerState())
{
    // Moves without a button start the hover report.
    setMouseTracking(true);
    m_hoverTimer.setInterval(kHoverIntervalMs);
    connect(&m_hoverTimer, &QTimer::timeout, this, &CColorCheckerCtrl::OnHoverTimer);
}

void CColorCheckerCtrl::Clear(std::optional<RGBColor> frame)
{
    constexpr RGBColor white{0xff00, 0xff00, 0xff00};
    Cells.Resize(1, 1, white);
    Selection.Resize(1, 1, false);
    GapPercent = 0;
    FrameColor = frame.value_or(RGBColor{});
}

void CColorCheckerCtrl::SetColors(std::optional<RGBColor> frame, const T2DArray<RGBColor>& cells)
{
    const RGBColor frameColor = frame.value_or(RGBColor{});
    bool anySelected = false;
    for (const bool bit : Selection.GetCells())
        anySelected = anySelected || bit;
    // Without a gap the frame colour still shows in the slivers that the
    // truncated cell edges leave, so it counts as well.
    const bool unchanged = GapPercent == 0 && frameColor == FrameColor && cells == Cells && !anySelected;

    Cells = cells;
    Selection.Resize(cells.GetRows(), cells.GetColumns(), false);
    FrameColor = frameColor;
    GapPercent = 0;
    if (!unchanged)
        update();
}

void CColorCheckerCtrl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && notifyMessage() != 0)
    {
        const CheckerGeometry geometry(width(), height(), Cells.GetRows(), Cells.GetColumns(),
                                       GapPercent);
        const QPoint p = event->position().toPoint();
        if (const auto hit = geometry.HitTest(p.x(), p.y()))
            sendNotify(kCellClicked, CellClickValue(hit->row, hit->column));
    }
    CControlWidget::mousePressEvent(event);
}

void CColorCheckerCtrl::mouseMoveEvent(QMouseEvent* event)
{
    if (Hovering == 0)
    {
        sendNotify(kHover, 1);
        m_hoverTimer.start();
        Hovering = 1;
    }
    CControlWidget::mouseMoveEvent(event);
}

// The control does not hold the mouse, so it polls whether the cursor has
// left; leaveEvent ends the hover at once where the window system reports
// it.
void CColorCheckerCtrl::OnHoverTimer()
{
    if (!rect().contains(mapFromGlobal(m_pointer->globalCursorPosition())))
        EndHover();
}

void CColorCheckerCtrl::leaveEvent(QEvent* event)
{
    EndHover();
    CControlWidget::leaveEvent(event);
}

void CColorCheckerCtrl::EndHover()
{
    if (Hovering == 0)
        return;
    m_hoverTimer.stop();
    Hovering = 0;
    sendNotify(kHover, 0);
}

bool CColorCheckerCtrl::IsSelected(int row, int column) const
{
    return row < Selection.GetRows() && column < Selection.GetColumns() &&
           Selection.GetAt(row, column);
}

void CColorCheckerCtrl::paint(QPainter& painter) const
{
    PainterStateGuard guard(painter);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(rect(), ColorFromRGBColor(FrameColor));
    painter.setPen(QPen(ColorFromRef(MakeColorRef(255, 0, 0)), 2));

    const CheckerGeometry geometry(width(), height(), Cells.GetRows(), Cells.GetColumns(),
                                   GapPercent);
    for (int column = 0; column < geometry.columns(); ++column)
    {
        for (int row = 0; row < geometry.rows(); ++row)
        {
            const CellRect cell = geometry.Cell(row, column);
            painter.fillRect(QRect(cell.left, cell.top, cell.width(), cell.height()),
                             ColorFromRGBColor(Cells.GetAt(row, column)));
            if (IsSelected(row, column))
            {
                const CellRect square = CrossSquare(cell);
                painter.drawLine(square.left, square.top, square.right - 1, square.bottom - 1);
                painter.drawLine(square.left, square.bottom - 1, square.right - 1, square.top);
            }
        }
    }
}
