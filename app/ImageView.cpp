#include "app/ImageView.h"

#include "correction/ProjectManage.h"
#include "platform/Clock.h"

// The declarations the main frame builds on; the rendering comes next.

CImageView::CImageView(QWidget* parent) : QAbstractScrollArea(parent), m_clock(&platform::SystemClock()) {}

CImageView::~CImageView() = default;

void CImageView::SetProject(CProjectManage* project)
{
    m_project = project;
}

void CImageView::SetZoom(double factor)
{
    m_zoom = factor;
    viewport()->update();
}

bool CImageView::UpdateImage(bool /*rebuild*/)
{
    viewport()->update();
    return true;
}

void CImageView::RebuildTiles()
{
    viewport()->update();
}

void CImageView::Relayout()
{
    viewport()->update();
}

void CImageView::RedrawNow()
{
    viewport()->repaint();
}

void CImageView::SetDragItem(CBaseDragItem* item)
{
    m_dragItem = item;
    viewport()->update();
}

void CImageView::SetCompareFlag(bool on)
{
    m_compare = on;
}

bool CImageView::StepRefinement()
{
    return false;
}

bool CImageView::IsRefined() const
{
    return true;
}

void CImageView::SetClock(platform::Clock* clock)
{
    m_clock = clock ? clock : &platform::SystemClock();
}
