#pragma once
// What the project needs of the layers above it. The project lives below
// the GUI and uses no Qt; the application shell and printing implement
// these interfaces and hand them to the project (CProjectManage::
// SetImageView, SetShell, SetPrintDialogs). Tests implement them with
// fakes. Every pointer may be null: the project then does without (no
// redraw, no pumping, no dialog).

#include "core/ColorProfile.h"
#include "core/Rect.h"

#include <array>
#include <memory>
#include <string>

class CImageEx;
class CProjectManage;
class CRGBImage;

// The image view that shows the project's working image and previews.
class IProjectImageView
{
public:
    virtual ~IProjectImageView() = default;
    // Lays the view out again for the working image and renders it; with
    // rebuild it also clears its cached after-image and asks the project
    // to clear its after preview (without an image it deletes the two
    // previews through the project). Returns the redraw result.
    virtual bool UpdateImage(bool rebuild) = 0;
    // Splits the visible image into tiles of the project's tile size,
    // marks every tile for rendering and renders them.
    virtual void RebuildTiles() = 0;
    // Lays the view out again and renders, keeping its tiles.
    virtual void Relayout() = 0;
    // Redraws the view at once (unloading an image).
    virtual void RedrawNow() = 0;
    // The project holds a first look at the image it is loading
    // (CProjectManage::GetFirstLook): the view lays itself out for that
    // image and shows the first look at once.
    virtual void ShowFirstLook() {}
};

// Where DrawPreview stretches a preview: the image view's painter.
class IPreviewCanvas
{
public:
    virtual ~IPreviewCanvas() = default;
    // Draws the source rectangle of the image stretched into destination.
    virtual void DrawImage(const CImageEx& image, const CRect& source, const CRect& destination) = 0;
};

// A modeless progress dialog (range 0..100) opened for the project.
class IProjectProgress
{
public:
    virtual ~IProjectProgress() = default;
    // Moves the bar and the percent text to percent (0..100).
    virtual void SetPosition(int percent) = 0;
    // Whether Cancel was pressed since the last call (the flag is cleared).
    virtual bool TakeCancelRequest() = 0;
};

// The application shell's services.
class IProjectShell
{
public:
    virtual ~IProjectShell() = default;
    // Handles every pending event of the user-interface thread, so that a
    // progress dialog repaints and its Cancel button works.
    virtual void PumpMessages() = 0;
    // Opens a progress dialog titled with the string of that number; null
    // when none can be shown.
    virtual std::unique_ptr<IProjectProgress> OpenProgress(int captionStringId) = 0;
    // Opens the file with the desktop's default application (the batch
    // log). True when the desktop accepted the request.
    virtual bool OpenWithDefaultApplication(const std::string& path) = 0;
};

// The installed printers, enumerated once for the project's lifetime and
// handed to both print dialogs. Printing derives its own record from it.
class ISystemPrinters
{
public:
    virtual ~ISystemPrinters() = default;
};

// The index-print progress dialog's step rows: 100 percent divided over
// the enabled steps plus one further stage.
class IPrintStepProgress
{
public:
    virtual ~IPrintStepProgress() = default;
    // The seven step flags as from CProjectManage::GetBatchStepFlags.
    virtual void SetSteps(const std::array<int, 7>& flags) = 0;
    // Pumps events and moves the bar to the start of the stage.
    virtual void SetStepProgress(int stage) = 0;
};

// Printing's dialogs, run modally.
class IPrintDialogs
{
public:
    virtual ~IPrintDialogs() = default;
    // Enumerates the installed printers and notes the default one.
    virtual std::unique_ptr<ISystemPrinters> EnumeratePrinters() = 0;
    // The single-image print dialog: the output profile's name, the print
    // copy (the whole working image, lent for the dialog's life: 16-bit
    // linear RGB in the input primaries), the image's name, the print
    // copy's colour space (the input profile's linear record) and the
    // printers.
    virtual void RunPrintImageDialog(const std::string& outputProfileName, const CRGBImage& image,
                                     const std::string& imageName,
                                     const LogColorSpace& colorSpace,
                                     ISystemPrinters* printers) = 0;
    // The index-print dialog; while it runs it develops the checked
    // entries through CProjectManage::DevelopImageForPrint.
    virtual void RunPrintIndexDialog(CProjectManage& project, ISystemPrinters* printers) = 0;
};

// The size of an index-print cache image: both 0 when width or height is
// 0; the size itself when either side is at most 512; otherwise the longer
// side becomes 512 and the other is scaled in proportion (truncated).
void CalcIndexCacheSize(int& outHeight, int& outWidth, int width, int height);
