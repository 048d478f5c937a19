#include "imagefile/TiffFile.h"

#include "platform/Bytes.h"
#include "platform/FileReplace.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <string>

static_assert(std::endian::native == std::endian::little,
              "16-bit lines are read and written as little-endian RGB16 in place");

namespace {

constexpr std::uint16_t kTagNewSubfileType = 254;
constexpr std::uint16_t kTagImageWidth = 256;
constexpr std::uint16_t kTagImageLength = 257;
constexpr std::uint16_t kTagBitsPerSample = 258;
constexpr std::uint16_t kTagCompression = 259;
constexpr std::uint16_t kTagPhotometric = 262;
constexpr std::uint16_t kTagStripOffsets = 273;
constexpr std::uint16_t kTagSamplesPerPixel = 277;
constexpr std::uint16_t kTagRowsPerStrip = 278;
constexpr std::uint16_t kTagStripByteCounts = 279;
constexpr std::uint16_t kTagXResolution = 282;
constexpr std::uint16_t kTagYResolution = 283;
constexpr std::uint16_t kTagPlanarConfig = 284;
constexpr std::uint16_t kTagResolutionUnit = 296;
constexpr std::uint16_t kTagColorMap = 320;
constexpr std::uint16_t kTagIccProfile = 34675;

constexpr std::uint16_t kTypeByte = 1;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeLong = 4;
constexpr std::uint16_t kTypeRational = 5;
constexpr std::uint16_t kTypeUndefined = 7;
// A type code above this means "the value field holds an offset"; the
// entry gets the code less it.
constexpr std::uint16_t kOffsetCode = 30;

// IFDs followed along a chain before it is taken for a loop.
constexpr std::size_t kMaxIfds = 1024;

std::uint16_t Swap16(std::uint16_t v)
{
    return static_cast<std::uint16_t>(v << 8 | v >> 8);
}

// The n pixels of a big-endian line in the machine's order.
void SwapLine(RGB16* line, std::size_t n)
{
    for (std::size_t x = 0; x < n; ++x)
        line[x] = {Swap16(line[x].r), Swap16(line[x].g), Swap16(line[x].b)};
}

std::string Num(std::uint64_t v)
{
    return std::to_string(v);
}

} // namespace

CTiffFile::CTiffFile(TiffTraceSink trace) : m_trace(std::move(trace))
{
    Start("CTiffFile");
    MemberClear();
    m_ifdOffsets.clear();
    End("CTiffFile");
}

CTiffFile::~CTiffFile()
{
    Start("~CTiffFile");
    CloseFile();
    End("~CTiffFile");
}

void CTiffFile::Trace(std::string_view line) const
{
    if (m_trace)
        m_trace(line);
}

void CTiffFile::Start(std::string_view name) const
{
    if (m_trace)
        m_trace("Start : " + std::string(name) + " Function.");
}

bool CTiffFile::End(std::string_view name) const
{
    if (m_trace)
        m_trace("End   : " + std::string(name) + " Function.");
    return true;
}

bool CTiffFile::MemberClear()
{
    Start("MemberClear");
    m_imageWidth = 0;
    m_imageLength = 0;
    m_samplesPerPixel = 0;
    m_bitsPerSample.assign(1, 0);
    m_compression = 1;
    m_photometric = 2;
    m_planarConfig = 1;
    m_stripOffsets.assign(1, 0);
    m_rowsPerStrip = 0;
    m_stripByteCounts.assign(1, 0);
    m_stripEnds.clear();
    m_totalStripBytes = 0;
    m_xResolution.clear();
    m_yResolution.clear();
    m_resolutionUnit = 0;
    m_iccProfile.clear();
    m_failed = false;
    return End("MemberClear");
}

void CTiffFile::CloseFile()
{
    m_input.Close();
    m_output.reset(); // an uncommitted replacement removes its temporary
    m_writing = false;
}

bool CTiffFile::Open(const std::string& path, int mode)
{
    Start("Open");
    CloseFile();
    m_failed = false;
    m_pos = 0;
    if (mode == kModeWrite)
    {
        auto output = std::make_unique<platform::ReplacementFile>();
        std::string error;
        if (!output->Open(path, &error))
        {
            Trace("Error : FileOpen return value NULL error!");
            Trace("      : " + error);
            return false;
        }
        m_output = std::move(output);
        m_writing = true;
        m_fileSize = 0;
        return End("Open");
    }
    platform::File file;
    file.OpenRead(path);
    return AdoptForReading(std::move(file));
}

bool CTiffFile::OpenFile(platform::File file)
{
    Start("Open");
    CloseFile();
    m_failed = false;
    m_pos = 0;
    return AdoptForReading(std::move(file));
}

bool CTiffFile::AdoptForReading(platform::File file)
{
    m_input = std::move(file);
    if (!m_input.IsOpen() || !m_input.IsRegular() || !m_input.Size(&m_fileSize))
    {
        m_input.Close();
        Trace("Error : FileOpen return value NULL error!");
        return false;
    }
    // Lines are copied out of a read-only mapping of the file when the
    // system gives one (no system call a line); else they are read with
    // pread. Either way every range is checked against the file's size.
    m_input.Map();
    return End("Open");
}

bool CTiffFile::Close()
{
    Start("Close");
    // A new file without its header (SetHeaderNew failed or was never
    // called) is no TIFF file: it never replaces the target.
    if ((!m_input.IsOpen() && !m_output) || m_failed || (m_writing && m_fileSize == 0))
    {
        Trace("Error : m_inputFile value NULL error!");
        CloseFile();
        return false;
    }
    if (m_writing)
    {
        std::string error;
        const bool committed = m_output->Commit(&error);
        CloseFile();
        if (!committed)
        {
            Trace("Error : the new file could not replace the target: " + error);
            return false;
        }
        return End("Close");
    }
    CloseFile();
    return End("Close");
}

bool CTiffFile::ReadAt(std::uint64_t offset, void* data, std::size_t size)
{
    if (!m_input.IsOpen() || offset > m_fileSize || size > m_fileSize - offset)
    {
        m_failed = true;
        return false;
    }
    if (!m_input.ReadAt(offset, data, size))
    {
        m_failed = true;
        return false;
    }
    return true;
}

bool CTiffFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size)
{
    if (!m_output || !m_output->Output().WriteAt(offset, data, size))
    {
        m_failed = true;
        return false;
    }
    return true;
}

std::uint16_t CTiffFile::Get16(std::span<const std::uint8_t> bytes, std::size_t at) const
{
    return platform::GetU16(bytes, at, m_bigEndianFile ? std::endian::big : std::endian::little);
}

std::uint32_t CTiffFile::Get32(std::span<const std::uint8_t> bytes, std::size_t at) const
{
    return platform::GetU32(bytes, at, m_bigEndianFile ? std::endian::big : std::endian::little);
}

bool CTiffFile::GetPro()
{
    Start("GetPro");
    if (!ReadAt(0, m_header, sizeof m_header))
        return false;
    const char expected = m_writeByteOrder == kBigEndian ? 'M' : 'I';
    const char other = expected == 'I' ? 'M' : 'I';
    if (m_header[0] == expected && m_header[1] == expected)
        m_swap = false;
    else if (m_header[0] == other && m_header[1] == other)
        m_swap = true;
    else
    {
        Trace("Error : the byte order mark is neither II nor MM.");
        return false;
    }
    m_bigEndianFile = m_header[0] == 'M';
    if (Get16(m_header, 2) != 42)
        return false;
    m_ifdOffsets.assign(1, Get32(m_header, 4));
    return End("GetPro");
}

// Values of an entry as 32-bit numbers: SHORT and LONG one each, RATIONAL
// two (numerator, denominator). They sit in the value field itself when
// they fit in its four bytes, else at the offset it holds.
bool CTiffFile::ReadEntryValues(std::uint16_t type, std::uint32_t count,
                                std::span<const std::uint8_t> valueField,
                                std::vector<std::uint32_t>& values)
{
    std::uint32_t size = 0;
    switch (type)
    {
    case kTypeShort:
        size = 2;
        break;
    case kTypeLong:
    case kTypeRational:
        size = type == kTypeLong ? 4 : 8;
        break;
    default:
        return false;
    }
    std::vector<std::uint8_t> bytes;
    if (!ReadEntryBytes(count, size, valueField, bytes))
        return false;
    const std::size_t n = type == kTypeRational ? std::size_t{count} * 2 : count;
    values.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        values[i] = size == 2 ? Get16(bytes, i * 2) : Get32(bytes, i * 4);
    return true;
}

bool CTiffFile::ReadEntryBytes(std::uint32_t count, std::uint32_t size,
                               std::span<const std::uint8_t> valueField,
                               std::vector<std::uint8_t>& bytes)
{
    const std::uint64_t total = std::uint64_t{count} * size;
    if (total > m_fileSize)
        return false;
    bytes.resize(static_cast<std::size_t>(total));
    if (total <= 4)
    {
        std::copy_n(valueField.begin(), bytes.size(), bytes.begin());
        return true;
    }
    return ReadAt(Get32(valueField, 0), bytes.data(), bytes.size());
}

bool CTiffFile::ReadIFD()
{
    Start("ReadIFD");
    const std::uint64_t ifd = m_ifdOffsets.front();
    std::uint8_t countBytes[2];
    if (!ReadAt(ifd, countBytes, 2))
        return false;
    m_entryCount = Get16(countBytes, 0);
    std::vector<std::uint8_t> entries(std::size_t{m_entryCount} * 12);
    if (!ReadAt(ifd + 2, entries.data(), entries.size()))
        return false;
    m_pos = ifd + 2 + entries.size();

    bool sawRowsPerStrip = false;
    std::vector<std::uint32_t> values;
    for (std::size_t e = 0; e < m_entryCount; ++e)
    {
        const std::span<const std::uint8_t> entry(&entries[e * 12], 12);
        const std::uint16_t tag = Get16(entry, 0);
        const std::uint16_t type = Get16(entry, 2);
        const std::uint32_t count = Get32(entry, 4);
        const std::span<const std::uint8_t> valueField = entry.subspan(8);
        const auto first = [&](std::uint32_t& out) {
            if (count == 0 || !ReadEntryValues(type, count, valueField, values))
                return false;
            out = values.front();
            return true;
        };
        const auto first16 = [&](std::uint16_t& out) {
            std::uint32_t v = 0;
            if (!first(v))
                return false;
            out = static_cast<std::uint16_t>(std::min<std::uint32_t>(v, 0xFFFF));
            return true;
        };
        bool ok = true;
        switch (tag)
        {
        case kTagImageWidth:
            ok = first(m_imageWidth);
            break;
        case kTagImageLength:
            ok = first(m_imageLength);
            break;
        case kTagCompression:
            ok = first16(m_compression);
            break;
        case kTagPhotometric:
            ok = first16(m_photometric);
            break;
        case kTagSamplesPerPixel:
            ok = first16(m_samplesPerPixel);
            break;
        case kTagPlanarConfig:
            ok = first16(m_planarConfig);
            break;
        case kTagRowsPerStrip:
            ok = first(m_rowsPerStrip);
            sawRowsPerStrip = true;
            break;
        case kTagResolutionUnit:
            ok = first16(m_resolutionUnit);
            break;
        case kTagBitsPerSample:
            ok = count > 0 && count <= 0xFFFF && type == kTypeShort &&
                 ReadEntryValues(type, count, valueField, values);
            if (ok)
            {
                m_bitsPerSample.assign(values.begin(), values.end());
                m_samplesPerPixel = static_cast<std::uint16_t>(count);
            }
            break;
        case kTagStripOffsets:
            ok = count > 0 && ReadEntryValues(type, count, valueField, m_stripOffsets);
            ok = ok && type != kTypeRational;
            break;
        case kTagStripByteCounts:
            ok = count > 0 && ReadEntryValues(type, count, valueField, m_stripByteCounts);
            ok = ok && type != kTypeRational;
            break;
        case kTagXResolution:
        case kTagYResolution:
            ok =
                type == kTypeRational && count >= 1 && ReadEntryValues(type, 1, valueField, values);
            if (ok)
                (tag == kTagXResolution ? m_xResolution : m_yResolution) = values;
            break;
        case kTagColorMap:
            Trace("Error : ColorMap is Un-Known.");
            return false;
        case kTagIccProfile:
            ok = (type == kTypeUndefined || type == kTypeByte) &&
                 ReadEntryBytes(count, 1, valueField, m_iccProfile);
            break;
        default:
            break;
        }
        if (!ok)
        {
            Trace("Error : Tag " + Num(tag) + " has an unreadable value.");
            return false;
        }
    }
    if (!sawRowsPerStrip)
        m_rowsPerStrip = m_imageLength; // the default: one strip
    if (!CheckLayout())
        return false;
    return End("ReadIFD");
}

// What the loader can take, and strips that hold the whole image inside
// the file, each of whole lines.
bool CTiffFile::CheckLayout()
{
    if (m_compression != 1)
    {
        Trace("Error : Compression " + Num(m_compression) + " is non-support.");
        return false;
    }
    if (m_samplesPerPixel != 3 || m_bitsPerSample.size() != 3)
    {
        Trace("Error : SamplesPerPixel " + Num(m_samplesPerPixel) + " is non-support.");
        return false;
    }
    const std::uint16_t bits = m_bitsPerSample[0];
    if ((bits != 8 && bits != 16) || m_bitsPerSample[1] != bits || m_bitsPerSample[2] != bits)
    {
        Trace("Error : BitsPerSample " + Num(bits) + " is non-support.");
        return false;
    }
    if (m_photometric != 2)
    {
        Trace("Error : PhotometricInterpretation " + Num(m_photometric) + " is non-support.");
        return false;
    }
    if (m_planarConfig != 1)
    {
        Trace("Error : PlanarConfiguration " + Num(m_planarConfig) + " is non-support.");
        return false;
    }
    if (m_stripOffsets.size() != m_stripByteCounts.size())
    {
        Trace("Error : StripOffsets and StripByteCounts differ in count.");
        return false;
    }
    const std::uint64_t lineBytes = std::uint64_t{BytesPerPixel()} * m_imageWidth;
    m_stripEnds.resize(m_stripOffsets.size());
    m_totalStripBytes = 0;
    for (std::size_t i = 0; i < m_stripOffsets.size(); ++i)
    {
        const std::uint64_t offset = m_stripOffsets[i];
        const std::uint64_t count = m_stripByteCounts[i];
        if (offset > m_fileSize || count > m_fileSize - offset ||
            (lineBytes > 0 && count % lineBytes != 0))
        {
            Trace("Error : Strip " + Num(i) + " lies outside the file or splits a line.");
            return false;
        }
        m_totalStripBytes += count;
        m_stripEnds[i] = m_totalStripBytes;
    }
    if (m_totalStripBytes < lineBytes * m_imageLength)
    {
        Trace("Error : The strips hold less than the image.");
        return false;
    }
    return true;
}

bool CTiffFile::SetPictOffsetBuff()
{
    Start("SetPictOffsetBuff");
    std::uint64_t pos = m_pos; // right after the first IFD's entries
    while (m_ifdOffsets.size() < kMaxIfds)
    {
        std::uint8_t bytes[4];
        if (pos > m_fileSize || m_fileSize - pos < 4)
            break; // end of file
        if (!ReadAt(pos, bytes, 4))
            return false;
        const std::uint32_t next = Get32(bytes, 0);
        if (next == 0 || next >= m_fileSize ||
            std::find(m_ifdOffsets.begin(), m_ifdOffsets.end(), next) != m_ifdOffsets.end())
            break;
        m_ifdOffsets.push_back(next);
        std::uint8_t countBytes[2];
        if (std::uint64_t{next} + 2 > m_fileSize || !ReadAt(next, countBytes, 2))
            break;
        pos = std::uint64_t{next} + 2 + std::uint64_t{Get16(countBytes, 0)} * 12;
    }
    return End("SetPictOffsetBuff");
}

bool CTiffFile::ReadHeader()
{
    Start("ReadHeader");
    if (!m_input.IsOpen() || m_failed)
    {
        Trace("Error : File not open!");
        return false;
    }
    if (!GetPro())
    {
        Trace("Error : GetPro function return value error!");
        CloseFile();
        return false;
    }
    MemberClear();
    if (m_ifdOffsets.front() < 8 || !ReadIFD())
    {
        Trace("Error : ReadIFD function return value error!");
        CloseFile();
        return false;
    }
    if (!SetPictOffsetBuff())
    {
        CloseFile();
        return false;
    }
    return End("ReadHeader");
}

bool CTiffFile::GetSize(std::uint32_t& width, std::uint32_t& height)
{
    Start("GetSize");
    if ((!m_input.IsOpen() && !m_writing) || m_failed)
    {
        Trace("Error : File not open!");
        return false;
    }
    width = m_imageWidth;
    height = m_imageLength;
    if (width == 0 || height == 0)
    {
        Trace("Error : ImageSize is non-support.");
        Trace("      : w = " + Num(width) + ", h = " + Num(height));
        return false;
    }
    return End("GetSize");
}

std::uint32_t CTiffFile::BytesPerPixel() const
{
    std::uint32_t bytes = 0;
    for (const std::uint16_t bits : m_bitsPerSample)
    {
        if (bits == 0)
            Trace("ERROR : BitsPerSample not set.");
        bytes += bits / 8u;
    }
    return bytes;
}

bool CTiffFile::SetReadPos(std::uint32_t y)
{
    Start("SetReadPos");
    if (m_bitsPerSample.empty() || m_bitsPerSample[0] == 0 || m_stripOffsets.empty() ||
        m_stripOffsets[0] == 0 || m_imageWidth == 0)
    {
        Trace(
            "ERROR : Value error offset = " + Num(m_stripOffsets.empty() ? 0 : m_stripOffsets[0]) +
            ", width = " + Num(m_imageWidth));
        return false;
    }
    if (!LineOffset(y, m_pos))
    {
        Trace("ERROR : Value is error.");
        return false;
    }
    return End("SetReadPos");
}

bool CTiffFile::LineOffset(std::uint32_t y, std::uint64_t& offset) const
{
    const std::uint64_t target = std::uint64_t{y} * BytesPerPixel() * m_imageWidth;
    // The first strip whose running sum exceeds the target holds the line;
    // a line starting exactly at a strip's end belongs to the next strip.
    const auto it = std::upper_bound(m_stripEnds.begin(), m_stripEnds.end(), target);
    if (it == m_stripEnds.end())
        return false;
    const std::size_t strip = static_cast<std::size_t>(it - m_stripEnds.begin());
    const std::uint64_t before = strip == 0 ? 0 : m_stripEnds[strip - 1];
    offset = std::uint64_t{m_stripOffsets[strip]} + (target - before);
    return true;
}

bool CTiffFile::ReadLines16(std::uint32_t first, std::uint32_t count, RGB16* out) const
{
    if (!m_input.IsOpen() || m_failed || m_bitsPerSample.empty() || m_bitsPerSample[0] != 16 ||
        m_stripOffsets.empty() || m_stripOffsets[0] == 0 || m_imageWidth == 0 ||
        first > m_imageLength || count > m_imageLength - first)
        return false;
    const std::size_t lineBytes = std::size_t{m_imageWidth} * sizeof(RGB16);
    std::uint64_t lowest = UINT64_MAX;
    std::uint64_t highest = 0;
    for (std::uint32_t y = first; y < first + count; ++y)
    {
        std::uint64_t offset = 0;
        RGB16* line = out + std::size_t{y - first} * m_imageWidth;
        if (!LineOffset(y, offset) || offset > m_fileSize || lineBytes > m_fileSize - offset ||
            !m_input.ReadAt(offset, line, lineBytes))
            return false;
        if (m_bigEndianFile)
            SwapLine(line, m_imageWidth);
        lowest = std::min(lowest, offset);
        highest = std::max(highest, offset + lineBytes);
    }
    if (highest > lowest)
        m_input.ReleaseMapped(lowest, highest - lowest);
    return true;
}

bool CTiffFile::GetLine(std::uint32_t y, std::vector<RGB16>& line, std::uint32_t size)
{
    Start("GetLine");
    if (!m_input.IsOpen() || m_failed)
    {
        Trace("Error : File not open!");
        return false;
    }
    if (size == 0)
        size = m_imageWidth;
    if (y >= m_imageLength || size > m_imageWidth)
    {
        Trace("ERROR : GetLine value error. y = " + Num(y) + ", size = " + Num(size) +
              ", offset = 0");
        if (y >= m_imageLength)
            return false;
        size = m_imageWidth;
    }
    if (!SetReadPos(y))
    {
        Trace("Error : SetReadPos return value is error.");
        return false;
    }
    line.resize(size);
    if (m_bitsPerSample[0] == 16)
    {
        if (!ReadAt(m_pos, line.data(), std::size_t{size} * sizeof(RGB16)))
        {
            Trace("Error : the line could not be read.");
            return false;
        }
        if (m_bigEndianFile)
            SwapLine(line.data(), line.size());
        return End("GetLine");
    }
    m_scratch.resize(std::size_t{size} * 3);
    if (!ReadAt(m_pos, m_scratch.data(), m_scratch.size()))
    {
        Trace("Error : the line could not be read.");
        return false;
    }
    for (std::size_t x = 0; x < size; ++x)
        line[x] = {static_cast<std::uint16_t>(m_scratch[3 * x] << 8),
                   static_cast<std::uint16_t>(m_scratch[3 * x + 1] << 8),
                   static_cast<std::uint16_t>(m_scratch[3 * x + 2] << 8)};
    return End("GetLine");
}

bool CTiffFile::WriteDirEntry(std::uint32_t value, std::uint16_t typeCode,
                              std::vector<DirEntry>& entries, std::uint16_t tag,
                              std::uint32_t count)
{
    Start("WriteDirEntry");
    const std::uint16_t type =
        typeCode > kOffsetCode ? static_cast<std::uint16_t>(typeCode - kOffsetCode) : typeCode;
    if (m_writeByteOrder == kBigEndian && type == kTypeShort && count == 1)
        value <<= 16;
    entries.push_back({tag, type, count, value});
    return End("WriteDirEntry");
}

bool CTiffFile::SetHeaderNew(const TiffNewHeader& header)
{
    Start("SetHeaderNew");
    if (!m_writing || m_failed)
    {
        Trace("Error : File not open!");
        return false;
    }
    const std::uint32_t firstBit = header.bit.empty() ? 0 : header.bit[0];
    const struct
    {
        std::uint32_t value;
        const char* text;
    } checks[] = {
        {header.width, ") data.width value is Error"},
        {header.height, ") data.height value is Error"},
        {firstBit, ") data.bit value is Error"},
        {header.color, ") data.color value is Error"},
        {header.hRes, ") data.hRes value is Error"},
        {header.vRes, ") data.vRes value is Error"},
        {header.unit, ") data.unit value is Error"},
    };
    for (const auto& check : checks)
        if (check.value == 0)
        {
            Trace("ERROR : (" + Num(check.value) + check.text);
            m_failed = true;
            return false;
        }
    if (header.color != 3)
    {
        // Only three samples a pixel are written (the reader takes no other).
        Trace("ERROR : (" + Num(header.color) + ") data.color value is non-support.");
        m_failed = true;
        CloseFile();
        return false;
    }

    const std::uint16_t bits = firstBit == 8 ? 8 : 16;
    const std::uint64_t lineBytes = std::uint64_t{3} * (bits / 8u) * header.width;
    const std::uint32_t rows = header.rowsPerStrip != 0 ? header.rowsPerStrip : header.height;
    const std::uint32_t strips =
        static_cast<std::uint32_t>((std::uint64_t{header.height} + rows - 1) / rows);
    const std::uint64_t n = header.icc.empty() ? 13 : 14;
    const std::uint64_t s = strips > 1 ? strips : 0;
    const std::uint64_t bitsAt = 14 + 12 * n;
    const std::uint64_t offsetsAt = bitsAt + 6;
    const std::uint64_t countsAt = offsetsAt + 4 * s;
    const std::uint64_t xResAt = offsetsAt + 8 * s;
    const std::uint64_t iccAt = xResAt + 16;
    const std::uint64_t dataStart = iccAt + header.icc.size();
    const std::uint64_t imageBytes = lineBytes * header.height;
    // Every offset and count of a classic TIFF is a 32-bit value.
    if (dataStart + imageBytes > std::numeric_limits<std::uint32_t>::max())
    {
        Trace("ERROR : The image is too large for a TIFF file.");
        m_failed = true;
        return false;
    }

    std::vector<std::uint32_t> stripOffsets(strips);
    std::vector<std::uint32_t> stripCounts(strips);
    for (std::uint32_t i = 0; i < strips; ++i)
    {
        const std::uint64_t first = std::uint64_t{rows} * i;
        const std::uint64_t lines = std::min<std::uint64_t>(rows, header.height - first);
        stripOffsets[i] = static_cast<std::uint32_t>(dataStart + lineBytes * first);
        stripCounts[i] = static_cast<std::uint32_t>(lineBytes * lines);
    }

    // Width and length are SHORT as long as they fit; larger images get
    // LONG, which every reader takes for these tags.
    const auto sizeType = [](std::uint32_t v) { return v > 0xFFFF ? kTypeLong : kTypeShort; };
    const auto at = [](std::uint64_t v) { return static_cast<std::uint32_t>(v); };
    std::vector<DirEntry> entries;
    WriteDirEntry(0, kTypeLong, entries, kTagNewSubfileType, 1);
    WriteDirEntry(header.width, sizeType(header.width), entries, kTagImageWidth, 1);
    WriteDirEntry(header.height, sizeType(header.height), entries, kTagImageLength, 1);
    WriteDirEntry(at(bitsAt), kOffsetCode + kTypeShort, entries, kTagBitsPerSample, 3);
    WriteDirEntry(1, kTypeShort, entries, kTagCompression, 1);
    WriteDirEntry(2, kTypeShort, entries, kTagPhotometric, 1);
    if (strips == 1)
        WriteDirEntry(stripOffsets[0], kTypeLong, entries, kTagStripOffsets, 1);
    else
        WriteDirEntry(at(offsetsAt), kOffsetCode + kTypeLong, entries, kTagStripOffsets, strips);
    WriteDirEntry(3, kTypeShort, entries, kTagSamplesPerPixel, 1);
    WriteDirEntry(rows, kTypeLong, entries, kTagRowsPerStrip, 1);
    if (strips == 1)
        WriteDirEntry(stripCounts[0], kTypeLong, entries, kTagStripByteCounts, 1);
    else
        WriteDirEntry(at(countsAt), kOffsetCode + kTypeLong, entries, kTagStripByteCounts, strips);
    WriteDirEntry(at(xResAt), kOffsetCode + kTypeRational, entries, kTagXResolution, 1);
    WriteDirEntry(at(xResAt + 8), kOffsetCode + kTypeRational, entries, kTagYResolution, 1);
    WriteDirEntry(header.unit, kTypeShort, entries, kTagResolutionUnit, 1);
    if (!header.icc.empty())
        WriteDirEntry(at(iccAt), kOffsetCode + kTypeUndefined, entries, kTagIccProfile,
                      static_cast<std::uint32_t>(header.icc.size()));

    std::vector<std::uint8_t> head(static_cast<std::size_t>(dataStart), 0);
    head[0] = 'I';
    head[1] = 'I';
    using platform::PutU16LE;
    using platform::PutU32LE;
    PutU16LE(head, 2, 42);
    PutU32LE(head, 4, 8);
    m_entryCount = static_cast<std::uint16_t>(entries.size());
    PutU16LE(head, 8, m_entryCount);
    for (std::size_t i = 0; i < entries.size(); ++i)
    {
        const std::size_t at = 10 + 12 * i;
        PutU16LE(head, at, entries[i].tag);
        PutU16LE(head, at + 2, entries[i].type);
        PutU32LE(head, at + 4, entries[i].count);
        PutU32LE(head, at + 8, entries[i].value);
    }
    // The next-IFD offset after the entries stays 0.
    for (std::size_t i = 0; i < 3; ++i)
        PutU16LE(head, bitsAt + 2 * i, bits);
    if (strips > 1)
        for (std::size_t i = 0; i < strips; ++i)
        {
            PutU32LE(head, offsetsAt + 4 * i, stripOffsets[i]);
            PutU32LE(head, countsAt + 4 * i, stripCounts[i]);
        }
    PutU32LE(head, xResAt, header.hRes);
    PutU32LE(head, xResAt + 4, 1);
    PutU32LE(head, xResAt + 8, header.vRes);
    PutU32LE(head, xResAt + 12, 1);
    std::copy(header.icc.begin(), header.icc.end(),
              head.begin() + static_cast<std::ptrdiff_t>(iccAt));
    if (!WriteAt(0, head.data(), head.size()))
    {
        Trace("Error : the header could not be written.");
        m_failed = true;
        return false;
    }

    // The image area starts white; lines not written later stay so.
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    const std::vector<std::uint8_t> white(
        static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, imageBytes)), 0xFF);
    for (std::uint64_t done = 0; done < imageBytes;)
    {
        const std::size_t n2 =
            static_cast<std::size_t>(std::min<std::uint64_t>(white.size(), imageBytes - done));
        if (!WriteAt(dataStart + done, white.data(), n2))
        {
            Trace("Error : the image area could not be written.");
            m_failed = true;
            return false;
        }
        done += n2;
    }

    m_imageWidth = header.width;
    m_imageLength = header.height;
    m_samplesPerPixel = 3;
    m_bitsPerSample.assign(3, bits);
    m_compression = 1;
    m_photometric = 2;
    m_planarConfig = 1;
    m_rowsPerStrip = rows;
    m_stripOffsets = std::move(stripOffsets);
    m_stripByteCounts = std::move(stripCounts);
    m_stripEnds.resize(m_stripByteCounts.size());
    m_totalStripBytes = 0;
    for (std::size_t i = 0; i < m_stripByteCounts.size(); ++i)
    {
        m_totalStripBytes += m_stripByteCounts[i];
        m_stripEnds[i] = m_totalStripBytes;
    }
    m_xResolution = {header.hRes, 1};
    m_yResolution = {header.vRes, 1};
    m_resolutionUnit = header.unit;
    m_iccProfile = header.icc;
    m_ifdOffsets.assign(1, 8);
    m_bigEndianFile = false;
    m_swap = false;
    m_fileSize = dataStart + imageBytes;
    return End("SetHeaderNew");
}

bool CTiffFile::WriteLine(std::uint32_t y, std::span<const RGB16> line, std::uint32_t size)
{
    Start("WriteLine");
    if (!m_writing || m_failed)
    {
        Trace("Error : File not open!");
        return false;
    }
    if (y >= m_imageLength)
    {
        Trace("Error : Value error! offset > m_dImageWidth! .or. y > m_dImageLength!");
        Trace("      : offset = 0, m_dImageWidth = " + Num(m_imageWidth) + ", y = " + Num(y) +
              ", m_dImageLength = " + Num(m_imageLength));
        return false;
    }
    std::size_t n = (size == 0 || size > line.size()) ? line.size() : size;
    n = std::min<std::size_t>(n, m_imageWidth);
    if (!SetReadPos(y))
    {
        Trace("Error : SetReadPos function return value error!");
        return false;
    }
    bool ok = false;
    if (m_bitsPerSample[0] == 16)
        ok = WriteAt(m_pos, line.data(), n * sizeof(RGB16));
    else
    {
        m_scratch.resize(n * 3);
        for (std::size_t x = 0; x < n; ++x)
        {
            m_scratch[3 * x] = static_cast<std::uint8_t>(line[x].r >> 8);
            m_scratch[3 * x + 1] = static_cast<std::uint8_t>(line[x].g >> 8);
            m_scratch[3 * x + 2] = static_cast<std::uint8_t>(line[x].b >> 8);
        }
        ok = WriteAt(m_pos, m_scratch.data(), m_scratch.size());
    }
    if (!ok)
    {
        Trace("Error : the line could not be written.");
        return false;
    }
    return End("WriteLine");
}
