#pragma once
// The working image: width x height RGB16 pixels, rows packed top first
// with no gap, in one owned buffer. Nothing reads or writes the pixels but
// through an accessor (core/ImageAccess.h) or the operations below, each of
// which sets the locked flag for as long as it works on the pixels.
//
// Raw image file (".rgb", little-endian):
//     offset 0  uint32 width
//     offset 4  uint32 height
//     offset 8  width * height pixels, each R, G, B as uint16, rows top first
// A valid file is exactly 8 + width * height * 6 bytes long.

#include "core/Progress.h"
#include "core/RGB16.h"
#include "core/Rect.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {
class File;
}
class CImageEx;
class CRGBMatrix;
class CRGBGammaTable;
class CColorTransform;

class CRGBImage
{
public:
    // The largest width or height an image may have (the pixel loops of
    // the correction steps count in 16-bit signed integers). Create and the
    // raw-file readers refuse anything larger.
    static constexpr int kMaxDimension = 32767;

    CRGBImage() = default;
    CRGBImage(int width, int height);
    virtual ~CRGBImage() = default;

    // Copies are deep (the project clones images for the batch and print).
    CRGBImage(const CRGBImage& other);
    CRGBImage& operator=(const CRGBImage& other);
    CRGBImage(CRGBImage&& other) noexcept;
    CRGBImage& operator=(CRGBImage&& other) noexcept;

    // Keeps the buffer and its contents when width * height equals the
    // current pixel count (only the dimensions change); otherwise frees it
    // and allocates width * height zeroed pixels (none for a size of 0).
    // Returns whether pixels exist afterwards; on failure the image is empty.
    bool Create(int width, int height);

    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    bool IsEmpty() const { return !m_pixels; }
    std::size_t GetPixelCount() const { return static_cast<std::size_t>(m_width) * m_height; }

    // The locked flag (a flag, not a count): set by every accessor and
    // operation while it works on the pixels.
    bool IsLocked() const { return m_locked; }
    RGB16* Lock()
    {
        m_locked = true;
        return m_pixels.get();
    }
    void Unlock() { m_locked = false; }
    // The pixels for reading by code that borrows an image it must not
    // change (the print job and the print preview read the project's
    // working image while its dialog runs); null when empty.
    const RGB16* GetPixels() const { return m_pixels.get(); }

    // Raw image files. The path forms open the file themselves; the File
    // forms work on an open file from its start. With progress, reads and
    // writes go in chunks of rows and report (first row of the chunk,
    // height) after each chunk, stopping when the answer is false; without,
    // they go in one transfer.
    bool LoadRaw(const std::string& path, Progress progress = {});
    bool ReadRaw(platform::File& file);
    bool ReadRawChunked(platform::File& file, Progress progress);
    bool SaveRaw(const std::string& path);
    bool WriteRaw(platform::File& file);
    bool WriteRawChunked(platform::File& file, Progress progress);

    // Writes a raw file of the source rectangle resampled to the new size,
    // reporting (row, new height) after each row.
    bool WriteScaledRaw(platform::File& file, int srcLeft, int srcTop, int srcWidth, int srcHeight,
                        int newWidth, int newHeight, Progress progress = {});

    // Draws a rectangle of this image into an 8-bit display image through
    // the matrix and tone tables, or the colour transform (and then the
    // second transform, a colour-conversion LUT, when given), reporting
    // (row, destination height) after each destination row.
    bool CopyRectConverted(CImageEx& display, const CRect& src, const CRect& dst,
                           const CRGBMatrix* matrix, const CRGBGammaTable* tables,
                           Progress progress, const CColorTransform* transform,
                           const CColorTransform* secondTransform);

    // Fills a rectangle of this image from an 8-bit display image through
    // the tone tables and the matrix, reporting (row, destination height)
    // after each destination row, on the calling thread. Equal sizes fill
    // bands of rows on all cores and report a band's rows once it and all
    // before it are done: a stop leaves the bands after it unfilled.
    bool LoadFromDIB(const CImageEx& display, const CRect& src, const CRect& dst,
                     const CRGBGammaTable* tables, const CRGBMatrix* matrix,
                     Progress progress = {});

    // Copies a rectangle of another image into a rectangle of this one,
    // without conversion (nearest pixel when the sizes differ).
    void CopyRectFrom(const CRect& src, const CRGBImage& source, const CRect& dst);

    // Fills this image (its current size) from the whole source, bilinear.
    void Resample(const CRGBImage& source);

private:
    std::unique_ptr<RGB16[]> m_pixels;
    int m_width = 0;
    int m_height = 0;
    bool m_locked = false;
};

// An off-screen 32-bit drawing surface: rows top first, 4 bytes a pixel in
// the order blue, green, red, unused (the GUI wraps the bits in an image of
// format RGB32 without copying).
class CDIBMemDC
{
public:
    explicit CDIBMemDC(const CRect& rect);
    virtual ~CDIBMemDC() = default;

    const CRect& GetRect() const { return m_rect; }
    int GetWidth() const { return m_rect.Width(); }
    int GetHeight() const { return m_rect.Height(); }
    int GetStride() const { return GetWidth() * 4; }
    std::uint8_t* GetBits() { return m_bits.get(); }
    const std::uint8_t* GetBits() const { return m_bits.get(); }

private:
    CRect m_rect;
    std::unique_ptr<std::uint8_t[]> m_bits;
};
