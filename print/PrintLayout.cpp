#include "print/PrintLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace {

std::string FormatOneDecimal(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// trunc(available / trimmed x 1000) / 1000: the fit scale to a thousandth,
// never rounded up, so the fitted image never overhangs by a rounding.
double PerMilleScale(int available, int trimmed)
{
    return std::trunc(static_cast<double>(available) / trimmed * 1000.0) / 1000.0;
}

int ClampToInt(std::int64_t value)
{
    return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

// The widest extent centred on the paper's middle that stays on the
// printable area, in dots: twice the nearer distance from the middle to a
// printable edge. Worked in whole dots without halving the paper first:
// on a sheet of an odd number of dots the middle lies between two dots,
// and an extent taken from the integer half would overhang by half a dot.
int CentredExtent(int physical, int offset, int printable)
{
    const std::int64_t before = static_cast<std::int64_t>(physical) - 2 * std::int64_t{offset};
    const std::int64_t after = 2 * (std::int64_t{offset} + printable) - physical;
    return ClampToInt(std::min(before, after));
}

// The visible part's corner on one axis, typed or spun: held between the
// visible part lying wholly off the paper before it and wholly off the
// paper after it (one tenth beyond each edge), so that a position of any
// number of digits stays off the page, as typed, without overflowing what
// is worked out from it.
int ClampVisibleCorner(int corner, int offset, int visible, int physical)
{
    const std::int64_t lowest = -std::int64_t{offset} - std::max(visible, 0) - 1;
    const std::int64_t highest = std::int64_t{physical} - offset + 1;
    return ClampToInt(std::clamp<std::int64_t>(corner, lowest, std::max(lowest, highest)));
}

} // namespace

// Margins rounded from millimetres can meet in the middle of the image; the
// left and top margins are kept as far as they go.
PrintMargins KeepOnePixel(PrintMargins m, int width, int height)
{
    auto fit = [](int& first, int& second, int size) {
        first = std::max(first, 0);
        second = std::max(second, 0);
        if (size <= 0)
        {
            first = second = 0;
            return;
        }
        first = std::min(first, size - 1);
        second = std::min(second, size - 1 - first);
    };
    fit(m.left, m.right, width);
    fit(m.top, m.bottom, height);
    return m;
}

std::string FormatTenthMM(int tenthMM)
{
    return FormatOneDecimal(tenthMM / 10.0);
}

// A millimetre value typed with one decimal is rarely exact in binary
// (2.3 is 2.2999...), so x 10 lands just below the tenth the user typed;
// a nudge far below a tenth's size lets the truncation keep that tenth
// while still dropping any further digits.
int TenthMMFromMM(double mm)
{
    constexpr double kNudge = 1e-7;
    return TruncToInt(mm * 10.0 + (mm >= 0 ? kNudge : -kNudge));
}

void CPrintLayout::SetImageSize(int width, int height)
{
    m_imageWidth = std::max(width, 0);
    m_imageHeight = std::max(height, 0);
}

CPrintLayout::PaperLayoutResult CPrintLayout::UpdatePaperLayout(const PageGeometry& page)
{
    m_page = page;
    m_physicalWidth = DotsToTenthMM(page.physicalWidth, page.dpiX);
    m_physicalHeight = DotsToTenthMM(page.physicalHeight, page.dpiY);
    m_printableWidth = DotsToTenthMM(page.printableWidth, page.dpiX);
    m_printableHeight = DotsToTenthMM(page.printableHeight, page.dpiY);
    m_offsetX = DotsToTenthMM(page.offsetX, page.dpiX);
    m_offsetY = DotsToTenthMM(page.offsetY, page.dpiY);

    // Centring on the paper needs the paper's centre on the printable area
    // (right and bottom edges excluded); a sheet printable only on one side
    // of its middle cannot hold an image centred on it.
    PaperLayoutResult result;
    const int centreX = m_physicalWidth / 2;
    const int centreY = m_physicalHeight / 2;
    m_centreOfPaperAvailable = centreX >= m_offsetX && centreX < m_offsetX + m_printableWidth &&
                               centreY >= m_offsetY && centreY < m_offsetY + m_printableHeight;
    result.centreOfPaperAvailable = m_centreOfPaperAvailable;
    if (!m_centreOfPaperAvailable && m_positionMode == PrintPositionMode::CentreOfPaper)
    {
        m_positionMode = PrintPositionMode::CentreOfPrintableArea;
        result.positionModeChanged = true;
    }

    // The image may print from 1 % to 10000 % of one dot per pixel.
    m_minWidth = DotsToTenthMM(std::trunc(m_imageWidth * 0.01), page.dpiX);
    m_minHeight = DotsToTenthMM(std::trunc(m_imageHeight * 0.01), page.dpiY);
    m_maxWidth = DotsToTenthMM(m_imageWidth * 100.0, page.dpiX);
    m_maxHeight = DotsToTenthMM(m_imageHeight * 100.0, page.dpiY);

    if (m_fit)
    {
        m_rememberedScale = 1.0;
        ComputeFitScale();
    }
    UpdatePrintSize();
    UpdatePosition();
    m_rememberedScale = 1.0;
    return result;
}

void CPrintLayout::ComputeFitScale()
{
    if (!HasImage())
        return;

    // Centred on the paper, the image may only use the largest area about
    // the paper's centre that stays printable: twice the nearer distance
    // from the centre to a printable edge.
    int availableWidth = m_page.printableWidth;
    int availableHeight = m_page.printableHeight;
    if (m_positionMode == PrintPositionMode::CentreOfPaper)
    {
        availableWidth = CentredExtent(m_page.physicalWidth, m_page.offsetX, m_page.printableWidth);
        availableHeight =
            CentredExtent(m_page.physicalHeight, m_page.offsetY, m_page.printableHeight);
    }
    if (availableWidth <= 0 || availableHeight <= 0)
        return; // no printable dot to fit on: the scale stays

    const PrintMargins kept = KeepOnePixel(m_pixelMargins, m_imageWidth, m_imageHeight);
    const int trimmedWidth = m_imageWidth - kept.left - kept.right;
    const int trimmedHeight = m_imageHeight - kept.top - kept.bottom;

    const double sx = PerMilleScale(availableWidth, trimmedWidth);
    const double sy = PerMilleScale(availableHeight, trimmedHeight);
    switch (m_fitMode)
    {
    case PrintFitMode::WholeImage:
        m_scale = std::min(sx, sy);
        break;
    case PrintFitMode::FillPaper:
        m_scale = std::max(sx, sy);
        break;
    }
}

void CPrintLayout::UpdatePrintSize()
{
    m_printWidth = DotsToTenthMM(std::trunc(m_imageWidth * m_scale), m_page.dpiX);
    m_printHeight = DotsToTenthMM(std::trunc(m_imageHeight * m_scale), m_page.dpiY);
    UpdateTrimMarginsMM();
}

void CPrintLayout::UpdateTrimMarginsMM()
{
    auto dots = [this](int pixels) { return TruncToInt(pixels * m_scale + 0.5); };
    int left = dots(m_pixelMargins.left);
    int top = dots(m_pixelMargins.top);
    int right = dots(m_pixelMargins.right);
    int bottom = dots(m_pixelMargins.bottom);
    if (!DotsToTenthMM(m_page, left, top) || !DotsToTenthMM(m_page, right, bottom))
    {
        m_trimMM = {};
        return;
    }
    m_trimMM = {left, top, right, bottom};
}

// The visible part (the image less its trim margins) centred on an area of
// the given size in dots whose corner lies at (offsetX, offsetY) dots from
// the printable area's corner; the origin is the whole image's corner. The
// corner is worked out from the page's dots and rounded once, half up (a
// half tenth goes towards the right and bottom): the page's sizes rounded
// to tenths first would add their roundings up, and a fitted image would
// come out a few tenths off its centre, over an edge. A side that rounds
// to no tenth (a one-pixel line fitted to a page) is centred all the same:
// it is a point on the area's middle, not left where it was.
void CPrintLayout::PlaceCentred(int areaWidth, int areaHeight, int offsetX, int offsetY)
{
    if (!HasImage())
        return;
    const auto corner = [](int area, int offset, int dpi, std::int64_t visible) {
        return RoundHalfUpToInt(
            (DotsToTenthMMExact(area, dpi) - static_cast<double>(visible)) / 2.0 -
            DotsToTenthMMExact(offset, dpi));
    };
    const std::int64_t visibleWidth =
        std::int64_t{m_printWidth} - m_trimMM.left - m_trimMM.right;
    const std::int64_t visibleHeight =
        std::int64_t{m_printHeight} - m_trimMM.top - m_trimMM.bottom;
    m_originX = ClampToInt(std::int64_t{corner(areaWidth, offsetX, m_page.dpiX, visibleWidth)} -
                           m_trimMM.left);
    m_originY = ClampToInt(std::int64_t{corner(areaHeight, offsetY, m_page.dpiY, visibleHeight)} -
                           m_trimMM.top);
}

void CPrintLayout::UpdatePosition()
{
    switch (m_positionMode)
    {
    case PrintPositionMode::CentreOfPaper:
        PlaceCentred(m_page.physicalWidth, m_page.physicalHeight, m_page.offsetX, m_page.offsetY);
        break;
    case PrintPositionMode::CentreOfPrintableArea:
        PlaceCentred(m_page.printableWidth, m_page.printableHeight, 0, 0);
        break;
    case PrintPositionMode::Custom:
        break;
    }
}

void CPrintLayout::SetScaleAndUpdate(double scale)
{
    m_scale = scale;
    UpdatePrintSize();
    UpdatePosition();
}

bool CPrintLayout::SetRatio(double scale)
{
    if (!IsValidScale(scale))
        return false;
    SetScaleAndUpdate(scale);
    return true;
}

bool CPrintLayout::SetRatioSpin(int position)
{
    return SetRatio(position / 1000.0);
}

// The image side taken as that many printer dots, in 0.1 mm: the print size
// at a scale of 1.
bool CPrintLayout::SetScaleFromSize(int requested, int imageSide, int dpi)
{
    const int sideAtOne = DotsToTenthMM(imageSide, dpi);
    if (sideAtOne <= 0)
        return false;
    SetScaleAndUpdate(static_cast<double>(requested) / sideAtOne);
    return true;
}

bool CPrintLayout::SetWidthTenthMM(int width)
{
    if (!IsValidWidth(width))
        return false;
    return SetScaleFromSize(width, m_imageWidth, m_page.dpiX);
}

bool CPrintLayout::SetHeightTenthMM(int height)
{
    if (!IsValidHeight(height))
        return false;
    return SetScaleFromSize(height, m_imageHeight, m_page.dpiY);
}

CPrintLayout::FitResult CPrintLayout::SetFit(bool fit)
{
    m_fit = fit;
    FitResult result;
    if (fit)
    {
        m_rememberedScale = m_scale;
        ComputeFitScale();
        if (m_positionMode == PrintPositionMode::Custom)
        {
            m_positionMode = PrintPositionMode::CentreOfPrintableArea;
            result.positionModeChanged = true;
        }
    }
    else
    {
        m_scale = m_rememberedScale;
    }
    UpdatePrintSize();
    UpdatePosition();
    return result;
}

CPrintLayout::FitResult CPrintLayout::SetFitMode(PrintFitMode mode)
{
    m_fitMode = mode;
    FitResult result;
    ComputeFitScale();
    if (m_positionMode == PrintPositionMode::Custom)
    {
        m_positionMode = PrintPositionMode::CentreOfPrintableArea;
        result.positionModeChanged = true;
    }
    UpdatePrintSize();
    UpdatePosition();
    return result;
}

void CPrintLayout::SetPositionMode(PrintPositionMode mode)
{
    m_positionMode = mode;
    if (mode != PrintPositionMode::Custom && m_fit)
    {
        ComputeFitScale();
        UpdatePrintSize();
    }
    UpdatePosition();
}

void CPrintLayout::SetLeft(int tenthMM)
{
    const int visible = ClampToInt(std::int64_t{m_printWidth} - m_trimMM.left - m_trimMM.right);
    const int corner = ClampVisibleCorner(tenthMM, m_offsetX, visible, m_physicalWidth);
    m_originX = ClampToInt(std::int64_t{corner} - m_trimMM.left);
}

void CPrintLayout::SetTop(int tenthMM)
{
    const int visible = ClampToInt(std::int64_t{m_printHeight} - m_trimMM.top - m_trimMM.bottom);
    const int corner = ClampVisibleCorner(tenthMM, m_offsetY, visible, m_physicalHeight);
    m_originY = ClampToInt(std::int64_t{corner} - m_trimMM.top);
}

void CPrintLayout::SetLeftTop(int left, int top)
{
    SetLeft(left);
    SetTop(top);
}

void CPrintLayout::OnFrameChanged(const PrintRectTenthMM& rect, int handle)
{
    m_fit = false;
    if (handle == kTrackerHandleMove)
        m_positionMode = PrintPositionMode::Custom;
    const int previousWidth = m_printWidth;
    m_printWidth = rect.Width();
    m_printHeight = rect.Height();
    m_originX = rect.left;
    m_originY = rect.top;
    const bool widthChanged = rect.Width() != previousWidth;
    if (handle != kTrackerHandleMove && handle != kTrackerHandleNone && widthChanged)
    {
        // A resize: the scale that prints the whole image as wide as the
        // frame says. (The end of every drag is reported as a resize; a
        // frame as wide as before keeps its scale, which recomputed from
        // the rounded width would drift by a thousandth.)
        const int widthAtOne = DotsToTenthMM(m_imageWidth, m_page.dpiX);
        if (widthAtOne > 0)
        {
            m_scale = static_cast<double>(m_printWidth) / widthAtOne;
            UpdatePrintSize();
        }
    }
}

void CPrintLayout::OnTrimmingChanged(const PrintMargins& pixelMargins)
{
    m_pixelMargins = pixelMargins;
    m_fit = false;
    m_positionMode = PrintPositionMode::Custom;
    UpdateTrimMarginsMM();
}

PrintMargins CPrintLayout::ApplyTrimmingDialog(const PrintMargins& tenthMM)
{
    m_trimMM = tenthMM;
    int left = tenthMM.left;
    int top = tenthMM.top;
    int right = tenthMM.right;
    int bottom = tenthMM.bottom;
    // 0.1 mm -> dots -> image pixels (dots / scale, rounded once more).
    if (m_scale > 0.0 && TenthMMToDots(m_page, left, top) && TenthMMToDots(m_page, right, bottom))
    {
        auto pixels = [this](int dots) {
            return TruncToInt(dots / m_scale + 0.5);
        };
        m_pixelMargins = KeepOnePixel({pixels(left), pixels(top), pixels(right), pixels(bottom)},
                                      m_imageWidth, m_imageHeight);
    }
    m_fit = false;
    UpdateTrimMarginsMM();
    m_positionMode = PrintPositionMode::Custom;
    return m_pixelMargins;
}

int CPrintLayout::RatioSpinPosition() const
{
    return TruncToInt(m_scale * 1000.0 + 0.5);
}

std::string CPrintLayout::RatioText() const
{
    return FormatOneDecimal(m_scale * 100.0);
}

int CPrintLayout::PrintWidthDots() const
{
    return TenthMMToDots(m_printWidth, m_page.dpiX);
}

int CPrintLayout::PrintHeightDots() const
{
    return TenthMMToDots(m_printHeight, m_page.dpiY);
}

std::string CPrintLayout::PaperSizeText() const
{
    char text[96];
    std::snprintf(text, sizeof text, "[ %.1f x %.1f mm ]", m_physicalWidth / 10.0,
                  m_physicalHeight / 10.0);
    return text;
}

bool CPrintLayout::FitsPage(int left, int top) const
{
    // In 64 bits: a position typed with many digits must not wrap round
    // onto the page.
    const std::int64_t visibleWidth =
        std::int64_t{m_printWidth} - m_trimMM.left - m_trimMM.right;
    const std::int64_t visibleHeight =
        std::int64_t{m_printHeight} - m_trimMM.top - m_trimMM.bottom;
    return left >= -1 && top >= -1 && left + visibleWidth <= std::int64_t{m_printableWidth} + 1 &&
           top + visibleHeight <= std::int64_t{m_printableHeight} + 1;
}
