#include "platform/FileReplace.h"

#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace platform;
using testsupport::ReadTextFile;
using testsupport::TempDir;
using testsupport::WriteTextFile;

namespace {

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t PermissionBits(const std::string& path)
{
    struct stat info{};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// Makes replacements use named temporaries only, as on a file system that
// refuses unnamed files, for one scope.
class ScopedNamedTemporaries
{
public:
    explicit ScopedNamedTemporaries(bool named) { AllowUnnamedTemporaries(!named); }
    ~ScopedNamedTemporaries() { AllowUnnamedTemporaries(true); }
    ScopedNamedTemporaries(const ScopedNamedTemporaries&) = delete;
    ScopedNamedTemporaries& operator=(const ScopedNamedTemporaries&) = delete;
};

// Both ways of making the temporary: an unnamed file, and the named one a
// file system without unnamed files gets.
constexpr bool kNamedTemporaries[] = {false, true};

const char* Way(bool named)
{
    return named ? "named temporary" : "unnamed temporary";
}

// Sets the process umask for one test and puts the old one back.
class ScopedUmask
{
public:
    explicit ScopedUmask(mode_t mask) : m_old(::umask(mask)) {}
    ~ScopedUmask() { ::umask(m_old); }

private:
    mode_t m_old;
};

TEST(FileReplace, WritesNewAndReplacesExistingContents)
{
    for (const bool named : kNamedTemporaries)
    {
        SCOPED_TRACE(Way(named));
        ScopedNamedTemporaries way(named);
        TempDir dir;
        const std::string path = dir.File("settings.ini");
        std::string error;
        ASSERT_TRUE(ReplaceFileContents(path, "first\n", &error)) << error;
        EXPECT_EQ(ReadTextFile(path), "first\n");
        ASSERT_TRUE(ReplaceFileContents(path, "second, longer contents\n"));
        EXPECT_EQ(ReadTextFile(path), "second, longer contents\n");
        ASSERT_TRUE(ReplaceFileContents(path, ""));
        EXPECT_EQ(ReadTextFile(path), "");
        // Nothing but the target is left in the folder.
        EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"settings.ini"});
    }
}

TEST(FileReplace, BinaryAndLargeContentsRoundTrip)
{
    TempDir dir;
    const std::string path = dir.File("blob");
    std::string data;
    for (int i = 0; i < 3 * 1024 * 1024 + 17; ++i)
        data.push_back(static_cast<char>((i * 131) & 0xFF)); // holds NUL bytes too
    ASSERT_TRUE(ReplaceFileContents(path, data));
    std::string read;
    ASSERT_TRUE(ReadFileContents(path, &read));
    EXPECT_TRUE(read == data);
}

TEST(FileReplace, PermissionsKeptOrTakenFromUmask)
{
    for (const bool named : kNamedTemporaries)
    {
        SCOPED_TRACE(Way(named));
        ScopedNamedTemporaries way(named);
        TempDir dir;
        const std::string path = dir.File("kept");
        WriteTextFile(path, "old");
        ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
        ASSERT_TRUE(ReplaceFileContents(path, "new"));
        EXPECT_EQ(PermissionBits(path), 0640u);

        struct Case
        {
            mode_t umask;
            mode_t expected;
        };
        for (const Case c : {Case{022, 0644}, Case{077, 0600}, Case{002, 0644}, Case{0, 0644}})
        {
            ScopedUmask mask(c.umask);
            const std::string fresh = dir.File("fresh" + std::to_string(c.umask));
            ASSERT_TRUE(ReplaceFileContents(fresh, "x"));
            EXPECT_EQ(PermissionBits(fresh), c.expected) << "umask " << std::oct << c.umask;
        }
    }
}

TEST(FileReplace, ThroughSymlinkReplacesLinkTarget)
{
    TempDir dir;
    const std::string real = dir.File("real.ini");
    const std::string link = dir.File("link.ini");
    WriteTextFile(real, "old");
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    ASSERT_TRUE(ReplaceFileContents(link, "new"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadTextFile(real), "new");
}

TEST(FileReplace, FailureKeepsOldFileAndLeavesNoTemporary)
{
    for (const bool named : kNamedTemporaries)
    {
        SCOPED_TRACE(Way(named));
        ScopedNamedTemporaries way(named);
        TempDir dir;
        WriteTextFile(dir.File("plain"), "i am a file");
        ASSERT_EQ(::mkdir(dir.File("target-dir").c_str(), 0755), 0);
        WriteTextFile(dir.File("target-dir/inside"), "kept");

        struct Case
        {
            const char* name;
            std::string path;
        };
        const Case cases[] = {
            {"missing folder", dir.File("no-such-folder/file.ini")},
            {"parent is a regular file", dir.File("plain/file.ini")},
            // The temporary is written, then rename() refuses to put a file
            // over a folder: the temporary must go again.
            {"target is a folder", dir.File("target-dir")},
            {"no file name", dir.Path()},
        };
        for (const Case& c : cases)
        {
            std::string error;
            EXPECT_FALSE(ReplaceFileContents(c.path, "new contents", &error)) << c.name;
            EXPECT_FALSE(error.empty()) << c.name;
        }
        EXPECT_EQ(ReadTextFile(dir.File("plain")), "i am a file");
        EXPECT_EQ(ReadTextFile(dir.File("target-dir/inside")), "kept");
        EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string>{"plain", "target-dir"}));
        EXPECT_EQ(FolderEntries(dir.File("target-dir")), std::vector<std::string>{"inside"});
    }
}

// rename(2) is atomic: a reader opening the file while it is replaced over
// and over sees one whole version or the other, never a mixture or a cut.
TEST(FileReplace, ConcurrentReaderSeesOnlyWholeVersions)
{
    TempDir dir;
    const std::string path = dir.File("flip");
    const std::string small(1000, 'a');
    const std::string large(300000, 'b');
    ASSERT_TRUE(ReplaceFileContents(path, small));

    std::atomic<bool> done{false};
    std::atomic<int> writeFailures{0};
    std::thread writer(
        [&]
        {
            for (int i = 0; i < 60; ++i)
            {
                if (!ReplaceFileContents(path, i % 2 ? small : large))
                    ++writeFailures;
            }
            done = true;
        });
    int reads = 0;
    int bad = 0;
    while (!done || reads < 10)
    {
        std::string data;
        if (!ReadFileContents(path, &data) || (data != small && data != large))
            ++bad;
        ++reads;
    }
    writer.join();
    EXPECT_EQ(writeFailures, 0);
    EXPECT_EQ(bad, 0) << "of " << reads << " reads";
}

TEST(FileReplace, ReadFailsForMissingFileAndFolder)
{
    TempDir dir;
    std::string data = "untouched";
    EXPECT_FALSE(ReadFileContents(dir.File("missing"), &data));
    EXPECT_FALSE(ReadFileContents(dir.Path(), &data));
    EXPECT_EQ(data, "untouched");
}

// Whether somebody else could take the lock right now, probed with a
// separate open file description as another process would have.
bool LockIsFree(const std::string& lockPath)
{
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

TEST(FileLock, HoldsLockFileBesideTargetUntilDestroyed)
{
    TempDir dir;
    const std::string path = dir.File("data.ini");
    {
        FileLock lock(path);
        ASSERT_TRUE(lock.IsLocked());
        EXPECT_FALSE(LockIsFree(path + ".lock"));
    }
    EXPECT_TRUE(LockIsFree(path + ".lock"));

    FileLock nowhere(dir.File("missing-folder/data.ini"));
    EXPECT_FALSE(nowhere.IsLocked());
}

TEST(FileLock, ExcludesOtherObjectsAcrossThreads)
{
    TempDir dir;
    const std::string path = dir.File("shared");
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> unlocked{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
    {
        threads.emplace_back(
            [&]
            {
                for (int i = 0; i < 50; ++i)
                {
                    FileLock lock(path);
                    if (!lock.IsLocked())
                        ++unlocked;
                    if (inside.fetch_add(1) != 0)
                        ++overlaps;
                    std::this_thread::yield();
                    inside.fetch_sub(1);
                }
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(unlocked, 0);
    EXPECT_EQ(overlaps, 0);
}

// Writes text through a descriptor in full; false on any error.
bool WriteString(int fd, const std::string& text)
{
    return ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

TEST(ReplacementFile, StreamedContentsAppearOnlyAtCommit)
{
    for (const bool named : kNamedTemporaries)
    {
        SCOPED_TRACE(Way(named));
        ScopedNamedTemporaries way(named);
        TempDir dir;
        const std::string path = dir.File("image.rgb");
        WriteTextFile(path, "old contents");
        ASSERT_EQ(::chmod(path.c_str(), 0640), 0);

        ReplacementFile file;
        std::string error;
        ASSERT_TRUE(file.Open(path, &error)) << error;
        ASSERT_GE(file.Fd(), 0);
        ASSERT_TRUE(WriteString(file.Fd(), "first part, "));
        // Until the commit the target is the old file; a named temporary
        // sits beside it, an unnamed one is nowhere in the folder.
        EXPECT_EQ(ReadTextFile(path), "old contents");
        EXPECT_EQ(FolderEntries(dir.Path()).size(), named ? 2u : 1u);
        ASSERT_TRUE(WriteString(file.Fd(), "second part"));
        ASSERT_TRUE(file.Commit(&error)) << error;

        EXPECT_EQ(ReadTextFile(path), "first part, second part");
        EXPECT_EQ(PermissionBits(path), 0640u);
        EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"image.rgb"});
        // One object replaces one file once.
        EXPECT_EQ(file.Fd(), -1);
        EXPECT_FALSE(file.Commit());
        EXPECT_FALSE(file.Open(path));
    }
}

// A writer killed before its commit (a save cut short by a crash or a kill)
// leaves the old file as it was and, with an unnamed temporary, nothing
// else: the kernel drops a file without a name with its last descriptor.
// Only the fallback's named temporary stays behind.
TEST(ReplacementFile, WriterKilledBeforeCommitLeavesNoFile)
{
    for (const bool named : kNamedTemporaries)
    {
        SCOPED_TRACE(Way(named));
        ScopedNamedTemporaries way(named);
        TempDir dir;
        const std::string path = dir.File("image.tif");
        WriteTextFile(path, "old contents");

        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_NE(child, -1);
        if (child == 0)
        {
            ::close(ready[0]);
            ReplacementFile file;
            const std::string part(1 << 20, 'x');
            const bool ok = file.Open(path) && WriteString(file.Fd(), part) &&
                            WriteString(file.Fd(), part);
            const char report = ok ? '1' : '0';
            [[maybe_unused]] const ssize_t sent = ::write(ready[1], &report, 1);
            for (;;)
                ::pause(); // killed mid-save
        }
        ::close(ready[1]);
        char report = 0;
        ssize_t got;
        do
            got = ::read(ready[0], &report, 1);
        while (got < 0 && errno == EINTR);
        ::close(ready[0]);
        ASSERT_EQ(::kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_EQ(got, 1);
        ASSERT_EQ(report, '1') << "the child could not write its temporary";

        EXPECT_EQ(ReadTextFile(path), "old contents");
        const std::vector<std::string> entries = FolderEntries(dir.Path());
        if (named)
        {
            ASSERT_EQ(entries.size(), 2u);
            EXPECT_EQ(entries[0].rfind(".image.tif.tmp-", 0), 0u) << entries[0];
        }
        else
        {
            EXPECT_EQ(entries, std::vector<std::string>{"image.tif"});
        }
    }
}

// A save killed in the moment between naming its temporary and the rename
// leaves a complete temporary beside the target; the next save of that
// target removes it, when it is ours, has not been written for a minute
// and no live process holds it open. Another target's temporaries, fresh
// ones, files that only look like ours and ones still open all stay.
TEST(FileReplace, NextSaveRemovesStaleTemporariesOfItsTargetOnly)
{
    enum class Kind
    {
        File,
        Folder,
        Link
    };
    enum class Holder
    {
        None,
        ThisProcess,
        OtherProcess
    };
    struct Case
    {
        const char* name;
        Kind kind;
        int ageSeconds;
        Holder holder;
        bool removed;
    };
    const Case cases[] = {
        {".photo.tif.tmp-AbCdEfGh01", Kind::File, 120, Holder::None, true},
        {".photo.tif.tmp-ZZZZZZZZZZ", Kind::File, 3600 * 24 * 30, Holder::None, true},
        {".photo.tif.tmp-Fresh00001", Kind::File, 5, Holder::None, false},
        {".photo.tif.tmp-Fresh00002", Kind::File, 50, Holder::None, false},
        {".other.tif.tmp-AbCdEfGh01", Kind::File, 120, Holder::None, false},
        {".photo.tif.tmp-AbCdEfGh0", Kind::File, 120, Holder::None, false},
        {".photo.tif.tmp-AbCdEfGh012", Kind::File, 120, Holder::None, false},
        {".photo.tif.tmp-AbCd-fGh01", Kind::File, 120, Holder::None, false},
        {"photo.tif.tmp-AbCdEfGh01", Kind::File, 120, Holder::None, false},
        {".photo.tif.tmp-Folder0001", Kind::Folder, 120, Holder::None, false},
        {".photo.tif.tmp-Link000001", Kind::Link, 120, Holder::None, false},
        {".photo.tif.tmp-HeldHere01", Kind::File, 120, Holder::ThisProcess, false},
        {".photo.tif.tmp-HeldThere1", Kind::File, 120, Holder::OtherProcess, false},
    };
    for (const bool named : kNamedTemporaries)
    {
        SCOPED_TRACE(Way(named));
        ScopedNamedTemporaries way(named);
        for (const Case& c : cases)
        {
            SCOPED_TRACE(c.name);
            TempDir dir;
            const std::string target = dir.File("photo.tif");
            WriteTextFile(target, "old contents");
            const std::string leftover = dir.File(c.name);
            switch (c.kind)
            {
            case Kind::File:
                WriteTextFile(leftover, std::string(4096, 'x'));
                break;
            case Kind::Folder:
                std::filesystem::create_directory(leftover);
                break;
            case Kind::Link:
                std::filesystem::create_symlink(target, leftover);
                break;
            }
            struct timespec times[2];
            ASSERT_EQ(::clock_gettime(CLOCK_REALTIME, &times[0]), 0);
            times[0].tv_sec -= c.ageSeconds;
            times[1] = times[0];
            ASSERT_EQ(::utimensat(AT_FDCWD, leftover.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);

            int heldHere = -1;
            pid_t holder = -1;
            int ready[2] = {-1, -1};
            if (c.holder == Holder::ThisProcess)
                heldHere = ::open(leftover.c_str(), O_RDWR | O_CLOEXEC);
            if (c.holder == Holder::OtherProcess)
            {
                ASSERT_EQ(::pipe(ready), 0);
                holder = ::fork();
                ASSERT_NE(holder, -1);
                if (holder == 0)
                {
                    const int fd = ::open(leftover.c_str(), O_RDWR | O_CLOEXEC);
                    const char report = fd >= 0 ? '1' : '0';
                    [[maybe_unused]] const ssize_t sent = ::write(ready[1], &report, 1);
                    for (;;)
                        ::pause();
                }
                char report = 0;
                ssize_t got;
                do
                    got = ::read(ready[0], &report, 1);
                while (got < 0 && errno == EINTR);
                ASSERT_EQ(report, '1');
            }

            std::string error;
            EXPECT_TRUE(ReplaceFileContents(target, "new contents", &error)) << error;
            EXPECT_EQ(ReadTextFile(target), "new contents");
            EXPECT_EQ(!std::filesystem::exists(std::filesystem::symlink_status(leftover)), c.removed);

            if (heldHere >= 0)
                ::close(heldHere);
            if (holder > 0)
            {
                ::kill(holder, SIGKILL);
                int status = 0;
                ::waitpid(holder, &status, 0);
                ::close(ready[0]);
                ::close(ready[1]);
                // Its holder gone, the temporary is stale: the next save
                // takes it.
                EXPECT_TRUE(ReplaceFileContents(target, "newer contents", &error)) << error;
                EXPECT_FALSE(std::filesystem::exists(leftover));
            }
        }
    }
}

// What a save of target killed after naming its temporary leaves: a
// complete temporary of target's, last written an hour ago. Its name.
std::string LeaveStaleTemporary(const TempDir& dir, const std::string& target)
{
    const std::vector<std::string> before = FolderEntries(dir.Path());
    std::string temporary;
    {
        ReplacementFile file;
        EXPECT_TRUE(file.Open(target));
        EXPECT_TRUE(WriteAll(file.Fd(), "left behind"));
        for (const std::string& name : FolderEntries(dir.Path()))
            if (std::find(before.begin(), before.end(), name) == before.end())
                temporary = name;
        // Kept under another name while the abandoned replacement removes
        // its own, then put back.
        EXPECT_EQ(::link(dir.File(temporary).c_str(), dir.File("kept").c_str()), 0) << temporary;
    }
    EXPECT_EQ(::rename(dir.File("kept").c_str(), dir.File(temporary).c_str()), 0);
    struct timespec times[2];
    EXPECT_EQ(::clock_gettime(CLOCK_REALTIME, &times[0]), 0);
    times[0].tv_sec -= 3600;
    times[1] = times[0];
    EXPECT_EQ(::utimensat(AT_FDCWD, dir.File(temporary).c_str(), times, 0), 0);
    return temporary;
}

// Targets whose names share their first 200 bytes (the most a temporary's
// name keeps of them) have temporaries of their own names: a save takes
// only its own target's stale temporaries, never the other's. Every
// temporary's name stays within NAME_MAX and hidden.
TEST(FileReplace, LongNamesSharingTheirStartKeepTheirOwnTemporaries)
{
    const std::string shared(200, 'n');
    const struct
    {
        const char* name;
        std::string saved;
        std::string other;
    } cases[] = {
        {"both of the longest", shared + std::string(55, 'a'), shared + std::string(55, 'b')},
        {"lengths differ", shared + "a.tif", shared + "a.tif.bak" + std::string(40, 'x')},
        {"one of exactly 200 bytes", shared, shared + ".tif"},
        {"the other of exactly 200 bytes", shared + ".tif", shared},
    };
    ScopedNamedTemporaries way(true);
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string saved = dir.File(c.saved);
        const std::string other = dir.File(c.other);
        WriteTextFile(saved, "old");
        WriteTextFile(other, "other's");
        const std::string own = LeaveStaleTemporary(dir, saved);
        const std::string others = LeaveStaleTemporary(dir, other);
        ASSERT_FALSE(own.empty());
        ASSERT_FALSE(others.empty());
        ASSERT_NE(own, others);
        for (const std::string& temporary : {own, others})
        {
            EXPECT_LE(temporary.size(), 255u);
            EXPECT_EQ(temporary[0], '.');
            EXPECT_NE(temporary.find(".tmp-"), std::string::npos);
        }

        std::string error;
        ASSERT_TRUE(ReplaceFileContents(saved, "new", &error)) << error;
        EXPECT_EQ(ReadTextFile(saved), "new");
        EXPECT_FALSE(std::filesystem::exists(dir.File(own)));
        EXPECT_TRUE(std::filesystem::exists(dir.File(others)));
        EXPECT_EQ(ReadTextFile(other), "other's");
    }
}

// The save itself counts as just written from naming its temporary to the
// rename, however long ago its contents were written: a save of the same
// target in another process never takes the temporary of one in progress.
TEST(ReplacementFile, TemporaryOfASaveInProgressIsNotStale)
{
    for (const bool named : kNamedTemporaries)
    {
        SCOPED_TRACE(Way(named));
        ScopedNamedTemporaries way(named);
        TempDir dir;
        const std::string target = dir.File("photo.tif");
        WriteTextFile(target, "old contents");
        ReplacementFile slow;
        ASSERT_TRUE(slow.Open(target));
        ASSERT_TRUE(WriteString(slow.Fd(), "slow contents"));
        // Written long ago (its writer stalled on a slow disk, say).
        struct timespec times[2];
        ASSERT_EQ(::clock_gettime(CLOCK_REALTIME, &times[0]), 0);
        times[0].tv_sec -= 600;
        times[1] = times[0];
        ASSERT_EQ(::futimens(slow.Fd(), times), 0);
        EXPECT_TRUE(ReplaceFileContents(target, "quick contents"));
        ASSERT_TRUE(slow.Commit());
        EXPECT_EQ(ReadTextFile(target), "slow contents");
        EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"photo.tif"});
    }
}

TEST(ReplacementFile, AbandonedReplacementKeepsTargetAndRemovesTemporary)
{
    for (const bool named : kNamedTemporaries)
    {
        SCOPED_TRACE(Way(named));
        ScopedNamedTemporaries way(named);
        TempDir dir;
        const std::string existing = dir.File("existing");
        WriteTextFile(existing, "kept");
        {
            ReplacementFile file;
            ASSERT_TRUE(file.Open(existing));
            ASSERT_TRUE(WriteString(file.Fd(), "never seen"));
        }
        {
            ReplacementFile file;
            ASSERT_TRUE(file.Open(dir.File("fresh")));
            ASSERT_TRUE(WriteString(file.Fd(), "never seen"));
        }
        EXPECT_EQ(ReadTextFile(existing), "kept");
        EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"existing"});
    }
}

TEST(ReplacementFile, FailuresReportAndLeaveNoTemporary)
{
    for (const bool named : kNamedTemporaries)
    {
        SCOPED_TRACE(Way(named));
        ScopedNamedTemporaries way(named);
        TempDir dir;
        std::string error;
        ReplacementFile nowhere;
        EXPECT_FALSE(nowhere.Open(dir.File("no-such-folder/file"), &error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(nowhere.Fd(), -1);
        EXPECT_FALSE(nowhere.Commit());

        // rename() refuses to put a file over a non-empty folder at commit.
        ASSERT_EQ(::mkdir(dir.File("folder").c_str(), 0755), 0);
        WriteTextFile(dir.File("folder/inside"), "kept");
        ReplacementFile overFolder;
        ASSERT_TRUE(overFolder.Open(dir.File("folder")));
        ASSERT_TRUE(WriteString(overFolder.Fd(), "new"));
        error.clear();
        EXPECT_FALSE(overFolder.Commit(&error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"folder"});
        EXPECT_EQ(ReadTextFile(dir.File("folder/inside")), "kept");
    }
}

} // namespace

TEST(MoveFileNoReplace, MovesToAFreeNameButNeverOverAnExistingFile)
{
    testsupport::TempDir dir;
    const std::string from = dir.File("log.tmp");
    const std::string to = dir.File("Batch_log.txt");
    testsupport::WriteTextFile(from, "first");
    ::chmod(from.c_str(), 0600);
    EXPECT_EQ(platform::MoveFileNoReplace(from, to), 0);
    EXPECT_FALSE(std::filesystem::exists(from));
    EXPECT_EQ(testsupport::ReadTextFile(to), "first");
    // The moved file is readable by others like any new file (our umask of
    // the test run leaves at least the owner's read and write bits).
    struct stat st{};
    ASSERT_EQ(::stat(to.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0600, 0600u);
    EXPECT_EQ(st.st_mode & 0111, 0u);

    testsupport::WriteTextFile(from, "second");
    EXPECT_EQ(platform::MoveFileNoReplace(from, to), EEXIST);
    EXPECT_EQ(testsupport::ReadTextFile(to), "first");
    EXPECT_EQ(testsupport::ReadTextFile(from), "second");

    // Into a folder that does not exist: the source stays.
    EXPECT_NE(platform::MoveFileNoReplace(from, dir.File("missing/log.txt")), 0);
    EXPECT_EQ(testsupport::ReadTextFile(from), "second");
}
