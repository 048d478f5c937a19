#include "print/PrintDialogs.h"

#include "print/PrintImageDlg.h"
#include "print/PrintIndexDlg.h"
#include "print/PrinterSettings.h"

std::unique_ptr<ISystemPrinters> CPrintDialogs::EnumeratePrinters()
{
    return std::make_unique<CSystemPrinters>();
}

namespace {

// The project hands over the printers it enumerated; any other list (or
// none) is replaced by the system's.
CSystemPrinters& SystemPrinters(ISystemPrinters* printers, std::unique_ptr<CSystemPrinters>& own)
{
    if (auto* system = dynamic_cast<CSystemPrinters*>(printers))
        return *system;
    own = std::make_unique<CSystemPrinters>();
    return *own;
}

} // namespace

void CPrintDialogs::RunPrintImageDialog(const std::string& outputProfileName,
                                        const CRGBImage& image, const std::string& imageName,
                                        const LogColorSpace& colorSpace,
                                        ISystemPrinters* printers)
{
    std::unique_ptr<CSystemPrinters> own;
    CPrintImageDlg dialog(outputProfileName, image, imageName, colorSpace,
                          SystemPrinters(printers, own), m_owner);
    dialog.exec();
}

void CPrintDialogs::RunPrintIndexDialog(CProjectManage& project, ISystemPrinters* printers)
{
    std::unique_ptr<CSystemPrinters> own;
    CPrintIndexDlg dialog(project, SystemPrinters(printers, own), m_owner);
    dialog.exec();
}
