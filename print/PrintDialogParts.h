#pragma once
// What both print dialogs show of the printer in the same way: its papers
// and paper sources in their combos (the id of each as its item data), and
// the printer profiles to choose from with the one preselected.

#include <string>
#include <vector>

class CPrinterSettings;
class QComboBox;

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
