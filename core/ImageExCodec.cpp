// Reading JPEG and TIFF files into the 8-bit image.
//
// Decoded pixels land straight in the image's BGR rows. Colour is taken as
// the file stores it (no profile is applied) and the orientation tag is not
// applied either: callers that need either do it themselves.
//
// Accepted here, a little more than the probe accepts, so that thumbnails
// can be made of any file a photographer is likely to have:
// - JPEG: three-component YCbCr or RGB, and greyscale (grey becomes B = G = R);
// - TIFF: the layouts of DecodableTiffLayout (RGB of 8 or 16 bits, JPEG-
//   compressed YCbCr, 8-bit greyscale), in strips or tiles.
// A JPEG that ends before its last row is refused rather than completed
// with grey.

#include "core/ImageCodecSupport.h"
#include "core/ImageEx.h"
#include "core/ImageFileProbe.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

using namespace imagecodec;

namespace {

// The largest of 1/8, 1/4, 1/2 (else 1) that keeps the longer side of the
// decoded image at least maxSide. libjpeg scales while decoding the DCT
// blocks, so a reduced decode costs a fraction of a full one.
unsigned int JpegScaleDenominator(JDIMENSION width, JDIMENSION height, int maxSide)
{
    if (maxSide <= 0)
        return 1;
    const unsigned long longer = std::max(width, height);
    for (unsigned int denominator = 8; denominator > 1; denominator /= 2)
    {
        const unsigned long scaled = (longer + denominator - 1) / denominator;
        if (scaled >= static_cast<unsigned long>(maxSide))
            return denominator;
    }
    return 1;
}

// Tells a watching thread how far a decode has come.
void NoteDecoded(std::atomic<double>* decoded, std::uint64_t rows, std::uint64_t height)
{
    if (decoded != nullptr && height > 0)
        decoded->store(static_cast<double>(rows) / static_cast<double>(height),
                       std::memory_order_relaxed);
}

// Rows decoded between two notes.
constexpr unsigned kNoteRows = 64;

// libjpeg errors jump back to the setjmp here; no local below it has a
// destructor (the reader and the image are the caller's).
bool DecodeJpeg(JpegReader& reader, CImageEx& image, int maxSide, std::atomic<double>* decoded)
{
    if (setjmp(reader.errors.jump))
        return false;
    jpeg_decompress_struct& cinfo = reader.cinfo;
    const bool colour = cinfo.num_components == 3 &&
                        (cinfo.jpeg_color_space == JCS_YCbCr || cinfo.jpeg_color_space == JCS_RGB);
    const bool grey = cinfo.num_components == 1 && cinfo.jpeg_color_space == JCS_GRAYSCALE;
    if ((!colour && !grey) || !IsDecodableSize(cinfo.image_width, cinfo.image_height))
        return false;
    cinfo.out_color_space = JCS_EXT_BGR;
    cinfo.scale_num = 1;
    cinfo.scale_denom = JpegScaleDenominator(cinfo.image_width, cinfo.image_height, maxSide);
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3 ||
        !image.Create(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height)))
        return false;
    while (cinfo.output_scanline < cinfo.output_height)
    {
        JSAMPROW row = image.GetPixelAddress(0, static_cast<int>(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
        if (cinfo.output_scanline % kNoteRows == 0 || cinfo.output_scanline == cinfo.output_height)
            NoteDecoded(decoded, cinfo.output_scanline, cinfo.output_height);
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

bool LoadJpeg(CImageEx& image, JpegReader& reader, int maxSide, std::atomic<double>* decoded)
{
    const JpegFacts facts = DescribeJpeg(reader.cinfo);
    if (!DecodeJpeg(reader, image, maxSide, decoded) || reader.errors.truncated)
        return false;
    image.SetResolution(facts.xDpi, facts.yDpi);
    return true;
}

// --- TIFF --------------------------------------------------------------------

// count pixels of one decoded row (samples interleaved) to BGR.
void ToBgr(const std::uint8_t* in, TiffLayout layout, std::uint8_t* out, std::size_t count)
{
    switch (layout)
    {
    case TiffLayout::Rgb8:
    case TiffLayout::YCbCrJpeg: // libjpeg delivers RGB
        for (std::size_t i = 0; i < count; ++i, in += 3, out += 3)
        {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
        break;
    case TiffLayout::Rgb16:
        // libtiff hands out 16-bit samples in the machine's byte order.
        for (std::size_t i = 0; i < count; ++i, in += 6, out += 3)
        {
            std::uint16_t rgb[3];
            std::memcpy(rgb, in, sizeof rgb);
            out[0] = static_cast<std::uint8_t>(rgb[2] >> 8);
            out[1] = static_cast<std::uint8_t>(rgb[1] >> 8);
            out[2] = static_cast<std::uint8_t>(rgb[0] >> 8);
        }
        break;
    case TiffLayout::Grey8:
        for (std::size_t i = 0; i < count; ++i, ++in, out += 3)
            out[0] = out[1] = out[2] = *in;
        break;
    case TiffLayout::None:
        break;
    }
}

std::size_t BytesPerPixel(TiffLayout layout)
{
    return layout == TiffLayout::Rgb16 ? 6 : layout == TiffLayout::Grey8 ? 1 : 3;
}

// A decode buffer no larger than this is asked for; libtiff's own sizes
// (rows of a strip, a tile) are far smaller for any real file.
constexpr std::uint64_t kMaxTiffBuffer = std::uint64_t{1} << 30;

bool ReadStrips(TIFF* t, TiffLayout layout, CImageEx& image, std::atomic<double>* decoded)
{
    const auto width = static_cast<std::size_t>(image.GetWidth());
    const std::uint64_t lineSize = TIFFScanlineSize64(t);
    if (lineSize < width * BytesPerPixel(layout) || lineSize > kMaxTiffBuffer)
        return false;
    std::vector<std::uint8_t> line(static_cast<std::size_t>(lineSize));
    for (int y = 0; y < image.GetHeight(); ++y)
    {
        if (TIFFReadScanline(t, line.data(), static_cast<std::uint32_t>(y), 0) < 0)
            return false;
        ToBgr(line.data(), layout, image.GetPixelAddress(0, y), width);
        if ((y + 1) % kNoteRows == 0 || y + 1 == image.GetHeight())
            NoteDecoded(decoded, static_cast<std::uint64_t>(y) + 1,
                        static_cast<std::uint64_t>(image.GetHeight()));
    }
    return true;
}

bool ReadTiles(TIFF* t, TiffLayout layout, CImageEx& image, std::atomic<double>* decoded)
{
    std::uint32_t tileWidth = 0;
    std::uint32_t tileLength = 0;
    if (TIFFGetField(t, TIFFTAG_TILEWIDTH, &tileWidth) != 1 ||
        TIFFGetField(t, TIFFTAG_TILELENGTH, &tileLength) != 1 || tileWidth == 0 || tileLength == 0)
        return false;
    const std::uint64_t tileRow = std::uint64_t{tileWidth} * BytesPerPixel(layout);
    const std::uint64_t tileSize = TIFFTileSize64(t);
    if (tileSize < tileRow * tileLength || tileSize > kMaxTiffBuffer)
        return false;
    std::vector<std::uint8_t> tile(static_cast<std::size_t>(tileSize));
    const auto width = static_cast<std::uint32_t>(image.GetWidth());
    const auto height = static_cast<std::uint32_t>(image.GetHeight());
    for (std::uint32_t y0 = 0; y0 < height; y0 += tileLength)
    {
        for (std::uint32_t x0 = 0; x0 < width; x0 += tileWidth)
        {
            if (TIFFReadTile(t, tile.data(), x0, y0, 0, 0) < 0)
                return false;
            // Tiles on the right and bottom edges hang over the image.
            const std::uint32_t columns = std::min(tileWidth, width - x0);
            const std::uint32_t rows = std::min(tileLength, height - y0);
            for (std::uint32_t r = 0; r < rows; ++r)
                ToBgr(tile.data() + r * tileRow, layout,
                      image.GetPixelAddress(static_cast<int>(x0), static_cast<int>(y0 + r)),
                      columns);
        }
        NoteDecoded(decoded, std::min<std::uint64_t>(std::uint64_t{y0} + tileLength, height),
                    height);
    }
    return true;
}

bool LoadTiff(CImageEx& image, TIFF* t, std::atomic<double>* decoded)
{
    TiffFormat format;
    if (!ReadTiffFormat(t, format) || !IsDecodableSize(format.width, format.height))
        return false;
    const TiffLayout layout = DecodableTiffLayout(format);
    // For JPEG-compressed YCbCr libjpeg is asked to deliver RGB.
    if (layout == TiffLayout::None ||
        (layout == TiffLayout::YCbCrJpeg &&
         TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB) != 1) ||
        !image.Create(static_cast<int>(format.width), static_cast<int>(format.height)))
        return false;
    if (!(format.tiled ? ReadTiles(t, layout, image, decoded)
                       : ReadStrips(t, layout, image, decoded)))
        return false;
    float xDpi = kDefaultDpi;
    float yDpi = kDefaultDpi;
    TiffResolution(t, xDpi, yDpi);
    image.SetResolution(xDpi, yDpi);
    return true;
}

bool Decode(CImageEx& image, OpenedImage& opened, int maxSide, std::atomic<double>* decoded)
{
    switch (opened.container)
    {
    case ImageContainer::Jpeg:
        return LoadJpeg(image, *opened.jpeg, maxSide, decoded);
    case ImageContainer::Tiff:
        return LoadTiff(image, opened.tiff.get(), decoded);
    case ImageContainer::Unknown:
        break;
    }
    return false;
}

} // namespace

// On failure the image is left empty.
bool CImageEx::Load(const std::string& path, int maxSide, std::atomic<double>* decoded)
{
    Destroy();
    OpenedImage opened;
    const bool loaded = OpenImage(path, opened) && Decode(*this, opened, maxSide, decoded);
    if (!loaded)
        Destroy();
    return loaded;
}

bool CImageEx::Load(ProbedImageFile&& file, int maxSide, std::atomic<double>* decoded)
{
    Destroy();
    const ProbedImageFile taken = std::move(file);
    const bool loaded = taken.IsOpen() && Decode(*this, *taken.Opened(), maxSide, decoded);
    if (!loaded)
        Destroy();
    return loaded;
}
