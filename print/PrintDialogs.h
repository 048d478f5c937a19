#pragma once
// The print dialogs as the project opens them (IPrintDialogs): the program
// registers one with its project, which then enumerates the printers once
// and runs the single-image print dialog from its print command.

#include "correction/ProjectServices.h"

class QWidget;

class CPrintDialogs : public IPrintDialogs
{
public:
    // The dialogs open over owner (null: no parent window).
    explicit CPrintDialogs(QWidget* owner = nullptr) : m_owner(owner) {}

    std::unique_ptr<ISystemPrinters> EnumeratePrinters() override;
    // Runs CPrintImageDlg modally. printers is the record EnumeratePrinters
    // made; another (or none) gets a fresh enumeration for this dialog.
    void RunPrintImageDialog(const std::string& outputProfileName, const CRGBImage& image,
                             const std::string& imageName, const LogColorSpace& colorSpace,
                             ISystemPrinters* printers) override;
    // The index print dialog is not offered yet: nothing opens.
    void RunPrintIndexDialog(CProjectManage& project, ISystemPrinters* printers) override;

private:
    QWidget* m_owner;
};
