#include "platform/FileReplace.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

void SetError(std::string* error, const std::string& what, const std::string& path, int err)
{
    if (error != nullptr)
        *error = what + " " + path + ": " + std::strerror(err);
}

// A file descriptor closed on scope exit.
class Descriptor
{
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int Get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty())
    {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0)
        {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

namespace {

// The length of the random part of a temporary's name.
constexpr std::size_t kSuffixLength = 10;

// A temporary nobody has written for this long, and that no live process
// holds open, was left by a process that died: a save holds its temporary
// open while it writes it, and from the moment it closes it to the rename
// the temporary counts as just written (Commit touches it).
constexpr std::time_t kStaleTemporarySeconds = 60;

// A random suffix for temporary names. Seeded once per process from the
// system's entropy, mixed with a counter so that threads sharing the
// generator never need a lock to get distinct names.
std::string UniqueSuffix()
{
    static const std::uint64_t seed = []
    {
        std::random_device device;
        return (static_cast<std::uint64_t>(device()) << 32) ^ device();
    }();
    static std::atomic<std::uint64_t> counter{0};
    // splitmix64 of seed + counter: distinct inputs give distinct outputs.
    std::uint64_t z = seed + 0x9E3779B97F4A7C15ull * (++counter) +
                      static_cast<std::uint64_t>(::getpid());
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    static constexpr char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix;
    for (std::size_t i = 0; i < kSuffixLength; ++i)
    {
        suffix.push_back(kChars[z % 62]);
        z /= 62;
    }
    return suffix;
}

std::atomic<bool> g_unnamedAllowed{true};

// An unnamed file in folder (O_TMPFILE), opened for writing with 0644
// minus the umask, as a new named file would be; -1 when the file system
// (or the kernel) does not make such files, or anything else fails: the
// named temporary then goes the ordinary way and reports what is wrong.
int OpenUnnamed(const std::string& folder)
{
    if (!g_unnamedAllowed.load(std::memory_order_relaxed))
        return -1;
    return OpenRetrying(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
}

// Gives the unnamed file behind fd the name path. Through /proc, which
// needs no privilege; AT_EMPTY_PATH where /proc is not mounted.
int LinkUnnamed(int fd, const std::string& path)
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    if (errno != ENOENT)
        return errno;
    if (::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0)
        return 0;
    return errno;
}

// The process's file-creation mask, read without changing it (umask(2)
// would, for a moment, for every thread). 022 when it cannot be read.
mode_t CurrentUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
    {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
    }
    return 022;
}

// Copies the file `from` into a new file `to`, created exclusively so that
// nothing that appeared there meanwhile is overwritten. 0, or the errno of
// the failure (EEXIST: the name is taken); a half-written copy is removed.
int CopyToNewFile(const std::string& from, const std::string& to)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errno;
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0)
    {
        const int err = errno;
        ::close(in);
        return err;
    }
    int err = 0;
    char buffer[16384];
    for (;;)
    {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0)
        {
            if (errno == EINTR)
                continue;
            err = errno;
            break;
        }
        if (got == 0)
            break;
        if (!WriteAll(out, std::string_view(buffer, static_cast<std::size_t>(got))))
        {
            err = errno;
            break;
        }
    }
    ::close(in);
    if (::close(out) != 0 && err == 0)
        err = errno;
    if (err != 0)
        ::unlink(to.c_str());
    return err;
}

// The part of a temporary's name that stands for the target: the target's
// file name itself, or, for a name too long to keep the temporary's within
// NAME_MAX (255 bytes), its first 200 bytes and "~" with a hash of the whole
// name, so that targets sharing those 200 bytes still have temporaries of
// their own names (and the removal of stale ones takes only a target's own).
std::string TemporaryBaseName(const std::string& base)
{
    constexpr std::size_t kKept = 200;
    if (base.size() <= kKept)
        return base;
    // FNV-1a, 64 bits, of the whole name, as 16 hexadecimal digits.
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (const char c : base)
    {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001B3ull;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string name = base.substr(0, kKept) + "~";
    for (int shift = 60; shift >= 0; shift -= 4)
        name.push_back(kHex[(hash >> shift) & 0xF]);
    return name;
}

// Whether `name` is one of our temporaries' names for the prefix: the
// prefix and then exactly the random part UniqueSuffix makes.
bool IsTemporaryName(const char* name, const std::string& prefix)
{
    const std::size_t length = std::strlen(name);
    if (length != prefix.size() + kSuffixLength || prefix.compare(0, prefix.size(), name, prefix.size()) != 0)
        return false;
    for (std::size_t i = prefix.size(); i < length; ++i)
    {
        const char c = name[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

struct StaleTemporary
{
    std::string name;
    dev_t device;
    ino_t inode;
};

// Whether a process may still write one of the files: a descriptor of any
// live process of ours on it, or a process of ours whose descriptors
// cannot be read (then nothing is taken as known). Processes of other
// users cannot write our files, and removing a name under a reader leaves
// it its file.
bool AnyHeldOpen(const std::vector<StaleTemporary>& files)
{
    DIR* processes = ::opendir("/proc");
    if (processes == nullptr)
        return true; // no way to know
    bool held = false;
    const uid_t self = ::geteuid();
    while (!held)
    {
        const dirent* process = ::readdir(processes);
        if (process == nullptr)
            break;
        if (process->d_name[0] < '0' || process->d_name[0] > '9')
            continue;
        const std::string folder = std::string("/proc/") + process->d_name;
        struct stat owner{};
        if (::stat(folder.c_str(), &owner) != 0 || owner.st_uid != self)
            continue; // gone meanwhile, or another user's
        const std::string fdFolder = folder + "/fd";
        DIR* descriptors = ::opendir(fdFolder.c_str());
        if (descriptors == nullptr)
        {
            // A process that ended meanwhile holds nothing; one of ours
            // whose descriptors we may not see might.
            held = errno != ENOENT;
            continue;
        }
        while (const dirent* fd = ::readdir(descriptors))
        {
            if (fd->d_name[0] == '.')
                continue;
            struct stat open{};
            if (::stat((fdFolder + "/" + fd->d_name).c_str(), &open) != 0)
                continue;
            for (const StaleTemporary& file : files)
                held = held || (open.st_dev == file.device && open.st_ino == file.inode);
        }
        ::closedir(descriptors);
    }
    ::closedir(processes);
    return held;
}

// Removes the temporaries of one target (those named by `prefix`, in
// `folder`) that a process killed before its rename left: regular files of
// ours, unchanged for a minute, open in no live process. Anything else of
// that name, another target's temporaries and fresh ones stay.
void RemoveStaleTemporaries(const std::string& folder, const std::string& prefix)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    const int dirFd = ::dirfd(dir);
    const std::time_t now = std::time(nullptr);
    std::vector<StaleTemporary> stale;
    while (const dirent* entry = ::readdir(dir))
    {
        if (!IsTemporaryName(entry->d_name, prefix))
            continue;
        struct stat info{};
        if (::fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
            continue;
        if (now - info.st_mtim.tv_sec < kStaleTemporarySeconds)
            continue;
        stale.push_back({entry->d_name, info.st_dev, info.st_ino});
    }
    if (!stale.empty() && !AnyHeldOpen(stale))
        for (const StaleTemporary& file : stale)
            ::unlinkat(dirFd, file.name.c_str(), 0);
    ::closedir(dir);
}

} // namespace

ReplacementFile::~ReplacementFile()
{
    m_file.Close();
    if (!m_temp.empty())
        ::unlink(m_temp.c_str());
}

bool ReplacementFile::Fail(const char* what, int err, std::string* error)
{
    m_file.Close();
    if (!m_temp.empty())
    {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
    SetError(error, what, m_target, err);
    return false;
}

bool ReplacementFile::Open(const std::string& target, std::string* error)
{
    if (m_used)
    {
        SetError(error, "already used for a replacement, not", target, EBUSY);
        return false;
    }
    m_used = true;

    // A symbolic link (a dotfile kept elsewhere, say) stays a link: the
    // file it points to is what gets replaced.
    m_target = target;
    struct stat entry{};
    if (::lstat(target.c_str(), &entry) == 0 && S_ISLNK(entry.st_mode))
    {
        if (char* resolved = ::realpath(target.c_str(), nullptr))
        {
            m_target = resolved;
            std::free(resolved);
        }
    }

    const std::string& path = m_target;
    const std::size_t slash = path.rfind('/');
    m_folder = slash == std::string::npos ? std::string(".")
               : slash == 0               ? std::string("/")
                                          : path.substr(0, slash);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.empty())
    {
        SetError(error, "no file name in", path, EINVAL);
        return false;
    }
    m_namePrefix = "." + TemporaryBaseName(base) + ".tmp-";
    m_prefix = (slash == std::string::npos ? std::string() : m_folder + "/") + m_namePrefix;

    struct stat old{};
    const bool hadOld = ::stat(path.c_str(), &old) == 0;

    int fd = OpenUnnamed(m_folder);
    // Our own unique name with O_EXCL rather than mkstemp: mkstemp creates
    // the file 0600, while a new file here should get 0644 minus the umask
    // (readable by others, writable only by its owner, whatever a lax umask
    // allows), and only open() applies the umask without touching the
    // process-wide mask (which other threads may be using).
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt)
    {
        std::string temp = m_prefix + UniqueSuffix();
        fd = OpenRetrying(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0)
            m_temp = std::move(temp);
        else if (errno != EEXIST)
            break;
    }
    if (fd < 0)
    {
        SetError(error, "cannot create a temporary file for", path, errno);
        return false;
    }
    m_file.Adopt(fd);

    if (hadOld)
    {
        // The replacement keeps the old file's owner (where we may set it)
        // and permission bits. fchown clears set-id bits, so it goes first.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
        {
            // Giving a file away needs privilege; without it the new file
            // simply stays ours.
            [[maybe_unused]] const int given = ::fchown(fd, old.st_uid, old.st_gid);
        }
        if (::fchmod(fd, old.st_mode & 07777) != 0)
            return Fail("cannot set the permissions of", errno, error);
    }
    return true;
}

bool ReplacementFile::Commit(std::string* error)
{
    if (!m_file.IsOpen())
    {
        SetError(error, "nothing open to replace", m_target, EBADF);
        return false;
    }
    if (!m_file.Sync())
        return Fail("cannot flush", errno, error);
    // An unnamed file needs a name of its own before rename() can put it
    // over the target; it is the temporary's until then.
    for (int attempt = 0; attempt < 100 && m_temp.empty(); ++attempt)
    {
        std::string temp = m_prefix + UniqueSuffix();
        const int err = LinkUnnamed(m_file.Descriptor(), temp);
        if (err == 0)
            m_temp = std::move(temp);
        else if (err != EEXIST)
            return Fail("cannot name the new contents of", err, error);
    }
    if (m_temp.empty())
        return Fail("cannot name the new contents of", EEXIST, error);
    // Written just now as far as the removal of stale temporaries can
    // tell, however long the flush took: from the close below to the
    // rename no descriptor shows that a live process still needs it.
    ::futimens(m_file.Descriptor(), nullptr);
    // close() is where some file systems (NFS) report a failed write.
    if (!m_file.Close())
        return Fail("cannot close", errno, error);
    if (::rename(m_temp.c_str(), m_target.c_str()) != 0)
        return Fail("cannot replace", errno, error);
    m_temp.clear();
    // What saves of this target killed before their rename left beside it.
    RemoveStaleTemporaries(m_folder, m_namePrefix);

    // Make the rename itself durable. Some file systems cannot sync a
    // folder; the new contents are in place by now either way, so a
    // failure here is not a failure of the replacement.
    const int dirFd = OpenRetrying(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0)
    {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

void AllowUnnamedTemporaries(bool allow)
{
    g_unnamedAllowed.store(allow, std::memory_order_relaxed);
}

bool ReplaceFileContents(const std::string& path, std::string_view data, std::string* error)
{
    ReplacementFile file;
    if (!file.Open(path, error))
        return false;
    if (!WriteAll(file.Fd(), data))
    {
        // The destructor removes the temporary; errno is taken before it.
        SetError(error, "cannot write", path, errno);
        return false;
    }
    return file.Commit(error);
}

bool ReadFileContents(const std::string& path, std::string* data)
{
    const int fd = OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    Descriptor file(fd);
    std::string text;
    struct stat info{};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
        text.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;)
    {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0)
        {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    *data = std::move(text);
    return true;
}

FileLock::FileLock(const std::string& path)
{
    const std::string lockPath = path + ".lock";
    // flock needs no write access: opening read-only still works on a lock
    // file left behind by another user (a run under sudo, say).
    const int fd = OpenRetrying(lockPath.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    // flock locks belong to the open file description, so every FileLock
    // (each with its own open()) excludes every other, in this process or
    // another. O_CLOEXEC keeps a program we start from holding it on.
    int result;
    do
        result = ::flock(fd, LOCK_EX);
    while (result != 0 && errno == EINTR);
    if (result != 0)
    {
        ::close(fd);
        return;
    }
    m_fd = fd;
}

FileLock::~FileLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // releases the lock
}

int MoveFileNoReplace(const std::string& from, const std::string& to)
{
    // The moved file gets the mode of the user's other new files (the
    // source may be a private temporary).
    const mode_t mode = 0644 & ~CurrentUmask();
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    {
        ::chmod(to.c_str(), mode);
        return 0;
    }
    int err = errno;
    if (err == EINVAL || err == ENOSYS || err == ENOTSUP || err == EOPNOTSUPP)
    {
        // The file system does not know the flag: a hard link claims the
        // name just as exclusively.
        if (::link(from.c_str(), to.c_str()) == 0)
        {
            ::unlink(from.c_str());
            ::chmod(to.c_str(), mode);
            return 0;
        }
        err = errno;
        // File systems without hard links: copy as across file systems.
        if (err == EPERM || err == ENOTSUP || err == EOPNOTSUPP)
            err = EXDEV;
    }
    if (err != EXDEV)
        return err;
    err = CopyToNewFile(from, to);
    if (err == 0)
        ::unlink(from.c_str());
    return err;
}

} // namespace platform
