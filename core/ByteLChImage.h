#pragma once
// A compact LCh copy of an image for the chroma histograms of the colour
// panels: three bytes a pixel, in the order
//     L byte = int(L* / 100 * 255)
//     C byte = int(min(C* / 150 * 255, 255))
//     h byte = int(h / 360 * 255)
// rows top first with no gap. CAccessRGBImageByLab::MakeByteLChImage fills
// it; CAccessByteLChImage reads it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

// One pixel of a CByteLChImage.
struct ByteLCh
{
    std::uint8_t L;
    std::uint8_t C;
    std::uint8_t h;
};

class CByteLChImage
{
public:
    CByteLChImage() = default;
    virtual ~CByteLChImage() = default;

    // Copies are deep.
    CByteLChImage(const CByteLChImage& other);
    CByteLChImage& operator=(const CByteLChImage& other);
    CByteLChImage(CByteLChImage&& other) noexcept;
    CByteLChImage& operator=(CByteLChImage&& other) noexcept;

    // Keeps the bytes (and their contents) when width * height * 3 equals
    // the current size, only the dimensions change; otherwise frees them and
    // allocates width * height * 3 zero bytes (none for a size of 0 or a
    // negative dimension). True when bytes exist afterwards; on failure the
    // image is empty.
    bool Create(int width, int height);

    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    bool IsEmpty() const { return !m_bytes; }
    std::size_t GetPixelCount() const { return m_size / 3; }

    // The locked flag: set while an accessor works on the bytes.
    bool IsLocked() const { return m_locked; }
    std::uint8_t* Lock()
    {
        m_locked = true;
        return m_bytes.get();
    }
    void Unlock() { m_locked = false; }

private:
    std::unique_ptr<std::uint8_t[]> m_bytes;
    std::size_t m_size = 0; // bytes
    int m_width = 0;
    int m_height = 0;
    bool m_locked = false;
};

// Scoped access to a CByteLChImage: locks it for its life and offers a
// cursor (pixel x + y * width) and the chroma histogram. Positions outside
// the image are caller errors that assert in Debug builds.
class CAccessByteLChImage
{
public:
    explicit CAccessByteLChImage(CByteLChImage& image);
    virtual ~CAccessByteLChImage();
    CAccessByteLChImage(const CAccessByteLChImage&) = delete;
    CAccessByteLChImage& operator=(const CAccessByteLChImage&) = delete;

    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }

    void SetCursor(int x, int y);
    std::size_t GetCursorOffset() const { return m_cursor; }
    // The pixel at the cursor; the cursor moves one pixel on.
    ByteLCh ReadNext();
    // Stores a pixel at the cursor; the cursor moves one pixel on.
    void WriteNext(const ByteLCh& px);
    ByteLCh GetPixel(int x, int y) const;

    // Chroma histogram of the pixels whose L byte lies in [lightnessLow,
    // lightnessHigh] and whose h byte lies in the hue window: [hueLow,
    // hueHigh] when hueLow <= hueHigh, otherwise the window wraps round
    // through 255 and 0 (h >= hueLow or h <= hueHigh). Each such pixel adds
    // 1 to bins[C byte] (the last bin when there are fewer than 256); all
    // bins are reset first.
    void GetChromaHistogram(std::span<std::uint32_t> bins, int lightnessLow, int lightnessHigh,
                            int hueLow, int hueHigh) const;

private:
    std::size_t PixelIndex(int x, int y) const;

    CByteLChImage& m_image;
    std::uint8_t* m_bytes;
    std::size_t m_pixelCount;
    std::size_t m_cursor = 0;
    int m_width;
    int m_height;
};
