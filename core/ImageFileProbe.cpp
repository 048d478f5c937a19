#include "core/ImageFileProbe.h"

#include "core/Clamp.h"
#include "core/ImageCodecSupport.h"
#include "core/ImageEx.h"
#include "core/PathUtils.h"
#include "platform/FileReplace.h"
#include "platform/Text.h"

#include <jerror.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <initializer_list>

using namespace imagecodec;

namespace {

bool ExtensionIsOneOf(std::string_view path, std::initializer_list<std::string_view> extensions)
{
    const std::string ext = GetFileExtFromPath(path);
    return !ext.empty() &&
           std::any_of(extensions.begin(), extensions.end(), [&ext](std::string_view candidate) {
               return platform::EqualsNoCase(ext, candidate);
           });
}

} // namespace

bool HasProfileCapableExtension(std::string_view path)
{
    return ExtensionIsOneOf(path, {".jpg", ".jpeg", ".tif", ".tiff", ".dng"});
}

bool IsJpegFileName(std::string_view path)
{
    return ExtensionIsOneOf(path, {".jpg", ".jpeg"});
}

bool IsGdiplusImageFile(std::string_view path)
{
    return ExtensionIsOneOf(path, {".jpg", ".jpeg", ".tif", ".tiff"});
}

bool IsGdiplusAvailable()
{
    return true;
}

// --- Probe -------------------------------------------------------------------

namespace {

enum class Verdict
{
    Unreadable, // not opened: the result stays untouched
    Refused,
    Accepted,
};

Verdict Judge(bool accepted)
{
    return accepted ? Verdict::Accepted : Verdict::Refused;
}

Verdict ProbeJpeg(const JpegReader& reader, ImageProbeResult& result)
{
    const jpeg_decompress_struct& cinfo = reader.cinfo;
    const JpegFacts facts = DescribeJpeg(cinfo, 0.0f);
    result.type = kImageFileJpeg;
    result.width = cinfo.image_width;
    result.height = cinfo.image_height;
    result.xResolution = facts.xDpi;
    result.yResolution = facts.yDpi;
    result.orientation = facts.orientation;
    // Only colour files of three components decode to 24-bit RGB directly;
    // greyscale, CMYK and YCCK are refused.
    const bool rgb = cinfo.num_components == 3 &&
                     (cinfo.jpeg_color_space == JCS_YCbCr || cinfo.jpeg_color_space == JCS_RGB);
    return Judge(rgb && IsDecodableSize(cinfo.image_width, cinfo.image_height));
}

Verdict ProbeTiff(TIFF* t, ImageProbeResult& result)
{
    TiffFormat format;
    if (!ReadTiffFormat(t, format))
        return Verdict::Unreadable;
    std::uint16_t orientation = 0;
    TIFFGetField(t, TIFFTAG_ORIENTATION, &orientation);

    result.width = format.width;
    result.height = format.height;
    TiffResolution(t, result.xResolution, result.yResolution, 0.0f);
    result.orientation = orientation >= 1 && orientation <= 8 ? orientation : 0;

    const bool sizeOk = IsDecodableSize(format.width, format.height);
    if (IsRgb16Tiff(format))
    {
        // 48-bit RGB goes to the program's own reader; a 16-bit file it
        // cannot read keeps its type and is refused.
        result.type = kImageFileTiff16;
        return Judge(sizeOk && IsOwnReaderTiff(format));
    }
    result.type = kImageFileTiff8;
    return Judge(sizeOk && IsColourCodecTiff(format));
}

// The profile of an opened file: APP2 "ICC_PROFILE" markers of a JPEG,
// tag 34675 of a TIFF's first directory.
bool ReadEmbeddedProfile(OpenedImage& opened, std::vector<std::uint8_t>& bytes)
{
    switch (opened.container)
    {
    case ImageContainer::Jpeg:
    {
        JpegReader& reader = *opened.jpeg;
        if (!ReadJpegIcc(reader))
            return false;
        bytes.assign(reader.icc, reader.icc + reader.iccSize);
        return true;
    }
    case ImageContainer::Tiff:
    {
        std::uint32_t count = 0;
        const std::uint8_t* data = nullptr;
        if (TIFFGetField(opened.tiff.get(), TIFFTAG_ICCPROFILE, &count, &data) != 1 || count == 0 ||
            data == nullptr)
            return false;
        bytes.assign(data, data + count);
        return true;
    }
    case ImageContainer::Unknown:
        break;
    }
    return false;
}

} // namespace

ProbedImageFile::ProbedImageFile() = default;
ProbedImageFile::ProbedImageFile(std::unique_ptr<OpenedImage> opened) : m_opened(std::move(opened))
{}
ProbedImageFile::~ProbedImageFile() = default;
ProbedImageFile::ProbedImageFile(ProbedImageFile&& other) noexcept = default;
ProbedImageFile& ProbedImageFile::operator=(ProbedImageFile&& other) noexcept = default;

platform::File ProbedImageFile::ReleaseTiffFile()
{
    if (!m_opened)
        return {};
    platform::File file = imagecodec::ReleaseTiffFile(*m_opened);
    m_opened.reset();
    return file;
}

bool ProbeImageFile(const std::string& path, ImageProbeResult& result, ProbedImageFile* keep)
{
    // Filled in a copy so that a file that cannot be read leaves result as
    // it was; a file that is read but refused still reports what it is.
    auto opened = std::make_unique<OpenedImage>();
    if (!OpenImage(path, *opened))
        return false;
    ImageProbeResult probe;
    const Verdict verdict = opened->container == ImageContainer::Jpeg
                                ? ProbeJpeg(*opened->jpeg, probe)
                                : ProbeTiff(opened->tiff.get(), probe);
    if (verdict == Verdict::Unreadable)
        return false;
    ReadEmbeddedProfile(*opened, probe.profile);
    result = std::move(probe);
    if (keep != nullptr)
        *keep = ProbedImageFile(std::move(opened));
    return verdict == Verdict::Accepted;
}

// --- Embedded profile --------------------------------------------------------

bool LoadEmbeddedProfile(const std::string& path, std::vector<std::uint8_t>& bytes)
{
    if (!HasProfileCapableExtension(path) || !IsGdiplusAvailable())
        return false;
    OpenedImage opened;
    return OpenImage(path, opened) && ReadEmbeddedProfile(opened, bytes);
}

// --- Save --------------------------------------------------------------------

namespace {

// jpeg_write_icc_profile numbers its APP2 markers in one byte, each
// carrying at most 65519 bytes of the profile.
constexpr std::size_t kMaxJpegProfile = std::size_t{255} * 65519;

bool UsableDpi(float dpi)
{
    return std::isfinite(dpi) && dpi > 0.0f;
}

struct JpegDensity
{
    std::uint8_t unit = 0; // 0: aspect ratio only
    std::uint16_t x = 1;
    std::uint16_t y = 1;
};

JpegDensity DensityFromDpi(float xDpi, float yDpi)
{
    JpegDensity density;
    if (UsableDpi(xDpi) && UsableDpi(yDpi))
    {
        density.unit = 1;
        density.x = static_cast<std::uint16_t>(ClampToInteger(xDpi + 0.5, 1, 65535));
        density.y = static_cast<std::uint16_t>(ClampToInteger(yDpi + 0.5, 1, 65535));
    }
    return density;
}

// Compressed bytes go straight to the replacement file through
// a buffer of this size: no growing memory image of the whole file, no copy
// of it, and the writes overlap the rest of the encoding.
constexpr std::size_t kJpegWriteBuffer = std::size_t{1} << 20;

struct FdDestination
{
    jpeg_destination_mgr manager{};
    platform::File* file = nullptr;
    JOCTET* buffer = nullptr;
};

void FdInitDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<FdDestination*>(cinfo->dest);
    dest->manager.next_output_byte = dest->buffer;
    dest->manager.free_in_buffer = kJpegWriteBuffer;
}

boolean FdEmptyBuffer(j_compress_ptr cinfo)
{
    // Called with the whole buffer full, whatever free_in_buffer says.
    auto* dest = reinterpret_cast<FdDestination*>(cinfo->dest);
    if (!dest->file->WriteAll(dest->buffer, kJpegWriteBuffer))
        ERREXIT(cinfo, JERR_FILE_WRITE);
    dest->manager.next_output_byte = dest->buffer;
    dest->manager.free_in_buffer = kJpegWriteBuffer;
    return TRUE;
}

void FdTermDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<FdDestination*>(cinfo->dest);
    const std::size_t used = kJpegWriteBuffer - dest->manager.free_in_buffer;
    if (!dest->file->WriteAll(dest->buffer, used))
        ERREXIT(cinfo, JERR_FILE_WRITE);
}

// The rows of an image already in memory.
class ImageRows final : public JpegRowSource
{
public:
    explicit ImageRows(const CImageEx& image) : m_image(image) {}
    const std::uint8_t* Row(int y) override { return m_image.GetPixelAddress(0, y); }

private:
    const CImageEx& m_image;
};

// libjpeg errors jump back to the setjmp here; no local below it has a
// destructor (the writer and the destination are the caller's).
bool CompressJpeg(JpegWriter& writer, FdDestination& dest, int width, int height,
                  JpegRowSource& rows, std::span<const std::uint8_t> profile, JpegDensity density,
                  int quality)
{
    writer.cinfo.err = InitJpegErrors(writer.errors);
    if (setjmp(writer.errors.jump))
        return false;
    jpeg_compress_struct& cinfo = writer.cinfo;
    jpeg_create_compress(&cinfo);
    dest.manager.init_destination = FdInitDestination;
    dest.manager.empty_output_buffer = FdEmptyBuffer;
    dest.manager.term_destination = FdTermDestination;
    cinfo.dest = &dest.manager;
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR; // the image's own byte order
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.write_JFIF_header = TRUE;
    cinfo.density_unit = density.unit;
    cinfo.X_density = density.x;
    cinfo.Y_density = density.y;
    jpeg_start_compress(&cinfo, TRUE);
    if (!profile.empty())
        jpeg_write_icc_profile(&cinfo, profile.data(), static_cast<unsigned int>(profile.size()));
    while (cinfo.next_scanline < cinfo.image_height)
    {
        const std::uint8_t* pixels = rows.Row(static_cast<int>(cinfo.next_scanline));
        if (pixels == nullptr)
            return false;
        // libjpeg only reads the rows it is given.
        JSAMPROW row = const_cast<JSAMPROW>(pixels);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

bool EncodeTiff(std::span<const std::uint8_t> profile, const CImageEx& image, float xDpi,
                float yDpi, std::string& bytes)
{
    if (profile.size() > UINT32_MAX)
        return false;
    TiffMemoryWriter writer;
    TIFF* t = writer.Get();
    if (t == nullptr)
        return false;
    const auto width = static_cast<std::uint32_t>(image.GetWidth());
    const auto height = static_cast<std::uint32_t>(image.GetHeight());
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
    if (UsableDpi(xDpi) && UsableDpi(yDpi))
    {
        TIFFSetField(t, TIFFTAG_XRESOLUTION, static_cast<double>(xDpi));
        TIFFSetField(t, TIFFTAG_YRESOLUTION, static_cast<double>(yDpi));
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    }
    if (!profile.empty())
        TIFFSetField(t, TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(profile.size()),
                     profile.data());

    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    for (std::uint32_t y = 0; y < height; ++y)
    {
        const std::uint8_t* bgr = image.GetPixelAddress(0, static_cast<int>(y));
        for (std::size_t i = 0; i < row.size(); i += 3)
        {
            row[i] = bgr[i + 2];
            row[i + 1] = bgr[i + 1];
            row[i + 2] = bgr[i];
        }
        if (TIFFWriteScanline(t, row.data(), y, 0) < 0)
            return false;
    }
    return writer.Finish(bytes);
}

} // namespace

int JpegQualityFromLevel(int level)
{
    return 50 + std::clamp(level, 0, 4) * 50 / 4;
}

bool SaveJpegFile(std::span<const std::uint8_t> profile, int width, int height, JpegRowSource& rows,
                  const std::string& path, float xDpi, float yDpi, int level)
{
    if (width < 1 || height < 1 || profile.size() > kMaxJpegProfile)
        return false;
    platform::ReplacementFile file;
    if (!file.Open(path))
        return false;
    std::vector<JOCTET> buffer(kJpegWriteBuffer);
    FdDestination dest;
    dest.file = &file.Output();
    dest.buffer = buffer.data();
    bool compressed = false;
    {
        JpegWriter writer;
        compressed = CompressJpeg(writer, dest, width, height, rows, profile,
                                  DensityFromDpi(xDpi, yDpi), JpegQualityFromLevel(level));
    }
    // A failed save drops the temporary (the destructor); errno from the
    // failing write survives for the caller's message.
    return compressed && file.Commit();
}

bool SaveImageFile(std::span<const std::uint8_t> profile, ImageFileType type, const CImageEx& image,
                   const std::string& path, float xDpi, float yDpi, int level)
{
    if ((type != kImageFileTiff8 && type != kImageFileJpeg) || image.IsNull())
        return false;
    if (type == kImageFileJpeg)
    {
        ImageRows rows(image);
        return SaveJpegFile(profile, image.GetWidth(), image.GetHeight(), rows, path, xDpi, yDpi,
                            level);
    }
    std::string bytes;
    return EncodeTiff(profile, image, xDpi, yDpi, bytes) &&
           platform::ReplaceFileContents(path, bytes);
}
