#pragma once
// An open file, closed when its object goes. The layers above the platform
// read and write files through it and never hold a system descriptor: the
// readers of image and profile files use positioned reads (safe from
// several threads at once) or a read-only memory image, the raw image files
// use sequential transfers, the writers append or write at an offset.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace platform {

// How a file is opened for writing.
enum class FileCreate
{
    Truncate,  // created or emptied
    Exclusive, // created; fails when the name is taken
    Append     // created or kept; every write goes to its end
};

class File
{
public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens path for reading (following links); false when it cannot be opened.
    bool OpenRead(const std::string& path);
    // Opens path for reading and writing as `how` says, new files with the
    // permission bits `mode` (less the umask).
    bool OpenWrite(const std::string& path, FileCreate how, unsigned mode = 0644);
    // A new file of a unique name made from `pattern` ("/folder/PMSXXXXXX.tmp":
    // the six X before the last `suffixLength` characters are replaced), opened
    // for reading and writing with mode 0600; the name chosen is left in pattern.
    bool OpenUnique(std::string& pattern, std::size_t suffixLength);

    bool IsOpen() const { return m_fd >= 0; }
    // Closes the file; false when the system reports an error on close (a
    // write that did not reach the disk). A closed file closes again as true.
    bool Close();

    // The file's length in bytes; false when it cannot be asked.
    bool Size(std::uint64_t* bytes) const;
    // True for a regular file (not a folder, device or pipe).
    bool IsRegular() const;

    // Reads exactly out.size() bytes at offset, going on after short reads
    // and interrupts, from the memory image when there is one. False when a
    // read fails or the file ends first. Reading nothing succeeds at once.
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const;
    bool ReadAt(std::uint64_t offset, void* out, std::size_t bytes) const
    {
        return ReadAt(offset, std::span<std::uint8_t>(static_cast<std::uint8_t*>(out), bytes));
    }
    // Sequential reading from the current position: the number of bytes that
    // arrived before the end of the file or an error.
    std::size_t Read(void* out, std::size_t bytes);
    // Sequential writing of all bytes; false when a write fails.
    bool WriteAll(const void* data, std::size_t bytes);
    bool WriteAll(std::string_view data) { return WriteAll(data.data(), data.size()); }
    // Writes all bytes at offset without moving the position.
    bool WriteAt(std::uint64_t offset, const void* data, std::size_t bytes);
    // Moves the position back to the start.
    bool Rewind();
    // Cuts (or extends) the file to `bytes`.
    bool Resize(std::uint64_t bytes);
    // Flushes what was written to the disk.
    bool Sync();
    // Tells the system the file will be read from start to end.
    void AdviseSequential();

    // Maps the whole file read-only, for readers that copy many small ranges
    // out of it. False (and nothing mapped) when the file is empty or the
    // system refuses; ReadAt then reads through the system as before.
    bool Map();
    // The memory image, or an empty span when the file is not mapped.
    std::span<const std::uint8_t> Mapped() const { return {m_map, m_mapBytes}; }
    // Tells the system that a reader is done with bytes [offset, offset +
    // bytes) of the mapped file: the whole pages inside leave this process's
    // memory (the file's data stays in the system's cache, and a later read
    // of the range maps it again). Nothing when the file is not mapped.
    void ReleaseMapped(std::uint64_t offset, std::uint64_t bytes) const;

    // Hands the file over to a C stream (for libraries that write to one):
    // the stream then owns it and this object is closed. Null (and the
    // file still held here) when no stream can be made.
    std::FILE* ToStream(const char* mode);

    // For the platform layer itself (locks, file replacement): the
    // descriptor, or -1. Layers above never need it.
    int Descriptor() const { return m_fd; }
    // Takes ownership of a descriptor opened elsewhere in the platform layer.
    void Adopt(int fd);

private:
    void Unmap();

    int m_fd = -1;
    const std::uint8_t* m_map = nullptr;
    std::size_t m_mapBytes = 0;
};

// What stat(2) tells of a path (links followed).
struct FileStatus
{
    bool regular = false; // a regular file, not a folder, device or pipe
    bool folder = false;
    std::uint64_t size = 0;
    std::int64_t modifiedSeconds = 0; // the last change of the contents
    std::int64_t modifiedNanoseconds = 0;
};
// False when nothing can be found at path.
bool ReadFileStatus(const std::string& path, FileStatus& status);
// open(2) tried again when a signal interrupts it; the platform layer's own
// way to a descriptor (folders, lock files).
int OpenRetrying(const char* path, int flags, unsigned mode = 0);

// True when path names a regular file (links followed); false for a
// folder, device, pipe or a path that does not exist.
bool IsRegularFile(const std::string& path);
// True when anything exists under path (a dangling link counts).
bool PathExists(const std::string& path);
// True for a regular file that this user may execute.
bool IsExecutableFile(const std::string& path);

} // namespace platform
