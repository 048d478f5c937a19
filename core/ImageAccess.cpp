#include "core/ImageAccess.h"

#include "core/ByteLChImage.h"
#include "core/Clamp.h"
#include "core/ColorTransform.h"
#include "core/GammaTable.h"
#include "core/Pow1by3Table.h"
#include "core/RGBImage.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <optional>

namespace {

// The white of a working space: the colour of RGB (1, 1, 1) at Yn = 100. A
// matrix that gives it no positive luminance describes no real working
// space; the equal-energy white keeps the conversions finite then.
CCIEXYZ WhiteOf(const std::array<double, 9>& m)
{
    const double Xw = m[0] + m[1] + m[2];
    const double Yw = m[3] + m[4] + m[5];
    const double Zw = m[6] + m[7] + m[8];
    if (Yw > 0.0 && std::isfinite(Yw))
        return CCIEXYZ(Xw / Yw * 100.0, 100.0, Zw / Yw * 100.0);
    return CCIEXYZ(100.0, 100.0, 100.0);
}

// Writes L*, a*, b* into a colour value (which always holds three elements).
inline void StoreLab(CCIELab& lab, double L, double a, double b)
{
    double* e = &lab[0];
    e[0] = L;
    e[1] = a;
    e[2] = b;
}

// Bin of value in a histogram of last + 1 bins over [0, range]: the
// integer part of value / range * last, kept inside the bins (NaN to 0).
inline std::size_t BinOf(double value, double range, std::size_t last)
{
    return static_cast<std::size_t>(
        ClampToInteger(value / range * static_cast<double>(last), 0, static_cast<long long>(last)));
}

// A histogram being filled: its bins and the index of the last one; a
// histogram without bins counts nothing.
struct Histogram
{
    std::span<std::uint32_t> bins;
    std::size_t last;

    explicit Histogram(std::span<std::uint32_t> b) : bins(b), last(b.empty() ? 0 : b.size() - 1)
    {
        std::fill(bins.begin(), bins.end(), 0u);
    }

    void Count(double value, double range)
    {
        if (!bins.empty())
            ++bins[BinOf(value, range, last)];
    }
};

} // namespace

// --- CAccessRGBImage -----------------------------------------------------------

CAccessRGBImage::CAccessRGBImage(CRGBImage& image)
    : m_image(image), m_base(image.Lock()), m_pixelCount(image.GetPixelCount()),
      m_width(image.GetWidth()), m_height(image.GetHeight())
{
    if (!m_base)
        m_pixelCount = 0;
}

CAccessRGBImage::~CAccessRGBImage()
{
    m_image.Unlock();
}

std::size_t CAccessRGBImage::PixelIndex(int x, int y) const
{
    assert(x >= 0 && x < m_width && y >= 0 && y < m_height && "pixel outside the image");
    return static_cast<std::size_t>(x) +
           static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width);
}

void CAccessRGBImage::SetCursor(int x, int y)
{
    // The position just past the last pixel is allowed (nothing may be read
    // there); it is where a loop of ...Next calls ends.
    assert(x >= 0 && y >= 0 && "cursor outside the image");
    m_cursor = static_cast<std::size_t>(x) +
               static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width);
    assert(m_cursor <= m_pixelCount && "cursor outside the image");
}

std::size_t CAccessRGBImage::LineLength(std::size_t n) const
{
    assert(m_cursor <= m_pixelCount && n <= m_pixelCount - m_cursor &&
           "line runs past the end of the image");
    const std::size_t left = m_cursor < m_pixelCount ? m_pixelCount - m_cursor : 0;
    return std::min(n, left);
}

void CAccessRGBImage::ReadLine(RGB16* dst, std::size_t n)
{
    n = LineLength(n);
    if (n > 0)
        std::memmove(dst, CursorPixel(), n * sizeof(RGB16));
}

void CAccessRGBImage::ReadNext(RGB16& px)
{
    assert(m_cursor < m_pixelCount && "cursor past the end of the image");
    px = *CursorPixel();
    Advance();
}

void CAccessRGBImage::WriteLine(const RGB16* src, std::size_t n)
{
    n = LineLength(n);
    if (n > 0)
        std::memmove(CursorPixel(), src, n * sizeof(RGB16));
}

void CAccessRGBImage::WriteNext(const RGB16& px)
{
    assert(m_cursor < m_pixelCount && "cursor past the end of the image");
    *CursorPixel() = px;
    Advance();
}

void CAccessRGBImage::GetPixel(int x, int y, RGB16& px)
{
    px = m_base[PixelIndex(x, y)];
}

void CAccessRGBImage::SetPixel(int x, int y, const RGB16& px)
{
    m_base[PixelIndex(x, y)] = px;
}

void CAccessRGBImage::GetAverage(const CRect& rect, RGB16& px)
{
    assert((rect.IsRectEmpty() || (rect.left >= 0 && rect.top >= 0 && rect.right <= m_width &&
                                   rect.bottom <= m_height)) &&
           "rectangle outside the image");
    // Only the part inside the image is read (a caller error aside).
    const int left = std::max(rect.left, 0);
    const int top = std::max(rect.top, 0);
    const int right = std::min(rect.right, m_width);
    const int bottom = std::min(rect.bottom, m_height);
    if (right <= left || bottom <= top)
    {
        px = {0, 0, 0};
        return;
    }
    double sumR = 0.0;
    double sumG = 0.0;
    double sumB = 0.0;
    for (int y = top; y < bottom; ++y)
    {
        for (int x = left; x < right; ++x)
        {
            RGB16 p{0, 0, 0};
            GetPixel(x, y, p);
            sumR += p.r;
            sumG += p.g;
            sumB += p.b;
        }
    }
    const double count = static_cast<double>(right - left) * static_cast<double>(bottom - top);
    px = {ClampToU16(sumR / count), ClampToU16(sumG / count), ClampToU16(sumB / count)};
}

// --- CReadRGBImage -------------------------------------------------------------

CReadRGBImage::CReadRGBImage(CRGBImage& image, const CRGBGammaTable* tables,
                             const CRGBMatrix* matrix, const CColorTransform* transform,
                             const CColorTransform* secondTransform)
    : CAccessRGBImage(image), m_tables(nullptr), m_matrix(matrix),
      m_transform(transform && transform->IsValid() ? transform : nullptr),
      m_secondTransform(secondTransform && secondTransform->IsValid() ? secondTransform : nullptr)
{
    if (!m_transform && tables && tables->IsComplete())
    {
        m_tables = tables;
        m_toneR = (*tables)[0].Lock();
        m_toneG = (*tables)[1].Lock();
        m_toneB = (*tables)[2].Lock();
    }
}

CReadRGBImage::~CReadRGBImage()
{
    if (m_tables)
    {
        (*m_tables)[0].Unlock();
        (*m_tables)[1].Unlock();
        (*m_tables)[2].Unlock();
    }
}

void CReadRGBImage::ConvertPixels(const RGB16* src, RGB16* dst, std::size_t n) const
{
    if (n == 0)
        return;
    if (m_transform)
    {
        m_transform->Translate(src, dst, n);
    }
    else
    {
        if (m_matrix)
            m_matrix->ConvertLine(dst, src, n);
        else if (dst != src)
            std::memmove(dst, src, n * sizeof(RGB16));
        if (m_tables)
        {
            const std::uint16_t* tr = m_toneR;
            const std::uint16_t* tg = m_toneG;
            const std::uint16_t* tb = m_toneB;
            for (std::size_t k = 0; k < n; ++k)
            {
                RGB16& p = dst[k];
                p = {tr[p.r], tg[p.g], tb[p.b]};
            }
        }
    }
    if (m_secondTransform)
        m_secondTransform->Translate(dst, dst, n);
}

void CReadRGBImage::ReadLine(RGB16* dst, std::size_t n)
{
    ConvertPixels(CursorPixel(), dst, LineLength(n));
}

void CReadRGBImage::ReadNext(RGB16& px)
{
    assert(m_cursor < m_pixelCount && "cursor past the end of the image");
    ConvertPixels(CursorPixel(), &px, 1);
    Advance();
}

void CReadRGBImage::GetPixel(int x, int y, RGB16& px)
{
    ConvertPixels(m_base + PixelIndex(x, y), &px, 1);
}

// --- CWriteRGBImage ------------------------------------------------------------

CWriteRGBImage::CWriteRGBImage(CRGBImage& image, const CRGBGammaTable* tables,
                               const CRGBMatrix* matrix)
    : CAccessRGBImage(image), m_tables(nullptr), m_matrix(matrix),
      m_scratch(static_cast<std::size_t>(std::max(image.GetWidth(), 1)))
{
    if (tables && tables->IsComplete())
    {
        m_tables = tables;
        m_toneR = (*tables)[0].Lock();
        m_toneG = (*tables)[1].Lock();
        m_toneB = (*tables)[2].Lock();
    }
}

CWriteRGBImage::~CWriteRGBImage()
{
    if (m_tables)
    {
        (*m_tables)[0].Unlock();
        (*m_tables)[1].Unlock();
        (*m_tables)[2].Unlock();
    }
}

void CWriteRGBImage::ConvertInto(RGB16* dst, const RGB16* src, std::size_t n)
{
    assert(n <= m_scratch.size());
    ConvertPixels(src, dst, n, m_scratch.data());
}

void CWriteRGBImage::ConvertPixels(const RGB16* src, RGB16* dst, std::size_t n,
                                   RGB16* scratch) const
{
    const RGB16* toned = src;
    if (m_tables)
    {
        const std::uint16_t* tr = m_toneR;
        const std::uint16_t* tg = m_toneG;
        const std::uint16_t* tb = m_toneB;
        RGB16* line = scratch;
        for (std::size_t k = 0; k < n; ++k)
            line[k] = {tr[src[k].r], tg[src[k].g], tb[src[k].b]};
        toned = line;
    }
    if (m_matrix)
        m_matrix->ConvertLine(dst, toned, n);
    else if (dst != toned)
        std::memmove(dst, toned, n * sizeof(RGB16));
}

void CWriteRGBImage::WriteLine(const RGB16* src, std::size_t n)
{
    n = LineLength(n);
    RGB16* dst = CursorPixel();
    // The scratch line holds one image row; longer writes go in row-sized
    // pieces.
    const std::size_t piece = m_scratch.size();
    for (std::size_t done = 0; done < n; done += piece)
        ConvertInto(dst + done, src + done, std::min(piece, n - done));
}

void CWriteRGBImage::WriteNext(const RGB16& px)
{
    assert(m_cursor < m_pixelCount && "cursor past the end of the image");
    ConvertInto(CursorPixel(), &px, 1);
    Advance();
}

void CWriteRGBImage::SetPixel(int x, int y, const RGB16& px)
{
    ConvertInto(m_base + PixelIndex(x, y), &px, 1);
}

// --- CAccessRGBImageByXYZ ------------------------------------------------------

CAccessRGBImageByXYZ::CAccessRGBImageByXYZ(CRGBImage& image, const CStdMatrix& rgbToXyz)
    : CAccessRGBImage(image), m_rgbToXyz(rgbToXyz), m_xyzToRgb(rgbToXyz)
{
    if (m_rgbToXyz.GetRows() != 3 || m_rgbToXyz.GetCols() != 3 || !m_xyzToRgb.Invert())
        m_xyzToRgb = CRGBMatrix();
}

void CAccessRGBImageByXYZ::GetXYZAt(int x, int y, CCIEXYZ& xyz)
{
    RGB16 px{0, 0, 0};
    GetPixel(x, y, px);
    m_rgbToXyz.PixelToXYZ(xyz, px);
}

// --- CAccessRGBImageByLab ------------------------------------------------------

CAccessRGBImageByLab::CAccessRGBImageByLab(CRGBImage& image, const CPow1by3Table* table,
                                           const CStdMatrix& rgbToXyz)
    : CAccessRGBImageByXYZ(image, rgbToXyz), m_table(table ? *table : GetPow1by3Table()),
      m_white(WhiteOf(MatrixCoefficients(m_rgbToXyz))),
      m_lab(m_table, m_rgbToXyz, m_xyzToRgb, m_white)
{
    m_table.Lock();
}

CAccessRGBImageByLab::~CAccessRGBImageByLab()
{
    m_table.Unlock();
}

// The line functions convert with a copy of the kernel in a local, so that
// the stores into the caller's arrays cannot be taken to change it and its
// constants stay in registers over the loop.

void CAccessRGBImageByLab::ReadLabLine(std::size_t n, CCIELab* lab)
{
    n = LineLength(n);
    const CLabRowKernel kernel = m_lab;
    const RGB16* pixels = CursorPixel();
    for (std::size_t k = 0; k < n; ++k)
    {
        double L;
        double a;
        double b;
        kernel.ToLab(pixels[k], L, a, b);
        StoreLab(lab[k], L, a, b);
    }
}

void CAccessRGBImageByLab::ReadLabLine(std::size_t n, double* lab)
{
    n = LineLength(n);
    const CLabRowKernel kernel = m_lab;
    const RGB16* pixels = CursorPixel();
    for (std::size_t k = 0; k < n; ++k)
        kernel.ToLab(pixels[k], lab[3 * k], lab[3 * k + 1], lab[3 * k + 2]);
}

void CAccessRGBImageByLab::GetLabAt(int x, int y, CCIELab& lab)
{
    RGB16 px{0, 0, 0};
    GetPixel(x, y, px);
    double L;
    double a;
    double b;
    m_lab.ToLab(px, L, a, b);
    StoreLab(lab, L, a, b);
}

void CAccessRGBImageByLab::GetAverageLab(const CRect& rect, CCIELab& lab)
{
    assert((rect.IsRectEmpty() || (rect.left >= 0 && rect.top >= 0 && rect.right <= m_width &&
                                   rect.bottom <= m_height)) &&
           "rectangle outside the image");
    const int left = std::max(rect.left, 0);
    const int top = std::max(rect.top, 0);
    const int right = std::min(rect.right, m_width);
    const int bottom = std::min(rect.bottom, m_height);
    if (right <= left || bottom <= top)
    {
        StoreLab(lab, 0.0, 0.0, 0.0);
        return;
    }
    double sum[3] = {0.0, 0.0, 0.0};
    CCIELab value;
    for (int y = top; y < bottom; ++y)
    {
        for (int x = left; x < right; ++x)
        {
            GetLabAt(x, y, value);
            sum[0] += value[0];
            sum[1] += value[1];
            sum[2] += value[2];
        }
    }
    const double count = static_cast<double>(right - left) * static_cast<double>(bottom - top);
    StoreLab(lab, sum[0] / count, sum[1] / count, sum[2] / count);
}

void CAccessRGBImageByLab::ReadLightnessLine(std::size_t n, double* L)
{
    n = LineLength(n);
    const CLabRowKernel kernel = m_lab;
    const RGB16* pixels = CursorPixel();
    for (std::size_t k = 0; k < n; ++k)
        L[k] = kernel.Lightness(pixels[k]);
}

void CAccessRGBImageByLab::XYZToLab(std::size_t n, const CCIEXYZ* xyz, CCIELab* lab) const
{
    const CLabRowKernel kernel = m_lab;
    for (std::size_t k = 0; k < n; ++k)
    {
        const CCIEXYZ& v = xyz[k];
        double L;
        double a;
        double b;
        kernel.XYZToLab(v[0], v[1], v[2], L, a, b);
        StoreLab(lab[k], L, a, b);
    }
}

void CAccessRGBImageByLab::YToLightness(std::size_t n, const double* Y, double* L) const
{
    const CLabRowKernel kernel = m_lab;
    for (std::size_t k = 0; k < n; ++k)
        L[k] = kernel.LightnessOfY(Y[k]);
}

void CAccessRGBImageByLab::LabToXYZ(std::size_t n, const CCIELab* lab, CCIEXYZ* xyz) const
{
    const CLabRowKernel kernel = m_lab;
    for (std::size_t k = 0; k < n; ++k)
    {
        const CCIELab& v = lab[k];
        double* e = &xyz[k][0];
        kernel.LabToXYZ(v[0], v[1], v[2], e[0], e[1], e[2]);
    }
}

void CAccessRGBImageByLab::GetLightnessHistogram(std::span<std::uint32_t> bins, int step)
{
    Histogram histogram(bins);
    if (bins.empty() || m_pixelCount == 0)
        return;
    const CLabRowKernel kernel = m_lab;
    const std::size_t width = static_cast<std::size_t>(m_width);
    const std::size_t stride = static_cast<std::size_t>(std::max(step, 1));
    for (std::size_t y = 0; y < static_cast<std::size_t>(m_height); y += stride)
    {
        const RGB16* row = m_base + y * width;
        for (std::size_t x = 0; x < width; x += stride)
            histogram.Count(kernel.Lightness(row[x]), 100.0);
    }
}

void CAccessRGBImageByLab::MakeByteLChImage(std::span<std::uint32_t> lightnessBins,
                                            std::span<std::uint32_t> chromaBins,
                                            std::span<std::uint32_t> hueBins,
                                            CByteLChImage* lchImage, int step)
{
    Histogram lightness(lightnessBins);
    Histogram chroma(chromaBins);
    Histogram hue(hueBins);
    const std::size_t stride = static_cast<std::size_t>(std::max(step, 1));
    const int sampledWidth =
        static_cast<int>((static_cast<std::size_t>(m_width) + stride - 1) / stride);
    const int sampledHeight =
        static_cast<int>((static_cast<std::size_t>(m_height) + stride - 1) / stride);

    std::optional<CAccessByteLChImage> bytes;
    if (lchImage && lchImage->Create(sampledWidth, sampledHeight))
        bytes.emplace(*lchImage);
    if (m_pixelCount == 0)
        return;

    const bool wantHue = !hueBins.empty() || bytes.has_value();
    const CLabRowKernel kernel = m_lab;
    auto take = [&](const RGB16& px) {
        double L;
        double a;
        double b;
        kernel.ToLab(px, L, a, b);
        const double C = std::sqrt(a * a + b * b);
        double h = 0.0;
        if (wantHue)
        {
            // Degrees in [0, 360), as CCIELab::ToLCh folds them.
            h = std::atan2(b, a) * 180.0 / cielab::kHuePi;
            if (h < 0.0)
                h += 360.0;
            if (h >= 360.0)
                h -= 360.0;
        }
        lightness.Count(L, 100.0);
        chroma.Count(C, 150.0);
        if (C >= 2.0)
            hue.Count(h, 360.0);
        if (bytes)
            bytes->WriteNext({ClampToU8(L / 100.0 * 255.0), ClampToU8(C / 150.0 * 255.0),
                              ClampToU8(h / 360.0 * 255.0)});
    };

    const std::size_t width = static_cast<std::size_t>(m_width);
    for (std::size_t y = 0; y < static_cast<std::size_t>(m_height); y += stride)
    {
        const RGB16* row = m_base + y * width;
        for (std::size_t x = 0; x < width; x += stride)
            take(row[x]);
    }
}
