#include "print/PrintJob.h"

#include "core/IniFile.h"
#include "core/PathUtils.h"
#include "print/PageGeometry.h"

namespace {

constexpr const char* kPrinterProfileSection = "PrinterICCProfile";

} // namespace

PrintDotsRect PrintDestinationRect(const PrintImageRequest& request, int dpiX, int dpiY)
{
    const PrintMargins& trim = request.trimTenthMM;
    PrintDotsRect rect;
    rect.x = TenthMMToDots(request.originX + trim.left, dpiX);
    rect.y = TenthMMToDots(request.originY + trim.top, dpiY);
    rect.width = TenthMMToDots(request.printWidth - trim.left - trim.right, dpiX);
    rect.height = TenthMMToDots(request.printHeight - trim.top - trim.bottom, dpiY);
    return rect;
}

bool StorePrinterProfileChoice(const std::string& printerName, const std::string& profilePath)
{
    if (printerName.empty())
        return false;
    return CIniFile(GetIniFilePath())
        .SetString(kPrinterProfileSection, printerName, GetFileNameFromPath(profilePath));
}

std::string LoadPrinterProfileChoice(const std::string& printerName)
{
    if (printerName.empty())
        return {};
    return CIniFile(GetIniFilePath()).GetString(kPrinterProfileSection, printerName, "");
}

PrintJobOutcome PrintImage(CPrinterSettings&, const PrintImageRequest&, QWidget*)
{
    return {};
}
