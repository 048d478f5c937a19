#pragma once
// Colour-conversion LUT files: a 17 x 17 x 17 table that maps display RGB to
// corrected RGB, kept by the user as comma-separated text and turned into an
// ICC device link (CColorProfile::LoadLUTFromCSV, core/ColorProfile.h) from
// which the colour engine builds a transform.
//
// File format (UTF-8 or ASCII text, lines ending in LF or CR LF, an optional
// UTF-8 byte-order mark before the first line):
//   line 1       a header of exactly 6 fields, contents not used;
//   further      lines of exactly 6 fields are grid points: input R, G, B,
//                output R, G, B. Only the outputs are used, each a decimal
//                integer read like atoi (leading white space, an optional
//                sign, the digits up to the first other character; a field
//                without digits is 0) that must lie in 0..255. Lines with
//                another number of fields are passed by.
// The accepted lines are the grid in table order: accepted line k (from 0)
// is the point with red index k / 289, green index (k / 17) mod 17 and blue
// index k mod 17. The input fields are not compared with that order.
// Exactly 17^3 = 4913 accepted lines make a usable LUT.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

// Grid points per channel, and points of the whole grid.
inline constexpr std::size_t kLutGridPoints = 17;
inline constexpr std::size_t kLutGridCount = kLutGridPoints * kLutGridPoints * kLutGridPoints;
// Fields of the header and of every grid-point line.
inline constexpr std::size_t kLutFieldCount = 6;

// The 'A2B0' lut16Type element of the device link:
//   header 52 bytes (type, channels, grid, identity matrix, table sizes),
//   input tables 3 x 256 x 2 bytes, CLUT 17^3 x 3 x 2 bytes, output tables
//   3 x 256 x 2 bytes: 52 + 1536 + 29478 + 1536 = 3124 + 6 x 17^3 = 32602.
inline constexpr std::size_t kLutTableEntries = 256;
inline constexpr std::size_t kLutInputTablesOffset = 52;
inline constexpr std::size_t kLutClutOffset = kLutInputTablesOffset + 3 * kLutTableEntries * 2;
inline constexpr std::size_t kLutOutputTablesOffset = kLutClutOffset + kLutGridCount * 3 * 2;
inline constexpr std::size_t kLutElementSize = kLutOutputTablesOffset + 3 * kLutTableEntries * 2;
static_assert(kLutElementSize == 32602, "the lut16Type element of a 17-point grid");

// A comma-separated text file read line by line. No quoting and no trimming:
// a field is the text between two separators, as it stands.
class CCSVFile
{
public:
    explicit CCSVFile(char separator = ',') : m_separator(separator) {}
    virtual ~CCSVFile() = default;
    CCSVFile(const CCSVFile&) = delete;
    CCSVFile& operator=(const CCSVFile&) = delete;

    // Opens a file for reading, closing any file open before; false when it
    // cannot be opened or is a directory.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_stream.is_open(); }

    // The next line without its LF or CR LF (and, on the first line, without
    // a UTF-8 byte-order mark). False at the end of the file or on a read
    // error; the line is then left untouched.
    bool ReadString(std::string& line);
    // Reads the next line and appends its fields to the list, which the
    // caller empties between lines. False at the end of the file (the list
    // is left untouched).
    bool ReadFields(std::vector<std::string>& fields);
    // Appends the fields of a line: the text up to each separator is a field
    // (possibly empty), the text after the last separator the last one. So
    // "a,,b" gives "a", "", "b"; "a,b," gives "a", "b", ""; "" gives "".
    void SplitLine(std::string_view line, std::vector<std::string>& fields) const;

    char GetSeparator() const { return m_separator; }
    // Lines read so far: the number of the line ReadString gave last.
    std::size_t GetLineNumber() const { return m_lineNumber; }
    // A read failed for another reason than the end of the file.
    bool HasReadError() const { return m_readError; }

private:
    std::ifstream m_stream;
    char m_separator;
    std::size_t m_lineNumber = 0;
    bool m_readError = false;
};

// Reads the output colours of a LUT file, one per accepted line in file
// order, as 0x00BBGGRR (red in the lowest byte). False, with the colours
// emptied and *error (when given) naming the file and, where there is one,
// the line, when the file cannot be opened or read, is empty, has a header
// without 6 fields, holds an output value outside 0..255, or has other than
// 4913 accepted lines.
bool ReadLUTColours(const std::string& path, std::vector<std::uint32_t>& colours,
                    std::string* error = nullptr);
