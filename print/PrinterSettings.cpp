#include "print/PrinterSettings.h"

#include <QPrinter>

struct CPrinterSettings::State
{
    std::string name;
    bool open = false;
    PrintTicket ticket;
    std::vector<std::pair<int, std::string>> papers;
    std::vector<std::pair<int, std::string>> bins;
    std::unique_ptr<QPrinter> printer;
};

CSystemPrinters::CSystemPrinters() { EnumLocalPrinters(); }
CSystemPrinters::~CSystemPrinters() = default;
bool CSystemPrinters::EnumLocalPrinters()
{
    m_names = {kPdfPrinterName};
    m_hasPrinters = false;
    return true;
}
bool CSystemPrinters::HasPrinters() const { return m_hasPrinters; }
const std::vector<std::string>& CSystemPrinters::PrinterNames() const { return m_names; }
const std::string& CSystemPrinters::DefaultPrinterName() const { return m_defaultName; }
bool CSystemPrinters::SaveDevMode(const std::string& name, const PrintTicket& ticket)
{
    m_saved[name] = ticket;
    return true;
}
const PrintTicket* CSystemPrinters::FindSavedDevMode(const std::string& name) const
{
    auto it = m_saved.find(name);
    return it == m_saved.end() ? nullptr : &it->second;
}

CPrinterSettings::CPrinterSettings() : m_state(std::make_unique<State>()) {}
CPrinterSettings::~CPrinterSettings() = default;
bool CPrinterSettings::OpenPrinterDevMode(const std::string&) { return false; }
bool CPrinterSettings::IsOpen() const { return m_state->open; }
bool CPrinterSettings::IsPdfPrinter() const { return m_state->open && m_state->name == kPdfPrinterName; }
const std::string& CPrinterSettings::DeviceName() const { return m_state->name; }
const PrintTicket& CPrinterSettings::DevMode() const { return m_state->ticket; }
bool CPrinterSettings::SetDevMode(const PrintTicket& ticket)
{
    m_state->ticket = ticket;
    return m_state->open;
}
bool CPrinterSettings::ShowProperties(QWidget*) { return false; }
const std::vector<std::pair<int, std::string>>& CPrinterSettings::Papers() const { return m_state->papers; }
const std::vector<std::pair<int, std::string>>& CPrinterSettings::Bins() const { return m_state->bins; }
void CPrinterSettings::LoadPapers() {}
void CPrinterSettings::LoadPaperSizes() {}
void CPrinterSettings::LoadBins() {}
bool CPrinterSettings::ApplyDevMode(std::vector<std::pair<int, std::string>>& papers)
{
    papers = m_state->papers;
    return m_state->open;
}
void CPrinterSettings::SetPaperSize(int id) { m_state->ticket.paper = id; }
const std::string* CPrinterSettings::SelectFirstPaper() { return nullptr; }
const std::string* CPrinterSettings::GetPaperName() const { return nullptr; }
bool CPrinterSettings::SetPortrait() { return false; }
bool CPrinterSettings::SetLandscape() { return false; }
void CPrinterSettings::SetBin(int id) { m_state->ticket.bin = id; }
const std::string* CPrinterSettings::GetBinName() const { return nullptr; }
int CPrinterSettings::GetMaxCopies() { return 1; }
bool CPrinterSettings::SetCopies(int) { return false; }
bool CPrinterSettings::SetICMMethod(int) { return false; }
QPrinter* CPrinterSettings::CreatePrinterDC() { return nullptr; }
void CPrinterSettings::SetOutputFile(const std::string&) {}
PageGeometry CPrinterSettings::GetPageGeometry() const { return {}; }
bool CPrinterSettings::GetPhysicalSize(int&, int&) { return false; }
bool CPrinterSettings::GetPhysicalSizeMM(int&, int&) { return false; }
bool CPrinterSettings::GetPrintableSize(int&, int&) { return false; }
bool CPrinterSettings::GetPrintableSizeMM(int&, int&) { return false; }
bool CPrinterSettings::GetPhysicalOffset(int&, int&) { return false; }
bool CPrinterSettings::GetPhysicalOffsetMM(int&, int&) { return false; }
bool CPrinterSettings::GetLogPixels(int&, int&) { return false; }
bool CPrinterSettings::DotsToTenthMM(int&, int&) { return false; }
bool CPrinterSettings::TenthMMToDots(int&, int&) { return false; }
std::string CPrinterSettings::AssociatedProfile() const { return {}; }

int OpenStartPrinter(CPrinterSettings&, const CSystemPrinters&, const std::string&) { return -1; }
std::vector<std::string> ListPrinterProfiles() { return {}; }
