#include "app/preview/BaseDragItem.h"

#include <cmath>

bool ImagePointToScreen(const CRect& screen, const CRect& image, const CPoint& p, QPoint& out,
                        bool* inside)
{
    if (image.Width() <= 0 || image.Height() <= 0)
        return false;
    const double sx = static_cast<double>(screen.Width()) / image.Width();
    const double sy = static_cast<double>(screen.Height()) / image.Height();
    out = QPoint(screen.left + static_cast<int>(std::trunc(sx * (p.x - image.left))),
                 screen.top + static_cast<int>(std::trunc(sy * (p.y - image.top))));
    if (inside)
        *inside = p.x >= image.left && p.x < image.right && p.y >= image.top && p.y < image.bottom;
    return true;
}
