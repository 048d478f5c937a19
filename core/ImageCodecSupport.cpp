#include "core/ImageCodecSupport.h"

#include "platform/Bytes.h"

#include <jerror.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>

namespace imagecodec {

bool IsDecodableSize(std::uint64_t width, std::uint64_t height)
{
    if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide)
        return false;
    const std::uint64_t pitch = (width * 3 + 3) / 4 * 4;
    return pitch * height <= kMaxBitmapBytes;
}

ImageContainer ContainerOf(const unsigned char* head, std::size_t size)
{
    if (size < 3)
        return ImageContainer::Unknown;
    if (head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF)
        return ImageContainer::Jpeg;
    if (size < 4)
        return ImageContainer::Unknown;
    // Classic TIFF has the magic number 42, BigTIFF 43, in the file's order.
    if (head[0] == 'I' && head[1] == 'I' && (head[2] == 42 || head[2] == 43) && head[3] == 0)
        return ImageContainer::Tiff;
    if (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && (head[3] == 42 || head[3] == 43))
        return ImageContainer::Tiff;
    return ImageContainer::Unknown;
}

// --- EXIF --------------------------------------------------------------------

namespace {

// Reads integers of one byte order from a bounded block; every read checks
// its own bounds, so a lying offset yields "absent", never a wild read.
class TiffBytes
{
public:
    TiffBytes(std::span<const std::uint8_t> bytes, bool bigEndian)
        : m_bytes(bytes), m_bigEndian(bigEndian)
    {}

    bool Has(std::uint64_t offset, std::uint64_t size) const
    {
        return offset <= m_bytes.size() && size <= m_bytes.size() - offset;
    }
    std::uint16_t U16(std::uint64_t offset) const
    {
        return platform::GetU16(m_bytes, static_cast<std::size_t>(offset), Order());
    }
    std::uint32_t U32(std::uint64_t offset) const
    {
        return platform::GetU32(m_bytes, static_cast<std::size_t>(offset), Order());
    }

private:
    std::endian Order() const { return m_bigEndian ? std::endian::big : std::endian::little; }

    std::span<const std::uint8_t> m_bytes;
    bool m_bigEndian;
};

constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeRational = 5;

// A RATIONAL value stored at the offset held in an entry's value field;
// 0 when out of bounds or with a zero denominator.
double ReadRational(const TiffBytes& tiff, std::uint64_t valueField)
{
    const std::uint32_t offset = tiff.U32(valueField);
    if (!tiff.Has(offset, 8))
        return 0.0;
    const std::uint32_t numerator = tiff.U32(offset);
    const std::uint32_t denominator = tiff.U32(offset + 4);
    return denominator == 0 ? 0.0 : static_cast<double>(numerator) / denominator;
}

} // namespace

ExifFields ParseExif(std::span<const std::uint8_t> app1)
{
    ExifFields fields;
    static constexpr std::uint8_t kSignature[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (app1.size() < sizeof kSignature + 8 ||
        std::memcmp(app1.data(), kSignature, sizeof kSignature) != 0)
        return fields;
    // Offsets inside the block count from the TIFF header after the signature.
    const std::span<const std::uint8_t> block = app1.subspan(sizeof kSignature);
    bool bigEndian;
    if (block[0] == 'I' && block[1] == 'I')
        bigEndian = false;
    else if (block[0] == 'M' && block[1] == 'M')
        bigEndian = true;
    else
        return fields;
    const TiffBytes tiff(block, bigEndian);
    if (tiff.U16(2) != 42)
        return fields;
    const std::uint64_t ifd = tiff.U32(4);
    if (!tiff.Has(ifd, 2))
        return fields;
    // Entries beyond the end of the block are ignored, not trusted.
    const std::uint64_t declared = tiff.U16(ifd);
    const std::uint64_t fit = (block.size() - ifd - 2) / 12;
    const std::uint64_t count = declared < fit ? declared : fit;

    double x = 0.0;
    double y = 0.0;
    for (std::uint64_t i = 0; i < count; ++i)
    {
        const std::uint64_t entry = ifd + 2 + i * 12;
        const std::uint16_t tag = tiff.U16(entry);
        const std::uint16_t type = tiff.U16(entry + 2);
        const std::uint32_t n = tiff.U32(entry + 4);
        const std::uint64_t value = entry + 8;
        if (n == 0)
            continue;
        if (tag == 274 && type == kTypeShort)
        {
            const int v = tiff.U16(value);
            if (v >= 1 && v <= 8)
                fields.orientation = v;
        }
        else if (tag == 282 && type == kTypeRational)
            x = ReadRational(tiff, value);
        else if (tag == 283 && type == kTypeRational)
            y = ReadRational(tiff, value);
        else if (tag == 296 && type == kTypeShort)
        {
            const int v = tiff.U16(value);
            if (v >= 1 && v <= 3)
                fields.resolutionUnit = v;
        }
    }
    if (x > 0.0 && y > 0.0 && std::isfinite(x) && std::isfinite(y))
    {
        fields.hasResolution = true;
        fields.xResolution = x;
        fields.yResolution = y;
    }
    return fields;
}

// --- JPEG --------------------------------------------------------------------

namespace {

// A progressive file may declare any number of scans, each of which costs a
// pass over the whole coefficient buffer; real encoders use about ten.
constexpr int kMaxJpegScans = 500;

JpegErrorManager& ErrorsOf(j_common_ptr cinfo)
{
    // pub is the first member of the standard-layout JpegErrorManager.
    return *reinterpret_cast<JpegErrorManager*>(cinfo->err);
}

[[noreturn]] void JumpOnError(j_common_ptr cinfo)
{
    std::longjmp(ErrorsOf(cinfo).jump, 1);
}

void NoteMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return; // trace messages
    ++cinfo->err->num_warnings;
    if (cinfo->err->msg_code == JWRN_JPEG_EOF)
        ErrorsOf(cinfo).truncated = true;
}

void SayNothing(j_common_ptr) {}

void LimitScans(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor)
        return;
    const auto* decompress = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (decompress->input_scan_number > kMaxJpegScans)
        JumpOnError(cinfo);
}

} // namespace

jpeg_error_mgr* InitJpegErrors(JpegErrorManager& errors)
{
    jpeg_std_error(&errors.pub);
    errors.pub.error_exit = JumpOnError;
    errors.pub.emit_message = NoteMessage;
    errors.pub.output_message = SayNothing;
    errors.truncated = false;
    return &errors.pub;
}

JpegReader::~JpegReader()
{
    // Safe on a struct that jpeg_create_decompress never (or only partly)
    // set up: it does nothing without a memory manager.
    jpeg_destroy_decompress(&cinfo);
    std::free(icc);
    if (file != nullptr)
        std::fclose(file);
}

bool ReadJpegIcc(JpegReader& reader)
{
    if (setjmp(reader.errors.jump))
        return false;
    return jpeg_read_icc_profile(&reader.cinfo, &reader.icc, &reader.iccSize) &&
           reader.icc != nullptr && reader.iccSize > 0;
}

JpegFacts DescribeJpeg(const jpeg_decompress_struct& cinfo, float missing)
{
    JpegFacts facts;
    facts.xDpi = missing;
    facts.yDpi = missing;
    ExifFields exif;
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next)
    {
        if (m->marker != JPEG_APP0 + 1)
            continue;
        exif = ParseExif(std::span<const std::uint8_t>(m->data, m->data_length));
        if (exif.orientation != 0 || exif.hasResolution)
            break;
    }
    facts.orientation = exif.orientation;

    // JFIF density: unit 1 is dots per inch, 2 dots per centimetre, 0 only
    // an aspect ratio (no resolution at all).
    if (cinfo.saw_JFIF_marker && (cinfo.density_unit == 1 || cinfo.density_unit == 2) &&
        cinfo.X_density > 0 && cinfo.Y_density > 0)
    {
        const float perInch = cinfo.density_unit == 2 ? 2.54f : 1.0f;
        facts.xDpi = static_cast<float>(cinfo.X_density) * perInch;
        facts.yDpi = static_cast<float>(cinfo.Y_density) * perInch;
    }
    else if (exif.hasResolution && (exif.resolutionUnit == 2 || exif.resolutionUnit == 3))
    {
        const double perInch = exif.resolutionUnit == 3 ? 2.54 : 1.0;
        const double x = exif.xResolution * perInch;
        const double y = exif.yResolution * perInch;
        // A float holds any sane resolution; absurd ones fall back.
        if (x < 1e9 && y < 1e9)
        {
            facts.xDpi = static_cast<float>(x);
            facts.yDpi = static_cast<float>(y);
        }
    }
    return facts;
}

JpegWriter::~JpegWriter()
{
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
}

// --- TIFF --------------------------------------------------------------------

namespace {

// An error marks the bool that user points to (when given); warnings are
// dropped. Returning non-zero keeps libtiff from calling the global handlers.
int QuietError(TIFF*, void* user, const char*, const char*, va_list)
{
    if (user != nullptr)
        *static_cast<bool*>(user) = true;
    return 1;
}

int QuietWarning(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

// Caps one allocation of libtiff's (a strip buffer, a tag array) so that a
// lying byte count cannot ask for more than a large real strip needs.
constexpr tmsize_t kMaxTiffAllocation = tmsize_t{1} << 30;

struct OptionsDeleter
{
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

std::unique_ptr<TIFFOpenOptions, OptionsDeleter> QuietOptions(bool* failed)
{
    std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (options)
    {
        TIFFOpenOptionsSetErrorHandlerExtR(options.get(), QuietError, failed);
        TIFFOpenOptionsSetWarningHandlerExtR(options.get(), QuietWarning, nullptr);
        TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxTiffAllocation);
    }
    return options;
}

using Stream = TiffMemoryWriter::Stream;

Stream& StreamOf(thandle_t handle)
{
    return *static_cast<Stream*>(handle);
}

tmsize_t MemoryRead(thandle_t handle, void* buffer, tmsize_t size)
{
    Stream& s = StreamOf(handle);
    if (size < 0 || s.pos >= s.data.size())
        return 0;
    const std::uint64_t available = s.data.size() - s.pos;
    const std::uint64_t n =
        static_cast<std::uint64_t>(size) < available ? static_cast<std::uint64_t>(size) : available;
    std::memcpy(buffer, s.data.data() + s.pos, n);
    s.pos += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t MemoryWrite(thandle_t handle, void* buffer, tmsize_t size)
{
    Stream& s = StreamOf(handle);
    if (size < 0)
        return -1;
    const std::uint64_t end = s.pos + static_cast<std::uint64_t>(size);
    try
    {
        if (end > s.data.size())
            s.data.resize(end);
    }
    catch (const std::exception&)
    {
        s.failed = true;
        return -1;
    }
    std::memcpy(s.data.data() + s.pos, buffer, static_cast<std::size_t>(size));
    s.pos = end;
    return size;
}

// libtiff's seek on a position of our own over size bytes: from the start,
// the position or the end. toff_t is unsigned; a backward seek arrives as a
// wrapped value and wraps back.
toff_t SeekPosition(std::uint64_t& position, std::uint64_t size, toff_t offset, int whence)
{
    std::uint64_t base = 0;
    if (whence == SEEK_CUR)
        base = position;
    else if (whence == SEEK_END)
        base = size;
    position = base + offset;
    return position;
}

toff_t MemorySeek(thandle_t handle, toff_t offset, int whence)
{
    Stream& s = StreamOf(handle);
    return SeekPosition(s.pos, s.data.size(), offset, whence);
}

int MemoryClose(thandle_t)
{
    return 0;
}

toff_t MemorySize(thandle_t handle)
{
    return StreamOf(handle).data.size();
}

// Neither stream is ever mapped.
int NoMap(thandle_t, void**, toff_t*)
{
    return 0;
}

void NoUnmap(thandle_t, void*, toff_t) {}

// Reading a file the caller owns (OpenedImage) at libtiff's own position.
TiffInput& InputOf(thandle_t handle)
{
    return *static_cast<TiffInput*>(handle);
}

// A read that cannot be served answers 0 bytes, never -1: libtiff's
// growing strip reads add the count to their offset before zero-filling
// the rest of the buffer, so -1 would write one byte before it. A short
// count is an error to libtiff all the same (a file cut short after it
// was opened).
tmsize_t InputRead(thandle_t handle, void* buffer, tmsize_t size)
{
    TiffInput& in = InputOf(handle);
    if (size <= 0 || in.position >= in.size)
        return 0;
    const std::uint64_t wanted = std::min<std::uint64_t>(static_cast<std::uint64_t>(size),
                                                         in.size - in.position);
    if (!in.file.ReadAt(in.position, buffer, static_cast<std::size_t>(wanted)))
        return 0;
    in.position += wanted;
    return static_cast<tmsize_t>(wanted);
}

tmsize_t InputWrite(thandle_t, void*, tmsize_t)
{
    return -1;
}

toff_t InputSeek(thandle_t handle, toff_t offset, int whence)
{
    TiffInput& in = InputOf(handle);
    return SeekPosition(in.position, in.size, offset, whence);
}

int InputKeepOpen(thandle_t)
{
    return 0;
}

toff_t InputSize(thandle_t handle)
{
    return InputOf(handle).size;
}

} // namespace

void TiffCloser::operator()(TIFF* tiff) const
{
    TIFFClose(tiff);
}

void TiffResolution(TIFF* tiff, float& xDpi, float& yDpi, float missing)
{
    float x = 0.0f;
    float y = 0.0f;
    std::uint16_t unit = RESUNIT_INCH;
    const bool hasX = TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &x) == 1;
    const bool hasY = TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &y) == 1;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
    const float perInch = unit == RESUNIT_CENTIMETER ? 2.54f : unit == RESUNIT_INCH ? 1.0f : 0.0f;
    const auto usable = [](bool has, float v) { return has && v > 0.0f && std::isfinite(v); };
    xDpi = usable(hasX, x) && perInch > 0.0f ? x * perInch : missing;
    yDpi = usable(hasY, y) && perInch > 0.0f ? y * perInch : missing;
    if (!std::isfinite(xDpi))
        xDpi = missing;
    if (!std::isfinite(yDpi))
        yDpi = missing;
}

bool ReadTiffFormat(TIFF* tiff, TiffFormat& format)
{
    if (TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &format.width) != 1 ||
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &format.height) != 1)
        return false;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &format.bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &format.samples);
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &format.photometric);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &format.planar);
    // The TIFF default for an absent compression tag is 1, none.
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &format.compression);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format.sampleFormat);
    format.tiled = TIFFIsTiled(tiff) != 0;
    format.bigTiff = TIFFIsBigTIFF(tiff) != 0;
    return true;
}

namespace {

bool PlainSamples(const TiffFormat& f)
{
    return f.planar == PLANARCONFIG_CONTIG && f.sampleFormat == SAMPLEFORMAT_UINT;
}

} // namespace

TiffLayout DecodableTiffLayout(const TiffFormat& f)
{
    if (!PlainSamples(f) || !TIFFIsCODECConfigured(f.compression))
        return TiffLayout::None;
    if (f.photometric == PHOTOMETRIC_RGB && f.samples == 3 && f.bits == 8)
        return TiffLayout::Rgb8;
    if (IsRgb16Tiff(f))
        return TiffLayout::Rgb16;
    if (f.photometric == PHOTOMETRIC_YCBCR && f.compression == COMPRESSION_JPEG && f.samples == 3 &&
        f.bits == 8)
        return TiffLayout::YCbCrJpeg;
    if (f.photometric == PHOTOMETRIC_MINISBLACK && f.samples == 1 && f.bits == 8)
        return TiffLayout::Grey8;
    return TiffLayout::None;
}

bool IsRgb16Tiff(const TiffFormat& f)
{
    return f.photometric == PHOTOMETRIC_RGB && f.samples == 3 && f.bits == 16;
}

bool IsOwnReaderTiff(const TiffFormat& f)
{
    return IsRgb16Tiff(f) && PlainSamples(f) && f.compression == COMPRESSION_NONE && !f.tiled &&
           !f.bigTiff;
}

bool IsColourCodecTiff(const TiffFormat& f)
{
    const TiffLayout layout = DecodableTiffLayout(f);
    return layout == TiffLayout::Rgb8 || layout == TiffLayout::YCbCrJpeg;
}

TiffMemoryWriter::TiffMemoryWriter()
{
    const auto options = QuietOptions(&m_stream.failed);
    if (!options)
        return;
    // "l": little-endian ("II"), whatever the machine.
    m_tiff = TIFFClientOpenExt("memory", "wl", &m_stream, MemoryRead, MemoryWrite, MemorySeek,
                               MemoryClose, MemorySize, NoMap, NoUnmap, options.get());
}

TiffMemoryWriter::~TiffMemoryWriter()
{
    if (m_tiff != nullptr)
        TIFFClose(m_tiff);
}

bool TiffMemoryWriter::Finish(std::string& bytes)
{
    if (m_tiff == nullptr)
        return false;
    TIFFClose(m_tiff);
    m_tiff = nullptr;
    if (m_stream.failed)
        return false;
    bytes = std::move(m_stream.data);
    return true;
}

// --- One open file ----------------------------------------------------------

namespace {

// libjpeg reads through a stdio stream that now owns the file; the header
// is read with the markers the probe and the profile need.
bool OpenJpeg(JpegReader& reader, platform::File file)
{
    reader.file = file.ToStream("rb");
    if (reader.file == nullptr)
        return false;
    reader.cinfo.err = InitJpegErrors(reader.errors);
    if (setjmp(reader.errors.jump))
        return false;
    jpeg_create_decompress(&reader.cinfo);
    reader.progress.progress_monitor = LimitScans;
    reader.cinfo.progress = &reader.progress;
    jpeg_stdio_src(&reader.cinfo, reader.file);
    jpeg_save_markers(&reader.cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&reader.cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&reader.cinfo, TRUE);
    return true;
}

TiffPtr OpenTiff(TiffInput& input, const std::string& path)
{
    const auto options = QuietOptions(nullptr);
    if (!options)
        return nullptr;
    // "m": never through a mapping (NoMap refuses anyway).
    return TiffPtr(TIFFClientOpenExt(path.c_str(), "rm", &input, InputRead, InputWrite,
                                     InputSeek, InputKeepOpen, InputSize, NoMap, NoUnmap,
                                     options.get()));
}

} // namespace

OpenedImage::~OpenedImage()
{
    tiff.reset(); // before the file it reads
}

bool OpenImage(const std::string& path, OpenedImage& opened)
{
    platform::File file;
    if (!file.OpenRead(path))
        return false;
    std::uint64_t size = 0;
    if (!file.Size(&size))
        return false;
    unsigned char head[4] = {};
    const std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeof head));
    if (!file.ReadAt(0, head, got))
        return false;
    opened.container = ContainerOf(head, got);
    switch (opened.container)
    {
    case ImageContainer::Jpeg:
        opened.jpeg = std::make_unique<JpegReader>();
        return OpenJpeg(*opened.jpeg, std::move(file));
    case ImageContainer::Tiff:
        opened.input.file = std::move(file);
        opened.input.size = size;
        opened.input.position = 0;
        opened.tiff = OpenTiff(opened.input, path);
        return opened.tiff != nullptr;
    case ImageContainer::Unknown:
        break;
    }
    return false;
}

platform::File ReleaseTiffFile(OpenedImage& opened)
{
    if (opened.container != ImageContainer::Tiff)
        return {};
    opened.tiff.reset();
    return std::move(opened.input.file);
}

} // namespace imagecodec
