#pragma once
// What both print dialogs show of the printer in the same way: its papers
// and paper sources in their combos (the id of each as its item data), and
// the printer profiles to choose from with the one preselected.

#include <functional>
#include <string>
#include <vector>

#include <QString>

class CPrinterSettings;
class CSystemPrinters;
class QComboBox;
class QWidget;

// Every installed printer by name, the PDF printer last.
void FillPrinterCombo(QComboBox& combo, const CSystemPrinters& printers);
// The ticket this printer was left with earlier in this run, if any.
void RestoreKeptTicket(CPrinterSettings& printer, const CSystemPrinters& printers);
// Opens the printer chosen in the combo; the printer open until then keeps
// its ticket for the user's return. A printer that does not open is said
// (11086) and the previous one is chosen again: false.
bool OpenChosenPrinter(QComboBox& combo, CPrinterSettings& printer, CSystemPrinters& printers);
// The PDF printer prints into a file the user names at every print (the
// save dialog asks before it replaces a file), so a second print never
// overwrites the first unasked; the name offered is suggestedName in the
// folder of the file named last. False when the user names none (nothing
// is printed). Other printers need no name: true.
bool NamePdfOutput(CPrinterSettings& printer, QWidget* owner, const QString& caption,
                   const QString& suggestedName);
// Asks for the PDF file's name: (owner, caption, offered path) -> the path
// chosen, empty when the user cancelled. By default QFileDialog's save
// dialog, which asks before it replaces a file. Tests put their own in
// place; an empty function restores the dialog. Returns the one before.
using PdfFileChooser = std::function<QString(QWidget*, const QString&, const QString&)>;
PdfFileChooser SetPdfFileChooser(PdfFileChooser chooser);
// The PDF file's name offered for an image: its name with ".pdf" in place
// of its extension ("coffee.jpg" -> "coffee.pdf").
QString PdfNameFor(const std::string& imageName);
// "印刷する前にプリンタをインストールする必要があります。" (11072) when no
// printer of the machine's own exists, once while the printers' record
// lives (the whole run of the program).
void TellNoPrinterInstalledOnce(CSystemPrinters& printers);

// The papers the ticket's source offers.
void FillPaperCombo(QComboBox& combo, CPrinterSettings& printer);
// The printer's sources; the combo is disabled when it lists none.
void FillBinCombo(QComboBox& combo, const CPrinterSettings& printer);

// Fills paths and the combo (the profiles' descriptions, same order):
// every installed output profile, or with associatedOnly only the profile
// the printer names. Preselects the profile last printed with on this
// printer (by file name); without one, or when it is gone, the printer's
// own profile; else nothing. Returns the selected index (-1: none).
int FillPrinterProfileCombo(QComboBox& combo, std::vector<std::string>& paths,
                            const CPrinterSettings& printer, bool associatedOnly);
