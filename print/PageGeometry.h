#pragma once
// The page of one printer and paper as the print layouts see it, and the
// conversions between printer dots and tenths of a millimetre on which
// every layout rests.
//
// Layouts hold their geometry in tenths of a millimetre and the size of an
// image as printer dots per image pixel. Each conversion rounds exactly
// once, half up (floor(v + 0.5)), so a value taken to dots and back comes
// home within one unit and a negative position (an image that starts left
// of the printable area) rounds the same way as a positive one.

#include <cmath>
#include <limits>

struct PageGeometry
{
    // The sheet, in printer dots, in the orientation it is printed in.
    int physicalWidth = 0;
    int physicalHeight = 0;
    // The printable area: its size and its top-left corner on the sheet,
    // in printer dots.
    int printableWidth = 0;
    int printableHeight = 0;
    int offsetX = 0;
    int offsetY = 0;
    // The printer's resolution, dots per inch across and down.
    int dpiX = 0;
    int dpiY = 0;

    bool HasResolution() const { return dpiX > 0 && dpiY > 0; }
};

// A whole number held within the range of int, so that an extreme scale or
// a typed position of many digits saturates instead of wrapping; NaN
// gives 0.
inline int SaturatedInt(double whole)
{
    if (!(whole == whole))
        return 0;
    if (whole >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (whole <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(whole);
}

// v rounded half up, floor(v + 0.5), and trunc(v), saturated to int.
inline int RoundHalfUpToInt(double v)
{
    return SaturatedInt(std::floor(v + 0.5));
}

inline int TruncToInt(double v)
{
    return SaturatedInt(std::trunc(v));
}

// A dot count as tenths of a millimetre, not rounded; 0 when the
// resolution is unknown.
inline double DotsToTenthMMExact(double dots, int dpi)
{
    return dpi > 0 ? dots * 254.0 / dpi : 0.0;
}

// One dot count as tenths of a millimetre at the given resolution; 0 when
// the resolution is unknown.
inline int DotsToTenthMM(double dots, int dpi)
{
    if (dpi <= 0)
        return 0;
    return RoundHalfUpToInt(dots * 254.0 / dpi);
}

// Tenths of a millimetre as printer dots at the given resolution; 0 when
// the resolution is unknown.
inline int TenthMMToDots(double tenthMM, int dpi)
{
    if (dpi <= 0)
        return 0;
    return RoundHalfUpToInt(tenthMM / 254.0 * dpi);
}

// The pair forms the layouts use: x with the horizontal resolution, y with
// the vertical one. False (and nothing changed) without a resolution.
inline bool DotsToTenthMM(const PageGeometry& page, int& x, int& y)
{
    if (!page.HasResolution())
        return false;
    x = DotsToTenthMM(x, page.dpiX);
    y = DotsToTenthMM(y, page.dpiY);
    return true;
}

inline bool TenthMMToDots(const PageGeometry& page, int& x, int& y)
{
    if (!page.HasResolution())
        return false;
    x = TenthMMToDots(x, page.dpiX);
    y = TenthMMToDots(y, page.dpiY);
    return true;
}
