#pragma once
// The page preview of the single-image print dialog (control 11017).
//
// It draws the sheet scaled into the control, the printable area, the image
// at its print position and size (converted once from the image's colour
// space to the monitor profile and kept), the centre lines, a lightened
// mask over what falls outside the printable area and over the trimmed-away
// parts, and two frames: the image frame (CImageTracker), which moves and
// resizes the printed image keeping its aspect, and the trimming frame
// (CMyTracker), which chooses the part of the image to print.
//
// Units: client pixels of the control; 0.1 mm relative to the printable
// area; image pixels. The preview scale is client pixels per 0.1 mm.
//
// What the mouse changes reaches the dialog through two signals carrying
// the design's message numbers:
//   printFrameChanged(UWM_PRINT_FRAME_CHANGED, image rect in 0.1 mm, handle)
//   printTrimmingChanged(UWM_PRINT_TRIMMING_CHANGED, pixel margins, handle)
// Both are emitted synchronously; the frames' own step messages
// (UWM_PREVIEW_...) reach the preview queued, as posted messages would.
//
// The page is drawn into a back buffer that stays valid until Redraw or a
// change of image, colour space or profile; the frames are drawn over it.

#include "controls/widgets/ControlWidget.h"
#include "print/PrintLayout.h"
#include "print/RectTracker.h"

#include <QImage>
#include <QMetaType>

#include <memory>
#include <string>

class CImageEx;
class CRGBImage;
struct LogColorSpace;
class CPrintPreviewCtrl;

// The image frame: frames the visible (trimmed) part of the printed image
// and keeps its aspect while resized, within a minimum and maximum size.
class CImageTracker : public CRectTracker
{
public:
    CImageTracker();
    ~CImageTracker() override = default;

    // Size whose aspect a resize keeps (the trimmed image).
    int m_referenceWidth = 0;
    int m_referenceHeight = 0;
    double m_aspect = 1.0; // width / height
    // Where a move with Control may go: the printable rectangle.
    CRect m_bounds;
    int m_minTrackWidth = 0;
    int m_minTrackHeight = 0;
    int m_maxTrackWidth = 0;
    int m_maxTrackHeight = 0;
    // While the position is centred, a resize keeps the frame's centre.
    bool m_keepCentre = false;
    // UWM_PREVIEW_FRAME_CHANGED, posted to the owner after every step.
    int m_notifyMessage = 0;
    CPrintPreviewCtrl* m_owner = nullptr;

    void SetStartRect(const CRect& rect) { m_startRect = rect; }

protected:
    void AdjustRect(int handle, CRect& rect) override;

private:
    CRect m_startRect;
};

// The trimming frame: any part of the image, never beyond it.
class CMyTracker : public CRectTracker
{
public:
    CMyTracker();
    ~CMyTracker() override = default;

    // The image rectangle the frame stays inside.
    CRect m_bounds;
    // UWM_PREVIEW_TRIMMING_CHANGED, posted to the owner after every step.
    int m_notifyMessage = 0;
    CPrintPreviewCtrl* m_owner = nullptr;

    void SetStartRect(const CRect& rect) { m_startRect = rect; }

protected:
    void AdjustRect(int handle, CRect& rect) override;

private:
    CRect m_startRect;
};

class CPrintPreviewCtrl : public CControlWidget
{
    Q_OBJECT
public:
    static constexpr int kControlId = 11017;
    static constexpr int UWM_PREVIEW_FRAME_CHANGED = 0x8B1;
    static constexpr int UWM_PRINT_FRAME_CHANGED = 0x8B2;
    static constexpr int UWM_PREVIEW_TRIMMING_CHANGED = 0x8B3;
    static constexpr int UWM_PRINT_TRIMMING_CHANGED = 0x8B4;

    explicit CPrintPreviewCtrl(QWidget* parent = nullptr);
    ~CPrintPreviewCtrl() override;

    // --- set by the dialog ------------------------------------------------
    // The print copy (borrowed; null or empty: no image): 16-bit pixels in
    // the colour space SetColorSpace names.
    void SetImage(const CRGBImage* image);
    // The image's colour space (borrowed; null: sRGB).
    void SetColorSpace(const LogColorSpace* colorSpace);
    // The monitor profile the image is shown in ("" the monitor's own).
    void SetProfilePath(const std::string& path);
    // The page, all in 0.1 mm. A 0 x 0 sheet changes nothing.
    void SetPaper(int printableWidth, int printableHeight, int physicalWidth, int physicalHeight,
                  int offsetX, int offsetY, int minWidth, int minHeight, int maxWidth,
                  int maxHeight);
    // The pixel margins of the trimming.
    void SetTrimMargins(const PrintMargins& pixels);
    // The image and trimming rectangles from print size, origin, margins.
    void UpdateImageRect();
    // Marks the back buffer stale and repaints; reconvert also rebuilds the
    // display image.
    void Redraw(bool reconvert);

    // Written by the dialog directly, followed by UpdateImageRect or a
    // repaint.
    int m_printWidth = 0;  // 0.1 mm
    int m_printHeight = 0; // 0.1 mm
    int m_originX = 0;     // 0.1 mm from the printable area
    int m_originY = 0;
    // The dialog's trim margins in 0.1 mm (the edge warnings use them).
    PrintMargins m_trimMarginsMM;
    bool m_centerLines = true;
    bool m_printableArea = true;
    bool m_maskOutside = true;
    bool m_imageTrackerShown = false;
    bool m_trimOverlayAllowed = false;
    bool m_trimTrackerShown = false;
    bool m_showTrimmedAway = true;

    // --- state the dialog and tests read ----------------------------------
    const CRect& PaperRect() const { return m_paperRect; }
    const CRect& PrintableRect() const { return m_printableRect; }
    const CRect& ImageRect() const { return m_imageRect; }
    const CRect& TrimRect() const { return m_trimRect; }
    double PreviewScale() const { return m_previewScale; }
    const PrintMargins& PixelMargins() const { return m_pixelMargins; }
    CImageTracker& ImageTracker() { return m_imageTracker; }
    CMyTracker& TrimTracker() { return m_trimTracker; }
    bool IsBackBufferValid() const { return m_backBufferValid; }
    // How often the display image has been converted (it is kept across
    // layout changes).
    int ConversionCount() const { return m_conversionCount; }

    void paint(QPainter& painter) const override;

    // The frames' step messages (posted by the trackers).
    void OnPreviewFrameChanged(int handle);
    void OnPreviewTrimmingChanged(int handle);
    // Posts a step message to this control (queued).
    void PostPreviewMessage(int message, int handle);

signals:
    void printFrameChanged(int message, PrintRectTenthMM rect, int handle);
    void printTrimmingChanged(int message, PrintMargins pixelMargins, int handle);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The page as SetPaper last gave it (0.1 mm), laid out again when the
    // control changes size.
    struct PaperArgs
    {
        int printableWidth = 0, printableHeight = 0;
        int physicalWidth = 0, physicalHeight = 0;
        int offsetX = 0, offsetY = 0;
        int minWidth = 0, minHeight = 0, maxWidth = 0, maxHeight = 0;
    };

    bool HasImage() const;
    CRect ClientRect() const;
    void LayoutPaper();
    void DrawPage(QImage& page) const;
    void DrawImage(QImage& page) const;
    bool EnsureDisplayImage() const;
    void ReportLater(int stringId, int error) const;

    const CRGBImage* m_image = nullptr;
    const LogColorSpace* m_colorSpace = nullptr;
    std::string m_profilePath;

    CRect m_paperRect;
    CRect m_printableRect;
    CRect m_imageRect;
    CRect m_trimRect;
    double m_previewScale = 0.0;
    int m_printableWidth = 0;  // 0.1 mm
    int m_printableHeight = 0; // 0.1 mm
    PrintMargins m_pixelMargins;

    PaperArgs m_paperArgs;

    CImageTracker m_imageTracker;
    CMyTracker m_trimTracker;
    // The frame a press started dragging, null between drags.
    CRectTracker* m_tracking = nullptr;

    // The page as last drawn, and the image converted for the monitor.
    mutable QImage m_backBuffer;
    mutable bool m_backBufferValid = false;
    mutable std::unique_ptr<CImageEx> m_display;
    mutable bool m_reconvert = true;
    mutable bool m_converted = false;
    mutable bool m_busy = false;
    mutable int m_conversionCount = 0;
};

Q_DECLARE_METATYPE(PrintRectTenthMM)
Q_DECLARE_METATYPE(PrintMargins)
