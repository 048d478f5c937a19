#pragma once
// Scoped access to the pixels of a CRGBImage. Nothing reads or writes the
// working image's pixels but through one of these: the constructor sets the
// image's locked flag and the destructor clears it, and in between the
// accessor offers a cursor, line access and pixel access. The kinds convert
// on the way:
//   CReadRGBImage         reading through a matrix and tone tables, or a
//                         colour transform (then optionally a second one);
//   CWriteRGBImage        writing through tone tables and a matrix;
//   CAccessRGBImageByXYZ  XYZ values of pixels through an RGB -> XYZ matrix;
//   CAccessRGBImageByLab  L*a*b* and lightness of pixels, with the cube root
//                         read from the 65536-entry table.
//
// The cursor is a pixel position in the packed image, x + y * width; line
// operations work on n consecutive pixels from it (a line may run on into
// the next rows) and leave it where it is, the ...Next operations move it
// on by one pixel. Positions and lengths outside the image are caller
// errors: Debug builds assert; in Release builds line lengths are cut at the
// image's last pixel (per-pixel operations are not checked).

#include "core/CIEColor.h"
#include "core/LabRowKernel.h"
#include "core/RGB16.h"
#include "core/Rect.h"
#include "core/StdMatrix.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class CRGBImage;
class CRGBGammaTable;
class CColorTransform;
class CPow1by3Table;
class CByteLChImage;

class CAccessRGBImage
{
public:
    explicit CAccessRGBImage(CRGBImage& image);
    virtual ~CAccessRGBImage();
    CAccessRGBImage(const CAccessRGBImage&) = delete;
    CAccessRGBImage& operator=(const CAccessRGBImage&) = delete;

    CRGBImage& GetImage() const { return m_image; }
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }

    // Places the cursor at pixel (x, y).
    void SetCursor(int x, int y);
    // The cursor as a pixel index, x + y * width.
    std::size_t GetCursorOffset() const { return m_cursor; }

    // Copies n pixels from the cursor; the cursor stays.
    virtual void ReadLine(RGB16* dst, std::size_t n);
    // The pixel at the cursor; the cursor moves one pixel on.
    virtual void ReadNext(RGB16& px);
    // Copies n pixels to the cursor; the cursor stays.
    virtual void WriteLine(const RGB16* src, std::size_t n);
    // Stores px at the cursor; the cursor moves one pixel on.
    virtual void WriteNext(const RGB16& px);
    virtual void GetPixel(int x, int y, RGB16& px);
    virtual void SetPixel(int x, int y, const RGB16& px);
    // Mean of GetPixel (as this kind converts) over the rectangle, each
    // channel summed in doubles and the quotient truncated; (0, 0, 0) for an
    // empty rectangle.
    virtual void GetAverage(const CRect& rect, RGB16& px);

    // The pixel as stored, whatever this kind converts.
    const RGB16& GetStoredPixel(int x, int y) const { return m_base[PixelIndex(x, y)]; }
    // The stored pixels from (x, y) on (rows are packed), for loops over
    // whole rows in place, also on the threads of a band loop: the accessor
    // holds the image locked, and nothing of the image's state is written.
    RGB16* StoredPixels(int x, int y) const
    {
        return m_base + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) +
               static_cast<std::size_t>(x);
    }

protected:
    // Index of pixel (x, y); asserts that it lies inside the image.
    std::size_t PixelIndex(int x, int y) const;
    // n, asserted to fit between the cursor and the end of the image, and
    // cut there in Release builds.
    std::size_t LineLength(std::size_t n) const;
    RGB16* CursorPixel() const { return m_base + m_cursor; }
    void Advance() { ++m_cursor; }

    CRGBImage& m_image;
    RGB16* m_base;
    std::size_t m_cursor = 0;
    std::size_t m_pixelCount;
    int m_width;
    int m_height;
};

// Reads pixels converted for display or output. One pixel converts as:
//   with a colour transform: the transform, 16-bit RGB to 16-bit RGB;
//   without one: the matrix (when given) with each channel clamped to
//   0..65535, then R, G and B each through its own tone table;
//   then, when given, the second colour transform (a colour-conversion LUT).
// Lines convert in one call per stage, pixel for pixel the same as one pixel
// at a time. Without a transform the tone tables are needed; when they are
// missing or one of them is empty the pixels pass through the matrix alone.
// A transform that is not valid counts as none. Writing does nothing.
class CReadRGBImage : public CAccessRGBImage
{
public:
    CReadRGBImage(CRGBImage& image, const CRGBGammaTable* tables, const CRGBMatrix* matrix,
                  const CColorTransform* transform = nullptr,
                  const CColorTransform* secondTransform = nullptr);
    ~CReadRGBImage() override;

    void ReadLine(RGB16* dst, std::size_t n) override;
    void ReadNext(RGB16& px) override;
    void WriteLine(const RGB16*, std::size_t) override {}
    void WriteNext(const RGB16&) override {}
    void GetPixel(int x, int y, RGB16& px) override;
    void SetPixel(int, int, const RGB16&) override {}

    // Converts n pixels as reading does (src may equal dst). For callers
    // that gather scattered pixels and convert them in one call.
    void ConvertPixels(const RGB16* src, RGB16* dst, std::size_t n) const;

private:
    const CRGBGammaTable* m_tables; // locked by this accessor, or null
    const CRGBMatrix* m_matrix;
    const CColorTransform* m_transform;
    const CColorTransform* m_secondTransform;
    const std::uint16_t* m_toneR = nullptr;
    const std::uint16_t* m_toneG = nullptr;
    const std::uint16_t* m_toneB = nullptr;
};

// Writes pixels converted into the image: R, G and B each through its own
// tone table (when given and all three hold entries), then the matrix with
// each channel clamped to 0..65535 (no matrix: the identity). Reading does
// nothing.
class CWriteRGBImage : public CAccessRGBImage
{
public:
    CWriteRGBImage(CRGBImage& image, const CRGBGammaTable* tables, const CRGBMatrix* matrix);
    ~CWriteRGBImage() override;

    void ReadLine(RGB16*, std::size_t) override {}
    void ReadNext(RGB16&) override {}
    void WriteLine(const RGB16* src, std::size_t n) override;
    void WriteNext(const RGB16& px) override;
    void GetPixel(int, int, RGB16&) override {}
    void SetPixel(int x, int y, const RGB16& px) override;
    void GetAverage(const CRect&, RGB16&) override {}

    // Converts n pixels as writing does into dst (src may equal dst), the
    // tables' results going through scratch (n pixels). Const and with the
    // caller's scratch, so that the threads of a band loop may convert their
    // rows through one writer.
    void ConvertPixels(const RGB16* src, RGB16* dst, std::size_t n, RGB16* scratch) const;
    // The stored pixels of row y, for a band loop that fills its rows and
    // converts them in place.
    RGB16* StoredRow(int y) const { return m_base + PixelIndex(0, y); }

private:
    // n pixels from src through the tables (into the scratch line) and the
    // matrix into dst; n at most the scratch line's length.
    void ConvertInto(RGB16* dst, const RGB16* src, std::size_t n);

    const CRGBGammaTable* m_tables; // locked by this accessor, or null
    const CRGBMatrix* m_matrix;
    const std::uint16_t* m_toneR = nullptr;
    const std::uint16_t* m_toneG = nullptr;
    const std::uint16_t* m_toneB = nullptr;
    std::vector<RGB16> m_scratch; // one image row; longer writes go in pieces
};

// Plain pixel access plus XYZ values through an RGB -> XYZ matrix (rows X,
// Y, Z applied to the 16-bit values) and its inverse for the way back.
class CAccessRGBImageByXYZ : public CAccessRGBImage
{
public:
    CAccessRGBImageByXYZ(CRGBImage& image, const CStdMatrix& rgbToXyz);

    const CRGBMatrix& GetRGBToXYZ() const { return m_rgbToXyz; }
    // The inverse of the RGB -> XYZ matrix; the identity when that cannot be
    // inverted (not 3x3, or a row of zeros).
    const CRGBMatrix& GetXYZToRGB() const { return m_xyzToRgb; }

    void GetXYZAt(int x, int y, CCIEXYZ& xyz);

protected:
    CRGBMatrix m_rgbToXyz;
    CRGBMatrix m_xyzToRgb;
};

// L*a*b* of the pixels. The white is the RGB -> XYZ matrix applied to
// (1, 1, 1), scaled to Yn = 100, so a pixel whose XYZ has Y = 100 has
// L* = 100. With t = X/Xn, Y/Yn, Z/Zn:
//     f(t) = t^(1/3)              for t > 0.008856
//          = 7.787 t + 16/116     otherwise
//     L* = 116 f(Y/Yn) - 16  (903.29 Y/Yn for Y/Yn <= 0.008856)
//     a* = 500 (f(X/Xn) - f(Y/Yn)),   b* = 200 (f(Y/Yn) - f(Z/Zn)).
// The cube root comes from the CPow1by3Table (the entry at int(t * 65535),
// pow above 1), which keeps L* within 0.014 of the exact value. The line
// forms run the matrix and the formula fused pixel by pixel, so a line and
// its pixels one at a time give identical values.
class CAccessRGBImageByLab : public CAccessRGBImageByXYZ
{
public:
    // table: the cube-root table to read (null: the process-wide one). Its
    // reader count rises for the accessor's life.
    CAccessRGBImageByLab(CRGBImage& image, const CPow1by3Table* table, const CStdMatrix& rgbToXyz);
    ~CAccessRGBImageByLab() override;

    // (Xn, Yn, Zn) with Yn = 100.
    const CCIEXYZ& GetWhite() const { return m_white; }

    // n pixels from the cursor (the cursor stays). The packed form writes
    // L*, a*, b* of pixel k to lab[3k], lab[3k + 1], lab[3k + 2].
    void ReadLabLine(std::size_t n, CCIELab* lab);
    void ReadLabLine(std::size_t n, double* lab);
    void GetLabAt(int x, int y, CCIELab& lab);
    // Component-wise mean of GetLabAt over the rectangle; (0, 0, 0) when it
    // is empty.
    void GetAverageLab(const CRect& rect, CCIELab& lab);
    // L* of n pixels from the cursor (Y from row 1 of the matrix).
    void ReadLightnessLine(std::size_t n, double* L);

    // The conversions above on values (all with this accessor's white).
    void XYZToLab(std::size_t n, const CCIEXYZ* xyz, CCIELab* lab) const;
    void YToLightness(std::size_t n, const double* Y, double* L) const;
    // The inverse: f = (L* + 16)/116 (+ a*/500, - b*/200), each component
    // f^3 above f = 0.206893 and (f - 16/116) / 7.787 below, times the white.
    void LabToXYZ(std::size_t n, const CCIELab* lab, CCIEXYZ* xyz) const;

    // Histogram of L* over bins (all reset first): pixel goes to bin
    // int(L*/100 * (bins - 1)). step > 1 samples every step-th pixel of
    // every step-th row from (0, 0). L* above 100 counts in the last bin,
    // below 0 (or not a number) in bin 0.
    void GetLightnessHistogram(std::span<std::uint32_t> bins, int step);

    // Histograms of L* (0..100), C* (0..150) and h (0..360 degrees) over the
    // sampled pixels (every step-th pixel of every step-th row), each bin
    // index being int(value / range * (bins - 1)), kept inside the bins; a
    // pixel counts for hue only when C* >= 2 (the hue of a near-grey is
    // noise). When lchImage is given it is made (width + step - 1) / step x
    // (height + step - 1) / step and receives each sampled pixel as bytes
    // int(L*/100 * 255), int(min(C*/150 * 255, 255)), int(h/360 * 255); when
    // it cannot be made only the histograms are filled.
    void MakeByteLChImage(std::span<std::uint32_t> lightnessBins,
                          std::span<std::uint32_t> chromaBins, std::span<std::uint32_t> hueBins,
                          CByteLChImage* lchImage, int step);

private:
    const CPow1by3Table& m_table;
    CCIEXYZ m_white;
    CLabRowKernel m_lab; // the matrices, the white and m_table's cube root
};
