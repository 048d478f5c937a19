#pragma once
// The section of the CIE 1931 xy chromaticity diagram that the white-point
// page shows: x from 0.2939 to 0.4362 and y from 0.3093 to 0.4061, the
// daylight locus from 3000 to 8000 K running through it. Mapping between
// chromaticities and pixels, and where the temperature labels go; Qt-free.
//
// The mapping works on the client rectangle shrunk by one pixel on every
// side (left, top, right, bottom; w = right - left, h = bottom - top):
//     px = left + trunc((x - x0) / (dx / w) + 0.5)
//     py = bottom - trunc((y - y0) / (dy / h) + 0.5)
//     x  = dx / w * (px - left) + x0
//     y  = dy / h * (bottom - py) + y0
// with truncation toward 0, as an integer conversion does.

#include <algorithm>
#include <cmath>

inline constexpr double kCIExyLeft = 0.2939;   // x at the left edge
inline constexpr double kCIExyWidth = 0.1423;  // x span
inline constexpr double kCIExyBottom = 0.3093; // y at the bottom edge
inline constexpr double kCIExyHeight = 0.0968; // y span

// The daylight locus drawn: 3000 to 8000 K in steps of 100 K; every tenth
// point (each 1000 K) is marked and labelled.
inline constexpr int kCIExyLocusFirstKelvin = 3000;
inline constexpr int kCIExyLocusLastKelvin = 8000;
inline constexpr int kCIExyLocusStep = 100;
inline constexpr int kCIExyLabelStep = 1000;

// Label box of a temperature: 40 x 12 pixels from the locus pixel.
inline constexpr int kCIExyLabelWidth = 40;
inline constexpr int kCIExyLabelHeight = 12;

// Truncation toward 0 of a value that may be far out of range (a point the
// owner set outside the diagram): limited first so the conversion is
// defined; NaN gives 0.
inline int TruncateToPixel(double v)
{
    if (std::isnan(v))
        return 0;
    return static_cast<int>(std::clamp(v, -1.0e6, 1.0e6));
}

struct CIExyMapping
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    // The mapping of a client area of width x height pixels.
    static CIExyMapping FromClient(int width, int height)
    {
        return CIExyMapping{1, 1, width - 1, height - 1};
    }

    // A client of less than 3 pixels a side has no span to divide by.
    bool IsValid() const { return right - left > 0 && bottom - top > 0; }

    void XyToPixel(double x, double y, int& px, int& py) const
    {
        if (!IsValid())
        {
            px = left;
            py = bottom;
            return;
        }
        const double w = right - left;
        const double h = bottom - top;
        px = left + TruncateToPixel((x - kCIExyLeft) / (kCIExyWidth / w) + 0.5);
        py = bottom - TruncateToPixel((y - kCIExyBottom) / (kCIExyHeight / h) + 0.5);
    }

    void PixelToXy(int px, int py, double& x, double& y) const
    {
        if (!IsValid())
        {
            x = kCIExyLeft;
            y = kCIExyBottom;
            return;
        }
        const double w = right - left;
        const double h = bottom - top;
        x = kCIExyWidth / w * (px - left) + kCIExyLeft;
        y = kCIExyHeight / h * (bottom - py) + kCIExyBottom;
    }
};

// Keys the control handles.
enum class CIExyKey
{
    Enter,
    Left,
    Up,
    Right,
    Down,
    Other,
};

// The pixel after a key: an arrow moves it 2 pixels, but not past the
// mapped rectangle's edge in the direction of the move; Enter and other
// keys leave it.
inline void MoveCIExyPixel(const CIExyMapping& m, CIExyKey key, int& px, int& py)
{
    switch (key)
    {
    case CIExyKey::Left:
        px = std::max(px - 2, m.left);
        break;
    case CIExyKey::Up:
        py = std::max(py - 2, m.top);
        break;
    case CIExyKey::Right:
        px = std::min(px + 2, m.right);
        break;
    case CIExyKey::Down:
        py = std::min(py + 2, m.bottom);
        break;
    case CIExyKey::Enter:
    case CIExyKey::Other:
        break;
    }
}

// Top-left corner of a label box whose corner would be (x, y), shifted
// back inside a width x height client: left edge, then top, then right,
// then bottom.
inline void PlaceCIExyLabel(int width, int height, int& x, int& y)
{
    if (x < 0)
        x = 0;
    if (y < 0)
        y = 0;
    if (x + kCIExyLabelWidth > width)
        x = width - kCIExyLabelWidth;
    if (y + kCIExyLabelHeight > height)
        y = height - kCIExyLabelHeight;
}
