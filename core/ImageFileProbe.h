#pragma once
// Image files around the 8-bit image CImageEx: which names are image files,
// what an image file holds (its type, size, resolution and orientation),
// the ICC profile embedded in it, and writing a CImageEx as an 8-bit TIFF
// or a JPEG with a profile and a resolution.
//
// JPEG goes through libjpeg-turbo and TIFF through libtiff. The names with
// "Gdiplus" are kept from the system this one replaces, where one imaging
// library read and wrote these files; here they mean "the 8-bit codecs".
// Files are recognised by their first bytes, not by their names. Nothing
// here keeps state between calls, so threads (the thumbnail loader) may
// call it at the same time. Library messages are never printed.

#include "platform/File.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class CImageEx;
namespace imagecodec {
struct OpenedImage;
}

// How an image file is read (and how an output is written).
using ImageFileType = int;
inline constexpr ImageFileType kImageFileTiff16 = 0; // 16-bit uncompressed RGB TIFF
inline constexpr ImageFileType kImageFileTiff8 = 1;  // 8-bit RGB TIFF
inline constexpr ImageFileType kImageFileJpeg = 2;   // JPEG
inline constexpr ImageFileType kImageFileDng = 3;    // DNG (never from the probe)
inline constexpr ImageFileType kImageFileRaw = 4;    // camera RAW (never from the probe)
inline constexpr ImageFileType kImageFileUnsupported = 5;

// Extension tests: the extension with its dot, compared ignoring case.
// ".jpg", ".jpeg", ".tif", ".tiff", ".dng"
bool HasProfileCapableExtension(std::string_view path);
// ".jpg", ".jpeg"
bool IsJpegFileName(std::string_view path);
// ".jpg", ".jpeg", ".tif", ".tiff": the 8-bit image files the codecs read.
bool IsGdiplusImageFile(std::string_view path);

// Always true: the codecs are linked in, nothing has to be started.
bool IsGdiplusAvailable();

struct ImageProbeResult
{
    ImageFileType type = kImageFileUnsupported;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // Dots per inch; 0 when the file gives no resolution in absolute units
    // (the image record then uses its default).
    float xResolution = 0.0f;
    float yResolution = 0.0f;
    // The EXIF / TIFF orientation (tag 274), 1..8; 0 when the file has none.
    // Reported only: nothing here rotates pixels.
    int orientation = 0;
    // The embedded ICC profile (as LoadEmbeddedProfile reads it, whatever
    // the file's name); empty when there is none.
    std::vector<std::uint8_t> profile;
};

// An image file the probe left open for its decoding, so that a load opens
// and parses its file once: CImageEx::Load decodes it from the header the
// probe read, and the program's own 16-bit TIFF reader takes its
// file. Empty when nothing is open; closed when destroyed.
class ProbedImageFile
{
public:
    ProbedImageFile();
    explicit ProbedImageFile(std::unique_ptr<imagecodec::OpenedImage> opened);
    ~ProbedImageFile();
    ProbedImageFile(ProbedImageFile&& other) noexcept;
    ProbedImageFile& operator=(ProbedImageFile&& other) noexcept;

    bool IsOpen() const { return m_opened != nullptr; }
    imagecodec::OpenedImage* Opened() const { return m_opened.get(); }
    // A TIFF's file, now the caller's; nothing is open here any more. A
    // closed file when no TIFF is open.
    platform::File ReleaseTiffFile();

private:
    std::unique_ptr<imagecodec::OpenedImage> m_opened;
};

// Opens the file and fills the result. False with the result untouched when
// the file cannot be read or is neither JPEG nor TIFF; false with the result
// filled when it is one the program does not load. Accepted:
// - JPEG with three components (YCbCr or RGB): type 2;
// - TIFF, 8-bit RGB (or JPEG-compressed YCbCr), samples interleaved, any
//   compression libtiff decodes: type 1;
// - TIFF, 16-bit unsigned RGB, samples interleaved, in strips, uncompressed
//   (no compression tag means none): type 0, read by the program's own TIFF
//   reader. Other 16-bit RGB files keep type 0 and are refused.
// Everything else is refused (greyscale, CMYK, palette, alpha, separate
// planes), as is an image larger than 32767 pixels a side or 2 GB as a
// 24-bit bitmap. The file is opened once; with keep, a file that was read
// (accepted or refused) stays open there for its decoding.
bool ProbeImageFile(const std::string& path, ImageProbeResult& result,
                    ProbedImageFile* keep = nullptr);

// The ICC profile embedded in a JPEG (APP2 "ICC_PROFILE" markers) or a TIFF
// (tag 34675; for a DNG the first directory's). Only for names that pass
// HasProfileCapableExtension. False, bytes untouched, when there is none.
bool LoadEmbeddedProfile(const std::string& path, std::vector<std::uint8_t>& bytes);

// The JPEG quality of a quality level 0..4: 50 + level * 50 / 4 in integer
// arithmetic (50, 62, 75, 87, 100). Levels outside 0..4 are clamped.
int JpegQualityFromLevel(int level);

// Writes image as type 1 (uncompressed 8-bit RGB TIFF) or type 2 (JPEG at
// JpegQualityFromLevel(level), 4:2:0, JFIF), with the profile (when not
// empty) and the resolution in dots per inch. A resolution that is not a
// positive number is left out (readers then assume 96 dpi); a JPEG stores
// whole dots per inch. The file is written in one piece by replacing the
// target (platform::ReplaceFileContents). Any other type writes nothing and
// gives false; so does an empty image or a profile too large for the
// format (a JPEG carries at most 255 markers of 65519 bytes). The encoder
// steps of the former SaveBitmapWithEncoder are part of this function.
bool SaveImageFile(std::span<const std::uint8_t> profile, ImageFileType type, const CImageEx& image,
                   const std::string& path, float xDpi, float yDpi, int level);

// The 8-bit BGR rows (3 bytes a pixel) of an image saved piece by piece.
// Row is asked for each row once, in order from the top; the row must stay
// readable until the next call. Null stops the save.
class JpegRowSource
{
public:
    virtual ~JpegRowSource() = default;
    virtual const std::uint8_t* Row(int y) = 0;
};

// The JPEG of SaveImageFile (same quality, markers and replacement) from
// rows made on demand, so a large image never needs an 8-bit copy in full.
// False, the target untouched, when the size is empty, the profile too
// large, a row is refused or anything fails to write.
bool SaveJpegFile(std::span<const std::uint8_t> profile, int width, int height,
                  JpegRowSource& rows, const std::string& path, float xDpi, float yDpi, int level);
