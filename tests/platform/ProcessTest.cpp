#include "platform/Process.h"

#include "platform/File.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>

using platform::Process;
using platform::WaitResult;
using namespace std::chrono_literals;

TEST(ProcessTest, ExitCodesAndSignals)
{
    struct Case
    {
        const char* script;
        int exitCode;
    };
    const Case cases[] = {{"exit 0", 0}, {"exit 3", 3}, {"kill -TERM $$", -1}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.script);
        Process process;
        ASSERT_TRUE(process.Start({"/bin/sh", "-c", c.script}));
        ASSERT_EQ(process.Wait(60s), WaitResult::Exited);
        EXPECT_EQ(process.ExitCode(), c.exitCode);
        // Reaped: nothing more to wait for.
        EXPECT_EQ(process.Wait(0ms), WaitResult::Lost);
    }
}

// The child reads /dev/null, not our input: a program that reads its
// input to the end finishes at once.
TEST(ProcessTest, InputIsEmpty)
{
    Process process;
    ASSERT_TRUE(process.Start({"/bin/sh", "-c", "read line; test -z \"$line\""}));
    ASSERT_EQ(process.Wait(60s), WaitResult::Exited);
    EXPECT_EQ(process.ExitCode(), 0);
}

// A child that outlives its wait, or whose wait is cancelled, is still
// running; Kill ends its whole group, the helpers it started included.
TEST(ProcessTest, TimeOutCancelAndKillTheGroup)
{
    testsupport::TempDir dir;
    const std::string marker = dir.File("helper-alive");
    Process process;
    // The helper would leave a file behind if it outlived the kill.
    ASSERT_TRUE(process.Start({"/bin/sh", "-c", "(sleep 1; touch '" + marker + "') & sleep 60"}));
    EXPECT_EQ(process.Wait(20ms), WaitResult::TimedOut);
    std::atomic<bool> cancel{true};
    EXPECT_EQ(process.Wait(60s, &cancel), WaitResult::Cancelled);
    process.Kill();
    EXPECT_EQ(process.Wait(0ms), WaitResult::Lost);
    // Give the helper the time it would have needed, then look.
    Process pause;
    ASSERT_TRUE(pause.Start({"/bin/sleep", "1.5"}));
    ASSERT_EQ(pause.Wait(60s), WaitResult::Exited);
    EXPECT_FALSE(platform::PathExists(marker));
}

TEST(ProcessTest, MissingProgramDoesNotStart)
{
    testsupport::TempDir dir;
    Process process;
    EXPECT_FALSE(process.Start({dir.File("no-such-program")}));
    EXPECT_FALSE(process.Start({}));
    EXPECT_EQ(process.Wait(0ms), WaitResult::Lost);
}
