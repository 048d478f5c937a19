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
constexpr int kStrNoPrinterInstalled = 11072; // "印刷する前にプリンタをインストールする必要があります。"

PdfFileChooser& CurrentPdfFileChooser()
{
    static PdfFileChooser chooser;
    return chooser;
}

} // namespace

PdfFileChooser SetPdfFileChooser(PdfFileChooser chooser)
{
    PdfFileChooser before = std::move(CurrentPdfFileChooser());
    CurrentPdfFileChooser() = std::move(chooser);
    return before;
}

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
    if (!printer.IsPdfPrinter())
        return true;
    const std::string previous = printer.OutputFile();
    const QString folder =
        previous.empty() ? QString() : QString::fromStdString(GetFolderFromPath(previous));
    const PdfFileChooser& chooser = CurrentPdfFileChooser();
    const QString path =
        chooser ? chooser(owner, caption, folder + suggestedName)
                : QFileDialog::getSaveFileName(owner, caption, folder + suggestedName,
                                               QStringLiteral("PDF (*.pdf)"));
    if (path.isEmpty())
        return false;
    printer.SetOutputFile(path.toStdString());
    return true;
}

QString PdfNameFor(const std::string& imageName)
{
    const std::string name = GetFileNameFromPath(imageName);
    const std::string extension = GetFileExtFromPath(name);
    return QString::fromStdString(name.substr(0, name.size() - extension.size()) + ".pdf");
}

void TellNoPrinterInstalledOnce(CSystemPrinters& printers)
{
    if (printers.TakeNoPrinterNotice())
        ShowMessage(kStrNoPrinterInstalled, {}, MessageButtons::Ok, MessageIcon::Information);
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
