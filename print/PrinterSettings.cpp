#include "print/PrinterSettings.h"

#include "controls/dialogs/DataDialog.h"
#include "controls/support/WaitCursor.h"
#include "core/ColorProfile.h"
#include "platform/ColorDirectory.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPageLayout>
#include <QPageSize>
#include <QPrintEngine>
#include <QPrinter>
#include <QVBoxLayout>

#include <cups/cups.h>
#include <cups/ppd.h>

#include <algorithm>
#include <cmath>
#include <fstream>

namespace {

// One paper of the printer: its media keyword, shown name, and the sheet
// and its unprintable margins in hundredths of a millimetre, portrait.
struct Medium
{
    std::string keyword;
    std::string name;
    int width = 0, length = 0;
    int left = 0, bottom = 0, right = 0, top = 0;
};

// The file printer's papers: no margins, named as they are sold here.
const std::vector<Medium>& PdfMedia()
{
    static const std::vector<Medium> media = {
        {"iso_a3_297x420mm", "A3", 29700, 42000},
        {"iso_a4_210x297mm", "A4", 21000, 29700},
        {"iso_a5_148x210mm", "A5", 14800, 21000},
        {"jis_b4_257x364mm", "B4", 25700, 36400},
        {"jis_b5_182x257mm", "B5", 18200, 25700},
        {"na_letter_8.5x11in", "Letter", 21590, 27940},
        {"na_legal_8.5x14in", "Legal", 21590, 35560},
        {"oe_photo-l_3.5x5in", "L判", 8900, 12700},
        {"na_5x7_5x7in", "2L判", 12700, 17800},
        {"jpn_hagaki_100x148mm", "はがき", 10000, 14800},
    };
    return media;
}
constexpr int kPdfPaperA4 = 2;
constexpr int kPdfResolution = 300;
// The resolution of a queue that names none.
constexpr int kDefaultResolution = 300;

// Qt's CUPS print engine takes further job options as a list of
// alternating names and values under this engine property.
const auto kCupsOptionsProperty = QPrintEngine::PrintEnginePropertyKey(0xfe00);

// Hundredths of a millimetre as printer dots, rounded half up.
int HundredthMMToDots(int hmm, int dpi)
{
    return static_cast<int>(std::floor(hmm / 2540.0 * dpi + 0.5));
}

std::string Text(const char* s)
{
    return s ? std::string(s) : std::string();
}

} // namespace

// ---------------------------------------------------------------------------

CSystemPrinters::CSystemPrinters()
{
    EnumLocalPrinters();
}

CSystemPrinters::~CSystemPrinters() = default;

bool CSystemPrinters::EnumLocalPrinters()
{
    m_names.clear();
    m_defaultName.clear();
    m_saved.clear();
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    for (int i = 0; i < count; ++i)
    {
        // Instances are option sets of a queue, not printers of their own.
        if (dests[i].instance || !dests[i].name)
            continue;
        m_names.emplace_back(dests[i].name);
        if (dests[i].is_default)
            m_defaultName = dests[i].name;
    }
    cupsFreeDests(count, dests);
    m_hasPrinters = !m_names.empty();
    m_names.emplace_back(kPdfPrinterName);
    return m_hasPrinters;
}

bool CSystemPrinters::HasPrinters() const
{
    return m_hasPrinters;
}

bool CSystemPrinters::TakeNoPrinterNotice()
{
    if (m_hasPrinters || m_noPrinterNoticed)
        return false;
    m_noPrinterNoticed = true;
    return true;
}

const std::vector<std::string>& CSystemPrinters::PrinterNames() const
{
    return m_names;
}

const std::string& CSystemPrinters::DefaultPrinterName() const
{
    return m_defaultName;
}

bool CSystemPrinters::SaveDevMode(const std::string& name, const PrintTicket& ticket)
{
    if (std::find(m_names.begin(), m_names.end(), name) == m_names.end())
        return false;
    m_saved[name] = ticket;
    return true;
}

const PrintTicket* CSystemPrinters::FindSavedDevMode(const std::string& name) const
{
    auto it = m_saved.find(name);
    return it == m_saved.end() ? nullptr : &it->second;
}

// ---------------------------------------------------------------------------

struct CPrinterSettings::State
{
    std::string name;
    bool open = false;
    bool pdf = false;
    http_t* http = nullptr; // a connection of our own: localisation needs one
    cups_dest_t* dest = nullptr;
    cups_dinfo_t* info = nullptr;
    PrintTicket ticket;
    std::vector<Medium> media;         // every paper; the ticket's paper id indexes it from 1
    std::vector<std::string> binKeys;  // media-source keywords; the bin id indexes it from 1
    std::vector<std::pair<int, std::string>> papers;
    std::vector<std::pair<int, int>> paperSizes; // 0.1 mm, as listed in papers
    std::vector<std::pair<int, std::string>> bins;
    std::vector<JobOption> jobOptions;
    std::map<int, int> caps;
    int maxCopies = -1;
    std::unique_ptr<QPrinter> printer;
    std::string outputFile;

    void Release()
    {
        if (info)
            cupsFreeDestInfo(info);
        if (dest)
            cupsFreeDests(1, dest);
        if (http)
            httpClose(http);
        info = nullptr;
        dest = nullptr;
        http = nullptr;
    }
    ~State() { Release(); }

    const Medium* TicketMedium() const
    {
        if (ticket.paper < 1 || ticket.paper > static_cast<int>(media.size()))
            return nullptr;
        return &media[static_cast<std::size_t>(ticket.paper - 1)];
    }
};

namespace {

// A queue as it stands now: its media with margins, sources, defaults and
// the job options the properties dialog offers. Nothing is written.
struct QueueReading
{
    std::vector<Medium> media;
    std::vector<std::pair<std::string, std::string>> sources; // keyword, shown name
    PrintTicket ticket;
    std::vector<CPrinterSettings::JobOption> options;
};

void ReadQueue(http_t* http, cups_dest_t* dest, cups_dinfo_t* info, QueueReading& out)
{
    const unsigned flags = CUPS_MEDIA_FLAGS_DEFAULT;
    const int mediaCount = cupsGetDestMediaCount(http, dest, info, flags);
    for (int i = 0; i < mediaCount; ++i)
    {
        cups_size_t size {};
        if (!cupsGetDestMediaByIndex(http, dest, info, i, flags, &size))
            continue;
        Medium m;
        m.keyword = size.media;
        m.name = Text(cupsLocalizeDestMedia(http, dest, info, flags, &size));
        if (m.name.empty())
        {
            // Without a translation the paper keeps the short name the
            // paper tables give its size ("A4", "Letter").
            const pwg_media_t* pwg = pwgMediaForPWG(size.media);
            m.name = pwg && pwg->ppd ? pwg->ppd : m.keyword;
        }
        m.width = size.width;
        m.length = size.length;
        m.left = size.left;
        m.bottom = size.bottom;
        m.right = size.right;
        m.top = size.top;
        out.media.push_back(std::move(m));
    }

    PrintTicket& t = out.ticket;
    t.fields = kTicketOrientation | kTicketCopies | kTicketIcmMethod;
    cups_size_t def {};
    if (cupsGetDestMediaDefault(http, dest, info, flags, &def))
    {
        for (std::size_t i = 0; i < out.media.size(); ++i)
            if (out.media[i].keyword == def.media)
                t.paper = static_cast<int>(i) + 1;
    }
    if (t.paper == 0 && !out.media.empty())
        t.paper = 1;

    if (ipp_attribute_t* a = cupsFindDestSupported(http, dest, info, CUPS_MEDIA_SOURCE))
    {
        for (int i = 0; i < ippGetCount(a); ++i)
        {
            const std::string key = Text(ippGetString(a, i, nullptr));
            std::string shown = Text(cupsLocalizeDestValue(http, dest, info, CUPS_MEDIA_SOURCE, key.c_str()));
            out.sources.emplace_back(key, shown);
        }
    }
    if (ipp_attribute_t* a = cupsFindDestDefault(http, dest, info, CUPS_MEDIA_SOURCE))
    {
        const std::string key = Text(ippGetString(a, 0, nullptr));
        for (std::size_t i = 0; i < out.sources.size(); ++i)
            if (out.sources[i].first == key)
                t.bin = static_cast<int>(i) + 1;
    }
    if (ipp_attribute_t* a = cupsFindDestDefault(http, dest, info, CUPS_ORIENTATION))
        t.orientation = ippGetInteger(a, 0) == IPP_ORIENT_LANDSCAPE ? kTicketLandscape : kTicketPortrait;

    t.dpiX = t.dpiY = kDefaultResolution;
    if (ipp_attribute_t* a = cupsFindDestDefault(http, dest, info, "printer-resolution"))
    {
        ipp_res_t units = IPP_RES_PER_INCH;
        int y = 0;
        int x = ippGetResolution(a, 0, &y, &units);
        if (units == IPP_RES_PER_CM)
        {
            x = static_cast<int>(std::lround(x * 2.54));
            y = static_cast<int>(std::lround(y * 2.54));
        }
        if (x > 0 && y > 0)
        {
            t.dpiX = x;
            t.dpiY = y;
        }
    }

    static const char* const kOptionNames[] = {CUPS_PRINT_QUALITY, CUPS_MEDIA_TYPE, CUPS_PRINT_COLOR_MODE};
    for (const char* name : kOptionNames)
    {
        ipp_attribute_t* a = cupsFindDestSupported(http, dest, info, name);
        if (!a || ippGetCount(a) == 0)
            continue;
        CPrinterSettings::JobOption option;
        option.name = name;
        const bool isEnum = ippGetValueTag(a) == IPP_TAG_ENUM;
        for (int i = 0; i < ippGetCount(a); ++i)
        {
            const std::string value = isEnum ? std::to_string(ippGetInteger(a, i)) : Text(ippGetString(a, i, nullptr));
            std::string shown = Text(cupsLocalizeDestValue(http, dest, info, name, value.c_str()));
            if (shown.empty() && isEnum)
                shown = Text(ippEnumString(name, ippGetInteger(a, i)));
            option.values.emplace_back(value, shown.empty() ? value : shown);
        }
        if (ipp_attribute_t* d = cupsFindDestDefault(http, dest, info, name))
            option.defaultValue = isEnum ? std::to_string(ippGetInteger(d, 0)) : Text(ippGetString(d, 0, nullptr));
        out.options.push_back(std::move(option));
    }
}

} // namespace

CPrinterSettings::CPrinterSettings() : m_state(std::make_unique<State>()) {}

CPrinterSettings::~CPrinterSettings() = default;

bool CPrinterSettings::OpenPrinterDevMode(const std::string& name)
{
    State& s = *m_state;
    if (s.open && name == s.name)
        return true;

    auto next = std::make_unique<State>();
    if (name == kPdfPrinterName)
    {
        next->pdf = true;
        next->media = PdfMedia();
        next->ticket.paper = kPdfPaperA4;
        next->ticket.fields = kTicketOrientation | kTicketCopies | kTicketIcmMethod;
        next->ticket.dpiX = next->ticket.dpiY = kPdfResolution;
    }
    else
    {
        // Read-only: the destination and what it supports are copied; the
        // queue and its defaults are never written.
        next->http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                                  30000, nullptr);
        if (!next->http)
            return false;
        next->dest = cupsGetNamedDest(next->http, name.c_str(), nullptr);
        if (!next->dest)
            return false;
        next->info = cupsCopyDestInfo(next->http, next->dest);
        if (!next->info)
            return false;
        QueueReading reading;
        ReadQueue(next->http, next->dest, next->info, reading);
        next->media = std::move(reading.media);
        next->ticket = reading.ticket;
        next->jobOptions = std::move(reading.options);
        for (const auto& [key, shown] : reading.sources)
            next->binKeys.push_back(key);
        for (std::size_t i = 0; i < reading.sources.size(); ++i)
            next->bins.emplace_back(static_cast<int>(i) + 1, reading.sources[i].second);
    }
    next->name = name;
    next->open = true;
    next->outputFile = s.outputFile;
    m_state = std::move(next);
    return true;
}

bool CPrinterSettings::IsOpen() const
{
    return m_state->open;
}

bool CPrinterSettings::IsPdfPrinter() const
{
    return m_state->open && m_state->pdf;
}

const std::string& CPrinterSettings::DeviceName() const
{
    return m_state->name;
}

const PrintTicket& CPrinterSettings::DevMode() const
{
    return m_state->ticket;
}

bool CPrinterSettings::SetDevMode(const PrintTicket& ticket)
{
    if (!m_state->open)
        return false;
    m_state->ticket = ticket;
    m_state->caps.clear();
    return true;
}

const std::vector<CPrinterSettings::JobOption>& CPrinterSettings::JobOptions() const
{
    return m_state->jobOptions;
}

namespace {

// The label of a job option in the dialog; the option's own name for one
// without a label of ours.
QString OptionLabel(const std::string& name)
{
    if (name == CUPS_PRINT_QUALITY)
        return QStringLiteral("印刷品質");
    if (name == CUPS_MEDIA_TYPE)
        return QStringLiteral("用紙の種類");
    if (name == CUPS_PRINT_COLOR_MODE)
        return QStringLiteral("カラーモード");
    return QString::fromStdString(name);
}

// The properties of one job: a choice per job option the destination
// supports. Only the ticket is edited.
class CPrinterPropertiesDlg : public CDataDialog
{
public:
    CPrinterPropertiesDlg(QWidget* owner, const std::vector<CPrinterSettings::JobOption>& options,
                          std::map<std::string, std::string>& values)
        : CDataDialog(owner), m_options(options), m_values(values)
    {
        setWindowTitle(QStringLiteral("プロパティ"));
        auto* form = new QFormLayout;
        for (const auto& option : m_options)
        {
            auto* combo = new QComboBox(this);
            combo->setObjectName(QString::fromStdString(option.name));
            for (const auto& [value, shown] : option.values)
                combo->addItem(QString::fromStdString(shown), QString::fromStdString(value));
            form->addRow(OptionLabel(option.name), combo);
            m_combos.push_back(combo);
        }
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        connect(buttons, &QDialogButtonBox::accepted, this, &CDataDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &CDataDialog::reject);
        auto* layout = new QVBoxLayout(this);
        layout->addLayout(form);
        layout->addWidget(buttons);
    }

    void writeControls() override
    {
        for (std::size_t i = 0; i < m_options.size(); ++i)
        {
            auto it = m_values.find(m_options[i].name);
            const std::string& value = it != m_values.end() ? it->second : m_options[i].defaultValue;
            const int index = m_combos[i]->findData(QString::fromStdString(value));
            m_combos[i]->setCurrentIndex(std::max(index, 0));
        }
    }

    bool readControls() override
    {
        for (std::size_t i = 0; i < m_options.size(); ++i)
            if (m_combos[i]->currentIndex() >= 0)
                m_values[m_options[i].name] = m_combos[i]->currentData().toString().toStdString();
        return true;
    }

private:
    const std::vector<CPrinterSettings::JobOption>& m_options;
    std::map<std::string, std::string>& m_values;
    std::vector<QComboBox*> m_combos;
};

} // namespace

bool CPrinterSettings::ShowProperties(QWidget* owner)
{
    State& s = *m_state;
    if (!s.open)
        return false;
    std::map<std::string, std::string> values = s.ticket.options;
    CPrinterPropertiesDlg dlg(owner, s.jobOptions, values);
    if (dlg.exec() != kDialogOk)
        return false;
    s.ticket.options = std::move(values);
    s.caps.clear();
    return true;
}

const std::vector<std::pair<int, std::string>>& CPrinterSettings::Papers() const
{
    return m_state->papers;
}

const std::vector<std::pair<int, std::string>>& CPrinterSettings::Bins() const
{
    return m_state->bins;
}

void CPrinterSettings::LoadPapers()
{
    State& s = *m_state;
    s.papers.clear();
    if (!s.open)
        return;
    // A paper without a name cannot be offered.
    for (std::size_t i = 0; i < s.media.size(); ++i)
        if (!s.media[i].name.empty())
            s.papers.emplace_back(static_cast<int>(i) + 1, s.media[i].name);
}

void CPrinterSettings::LoadPaperSizes()
{
    State& s = *m_state;
    s.paperSizes.clear();
    if (!s.open)
        return;
    // Hundredths of a millimetre to tenths, half up.
    for (const auto& [id, name] : s.papers)
    {
        const Medium& m = s.media[static_cast<std::size_t>(id - 1)];
        s.paperSizes.emplace_back((m.width + 5) / 10, (m.length + 5) / 10);
    }
}

void CPrinterSettings::LoadBins()
{
    // The sources are read when the printer is opened; a source whose name
    // is empty stays in the list (the printer's own choice).
}

bool CPrinterSettings::ApplyDevMode(std::vector<std::pair<int, std::string>>& papers)
{
    State& s = *m_state;
    if (!s.open)
        return false;
    WaitCursorGuard wait;
    // CUPS lists the same papers for every source, so the ticket only
    // selects among them; the queue's defaults are not touched.
    LoadPapers();
    LoadPaperSizes();
    papers = s.papers;
    s.caps.clear();
    return true;
}

void CPrinterSettings::SetPaperSize(int id)
{
    State& s = *m_state;
    for (const auto& [paperId, name] : s.papers)
        if (paperId == id)
            s.ticket.paper = id;
    s.caps.clear();
}

const std::string* CPrinterSettings::SelectFirstPaper()
{
    State& s = *m_state;
    if (s.papers.empty())
        return nullptr;
    s.ticket.paper = s.papers.front().first;
    s.caps.clear();
    return &s.papers.front().second;
}

const std::string* CPrinterSettings::GetPaperName() const
{
    for (const auto& [id, name] : m_state->papers)
        if (id == m_state->ticket.paper)
            return &name;
    return nullptr;
}

bool CPrinterSettings::SetPortrait()
{
    State& s = *m_state;
    if (!s.open || !(s.ticket.fields & kTicketOrientation))
        return false;
    s.ticket.orientation = kTicketPortrait;
    s.caps.clear();
    return true;
}

bool CPrinterSettings::SetLandscape()
{
    State& s = *m_state;
    if (!s.open || !(s.ticket.fields & kTicketOrientation))
        return false;
    s.ticket.orientation = kTicketLandscape;
    s.caps.clear();
    return true;
}

void CPrinterSettings::SetBin(int id)
{
    State& s = *m_state;
    for (const auto& [binId, name] : s.bins)
        if (binId == id)
            s.ticket.bin = id;
}

const std::string* CPrinterSettings::GetBinName() const
{
    for (const auto& [id, name] : m_state->bins)
        if (id == m_state->ticket.bin)
            return &name;
    return nullptr;
}

int CPrinterSettings::GetMaxCopies()
{
    State& s = *m_state;
    if (!s.open)
        return 0;
    if (s.maxCopies < 0)
    {
        s.maxCopies = 1;
        if (s.dest && s.info)
        {
            ipp_attribute_t* a = cupsFindDestSupported(s.http, s.dest, s.info, CUPS_COPIES);
            if (a && ippGetValueTag(a) == IPP_TAG_RANGE)
            {
                int upper = 0;
                ippGetRange(a, 0, &upper);
                s.maxCopies = std::max(upper, 1);
            }
            else if (a && ippGetValueTag(a) == IPP_TAG_INTEGER)
                s.maxCopies = std::max(ippGetInteger(a, 0), 1);
        }
    }
    return s.maxCopies;
}

bool CPrinterSettings::SetCopies(int n)
{
    State& s = *m_state;
    if (!s.open || !(s.ticket.fields & kTicketCopies))
        return false;
    s.ticket.copies = n;
    return true;
}

bool CPrinterSettings::SetICMMethod(int m)
{
    State& s = *m_state;
    if (!s.open || !(s.ticket.fields & kTicketIcmMethod))
        return false;
    s.ticket.icmMethod = m;
    return true;
}

namespace {

// The unprintable margins in the orientation printed, hundredths of a mm.
// Landscape is the portrait sheet turned a quarter counter-clockwise: its
// top edge becomes the left one.
struct OrientedSheet
{
    int width, length, left, top, right, bottom;
};

OrientedSheet Orient(const Medium& m, int orientation)
{
    if (orientation == kTicketLandscape)
        return {m.length, m.width, m.top, m.right, m.bottom, m.left};
    return {m.width, m.length, m.left, m.top, m.right, m.bottom};
}

} // namespace

PageGeometry CPrinterSettings::GetPageGeometry() const
{
    const State& s = *m_state;
    PageGeometry page;
    const Medium* m = s.TicketMedium();
    if (!s.open || !m || s.ticket.dpiX <= 0 || s.ticket.dpiY <= 0)
        return page;
    const OrientedSheet o = Orient(*m, s.ticket.orientation);
    page.dpiX = s.ticket.dpiX;
    page.dpiY = s.ticket.dpiY;
    page.physicalWidth = HundredthMMToDots(o.width, page.dpiX);
    page.physicalHeight = HundredthMMToDots(o.length, page.dpiY);
    page.offsetX = HundredthMMToDots(o.left, page.dpiX);
    page.offsetY = HundredthMMToDots(o.top, page.dpiY);
    // Margins that eat the whole sheet still leave one printable dot.
    page.printableWidth = std::max(1, page.physicalWidth - page.offsetX - HundredthMMToDots(o.right, page.dpiX));
    page.printableHeight = std::max(1, page.physicalHeight - page.offsetY - HundredthMMToDots(o.bottom, page.dpiY));
    return page;
}

bool CPrinterSettings::GetDeviceCaps(int index, int& value)
{
    State& s = *m_state;
    if (auto it = s.caps.find(index); it != s.caps.end())
    {
        value = it->second;
        return true;
    }
    const PageGeometry page = GetPageGeometry();
    if (!page.HasResolution())
        return false;
    int v = 0;
    switch (index)
    {
    case kCapsHorzRes: v = page.printableWidth; break;
    case kCapsVertRes: v = page.printableHeight; break;
    case kCapsLogPixelsX: v = page.dpiX; break;
    case kCapsLogPixelsY: v = page.dpiY; break;
    case kCapsPhysicalWidth: v = page.physicalWidth; break;
    case kCapsPhysicalHeight: v = page.physicalHeight; break;
    case kCapsPhysicalOffsetX: v = page.offsetX; break;
    case kCapsPhysicalOffsetY: v = page.offsetY; break;
    default: return false;
    }
    s.caps[index] = v;
    value = v;
    return true;
}

namespace {

template <typename Caps>
bool CapsPair(Caps&& caps, int ix, int iy, int& x, int& y)
{
    int vx = 0, vy = 0;
    if (!caps(ix, vx) || !caps(iy, vy))
        return false;
    x = vx;
    y = vy;
    return true;
}

} // namespace

bool CPrinterSettings::GetPhysicalSize(int& w, int& h)
{
    return CapsPair([this](int i, int& v) { return GetDeviceCaps(i, v); }, kCapsPhysicalWidth,
                    kCapsPhysicalHeight, w, h);
}

bool CPrinterSettings::GetPhysicalSizeMM(int& w, int& h)
{
    int x = 0, y = 0;
    if (!GetPhysicalSize(x, y) || !DotsToTenthMM(x, y))
        return false;
    w = x;
    h = y;
    return true;
}

bool CPrinterSettings::GetPrintableSize(int& w, int& h)
{
    return CapsPair([this](int i, int& v) { return GetDeviceCaps(i, v); }, kCapsHorzRes, kCapsVertRes,
                    w, h);
}

bool CPrinterSettings::GetPrintableSizeMM(int& w, int& h)
{
    int x = 0, y = 0;
    if (!GetPrintableSize(x, y) || !DotsToTenthMM(x, y))
        return false;
    w = x;
    h = y;
    return true;
}

bool CPrinterSettings::GetPhysicalOffset(int& x, int& y)
{
    return CapsPair([this](int i, int& v) { return GetDeviceCaps(i, v); }, kCapsPhysicalOffsetX,
                    kCapsPhysicalOffsetY, x, y);
}

bool CPrinterSettings::GetPhysicalOffsetMM(int& x, int& y)
{
    int a = 0, b = 0;
    if (!GetPhysicalOffset(a, b) || !DotsToTenthMM(a, b))
        return false;
    x = a;
    y = b;
    return true;
}

bool CPrinterSettings::GetLogPixels(int& x, int& y)
{
    return CapsPair([this](int i, int& v) { return GetDeviceCaps(i, v); }, kCapsLogPixelsX,
                    kCapsLogPixelsY, x, y);
}

bool CPrinterSettings::DotsToTenthMM(int& x, int& y)
{
    PageGeometry page;
    if (!GetLogPixels(page.dpiX, page.dpiY))
        return false;
    return ::DotsToTenthMM(page, x, y);
}

bool CPrinterSettings::TenthMMToDots(int& x, int& y)
{
    PageGeometry page;
    if (!GetLogPixels(page.dpiX, page.dpiY))
        return false;
    return ::TenthMMToDots(page, x, y);
}

void CPrinterSettings::SetOutputFile(const std::string& pdfPath)
{
    m_state->outputFile = pdfPath;
}

const std::string& CPrinterSettings::OutputFile() const
{
    return m_state->outputFile;
}

QPrinter* CPrinterSettings::CreatePrinterDC()
{
    State& s = *m_state;
    s.printer.reset();
    const Medium* m = s.TicketMedium();
    if (!s.open || !m || s.ticket.dpiX <= 0)
        return nullptr;
    if (s.pdf && s.outputFile.empty())
        return nullptr;

    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (s.pdf)
    {
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(QString::fromStdString(s.outputFile));
    }
    else
    {
        printer->setPrinterName(QString::fromStdString(s.name));
        if (!printer->isValid())
            return nullptr;
        if (!s.outputFile.empty())
            printer->setOutputFileName(QString::fromStdString(s.outputFile));
    }
    printer->setResolution(s.ticket.dpiX);
    printer->setFullPage(false);

    const OrientedSheet o = Orient(*m, s.ticket.orientation);
    const QPageSize size(QSizeF(m->width / 100.0, m->length / 100.0), QPageSize::Millimeter,
                         QString::fromStdString(m->name), QPageSize::ExactMatch);
    const QPageLayout layout(size,
                             s.ticket.orientation == kTicketLandscape ? QPageLayout::Landscape
                                                                      : QPageLayout::Portrait,
                             QMarginsF(o.left / 100.0, o.top / 100.0, o.right / 100.0, o.bottom / 100.0),
                             QPageLayout::Millimeter);
    printer->setPageLayout(layout);
    printer->setCopyCount(std::max(1, s.ticket.copies));

    if (!s.pdf)
    {
        // The source and the properties travel as job options; the
        // queue's own defaults stay as they are.
        QStringList options;
        if (s.ticket.bin >= 1 && s.ticket.bin <= static_cast<int>(s.binKeys.size()))
            options << QStringLiteral(CUPS_MEDIA_SOURCE)
                    << QString::fromStdString(s.binKeys[static_cast<std::size_t>(s.ticket.bin - 1)]);
        options << QStringLiteral(CUPS_MEDIA) << QString::fromStdString(m->keyword);
        for (const auto& [name, value] : s.ticket.options)
            options << QString::fromStdString(name) << QString::fromStdString(value);
        // The program has converted the pixels for the printer's profile:
        // the queue's filters must not convert them once more.
        if ((s.ticket.fields & kTicketIcmMethod) && s.ticket.icmMethod == kIcmMethodNone)
            options << QString::fromLatin1(kCupsNoColorManagement) << QStringLiteral("true");
        if (QPrintEngine* engine = printer->printEngine())
            engine->setProperty(kCupsOptionsProperty, options);
    }
    s.printer = std::move(printer);
    return s.printer.get();
}

std::string CPrinterSettings::AssociatedProfile() const
{
    const State& s = *m_state;
    if (!s.open || s.pdf)
        return {};
    // The profile the queue's PPD names (*cupsICCProfile ...: "file"); its
    // file name, the form in which the colour directory lists profiles.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const char* ppdPath = cupsGetPPD2(s.http, s.name.c_str());
#pragma GCC diagnostic pop
    if (!ppdPath)
        return {};
    const std::string path = ppdPath;
    std::string profile;
    {
        std::ifstream in(path);
        std::string line;
        while (profile.empty() && std::getline(in, line))
        {
            if (line.rfind("*cupsICCProfile", 0) != 0)
                continue;
            const auto colon = line.find(':');
            const auto open = line.find('"', colon == std::string::npos ? 0 : colon);
            const auto close = open == std::string::npos ? open : line.find('"', open + 1);
            if (close == std::string::npos)
                continue;
            const std::string file = line.substr(open + 1, close - open - 1);
            const auto slash = file.rfind('/');
            profile = slash == std::string::npos ? file : file.substr(slash + 1);
        }
    }
    std::remove(path.c_str());
    return profile;
}

// ---------------------------------------------------------------------------

int OpenStartPrinter(CPrinterSettings& settings, const CSystemPrinters& printers,
                     const std::string& savedName)
{
    const auto& names = printers.PrinterNames();
    auto tryOpen = [&](const std::string& name) -> int {
        auto it = std::find(names.begin(), names.end(), name);
        if (name.empty() || it == names.end() || !settings.OpenPrinterDevMode(name))
            return -1;
        return static_cast<int>(it - names.begin());
    };
    if (int i = tryOpen(savedName); i >= 0)
        return i;
    if (int i = tryOpen(printers.DefaultPrinterName()); i >= 0)
        return i;
    for (const auto& name : names)
        if (int i = tryOpen(name); i >= 0)
            return i;
    return -1;
}

std::vector<std::string> ListPrinterProfiles()
{
    constexpr std::uint32_t kOutputClass = 0x70727472; // 'prtr'
    std::vector<std::string> result;
    for (const auto& name : platform::ListInstalledProfiles())
    {
        CColorProfile profile;
        std::uint32_t deviceClass = 0;
        if (profile.Open(platform::ResolveProfilePath(name)) && profile.GetDeviceClass(deviceClass)
            && deviceClass == kOutputClass)
            result.push_back(name);
    }
    return result;
}
