#pragma once
// CMySplitterWnd: the main window's static splitter, one pane per column,
// where each pane holds a stack of views of which exactly one is shown.
// The right pane holds the nine panels and switches between them without
// destroying any. A pane is a QStackedWidget: showing a view of the stack
// makes it the stack's current widget, which hides the one shown before.
//
// Panes are fixed when the splitter is made (the user cannot split a pane
// further); the bar and the border between the panes are 2 pixels.

#include "core/T2DArray.h"

#include <QSplitter>

#include <functional>
#include <vector>

class QStackedWidget;

// One entry of a stack: how to make the view, and the view once made
// (owned by the pane's widget tree, not by the entry).
class CViewParam
{
public:
    // Makes the view with the given parent; null when it cannot.
    using Factory = std::function<QWidget*(QWidget* parent)>;

    CViewParam() = default;
    explicit CViewParam(Factory factory) : m_factory(std::move(factory)) {}
    virtual ~CViewParam() = default;
    CViewParam(const CViewParam&) = default;
    CViewParam& operator=(const CViewParam&) = default;

    Factory m_factory;
    QWidget* m_view = nullptr;
};

// One pane: the index of the shown view (-1 while none is) and its stack.
class CVctViewParam
{
public:
    CVctViewParam() = default;
    virtual ~CVctViewParam() = default;
    CVctViewParam(const CVctViewParam&) = default;
    CVctViewParam& operator=(const CVctViewParam&) = default;

    int m_activeIndex = -1;
    std::vector<CViewParam> m_views;
};

class CMySplitterWnd : public QSplitter
{
    Q_OBJECT
public:
    explicit CMySplitterWnd(QWidget* parent = nullptr);

    // Makes the panes, rows x columns, each with an empty stack. A
    // QSplitter lays its panes out along one direction, so either count
    // must be 1; false otherwise, and for a second call.
    bool CreateStatic(int rows, int columns);

    // Sets the pane's stack to one entry per factory and makes every view
    // once (from index 1 on, then index 0, which ends shown). Returns
    // whether showing index 0 succeeded.
    bool CreateViews(int row, int col, const std::vector<CViewParam::Factory>& factories);
    // Shows the view of that stack entry, making it when it is not made yet.
    bool ShowView(int row, int col, int index);
    // The view of the entry; null when it is not made or outside the stack.
    QWidget* GetView(int row, int col, int index) const;
    // The shown entry of the pane; -1 when none (or no such pane).
    int GetActiveIndex(int row, int col) const;
    // The pane's widget; null outside the panes.
    QStackedWidget* GetPane(int row, int col) const;

protected:
    // Makes a view into the pane's stack; null when the factory fails.
    QWidget* CreatePaneView(const CViewParam::Factory& factory, int row, int col);
    // An index outside the stack, or a view that cannot be made, answers
    // false and leaves the shown view shown. The caller lays the window out
    // again.
    bool DoShowView(int row, int col, int index);

private:
    bool IsPane(int row, int col) const;

    T2DArray<CVctViewParam> m_panes;
    std::vector<QStackedWidget*> m_paneWidgets; // row * columns + col
};
