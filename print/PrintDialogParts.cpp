#include "print/PrintDialogParts.h"

#include "core/ColorProfile.h"
#include "core/PathUtils.h"
#include "print/PrintJob.h"
#include "print/PrinterSettings.h"

#include "core/MessageSink.h"

#include <QComboBox>
#include <QFileDialog>

namespace {

constexpr int kStrUnusablePrinter = 11086; // "使用できないプリンタを選択しました。"

} // namespace

void FillPrinterCombo(QComboBox& combo, const CSystemPrinters& printers)
{
    combo.clear();
    for (const std::string& name : printers.PrinterNames())
        combo.addItem(QString::fromStdString(name));
}

void RestoreKeptTicket(CPrinterSettings& printer, const CSystemPrinters& printers)
{
    if (const PrintTicket* kept = printers.FindSavedDevMode(printer.DeviceName()))
        printer.SetDevMode(*kept);
}

bool OpenChosenPrinter(QComboBox& combo, CPrinterSettings& printer, CSystemPrinters& printers)
{
    const std::string name = combo.currentText().toStdString();
    const std::string previous = printer.DeviceName();
    if (printer.IsOpen())
        printers.SaveDevMode(previous, printer.DevMode());
    if (printer.OpenPrinterDevMode(name))
        return true;
    ShowMessage(kStrUnusablePrinter, {}, MessageButtons::Ok, MessageIcon::Warning);
    combo.setCurrentIndex(combo.findText(QString::fromStdString(previous)));
    return false;
}

bool NamePdfOutput(CPrinterSettings& printer, QWidget* owner, const QString& caption,
                   const QString& suggestedName)
{
    if (!printer.IsPdfPrinter() || printer.CreatePrinterDC() != nullptr)
        return true;
    const QString path = QFileDialog::getSaveFileName(owner, caption, suggestedName,
                                                      QStringLiteral("PDF (*.pdf)"));
    if (path.isEmpty())
        return false;
    printer.SetOutputFile(path.toStdString());
    return true;
}

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
