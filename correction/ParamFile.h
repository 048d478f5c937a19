#pragma once
// The correction-parameter file (".qzp"): one ini-syntax file holding one
// section per step document.
//
//     [qzDNGParamDoc]
//     Ver=2.0
//     Title=
//     AsShot=1
//     ...
//     [qzChartDoc]
//     ...
//
// The file is built whole in memory (CParamFileWriter) and written in one
// replacement, so a reader never meets a half-written file and a failed
// write of any section fails the whole save. It is read whole once
// (CParamFileReader) and the documents look their keys up by section and
// key, so sections in any order, LF or CR LF line ends, and hand-edited
// files read the same. Lines are written with LF, numbers in the C locale.
//
// A parameter file is untrusted input (users drop files on the program):
// every reader helper below refuses what does not parse completely, and
// the range-checked forms give the default for anything outside the range,
// non-finite doubles ("nan", "inf") included. A document never allocates
// from a count it has not range-checked.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <variant>
#include <vector>

// One integer parameter declared once: its key, default and accepted range
// (both ends inclusive). The reader and the document's Reset use the same
// declaration.
struct IntParam
{
    std::string_view key;
    int defaultValue = 0;
    int minValue = 0;
    int maxValue = 0;
};

// One double parameter declared alike.
struct DoubleParam
{
    std::string_view key;
    double defaultValue = 0.0;
    double minValue = 0.0;
    double maxValue = 0.0;
};

// The whole parameter file as read from disk. Section and key names match
// case-insensitively (ASCII); when a hand-edited file holds a section name
// twice, the first section is read, and in it the first copy of a key (as
// the private-profile functions do). Values are trimmed of blanks and lose
// one pair of enclosing double quotes.
class CParamFileReader
{
public:
    // An empty reader: every key is missing, every read gives its default.
    CParamFileReader() = default;

    // Reads and parses the whole file. False (and the reader empty) when it
    // cannot be read.
    bool Load(const std::string& path);

    bool HasSection(std::string_view section) const;

    // The value as stored; absent when the section or the key is missing.
    std::optional<std::string> GetValue(std::string_view section, std::string_view key) const;

    // The value, or the default when the key is missing or its value empty.
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view defaultValue) const;

    // A decimal integer (optional sign, blanks around it allowed). The
    // default when the key is missing, or its value is not entirely an
    // integer, or it lies outside the range of int.
    int GetInt(std::string_view section, std::string_view key, int defaultValue) const;

    // As GetInt, and the default also for a value outside [min, max] of the
    // declaration.
    int GetInt(std::string_view section, const IntParam& param) const;

    // A decimal number ("%f", "1e-3" and the like). The default when the
    // key is missing, the value is not entirely a number, or it is not
    // finite ("nan", "inf" are refused).
    double GetDouble(std::string_view section, std::string_view key, double defaultValue) const;

    // As GetDouble, and the default also outside [min, max].
    double GetDouble(std::string_view section, const DoubleParam& param) const;

    // A list of doubles stored as values each followed by a comma
    // ("1.5000000000,2.0000000000,"). Accepted only when the value holds
    // exactly defaultList.size() values, each entirely a finite number;
    // text after the last comma is not a value ("1.5,2.5,3.5" holds two
    // values). True when accepted (out holds the values); otherwise false
    // and out becomes defaultList. Parsing stops as soon as the count is
    // exceeded, so nothing grows with the length of the stored text.
    bool GetDoubleList(std::string_view section, std::string_view key,
                       const std::vector<double>& defaultList, std::vector<double>& out) const;

    // The same for a list whose length the caller has range-checked itself
    // (for example a colour count read earlier): true with out holding
    // exactly expectedCount values, else false and out empty.
    bool GetDoubleList(std::string_view section, std::string_view key, std::size_t expectedCount,
                       std::vector<double>& out) const;

private:
    // Lower-cased section name -> (lower-cased key -> value).
    std::unordered_map<std::string, std::unordered_map<std::string, std::string>> m_sections;
};

// The parameter file being built in memory. Sections are begun by the base
// document's SaveParams; the document's keys are then appended to the
// section begun last, through CSaveDoc (below). Every write that cannot be
// stored so that it reads back as written (a line break in a name or
// value, an empty key or one holding '=', a key before any section, a
// non-finite double) is refused: the write returns false and the writer
// remembers the failure, so the save as a whole fails.
class CParamFileWriter
{
public:
    CParamFileWriter() = default;

    // Appends the section head "[section]". False (a failed write) for an
    // empty name or one with a line break or ']'.
    bool BeginSection(std::string_view section);

    // Appends "key=value" to the section begun last. A value with blanks at
    // either end, or itself enclosed in double quotes, is written in one
    // more pair of quotes so that the reader gives it back exactly.
    bool WriteKey(std::string_view key, std::string_view value);

    // The text built so far (LF line ends).
    const std::string& GetText() const { return m_text; }

    // True when no write has failed.
    bool IsGood() const { return !m_failed; }

    // Marks the file as failed (a document that could not write a section
    // for a reason of its own).
    void SetFailed() { m_failed = true; }

    // Replaces the file at path with the text in one replacement (a
    // temporary file in the target's folder renamed over it). False, and
    // the old file untouched, when any write failed earlier or the
    // replacement fails.
    bool SaveToFile(const std::string& path) const;

private:
    std::string m_text;
    bool m_inSection = false;
    bool m_failed = false;
};

// The key writer of one document's section: appends its lines to the
// section the base document began last in the writer. Numbers in the C
// locale. Each write returns false when refused (see CParamFileWriter).
class CSaveDoc
{
public:
    explicit CSaveDoc(CParamFileWriter& file) : m_file(file) {}

    bool WriteKey(std::string_view key, std::string_view value);
    // "%d".
    bool WriteInt(std::string_view key, int value);
    // "%f" (six decimals).
    bool WriteDouble(std::string_view key, double value);
    // Each value "%.10f," concatenated, the last comma kept: 1.5 and 2
    // give "1.5000000000,2.0000000000,"; an empty list an empty value.
    bool WriteDoubleList(std::string_view key, std::span<const double> values);

private:
    CParamFileWriter& m_file;
};

// ---------------------------------------------------------------------------
// Parameter tables
//
// A document declares each scalar parameter of its record P once, in a
// table of ParamDef: the key in its section, the default, the range and
// the member it lives in. The document's reader, its writer and its reset
// go through that table, and a panel finds there what its controls need.
// Lists (curve points, chart patches, colour elements) are read and written
// by the document itself, their counts checked against the table first.

// What the reader makes of a value that parses but lies outside the range.
enum class ParamRead
{
    DefaultOutside, // the default replaces it
    ClampInside,    // it is held at the nearer end
    AnyValue,       // it is kept: the range is the control's, and the document
                    // checks the value together with others (or not at all)
};

template <class P> struct ParamDef
{
    using Member = std::variant<int P::*, std::int16_t P::*, double P::*>;

    std::string_view key;
    Member member;
    double defaultValue = 0.0;
    double minValue = 0.0;
    double maxValue = 0.0;
    ParamRead read = ParamRead::DefaultOutside;

    bool IsInteger() const { return !std::holds_alternative<double P::*>(member); }
};

// The declaration of a parameter in a document's table, found by its key.
// Used in constant expressions, a key that is not in the table does not
// compile.
template <class P, std::size_t N>
constexpr const ParamDef<P>& FindParamDef(const ParamDef<P> (&table)[N], std::string_view key)
{
    for (const ParamDef<P>& param : table)
        if (param.key == key)
            return param;
    throw "no such parameter";
}

// Sets the parameter of record to its declared default.
template <class P> void ResetParam(const ParamDef<P>& param, P& record)
{
    std::visit(
        [&](auto field) {
            using Value = std::remove_reference_t<decltype(record.*field)>;
            record.*field = static_cast<Value>(param.defaultValue);
        },
        param.member);
}

// Reads the parameter of record from section under key (the declared key
// when empty: indexed elements pass their own) by the declared rule.
template <class P>
void ReadParam(const CParamFileReader& file, std::string_view section, const ParamDef<P>& param,
               P& record, std::string_view key = {})
{
    if (key.empty())
        key = param.key;
    std::visit(
        [&](auto field) {
            using Value = std::remove_reference_t<decltype(record.*field)>;
            if constexpr (std::is_same_v<Value, double>)
            {
                double value = file.GetDouble(section, key, param.defaultValue);
                if (param.read == ParamRead::DefaultOutside &&
                    (value < param.minValue || value > param.maxValue))
                    value = param.defaultValue;
                else if (param.read == ParamRead::ClampInside)
                    value = std::clamp(value, param.minValue, param.maxValue);
                record.*field = value;
            }
            else
            {
                const int low = static_cast<int>(param.minValue);
                const int high = static_cast<int>(param.maxValue);
                const int fallback = static_cast<int>(param.defaultValue);
                int value = file.GetInt(section, key, fallback);
                if (param.read == ParamRead::DefaultOutside && (value < low || value > high))
                    value = fallback;
                else if (param.read == ParamRead::ClampInside)
                    value = std::clamp(value, low, high);
                record.*field = static_cast<Value>(value);
            }
        },
        param.member);
}

// Appends the parameter of record under key (the declared key when empty):
// integers "%d", doubles "%f".
template <class P>
bool WriteParam(CSaveDoc& save, const ParamDef<P>& param, const P& record,
                std::string_view key = {})
{
    if (key.empty())
        key = param.key;
    return std::visit(
        [&](auto field) {
            using Value = std::remove_cvref_t<decltype(record.*field)>;
            if constexpr (std::is_same_v<Value, double>)
                return save.WriteDouble(key, record.*field);
            else
                return save.WriteInt(key, record.*field);
        },
        param.member);
}

// The whole table: every parameter reset, read or written in table order.
template <class P> void ResetParams(std::span<const ParamDef<P>> table, P& record)
{
    for (const ParamDef<P>& param : table)
        ResetParam(param, record);
}

template <class P>
void ReadParams(const CParamFileReader& file, std::string_view section,
                std::span<const ParamDef<P>> table, P& record)
{
    for (const ParamDef<P>& param : table)
        ReadParam(file, section, param, record);
}

template <class P>
bool WriteParams(CSaveDoc& save, std::span<const ParamDef<P>> table, const P& record)
{
    bool ok = true;
    for (const ParamDef<P>& param : table)
        ok = WriteParam(save, param, record) && ok;
    return ok;
}
