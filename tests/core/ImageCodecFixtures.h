#pragma once
// Small JPEG and TIFF files written with libjpeg and libtiff directly, for
// the suites of the image-file probe and the 8-bit codecs. Each writer
// returns false (and the test should fail) when the library refused.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <cstdio>
#include <jpeglib.h>
#include <tiffio.h>

class CImageEx;

namespace imagefixtures {

// Deterministic pseudo-random bytes.
std::vector<std::uint8_t> NoiseBytes(std::size_t count, std::uint32_t seed);
// width x height pixels of `components` interleaved 8-bit samples, a smooth
// ramp in each component (JPEG keeps such images nearly intact).
std::vector<std::uint8_t> SmoothSamples(int width, int height, int components);

struct JpegFixture
{
    int width = 16;
    int height = 8;
    J_COLOR_SPACE inSpace = JCS_RGB; // JCS_GRAYSCALE, JCS_CMYK...
    int components = 3;
    bool storeRgb = false; // jpeg_set_colorspace(JCS_RGB): no YCbCr transform, no JFIF
    int quality = 90;
    bool progressive = false;
    bool jfif = true;
    std::uint8_t densityUnit = 1;
    std::uint16_t xDensity = 72;
    std::uint16_t yDensity = 72;
    std::vector<std::uint8_t> exif{};                 // APP1 payload, as given
    std::vector<std::vector<std::uint8_t>> rawApp2{}; // APP2 payloads, as given
    std::vector<std::uint8_t> icc{};                  // via jpeg_write_icc_profile
    std::vector<std::uint8_t> samples{};              // empty: SmoothSamples
};
bool WriteJpeg(const std::string& path, const JpegFixture& fixture);

// An APP1 payload "Exif\0\0" + a little-endian TIFF header + IFD0 with
// orientation (when non-zero), and X/Y resolution with their unit (when
// xResolution > 0).
std::vector<std::uint8_t> MakeExif(std::uint16_t orientation, std::uint32_t xResolution,
                                   std::uint32_t yResolution, std::uint16_t unit);

struct TiffFixture
{
    std::uint32_t width = 16;
    std::uint32_t height = 8;
    std::uint16_t bits = 8;
    std::uint16_t samples = 3;
    std::uint16_t photometric = PHOTOMETRIC_RGB;
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    std::uint16_t compression = COMPRESSION_NONE;
    std::uint32_t rowsPerStrip = 0; // 0: libtiff's default
    std::uint32_t tileSide = 0;     // > 0: tiled, square tiles (multiple of 16)
    bool bigEndian = false;
    bool bigTiff = false;
    bool writeResolution = false;
    float xResolution = 0.0f;
    float yResolution = 0.0f;
    std::uint16_t resolutionUnit = RESUNIT_INCH;
    std::uint16_t orientation = 0;
    std::vector<std::uint8_t> icc{};
    // Interleaved samples, rows top first; 16-bit samples as the machine's
    // uint16_t. Empty: a ramp. Planar-separate files are written from it too.
    std::vector<std::uint8_t> samples8{};
    std::vector<std::uint16_t> samples16{};
};
bool WriteTiff(const std::string& path, const TiffFixture& fixture);

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);

// The luminance quantisation table of a JPEG file (natural order), and the
// one libjpeg makes for a quality.
bool ReadLumaQuantTable(const std::string& path, std::array<std::uint16_t, 64>& table);
std::array<std::uint16_t, 64> LumaQuantTableForQuality(int quality);

// Fills an image with noise (seeded).
void FillNoise(CImageEx& image, std::uint32_t seed);

} // namespace imagefixtures
