#pragma once
// Settings in private-profile (ini) files. A CIniFile is built on the spot
// around one file path for one group of reads or writes; it is the only way
// the program reads or writes a setting.
//
// Numbers are written and parsed in the C locale (platform/Numbers.h):
// integers as "%d", doubles as "%f", lists of doubles as values each
// followed by a comma ("1.500000,2.500000,"). Values have no length limit.

#include "platform/IniStore.h"

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CIniFile
{
public:
    explicit CIniFile(std::string path);
    virtual ~CIniFile();

    CIniFile(const CIniFile&) = default;
    CIniFile& operator=(const CIniFile&) = default;

    const std::string& GetPath() const { return m_store.Path(); }
    // True once anything was written through this object.
    bool IsDirty() const { return m_dirty; }

    // Reads never fail: a missing file, section or key, or an empty value,
    // gives the default.
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view defaultValue) const;

    // The leading optional sign and digits of the value; a missing or empty
    // value gives the default, text that does not start with a number gives
    // 0, numbers beyond int clamp to its range.
    int GetInt(std::string_view section, std::string_view key, int defaultValue) const;

    // The default travels as its "%f" text, so it comes back rounded to six
    // decimals; a value that does not start with a number gives 0.
    double GetDouble(std::string_view section, std::string_view key, double defaultValue) const;

    // A list of doubles stored as values each followed by a comma; text after
    // the last comma is ignored. True when the key holds exactly as many
    // values as the default list; otherwise (wrong count, missing or empty
    // key) out becomes the default list and the result is false.
    bool GetDoubleList(std::string_view key, const std::vector<double>& defaultList,
                       std::vector<double>& out, std::string_view section) const;

    // All key/value pairs of one section, in file order.
    std::vector<std::pair<std::string, std::string>> GetSection(std::string_view section) const;

    // Writes return false when the file cannot be written (its folder is
    // missing, or it is not writable); the object stays dirty either way.
    bool SetString(std::string_view section, std::string_view key, std::string_view value);
    bool SetInt(std::string_view section, std::string_view key, int value);
    bool SetDouble(std::string_view section, std::string_view key, double value);
    // Under the section "DetailMode" (the monitor wizard's current
    // chromaticity, "CurCIEx" and "CurCIEy").
    bool SetDouble(std::string_view key, double value);
    // Each value "%.<precision>f" followed by a comma, the form
    // GetDoubleList reads. An empty list leaves an empty value, which reads
    // back as missing.
    bool SetDoubleList(std::string_view section, std::string_view key,
                       std::span<const double> values, int precision = 6);

    bool DeleteKey(std::string_view section, std::string_view key);
    bool DeleteSection(std::string_view section);

private:
    platform::IniStore m_store;
    bool m_dirty = false;
};
