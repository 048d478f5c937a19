#include "core/LibraryVersions.h"

#include <gtest/gtest.h>

#include <lcms2.h>

TEST(LibraryVersionsTest, FormatsEachLibrarysOwnForm)
{
    EXPECT_EQ(FormatEncodedCmsVersion(2140), "2.14");
    EXPECT_EQ(FormatEncodedCmsVersion(2161), "2.16");
    EXPECT_EQ(FormatEncodedCmsVersion(2090), "2.9");
    EXPECT_EQ(FormatEncodedCmsVersion(0), "");

    EXPECT_EQ(ParseLibTiffBanner("LIBTIFF, Version 4.5.0\nCopyright (c) 1988-1996 Sam Leffler\n"),
              "4.5.0");
    EXPECT_EQ(ParseLibTiffBanner("LIBTIFF, Version 4.1.0"), "4.1.0");
    EXPECT_EQ(ParseLibTiffBanner("odd banner\r\nmore"), "odd banner");

    EXPECT_EQ(FormatTurboVersionNumber(2001005), "2.1.5");
    EXPECT_EQ(FormatTurboVersionNumber(3000010), "3.0.10");
}

TEST(LibraryVersionsTest, TheLoadedLibrariesAnswer)
{
    // The loaded LittleCMS is the one the headers were written for, at
    // least in its major version.
    EXPECT_EQ(GetLittleCmsVersion().substr(0, 2),
              FormatEncodedCmsVersion(LCMS_VERSION).substr(0, 2));
    EXPECT_FALSE(GetLibTiffVersion().empty());
    EXPECT_EQ(GetLibTiffVersion().find('\n'), std::string::npos);
    EXPECT_FALSE(GetLibJpegVersion().empty());
}
