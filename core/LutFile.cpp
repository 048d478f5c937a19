#include "core/LutFile.h"

#include "core/ColorProfile.h"
#include "platform/Bytes.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// An 8-bit value on the 16-bit scale of the element: v * 257 takes 0..255
// exactly onto 0..65535 (0xFF becomes 0xFFFF).
constexpr std::uint16_t To16(std::uint32_t v8)
{
    return static_cast<std::uint16_t>((v8 & 0xFF) * 257);
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

enum class ValueParse
{
    Ok,
    OutOfRange
};

// An output field read as atoi reads it: leading white space, an optional
// sign, then the digits up to the first other character; without digits the
// value is 0. The magnitude saturates above 255, so a long run of digits is
// reported as out of range instead of overflowing. number receives the sign
// and digits as written, for the message.
ValueParse ParseOutputValue(std::string_view field, std::uint8_t& value, std::string_view& number)
{
    std::size_t i = 0;
    while (i < field.size() && IsSpace(field[i]))
        ++i;
    const std::size_t start = i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-'))
    {
        negative = field[i] == '-';
        ++i;
    }
    const std::size_t digits = i;
    unsigned magnitude = 0;
    for (; i < field.size() && IsDigit(field[i]); ++i)
        if (magnitude <= 255)
            magnitude = magnitude * 10 + static_cast<unsigned>(field[i] - '0');
    value = 0;
    if (i == digits)
        return ValueParse::Ok;
    number = field.substr(start, i - start);
    if (magnitude > 255 || (negative && magnitude != 0))
        return ValueParse::OutOfRange;
    value = static_cast<std::uint8_t>(magnitude);
    return ValueParse::Ok;
}

bool Fail(std::vector<std::uint32_t>& colours, std::string* error, std::string reason)
{
    colours.clear();
    if (error)
        *error = std::move(reason);
    return false;
}

} // namespace

// ---------------------------------------------------------------------------
// CCSVFile

bool CCSVFile::Open(const std::string& path)
{
    Close();
    // A directory opens as a stream on Linux and fails only at the first
    // read; refuse it here so that "cannot be opened" means what it says.
    std::error_code ec;
    if (path.empty() || std::filesystem::is_directory(path, ec))
        return false;
    m_stream.open(path, std::ios::in | std::ios::binary);
    return m_stream.is_open();
}

void CCSVFile::Close()
{
    if (m_stream.is_open())
        m_stream.close();
    m_stream.clear();
    m_lineNumber = 0;
    m_readError = false;
}

bool CCSVFile::ReadString(std::string& line)
{
    if (!m_stream.is_open() || !m_stream.good())
        return false;
    std::string text;
    if (!std::getline(m_stream, text))
    {
        // The end of the file sets failbit with eofbit; anything else is an
        // error of the read itself.
        if (m_stream.bad() || !m_stream.eof())
            m_readError = true;
        return false;
    }
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    if (m_lineNumber == 0 && text.starts_with(kUtf8ByteOrderMark))
        text.erase(0, kUtf8ByteOrderMark.size());
    ++m_lineNumber;
    line = std::move(text);
    return true;
}

bool CCSVFile::ReadFields(std::vector<std::string>& fields)
{
    std::string line;
    if (!ReadString(line))
        return false;
    SplitLine(line, fields);
    return true;
}

void CCSVFile::SplitLine(std::string_view line, std::vector<std::string>& fields) const
{
    for (;;)
    {
        const std::size_t separator = line.find(m_separator);
        if (separator == std::string_view::npos)
        {
            fields.emplace_back(line);
            return;
        }
        fields.emplace_back(line.substr(0, separator));
        line.remove_prefix(separator + 1);
    }
}

// ---------------------------------------------------------------------------
// Reading a LUT file

bool ReadLUTColours(const std::string& path, std::vector<std::uint32_t>& colours,
                    std::string* error)
{
    colours.clear();
    CCSVFile file;
    if (!file.Open(path))
        return Fail(colours, error, path + ": cannot be opened");

    std::vector<std::string> fields;
    if (!file.ReadFields(fields))
    {
        if (file.HasReadError())
            return Fail(colours, error, path + ": cannot be read");
        return Fail(colours, error, path + ": the file is empty");
    }
    if (fields.size() != kLutFieldCount)
        return Fail(colours, error,
                    path + ": line 1: the header needs " + std::to_string(kLutFieldCount) +
                        " fields, not " + std::to_string(fields.size()));

    colours.reserve(kLutGridCount);
    for (fields.clear(); file.ReadFields(fields); fields.clear())
    {
        if (fields.size() != kLutFieldCount)
            continue;
        std::uint32_t colour = 0;
        for (std::size_t channel = 0; channel < 3; ++channel)
        {
            std::uint8_t value = 0;
            std::string_view number;
            if (ParseOutputValue(fields[3 + channel], value, number) == ValueParse::OutOfRange)
                return Fail(colours, error,
                            path + ": line " + std::to_string(file.GetLineNumber()) +
                                ": output value " + std::string(number) + " is outside 0..255");
            colour |= std::uint32_t{value} << (8 * channel);
        }
        colours.push_back(colour);
    }
    if (file.HasReadError())
        return Fail(colours, error,
                    path + ": cannot be read after line " + std::to_string(file.GetLineNumber()));
    if (colours.size() != kLutGridCount)
        return Fail(colours, error,
                    path + ": " + std::to_string(kLutGridCount) +
                        " grid points (17 x 17 x 17) are needed, not " +
                        std::to_string(colours.size()));
    return true;
}

// ---------------------------------------------------------------------------
// The device link

bool CColorProfile::SetLUTTag(std::span<const std::uint32_t> colours)
{
    if (colours.size() != kLutGridCount || !IsWritable())
        return false;

    // lut16Type: the input and output tables are the identity (entry i is
    // i x 257), so the CLUT alone carries the LUT's colours. The first input
    // channel (red) varies slowest in the CLUT, so point k is red index
    // k / 289, green (k / 17) mod 17, blue k mod 17: the order of the file's
    // lines.
    std::vector<std::uint8_t> element(kLutElementSize, 0);
    platform::PutU32BE(element, 0, IccSignature("mft2"));
    element[8] = 3;
    element[9] = 3;
    element[10] = static_cast<std::uint8_t>(kLutGridPoints);
    // The matrix e00..e22 as s15Fixed16Number: the identity. (It applies only
    // to an XYZ input; it is written as a neutral value all the same.)
    for (std::size_t d = 0; d < 3; ++d)
        platform::PutU32BE(element, 12 + 16 * d, 0x00010000);
    platform::PutU16BE(element, 48, static_cast<std::uint16_t>(kLutTableEntries));
    platform::PutU16BE(element, 50, static_cast<std::uint16_t>(kLutTableEntries));

    for (std::size_t channel = 0; channel < 3; ++channel)
    {
        for (std::size_t i = 0; i < kLutTableEntries; ++i)
        {
            const std::size_t at = 2 * (channel * kLutTableEntries + i);
            platform::PutU16BE(element, kLutInputTablesOffset + at,
                               To16(static_cast<std::uint32_t>(i)));
            platform::PutU16BE(element, kLutOutputTablesOffset + at,
                               To16(static_cast<std::uint32_t>(i)));
        }
    }
    for (std::size_t k = 0; k < kLutGridCount; ++k)
    {
        const std::size_t point = kLutClutOffset + 6 * k;
        platform::PutU16BE(element, point, To16(colours[k]));
        platform::PutU16BE(element, point + 2, To16(colours[k] >> 8));
        platform::PutU16BE(element, point + 4, To16(colours[k] >> 16));
    }
    return SetTagElement(IccSignature("A2B0"), element);
}

bool CColorProfile::LoadLUTFromCSV(const std::string& path, std::string* error)
{
    std::vector<std::uint32_t> colours;
    if (!ReadLUTColours(path, colours, error))
        return false;

    // An RGB-to-RGB device link of ICC version 2.1, its tags in the order the
    // program has always written them.
    const bool built =
        CreateInMemory(path) && SetHeader(IccSignature("link"), IccSignature("RGB ")) &&
        SetDescriptionTag(IccSignature("desc"), "3D-LUT profile") && SetCopyrightTag("Copyright") &&
        SetDeviceTextTags() && SetLUTTag(colours) && SetProfileSequenceTag();
    if (!built)
    {
        Close();
        if (error)
            *error = path + ": the device link cannot be built";
        return false;
    }
    return true;
}
