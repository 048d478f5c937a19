#include "core/TempFiles.h"

#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::ReadTextFile;
using testsupport::TempDir;
using testsupport::WriteTextFile;

namespace {

bool Exists(const std::string& path)
{
    struct stat st
    {};
    return ::lstat(path.c_str(), &st) == 0;
}

TEST(MakeUniqueFileNameTest, FreePathIsLeftUnchanged)
{
    TempDir dir;
    std::string path = dir.File("photo.tif");
    EXPECT_TRUE(MakeUniqueFileName(path));
    EXPECT_EQ(path, dir.File("photo.tif"));
}

TEST(MakeUniqueFileNameTest, TakenNamesGetTheNextFreeNumber)
{
    TempDir dir;
    WriteTextFile(dir.File("photo.tif"), "x");
    std::string path = dir.File("photo.tif");
    EXPECT_TRUE(MakeUniqueFileName(path));
    EXPECT_EQ(path, dir.File("photo_00002.tif"));

    WriteTextFile(path, "x");
    path = dir.File("photo.tif");
    EXPECT_TRUE(MakeUniqueFileName(path));
    EXPECT_EQ(path, dir.File("photo_00003.tif"));
}

TEST(MakeUniqueFileNameTest, EveryNameTakenIsAFailureAndLeavesThePath)
{
    TempDir dir;
    // The name itself and all of photo_00002.tif .. photo_99999.tif exist,
    // except one: first the gap is found, then, with the gap filled, the
    // caller learns that no free name is left.
    auto touch = [](const std::string& path) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0) << path;
        ::close(fd);
    };
    touch(dir.File("photo.tif"));
    for (int n = 2; n <= 99999; ++n)
    {
        if (n == 77777)
            continue;
        char name[32];
        std::snprintf(name, sizeof name, "photo_%05d.tif", n);
        touch(dir.File(name));
    }
    std::string path = dir.File("photo.tif");
    EXPECT_TRUE(MakeUniqueFileName(path));
    EXPECT_EQ(path, dir.File("photo_77777.tif"));

    touch(path);
    path = dir.File("photo.tif");
    EXPECT_FALSE(MakeUniqueFileName(path));
    EXPECT_EQ(path, dir.File("photo.tif"));
}

TEST(MakeUniqueFileNameTest, FoldersAndDanglingLinksOccupyTheName)
{
    TempDir dir;
    std::filesystem::create_directory(dir.File("Reload.rgb"));
    ASSERT_EQ(::symlink("/nonexistent/target", dir.File("Reload_00002.rgb").c_str()), 0);
    std::string path = dir.File("Reload.rgb");
    MakeUniqueFileName(path);
    EXPECT_EQ(path, dir.File("Reload_00003.rgb"));
}

TEST(MakeUniqueFileNameTest, NameWithoutExtensionAndHiddenName)
{
    TempDir dir;
    WriteTextFile(dir.File("README"), "x");
    WriteTextFile(dir.File(".profile"), "x");
    std::string plain = dir.File("README");
    std::string hidden = dir.File(".profile");
    MakeUniqueFileName(plain);
    MakeUniqueFileName(hidden);
    EXPECT_EQ(plain, dir.File("README_00002"));
    EXPECT_EQ(hidden, dir.File(".profile_00002"));
}

TEST(MakeUniqueFileNameTest, LongTitleIsCutToFitOneFileName)
{
    TempDir dir;
    // 2-byte UTF-8 characters, so that a cut in the middle of one would show.
    std::string title;
    for (int i = 0; i < 125; ++i)
        title += "\xC3\xA9";                 // é
    const std::string name = title + ".tif"; // 254 bytes: a valid name
    WriteTextFile(dir.File(name), "x");
    std::string path = dir.File(name);
    MakeUniqueFileName(path);

    const std::string newName = path.substr(dir.Path().size());
    EXPECT_LE(newName.size(), 255u);
    EXPECT_TRUE(newName.ends_with("_00002.tif")) << newName;
    const std::string newTitle = newName.substr(0, newName.size() - 10);
    EXPECT_EQ(newTitle.size() % 2, 0u) << "cut inside a UTF-8 sequence";
    EXPECT_TRUE(title.starts_with(newTitle));
    // The name is usable.
    WriteTextFile(path, "y");
    EXPECT_EQ(ReadTextFile(path), "y");
}

TEST(TempFileTest, OpenTempFileMakesDistinctFilesWithPrefixAndExtension)
{
    TempDir dir;
    std::string a;
    std::string b;
    platform::File fa = OpenTempFile("THM", a, ".thm", dir.Path());
    platform::File fb = OpenTempFile("THM", b, ".thm", dir.Path());
    ASSERT_TRUE(fa.IsOpen());
    ASSERT_TRUE(fb.IsOpen());
    fa.Close();
    fb.Close();
    EXPECT_NE(a, b);
    for (const std::string& path : {a, b})
    {
        EXPECT_TRUE(path.starts_with(dir.Path() + "THM")) << path;
        EXPECT_TRUE(path.ends_with(".thm")) << path;
        EXPECT_TRUE(Exists(path));
    }
}

TEST(TempFileTest, OpenTempFileInMissingFolderFails)
{
    TempDir dir;
    std::string path = "stale";
    EXPECT_FALSE(OpenTempFile("PMS", path, ".tmp", dir.File("missing/")).IsOpen());
    EXPECT_TRUE(path.empty());
    EXPECT_FALSE(CreateTempFile("PMS", path, ".tmp", dir.File("missing/")));
}

TEST(TempFileTest, SnapshotRecordOwnsItsFile)
{
    TempDir dir;
    CTempFileInfo info;
    ASSERT_TRUE(info.Create(dir.Path()));
    const std::string path = info.GetPath();
    EXPECT_TRUE(path.starts_with(dir.Path() + "PMS"));
    EXPECT_TRUE(path.ends_with(".tmp"));

    // Read-write access to the same bytes.
    ASSERT_TRUE(info.GetFile().WriteAll("snapshot"));
    ASSERT_TRUE(info.GetFile().Rewind());
    char buffer[9] = {};
    ASSERT_EQ(info.GetFile().Read(buffer, 8), 8u);
    EXPECT_STREQ(buffer, "snapshot");

    info.m_width = 10;
    CTempFileInfo moved(std::move(info));
    EXPECT_FALSE(info.IsOpen());
    EXPECT_EQ(moved.GetPath(), path);
    EXPECT_EQ(moved.m_width, 10);
    EXPECT_TRUE(Exists(path));
    moved.Close();
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ(moved.m_width, 0);
}

TEST(TempFileTest, DestructionRemovesTheFile)
{
    TempDir dir;
    std::string path;
    {
        CTempFileInfo info;
        ASSERT_TRUE(info.Create(dir.Path()));
        path = info.GetPath();
        EXPECT_TRUE(Exists(path));
    }
    EXPECT_FALSE(Exists(path));
}

TEST(TempFileTest, DeleteTempFilesRemovesOnlyLeftoverKinds)
{
    TempDir dir;
    const char* removed[] = {"PMSabc.tmp", "IFI1.TMP", "Reload.rgb", "Reload_00002.thm", "x.raw"};
    const char* kept[] = {"photo.tif", "notes.txt", "tmp", "a.tmpx"};
    for (const char* name : removed)
        WriteTextFile(dir.File(name), "x");
    for (const char* name : kept)
        WriteTextFile(dir.File(name), "x");
    std::filesystem::create_directory(dir.File("folder.tmp"));

    DeleteTempFiles(dir.Path());

    for (const char* name : removed)
        EXPECT_FALSE(Exists(dir.File(name))) << name;
    for (const char* name : kept)
        EXPECT_TRUE(Exists(dir.File(name))) << name;
    EXPECT_TRUE(Exists(dir.File("folder.tmp")));
}

TEST(TempFileTest, DeleteTempFilesOnMissingFolderDoesNothing)
{
    TempDir dir;
    DeleteTempFiles(dir.File("missing/"));
    SUCCEED();
}

} // namespace
