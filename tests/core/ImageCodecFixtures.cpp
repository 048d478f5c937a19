#include "tests/core/ImageCodecFixtures.h"

#include "core/ImageEx.h"

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

namespace imagefixtures {

std::vector<std::uint8_t> NoiseBytes(std::size_t count, std::uint32_t seed)
{
    std::vector<std::uint8_t> bytes(count);
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& b : bytes)
    {
        // xorshift32
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        b = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

std::vector<std::uint8_t> SmoothSamples(int width, int height, int components)
{
    std::vector<std::uint8_t> samples(static_cast<std::size_t>(width) * height * components);
    std::size_t i = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < components; ++c)
                samples[i++] = static_cast<std::uint8_t>(20 + (c % 3) * 40 + x * 100 / width +
                                                         y * 50 / height); // at most 250
    return samples;
}

// --- JPEG --------------------------------------------------------------------

namespace {

struct FixtureJpegErrors
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void FixtureErrorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<FixtureJpegErrors*>(cinfo->err)->jump, 1);
}

void FixtureSilence(j_common_ptr) {}

struct Compressor
{
    ~Compressor()
    {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
    }
    jpeg_compress_struct cinfo{};
    FixtureJpegErrors errors{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
};

bool Compress(Compressor& z, const JpegFixture& fixture, const std::uint8_t* samples)
{
    z.cinfo.err = jpeg_std_error(&z.errors.pub);
    z.errors.pub.error_exit = FixtureErrorExit;
    z.errors.pub.output_message = FixtureSilence;
    if (setjmp(z.errors.jump))
        return false;
    jpeg_create_compress(&z.cinfo);
    jpeg_mem_dest(&z.cinfo, &z.buffer, &z.size);
    z.cinfo.image_width = static_cast<JDIMENSION>(fixture.width);
    z.cinfo.image_height = static_cast<JDIMENSION>(fixture.height);
    z.cinfo.input_components = fixture.components;
    z.cinfo.in_color_space = fixture.inSpace;
    jpeg_set_defaults(&z.cinfo);
    if (fixture.storeRgb)
        jpeg_set_colorspace(&z.cinfo, JCS_RGB);
    jpeg_set_quality(&z.cinfo, fixture.quality, TRUE);
    if (fixture.progressive)
        jpeg_simple_progression(&z.cinfo);
    // JFIF implies YCbCr: an RGB file carries an Adobe marker instead.
    z.cinfo.write_JFIF_header = fixture.jfif && !fixture.storeRgb ? TRUE : FALSE;
    z.cinfo.density_unit = fixture.densityUnit;
    z.cinfo.X_density = fixture.xDensity;
    z.cinfo.Y_density = fixture.yDensity;
    jpeg_start_compress(&z.cinfo, TRUE);
    if (!fixture.exif.empty())
        jpeg_write_marker(&z.cinfo, JPEG_APP0 + 1, fixture.exif.data(),
                          static_cast<unsigned>(fixture.exif.size()));
    for (const auto& payload : fixture.rawApp2)
        jpeg_write_marker(&z.cinfo, JPEG_APP0 + 2, payload.data(),
                          static_cast<unsigned>(payload.size()));
    if (!fixture.icc.empty())
        jpeg_write_icc_profile(&z.cinfo, fixture.icc.data(),
                               static_cast<unsigned>(fixture.icc.size()));
    const std::size_t rowBytes = static_cast<std::size_t>(fixture.width) * fixture.components;
    while (z.cinfo.next_scanline < z.cinfo.image_height)
    {
        JSAMPROW row = const_cast<JSAMPROW>(samples + z.cinfo.next_scanline * rowBytes);
        jpeg_write_scanlines(&z.cinfo, &row, 1);
    }
    jpeg_finish_compress(&z.cinfo);
    return true;
}

struct Decompressor
{
    ~Decompressor() { jpeg_destroy_decompress(&cinfo); }
    jpeg_decompress_struct cinfo{};
    FixtureJpegErrors errors{};
};

bool ReadTables(Decompressor& d, const std::string& bytes, std::array<std::uint16_t, 64>& table)
{
    d.cinfo.err = jpeg_std_error(&d.errors.pub);
    d.errors.pub.error_exit = FixtureErrorExit;
    d.errors.pub.output_message = FixtureSilence;
    if (setjmp(d.errors.jump))
        return false;
    jpeg_create_decompress(&d.cinfo);
    jpeg_mem_src(&d.cinfo, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&d.cinfo, TRUE);
    if (d.cinfo.quant_tbl_ptrs[0] == nullptr)
        return false;
    std::copy(std::begin(d.cinfo.quant_tbl_ptrs[0]->quantval),
              std::end(d.cinfo.quant_tbl_ptrs[0]->quantval), table.begin());
    return true;
}

bool TablesForQuality(Compressor& z, int quality, std::array<std::uint16_t, 64>& table)
{
    z.cinfo.err = jpeg_std_error(&z.errors.pub);
    z.errors.pub.error_exit = FixtureErrorExit;
    if (setjmp(z.errors.jump))
        return false;
    jpeg_create_compress(&z.cinfo);
    z.cinfo.in_color_space = JCS_RGB;
    z.cinfo.input_components = 3;
    jpeg_set_defaults(&z.cinfo);
    jpeg_set_quality(&z.cinfo, quality, TRUE);
    std::copy(std::begin(z.cinfo.quant_tbl_ptrs[0]->quantval),
              std::end(z.cinfo.quant_tbl_ptrs[0]->quantval), table.begin());
    return true;
}

} // namespace

bool WriteJpeg(const std::string& path, const JpegFixture& fixture)
{
    const std::vector<std::uint8_t> samples =
        fixture.samples.empty() ? SmoothSamples(fixture.width, fixture.height, fixture.components)
                                : fixture.samples;
    Compressor z;
    if (!Compress(z, fixture, samples.data()))
        return false;
    WriteBytes(path, std::string(reinterpret_cast<const char*>(z.buffer), z.size));
    return true;
}

std::vector<std::uint8_t> MakeExif(std::uint16_t orientation, std::uint32_t xResolution,
                                   std::uint32_t yResolution, std::uint16_t unit)
{
    std::vector<std::uint8_t> out = {'E', 'x', 'i', 'f', 0, 0};
    const auto put16 = [&out](std::uint16_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    const auto put32 = [&out](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    out.push_back('I');
    out.push_back('I');
    put16(42);
    put32(8);
    const bool withResolution = xResolution > 0;
    const std::uint16_t entries =
        static_cast<std::uint16_t>((orientation != 0 ? 1 : 0) + (withResolution ? 3 : 0));
    put16(entries);
    // The two RATIONALs follow the IFD (entries, next-IFD offset).
    const std::uint32_t data = 8 + 2 + 12u * entries + 4;
    if (orientation != 0)
    {
        put16(274), put16(3), put32(1), put16(orientation), put16(0);
    }
    if (withResolution)
    {
        put16(282), put16(5), put32(1), put32(data);
        put16(283), put16(5), put32(1), put32(data + 8);
        put16(296), put16(3), put32(1), put16(unit), put16(0);
    }
    put32(0);
    if (withResolution)
    {
        put32(xResolution), put32(1), put32(yResolution), put32(1);
    }
    return out;
}

bool ReadLumaQuantTable(const std::string& path, std::array<std::uint16_t, 64>& table)
{
    const std::string bytes = ReadBytes(path);
    Decompressor d;
    return ReadTables(d, bytes, table);
}

std::array<std::uint16_t, 64> LumaQuantTableForQuality(int quality)
{
    std::array<std::uint16_t, 64> table{};
    Compressor z;
    TablesForQuality(z, quality, table);
    return table;
}

// --- TIFF --------------------------------------------------------------------

namespace {

struct TiffClose
{
    void operator()(TIFF* t) const { TIFFClose(t); }
};

} // namespace

bool WriteTiff(const std::string& path, const TiffFixture& fixture)
{
    std::string mode = "w";
    mode += fixture.bigEndian ? "b" : "l";
    if (fixture.bigTiff)
        mode += "8";
    std::unique_ptr<TIFF, TiffClose> tiff(TIFFOpen(path.c_str(), mode.c_str()));
    if (!tiff)
        return false;
    TIFF* t = tiff.get();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, fixture.width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, fixture.height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, fixture.bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, fixture.samples);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, fixture.photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, fixture.planar);
    TIFFSetField(t, TIFFTAG_COMPRESSION, fixture.compression);
    if (fixture.samples == 4)
    {
        const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    if (fixture.compression == COMPRESSION_JPEG && fixture.photometric == PHOTOMETRIC_YCBCR)
        TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    if (fixture.photometric == PHOTOMETRIC_PALETTE)
    {
        std::vector<std::uint16_t> map(std::size_t{1} << fixture.bits);
        for (std::size_t i = 0; i < map.size(); ++i)
            map[i] = static_cast<std::uint16_t>(i * 257);
        TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data(), map.data());
    }
    if (fixture.writeResolution)
    {
        TIFFSetField(t, TIFFTAG_XRESOLUTION, static_cast<double>(fixture.xResolution));
        TIFFSetField(t, TIFFTAG_YRESOLUTION, static_cast<double>(fixture.yResolution));
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, fixture.resolutionUnit);
    }
    if (fixture.orientation != 0)
        TIFFSetField(t, TIFFTAG_ORIENTATION, fixture.orientation);
    if (!fixture.icc.empty())
        TIFFSetField(t, TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(fixture.icc.size()),
                     fixture.icc.data());

    const std::size_t bytesPerSample = fixture.bits / 8;
    const std::size_t pixelBytes = bytesPerSample * fixture.samples;
    const std::size_t rowBytes = pixelBytes * fixture.width;
    std::vector<std::uint8_t> image(rowBytes * fixture.height);
    if (fixture.bits == 16)
    {
        std::vector<std::uint16_t> samples = fixture.samples16;
        if (samples.empty())
            for (std::size_t i = 0; i < image.size() / 2; ++i)
                samples.push_back(static_cast<std::uint16_t>(i * 2311u + 7));
        std::memcpy(image.data(), samples.data(), image.size());
    }
    else if (!fixture.samples8.empty())
        image = fixture.samples8;
    else
        for (std::size_t i = 0; i < image.size(); ++i)
            image[i] = static_cast<std::uint8_t>(i * 7 + 3);

    if (fixture.tileSide > 0)
    {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, fixture.tileSide);
        TIFFSetField(t, TIFFTAG_TILELENGTH, fixture.tileSide);
        std::vector<std::uint8_t> tile(static_cast<std::size_t>(TIFFTileSize(t)));
        for (std::uint32_t y0 = 0; y0 < fixture.height; y0 += fixture.tileSide)
            for (std::uint32_t x0 = 0; x0 < fixture.width; x0 += fixture.tileSide)
            {
                std::fill(tile.begin(), tile.end(), 0);
                for (std::uint32_t r = 0; r < fixture.tileSide && y0 + r < fixture.height; ++r)
                {
                    const std::uint32_t cols = std::min(fixture.tileSide, fixture.width - x0);
                    std::memcpy(tile.data() + r * fixture.tileSide * pixelBytes,
                                image.data() + (y0 + r) * rowBytes + x0 * pixelBytes,
                                cols * pixelBytes);
                }
                if (TIFFWriteTile(t, tile.data(), x0, y0, 0, 0) < 0)
                    return false;
            }
        return true;
    }

    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP,
                 fixture.rowsPerStrip != 0 ? fixture.rowsPerStrip : TIFFDefaultStripSize(t, 0));
    if (fixture.planar == PLANARCONFIG_SEPARATE)
    {
        std::vector<std::uint8_t> plane(bytesPerSample * fixture.width);
        for (std::uint16_t s = 0; s < fixture.samples; ++s)
            for (std::uint32_t y = 0; y < fixture.height; ++y)
            {
                for (std::uint32_t x = 0; x < fixture.width; ++x)
                    std::memcpy(plane.data() + x * bytesPerSample,
                                image.data() + y * rowBytes + x * pixelBytes + s * bytesPerSample,
                                bytesPerSample);
                if (TIFFWriteScanline(t, plane.data(), y, s) < 0)
                    return false;
            }
        return true;
    }
    for (std::uint32_t y = 0; y < fixture.height; ++y)
        if (TIFFWriteScanline(t, image.data() + y * rowBytes, y, 0) < 0)
            return false;
    return true;
}

// --- Files and images ----------------------------------------------------------

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void FillNoise(CImageEx& image, std::uint32_t seed)
{
    const auto rowBytes = static_cast<std::size_t>(image.GetWidth()) * 3;
    for (int y = 0; y < image.GetHeight(); ++y)
    {
        const auto noise = NoiseBytes(rowBytes, seed + static_cast<std::uint32_t>(y));
        std::memcpy(image.GetPixelAddress(0, y), noise.data(), rowBytes);
    }
}

} // namespace imagefixtures
