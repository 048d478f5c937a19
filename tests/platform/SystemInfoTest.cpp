#include "platform/SystemInfo.h"

#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

TEST(SystemInfoTest, MemoryAndDiskFiguresAreBytesAndFreeNeverExceedsTotal)
{
    platform::MemoryStatus memory;
    ASSERT_TRUE(platform::ReadMemoryStatus(memory));
    // Bytes, not pages or kilobytes: any machine that runs the tests has
    // more than 64 MiB.
    EXPECT_GT(memory.totalRam, std::uint64_t{64} << 20);
    EXPECT_LE(memory.freeRam, memory.totalRam);
    EXPECT_LE(memory.freeSwap, memory.totalSwap);

    testsupport::TempDir dir;
    platform::DiskSpace disk;
    ASSERT_TRUE(platform::ReadDiskSpace(dir.Path(), disk));
    EXPECT_GT(disk.total, std::uint64_t{1} << 20);
    EXPECT_LE(disk.freeToCaller, disk.total);
}

TEST(SystemInfoTest, AFailedDiskQueryLeavesTheFiguresAlone)
{
    testsupport::TempDir dir;
    platform::DiskSpace disk{7, 9};
    EXPECT_FALSE(platform::ReadDiskSpace(dir.File("missing/folder"), disk));
    EXPECT_FALSE(platform::ReadDiskSpace("", disk));
    EXPECT_EQ(disk.freeToCaller, 7u);
    EXPECT_EQ(disk.total, 9u);
}
