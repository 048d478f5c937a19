#include "print/PrintPreviewCtrl.h"

#include "controls/support/ColorRef.h"
#include "core/ColorDisplay.h"
#include "core/ErrorRecord.h"
#include "core/ImageEx.h"
#include "core/MessageSink.h"
#include "core/RGBImage.h"
#include "print/PrintPreviewLogic.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace {

constexpr int kMessageNoMemory = 11087;

// The preview's colours as the design gives them.
const COLORREF kBackgroundColor = MakeColorRef(0xE0, 0xE0, 0xE0);
const COLORREF kMarginColor = MakeColorRef(0xA8, 0xA8, 0xA8);
const COLORREF kPaperColor = MakeColorRef(0xFF, 0xFF, 0xFF);
const COLORREF kCentreLineColor = 0xFF844A;
const COLORREF kEdgeColor = MakeColorRef(0x80, 0x80, 0x80);
const COLORREF kEdgeWarningColor = 0x4A4AFF;

// Blends every pixel of the part towards white: c -> base + c / divisor
// (128 + c / 2 for the mask outside the printable area, 192 + c / 4 for
// the trimmed-away parts).
void Lighten(QImage& image, const CRect& part, int base, int divisor)
{
    const CRect r = IntersectRect(part, CRect(0, 0, image.width(), image.height()));
    for (int y = r.top; y < r.bottom; ++y)
    {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = r.left; x < r.right; ++x)
        {
            const QRgb c = line[x];
            line[x] = qRgb(base + qRed(c) / divisor, base + qGreen(c) / divisor,
                           base + qBlue(c) / divisor);
        }
    }
}

QRect ToQRect(const CRect& r)
{
    return QRect(r.left, r.top, r.Width(), r.Height());
}

double AspectOf(int width, int height)
{
    return height > 0 ? static_cast<double>(width) / height : 1.0;
}

} // namespace

// ---------------------------------------------------------------------------
// The image frame

CImageTracker::CImageTracker()
{
    m_nStyle = dottedLine | resizeOutside;
}

void CImageTracker::AdjustRect(int handle, CRect& rect)
{
    CRectTracker::AdjustRect(handle, rect);
    const CRect& s = m_startRect;
    if (handle == hitMiddle)
    {
        // Shift: along the axis the mouse has gone further on.
        if (m_shiftDown)
        {
            const int dx = rect.left - s.left;
            const int dy = rect.top - s.top;
            if (std::abs(dy) < std::abs(dx))
            {
                rect.top = s.top;
                rect.bottom = s.bottom;
            }
            else
            {
                rect.left = s.left;
                rect.right = s.right;
            }
        }
        // Control: pushed back onto the printable area, keeping its size.
        if (m_controlDown)
        {
            const int w = rect.Width();
            const int h = rect.Height();
            if (rect.left < m_bounds.left)
                rect.left = m_bounds.left;
            else if (rect.right > m_bounds.right)
                rect.left = m_bounds.right - w;
            if (rect.top < m_bounds.top)
                rect.top = m_bounds.top;
            else if (rect.bottom > m_bounds.bottom)
                rect.top = m_bounds.bottom - h;
            rect.right = rect.left + w;
            rect.bottom = rect.top + h;
        }
    }
    else if (handle != hitNothing && m_referenceWidth > 0 && m_referenceHeight > 0 &&
             m_aspect > 0.0)
    {
        auto widthOf = [this](int h) { return static_cast<int>(std::trunc(h * m_aspect + 0.5)); };
        auto heightOf = [this](int w) { return static_cast<int>(std::trunc(w / m_aspect + 0.5)); };
        int w = 0;
        int h = 0;
        if (handle == hitLeft || handle == hitRight)
        {
            // The width drives; the height follows within its limits.
            w = rect.Width();
            h = heightOf(w);
            if (h < m_minTrackHeight)
                h = m_minTrackHeight;
            else if (m_maxTrackHeight > 0 && h > m_maxTrackHeight)
                h = m_maxTrackHeight;
            w = widthOf(h);
        }
        else
        {
            // The height drives; a width beyond its limits is clamped and
            // the height taken from it again.
            h = rect.Height();
            w = widthOf(h);
            if (w < m_minTrackWidth)
            {
                w = m_minTrackWidth;
                h = heightOf(w);
            }
            else if (m_maxTrackWidth > 0 && w > m_maxTrackWidth)
            {
                w = m_maxTrackWidth;
                h = heightOf(w);
            }
        }

        // The edges opposite the handle stay (or, keeping the centre, move
        // out by half the growth); an edge handle centres the other axis on
        // the frame it started from.
        const int growX = (w - s.Width()) / 2;
        const int growY = (h - s.Height()) / 2;
        const bool left = handle == hitTopLeft || handle == hitBottomLeft || handle == hitLeft;
        const bool right = handle == hitTopRight || handle == hitBottomRight || handle == hitRight;
        const bool top = handle == hitTopLeft || handle == hitTopRight || handle == hitTop;
        const bool bottom =
            handle == hitBottomLeft || handle == hitBottomRight || handle == hitBottom;
        if (left)
        {
            rect.right = m_keepCentre ? s.right + growX : s.right;
            rect.left = rect.right - w;
        }
        else if (right)
        {
            rect.left = m_keepCentre ? s.left - growX : s.left;
            rect.right = rect.left + w;
        }
        else
        {
            rect.left = s.left - (s.left + w - s.right) / 2;
            rect.right = rect.left + w;
        }
        if (top)
        {
            rect.bottom = m_keepCentre ? s.bottom + growY : s.bottom;
            rect.top = rect.bottom - h;
        }
        else if (bottom)
        {
            rect.top = m_keepCentre ? s.top - growY : s.top;
            rect.bottom = rect.top + h;
        }
        else
        {
            rect.top = s.top - (s.top + h - s.bottom) / 2;
            rect.bottom = rect.top + h;
        }
    }
    if (m_owner && m_notifyMessage != 0)
        m_owner->PostPreviewMessage(m_notifyMessage, handle);
}

// ---------------------------------------------------------------------------
// The trimming frame

CMyTracker::CMyTracker()
{
    m_nStyle = dottedLine | resizeOutside;
}

void CMyTracker::AdjustRect(int handle, CRect& rect)
{
    CRectTracker::AdjustRect(handle, rect);
    const CRect& s = m_startRect;
    const bool move = handle == hitMiddle;
    // Each edge beyond the image is set onto it; a moved frame keeps its
    // size, so the opposite edge follows.
    if (rect.left < m_bounds.left)
    {
        rect.left = m_bounds.left;
        if (move)
            rect.right = s.right + m_bounds.left - s.left;
    }
    if (rect.right > m_bounds.right)
    {
        rect.right = m_bounds.right;
        if (move)
            rect.left = s.left + m_bounds.right - s.right;
    }
    if (rect.top < m_bounds.top)
    {
        rect.top = m_bounds.top;
        if (move)
            rect.bottom = s.bottom + m_bounds.top - s.top;
    }
    if (rect.bottom > m_bounds.bottom)
    {
        rect.bottom = m_bounds.bottom;
        if (move)
            rect.top = s.top + m_bounds.bottom - s.bottom;
    }
    if (m_owner && m_notifyMessage != 0)
        m_owner->PostPreviewMessage(m_notifyMessage, handle);
}

// ---------------------------------------------------------------------------
// The preview

CPrintPreviewCtrl::CPrintPreviewCtrl(QWidget* parent) : CControlWidget(parent)
{
    setObjectName(QString::number(kControlId));
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    m_imageTracker.m_owner = this;
    m_imageTracker.m_notifyMessage = UWM_PREVIEW_FRAME_CHANGED;
    m_trimTracker.m_owner = this;
    m_trimTracker.m_notifyMessage = UWM_PREVIEW_TRIMMING_CHANGED;
}

CPrintPreviewCtrl::~CPrintPreviewCtrl() = default;

bool CPrintPreviewCtrl::HasImage() const
{
    return m_image != nullptr && !m_image->IsEmpty();
}

CRect CPrintPreviewCtrl::ClientRect() const
{
    return {0, 0, width(), height()};
}

void CPrintPreviewCtrl::SetImage(const CRGBImage* image)
{
    m_image = image;
    if (!HasImage())
        return;
    UpdateImageRect();
    m_imageTracker.m_referenceWidth = m_image->GetWidth();
    m_imageTracker.m_referenceHeight = m_image->GetHeight();
    m_imageTracker.m_aspect = AspectOf(m_image->GetWidth(), m_image->GetHeight());
    m_display.reset();
    m_converted = false;
    m_backBufferValid = false;
    m_reconvert = true;
    update();
}

void CPrintPreviewCtrl::SetColorSpace(const LogColorSpace* colorSpace)
{
    m_colorSpace = colorSpace;
    m_backBufferValid = false;
    m_reconvert = true;
    update();
}

void CPrintPreviewCtrl::SetProfilePath(const std::string& path)
{
    m_profilePath = path;
    m_backBufferValid = false;
    m_reconvert = true;
    update();
}

void CPrintPreviewCtrl::SetPaper(int printableWidth, int printableHeight, int physicalWidth,
                                 int physicalHeight, int offsetX, int offsetY, int minWidth,
                                 int minHeight, int maxWidth, int maxHeight)
{
    if (physicalWidth == 0 && physicalHeight == 0)
        return;
    m_paperArgs = {printableWidth, printableHeight, physicalWidth, physicalHeight, offsetX,
                   offsetY,        minWidth,        minHeight,     maxWidth,       maxHeight};
    LayoutPaper();
}

void CPrintPreviewCtrl::LayoutPaper()
{
    const PaperArgs& a = m_paperArgs;
    if (a.physicalWidth == 0 && a.physicalHeight == 0)
        return;
    const PreviewPaper paper = PreviewPaperRect(ClientRect(), a.physicalWidth, a.physicalHeight);
    m_paperRect = paper.paper;
    m_previewScale = paper.scale;
    m_printableRect = PreviewPrintableRect(m_paperRect, m_previewScale, a.offsetX, a.offsetY,
                                           a.printableWidth, a.printableHeight);
    UpdateImageRect();
    auto scaled = [this](int v) { return static_cast<int>(std::trunc(v * m_previewScale)); };
    m_imageTracker.m_bounds = m_printableRect;
    m_imageTracker.m_minTrackWidth = scaled(a.minWidth);
    m_imageTracker.m_minTrackHeight = scaled(a.minHeight);
    m_imageTracker.m_maxTrackWidth = scaled(a.maxWidth);
    m_imageTracker.m_maxTrackHeight = scaled(a.maxHeight);
    m_printableWidth = a.printableWidth;
    m_printableHeight = a.printableHeight;
    m_backBufferValid = false;
}

void CPrintPreviewCtrl::UpdateImageRect()
{
    m_imageRect = PreviewImageRect(m_printableRect, m_previewScale, m_originX, m_originY,
                                   m_printWidth, m_printHeight);
    const int w = HasImage() ? m_image->GetWidth() : 0;
    const int h = HasImage() ? m_image->GetHeight() : 0;
    m_trimRect = PreviewTrimRect(m_imageRect, w, h, m_pixelMargins);
    m_trimTracker.m_bounds = m_imageRect;
    m_trimTracker.m_rect = m_trimRect;
    m_imageTracker.m_rect = m_trimRect;
}

void CPrintPreviewCtrl::SetTrimMargins(const PrintMargins& pixels)
{
    m_pixelMargins = pixels;
    const int w = HasImage() ? m_image->GetWidth() : 0;
    const int h = HasImage() ? m_image->GetHeight() : 0;
    m_trimRect = PreviewTrimRect(m_imageRect, w, h, m_pixelMargins);
    m_trimTracker.m_rect = m_trimRect;
    m_imageTracker.m_rect = m_trimRect;
    m_imageTracker.m_referenceWidth = m_trimRect.Width();
    m_imageTracker.m_referenceHeight = m_trimRect.Height();
    m_imageTracker.m_aspect = AspectOf(m_trimRect.Width(), m_trimRect.Height());
}

void CPrintPreviewCtrl::Redraw(bool reconvert)
{
    m_backBufferValid = false;
    m_reconvert = reconvert || m_reconvert;
    repaint();
}

void CPrintPreviewCtrl::resizeEvent(QResizeEvent* event)
{
    CControlWidget::resizeEvent(event);
    LayoutPaper();
    m_backBufferValid = false;
}

// ---------------------------------------------------------------------------
// Painting

void CPrintPreviewCtrl::paint(QPainter& painter) const
{
    if (!m_backBufferValid || m_backBuffer.size() != size())
    {
        m_backBuffer = QImage(size(), QImage::Format_RGB32);
        DrawPage(m_backBuffer);
        m_backBufferValid = true;
    }
    painter.drawImage(0, 0, m_backBuffer);
    if (!HasImage())
        return;
    if (m_imageTrackerShown)
        m_imageTracker.Draw(painter);
    if (m_trimTrackerShown)
        m_trimTracker.Draw(painter);
}

void CPrintPreviewCtrl::DrawPage(QImage& page) const
{
    const CRect client = ClientRect();
    {
        QPainter p(&page);
        p.fillRect(ToQRect(client), ColorFromRef(kBackgroundColor));
        p.fillRect(ToQRect(m_paperRect),
                   ColorFromRef(m_printableArea ? kMarginColor : kPaperColor));
        p.fillRect(ToQRect(m_printableRect), ColorFromRef(kPaperColor));
    }
    if (HasImage())
        DrawImage(page);

    if (m_maskOutside)
    {
        const CRect& shown = m_showTrimmedAway ? m_imageRect : m_trimRect;
        for (const CRect& part : PreviewOutsideParts(shown, m_printableRect, client, 1))
            Lighten(page, part, 128, 2);
    }

    QPainter p(&page);
    p.setRenderHint(QPainter::Antialiasing, false);
    if (m_centerLines)
    {
        p.setPen(QPen(ColorFromRef(kCentreLineColor), 0));
        const int y = (client.bottom - client.top) / 2;
        const int x = (client.right - client.left) / 2;
        p.drawLine(client.left, y, client.right, y);
        p.drawLine(x, client.top, x, client.bottom);
    }
    if (m_printableArea)
    {
        const PrintableEdgeWarnings warn =
            PreviewEdgeWarnings(m_originX, m_originY, m_printWidth, m_printHeight, m_trimMarginsMM,
                                m_printableWidth, m_printableHeight);
        const QPen grey(ColorFromRef(kEdgeColor), 0);
        const QPen red(ColorFromRef(kEdgeWarningColor), 0);
        const CRect& r = m_printableRect;
        p.setPen(warn.left ? red : grey);
        p.drawLine(r.left, client.top, r.left, client.bottom);
        p.setPen(warn.right ? red : grey);
        p.drawLine(r.right, client.top, r.right, client.bottom);
        p.setPen(warn.top ? red : grey);
        p.drawLine(client.left, r.top, client.right, r.top);
        p.setPen(warn.bottom ? red : grey);
        p.drawLine(client.left, r.bottom, client.right, r.bottom);
    }
}

// A message box cannot open inside a paint: it is shown once the event loop
// runs again.
void CPrintPreviewCtrl::ReportLater(int stringId, int error) const
{
    QMetaObject::invokeMethod(
        const_cast<CPrintPreviewCtrl*>(this),
        [stringId, error] {
            if (stringId == 0)
                ShowLastErrorBox(error);
            else
                ShowMessage(stringId, {}, MessageButtons::Ok, MessageIcon::Error);
        },
        Qt::QueuedConnection);
}

// The display image is the image converted once from its colour space to
// the monitor profile; layout changes draw from it again. Without a usable
// profile it holds the pixels converted for sRGB (after one error box).
bool CPrintPreviewCtrl::EnsureDisplayImage() const
{
    if (m_display && m_converted && !m_reconvert)
        return true;
    if (!m_display)
        m_display = std::make_unique<CImageEx>();
    m_busy = true;
    errno = 0;
    const bool converted =
        ConvertImageForProfile(m_profilePath, *m_image, *m_display, m_colorSpace);
    const int error = errno;
    m_busy = false;
    ++m_conversionCount;
    m_reconvert = false;
    if (m_display->IsNull())
    {
        m_display.reset();
        m_converted = false;
        ReportLater(kMessageNoMemory, 0);
        return false;
    }
    m_converted = true;
    if (!converted)
        ReportLater(0, error != 0 ? error : EINVAL);
    return true;
}

void CPrintPreviewCtrl::DrawImage(QImage& page) const
{
    if (m_busy)
        return;
    if (!EnsureDisplayImage())
        return;

    const CImageEx& display = *m_display;
    const CRect source(0, 0, display.GetWidth(), display.GetHeight());
    StretchPart part = ClipStretch(m_imageRect, source, ClientRect());
    if (!m_showTrimmedAway)
        part = ClipStretch(part.dest, part.source, m_trimRect);
    if (part.dest.IsRectEmpty())
        return;

    const QImage pixels(display.GetBits(), display.GetWidth(), display.GetHeight(),
                        display.GetPitch(), QImage::Format_BGR888);
    {
        QPainter p(&page);
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        p.drawImage(ToQRect(part.dest), pixels, ToQRect(part.source));
    }

    if (m_trimOverlayAllowed && m_showTrimmedAway)
        for (const CRect& strip : PreviewOutsideParts(part.dest, m_trimRect, part.dest, 0))
            Lighten(page, strip, 192, 4);
}

// ---------------------------------------------------------------------------
// The frames' messages

void CPrintPreviewCtrl::PostPreviewMessage(int message, int handle)
{
    QMetaObject::invokeMethod(
        this,
        [this, message, handle] {
            if (message == UWM_PREVIEW_FRAME_CHANGED)
                OnPreviewFrameChanged(handle);
            else if (message == UWM_PREVIEW_TRIMMING_CHANGED)
                OnPreviewTrimmingChanged(handle);
        },
        Qt::QueuedConnection);
}

void CPrintPreviewCtrl::OnPreviewFrameChanged(int handle)
{
    if (!HasImage())
        return;
    const CRect before = m_imageRect;
    m_trimRect = m_imageTracker.m_rect;
    m_trimTracker.m_rect = m_trimRect;
    m_imageRect =
        PreviewImageFromTrim(m_trimRect, m_image->GetWidth(), m_image->GetHeight(), m_pixelMargins);
    m_trimTracker.m_bounds = m_imageRect;
    if (!(m_previewScale > 0.0))
        return;
    PrintRectTenthMM rect = PreviewRectToTenthMM(m_imageRect, m_printableRect, m_previewScale);
    // A frame that only moved keeps the print size it had: its edges,
    // truncated one by one, would make it up to two tenths narrower or
    // wider depending on where it lies.
    if (m_imageRect.Width() == before.Width() && m_imageRect.Height() == before.Height())
    {
        rect.right = rect.left + m_printWidth;
        rect.bottom = rect.top + m_printHeight;
    }
    emit printFrameChanged(UWM_PRINT_FRAME_CHANGED, rect, handle);
    m_printWidth = rect.Width();
    m_printHeight = rect.Height();
    m_originX = rect.left;
    m_originY = rect.top;
}

void CPrintPreviewCtrl::OnPreviewTrimmingChanged(int handle)
{
    if (!HasImage())
        return;
    m_trimRect = m_trimTracker.m_rect;
    m_imageTracker.m_rect = m_trimRect;
    m_pixelMargins = PreviewMarginsFromTrim(m_imageRect, m_trimRect, m_image->GetWidth(),
                                            m_image->GetHeight(), m_pixelMargins);
    m_imageTracker.m_referenceWidth = m_trimRect.Width();
    m_imageTracker.m_referenceHeight = m_trimRect.Height();
    m_imageTracker.m_aspect = AspectOf(m_trimRect.Width(), m_trimRect.Height());
    emit printTrimmingChanged(UWM_PRINT_TRIMMING_CHANGED, m_pixelMargins, handle);
}

// ---------------------------------------------------------------------------
// Mouse

void CPrintPreviewCtrl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !HasImage() || m_tracking)
        return;
    const QPoint pos = event->position().toPoint();
    const CPoint point{pos.x(), pos.y()};
    if (!m_trimTrackerShown)
    {
        if (m_imageTrackerShown)
        {
            m_imageTracker.SetStartRect(m_imageTracker.m_rect);
            if (m_imageTracker.BeginTrack(point))
                m_tracking = &m_imageTracker;
        }
    }
    else
    {
        m_trimTracker.SetStartRect(m_trimTracker.m_rect);
        if (m_trimTracker.BeginTrack(point))
            m_tracking = &m_trimTracker;
    }
}

void CPrintPreviewCtrl::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    const CPoint point{pos.x(), pos.y()};
    if (m_tracking)
    {
        const Qt::KeyboardModifiers mods = event->modifiers();
        m_tracking->TrackTo(point, mods.testFlag(Qt::ShiftModifier),
                            mods.testFlag(Qt::ControlModifier));
        update();
        return;
    }
    // The shown frame sets the cursor over its handles and inside.
    const CRectTracker* shown = nullptr;
    if (HasImage())
    {
        if (m_trimTrackerShown)
            shown = &m_trimTracker;
        else if (m_imageTrackerShown)
            shown = &m_imageTracker;
    }
    const int handle = shown ? shown->HitTest(point) : CRectTracker::hitNothing;
    if (handle == CRectTracker::hitNothing)
        unsetCursor();
    else
        setCursor(CRectTracker::CursorForHandle(handle));
}

void CPrintPreviewCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_tracking)
        return;
    CRectTracker* tracker = m_tracking;
    m_tracking = nullptr;
    // The steps the frame posted while dragged are handled before the end
    // of the drag, in the order they came.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    if (!tracker->EndTrack())
    {
        update();
        return;
    }
    // The end of a drag is reported once more, synchronously: handle 0 for
    // the image frame, -1 for the trimming frame.
    if (tracker == &m_imageTracker)
        OnPreviewFrameChanged(0);
    else
        OnPreviewTrimmingChanged(-1);
    Redraw(false);
}

void CPrintPreviewCtrl::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && m_tracking)
    {
        // The steps of the drag have been reported already; the frame put
        // back is reported as one more step of the same handle, so that the
        // owner's layout matches the frame again.
        CRectTracker* tracker = m_tracking;
        m_tracking = nullptr;
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
        const int handle = tracker->TrackHandle();
        const bool moved = tracker->HasMoved();
        tracker->CancelTrack();
        if (moved)
        {
            if (tracker == &m_imageTracker)
                OnPreviewFrameChanged(handle);
            else
                OnPreviewTrimmingChanged(handle);
        }
        Redraw(false);
        return;
    }
    CControlWidget::keyPressEvent(event);
}
