#include "imagefile/DNGConverter.h"

#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

using testsupport::TempDir;
using testsupport::WriteTextFile;

// A shell script standing in for the converter: it records its arguments
// one per line in args.txt next to itself, then runs body.
std::string WriteStubConverter(const TempDir& dir, const std::string& name, const std::string& body)
{
    const std::string path = dir.File(name);
    WriteTextFile(path, "#!/bin/sh\n"
                        "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                            dir.File("args.txt") + "\"\n" + body + "\n");
    ::chmod(path.c_str(), 0755);
    return path;
}

// Counts the converter's reports and keeps the last (waits done, wait
// limit). It answers false throughout: the answer is no cancel, so the
// conversions run to their end all the same.
struct CountingProgress final : IProgressSink
{
    int calls = 0;
    std::int64_t lastTotal = -1;
    bool Report(double) override { return false; }
    bool Report(std::int64_t, std::int64_t total) override
    {
        ++calls;
        lastTotal = total;
        return false;
    }
};

bool FileExists(const std::string& path)
{
    struct stat st
    {};
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace

TEST(BuiltinRawExtensionsTest, ListTestAndFilter)
{
    std::vector<std::string> list{"stale"};
    GetBuiltinRawExtensions(list);
    const std::vector<std::string> expected{".cr2", ".crw", ".dcr", ".mrw", ".nef",
                                            ".orf", ".raw", ".pef", ".x3f"};
    EXPECT_EQ(list, expected);

    EXPECT_TRUE(IsBuiltinRawExtension(".NEF"));
    EXPECT_TRUE(IsBuiltinRawExtension(".x3f"));
    EXPECT_FALSE(IsBuiltinRawExtension(".dng"));
    EXPECT_FALSE(IsBuiltinRawExtension("nef"));
    EXPECT_FALSE(IsBuiltinRawExtension(""));

    std::string filter = "x";
    BuildBuiltinRawFilter(filter);
    EXPECT_EQ(filter, "x*.cr2;*.crw;*.dcr;*.mrw;*.nef;*.orf;*.raw;*.pef;*.x3f");
}

TEST(DNGConverterManagerTest, CommandLineAndArguments)
{
    struct Case
    {
        bool compressed, linear, embed;
        int preview;
        std::string folder, name;
        std::string line;
        std::vector<std::string> argv;
    };
    const Case cases[] = {
        {true, false, false, 0, "", "", " -c -p0 \"/r/a b.nef\"", {"-c", "-p0", "/r/a b.nef"}},
        {false,
         true,
         true,
         2,
         "/out dir/",
         "x.dng",
         " -u -l -e -p2 -d \"/out dir/\" -o \"x.dng\" \"/r/a b.nef\"",
         {"-u", "-l", "-e", "-p2", "-d", "/out dir/", "-o", "x.dng", "/r/a b.nef"}},
        {true,
         false,
         false,
         7,
         "",
         "n",
         " -c -o \"n\" \"/r/a b.nef\"",
         {"-c", "-o", "n", "/r/a b.nef"}},
    };
    for (const Case& c : cases)
    {
        CDNGConverterManager m;
        m.m_compressed = c.compressed;
        m.m_linear = c.linear;
        m.m_embedRawFile = c.embed;
        m.m_preview = c.preview;
        m.m_outputFolder = c.folder;
        m.m_outputName = c.name;
        m.m_source = "/r/a b.nef";
        std::string line;
        EXPECT_TRUE(m.BuildCommandLine(line));
        EXPECT_EQ(line, c.line);
        std::vector<std::string> argv;
        EXPECT_TRUE(m.BuildArguments(argv));
        EXPECT_EQ(argv, c.argv);
    }
}

TEST(DNGConverterManagerTest, MissingInputsGiveStatus2WithoutCallback)
{
    TempDir dir;
    CDNGConverterManager m;
    CountingProgress counting;
    EXPECT_FALSE(m.Convert("/x/a.nef", counting));
    EXPECT_EQ(m.GetStatus(), kDngConvNoInput);
    m.m_converterPath = WriteStubConverter(dir, "conv.sh", "exit 0");
    EXPECT_FALSE(m.Convert("", counting));
    EXPECT_EQ(m.GetStatus(), kDngConvNoInput);
    EXPECT_EQ(counting.calls, 0);
    EXPECT_FALSE(FileExists(dir.File("args.txt")));
}

TEST(DNGConverterManagerTest, StubConverterStatuses)
{
    struct Case
    {
        const char* body;
        bool result;
        int status;
    };
    // Exit 0 writing the requested file; exit 1; never exiting (the short
    // wait limit makes it count as hung).
    const Case cases[] = {
        {"printf DNG > \"$4$6\"; exit 0", true, kDngConvSuccess},
        {"exit 1", false, kDngConvExitCode},
        {"exec sleep 30", false, kDngConvTimedOut},
        {"kill -9 $$", false, kDngConvExitCode},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.body);
        TempDir dir;
        CDNGConverterManager m;
        m.m_converterPath = WriteStubConverter(dir, "conv.sh", c.body);
        m.m_outputFolder = dir.Path();
        m.m_outputName = "out file.dng";
        m.SetWaitLimits(20, 5);
        CountingProgress counting;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(m.Convert(dir.File("in put.nef"), counting), c.result);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(m.GetStatus(), c.status);
        EXPECT_GE(counting.calls, 2);     // once before the start, once per wait
        EXPECT_EQ(counting.lastTotal, 5); // out of the wait limit
        if (c.result)
        {
            EXPECT_EQ(testsupport::ReadTextFile(dir.File("out file.dng")), "DNG");
            // Arguments arrive whole, blanks included, without quotes.
            EXPECT_EQ(testsupport::ReadTextFile(dir.File("args.txt")),
                      "-c\n-p0\n-d\n" + dir.Path() + "\n-o\nout file.dng\n" +
                          dir.File("in put.nef") + "\n");
        }
    }
}

TEST(DNGConverterManagerTest, LongArgumentIsNotCut)
{
    TempDir dir;
    CDNGConverterManager m;
    m.m_converterPath = WriteStubConverter(dir, "conv.sh", "exit 0");
    const std::string source = dir.Path() + std::string(4000, 'r') + ".nef";
    EXPECT_TRUE(m.Convert(source));
    EXPECT_EQ(testsupport::ReadTextFile(dir.File("args.txt")), "-c\n-p0\n" + source + "\n");
}

TEST(DNGConverterManagerTest, StartFailures)
{
    TempDir dir;
    CDNGConverterManager m;
    m.m_converterPath = dir.File("missing-converter");
    EXPECT_FALSE(m.Convert("/x/a.nef"));
    EXPECT_EQ(m.GetStatus(), kDngConvStartFailed);

    // A Windows program with no wine to run it.
    testsupport::ScopedEnv path("PATH", dir.Path());
    m.m_converterPath = WriteStubConverter(dir, "Adobe DNG Converter.exe", "exit 0");
    EXPECT_FALSE(m.Convert("/x/a.nef"));
    EXPECT_EQ(m.GetStatus(), kDngConvStartFailed);
}

TEST(DNGConverterManagerTest, WindowsProgramStartsThroughWine)
{
    TempDir dir;
    // A fake wine that runs the program it is given.
    WriteTextFile(dir.File("wine"), "#!/bin/sh\nprintf '%s\\n' \"$1\" > \"" + dir.File("wine.txt") +
                                        "\"\nshift\nexit 3\n");
    ::chmod(dir.File("wine").c_str(), 0755);
    testsupport::ScopedEnv path("PATH", dir.Path() + ":/usr/bin:/bin");
    EXPECT_EQ(FindWineProgram(), dir.File("wine"));
    CDNGConverterManager m;
    m.m_converterPath = dir.File("conv.EXE");
    EXPECT_FALSE(m.Convert("/x/a.nef"));
    EXPECT_EQ(m.GetStatus(), kDngConvExitCode);
    EXPECT_EQ(testsupport::ReadTextFile(dir.File("wine.txt")), dir.File("conv.EXE") + "\n");
}

TEST(DNGConverterManagerTest, CancelStopsTheWaitPromptly)
{
    TempDir dir;
    CDNGConverterManager m;
    m.m_converterPath = WriteStubConverter(dir, "conv.sh", "exec sleep 30");
    std::atomic<bool> cancel{false};
    m.SetCancelFlag(&cancel);
    std::thread canceller([&cancel] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        cancel = true;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(m.Convert("/x/a.nef"));
    canceller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(m.GetStatus(), kDngConvTimedOut);
}
