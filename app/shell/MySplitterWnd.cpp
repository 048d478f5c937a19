#include "app/shell/MySplitterWnd.h"

#include <QStackedWidget>

namespace {

// Bar and border widths of the splitter, in pixels.
constexpr int kSplitterBar = 2;
constexpr int kSplitterBorder = 2;

} // namespace

CMySplitterWnd::CMySplitterWnd(QWidget* parent) : QSplitter(Qt::Horizontal, parent)
{
    setHandleWidth(kSplitterBar);
    setContentsMargins(kSplitterBorder, kSplitterBorder, kSplitterBorder, kSplitterBorder);
    // A pane cannot be dragged shut: the splitter never loses a pane.
    setChildrenCollapsible(false);
}

bool CMySplitterWnd::CreateStatic(int rows, int columns)
{
    if (!m_paneWidgets.empty() || rows < 1 || columns < 1 || (rows > 1 && columns > 1))
        return false;
    setOrientation(rows > 1 ? Qt::Vertical : Qt::Horizontal);
    m_panes.Resize(rows, columns, CVctViewParam());
    for (int i = 0; i < rows * columns; ++i)
    {
        auto* pane = new QStackedWidget(this);
        pane->setObjectName(QStringLiteral("pane%1").arg(i));
        addWidget(pane);
        m_paneWidgets.push_back(pane);
    }
    return true;
}

bool CMySplitterWnd::IsPane(int row, int col) const
{
    return row >= 0 && row < m_panes.GetRows() && col >= 0 && col < m_panes.GetColumns();
}

QStackedWidget* CMySplitterWnd::GetPane(int row, int col) const
{
    if (!IsPane(row, col))
        return nullptr;
    return m_paneWidgets[static_cast<std::size_t>(row * m_panes.GetColumns() + col)];
}

bool CMySplitterWnd::CreateViews(int row, int col,
                                 const std::vector<CViewParam::Factory>& factories)
{
    if (!IsPane(row, col))
        return false;
    CVctViewParam entry;
    for (const CViewParam::Factory& factory : factories)
        entry.m_views.emplace_back(factory);
    m_panes.SetAt(row, col, entry);

    const int count = static_cast<int>(factories.size());
    for (int i = 1; i < count; ++i)
        DoShowView(row, col, i);
    return DoShowView(row, col, 0);
}

bool CMySplitterWnd::ShowView(int row, int col, int index)
{
    return DoShowView(row, col, index);
}

QWidget* CMySplitterWnd::GetView(int row, int col, int index) const
{
    if (!IsPane(row, col))
        return nullptr;
    const CVctViewParam entry = m_panes.GetAt(row, col);
    if (index < 0 || index >= static_cast<int>(entry.m_views.size()))
        return nullptr;
    return entry.m_views[static_cast<std::size_t>(index)].m_view;
}

int CMySplitterWnd::GetActiveIndex(int row, int col) const
{
    return IsPane(row, col) ? m_panes.GetAt(row, col).m_activeIndex : -1;
}

QWidget* CMySplitterWnd::CreatePaneView(const CViewParam::Factory& factory, int row, int col)
{
    QStackedWidget* pane = GetPane(row, col);
    if (pane == nullptr || !factory)
        return nullptr;
    QWidget* view = factory(pane);
    if (view == nullptr)
        return nullptr;
    pane->addWidget(view);
    return view;
}

bool CMySplitterWnd::DoShowView(int row, int col, int index)
{
    if (!IsPane(row, col))
        return false;
    CVctViewParam entry = m_panes.GetAt(row, col);
    if (entry.m_views.empty() || index < 0 || index >= static_cast<int>(entry.m_views.size()))
        return false;

    CViewParam& view = entry.m_views[static_cast<std::size_t>(index)];
    if (view.m_view == nullptr)
    {
        // Made before anything is hidden: a view that cannot be made leaves
        // the pane as it was.
        view.m_view = CreatePaneView(view.m_factory, row, col);
        if (view.m_view == nullptr)
            return false;
    }
    entry.m_activeIndex = index;
    m_panes.SetAt(row, col, entry);

    QStackedWidget* pane = GetPane(row, col);
    pane->setCurrentWidget(view.m_view);
    view.m_view->show();
    return true;
}
