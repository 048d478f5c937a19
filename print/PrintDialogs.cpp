#include "print/PrintDialogs.h"

#include "print/PrintImageDlg.h"
#include "print/PrinterSettings.h"

std::unique_ptr<ISystemPrinters> CPrintDialogs::EnumeratePrinters()
{
    return std::make_unique<CSystemPrinters>();
}

void CPrintDialogs::RunPrintImageDialog(const std::string& outputProfileName,
                                        const CImageEx& image, const std::string& imageName,
                                        const LogColorSpace& inputColorSpace,
                                        ISystemPrinters* printers)
{
    std::unique_ptr<CSystemPrinters> own;
    auto* system = dynamic_cast<CSystemPrinters*>(printers);
    if (system == nullptr)
    {
        own = std::make_unique<CSystemPrinters>();
        system = own.get();
    }
    CPrintImageDlg dialog(outputProfileName, image, imageName, inputColorSpace, *system, m_owner);
    dialog.exec();
}

void CPrintDialogs::RunPrintIndexDialog(CProjectManage&, ISystemPrinters*) {}
