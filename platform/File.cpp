#include "platform/File.h"

#include "platform/FileReplace.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {

int OpenRetrying(const char* path, int flags, unsigned mode)
{
    int fd;
    do
        fd = ::open(path, flags, static_cast<mode_t>(mode));
    while (fd < 0 && errno == EINTR);
    return fd;
}

namespace {

constexpr std::uint64_t kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());

} // namespace

File::~File()
{
    Close();
}

File::File(File&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_map(std::exchange(other.m_map, nullptr)),
      m_mapBytes(std::exchange(other.m_mapBytes, 0))
{}

File& File::operator=(File&& other) noexcept
{
    if (this != &other)
    {
        Close();
        m_fd = std::exchange(other.m_fd, -1);
        m_map = std::exchange(other.m_map, nullptr);
        m_mapBytes = std::exchange(other.m_mapBytes, 0);
    }
    return *this;
}

bool File::OpenRead(const std::string& path)
{
    Close();
    m_fd = OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC);
    return m_fd >= 0;
}

bool File::OpenWrite(const std::string& path, FileCreate how, unsigned mode)
{
    Close();
    int flags = O_RDWR | O_CREAT | O_CLOEXEC;
    switch (how)
    {
    case FileCreate::Truncate:
        flags |= O_TRUNC;
        break;
    case FileCreate::Exclusive:
        flags |= O_EXCL;
        break;
    case FileCreate::Append:
        flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC;
        break;
    }
    m_fd = OpenRetrying(path.c_str(), flags, mode);
    return m_fd >= 0;
}

bool File::OpenUnique(std::string& pattern, std::size_t suffixLength)
{
    Close();
    if (suffixLength > pattern.size())
        return false;
    m_fd = ::mkostemps(pattern.data(), static_cast<int>(suffixLength), O_CLOEXEC);
    return m_fd >= 0;
}

std::FILE* File::ToStream(const char* mode)
{
    if (m_fd < 0)
        return nullptr;
    std::FILE* stream = ::fdopen(m_fd, mode);
    if (stream != nullptr)
    {
        Unmap();
        m_fd = -1;
    }
    return stream;
}

void File::Adopt(int fd)
{
    Close();
    m_fd = fd;
}

void File::Unmap()
{
    if (m_map != nullptr)
        ::munmap(const_cast<std::uint8_t*>(m_map), m_mapBytes);
    m_map = nullptr;
    m_mapBytes = 0;
}

bool File::Close()
{
    Unmap();
    if (m_fd < 0)
        return true;
    const int fd = std::exchange(m_fd, -1);
    return ::close(fd) == 0;
}

bool File::Size(std::uint64_t* bytes) const
{
    struct stat info
    {};
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0 || info.st_size < 0)
        return false;
    *bytes = static_cast<std::uint64_t>(info.st_size);
    return true;
}

bool File::IsRegular() const
{
    struct stat info
    {};
    return m_fd >= 0 && ::fstat(m_fd, &info) == 0 && S_ISREG(info.st_mode);
}

bool File::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const
{
    // An empty range is read at once: it needs no system call, and a
    // zero-length copy must not be handed pointers that may be null.
    if (out.empty())
        return m_fd >= 0;
    if (m_map != nullptr)
    {
        if (offset > m_mapBytes || out.size() > m_mapBytes - offset)
            return false;
        std::memcpy(out.data(), m_map + offset, out.size());
        return true;
    }
    if (m_fd < 0 || offset > kMaxOffset || out.size() > kMaxOffset - offset)
        return false;
    std::uint8_t* at = out.data();
    std::size_t left = out.size();
    while (left > 0)
    {
        const ssize_t n = ::pread(m_fd, at, left, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        at += n;
        offset += static_cast<std::uint64_t>(n);
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

std::size_t File::Read(void* out, std::size_t bytes)
{
    auto* at = static_cast<std::uint8_t*>(out);
    std::size_t done = 0;
    while (done < bytes)
    {
        const ssize_t got = ::read(m_fd, at + done, bytes - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

bool File::WriteAll(const void* data, std::size_t bytes)
{
    if (bytes == 0)
        return m_fd >= 0;
    return platform::WriteAll(m_fd, std::string_view(static_cast<const char*>(data), bytes));
}

bool File::WriteAt(std::uint64_t offset, const void* data, std::size_t bytes)
{
    if (m_fd < 0 || offset > kMaxOffset || bytes > kMaxOffset - offset)
        return false;
    const auto* at = static_cast<const std::uint8_t*>(data);
    while (bytes > 0)
    {
        const ssize_t put = ::pwrite(m_fd, at, bytes, static_cast<off_t>(offset));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        at += put;
        bytes -= static_cast<std::size_t>(put);
        offset += static_cast<std::uint64_t>(put);
    }
    return true;
}

bool File::Rewind()
{
    return m_fd >= 0 && ::lseek(m_fd, 0, SEEK_SET) == 0;
}

bool File::Resize(std::uint64_t bytes)
{
    return m_fd >= 0 && bytes <= kMaxOffset && ::ftruncate(m_fd, static_cast<off_t>(bytes)) == 0;
}

bool File::Sync()
{
    return m_fd >= 0 && ::fsync(m_fd) == 0;
}

void File::AdviseSequential()
{
    if (m_fd >= 0)
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

bool File::Map()
{
    Unmap();
    std::uint64_t size = 0;
    if (!Size(&size) || size == 0 || size > std::numeric_limits<std::size_t>::max())
        return false;
    void* map = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE, m_fd, 0);
    if (map == MAP_FAILED)
        return false;
    // The readers that map go through the file from start to end: let the
    // kernel read ahead.
    ::madvise(map, static_cast<std::size_t>(size), MADV_SEQUENTIAL);
    m_map = static_cast<const std::uint8_t*>(map);
    m_mapBytes = static_cast<std::size_t>(size);
    return true;
}

void File::ReleaseMapped(std::uint64_t offset, std::uint64_t bytes) const
{
    if (m_map == nullptr || offset >= m_mapBytes)
        return;
    const std::uint64_t end = bytes > m_mapBytes - offset ? m_mapBytes : offset + bytes;
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    const std::uint64_t page = pageSize > 0 ? static_cast<std::uint64_t>(pageSize) : 4096;
    // Whole pages only: the partial pages at the ends may hold bytes that
    // other readers still copy.
    const std::uint64_t first = (offset + page - 1) / page * page;
    const std::uint64_t last = end / page * page;
    if (last > first)
        ::madvise(const_cast<std::uint8_t*>(m_map) + first, static_cast<std::size_t>(last - first),
                  MADV_DONTNEED);
}

bool ReadFileStatus(const std::string& path, FileStatus& status)
{
    struct stat info
    {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0)
        return false;
    status.regular = S_ISREG(info.st_mode);
    status.folder = S_ISDIR(info.st_mode);
    status.size = info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    status.modifiedSeconds = static_cast<std::int64_t>(info.st_mtim.tv_sec);
    status.modifiedNanoseconds = static_cast<std::int64_t>(info.st_mtim.tv_nsec);
    return true;
}

bool IsRegularFile(const std::string& path)
{
    FileStatus status;
    return ReadFileStatus(path, status) && status.regular;
}

bool PathExists(const std::string& path)
{
    struct stat info
    {};
    return !path.empty() && ::lstat(path.c_str(), &info) == 0;
}

bool IsExecutableFile(const std::string& path)
{
    return IsRegularFile(path) && ::access(path.c_str(), X_OK) == 0;
}

} // namespace platform
