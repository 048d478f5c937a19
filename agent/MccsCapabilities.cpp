#include "agent/MccsCapabilities.h"

#include "agent/DdcCiLink.h"

#include <optional>

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// The content of the first tag of that name (the tag includes its opening
// parenthesis): everything up to the parenthesis that balances it. A tag
// counts only where a name starts, so "vcp(" is not found inside
// "xvcp(". No balancing parenthesis: no content.
std::optional<std::string_view> ExtractTag(std::string_view text, std::string_view tag)
{
    std::size_t at = text.find(tag);
    while (at != std::string_view::npos && at > 0 && IsNameChar(text[at - 1]))
        at = text.find(tag, at + 1);
    if (at == std::string_view::npos)
        return std::nullopt;
    const std::size_t start = at + tag.size();
    int depth = 0;
    for (std::size_t i = start; i < text.size(); ++i)
    {
        if (text[i] == '(')
        {
            ++depth;
        }
        else if (text[i] == ')')
        {
            if (depth == 0)
                return text.substr(start, i - start);
            --depth;
        }
    }
    return std::nullopt;
}

// A hexadecimal number after optional blanks, consuming it from `text`.
// Seven digits at most, so that the value fits an int; no digits or more
// of them is no number.
std::optional<int> TakeHex(std::string_view& text)
{
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    int value = 0;
    std::size_t digits = 0;
    while (i < text.size() && HexValue(text[i]) >= 0)
    {
        if (++digits > 7)
            return std::nullopt;
        value = value * 16 + HexValue(text[i]);
        ++i;
    }
    if (digits == 0)
        return std::nullopt;
    text.remove_prefix(i);
    return value;
}

bool TakeLiteral(std::string_view& text, std::string_view literal)
{
    if (text.substr(0, literal.size()) != literal)
        return false;
    text.remove_prefix(literal.size());
    return true;
}

} // namespace

void CMccsCapabilities::CodeList::Clear()
{
    keys.clear();
    listedKeys.clear();
    values.clear();
    m_keySet.clear();
    m_listIndex.clear();
}

void CMccsCapabilities::CodeList::AddKey(int key)
{
    if (m_keySet.insert(key).second)
        keys.push_back(key);
}

std::size_t CMccsCapabilities::CodeList::ListOf(int key)
{
    const auto [it, added] = m_listIndex.emplace(key, listedKeys.size());
    if (added)
    {
        listedKeys.push_back(key);
        values.emplace_back();
    }
    return it->second;
}

std::span<const int> CMccsCapabilities::CodeList::ValuesOf(int key) const
{
    const auto it = m_listIndex.find(key);
    if (it == m_listIndex.end())
        return {};
    return values[it->second];
}

CMccsCapabilities::CMccsCapabilities(CDdcCiLink* link) : m_link(link)
{
    Clear();
}

void CMccsCapabilities::Clear()
{
    m_rawText.clear();
    m_fetched = 0;
    m_parsed = 0;
    m_vcp.Clear();
    m_commands.Clear();
    m_displayType = kDisplayTypeNone;
    m_colorTemperatureOffset = 0;
    m_assetMemory = 0;
    m_typeText.clear();
    m_mccsVersion.clear();
    m_mpuVersion.clear();
    m_gammaTable = GammaTable{};
}

int CMccsCapabilities::Fetch()
{
    Clear();
    if (m_link == nullptr)
        return -1;
    std::string text;
    const int result = m_link->GetCapabilitiesChecked(text);
    if (result != 0)
        return result;
    Parse(text);
    m_fetched = m_parsed == 1 ? 1 : 0;
    return 0;
}

// One walk over a code list. Blanks separate tokens; a token of two
// hexadecimal digits is a code outside a value list and a value inside one;
// "(" right after a code opens that code's value list; "pageNN(" (NN one
// or two hexadecimal digits) moves the codes up to its ")" onto page NN.
// Everything else is skipped a character at a time. Two adjacent digit
// pairs are two tokens, so a list written without blanks still reads.
void CMccsCapabilities::ScanCodeList(std::string_view content, int page, CodeList& list)
{
    const int basePage = page;
    bool inPage = false;
    int depth = 0;    // parentheses open inside a value list
    int lastKey = -1; // the code a "(" would open a list for
    std::size_t listIndex = 0;
    bool listOpen = false; // a value list is collecting (its code was read)

    std::size_t i = 0;
    while (i < content.size())
    {
        const char c = content[i];
        if (IsBlank(c))
        {
            ++i;
            continue;
        }
        if (depth == 0 && content.substr(i, 4) == "page")
        {
            std::size_t j = i + 4;
            int number = 0;
            std::size_t digits = 0;
            while (j < content.size() && HexValue(content[j]) >= 0)
            {
                if (digits < 2)
                    number = number * 16 + HexValue(content[j]);
                ++digits;
                ++j;
            }
            if (!inPage && digits >= 1 && digits <= 2 && j < content.size() && content[j] == '(')
            {
                page = number;
                inPage = true;
                lastKey = -1;
                i = j + 1;
                continue;
            }
            // Not a page we can read: the word and its number are no codes.
            lastKey = -1;
            i = j;
            continue;
        }
        if (c == '(')
        {
            if (depth == 0)
            {
                listOpen = lastKey >= 0;
                if (listOpen)
                    listIndex = list.ListOf(lastKey);
            }
            ++depth;
            ++i;
            continue;
        }
        if (c == ')')
        {
            if (depth > 0)
            {
                if (--depth == 0)
                {
                    listOpen = false;
                    lastKey = -1;
                }
            }
            else if (inPage)
            {
                inPage = false;
                page = basePage;
                lastKey = -1;
            }
            ++i;
            continue;
        }
        if (i + 1 < content.size() && HexValue(c) >= 0 && HexValue(content[i + 1]) >= 0)
        {
            const int byte = HexValue(c) * 16 + HexValue(content[i + 1]);
            if (depth == 0)
            {
                lastKey = page * 256 + byte;
                list.AddKey(lastKey);
            }
            else if (listOpen &&
                     list.values[listIndex].size() < static_cast<std::size_t>(kMaxListValues))
            {
                list.values[listIndex].push_back(byte);
            }
            i += 2;
            continue;
        }
        // Anything else (a lone digit, a letter, punctuation) is no token.
        if (depth == 0)
            lastKey = -1;
        ++i;
    }
}

void CMccsCapabilities::Parse(std::string_view text)
{
    Clear();
    const std::size_t zero = text.find('\0');
    if (zero != std::string_view::npos)
        text = text.substr(0, zero);
    m_rawText.assign(text);

    if (const auto type = ExtractTag(text, "type("))
    {
        m_typeText.assign(*type);
        if (*type == "LCD" || *type == "lcd")
            m_displayType = kDisplayTypeLcd;
        else if (*type == "CRT" || *type == "CRT_AG" || *type == "crt" || *type == "crt_ag")
            m_displayType = kDisplayTypeCrt;
    }

    const auto vcp = ExtractTag(text, "vcp(");
    if (vcp)
        ScanCodeList(*vcp, 0, m_vcp);

    // Codes of the higher VCP pages, one tag per page: "vcp_p02(E8 68)".
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string pageTag = "vcp_pXX(";
    for (int page = 0; page <= 0xFF; ++page)
    {
        pageTag[5] = kDigits[page >> 4];
        pageTag[6] = kDigits[page & 0xF];
        if (const auto content = ExtractTag(text, pageTag))
            ScanCodeList(*content, page, m_vcp);
    }

    if (const auto version = ExtractTag(text, "mccs_ver("))
        m_mccsVersion.assign(*version);
    if (const auto version = ExtractTag(text, "mpu_ver("))
        m_mpuVersion.assign(*version);

    if (auto offset = ExtractTag(text, "c_tmp_ofst("))
    {
        if (const auto value = TakeHex(*offset))
            m_colorTemperatureOffset = *value;
    }

    if (const auto commands = ExtractTag(text, "cmds_c2("))
        ScanCodeList(*commands, 0, m_commands);

    // The asset memory size is written in hexadecimal by some makers and as
    // the decimal text "64" or "32" by others; read as hexadecimal those
    // texts give 100 and 50, which stand for 64 and 32.
    if (auto asset = ExtractTag(text, "asset_eep("))
    {
        if (const auto value = TakeHex(*asset))
        {
            m_assetMemory = *value;
            if (m_assetMemory == 100)
                m_assetMemory = 64;
            else if (m_assetMemory == 50)
                m_assetMemory = 32;
        }
    }

    // "gamma_table(size(S)r_ofs(R)g_ofs(G)b_ofs(B))", read in that order
    // until the first part that does not match.
    if (auto gamma = ExtractTag(text, "gamma_table("))
    {
        m_gammaTable.present = 1;
        struct Field
        {
            std::string_view name;
            int GammaTable::*member;
        };
        static constexpr Field kFields[] = {{"size(", &GammaTable::size},
                                            {"r_ofs(", &GammaTable::redOffset},
                                            {"g_ofs(", &GammaTable::greenOffset},
                                            {"b_ofs(", &GammaTable::blueOffset}};
        std::string_view rest = *gamma;
        for (const Field& field : kFields)
        {
            if (!TakeLiteral(rest, field.name))
                break;
            const auto value = TakeHex(rest);
            if (!value)
                break;
            m_gammaTable.*field.member = *value;
            if (!TakeLiteral(rest, ")"))
                break;
        }
    }

    m_parsed = vcp ? 1 : 0;
}

int CMccsCapabilities::IsVcpSupported(int key) const
{
    if (m_parsed != 1)
        return -1;
    for (const int supported : m_vcp.keys)
    {
        if (supported == key)
            return 1;
    }
    return 0;
}

std::span<const int> CMccsCapabilities::GetValueList(int key) const
{
    return m_vcp.ValuesOf(key);
}

std::span<const int> CMccsCapabilities::GetCommandValueList(int key) const
{
    return m_commands.ValuesOf(key);
}
