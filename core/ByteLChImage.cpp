#include "core/ByteLChImage.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <new>
#include <utility>

// --- CByteLChImage -------------------------------------------------------------

CByteLChImage::CByteLChImage(const CByteLChImage& other)
{
    *this = other;
}

CByteLChImage& CByteLChImage::operator=(const CByteLChImage& other)
{
    if (this == &other)
        return *this;
    std::unique_ptr<std::uint8_t[]> bytes;
    if (other.m_bytes)
    {
        bytes.reset(new std::uint8_t[other.m_size]);
        std::memcpy(bytes.get(), other.m_bytes.get(), other.m_size);
    }
    m_bytes = std::move(bytes);
    m_size = other.m_size;
    m_width = other.m_width;
    m_height = other.m_height;
    m_locked = false;
    return *this;
}

CByteLChImage::CByteLChImage(CByteLChImage&& other) noexcept
{
    *this = std::move(other);
}

CByteLChImage& CByteLChImage::operator=(CByteLChImage&& other) noexcept
{
    if (this == &other)
        return *this;
    m_bytes = std::move(other.m_bytes);
    m_size = std::exchange(other.m_size, 0);
    m_width = std::exchange(other.m_width, 0);
    m_height = std::exchange(other.m_height, 0);
    m_locked = false;
    other.m_locked = false;
    return *this;
}

bool CByteLChImage::Create(int width, int height)
{
    // 64-bit arithmetic: two ints multiplied by 3 stay below 2^64.
    const std::size_t size = (width > 0 && height > 0) ? static_cast<std::size_t>(width) *
                                                             static_cast<std::size_t>(height) * 3u
                                                       : 0u;
    if (m_bytes && size == m_size)
    {
        m_width = width;
        m_height = height;
        return true;
    }
    m_bytes.reset();
    m_size = 0;
    m_width = 0;
    m_height = 0;
    if (size == 0)
        return false;
    m_bytes.reset(new (std::nothrow) std::uint8_t[size]());
    if (!m_bytes)
        return false;
    m_size = size;
    m_width = width;
    m_height = height;
    return true;
}

// --- CAccessByteLChImage -------------------------------------------------------

CAccessByteLChImage::CAccessByteLChImage(CByteLChImage& image)
    : m_image(image), m_bytes(image.Lock()), m_pixelCount(image.GetPixelCount()),
      m_width(image.GetWidth()), m_height(image.GetHeight())
{}

CAccessByteLChImage::~CAccessByteLChImage()
{
    m_image.Unlock();
}

std::size_t CAccessByteLChImage::PixelIndex(int x, int y) const
{
    assert(x >= 0 && x < m_width && y >= 0 && y < m_height && "pixel outside the LCh image");
    return static_cast<std::size_t>(x) +
           static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width);
}

void CAccessByteLChImage::SetCursor(int x, int y)
{
    assert(x >= 0 && y >= 0 && "cursor outside the LCh image");
    m_cursor = static_cast<std::size_t>(x) +
               static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width);
    assert(m_cursor <= m_pixelCount && "cursor outside the LCh image");
}

ByteLCh CAccessByteLChImage::ReadNext()
{
    assert(m_cursor < m_pixelCount && "cursor past the end of the LCh image");
    const std::uint8_t* p = m_bytes + m_cursor * 3;
    ++m_cursor;
    return {p[0], p[1], p[2]};
}

void CAccessByteLChImage::WriteNext(const ByteLCh& px)
{
    assert(m_cursor < m_pixelCount && "cursor past the end of the LCh image");
    std::uint8_t* p = m_bytes + m_cursor * 3;
    p[0] = px.L;
    p[1] = px.C;
    p[2] = px.h;
    ++m_cursor;
}

ByteLCh CAccessByteLChImage::GetPixel(int x, int y) const
{
    const std::uint8_t* p = m_bytes + PixelIndex(x, y) * 3;
    return {p[0], p[1], p[2]};
}

void CAccessByteLChImage::GetChromaHistogram(std::span<std::uint32_t> bins, int lightnessLow,
                                             int lightnessHigh, int hueLow, int hueHigh) const
{
    std::fill(bins.begin(), bins.end(), 0u);
    if (bins.empty() || !m_bytes)
        return;

    // Membership of every byte value in the two windows, decided once so the
    // pixel loop is two lookups.
    bool inLightness[256];
    bool inHue[256];
    const bool wraps = hueLow > hueHigh;
    for (int v = 0; v < 256; ++v)
    {
        inLightness[v] = v >= lightnessLow && v <= lightnessHigh;
        inHue[v] = wraps ? (v >= hueLow || v <= hueHigh) : (v >= hueLow && v <= hueHigh);
    }

    const std::size_t last = bins.size() - 1;
    const std::uint8_t* p = m_bytes;
    const std::uint8_t* end = m_bytes + m_pixelCount * 3;
    for (; p != end; p += 3)
    {
        if (inLightness[p[0]] && inHue[p[2]])
            ++bins[std::min<std::size_t>(p[1], last)];
    }
}
