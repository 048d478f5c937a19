#pragma once
// The single-image print job: the visible (trimmed) part of the rendered
// 24-bit image on one page of one document, at the place and size of the
// layout, through one of three colour paths:
//   PrinterAssociated (hidden in the dialog): to the profile the printer
//     itself names (CPrinterSettings::AssociatedProfile); a printer that
//     names none is served as NoPrinterProfile;
//   PrinterProfile: to the printer profile the user chose, optionally
//     proofed against the monitor profile so that no colour leaves the
//     display's gamut;
//   NoPrinterProfile: to our sRGB profile only (nothing is converted when
//     the image already is sRGB).
// Every conversion goes through LittleCMS; a conversion that cannot be made
// stops the job with a message instead of printing unconverted colours.
//
// Layout values are tenths of a millimetre relative to the printable area
// (its top-left corner is (0, 0)); the page is painted at the printer's
// resolution.
//
// This header stays light (no LittleCMS, no <span>) so that dialog headers
// that moc reads can include it.

#include <string>

class CImageEx;
class CPrinterSettings;
class QWidget;
struct LogColorSpace;

enum class PrintColorPath
{
    PrinterAssociated = 0,
    PrinterProfile = 1,
    NoPrinterProfile = 2
};

// Left, top, right, bottom, in the unit named where it is used.
struct PrintMargins
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const PrintMargins&) const = default;
};

struct PrintImageRequest
{
    // The rendered 24-bit image (borrowed; it outlives the job).
    const CImageEx* image = nullptr;
    // The image's colour space (borrowed); null when the image has none,
    // which is taken as sRGB.
    const LogColorSpace* colorSpace = nullptr;
    // The monitor's profile (path, or a bare name in the colour directory);
    // the proof of PrinterProfile uses it. Empty when there is none.
    std::string monitorProfilePath;
    // Pixels trimmed off each side of the image (the preview keeps them).
    PrintMargins trimPixels;
    // The layout, in 0.1 mm: the whole image's top-left corner on the
    // printable area, its printed size, and the trim margins on paper.
    int originX = 0;
    int originY = 0;
    int printWidth = 0;
    int printHeight = 0;
    PrintMargins trimTenthMM;
    PrintColorPath path = PrintColorPath::PrinterProfile;
    // The printer profile the user chose (PrinterProfile); empty: none.
    std::string printerProfilePath;
    // Keep colours within the monitor's gamut (proof against it).
    bool proofWithMonitor = false;
    // The document's name (the image's file name).
    std::string documentName;
    // Rows converted and drawn at a time (at least 1).
    int bandRows = 128;
};

enum class PrintJobResult
{
    Printed,
    Failed,
    Cancelled
};

struct PrintJobOutcome
{
    PrintJobResult result = PrintJobResult::Failed;
    // The text that tells the user what happened (0: nothing more to say
    // than the result). Shown by the caller.
    int messageId = 0;
    // For messages that take a reason (the failed conversion): the reason.
    std::string detail;
};

// Prints the request on the settings' printer (CreatePrinterDC). The
// progress of the colour conversion is shown over progressParent. On
// Printed with PrinterProfile, the chosen profile is stored for the
// printer (StorePrinterProfileChoice).
PrintJobOutcome PrintImage(CPrinterSettings& settings, const PrintImageRequest& request,
                           QWidget* progressParent);

// The visible part of the image on the page, in printer dots relative to
// the printable area: origin + trim margin, print size - trim margins.
struct PrintDotsRect
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PrintDotsRect&) const = default;
};
PrintDotsRect PrintDestinationRect(const PrintImageRequest& request, int dpiX, int dpiY);

// The printer profile remembered for a printer (section "PrinterICCProfile"
// of the main settings file, key = the printer's name, value = the file
// name of the profile): written by the job after a print through the
// chosen profile, read by the dialog to preselect it. The dialog writes
// through the same function.
bool StorePrinterProfileChoice(const std::string& printerName, const std::string& profilePath);
std::string LoadPrinterProfileChoice(const std::string& printerName);
