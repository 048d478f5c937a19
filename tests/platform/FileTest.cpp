#include "platform/File.h"

#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

using platform::File;
using platform::FileCreate;
using testsupport::ReadTextFile;
using testsupport::TempDir;
using testsupport::WriteTextFile;

namespace {

// A file opened for reading, through the system or its memory image.
struct ReadWay
{
    const char* name;
    bool map;
};
constexpr ReadWay kReadWays[] = {{"positioned reads", false}, {"memory image", true}};

} // namespace

// Both ways of reading give the same bytes and the same refusals: a range
// that ends past the file fails, an empty range succeeds at once wherever
// it lies and whatever the buffer (even none at all).
TEST(FileTest, ReadAtAgreesWithAndWithoutTheMemoryImage)
{
    TempDir dir;
    const std::string path = dir.File("ten.bin");
    WriteTextFile(path, "0123456789");
    for (const ReadWay& way : kReadWays)
    {
        SCOPED_TRACE(way.name);
        File file;
        ASSERT_TRUE(file.OpenRead(path));
        if (way.map)
        {
            ASSERT_TRUE(file.Map());
        }
        EXPECT_EQ(file.Mapped().size(), way.map ? 10u : 0u);

        std::uint8_t bytes[4] = {};
        ASSERT_TRUE(file.ReadAt(6, bytes, 4));
        EXPECT_EQ(std::string(bytes, bytes + 4), "6789");
        EXPECT_FALSE(file.ReadAt(7, bytes, 4));
        EXPECT_FALSE(file.ReadAt(~std::uint64_t{0}, bytes, 1));
        for (const std::uint64_t offset : {std::uint64_t{0}, std::uint64_t{10}, ~std::uint64_t{0}})
        {
            EXPECT_TRUE(file.ReadAt(offset, nullptr, 0)) << offset;
            EXPECT_TRUE(file.ReadAt(offset, std::span<std::uint8_t>())) << offset;
        }
    }
    // A file not open reads nothing, not even zero bytes.
    File closed;
    EXPECT_FALSE(closed.ReadAt(0, nullptr, 0));
}

TEST(FileTest, EmptyFileHasNoMemoryImage)
{
    TempDir dir;
    const std::string path = dir.File("empty.bin");
    WriteTextFile(path, "");
    File file;
    ASSERT_TRUE(file.OpenRead(path));
    EXPECT_FALSE(file.Map());
    EXPECT_TRUE(file.Mapped().empty());
    std::uint64_t size = 1;
    ASSERT_TRUE(file.Size(&size));
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(file.ReadAt(0, nullptr, 0));
}

// The ways of opening for writing: Truncate empties, Exclusive refuses a
// taken name, Append adds at the end whatever the position.
TEST(FileTest, OpenWriteModes)
{
    TempDir dir;
    const std::string path = dir.File("out.txt");
    WriteTextFile(path, "old contents");
    {
        File file;
        ASSERT_TRUE(file.OpenWrite(path, FileCreate::Truncate));
        ASSERT_TRUE(file.WriteAll("new"));
        ASSERT_TRUE(file.Close());
    }
    EXPECT_EQ(ReadTextFile(path), "new");
    {
        File file;
        EXPECT_FALSE(file.OpenWrite(path, FileCreate::Exclusive));
        EXPECT_FALSE(file.IsOpen());
        ASSERT_TRUE(file.OpenWrite(dir.File("fresh.txt"), FileCreate::Exclusive));
    }
    {
        File file;
        ASSERT_TRUE(file.OpenWrite(path, FileCreate::Append));
        ASSERT_TRUE(file.WriteAll(" and more"));
    }
    EXPECT_EQ(ReadTextFile(path), "new and more");
}

// Sequential and positioned transfers on one file, and the length.
TEST(FileTest, SequentialAndPositionedTransfers)
{
    TempDir dir;
    File file;
    ASSERT_TRUE(file.OpenWrite(dir.File("rw.bin"), FileCreate::Truncate));
    ASSERT_TRUE(file.WriteAll("abcdef"));
    ASSERT_TRUE(file.WriteAt(2, "XY", 2));
    ASSERT_TRUE(file.WriteAll("gh")); // the position did not move with WriteAt
    std::uint64_t size = 0;
    ASSERT_TRUE(file.Size(&size));
    EXPECT_EQ(size, 8u);
    ASSERT_TRUE(file.Rewind());
    char text[16] = {};
    EXPECT_EQ(file.Read(text, sizeof text), 8u); // short at the end of the file
    EXPECT_EQ(std::string(text), "abXYefgh");
    ASSERT_TRUE(file.Resize(3));
    ASSERT_TRUE(file.Size(&size));
    EXPECT_EQ(size, 3u);
    EXPECT_TRUE(file.IsRegular());
}

TEST(FileTest, MovedFileKeepsItsDescriptorOnce)
{
    TempDir dir;
    const std::string path = dir.File("moved.txt");
    WriteTextFile(path, "abc");
    File first;
    ASSERT_TRUE(first.OpenRead(path));
    ASSERT_TRUE(first.Map());
    File second(std::move(first));
    EXPECT_FALSE(first.IsOpen());
    EXPECT_TRUE(first.Mapped().empty());
    std::uint8_t byte = 0;
    ASSERT_TRUE(second.ReadAt(2, &byte, 1));
    EXPECT_EQ(byte, 'c');
    EXPECT_TRUE(second.Close());
    EXPECT_TRUE(second.Close()); // closing twice is harmless
}

TEST(FileTest, UniqueNamesFromAPattern)
{
    TempDir dir;
    std::string a = dir.File("TMPXXXXXX.tmp");
    std::string b = a;
    File fa;
    File fb;
    ASSERT_TRUE(fa.OpenUnique(a, 4));
    ASSERT_TRUE(fb.OpenUnique(b, 4));
    EXPECT_NE(a, b);
    EXPECT_TRUE(a.ends_with(".tmp"));
    EXPECT_TRUE(platform::IsRegularFile(a));
    std::string bad = dir.File("nothing-to-replace");
    EXPECT_FALSE(File().OpenUnique(bad, 0));
}

// What a path is: the checks the readers make before they open anything.
TEST(FileTest, PathQueries)
{
    TempDir dir;
    const std::string file = dir.File("plain.txt");
    WriteTextFile(file, "12345");
    platform::FileStatus status;
    ASSERT_TRUE(platform::ReadFileStatus(file, status));
    EXPECT_TRUE(status.regular);
    EXPECT_FALSE(status.folder);
    EXPECT_EQ(status.size, 5u);
    ASSERT_TRUE(platform::ReadFileStatus(dir.Path(), status));
    EXPECT_TRUE(status.folder);
    EXPECT_FALSE(status.regular);
    EXPECT_FALSE(platform::ReadFileStatus(dir.File("missing"), status));
    EXPECT_FALSE(platform::ReadFileStatus("", status));

    EXPECT_TRUE(platform::IsRegularFile(file));
    EXPECT_FALSE(platform::IsRegularFile(dir.Path()));
    EXPECT_FALSE(platform::IsRegularFile("/dev/null"));
    EXPECT_TRUE(platform::PathExists(file));
    EXPECT_FALSE(platform::PathExists(dir.File("missing")));
    EXPECT_FALSE(platform::IsExecutableFile(file));
    EXPECT_TRUE(platform::IsExecutableFile("/bin/sh"));
}
