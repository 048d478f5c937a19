#pragma once
// Plumbing shared by the image-file probe (ImageFileProbe.cpp) and the
// 8-bit codecs of CImageEx (ImageExCodec.cpp); not meant for other callers.
//
// libjpeg reports a fatal error by calling error_exit, which must not
// return. Ours jumps back (longjmp) to the setjmp of the function that made
// the failing call. That function holds no object with a destructor between
// its setjmp and its libjpeg calls, so the jump skips nothing that needs
// cleaning up; the owning structs below are made by its caller and clean up
// (jpeg_destroy_*, fclose, free) when that caller returns.
//
// libtiff reports through error and warning handlers; ours are installed per
// open file (TIFFOpenOptions), say nothing and leave the global handlers of
// the process alone, so threads and other users of libtiff are unaffected.

#include "platform/File.h"

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>
#include <tiffio.h>

namespace imagecodec {

// --- Sizes -------------------------------------------------------------------

// The largest side an image file may have here, and the largest 24-bit
// bitmap: its padded rows must fit in 2^31 - 1 bytes, as GDI+ bitmaps had to.
inline constexpr std::uint32_t kMaxImageSide = 32767;
inline constexpr std::uint64_t kMaxBitmapBytes = 0x7FFFFFFF;

// True when a width x height image can be decoded into a CImageEx.
bool IsDecodableSize(std::uint64_t width, std::uint64_t height);

// Resolution assumed when a file gives none (or none in absolute units).
inline constexpr float kDefaultDpi = 96.0f;

// --- Containers --------------------------------------------------------------

enum class ImageContainer
{
    Unknown,
    Jpeg,
    Tiff,
};

// Decides by the file's first bytes (as GDI+ did, not by the extension):
// FF D8 FF is JPEG; "II*\0", "MM\0*" and their BigTIFF forms are TIFF.
// size is how many bytes of head were read (at most 4).
ImageContainer ContainerOf(const unsigned char* head, std::size_t size);

// --- EXIF --------------------------------------------------------------------

// The fields of IFD0 of an EXIF block that the probe reports. Zero (or
// hasResolution false) for whatever the block lacks or gets wrong.
struct ExifFields
{
    int orientation = 0; // tag 274, 1..8
    bool hasResolution = false;
    double xResolution = 0.0; // tags 282, 283 in dots per unit
    double yResolution = 0.0;
    int resolutionUnit = 2; // tag 296: 1 none, 2 inch, 3 centimetre
};

// Parses an APP1 payload starting "Exif\0\0" followed by a TIFF header and
// IFD0. Every offset and count is checked against the payload.
ExifFields ParseExif(std::span<const std::uint8_t> app1);

// --- JPEG --------------------------------------------------------------------

struct JpegErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    // Set by a "premature end of JPEG file" warning: libjpeg then pads the
    // image with grey and carries on; we call the file damaged instead.
    bool truncated = false;
};

// Installs the silent, jumping error manager; returns it for cinfo.err.
jpeg_error_mgr* InitJpegErrors(JpegErrorManager& errors);

// Everything a decode owns. Made by the caller before any setjmp.
struct JpegReader
{
    JpegReader() = default;
    ~JpegReader();
    JpegReader(const JpegReader&) = delete;
    JpegReader& operator=(const JpegReader&) = delete;

    jpeg_decompress_struct cinfo{};
    JpegErrorManager errors{};
    jpeg_progress_mgr progress{};
    std::FILE* file = nullptr;
    JOCTET* icc = nullptr; // from jpeg_read_icc_profile (malloc'ed)
    unsigned int iccSize = 0;
};

// After the header is read (OpenImage): assembles the ICC profile from its
// APP2 markers into reader.icc. False when there is none or the chain of
// markers is inconsistent.
bool ReadJpegIcc(JpegReader& reader);

// Resolution and orientation of an opened JPEG: JFIF density in dots per
// inch or per centimetre first, else the EXIF resolution, else `missing`
// (96 dpi for display; the probe asks for 0 so the image record can apply
// its own default). The orientation is the EXIF one (0 without).
struct JpegFacts
{
    float xDpi = kDefaultDpi;
    float yDpi = kDefaultDpi;
    int orientation = 0;
};
JpegFacts DescribeJpeg(const jpeg_decompress_struct& cinfo, float missing = kDefaultDpi);

// Everything an encode owns; the output goes to memory (jpeg_mem_dest).
struct JpegWriter
{
    JpegWriter() = default;
    ~JpegWriter();
    JpegWriter(const JpegWriter&) = delete;
    JpegWriter& operator=(const JpegWriter&) = delete;

    jpeg_compress_struct cinfo{};
    JpegErrorManager errors{};
    unsigned char* buffer = nullptr; // malloc'ed by the library
    unsigned long size = 0;
};

// --- TIFF --------------------------------------------------------------------

struct TiffCloser
{
    void operator()(TIFF* tiff) const;
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

// Resolution of the current directory in dots per inch: unit inch (also
// when the unit tag is absent) or centimetre; 96 for a missing, zero or
// unit-less value.
void TiffResolution(TIFF* tiff, float& xDpi, float& yDpi, float missing = kDefaultDpi);

// Which TIFF directories are read, decided once for the probe and the
// 8-bit codec. The directory's facts, with the TIFF defaults for absent
// tags (one sample of one bit, contiguous planes, no compression, unsigned
// samples):
struct TiffFormat
{
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t bits = 1;
    std::uint16_t samples = 1;
    std::uint16_t photometric = 0xFFFF; // none given
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    std::uint16_t compression = COMPRESSION_NONE;
    std::uint16_t sampleFormat = SAMPLEFORMAT_UINT;
    bool tiled = false;
    bool bigTiff = false;
};

// The current directory's format; false when it gives no width or height.
bool ReadTiffFormat(TIFF* tiff, TiffFormat& format);

// How the 8-bit codec turns decoded rows into BGR pixels: interleaved
// samples, unsigned, in a compression libtiff decodes, and
// - RGB of 8 or 16 bits (16-bit samples keep their high byte);
// - JPEG-compressed YCbCr of 8 bits, which libjpeg converts to RGB;
// - 8-bit greyscale, minimum black.
// Anything else is None.
enum class TiffLayout
{
    None,
    Rgb8,
    Rgb16,
    YCbCrJpeg,
    Grey8,
};
TiffLayout DecodableTiffLayout(const TiffFormat& format);

// 48-bit RGB: the program's own 16-bit reader is meant for these.
bool IsRgb16Tiff(const TiffFormat& format);
// A 48-bit RGB file the program's own reader takes: uncompressed strips of
// a classic TIFF, samples interleaved and unsigned.
bool IsOwnReaderTiff(const TiffFormat& format);
// An 8-bit colour file the codec decodes as the working image's source:
// RGB or JPEG-compressed YCbCr (not greyscale, which only thumbnails take).
bool IsColourCodecTiff(const TiffFormat& format);

// A TIFF written into memory; Finish() closes it and hands out the bytes.
class TiffMemoryWriter
{
public:
    TiffMemoryWriter();
    ~TiffMemoryWriter();
    TiffMemoryWriter(const TiffMemoryWriter&) = delete;
    TiffMemoryWriter& operator=(const TiffMemoryWriter&) = delete;

    TIFF* Get() const { return m_tiff; }
    // Flushes and closes; false when libtiff reported an error at any time.
    bool Finish(std::string& bytes);

    // The memory file the callbacks work on.
    struct Stream
    {
        std::string data;
        std::uint64_t pos = 0;
        bool failed = false;
    };

private:
    Stream m_stream;
    TIFF* m_tiff = nullptr;
};

// --- One open file ----------------------------------------------------------

// The file libtiff reads an opened TIFF from, with libtiff's position in it.
struct TiffInput
{
    platform::File file;
    std::uint64_t size = 0;
    std::uint64_t position = 0;
};

// An image file opened once for everything read from it: the probe, the
// embedded profile and the decoding (or, for a 16-bit TIFF, the program's
// own reader) all use the same open file and the header already parsed.
struct OpenedImage
{
    OpenedImage() = default;
    ~OpenedImage();
    OpenedImage(const OpenedImage&) = delete;
    OpenedImage& operator=(const OpenedImage&) = delete;

    ImageContainer container = ImageContainer::Unknown;
    // A JPEG: the header read, EXIF (APP1) and ICC (APP2) markers kept.
    std::unique_ptr<JpegReader> jpeg;
    // A TIFF: the first directory current. libtiff reads it quietly through
    // input, without memory-mapping it (a file cut short by someone else
    // while mapped would raise SIGBUS), and never closes it.
    TiffInput input;
    TiffPtr tiff;
};

// Opens the file, decides its container by the first bytes and reads the
// header. False when the file cannot be read or is neither JPEG nor TIFF;
// opened is then only fit for destruction.
bool OpenImage(const std::string& path, OpenedImage& opened);

// A TIFF's file, handed to the caller; libtiff's state is dropped. A closed
// file for anything else.
platform::File ReleaseTiffFile(OpenedImage& opened);

} // namespace imagecodec
