#pragma once
// The versions of the image libraries the program runs with, as the
// system information shows them: LittleCMS and libtiff as the loaded
// libraries report themselves, libjpeg-turbo as its headers name it (the
// library has no query of its own; the loader binds the matching soname).

#include <string>
#include <string_view>

// "2.14" from LittleCMS's encoded version (major x 1000 + minor x 10).
std::string GetLittleCmsVersion();
// "4.5.0" from libtiff's banner.
std::string GetLibTiffVersion();
// "2.1.5" for libjpeg-turbo, else "6b"-style JPEG_LIB_VERSION of plain libjpeg.
std::string GetLibJpegVersion();

// The pieces, apart from the libraries so that tests can feed them.
// 2140 gives "2.14", 2161 "2.16"; a value that is not positive gives "".
std::string FormatEncodedCmsVersion(int encoded);
// The text after "Version " up to the end of its line ("LIBTIFF, Version
// 4.5.0\nCopyright ..." gives "4.5.0"); the first line whole when there is
// no "Version ".
std::string ParseLibTiffBanner(std::string_view banner);
// 2001005 gives "2.1.5".
std::string FormatTurboVersionNumber(long number);
