#pragma once
// The stores that DNG development passes its planes through: an owned
// memory block, a ring of line buffers for the demosaic, a plane file on
// disk, and a table of line pointers addressed by absolute line number.
// Also the byte size of the TIFF field types, for the DNG reader.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// Bytes of one value of a TIFF field type: 1 for BYTE, ASCII, SBYTE and
// UNDEFINED (1, 2, 6, 7); 2 for SHORT and SSHORT (3, 8); 4 for LONG, SLONG
// and FLOAT (4, 9, 11); 8 for RATIONAL, SRATIONAL and DOUBLE (5, 10, 12);
// 0 for any other type.
unsigned TiffTypeSize(int fieldType);

// A block of count elements of size bytes each, uninitialised.
class CDNGTempMemory
{
public:
    CDNGTempMemory() = default;
    virtual ~CDNGTempMemory() = default;
    CDNGTempMemory(const CDNGTempMemory&) = delete;
    CDNGTempMemory& operator=(const CDNGTempMemory&) = delete;
    CDNGTempMemory(CDNGTempMemory&&) noexcept = default;
    CDNGTempMemory& operator=(CDNGTempMemory&&) noexcept = default;

    // Keeps the block (and its contents) when count * size equals its byte
    // size, changing only the shape; otherwise allocates a new block. False,
    // with an empty block, when the allocation fails or the byte size does
    // not fit in memory's address range.
    bool Alloc(std::size_t count, std::size_t size);
    void Free();

    std::uint8_t* Data() { return m_data.get(); }
    const std::uint8_t* Data() const { return m_data.get(); }
    // Just past the block; null when empty.
    std::uint8_t* End() { return m_data ? m_data.get() + Bytes() : nullptr; }
    template <typename T> T* As() { return reinterpret_cast<T*>(m_data.get()); }
    template <typename T> const T* As() const { return reinterpret_cast<const T*>(m_data.get()); }

    std::size_t GetCount() const { return m_count; }
    std::size_t GetSize() const { return m_size; }
    std::size_t Bytes() const { return m_count * m_size; }
    bool IsEmpty() const { return !m_data; }

private:
    std::unique_ptr<std::uint8_t[]> m_data;
    std::size_t m_size = 0;
    std::size_t m_count = 0;
};

// lineCount lines of elementsPerLine elements, addressed relative to a start
// line that moves as the pipeline advances: Line(i) is line
// (i + start) mod lineCount, so Line(-1) is the last line and
// Line(lineCount) the first.
class CRingLineBuffer
{
public:
    CRingLineBuffer() = default;
    virtual ~CRingLineBuffer() = default;
    CRingLineBuffer(const CRingLineBuffer&) = delete;
    CRingLineBuffer& operator=(const CRingLineBuffer&) = delete;

    // A new store of elementsPerLine * lineCount elements; the start line
    // becomes 0. False (and no store) when a count is not positive or the
    // allocation fails.
    bool Create(std::size_t elementSize, int elementsPerLine, int lineCount);

    // Null when there is no store.
    void* Line(long long i);
    template <typename T> T* LineAs(long long i) { return static_cast<T*>(Line(i)); }
    // Moves the start by n lines: what was Line(n) becomes Line(0).
    void Advance(int n = 1);
    // Fills Line(i) with zero bytes.
    void ClearLine(long long i);

    int GetStart() const { return m_start; }
    int GetElementsPerLine() const { return m_elementsPerLine; }
    int GetLineCount() const { return m_lineCount; }

private:
    std::unique_ptr<CDNGTempMemory> m_store;
    int m_start = 0;
    int m_elementsPerLine = 0;
    int m_lineCount = 0;
};

// One plane file, through a C stream. Positions are 64-bit: a plane of a
// large raw image passes 4 GiB.
class CDNGTempFile
{
public:
    CDNGTempFile() = default;
    virtual ~CDNGTempFile();
    CDNGTempFile(const CDNGTempFile&) = delete;
    CDNGTempFile& operator=(const CDNGTempFile&) = delete;

    // Closes an open stream, then opens path with the C library's mode.
    bool Open(const std::string& path, const char* mode);
    void Close();
    bool IsOpen() const { return m_stream != nullptr; }

    // Absolute position from the start of the file.
    bool Seek(std::uint64_t position);
    // True when all count elements were written (read).
    bool Write(const void* buffer, std::size_t elementSize, std::size_t count);
    bool Read(void* buffer, std::size_t elementSize, std::size_t count);
    // Seek, then Write (Read).
    bool WriteAt(std::uint64_t position, const void* buffer, std::size_t bytes);
    bool ReadAt(std::uint64_t position, void* buffer, std::size_t bytes);

private:
    std::FILE* m_stream = nullptr;
};

// Three 32-bit colour values of the demosaic's colour lines.
struct LongRGBColor
{
    std::uint32_t r;
    std::uint32_t g;
    std::uint32_t b;
};

// Rows addressed by absolute line number: each line number from base on
// holds a pointer to that line's run of row-length elements, read from
// column offset on. At gives the element of a column, or null outside the
// row, so that a window reads its neighbours without knowing where the
// image ends.
template <typename T> class TCalcPos
{
public:
    TCalcPos() = default;
    virtual ~TCalcPos() = default;

    // lineCount lines from base, none set; columns x map to row elements
    // x + offset, which must lie in 0 to rowLength - 1.
    void Reset(long long base, int lineCount, int offset, int rowLength)
    {
        m_base = base;
        m_lines.assign(lineCount > 0 ? static_cast<std::size_t>(lineCount) : 0, nullptr);
        m_offset = offset;
        m_rowLength = rowLength;
    }
    void Set(long long line, T* row)
    {
        const long long i = line - m_base;
        if (i >= 0 && i < static_cast<long long>(m_lines.size()))
            m_lines[static_cast<std::size_t>(i)] = row;
    }
    // The row of a line: null when the line is outside the table or unset.
    T* Row(long long line) const
    {
        const long long i = line - m_base;
        if (i < 0 || i >= static_cast<long long>(m_lines.size()))
            return nullptr;
        return m_lines[static_cast<std::size_t>(i)];
    }
    T* At(long long line, long long x) const
    {
        T* row = Row(line);
        const long long column = x + m_offset;
        if (!row || column < 0 || column >= m_rowLength)
            return nullptr;
        return row + column;
    }
    long long GetBase() const { return m_base; }

private:
    long long m_base = 0;
    std::vector<T*> m_lines;
    int m_offset = 0;
    int m_rowLength = 0;
};
