#include "platform/ddc/SimulatedMonitors.h"

#include "platform/DisplayDevices.h"

#include "platform/FileReplace.h"
#include "platform/IniStore.h"
#include "platform/Numbers.h"
#include "platform/Text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <iterator>
#include <tuple>

// The file is small and every exchange is a whole read-modify-write of it
// under the lock, so a reader in another process never sees a monitor half
// changed (a preset without its gains). The text is read by IniStore's
// rules (ParseIniLines), but kept in memory here rather than changed through
// IniStore, because IniStore takes the same lock for each single write and
// one exchange may change several keys at once.

namespace platform {

namespace {

// ---------------------------------------------------------------- ini text

// Blanks inside values, as around them: CRs between the digits of
// EdidHex are passed over.
std::string_view Trim(std::string_view text)
{
    return TrimBlanks(text, kIniBlanks);
}

// One line of a section: a key=value pair, or a line kept as it is
// (comments, blank lines, anything without '='). raw is the line as it is
// written back: as read, until the value is set.
struct Entry
{
    std::string key; // empty for a kept line
    std::string value;
    std::string raw;
};

std::string PairLine(std::string_view key, std::string_view value)
{
    return std::string(key) + '=' + EncodeIniValue(value);
}

struct Section
{
    std::string name;   // empty for the lines before the first section
    std::string header; // the "[name]" line as written
    std::vector<Entry> entries;

    const Entry* Find(std::string_view key) const
    {
        for (const Entry& e : entries)
        {
            if (!e.key.empty() && EqualsNoCase(e.key, key))
                return &e;
        }
        return nullptr;
    }

    std::optional<std::string> Get(std::string_view key) const
    {
        if (const Entry* e = Find(key))
            return e->value;
        return std::nullopt;
    }

    void Set(std::string_view key, std::string value)
    {
        for (Entry& e : entries)
        {
            if (!e.key.empty() && EqualsNoCase(e.key, key))
            {
                e.raw = PairLine(e.key, value);
                e.value = std::move(value);
                return;
            }
        }
        // New keys go after the last key, ahead of trailing blank lines.
        auto at = entries.end();
        while (at != entries.begin() && std::prev(at)->key.empty() &&
               Trim(std::prev(at)->raw).empty())
            --at;
        std::string raw = PairLine(key, value);
        entries.insert(at, Entry{std::string(key), std::move(value), std::move(raw)});
    }
};

struct Document
{
    std::vector<Section> sections; // sections[0] is the preamble

    static Document Parse(std::string_view text)
    {
        Document doc;
        doc.sections.emplace_back();
        for (const IniLine& line : ParseIniLines(text))
        {
            if (line.kind == IniLineKind::Section)
            {
                Section s;
                s.name = std::string(line.name);
                s.header = std::string(line.text);
                doc.sections.push_back(std::move(s));
                continue;
            }
            Entry e;
            if (line.kind == IniLineKind::Pair)
            {
                e.key = std::string(line.name);
                e.value = std::string(line.value);
            }
            e.raw = std::string(line.text);
            doc.sections.back().entries.push_back(std::move(e));
        }
        return doc;
    }

    std::string Serialize() const
    {
        std::string out;
        for (const Section& s : sections)
        {
            if (!s.header.empty())
                out += s.header + '\n';
            for (const Entry& e : s.entries)
                out += e.raw + '\n';
        }
        return out;
    }

    std::vector<Section*> Monitors()
    {
        std::vector<Section*> list;
        for (std::size_t i = 1; i < sections.size(); ++i)
        {
            if (StartsWithNoCase(sections[i].name, "Monitor"))
                list.push_back(&sections[i]);
        }
        return list;
    }
};

std::string ConnectorOf(const Section& s)
{
    const auto connector = s.Get("Connector");
    return connector && !connector->empty() ? *connector : s.name;
}

Section* FindMonitor(Document& doc, std::string_view connector)
{
    for (Section* s : doc.Monitors())
    {
        if (ConnectorOf(*s) == connector)
            return s;
    }
    return nullptr;
}

long long GetInt(const Section& s, std::string_view key, long long fallback)
{
    long long value = 0;
    const auto text = s.Get(key);
    return text && TryParseInt(*text, &value) ? value : fallback;
}

bool GetFlag(const Section& s, std::string_view key)
{
    return GetInt(s, key, 0) != 0;
}

// ------------------------------------------------------------- hex helpers

// Exactly two hexadecimal digits.
std::optional<std::uint8_t> ParseHexByte(std::string_view text)
{
    text = Trim(text);
    if (text.size() != 2)
        return std::nullopt;
    const int hi = HexDigitValue(text[0]);
    const int lo = HexDigitValue(text[1]);
    if (hi < 0 || lo < 0)
        return std::nullopt;
    return static_cast<std::uint8_t>(hi * 16 + lo);
}

std::string HexByte(unsigned value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[(value >> 4) & 0xF], kDigits[value & 0xF]};
}

std::string CodeKey(std::string_view prefix, unsigned code)
{
    return std::string(prefix) + HexByte(code);
}

std::optional<std::uint16_t> ParseWord(std::string_view text)
{
    long long value = 0;
    if (!TryParseInt(text, &value) || value < 0 || value > 0xFFFF)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

std::vector<std::string_view> Split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    while (true)
    {
        const std::size_t at = text.find(separator);
        parts.push_back(Trim(text.substr(0, at)));
        if (at == std::string_view::npos)
            break;
        text = text.substr(at + 1);
    }
    return parts;
}

// ----------------------------------------------------------- VCP entries

std::string FormatVcp(const SimulatedVcpCode& v)
{
    std::string text = FormatInt(v.current) + ',' + FormatInt(v.maximum);
    if (v.momentary)
        text += ",momentary";
    if (v.readOnly)
        text += ",readonly";
    return text;
}

std::optional<SimulatedVcpCode> ReadVcpEntry(const Section& s, std::uint8_t code)
{
    const auto text = s.Get(CodeKey("VCP_", code));
    if (!text)
        return std::nullopt;
    const auto parts = Split(*text, ',');
    if (parts.size() < 2)
        return std::nullopt;
    const auto current = ParseWord(parts[0]);
    const auto maximum = ParseWord(parts[1]);
    if (!current || !maximum)
        return std::nullopt;
    SimulatedVcpCode v;
    v.code = code;
    v.current = *current;
    v.maximum = *maximum;
    for (std::size_t i = 2; i < parts.size(); ++i)
    {
        if (EqualsNoCase(parts[i], "momentary"))
            v.momentary = true;
        else if (EqualsNoCase(parts[i], "readonly"))
            v.readOnly = true;
    }
    return v;
}

// Stores a value into a listed, storable code; values beyond the maximum are
// cut to it as a monitor's own controls stop at their end.
void StoreIfListed(Section& s, std::uint8_t code, std::uint16_t value)
{
    auto v = ReadVcpEntry(s, code);
    if (!v || v->momentary)
        return;
    v->current = std::min(value, v->maximum);
    s.Set(CodeKey("VCP_", code), FormatVcp(*v));
}

// The codes MCCS 08h (restore colour defaults) puts back.
constexpr std::array<std::uint8_t, 10> kColourCodes = {0x0B, 0x0C, 0x14, 0x16, 0x18,
                                                       0x1A, 0x6C, 0x6E, 0x70, 0x72};

void RestoreDefaults(Section& s, std::uint8_t command)
{
    for (const Entry& e : std::vector<Entry>(s.entries))
    {
        if (e.key.empty() || !StartsWithNoCase(e.key, "Default_"))
            continue;
        const auto code = ParseHexByte(std::string_view(e.key).substr(8));
        const auto value = ParseWord(e.value);
        if (!code || !value)
            continue;
        bool restore = command == vcp::kRestoreFactoryDefaults;
        if (command == vcp::kRestoreLuminanceContrast)
            restore = *code == vcp::kLuminance || *code == vcp::kContrast;
        if (command == vcp::kRestoreColorDefaults)
            restore =
                std::find(kColourCodes.begin(), kColourCodes.end(), *code) != kColourCodes.end();
        if (restore)
            StoreIfListed(s, *code, *value);
    }
}

void LoadPreset(Section& s, std::uint16_t preset)
{
    if (preset > 0xFF)
        return;
    const auto text = s.Get(CodeKey("Preset_", preset));
    if (!text || Trim(*text).empty())
        return;
    for (const std::string_view pair : Split(*text, ','))
    {
        const std::size_t colon = pair.find(':');
        if (colon == std::string_view::npos)
            continue;
        const auto code = ParseHexByte(pair.substr(0, colon));
        const auto value = ParseWord(Trim(pair.substr(colon + 1)));
        if (code && value && *code != vcp::kSelectColorPreset)
            StoreIfListed(s, *code, *value);
    }
}

// A write to the monitor, from the host or from the front panel. False (with
// a reason) when the monitor refuses it.
bool ApplyWrite(Section& s, std::uint8_t code, std::uint16_t value, bool frontPanel,
                std::string* error)
{
    auto v = ReadVcpEntry(s, code);
    if (!v)
    {
        *error = "VCP code " + HexByte(code) + "h not supported";
        return false;
    }
    if (v->readOnly)
    {
        *error = "VCP code " + HexByte(code) + "h is read-only";
        return false;
    }
    if (v->momentary)
    {
        if (value != 0 &&
            (code == vcp::kRestoreFactoryDefaults || code == vcp::kRestoreLuminanceContrast ||
             code == vcp::kRestoreColorDefaults))
            RestoreDefaults(s, code);
    }
    else
    {
        v->current = std::min(value, v->maximum);
        s.Set(CodeKey("VCP_", code), FormatVcp(*v));
        if (code == vcp::kSelectColorPreset)
            LoadPreset(s, v->current);
    }
    if (frontPanel && code != vcp::kNewControlValue)
        StoreIfListed(s, vcp::kNewControlValue, 2);
    return true;
}

// --------------------------------------------------------------------- EDID

std::optional<std::pair<double, double>> ParseXy(const Section& s, std::string_view key)
{
    const auto text = s.Get(key);
    if (!text)
        return std::nullopt;
    const auto parts = Split(*text, ',');
    double x = 0;
    double y = 0;
    if (parts.size() != 2 || !TryParseDouble(parts[0], &x) || !TryParseDouble(parts[1], &y))
        return std::nullopt;
    return std::pair{x, y};
}

EdidFields FieldsOf(const Section& s)
{
    EdidFields f;
    if (const auto maker = s.Get("Maker"))
        f.maker = *maker;
    if (const auto product = s.Get("Product"))
    {
        // Four hexadecimal digits, as product codes are written.
        const std::string_view text = Trim(*product);
        unsigned value = 0;
        bool ok = !text.empty() && text.size() <= 4;
        for (const char c : text)
        {
            const int d = HexDigitValue(c);
            ok = ok && d >= 0;
            value = value * 16 + static_cast<unsigned>(std::max(d, 0));
        }
        if (ok)
            f.product = static_cast<std::uint16_t>(value);
    }
    long long serial = 0;
    if (const auto text = s.Get("SerialNumber");
        text && TryParseInt(*text, &serial) && serial >= 0 && serial <= 0xFFFFFFFFLL)
        f.serialNumber = static_cast<std::uint32_t>(serial);
    if (const auto name = s.Get("Name"))
        f.name = *name;
    if (const auto serialText = s.Get("Serial"))
        f.serial = *serialText;
    if (const auto xy = ParseXy(s, "Red"))
        std::tie(f.redX, f.redY) = *xy;
    if (const auto xy = ParseXy(s, "Green"))
        std::tie(f.greenX, f.greenY) = *xy;
    if (const auto xy = ParseXy(s, "Blue"))
        std::tie(f.blueX, f.blueY) = *xy;
    if (const auto xy = ParseXy(s, "White"))
        std::tie(f.whiteX, f.whiteY) = *xy;
    return f;
}

// The monitor's EDID: EdidHex when given (nothing when it is not
// hexadecimal), else built from the fields.
std::optional<std::vector<std::uint8_t>> EdidOf(const Section& s)
{
    const auto hex = s.Get("EdidHex");
    if (!hex)
        return BuildEdid(FieldsOf(s));
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (const char c : *hex)
    {
        if (IsBlank(c, kIniBlanks))
            continue;
        const int d = HexDigitValue(c);
        if (d < 0)
            return std::nullopt;
        if (high < 0)
        {
            high = d;
        }
        else
        {
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + d));
            high = -1;
        }
    }
    if (high >= 0)
        return std::nullopt;
    return bytes;
}

constexpr std::array<std::uint8_t, 8> kEdidHeader = {0x00, 0xFF, 0xFF, 0xFF,
                                                     0xFF, 0xFF, 0xFF, 0x00};

// The text of a display descriptor with the given tag (FCh name, FFh
// serial): up to 13 characters, ended by a line feed.
std::string DescriptorText(const std::vector<std::uint8_t>& edid, std::uint8_t tag)
{
    if (!HasEdidHeader(edid))
        return {};
    for (std::size_t at = 54; at + 18 <= 126; at += 18)
    {
        if (edid[at] != 0 || edid[at + 1] != 0 || edid[at + 3] != tag)
            continue;
        std::string text;
        for (std::size_t i = at + 5; i < at + 18 && edid[i] != 0x0A; ++i)
            text += static_cast<char>(edid[i]);
        return std::string(Trim(text));
    }
    return {};
}

// ----------------------------------------------------------- file access

// Runs fn on the monitor's section under the file's lock and writes the file
// back when fn reports a change. False when the file cannot be read or
// written, or the monitor is not in it (fn then does not run).
bool WithMonitor(const std::string& path, const std::string& connector, std::string* error,
                 const std::function<bool(Section&, bool* changed)>& fn)
{
    FileLock lock(path);
    if (!lock.IsLocked())
    {
        *error = "cannot lock " + path;
        return false;
    }
    std::string text;
    if (!ReadFileContents(path, &text))
    {
        *error = "cannot read " + path;
        return false;
    }
    Document doc = Document::Parse(text);
    Section* s = FindMonitor(doc, connector);
    if (s == nullptr)
    {
        *error = "no monitor " + connector;
        return false;
    }
    bool changed = false;
    const bool ok = fn(*s, &changed);
    if (changed && !ReplaceFileContents(path, doc.Serialize(), error))
        return false;
    return ok;
}

std::string FormatXy(double x, double y)
{
    return FormatDouble(x, 4) + ',' + FormatDouble(y, 4);
}

void WriteSetup(std::string& out, const SimulatedMonitorSetup& setup)
{
    auto line = [&out](std::string_view key, const std::string& value) {
        out += PairLine(key, value) + '\n';
    };
    out += '[' + setup.section + "]\n";
    line("Connector", setup.connector);
    line("Primary", setup.primary ? "1" : "0");
    if (!setup.description.empty())
        line("Description", setup.description);
    if (!setup.rawEdidHex.empty())
    {
        line("EdidHex", setup.rawEdidHex);
    }
    else
    {
        const EdidFields& f = setup.edid;
        line("Maker", f.maker);
        line("Product", HexByte(f.product >> 8) + HexByte(f.product & 0xFF));
        line("SerialNumber", FormatInt(f.serialNumber));
        line("Name", f.name);
        line("Serial", f.serial);
        line("Red", FormatXy(f.redX, f.redY));
        line("Green", FormatXy(f.greenX, f.greenY));
        line("Blue", FormatXy(f.blueX, f.blueY));
        line("White", FormatXy(f.whiteX, f.whiteY));
    }
    line("Capabilities",
         setup.capabilities.empty() ? MakeCapabilitiesString(setup) : setup.capabilities);
    for (const SimulatedVcpCode& v : setup.vcp)
        line(CodeKey("VCP_", v.code), FormatVcp(v));
    for (const SimulatedPreset& p : setup.presets)
    {
        std::string settings;
        for (const auto& [code, value] : p.settings)
        {
            if (!settings.empty())
                settings += ',';
            settings += HexByte(code) + ':' + FormatInt(value);
        }
        line(CodeKey("Preset_", p.value & 0xFF), settings);
    }
    for (const SimulatedVcpCode& v : setup.vcp)
    {
        if (v.factoryDefault)
            line(CodeKey("Default_", v.code), FormatInt(*v.factoryDefault));
    }
    line("FailNext", FormatInt(setup.failNext));
    line("NoAnswer", setup.noAnswer ? "1" : "0");
    line("Unplugged", setup.unplugged ? "1" : "0");
    line("DelayMs", FormatInt(setup.delayMs));
    line("Exchanges", "0");
    line("Saves", "0");
    out += '\n';
}

void PutByte(std::vector<std::uint8_t>& edid, std::size_t at, unsigned value)
{
    edid[at] = static_cast<std::uint8_t>(value & 0xFF);
}

// round(v x 1024) in 0..1023; not-a-number gives 0.
unsigned Chromaticity10(double v)
{
    if (!(v > 0))
        return 0;
    const double scaled = std::round(v * 1024.0);
    return scaled >= 1023.0 ? 1023u : static_cast<unsigned>(scaled);
}

void PutDescriptorText(std::vector<std::uint8_t>& edid, std::size_t at, std::uint8_t tag,
                       std::string_view text)
{
    edid[at + 3] = tag;
    std::size_t i = 0;
    for (; i < 13 && i < text.size(); ++i)
        edid[at + 5 + i] = static_cast<std::uint8_t>(text[i]);
    if (i < 13)
        edid[at + 5 + i++] = 0x0A;
    for (; i < 13; ++i)
        edid[at + 5 + i] = 0x20;
}

} // namespace

// ----------------------------------------------------------------- public

std::vector<std::uint8_t> BuildEdid(const EdidFields& f)
{
    std::vector<std::uint8_t> edid(128, 0);
    std::copy(kEdidHeader.begin(), kEdidHeader.end(), edid.begin());

    // Maker: three 5-bit letter codes (A = 1), big-endian.
    unsigned maker = 0;
    if (f.maker.size() == 3 &&
        std::all_of(f.maker.begin(), f.maker.end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
    {
        for (const char c : f.maker)
            maker = maker << 5 | static_cast<unsigned>(c - 'A' + 1);
    }
    PutByte(edid, 8, maker >> 8);
    PutByte(edid, 9, maker);
    PutByte(edid, 10, f.product);
    PutByte(edid, 11, f.product >> 8);
    for (int i = 0; i < 4; ++i)
        PutByte(edid, 12 + static_cast<std::size_t>(i), f.serialNumber >> (8 * i));
    edid[16] = 1; // week of manufacture
    edid[17] = 2020 - 1990;
    edid[18] = 1; // EDID 1.3
    edid[19] = 3;
    edid[20] = 0x80; // digital input
    edid[21] = 60;   // 60 x 34 cm
    edid[22] = 34;
    edid[23] = 120;  // gamma 2.2 stored as (2.2 - 1) x 100
    edid[24] = 0x0A; // RGB colour, preferred timing in the first descriptor

    // Chromaticities: 10 bits each, the two low bits packed in bytes 25-26.
    const std::array<unsigned, 8> c = {Chromaticity10(f.redX),   Chromaticity10(f.redY),
                                       Chromaticity10(f.greenX), Chromaticity10(f.greenY),
                                       Chromaticity10(f.blueX),  Chromaticity10(f.blueY),
                                       Chromaticity10(f.whiteX), Chromaticity10(f.whiteY)};
    PutByte(edid, 25, (c[0] & 3) << 6 | (c[1] & 3) << 4 | (c[2] & 3) << 2 | (c[3] & 3));
    PutByte(edid, 26, (c[4] & 3) << 6 | (c[5] & 3) << 4 | (c[6] & 3) << 2 | (c[7] & 3));
    for (std::size_t i = 0; i < c.size(); ++i)
        PutByte(edid, 27 + i, c[i] >> 2);

    for (std::size_t at = 38; at < 54; ++at)
        edid[at] = 1; // no standard timings

    // Preferred timing: 1920x1080 at 60 Hz (148.5 MHz), 598 x 336 mm.
    constexpr std::array<std::uint8_t, 18> kTiming = {0x02, 0x3A, 0x80, 0x18, 0x71, 0x38,
                                                      0x2D, 0x40, 0x58, 0x2C, 0x45, 0x00,
                                                      0x56, 0x50, 0x21, 0x00, 0x00, 0x1E};
    std::copy(kTiming.begin(), kTiming.end(), edid.begin() + 54);
    PutDescriptorText(edid, 72, 0xFC, f.name);
    PutDescriptorText(edid, 90, 0xFF, f.serial);
    // Range limits: 56-76 Hz, 30-83 kHz, 170 MHz.
    constexpr std::array<std::uint8_t, 18> kRange = {0x00, 0x00, 0x00, 0xFD, 0x00, 0x38,
                                                     0x4C, 0x1E, 0x53, 0x11, 0x00, 0x0A,
                                                     0x20, 0x20, 0x20, 0x20, 0x20, 0x20};
    std::copy(kRange.begin(), kRange.end(), edid.begin() + 108);

    edid[126] = 0; // no extension blocks
    unsigned sum = 0;
    for (std::size_t i = 0; i < 127; ++i)
        sum += edid[i];
    edid[127] = static_cast<std::uint8_t>((256 - sum % 256) % 256);
    return edid;
}

SimulatedMonitorSetup DefaultSimulatedMonitor()
{
    SimulatedMonitorSetup setup;
    auto code = [&setup](std::uint8_t c, std::uint16_t current, std::uint16_t maximum,
                        std::optional<std::uint16_t> factory = std::nullopt) -> SimulatedVcpCode& {
        SimulatedVcpCode v;
        v.code = c;
        v.current = current;
        v.maximum = maximum;
        v.factoryDefault = factory;
        setup.vcp.push_back(v);
        return setup.vcp.back();
    };
    code(vcp::kNewControlValue, 1, 2);
    code(vcp::kRestoreFactoryDefaults, 0, 1).momentary = true;
    code(vcp::kRestoreLuminanceContrast, 0, 1).momentary = true;
    code(vcp::kRestoreColorDefaults, 0, 1).momentary = true;
    code(0x0B, 50, 50).readOnly = true; // colour temperature increment: 50 K
    code(0x0C, 70, 140, 70);            // colour temperature request: 3000 K + 70 x 50 K
    code(vcp::kLuminance, 80, 100, 80);
    code(vcp::kContrast, 50, 100, 50);
    code(vcp::kSelectColorPreset, 5, 0x0D, 5);
    code(vcp::kVideoGainRed, 100, 100, 100);
    code(vcp::kVideoGainGreen, 95, 100, 95);
    code(vcp::kVideoGainBlue, 90, 100, 90);
    code(vcp::kGamma, 0x78, 0xFF, 0x78);
    code(vcp::kDisplayTechnologyType, 3, 8).readOnly = true; // LCD (active matrix)
    code(vcp::kVersion, 0x0202, 0xFFFF).readOnly = true;     // MCCS 2.2
    code(0xF9, 0, 5);

    auto preset = [&setup](std::uint16_t value, std::uint16_t r, std::uint16_t g, std::uint16_t b,
                          std::uint16_t temperature) {
        setup.presets.push_back({value,
                                {{vcp::kVideoGainRed, r},
                                 {vcp::kVideoGainGreen, g},
                                 {vcp::kVideoGainBlue, b},
                                 {0x0C, temperature}}});
    };
    preset(0x01, 100, 96, 92, 70);      // sRGB
    preset(0x04, 100, 86, 70, 40);      // 5000 K
    preset(0x05, 100, 95, 90, 70);      // 6500 K
    preset(0x06, 92, 96, 100, 90);      // 7500 K
    preset(0x08, 80, 90, 100, 126);     // 9300 K
    setup.presets.push_back({0x0B, {}}); // user 1: keeps its gains
    return setup;
}

std::string MakeCapabilitiesString(const SimulatedMonitorSetup& setup)
{
    std::string model;
    for (const char c : setup.edid.name)
    {
        if (c != '(' && c != ')')
            model += c;
    }
    std::string codes;
    for (const SimulatedVcpCode& v : setup.vcp)
    {
        if (!codes.empty())
            codes += ' ';
        codes += HexByte(v.code);
        if (v.code == vcp::kSelectColorPreset && !setup.presets.empty())
        {
            codes += '(';
            for (std::size_t i = 0; i < setup.presets.size(); ++i)
                codes += (i ? " " : "") + HexByte(setup.presets[i].value & 0xFF);
            codes += ')';
        }
    }
    return "(prot(monitor)type(lcd)model(" + model + ")cmds(01 02 03 07 0C E3 F3)vcp(" + codes +
           ")mccs_ver(2.2))";
}

bool SimulatedMonitorFile::Write(const std::vector<SimulatedMonitorSetup>& monitors) const
{
    std::string text =
        "; Simulated DDC/CI monitors: format in platform/ddc/SimulatedMonitors.h\n\n";
    if (monitors.empty())
        WriteSetup(text, DefaultSimulatedMonitor());
    for (const SimulatedMonitorSetup& setup : monitors)
        WriteSetup(text, setup);
    FileLock lock(m_path);
    return lock.IsLocked() && ReplaceFileContents(m_path, text);
}

bool SimulatedMonitorFile::FrontPanelChange(const std::string& connector, std::uint8_t code,
                                            std::uint16_t value) const
{
    std::string error;
    return WithMonitor(m_path, connector, &error, [&](Section& s, bool* changed) {
        *changed = ApplyWrite(s, code, value, true, &error);
        return *changed;
    });
}

std::optional<VcpValue> SimulatedMonitorFile::ReadVcp(const std::string& connector,
                                                      std::uint8_t code) const
{
    std::string error;
    std::optional<VcpValue> result;
    WithMonitor(m_path, connector, &error, [&](Section& s, bool*) {
        if (const auto v = ReadVcpEntry(s, code))
            result = VcpValue{v->current, v->maximum,
                              v->momentary ? VcpCodeType::Momentary : VcpCodeType::SetParameter};
        return true;
    });
    return result;
}

std::optional<SimulatedMonitorCounters>
SimulatedMonitorFile::Counters(const std::string& connector) const
{
    std::string error;
    std::optional<SimulatedMonitorCounters> result;
    WithMonitor(m_path, connector, &error, [&](Section& s, bool*) {
        result = SimulatedMonitorCounters{
            static_cast<int>(std::clamp(GetInt(s, "Exchanges", 0), 0LL, 1LL << 30)),
            static_cast<int>(std::clamp(GetInt(s, "Saves", 0), 0LL, 1LL << 30))};
        return true;
    });
    return result;
}

bool SimulatedMonitorFile::SetKey(const std::string& connector, const std::string& key,
                                  const std::string& value) const
{
    std::string error;
    return WithMonitor(m_path, connector, &error, [&](Section& s, bool* changed) {
        s.Set(key, value);
        *changed = true;
        return true;
    });
}

bool SimulatedMonitorFile::SetFailNext(const std::string& connector, int count) const
{
    return SetKey(connector, "FailNext", FormatInt(count));
}

bool SimulatedMonitorFile::SetNoAnswer(const std::string& connector, bool on) const
{
    return SetKey(connector, "NoAnswer", on ? "1" : "0");
}

bool SimulatedMonitorFile::SetUnplugged(const std::string& connector, bool on) const
{
    return SetKey(connector, "Unplugged", on ? "1" : "0");
}

bool SimulatedMonitorFile::SetDelayMs(const std::string& connector, int ms) const
{
    return SetKey(connector, "DelayMs", FormatInt(ms));
}

// ------------------------------------------------------------- transport

SimulatedDdcTransport::SimulatedDdcTransport(std::string path, Clock& clock)
    : m_path(std::move(path)), m_clock(clock)
{}

std::vector<PhysicalMonitor> SimulatedDdcTransport::EnumerateMonitors()
{
    std::vector<PhysicalMonitor> list;
    std::string text;
    {
        FileLock lock(m_path);
        if (!ReadFileContents(m_path, &text))
        {
            m_lastError = "cannot read " + m_path;
            return list;
        }
    }
    Document doc = Document::Parse(text);
    const std::vector<Section*> sections = doc.Monitors();
    for (std::size_t i = 0; i < sections.size(); ++i)
    {
        const Section& s = *sections[i];
        if (GetFlag(s, "Unplugged"))
            continue;
        PhysicalMonitor m;
        m.connector = ConnectorOf(s);
        m.primary = s.Get("Primary") ? GetFlag(s, "Primary") : i == 0;
        m.index = i;
        const std::vector<std::uint8_t> edid = EdidOf(s).value_or(std::vector<std::uint8_t>());
        m.deviceId = MonitorDeviceId(edid, m.connector);
        m.description = s.Get("Description").value_or(DescriptorText(edid, 0xFC));
        if (m.description.empty())
            m.description = "Monitor on " + m.connector;
        list.push_back(std::move(m));
    }
    std::stable_partition(list.begin(), list.end(),
                          [](const PhysicalMonitor& m) { return m.primary; });
    m_lastError.clear();
    return list;
}

template <typename Act>
bool SimulatedDdcTransport::Exchange(SimulatedExchange::Kind kind, const PhysicalMonitor& monitor,
                                     std::uint8_t code, std::uint16_t value, Act&& act)
{
    SimulatedExchange record{kind, monitor.connector, code, value, false, m_clock.NowMs()};
    long long delay = 0;
    std::string error;
    const bool ok = WithMonitor(m_path, monitor.connector, &error, [&](Section& s, bool* changed) {
        if (GetFlag(s, "Unplugged"))
        {
            error = "monitor " + monitor.connector + " unplugged";
            return false;
        }
        // From here on the request went out on the cable.
        *changed = true;
        delay = GetInt(s, "DelayMs", 0);
        s.Set("Exchanges", FormatInt(GetInt(s, "Exchanges", 0) + 1));
        if (const long long failNext = GetInt(s, "FailNext", 0); failNext > 0)
        {
            s.Set("FailNext", FormatInt(failNext - 1));
            error = "injected failure";
            return false;
        }
        if (GetFlag(s, "NoAnswer"))
        {
            error = "no answer";
            return false;
        }
        return act(s, &record.value, &error);
    });
    if (delay > 0)
        m_clock.SleepMs(delay);
    record.answered = ok;
    m_log.push_back(record);
    m_lastError = ok ? std::string() : error;
    return ok;
}

bool SimulatedDdcTransport::GetVcp(const PhysicalMonitor& monitor, std::uint8_t code,
                                   VcpValue* value)
{
    return Exchange(SimulatedExchange::Kind::GetVcp, monitor, code, 0,
                    [&](Section& s, std::uint16_t* logged, std::string* error) {
                        const auto v = ReadVcpEntry(s, code);
                        if (!v)
                        {
                            *error = "VCP code " + HexByte(code) + "h not supported";
                            return false;
                        }
                        *logged = v->current;
                        if (value != nullptr)
                            *value = VcpValue{v->current, v->maximum,
                                              v->momentary ? VcpCodeType::Momentary
                                                           : VcpCodeType::SetParameter};
                        return true;
                    });
}

bool SimulatedDdcTransport::SetVcp(const PhysicalMonitor& monitor, std::uint8_t code,
                                   std::uint16_t value)
{
    return Exchange(SimulatedExchange::Kind::SetVcp, monitor, code, value,
                    [&](Section& s, std::uint16_t*, std::string* error) {
                        return ApplyWrite(s, code, value, false, error);
                    });
}

bool SimulatedDdcTransport::GetCapabilities(const PhysicalMonitor& monitor, std::string* caps)
{
    return Exchange(SimulatedExchange::Kind::GetCapabilities, monitor, 0, 0,
                    [&](Section& s, std::uint16_t*, std::string* error) {
                        const auto text = s.Get("Capabilities");
                        if (!text)
                        {
                            *error = "no capabilities string";
                            return false;
                        }
                        if (caps != nullptr)
                            *caps = *text;
                        return true;
                    });
}

bool SimulatedDdcTransport::SaveCurrentSettings(const PhysicalMonitor& monitor)
{
    return Exchange(SimulatedExchange::Kind::SaveCurrentSettings, monitor, 0, 0,
                    [&](Section& s, std::uint16_t*, std::string*) {
                        s.Set("Saves", FormatInt(GetInt(s, "Saves", 0) + 1));
                        return true;
                    });
}

bool SimulatedDdcTransport::GetTechnologyType(const PhysicalMonitor& monitor, std::uint16_t* type)
{
    return Exchange(SimulatedExchange::Kind::GetTechnologyType, monitor,
                    vcp::kDisplayTechnologyType, 0,
                    [&](Section& s, std::uint16_t* logged, std::string* error) {
                        const auto v = ReadVcpEntry(s, vcp::kDisplayTechnologyType);
                        if (!v)
                        {
                            *error = "no display technology type (B6h)";
                            return false;
                        }
                        *logged = v->current;
                        if (type != nullptr)
                            *type = v->current;
                        return true;
                    });
}

bool SimulatedDdcTransport::GetEdid(const PhysicalMonitor& monitor, std::vector<std::uint8_t>* edid)
{
    std::string error;
    const bool ok = WithMonitor(m_path, monitor.connector, &error, [&](Section& s, bool*) {
        if (GetFlag(s, "Unplugged"))
        {
            error = "monitor " + monitor.connector + " unplugged";
            return false;
        }
        auto bytes = EdidOf(s);
        if (!bytes || bytes->empty())
        {
            error = "EdidHex is empty or not hexadecimal";
            return false;
        }
        if (edid != nullptr)
            *edid = std::move(*bytes);
        return true;
    });
    m_lastError = ok ? std::string() : error;
    return ok;
}

} // namespace platform
