// The command line: which arguments become paths (a list file alone
// wherever it stands, probed images, a folder's images without its
// sub-folders, nothing that does not exist, no switch), forwarded
// arguments split into switches and paths, and what a second start sends.

#include "app/shell/ChromivelApp.h"
#include "app/shell/SingleInstance.h"
#include "tests/support/PipesAndSockets.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Paths = std::vector<std::string>;

// A folder tree of images the probe accepts and files it refuses:
//   a.jpg B.jpg c.JPG            images
//   tiny.jpg                     an image smaller than the probe takes
//   fake.jpg notes.txt           not images
//   list.cvl LIST2.CVL           list files (the probe never sees them)
//   sub/ Z.jpg a2.jpg d.jpg .hidden.jpg inner.cvl deeper/f.jpg
class CommandLineTree : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_dir = new testsupport::TempDir;
        std::filesystem::create_directories(s_dir->File("sub/deeper"));
        for (const char* name : {"a.jpg", "B.jpg", "c.JPG", "sub/Z.jpg", "sub/a2.jpg", "sub/d.jpg",
                                 "sub/.hidden.jpg", "sub/deeper/f.jpg"})
            WriteJpeg(s_dir->File(name), 64);
        WriteJpeg(s_dir->File("tiny.jpg"), 10);
        for (const char* name : {"fake.jpg", "notes.txt", "list.cvl", "LIST2.CVL", "sub/inner.cvl"})
            testsupport::WriteTextFile(s_dir->File(name), "not an image\n");
    }
    static void TearDownTestSuite()
    {
        delete s_dir;
        s_dir = nullptr;
    }

    static void WriteJpeg(const std::string& path, int side)
    {
        QImage image(side, side, QImage::Format_RGB32);
        image.fill(QColor(200, 120, 40));
        ASSERT_TRUE(image.save(QString::fromStdString(path), "JPEG")) << path;
    }

    static std::string At(const std::string& name) { return s_dir->File(name); }

    static testsupport::TempDir* s_dir;
};

testsupport::TempDir* CommandLineTree::s_dir = nullptr;

TEST_F(CommandLineTree, ParseParamTakesListFileAloneImagesAndFolderLevels)
{
    struct Argument
    {
        std::string param;
        bool flag;
    };
    struct Case
    {
        const char* what;
        std::vector<Argument> arguments;
        bool listFile;
        Paths paths;
    };
    const Case cases[] = {
        {"images in the order given", {{At("B.jpg"), false}, {At("a.jpg"), false}}, false,
         {At("B.jpg"), At("a.jpg")}},
        {"an extension in capitals is still an image", {{At("c.JPG"), false}}, false, {At("c.JPG")}},
        {"the list file drops the images before it and ends the taking",
         {{At("a.jpg"), false}, {At("list.cvl"), false}, {At("B.jpg"), false}, {At("sub"), false}},
         true,
         {At("list.cvl")}},
        {"a list file first", {{At("list.cvl"), false}, {At("a.jpg"), false}}, true, {At("list.cvl")}},
        {"the list extension in any case", {{At("LIST2.CVL"), false}}, true, {At("LIST2.CVL")}},
        {"a second list file is not looked at",
         {{At("list.cvl"), false}, {At("LIST2.CVL"), false}},
         true,
         {At("list.cvl")}},
        {"a folder adds its own images by name ignoring case, no sub-folder, no hidden file, "
         "no list file",
         {{At("sub"), false}},
         false,
         {At("sub/a2.jpg"), At("sub/d.jpg"), At("sub/Z.jpg")}},
        {"a folder with a trailing slash", {{At("sub/"), false}}, false,
         {At("sub/a2.jpg"), At("sub/d.jpg"), At("sub/Z.jpg")}},
        {"what does not exist is dropped",
         {{At("missing.jpg"), false}, {At("missing.cvl"), false}, {At("a.jpg"), false}},
         false,
         {At("a.jpg")}},
        {"files the probe refuses are dropped",
         {{At("notes.txt"), false}, {At("fake.jpg"), false}, {At("tiny.jpg"), false}, {At("a.jpg"), false}},
         false,
         {At("a.jpg")}},
        {"switches are ignored, a list file named by one too",
         {{At("list.cvl"), true}, {At("a.jpg"), true}, {At("B.jpg"), false}},
         false,
         {At("B.jpg")}},
        {"an empty argument", {{"", false}}, false, {}},
        {"a path through \"..\" is stored without it", {{At("sub/../a.jpg"), false}}, false, {At("a.jpg")}},
    };
    for (const Case& c : cases)
    {
        CCommandLineInfoEx info;
        for (std::size_t i = 0; i < c.arguments.size(); ++i)
            info.ParseParam(c.arguments[i].param, c.arguments[i].flag, i + 1 == c.arguments.size());
        EXPECT_EQ(info.IsListFile(), c.listFile) << c.what;
        EXPECT_EQ(info.GetPaths(), c.paths) << c.what;
    }
}

// Relative arguments are taken against the working folder and stored
// absolute.
TEST_F(CommandLineTree, RelativeArgumentsBecomeAbsolute)
{
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(s_dir->Path())));
    CCommandLineInfoEx info;
    info.ParseParam("a.jpg", false, false);
    info.ParseParam("./sub/../B.jpg", false, true);
    QDir::setCurrent(before);
    EXPECT_EQ(info.GetPaths(), (Paths{At("a.jpg"), At("B.jpg")}));
}

// Arguments that name neither a regular file nor a folder are dropped at
// once: a named pipe called like an image or a list file (opening it would
// wait for a writer and freeze the window), a device behind an image's
// name, a socket. The arguments around them still count.
TEST_F(CommandLineTree, PipesDevicesAndSocketsAreDroppedWithoutWaiting)
{
    const testsupport::TempDir odd;
    const std::string pipeImage = odd.File("pipe.jpg");
    const std::string pipeList = odd.File("pipe.cvl");
    const std::string pipeFolder = odd.File("pipes");
    ASSERT_EQ(::mkfifo(pipeImage.c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(pipeList.c_str(), 0600), 0);
    std::filesystem::create_directory(pipeFolder);
    ASSERT_EQ(::mkfifo((pipeFolder + "/in.jpg").c_str(), 0600), 0);
    std::filesystem::copy_file(At("a.jpg"), pipeFolder + "/real.jpg");
    const std::string device = odd.File("null.jpg");
    std::filesystem::create_symlink("/dev/null", device);
    const std::string socketPath = odd.File("socket.jpg");
    const int socketFd = testsupport::BindLocalSocket(socketPath);
    ASSERT_GE(socketFd, 0);

    struct Case
    {
        Paths arguments;
        bool listFile;
        Paths paths;
    };
    const Case cases[] = {
        {{pipeImage}, false, {}},
        {{pipeList}, false, {}},
        {{device}, false, {}},
        {{socketPath}, false, {}},
        {{pipeImage, At("a.jpg"), pipeList, At("B.jpg")}, false, {At("a.jpg"), At("B.jpg")}},
        {{pipeList, At("list.cvl")}, true, {At("list.cvl")}},
        // A folder's pipes are not its images.
        {{pipeFolder}, false, {pipeFolder + "/real.jpg"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.arguments.front());
        auto parsed = std::async(std::launch::async, [&c] {
            CCommandLineInfoEx info;
            for (std::size_t i = 0; i < c.arguments.size(); ++i)
                info.ParseParam(c.arguments[i], false, i + 1 == c.arguments.size());
            return info;
        });
        if (parsed.wait_for(std::chrono::seconds(20)) != std::future_status::ready)
        {
            testsupport::ReleasePipeReader(pipeImage);
            testsupport::ReleasePipeReader(pipeList);
            ADD_FAILURE() << "the command line waited for a pipe";
        }
        const CCommandLineInfoEx info = parsed.get();
        EXPECT_EQ(info.IsListFile(), c.listFile);
        EXPECT_EQ(info.GetPaths(), c.paths);
    }
    ::close(socketFd);
}

// A copy is a separate command line: the frame reads its own.
TEST_F(CommandLineTree, CopiesAreIndependent)
{
    CCommandLineInfoEx info;
    info.ParseParam(At("a.jpg"), false, false);
    CCommandLineInfoEx copy = info;
    copy.ParseParam(At("list.cvl"), false, true);
    EXPECT_EQ(info.GetPaths(), Paths{At("a.jpg")});
    EXPECT_FALSE(info.IsListFile());
    EXPECT_TRUE(copy.IsListFile());
}

TEST_F(CommandLineTree, ForwardedArgumentsSkipTheProgramAndSplitSwitches)
{
    struct Case
    {
        const char* what;
        Paths arguments;
        bool listFile;
        Paths paths;
    };
    const Case cases[] = {
        {"nothing at all", {}, false, {}},
        {"the program alone", {"/usr/bin/chromivel"}, false, {}},
        {"the first argument is the program even when it is an image", {At("a.jpg")}, false, {}},
        {"paths after the program", {"/usr/bin/chromivel", At("a.jpg"), At("sub")}, false,
         {At("a.jpg"), At("sub/a2.jpg"), At("sub/d.jpg"), At("sub/Z.jpg")}},
        {"a leading '-' makes a switch, whatever follows it",
         {"chromivel", "-" + At("list.cvl"), "-" + At("a.jpg"), "--verbose", "-", At("B.jpg")},
         false,
         {At("B.jpg")}},
        {"a list file wins wherever it stands", {"chromivel", At("a.jpg"), At("list.cvl"), At("B.jpg")},
         true,
         {At("list.cvl")}},
    };
    for (const Case& c : cases)
    {
        const CCommandLineInfoEx info = ParseForwardedArguments(c.arguments);
        EXPECT_EQ(info.IsListFile(), c.listFile) << c.what;
        EXPECT_EQ(info.GetPaths(), c.paths) << c.what;
    }
}

// What a second start sends: relative arguments against its own working
// folder, switches and absolute paths as they are.
TEST(ForwardArguments, RelativeMadeAbsoluteSwitchesKept)
{
    struct Case
    {
        QStringList arguments;
        Paths sent;
    };
    const QString work = QStringLiteral("/home/user/photos");
    const Case cases[] = {
        {{}, {}},
        {{"chromivel"}, {"/home/user/photos/chromivel"}},
        {{"/usr/bin/chromivel", "a.jpg", "day 1/b.jpg"},
         {"/usr/bin/chromivel", "/home/user/photos/a.jpg", "/home/user/photos/day 1/b.jpg"}},
        {{"/usr/bin/chromivel", "-x", "--list", "-"}, {"/usr/bin/chromivel", "-x", "--list", "-"}},
        {{"/usr/bin/chromivel", "/abs/写真.jpg"}, {"/usr/bin/chromivel", "/abs/写真.jpg"}},
        {{"/usr/bin/chromivel", ""}, {"/usr/bin/chromivel", ""}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MakeForwardArguments(c.arguments, work), c.sent) << c.arguments.join(' ').toStdString();
}

} // namespace
