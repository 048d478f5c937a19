#pragma once
// A rectangle of pixels: left and top inside, right and bottom one past the
// last column and row (width = right - left).

struct CRect
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    constexpr CRect() = default;
    constexpr CRect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}

    constexpr int Width() const { return right - left; }
    constexpr int Height() const { return bottom - top; }
    constexpr bool IsRectEmpty() const { return right <= left || bottom <= top; }
    constexpr bool operator==(const CRect&) const = default;
};

// A pixel position.
struct CPoint
{
    int x = 0;
    int y = 0;

    constexpr bool operator==(const CPoint&) const = default;
};
