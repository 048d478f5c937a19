#pragma once
// CBoundToWnd: children of a resizable panel that follow its right and
// bottom edges.
//
// The owner records each child with four anchor flags once its controls
// exist, and calls Relayout from its resizeEvent. Every relayout starts
// from the rectangles recorded at set-up, so the result depends only on
// the parent's size now.

#include <QPointer>
#include <QRect>
#include <QWidget>

#include <vector>

// A rectangle by its edges, right and bottom exclusive, as recorded.
struct BoundEdges
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool operator==(const BoundEdges&) const = default;
};

// Which edges of a child follow the parent. Only 1 counts as anchored on
// the right and the bottom.
struct BoundAnchors
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The edges of a recorded child once the parent has grown by
// (dx, dy) (negative when it shrank):
//   anchored right:  right += dx, and left += dx too unless left is
//                    anchored (the child moves with the right edge; with
//                    both it stretches);
//   anchored bottom: the same with bottom, top and dy;
//   otherwise the edges stay where they were recorded, whatever the left
//   and top flags say.
BoundEdges AnchoredEdges(const BoundEdges& recorded, const BoundAnchors& anchors, int dx, int dy);

class CBoundToWnd
{
public:
    // Takes the parent's present size as the reference.
    explicit CBoundToWnd(QWidget* parent);

    // Records child (a child of the parent) with its present geometry.
    void AddControl(QWidget* child, int left, int top, int right, int bottom);

    // Moves and sizes every recorded child for the parent's size now. A
    // width or height that would go negative is 0. Children destroyed since
    // are skipped.
    void Relayout();

private:
    struct Record
    {
        QPointer<QWidget> child;
        BoundEdges edges;
        BoundAnchors anchors;
    };

    QPointer<QWidget> m_parent;
    QSize m_reference;
    std::vector<Record> m_records;
};
