#include "core/LibraryVersions.h"

#include <cstdio>

#include <jpeglib.h>
#include <lcms2.h>
#include <tiffio.h>

std::string FormatEncodedCmsVersion(int encoded)
{
    if (encoded <= 0)
        return {};
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d", encoded / 1000, encoded % 1000 / 10);
    return text;
}

std::string ParseLibTiffBanner(std::string_view banner)
{
    constexpr std::string_view kVersion = "Version ";
    const std::size_t at = banner.find(kVersion);
    std::string_view text =
        at == std::string_view::npos ? banner : banner.substr(at + kVersion.size());
    const std::size_t eol = text.find_first_of("\r\n");
    if (eol != std::string_view::npos)
        text = text.substr(0, eol);
    return std::string(text);
}

std::string FormatTurboVersionNumber(long number)
{
    char text[48];
    std::snprintf(text, sizeof text, "%ld.%ld.%ld", number / 1000000, number / 1000 % 1000,
                  number % 1000);
    return text;
}

std::string GetLittleCmsVersion()
{
    return FormatEncodedCmsVersion(cmsGetEncodedCMMversion());
}

std::string GetLibTiffVersion()
{
    const char* banner = TIFFGetVersion();
    return banner != nullptr ? ParseLibTiffBanner(banner) : std::string();
}

std::string GetLibJpegVersion()
{
#ifdef LIBJPEG_TURBO_VERSION_NUMBER
    return FormatTurboVersionNumber(LIBJPEG_TURBO_VERSION_NUMBER);
#else
    // JPEG_LIB_VERSION is major x 10 + minor as a digit: 62 is "6b".
    char text[16];
    std::snprintf(text, sizeof text, "%d%c", JPEG_LIB_VERSION / 10,
                  static_cast<char>('a' + JPEG_LIB_VERSION % 10 - 1));
    return JPEG_LIB_VERSION % 10 == 0 ? std::to_string(JPEG_LIB_VERSION / 10) : std::string(text);
#endif
}
