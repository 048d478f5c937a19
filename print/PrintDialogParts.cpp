#include "print/PrintDialogParts.h"

#include "core/ColorProfile.h"
#include "core/PathUtils.h"
#include "print/PrintJob.h"
#include "print/PrinterSettings.h"

#include <QComboBox>

void FillPaperCombo(QComboBox& combo, CPrinterSettings& printer)
{
    std::vector<std::pair<int, std::string>> papers;
    printer.ApplyDevMode(papers);
    combo.clear();
    for (const auto& [id, name] : papers)
        combo.addItem(QString::fromStdString(name), id);
}

void FillBinCombo(QComboBox& combo, const CPrinterSettings& printer)
{
    combo.clear();
    for (const auto& [id, name] : printer.Bins())
        combo.addItem(QString::fromStdString(name), id);
    combo.setEnabled(combo.count() > 0);
}

int FillPrinterProfileCombo(QComboBox& combo, std::vector<std::string>& paths,
                            const CPrinterSettings& printer, bool associatedOnly)
{
    combo.clear();
    paths.clear();
    if (!printer.IsOpen())
        return -1;
    const std::string saved = LoadPrinterProfileChoice(printer.DeviceName());
    const std::string own = printer.AssociatedProfile();
    if (associatedOnly)
    {
        if (!own.empty())
            paths.push_back(own);
    }
    else
    {
        paths = ListPrinterProfiles();
    }
    for (const std::string& path : paths)
    {
        std::string description;
        GetProfileDescriptionFromFile(description, path);
        combo.addItem(QString::fromStdString(description));
    }
    int selected = -1;
    for (std::size_t i = 0; i < paths.size() && selected < 0; ++i)
        if (!saved.empty() && GetFileNameFromPath(paths[i]) == saved)
            selected = static_cast<int>(i);
    for (std::size_t i = 0; i < paths.size() && selected < 0; ++i)
        if (!own.empty() && paths[i] == own)
            selected = static_cast<int>(i);
    combo.setCurrentIndex(selected);
    return selected;
}
