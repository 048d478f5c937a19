#pragma once
// Our own small DNG writer for test fixtures and benchmarks: IFD0 with an
// 8-bit RGB preview, the raw image in a sub-IFD, an EXIF IFD; either byte
// order; 16-bit or 12-bit packed strips, uncompressed 16-bit tiles or
// lossless-JPEG tiles; CFA (2x2 Bayer) or LinearRaw data. Every tag the
// reader needs is filled with a plausible value, and every one can be
// changed, removed or made to lie (type, count, offset) before the file is
// written, as can the structure (next-IFD offsets, extra IFDs).

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// TIFF field types.
enum TiffType : std::uint16_t
{
    kTiffByte = 1,
    kTiffAscii = 2,
    kTiffShort = 3,
    kTiffLong = 4,
    kTiffRational = 5,
    kTiffSByte = 6,
    kTiffUndefined = 7,
    kTiffSShort = 8,
    kTiffSLong = 9,
    kTiffSRational = 10,
    kTiffFloat = 11,
    kTiffDouble = 12,
    kTiffIfd = 13,
};

// Bytes of one value of a type; 0 for unknown types.
unsigned TiffSize(std::uint16_t type);

// One IFD entry. Numeric values are kept as numbers (a rational as two:
// numerator, denominator) and written in the file's byte order; byte-like
// types keep their bytes. The value goes inline when count x type size is
// at most 4 bytes, else after the IFD with its offset in the entry.
struct TiffEntry
{
    enum class Ref
    {
        None,
        Blobs, // values are the file offsets of blobs
        Ifds,  // values are the file offsets of IFDs
    };

    std::uint16_t type = kTiffLong;
    std::vector<std::int64_t> numbers;
    std::vector<std::uint8_t> bytes;
    Ref ref = Ref::None;
    std::vector<int> refs;
    // Written instead of the real count (the data written stays the values').
    std::optional<std::uint32_t> count;
    // Written instead of the value's offset (no data is written then).
    std::optional<std::uint32_t> offset;

    // Values a field of this type holds (rationals count once).
    std::uint32_t ValueCount() const;
};

class TiffIfd
{
public:
    TiffIfd& Bytes(std::uint16_t tag, std::vector<std::uint8_t> values,
                   std::uint16_t type = kTiffByte);
    // The text and its terminating zero.
    TiffIfd& Ascii(std::uint16_t tag, const std::string& text);
    TiffIfd& Shorts(std::uint16_t tag, std::vector<std::int64_t> values);
    TiffIfd& Longs(std::uint16_t tag, std::vector<std::int64_t> values);
    // Unsigned (type 5) and signed (type 10) rationals.
    TiffIfd& Rationals(std::uint16_t tag,
                       std::vector<std::pair<std::int64_t, std::int64_t>> values);
    TiffIfd& SRationals(std::uint16_t tag,
                        std::vector<std::pair<std::int64_t, std::int64_t>> values);
    // Any type with numbers given as they are written (rationals as pairs).
    TiffIfd& Numbers(std::uint16_t tag, std::uint16_t type, std::vector<std::int64_t> values);
    TiffIfd& Set(std::uint16_t tag, TiffEntry entry);
    TiffIfd& Remove(std::uint16_t tag);
    bool Has(std::uint16_t tag) const { return entries.count(tag) != 0; }
    TiffEntry& At(std::uint16_t tag) { return entries.at(tag); }

    std::map<std::uint16_t, TiffEntry> entries;
    // The next IFD of this one's chain (an IFD id), or -1 for none.
    int next = -1;
    // Written as the next-IFD offset instead.
    std::optional<std::uint32_t> nextOffset;
    // Entries written in this order of tags instead of ascending (tags
    // listed twice appear twice).
    std::vector<std::uint16_t> order;
};

// Lays out IFDs and data blocks ("blobs") into one TIFF file.
class TiffWriter
{
public:
    explicit TiffWriter(bool bigEndian) : m_bigEndian(bigEndian) {}

    int AddIfd();
    TiffIfd& Ifd(int id) { return m_ifds.at(static_cast<std::size_t>(id)); }
    int IfdCount() const { return static_cast<int>(m_ifds.size()); }
    int AddBlob(std::vector<std::uint8_t> data);
    // LONG values resolved to the offsets of blobs (IFDs) when written.
    void SetBlobOffsets(int ifd, std::uint16_t tag, std::vector<int> blobs);
    void SetIfdOffsets(int ifd, std::uint16_t tag, std::vector<int> ifds,
                       std::uint16_t type = kTiffLong);

    bool BigEndian() const { return m_bigEndian; }
    // The header's bytes 0-3 ("II*\0" or "MM\0*") and first IFD offset can
    // be overridden to make broken files.
    std::optional<std::array<std::uint8_t, 4>> header;
    std::optional<std::uint32_t> firstIfdOffset;
    int firstIfd = 0;

    // The file, at least minSize bytes (zero-padded). ifdOffsets (when
    // given) receives each IFD's offset.
    std::vector<std::uint8_t> Write(std::size_t minSize = 0,
                                    std::vector<std::uint32_t>* ifdOffsets = nullptr) const;

private:
    bool m_bigEndian;
    std::vector<TiffIfd> m_ifds;
    std::vector<std::vector<std::uint8_t>> m_blobs;
};

// How the raw image is stored.
enum class DngStorage
{
    Strips16,     // uncompressed 16-bit samples
    Strips12,     // uncompressed 12-bit samples, packed, rows padded to a byte
    Tiles16,      // uncompressed 16-bit tiles
    LosslessTiles // lossless JPEG, one stream a tile
};

struct DngRecipe
{
    std::uint32_t width = 48;
    std::uint32_t height = 32;
    int samples = 1; // 1: CFA (photometric 32803); 3: LinearRaw (34892)
    // width x height x samples values, rows top first; empty: a generated
    // pattern (below 4096 for 12-bit storage).
    std::vector<std::uint16_t> pixels;
    bool bigEndian = false;
    DngStorage storage = DngStorage::Strips16;
    std::uint32_t rowsPerStrip = 0; // 0: one strip
    std::uint32_t tileWidth = 16;
    std::uint32_t tileLength = 16;
    // CFA pattern rows (0 red, 1 green, 2 blue): RGGB.
    std::array<std::uint8_t, 4> cfa{0, 1, 1, 2};
    int ljpegPrecision = 16;
    std::uint32_t whiteLevel = 0; // 0: 65535, or 4095 for 12-bit storage
    std::size_t minFileSize = 10000;
};

class DngBuilder
{
public:
    // Makes every IFD with its default tags and encodes the raw data; the
    // tags can then be changed before Build.
    explicit DngBuilder(DngRecipe recipe);

    TiffWriter& Writer() { return m_writer; }
    TiffIfd& Ifd0() { return m_writer.Ifd(m_ifd0); }
    TiffIfd& Raw() { return m_writer.Ifd(m_raw); }
    TiffIfd& Exif() { return m_writer.Ifd(m_exif); }
    int Ifd0Id() const { return m_ifd0; }
    int RawId() const { return m_raw; }
    int ExifId() const { return m_exif; }
    const DngRecipe& Recipe() const { return m_recipe; }
    // The samples written (the generated pattern when none were given).
    const std::vector<std::uint16_t>& Pixels() const { return m_recipe.pixels; }

    // A copy of the raw IFD (sharing its data), appended to SubIFDs.
    int AddRawIfdCopy();
    // Replaces IFD0's SubIFDs by these IFD ids.
    void SetSubIfds(std::vector<int> ids);

    std::vector<std::uint8_t> Build(std::vector<std::uint32_t>* ifdOffsets = nullptr) const;
    // False when the file cannot be written.
    bool WriteFile(const std::string& path) const;
    // Writes bytes to a file, replacing it; false on failure.
    static bool WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

private:
    void FillIfd0();
    void FillRaw();
    void FillExif();
    void StoreStrips();
    void StoreTiles();

    DngRecipe m_recipe;
    TiffWriter m_writer;
    int m_ifd0 = -1;
    int m_raw = -1;
    int m_exif = -1;
    std::vector<int> m_subIfds;
};

} // namespace testsupport
