#pragma once
// Where and how large the single-image print dialog prints its image.
//
// Units. Page geometry is held in tenths of a millimetre (0.1 mm), relative
// to the top-left corner of the printable area; the size of the printed
// image as a scale in printer dots per image pixel (an image of W x H
// pixels prints as W x scale by H x scale dots); the trimming both in image
// pixels (what the preview cuts away) and in 0.1 mm (the same cut as it
// lies on paper). Every dots <-> 0.1 mm conversion is PageGeometry's, which
// rounds once, half up.
//
// The class holds the state and the arithmetic; the dialog owns one, feeds
// it what the user does and writes its controls (and the preview) from the
// values below. The dialog's re-entrancy guard, which keeps a control that
// is being typed into from being rewritten, stays with the dialog.

#include "print/PageGeometry.h"

#include <string>

// Margins of the image in one unit (image pixels or 0.1 mm): what is cut
// away at each side.
struct PrintMargins
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const PrintMargins&) const = default;
};

// A rectangle in 0.1 mm relative to the printable area's top-left corner;
// right and bottom are one past the last tenth (width = right - left).
struct PrintRectTenthMM
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const PrintRectTenthMM&) const = default;
};

// Where the image is placed (radios 11050 / 11051 / 11052).
enum class PrintPositionMode
{
    CentreOfPaper = 0,
    CentreOfPrintableArea = 1,
    Custom = 2
};

// What fitting to the paper does (radios 11239 / 11240).
enum class PrintFitMode
{
    WholeImage = 0, // the whole image on the paper: the smaller scale
    FillPaper = 1   // the paper covered: the larger scale
};

// The preview's tracker handle codes as the layout reads them.
inline constexpr int kTrackerHandleNone = -1;
inline constexpr int kTrackerHandleMove = 8;

// Bounds of the scale a ratio may set: 1 % to 10000 %.
inline constexpr double kMinPrintScale = 0.01;
inline constexpr double kMaxPrintScale = 100.0;

// Pixel margins of a width x height image that leave at least one pixel
// across and down: margins meeting in the middle give way on the right and
// bottom. Negative margins become 0; an empty image has none.
PrintMargins KeepOnePixel(PrintMargins margins, int width, int height);

// "%.1f" of tenths as millimetres, and a typed millimetre value as tenths
// (x 10, truncated), the two forms every print edit uses.
std::string FormatTenthMM(int tenthMM);
int TenthMMFromMM(double mm);

class CPrintLayout
{
public:
    // What a new page did to the placement.
    struct PaperLayoutResult
    {
        // The paper's centre lies inside the printable area, so "centre of
        // paper" may be chosen (radio 11050 enabled).
        bool centreOfPaperAvailable = true;
        // The position was centre of paper and became centre of the
        // printable area because the paper's centre is outside it.
        bool positionModeChanged = false;
    };

    // What switching fit on or off did beyond the size.
    struct FitResult
    {
        // A custom position became centre of the printable area (its
        // controls are disabled and the image tracker keeps its centre).
        bool positionModeChanged = false;
    };

    CPrintLayout() = default;

    // --- inputs -----------------------------------------------------------
    // The image's size in pixels; 0 x 0 when there is none.
    void SetImageSize(int width, int height);
    int ImageWidth() const { return m_imageWidth; }
    int ImageHeight() const { return m_imageHeight; }
    bool HasImage() const { return m_imageWidth > 0 && m_imageHeight > 0; }

    // --- the layout operations ------------------------------------------
    // A new printer, paper or orientation: the page in 0.1 mm, the size
    // limits, the fit scale when fit is on, the print size and the
    // position. The remembered manual scale goes back to 1.0.
    PaperLayoutResult UpdatePaperLayout(const PageGeometry& page);
    // The fit scale of the fit mode; does nothing without an image or a
    // page to fit on.
    void ComputeFitScale();
    // The print size from the scale, then the trim margins in 0.1 mm.
    void UpdatePrintSize();
    // The trim margins in 0.1 mm from the pixel margins and the scale.
    void UpdateTrimMarginsMM();
    // The origin from the position mode.
    void UpdatePosition();

    // --- size input (false: rejected, nothing changed) -------------------
    // A ratio as a scale (typed percent / 100), 0.01 .. 100.
    bool SetRatio(double scale);
    // The ratio spin's position (scale x 1000).
    bool SetRatioSpin(int position);
    // A print width or height in 0.1 mm within the limits.
    bool SetWidthTenthMM(int width);
    bool SetHeightTenthMM(int height);

    // --- fit and position --------------------------------------------------
    FitResult SetFit(bool fit);
    // Fit off with the scale as it stands (the trimming mode works on the
    // size the image has).
    void ClearFit() { m_fit = false; }
    // The fit radios: as switching fit on, the remembered scale untouched.
    FitResult SetFitMode(PrintFitMode mode);
    void SetPositionMode(PrintPositionMode mode);
    // The visible part's corner typed or spun (0.1 mm from the printable
    // area's corner); the position mode stays. A corner further off than
    // the visible part lying wholly beside the paper (one tenth beyond its
    // edge) is held there: the image is off the page either way.
    void SetLeft(int tenthMM);
    void SetTop(int tenthMM);
    void SetLeftTop(int left, int top);

    // --- changes from the preview -----------------------------------------
    // The image frame was moved (handle 8) or resized (any other handle
    // but -1); rect is the whole image in 0.1 mm relative to the printable
    // area.
    void OnFrameChanged(const PrintRectTenthMM& rect, int handle);
    // The trimming frame changed; margins are the preview's new pixel
    // margins.
    void OnTrimmingChanged(const PrintMargins& pixelMargins);
    // The trimming dialog's four margins in 0.1 mm; returns the pixel
    // margins the preview takes.
    PrintMargins ApplyTrimmingDialog(const PrintMargins& tenthMM);
    // Limits of the trimming dialog: print width - 1, print height - 1.
    int TrimWidthLimit() const { return m_printWidth - 1; }
    int TrimHeightLimit() const { return m_printHeight - 1; }

    // --- the state --------------------------------------------------------
    double Scale() const { return m_scale; }
    double RememberedScale() const { return m_rememberedScale; }
    int PrintWidth() const { return m_printWidth; }
    int PrintHeight() const { return m_printHeight; }
    int OriginX() const { return m_originX; }
    int OriginY() const { return m_originY; }
    const PrintMargins& TrimMarginsMM() const { return m_trimMM; }
    const PrintMargins& PixelMargins() const { return m_pixelMargins; }
    void SetPixelMargins(const PrintMargins& margins) { m_pixelMargins = margins; }
    int MinWidth() const { return m_minWidth; }
    int MinHeight() const { return m_minHeight; }
    int MaxWidth() const { return m_maxWidth; }
    int MaxHeight() const { return m_maxHeight; }
    bool Fit() const { return m_fit; }
    PrintFitMode FitMode() const { return m_fitMode; }
    PrintPositionMode PositionMode() const { return m_positionMode; }
    bool CentreOfPaperAvailable() const { return m_centreOfPaperAvailable; }
    // The image tracker keeps its centre while the position is centred.
    bool TrackerKeepsCentre() const { return m_positionMode != PrintPositionMode::Custom; }
    bool CustomPositionEnabled() const { return m_positionMode == PrintPositionMode::Custom; }

    // The page in 0.1 mm (and the dots it came from).
    const PageGeometry& Page() const { return m_page; }
    int PhysicalWidthMM() const { return m_physicalWidth; }
    int PhysicalHeightMM() const { return m_physicalHeight; }
    int PrintableWidthMM() const { return m_printableWidth; }
    int PrintableHeightMM() const { return m_printableHeight; }
    int OffsetXMM() const { return m_offsetX; }
    int OffsetYMM() const { return m_offsetY; }

    // --- what the controls show -------------------------------------------
    // Ratio spin 11042: trunc(scale x 1000 + 0.5).
    int RatioSpinPosition() const;
    // Ratio edit 11028: "%.1f" of scale x 100.
    std::string RatioText() const;
    std::string WidthText() const { return FormatTenthMM(m_printWidth); }
    std::string HeightText() const { return FormatTenthMM(m_printHeight); }
    // 11034 / 11035: the print size in printer dots.
    int PrintWidthDots() const;
    int PrintHeightDots() const;
    // Spins 11045 / 11046 and edits 11026 / 11027: the visible part's
    // corner relative to the printable area (saturated: trim margins of an
    // extreme scale may already be at the end of int's range).
    int VisibleLeft() const { return SaturatedInt(static_cast<double>(m_originX) + m_trimMM.left); }
    int VisibleTop() const { return SaturatedInt(static_cast<double>(m_originY) + m_trimMM.top); }
    std::string LeftText() const { return FormatTenthMM(VisibleLeft()); }
    std::string TopText() const { return FormatTenthMM(VisibleTop()); }
    // 11015: "[ %.1f x %.1f mm ]" of the physical size.
    std::string PaperSizeText() const;

    // --- checks before printing -------------------------------------------
    // A ratio (as a scale) the layout accepts: 1 % to 10000 %.
    static bool IsValidScale(double scale)
    {
        return scale >= kMinPrintScale && scale <= kMaxPrintScale;
    }
    bool IsValidWidth(int tenthMM) const { return tenthMM >= m_minWidth && tenthMM <= m_maxWidth; }
    bool IsValidHeight(int tenthMM) const
    {
        return tenthMM >= m_minHeight && tenthMM <= m_maxHeight;
    }
    // The visible part with its corner at (left, top) stays on the
    // printable area, allowing 0.1 mm over each edge.
    bool FitsPage(int left, int top) const;

private:
    // scale := requested / (image side taken as dots, in 0.1 mm).
    bool SetScaleFromSize(int requested, int imageSide, int dpi);
    void SetScaleAndUpdate(double scale);
    void PlaceCentred(int areaWidth, int areaHeight, int offsetX, int offsetY);

    PageGeometry m_page;
    int m_imageWidth = 0;
    int m_imageHeight = 0;

    double m_scale = 1.0;
    double m_rememberedScale = 1.0;
    int m_printWidth = 0;
    int m_printHeight = 0;
    int m_originX = 0;
    int m_originY = 0;
    PrintMargins m_trimMM;
    PrintMargins m_pixelMargins;
    int m_minWidth = 0;
    int m_minHeight = 0;
    int m_maxWidth = 0;
    int m_maxHeight = 0;

    bool m_fit = true;
    PrintFitMode m_fitMode = PrintFitMode::WholeImage;
    PrintPositionMode m_positionMode = PrintPositionMode::CentreOfPaper;
    bool m_centreOfPaperAvailable = true;

    int m_physicalWidth = 0;
    int m_physicalHeight = 0;
    int m_printableWidth = 0;
    int m_printableHeight = 0;
    int m_offsetX = 0;
    int m_offsetY = 0;
};
