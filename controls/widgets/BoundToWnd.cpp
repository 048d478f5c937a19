#include "controls/widgets/BoundToWnd.h"

#include <algorithm>

BoundEdges AnchoredEdges(const BoundEdges& recorded, const BoundAnchors& anchors, int dx, int dy)
{
    BoundEdges edges = recorded;
    if (anchors.right == 1)
    {
        edges.right += dx;
        if (anchors.left == 0)
            edges.left += dx;
    }
    if (anchors.bottom == 1)
    {
        edges.bottom += dy;
        if (anchors.top == 0)
            edges.top += dy;
    }
    return edges;
}

CBoundToWnd::CBoundToWnd(QWidget* parent)
    : m_parent(parent), m_reference(parent != nullptr ? parent->size() : QSize())
{}

void CBoundToWnd::AddControl(QWidget* child, int left, int top, int right, int bottom)
{
    if (child == nullptr)
        return;
    const QRect geometry = child->geometry();
    m_records.push_back(
        Record{child,
               BoundEdges{geometry.x(), geometry.y(), geometry.x() + geometry.width(),
                          geometry.y() + geometry.height()},
               BoundAnchors{left, top, right, bottom}});
}

void CBoundToWnd::Relayout()
{
    if (m_parent == nullptr)
        return;
    const int dx = m_parent->width() - m_reference.width();
    const int dy = m_parent->height() - m_reference.height();
    for (const Record& record : m_records)
    {
        if (record.child == nullptr)
            continue;
        const BoundEdges edges = AnchoredEdges(record.edges, record.anchors, dx, dy);
        record.child->setGeometry(edges.left, edges.top, std::max(0, edges.right - edges.left),
                                  std::max(0, edges.bottom - edges.top));
    }
}
