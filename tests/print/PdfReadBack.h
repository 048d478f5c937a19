#pragma once
// Reading a printed PDF back with poppler-utils: pdfinfo for the pages,
// the first page's size and the title, pdfimages for the images the file
// carries, pdftoppm for the page as a reader would see it.

#include <QImage>

#include <string>
#include <vector>

// Whether pdfinfo, pdfimages and pdftoppm can be run.
bool HavePoppler();

struct PdfInfo
{
    int pages = -1;       // -1: the file could not be read
    double width = 0.0;   // the first page, in points
    double height = 0.0;
    std::string title;
};
PdfInfo ReadPdfInfo(const std::string& pdf);

// One row of "pdfimages -list" that is an image (not a mask).
struct PdfImage
{
    int page = 0;
    int width = 0;
    int height = 0;
    std::string encoding;  // "image", "jpeg", "flate" ...
    int xppi = 0;
    int yppi = 0;
};
std::vector<PdfImage> PdfImages(const std::string& pdf);

// Page `page` rendered at dpi, RGB; null when it cannot be rendered.
// prefix names the temporary PNG (a path without extension).
QImage RenderPdfPage(const std::string& pdf, int dpi, const std::string& prefix, int page = 1);
// The first image of the first page as it is stored in the file.
QImage FirstEmbeddedImage(const std::string& pdf, const std::string& prefix);
