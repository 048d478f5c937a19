#pragma once
// The program's own reader and writer of uncompressed RGB TIFF files, line
// by line: 16-bit images are loaded and the working image is saved through
// it (8-bit TIFF and JPEG go through the codecs instead).
//
// Reading understands the first image file directory of a file in either
// byte order, any number of strips, and the ICC profile tag. Only what the
// loader can take is accepted: no compression, three samples a pixel, RGB,
// chunky planes, 8 or 16 bits a sample. Every value of the directory is
// distrusted: counts and offsets are checked against the file's size in
// 64-bit arithmetic before anything is read or allocated, and the field
// type of each entry is honoured (strip tables and RowsPerStrip may be
// SHORT or LONG, held in the entry itself when they fit in four bytes).
//
// Writing makes a little-endian file with a fixed layout (header, one IFD
// of 13 or 14 entries, the out-of-line values, the image). The file is
// built as a temporary beside the target and renamed over it by a
// successful Close, so a failed or abandoned save leaves the old file.
//
// Every operation reports "Start : <name> Function." on entry and
// "End   : <name> Function." on success, plus its error lines, to an
// optional trace sink (none by default).

#include "core/RGB16.h"
#include "platform/File.h"
#include "platform/FileReplace.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Receives one trace line at a time, without the line end.
using TiffTraceSink = std::function<void(std::string_view line)>;

// The description of a new file handed to CTiffFile::SetHeaderNew.
struct TiffNewHeader
{
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t color = 3;                    // samples a pixel; only 3 is written
    std::vector<std::uint16_t> bit{16, 16, 16}; // bits a sample (the first decides: 8, else 16)
    std::uint16_t unit = 2;                     // resolution unit (2: inch, 3: centimetre)
    std::uint32_t hRes = 0;                     // dots a unit
    std::uint32_t vRes = 0;
    std::vector<std::uint8_t> icc;  // may be empty
    std::uint32_t rowsPerStrip = 0; // 0: the whole image in one strip
};

class CTiffFile
{
public:
    static constexpr std::int32_t kLittleEndian = 100; // "II"
    static constexpr std::int32_t kBigEndian = 101;    // "MM"
    static constexpr int kModeWrite = 1;
    static constexpr int kModeRead = 2;

    explicit CTiffFile(TiffTraceSink trace = {});
    ~CTiffFile();
    CTiffFile(const CTiffFile&) = delete;
    CTiffFile& operator=(const CTiffFile&) = delete;

    void SetTrace(TiffTraceSink trace) { m_trace = std::move(trace); }

    bool MemberClear();
    // mode kModeWrite: a new file replacing path at Close; any other: read.
    bool Open(const std::string& path, int mode);
    // Reading a file already open (the probe's, see ProbedImageFile): the
    // file is the reader's from here on, and is closed even when it is
    // refused.
    bool OpenFile(platform::File file);
    // Reading: closes the file. Writing: flushes the new file and renames
    // it over the target; fails (leaving the old file) when anything
    // before failed. Destroying a writer without Close discards the file.
    bool Close();
    bool ReadHeader();
    bool GetSize(std::uint32_t& width, std::uint32_t& height);
    // Pixels 0 to size-1 of line y (size 0: the whole width); 8-bit
    // channels widen as v * 256. line is resized to the pixels read.
    bool GetLine(std::uint32_t y, std::vector<RGB16>& line, std::uint32_t size = 0);
    // Of a 16-bit file, the whole lines first .. first + count - 1 into out
    // (count x width pixels), in the machine's byte order. It changes
    // nothing of this object, so that the threads of a band loop may read
    // their bands at once; the mapped bytes read leave the process's memory
    // afterwards. False for another depth, lines outside the image or a
    // read that fails.
    bool ReadLines16(std::uint32_t first, std::uint32_t count, RGB16* out) const;
    bool SetReadPos(std::uint32_t y);
    bool SetHeaderNew(const TiffNewHeader& header);
    // Pixels 0 to size-1 of line y (size 0, or more than the line holds or
    // the width: the whole line); 8-bit files take each channel's high byte.
    bool WriteLine(std::uint32_t y, std::span<const RGB16> line, std::uint32_t size = 0);

    // What ReadHeader found (or SetHeaderNew described).
    std::uint32_t GetWidth() const { return m_imageWidth; }
    std::uint32_t GetLength() const { return m_imageLength; }
    std::uint16_t GetSamplesPerPixel() const { return m_samplesPerPixel; }
    const std::vector<std::uint16_t>& GetBitsPerSample() const { return m_bitsPerSample; }
    std::uint16_t GetResolutionUnit() const { return m_resolutionUnit; }
    // Numerator and denominator; empty when the tag is absent.
    const std::vector<std::uint32_t>& GetXResolution() const { return m_xResolution; }
    const std::vector<std::uint32_t>& GetYResolution() const { return m_yResolution; }
    const std::vector<std::uint8_t>& GetIccProfile() const { return m_iccProfile; }
    const std::vector<std::uint32_t>& GetStripOffsets() const { return m_stripOffsets; }
    const std::vector<std::uint32_t>& GetStripByteCounts() const { return m_stripByteCounts; }
    std::uint32_t GetRowsPerStrip() const { return m_rowsPerStrip; }
    // Offsets of every IFD of the file's chain, the first one first.
    const std::vector<std::uint32_t>& GetIfdOffsets() const { return m_ifdOffsets; }

private:
    struct DirEntry
    {
        std::uint16_t tag;
        std::uint16_t type;
        std::uint32_t count;
        std::uint32_t value;
    };

    // Reading file from its start (now owned).
    bool AdoptForReading(platform::File file);
    bool GetPro();
    bool ReadIFD();
    bool SetPictOffsetBuff();
    bool WriteDirEntry(std::uint32_t value, std::uint16_t typeCode, std::vector<DirEntry>& entries,
                       std::uint16_t tag, std::uint32_t count);

    // The steps of reading an entry's values, whatever their field type.
    bool ReadEntryValues(std::uint16_t type, std::uint32_t count,
                         std::span<const std::uint8_t> valueField,
                         std::vector<std::uint32_t>& values);
    bool ReadEntryBytes(std::uint32_t count, std::uint32_t size,
                        std::span<const std::uint8_t> valueField, std::vector<std::uint8_t>& bytes);
    bool CheckLayout();

    bool ReadAt(std::uint64_t offset, void* data, std::size_t size);
    bool WriteAt(std::uint64_t offset, const void* data, std::size_t size);
    // Integers of the file's byte order (its II or MM mark).
    std::uint16_t Get16(std::span<const std::uint8_t> bytes, std::size_t at) const;
    std::uint32_t Get32(std::span<const std::uint8_t> bytes, std::size_t at) const;
    std::uint32_t BytesPerPixel() const;
    // Where line y starts in the file; false when no strip holds it.
    bool LineOffset(std::uint32_t y, std::uint64_t& offset) const;
    void CloseFile();

    void Trace(std::string_view line) const;
    void Start(std::string_view name) const;
    bool End(std::string_view name) const; // always true

    TiffTraceSink m_trace;

    std::uint32_t m_imageWidth = 0;
    std::uint32_t m_imageLength = 0;
    std::uint16_t m_samplesPerPixel = 0;
    std::vector<std::uint16_t> m_bitsPerSample;
    std::uint16_t m_compression = 1;
    std::uint16_t m_photometric = 2;
    std::uint16_t m_planarConfig = 1;
    std::vector<std::uint32_t> m_stripOffsets;
    std::uint32_t m_rowsPerStrip = 0;
    std::vector<std::uint32_t> m_stripByteCounts;
    std::uint64_t m_totalStripBytes = 0;
    std::vector<std::uint64_t> m_stripEnds; // running sums of the strip byte counts
    std::vector<std::uint32_t> m_xResolution;
    std::vector<std::uint32_t> m_yResolution;
    std::uint16_t m_resolutionUnit = 0;
    std::vector<std::uint8_t> m_iccProfile;
    std::vector<std::uint32_t> m_ifdOffsets;

    platform::File m_input;                              // reading, mapped when the system can
    std::unique_ptr<platform::ReplacementFile> m_output; // writing, one a file
    bool m_writing = false;
    bool m_failed = false; // the stream's error state
    std::uint64_t m_fileSize = 0;
    std::uint64_t m_pos = 0;             // where the next line is read or written
    std::vector<std::uint8_t> m_scratch; // 8-bit lines

    std::uint8_t m_header[8] = {};
    bool m_swap = false;
    bool m_bigEndianFile = false;
    std::uint16_t m_entryCount = 0;
    std::int32_t m_writeByteOrder = kLittleEndian;
};
