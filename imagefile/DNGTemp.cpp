#include "imagefile/DNGTemp.h"

#include <cstring>
#include <limits>
#include <new>

unsigned TiffTypeSize(int fieldType)
{
    switch (fieldType)
    {
    case 1:
    case 2:
    case 6:
    case 7:
        return 1;
    case 3:
    case 8:
        return 2;
    case 4:
    case 9:
    case 11:
        return 4;
    case 5:
    case 10:
    case 12:
        return 8;
    default:
        return 0;
    }
}

bool CDNGTempMemory::Alloc(std::size_t count, std::size_t size)
{
    if (size != 0 && count > std::numeric_limits<std::size_t>::max() / size)
    {
        Free();
        return false;
    }
    const std::size_t bytes = count * size;
    if (m_data && bytes == Bytes())
    {
        m_count = count;
        m_size = size;
        return true;
    }
    Free();
    if (bytes == 0)
        return true;
    m_data.reset(new (std::nothrow) std::uint8_t[bytes]);
    if (!m_data)
        return false;
    m_count = count;
    m_size = size;
    return true;
}

void CDNGTempMemory::Free()
{
    m_data.reset();
    m_count = 0;
    m_size = 0;
}

bool CRingLineBuffer::Create(std::size_t elementSize, int elementsPerLine, int lineCount)
{
    m_store.reset();
    m_start = 0;
    m_elementsPerLine = 0;
    m_lineCount = 0;
    if (elementSize == 0 || elementsPerLine <= 0 || lineCount <= 0)
        return false;
    auto store = std::make_unique<CDNGTempMemory>();
    const std::size_t count =
        static_cast<std::size_t>(elementsPerLine) * static_cast<std::size_t>(lineCount);
    if (!store->Alloc(count, elementSize))
        return false;
    m_store = std::move(store);
    m_elementsPerLine = elementsPerLine;
    m_lineCount = lineCount;
    return true;
}

void* CRingLineBuffer::Line(long long i)
{
    if (!m_store)
        return nullptr;
    long long index = (i + m_start) % m_lineCount;
    if (index < 0)
        index += m_lineCount;
    const std::size_t lineBytes = static_cast<std::size_t>(m_elementsPerLine) * m_store->GetSize();
    return m_store->Data() + static_cast<std::size_t>(index) * lineBytes;
}

void CRingLineBuffer::Advance(int n)
{
    if (m_lineCount <= 0)
        return;
    m_start = static_cast<int>((static_cast<long long>(m_start) + n) % m_lineCount);
    if (m_start < 0)
        m_start += m_lineCount;
}

void CRingLineBuffer::ClearLine(long long i)
{
    if (void* line = Line(i))
        std::memset(line, 0, static_cast<std::size_t>(m_elementsPerLine) * m_store->GetSize());
}

CDNGTempFile::~CDNGTempFile()
{
    Close();
}

bool CDNGTempFile::Open(const std::string& path, const char* mode)
{
    Close();
    m_stream = std::fopen(path.c_str(), mode);
    return m_stream != nullptr;
}

void CDNGTempFile::Close()
{
    if (m_stream)
    {
        std::fclose(m_stream);
        m_stream = nullptr;
    }
}

bool CDNGTempFile::Seek(std::uint64_t position)
{
    if (!m_stream || position > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
        return false;
    return fseeko(m_stream, static_cast<off_t>(position), SEEK_SET) == 0;
}

bool CDNGTempFile::Write(const void* buffer, std::size_t elementSize, std::size_t count)
{
    if (!m_stream)
        return false;
    if (count == 0 || elementSize == 0)
        return true;
    return std::fwrite(buffer, elementSize, count, m_stream) == count;
}

bool CDNGTempFile::Read(void* buffer, std::size_t elementSize, std::size_t count)
{
    if (!m_stream)
        return false;
    if (count == 0 || elementSize == 0)
        return true;
    return std::fread(buffer, elementSize, count, m_stream) == count;
}

bool CDNGTempFile::WriteAt(std::uint64_t position, const void* buffer, std::size_t bytes)
{
    return Seek(position) && Write(buffer, 1, bytes);
}

bool CDNGTempFile::ReadAt(std::uint64_t position, void* buffer, std::size_t bytes)
{
    return Seek(position) && Read(buffer, 1, bytes);
}
