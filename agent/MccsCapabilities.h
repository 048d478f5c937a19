#pragma once
// The monitor's MCCS capabilities string and the lists the agent reads out
// of it: the VCP codes the monitor supports, the value lists of the codes
// that give one (14h colour presets, 72h gamma), the DDC/CI commands, the
// display type and a few maker tags.
//
// A capabilities string is a parenthesised list of tags, for example
//     (prot(monitor)type(lcd)cmds(01 02 03)vcp(02 04 10 14(01 05 08 0B) 72(78 FF) DF)mccs_ver(2.1))
// A code list ("vcp(", "vcp_pXX(", "cmds_c2(") is a sequence of codes of
// exactly two hexadecimal digits; a code followed by a parenthesised list
// carries that list of two-digit values; "pageNN(...)" inside a list puts
// the codes within it on VCP page NN (hexadecimal). A code is kept as a
// key = page x 256 + code, so 14h on page 0 is 0014h and E8h on page 2 is
// 02E8h.
//
// The string comes from the monitor and is trusted in nothing: a tag whose
// parenthesis never closes counts as missing, a value list keeps its first
// kMaxListValues values, and every list grows only with what the text holds.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class CDdcCiLink;

class CMccsCapabilities
{
public:
    // Most values kept per value list (the rest of a longer list is dropped).
    static constexpr int kMaxListValues = 255;

    // Display types of the "type(" tag.
    static constexpr int kDisplayTypeNone = 0;
    static constexpr int kDisplayTypeCrt = 1;
    static constexpr int kDisplayTypeLcd = 2;

    // The "gamma_table(" tag.
    struct GammaTable
    {
        int present = 0;
        int size = 0;
        int redOffset = 0;
        int greenOffset = 0;
        int blueOffset = 0;
    };

    // link is used by Fetch; it may be null for an object that only parses.
    explicit CMccsCapabilities(CDdcCiLink* link);

    // Forgets everything: lists emptied, flags, numbers and texts cleared.
    void Clear();

    // Reads the capabilities string over DDC/CI (GetCapabilitiesChecked) and
    // parses it. 0 on success (fetched is then 1 when the text held "vcp("),
    // else the link's error with everything cleared.
    int Fetch();

    // Parses a capabilities string (up to its first zero character, if any).
    void Parse(std::string_view text);

    // -1 when the last parse found no "vcp(" tag; 1 when the key is
    // supported, else 0.
    int IsVcpSupported(int key) const;

    // Values listed for a VCP key; empty when the key carries no list.
    std::span<const int> GetValueList(int key) const;
    int GetValueCount(int key) const { return static_cast<int>(GetValueList(key).size()); }
    // Every supported VCP key, and the keys that carry a value list, in the
    // order first seen.
    const std::vector<int>& GetSupportedKeys() const { return m_vcp.keys; }
    const std::vector<int>& GetListedKeys() const { return m_vcp.listedKeys; }

    // The same three lists for the "cmds_c2(" tag.
    const std::vector<int>& GetCommandKeys() const { return m_commands.keys; }
    const std::vector<int>& GetListedCommandKeys() const { return m_commands.listedKeys; }
    std::span<const int> GetCommandValueList(int key) const;

    bool IsFetched() const { return m_fetched != 0; }
    bool IsParsed() const { return m_parsed == 1; }
    const std::string& RawText() const { return m_rawText; }

    int DisplayType() const { return m_displayType; }
    int ColorTemperatureOffset() const { return m_colorTemperatureOffset; }
    int AssetMemory() const { return m_assetMemory; }
    const std::string& TypeText() const { return m_typeText; }
    const std::string& MccsVersion() const { return m_mccsVersion; }
    const std::string& MpuVersion() const { return m_mpuVersion; }
    const GammaTable& GetGammaTable() const { return m_gammaTable; }

private:
    // The keys of one code list, the keys among them that carry values, and
    // the values of each listed key (values[i] belongs to listedKeys[i]).
    struct CodeList
    {
        std::vector<int> keys;
        std::vector<int> listedKeys;
        std::vector<std::vector<int>> values;

        void Clear();
        void AddKey(int key);
        // The index of the key's value list, added when new.
        std::size_t ListOf(int key);
        std::span<const int> ValuesOf(int key) const;

    private:
        std::unordered_set<int> m_keySet;
        std::unordered_map<int, std::size_t> m_listIndex;
    };

    static void ScanCodeList(std::string_view content, int page, CodeList& list);

    CDdcCiLink* m_link;
    std::string m_rawText;
    std::uint8_t m_fetched = 0;
    std::int32_t m_parsed = 0;
    CodeList m_vcp;
    CodeList m_commands;
    int m_displayType = kDisplayTypeNone;
    int m_colorTemperatureOffset = 0;
    int m_assetMemory = 0;
    std::string m_typeText;
    std::string m_mccsVersion;
    std::string m_mpuVersion;
    GammaTable m_gammaTable;
};
