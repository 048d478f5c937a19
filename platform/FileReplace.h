#pragma once
// The one way a file is replaced: the new contents go to a file in the
// target's own folder that has no name yet (O_TMPFILE), are flushed to
// disk, and the file is then linked under a temporary name and renamed over
// the target. Until the rename the old file stays intact; a failure leaves
// it untouched and removes the temporary, and a process killed while it
// writes leaves nothing behind, as a file without a name goes with its
// last descriptor. Where the file system refuses unnamed files, the
// contents go to a uniquely named hidden temporary (".<name>.tmp-XXXXXXXXXX";
// for a name longer than 200 bytes ".<its first 200 bytes>~<hash of the
// whole name>.tmp-XXXXXXXXXX") instead, which only a killed process can
// leave behind; so can a process killed in the moment between naming an
// unnamed file and its rename. The
// next replacement of the same target removes such leftovers: temporaries
// of that target, ours, unchanged for a minute and open in no live process.

#include "platform/File.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Writes data as the whole new contents of path. Returns false (and sets
// *error, when given, to a readable reason) when anything fails. The
// replacement keeps the old file's permission bits (and owner, where we may
// set it); a new file gets 0644 minus the umask. A symbolic link stays a
// link and the file it points to is replaced.
bool ReplaceFileContents(const std::string& path, std::string_view data,
                         std::string* error = nullptr);

// The streaming form of the same replacement, for contents written piece by
// piece (large images): Open creates the temporary beside the target (with
// the target's permissions and owner, and the same symbolic-link rule as
// ReplaceFileContents), the caller writes through Output(), and Commit flushes
// the temporary, gives it its temporary name (an unnamed one) and renames
// it over the target. Until Commit succeeds the
// target is untouched; an object destroyed without a successful Commit
// removes its temporary. One object replaces one file once (a second
// Open fails).
class ReplacementFile
{
public:
    ReplacementFile() = default;
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // False (and *error, when given) when the temporary cannot be made.
    bool Open(const std::string& path, std::string* error = nullptr);
    // The temporary (write-only, at its start); not open before Open or after Commit.
    File& Output() { return m_file; }
    // Its descriptor, or -1 when not open.
    int Fd() const { return m_file.Descriptor(); }
    // fsync, link (an unnamed temporary), close, rename over the target,
    // then fsync of the folder. On failure the temporary is removed and the
    // target left as it was.
    bool Commit(std::string* error = nullptr);

private:
    // Closes and removes the temporary, and reports what failed.
    bool Fail(const char* what, int err, std::string* error);

    std::string m_target; // the file replaced (a link's target resolved)
    std::string m_folder;
    std::string m_namePrefix; // of the temporary's name: '.', file name, ".tmp-"
    std::string m_prefix;     // the same with the folder before it
    std::string m_temp;   // the temporary's name, once it has one
    File m_file;
    bool m_used = false; // Open was called
};

// For tests of the fallback: with false, replacements in this process use
// named temporaries only, as on a file system that refuses unnamed files;
// true (the default) puts unnamed ones back first.
void AllowUnnamedTemporaries(bool allow);

// Moves the file `from` to the new name `to` without ever replacing a file
// that exists there (rename(2) would do so silently). Across file systems
// (the work folder lies under ~/.cache) the file is copied into a new file
// created exclusively, and the original removed. The moved file gets 0644
// minus the umask, as a new file would. 0 on success, else the errno of the
// failure: EEXIST when the name is taken; `from` then stays where it was.
int MoveFileNoReplace(const std::string& from, const std::string& to);

// Writes all of data to fd, going on after short writes and interrupts.
// False (errno set) when a write fails.
bool WriteAll(int fd, std::string_view data);

// Reads the whole file; false when it cannot be opened or read.
bool ReadFileContents(const std::string& path, std::string* data);

// Holds an exclusive flock(2) on a lock file beside `path` ("<path>.lock")
// for its lifetime. Serialises read-modify-write cycles of one file between
// threads, objects and processes. The lock file is left in place.
class FileLock
{
public:
    explicit FileLock(const std::string& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // False when the lock file could not be opened or locked; the caller
    // then works unlocked (reads) or fails (writes).
    bool IsLocked() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

} // namespace platform
