#pragma once
// The 8-bit image used for display, thumbnails and 8-bit files: 24 bits a
// pixel, bytes blue, green, red, rows top first, each row padded to a
// multiple of 4 bytes (the pitch), with a resolution in dots per inch. The
// GUI wraps its rows without copying.

#include "core/RGB16.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <atomic>
#include <string>
#include <utility>
#include <vector>

class ProbedImageFile;

// The pixel memory of CImageEx: zeroed by the allocator (calloc, which
// leaves fresh pages from the system as they are), so that a new image is
// black without a pass over it; an image that is decoded into at once
// (a photograph's 72 MB) is written once, not twice.
template <class T> struct ZeroedAllocator
{
    using value_type = T;
    ZeroedAllocator() = default;
    template <class U> ZeroedAllocator(const ZeroedAllocator<U>&) noexcept {}
    T* allocate(std::size_t n)
    {
        if (void* p = std::calloc(n, sizeof(T)))
            return static_cast<T*>(p);
        throw std::bad_alloc();
    }
    void deallocate(T* p, std::size_t) noexcept { std::free(p); }
    // New elements keep the allocator's zeros; copies are copies.
    template <class U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <class U, class... Args> void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    template <class U> bool operator==(const ZeroedAllocator<U>&) const noexcept { return true; }
};

class CImageEx
{
public:
    CImageEx() = default;
    virtual ~CImageEx() = default;

    // A w x h image of black pixels; false (and an empty image) for sizes
    // that are not positive or that do not fit in memory.
    bool Create(int width, int height);
    void Destroy();
    // Reads a JPEG or TIFF file (core/ImageExCodec.cpp); false leaves the
    // image empty. maxSide > 0 lets a JPEG decode reduced (1/2, 1/4, 1/8)
    // while its longer side stays at least maxSide. decoded, when given,
    // follows the decode for another thread: the share (0..1) of the rows
    // decoded so far.
    bool Load(const std::string& path, int maxSide = 0,
              std::atomic<double>* decoded = nullptr);
    // The same from a file the probe left open (ProbeImageFile with keep):
    // nothing is opened or parsed again. The file is closed afterwards.
    bool Load(ProbedImageFile&& file, int maxSide = 0, std::atomic<double>* decoded = nullptr);

    bool IsNull() const { return m_width <= 0 || m_height <= 0; }
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    int GetPitch() const { return m_pitch; }
    int GetBPP() const { return 24; }

    std::uint8_t* GetBits() { return m_bits.data(); }
    const std::uint8_t* GetBits() const { return m_bits.data(); }
    // The first byte (blue) of pixel (x, y); unchecked.
    std::uint8_t* GetPixelAddress(int x, int y)
    {
        return m_bits.data() + static_cast<std::size_t>(y) * m_pitch + static_cast<std::size_t>(x) * 3;
    }
    const std::uint8_t* GetPixelAddress(int x, int y) const
    {
        return m_bits.data() + static_cast<std::size_t>(y) * m_pitch + static_cast<std::size_t>(x) * 3;
    }

    float GetXDpi() const { return m_xDpi; }
    float GetYDpi() const { return m_yDpi; }
    void SetResolution(float xDpi, float yDpi)
    {
        m_xDpi = xDpi;
        m_yDpi = yDpi;
    }

private:
    int m_width = 0;
    int m_height = 0;
    int m_pitch = 0;
    float m_xDpi = 96.0f;
    float m_yDpi = 96.0f;
    std::vector<std::uint8_t, ZeroedAllocator<std::uint8_t>> m_bits;
};

// count pixels into row `row` from column `column`: blue, green, red bytes
// are the high bytes of B, G, R.
void CopyRGB16ToDIBLine(CImageEx& image, const RGB16* pixels, int count, int row, int column);
// count pixels from row `row`, column `column`: each byte v becomes v * 257.
void CopyDIBLineToRGB16(int count, const CImageEx& image, RGB16* pixels, int row, int column);
// Every pixel set to the high bytes of colour.
void FillDIB(CImageEx& image, const RGB16& colour);
// The whole of target filled from the whole of source, each pixel from the
// nearest one (NearestIndex on each axis). Nothing when either is empty.
void StretchDIB(const CImageEx& source, CImageEx& target);

// Nearest-neighbour position among `from` source positions of position i
// of `to` destination positions: i * from / to, in 64 bits.
inline int NearestIndex(int i, int from, int to)
{
    return static_cast<int>(static_cast<std::int64_t>(i) * from / to);
}
