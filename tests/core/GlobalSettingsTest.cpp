#include "core/GlobalSettings.h"

#include "core/ColorProfile.h"
#include "core/IniFile.h"
#include "core/PathUtils.h"
#include "core/SRGBProfile.h"
#include "core/UseOsCmm.h"
#include "tests/core/ImageCodecFixtures.h"
#include "tests/support/PeBuilder.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

using testsupport::ReadTextFile;
using testsupport::PrivateUserFolders;
using testsupport::WriteTextFile;

namespace {

// Every per-user folder inside a private temporary tree, and the record
// and the colour-engine switch put back afterwards.
class GlobalSettingsTest : public ::testing::Test
{
protected:
    GlobalSettingsTest()
        : m_saved(GetGlobalSettings()),
          m_savedUseOsCmm(UseOsCmm.load())
    {
        SetGlobalSettings(DefaultGlobalSettings());
        m_ini = m_dir.File("settings.ini");
    }
    ~GlobalSettingsTest() override
    {
        SetGlobalSettings(m_saved);
        UseOsCmm = m_savedUseOsCmm;
    }

    void WriteSection(const std::string& body)
    {
        WriteTextFile(m_ini, "[CqzNewProjectDlg]\n" + body);
    }

    PrivateUserFolders m_dir;
    GlobalSettings m_saved;
    int m_savedUseOsCmm;
    std::string m_ini;
};

TEST_F(GlobalSettingsTest, MissingFileGivesTheStartValues)
{
    LoadGlobalSettings(m_ini);
    const GlobalSettings s = GetGlobalSettings();
    EXPECT_EQ(s.INProfile, "sRGB IEC61966-2.1");
    EXPECT_EQ(s.WcsProfile, "sRGB IEC61966-2.1");
    EXPECT_EQ(s.InMode, 0);
    EXPECT_EQ(s.WcsMode, 0);
    EXPECT_EQ(s.InFilePath, GetPicturesFolder());
    EXPECT_EQ(s.WcsFilePath, GetPicturesFolder());
    EXPECT_EQ(s.AverageSize, 1);
    EXPECT_EQ(s.SkipInitMsg, 0);
    EXPECT_TRUE(s.DNGConvPath.empty());
    EXPECT_TRUE(s.RawExtensions.empty());
}

TEST_F(GlobalSettingsTest, KeysWithinRangeAreTakenOthersKeepTheCurrentValue)
{
    struct Case
    {
        std::string body;
        int inMode, wcsMode, averageSize;
    };
    const Case cases[] = {
        {"InMode=2\nWcsMode=1\nAverageSize=3\n", 2, 1, 3},
        {"InMode=3\nWcsMode=2\nAverageSize=4\n", 0, 0, 1},
        {"InMode=-1\nWcsMode=-1\nAverageSize=-1\n", 0, 0, 1},
        {"InMode=1\nAverageSize=0\n", 1, 0, 0},
    };
    for (const Case& c : cases)
    {
        SetGlobalSettings(DefaultGlobalSettings());
        WriteSection(c.body);
        LoadGlobalSettings(m_ini);
        const GlobalSettings s = GetGlobalSettings();
        EXPECT_EQ(s.InMode, c.inMode) << c.body;
        EXPECT_EQ(s.WcsMode, c.wcsMode) << c.body;
        EXPECT_EQ(s.AverageSize, c.averageSize) << c.body;
    }
}

TEST_F(GlobalSettingsTest, StringsAreReadAndEmptyEntriesGiveTheDefault)
{
    WriteSection("INProfile=Adobe RGB (1998)\nWcsProfile=\nInFilePath=/pics/in.tif\n"
                 "WcsFilePath=/pics/w.jpg\nSkipInitMsg=1\n");
    LoadGlobalSettings(m_ini);
    const GlobalSettings s = GetGlobalSettings();
    EXPECT_EQ(s.INProfile, "Adobe RGB (1998)");
    EXPECT_EQ(s.WcsProfile, "sRGB IEC61966-2.1");
    EXPECT_EQ(s.InFilePath, "/pics/in.tif");
    EXPECT_EQ(s.WcsFilePath, "/pics/w.jpg");
    EXPECT_EQ(s.SkipInitMsg, 1);
}

TEST_F(GlobalSettingsTest, ConverterAndRawExtensionsAreNeverRestored)
{
    WriteSection("DNGConvPath=/opt/Adobe DNG Converter.exe\nRAWExtCount=20000\nRAWExt0000=.abc\n"
                 "RAWExt0001=.NEF\nRAWExt9998=.xyz\n");
    SetDNGConverterPath("/set/before");
    SetRawExtensions({".old"});
    LoadGlobalSettings(m_ini);
    EXPECT_TRUE(GetDNGConverterPath().empty());
    EXPECT_TRUE(GetRawExtensions().empty());
    EXPECT_FALSE(IsRawExtension(".abc"));
}

TEST_F(GlobalSettingsTest, SaveWritesOnlyTheTwoSwitchesAndLoadReadsThemBack)
{
    WriteSection("InMode=2\n");
    UseOsCmm = 0;
    SetSkipInitMsg(1);
    GlobalSettings s = GetGlobalSettings();
    s.AverageSize = 3;
    s.DNGConvPath = "/opt/conv.exe";
    SetGlobalSettings(s);
    ASSERT_TRUE(SaveGlobalSettings(m_ini));

    const CIniFile ini(m_ini);
    const auto pairs = ini.GetSection(kGlobalSettingsSection);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"InMode", "2"}, {"UseOsCmm", "0"}, {"SkipInitMsg", "1"}};
    EXPECT_EQ(pairs, expected);

    UseOsCmm = 1;
    SetGlobalSettings(DefaultGlobalSettings());
    LoadUseOsCmm(m_ini);
    LoadGlobalSettings(m_ini);
    EXPECT_EQ(UseOsCmm.load(), 0);
    EXPECT_EQ(GetSkipInitMsg(), 1);
    EXPECT_EQ(GetGlobalSettings().InMode, 2);
}

TEST_F(GlobalSettingsTest, UseOsCmmOutOfRangeKeepsTheCurrentValue)
{
    for (const char* text : {"7", "-1", "abc"})
    {
        UseOsCmm = 1;
        WriteSection(std::string("UseOsCmm=") + text + "\n");
        LoadUseOsCmm(m_ini);
        EXPECT_EQ(UseOsCmm.load(), std::string(text) == "abc" ? 0 : 1) << text;
    }
}

TEST_F(GlobalSettingsTest, RawExtensionsBuiltInAndUserIgnoringCase)
{
    SetRawExtensions({".abc"});
    struct Case
    {
        const char* ext;
        bool raw;
    };
    const Case cases[] = {{".nef", true},  {".NEF", true},  {".x3f", true}, {".cr2", true},
                          {".dng", false}, {".jpg", false}, {"nef", false}, {"", false},
                          {".ABC", true},  {".abcd", false}};
    for (const Case& c : cases)
        EXPECT_EQ(IsRawExtension(c.ext), c.raw) << c.ext;
    EXPECT_TRUE(IsBuiltinRawExt(".Pef"));
    EXPECT_FALSE(IsBuiltinRawExt(".abc"));
}

TEST_F(GlobalSettingsTest, DngOutputFolderComesFromItsOwnSection)
{
    LoadDngOutputPath(m_ini);
    EXPECT_EQ(GetDngOutputPath(), GetPicturesFolder());
    WriteTextFile(m_ini, "[CDNGPathDlg]\nDNGPath=/data/dng/\n");
    LoadDngOutputPath(m_ini);
    EXPECT_EQ(GetDngOutputPath(), "/data/dng/");
}

TEST_F(GlobalSettingsTest, DngOutputFolderIsSetForTheSessionAndNeverWritten)
{
    WriteTextFile(m_ini, "[CDNGPathDlg]\nDNGPath=/data/dng/\n");
    LoadDngOutputPath(m_ini);
    SetDngOutputPath("/");
    EXPECT_EQ(GetDngOutputPath(), "/");
    EXPECT_TRUE(SaveDngOutputPath(m_ini));
    EXPECT_EQ(ReadTextFile(m_ini), "[CDNGPathDlg]\nDNGPath=/data/dng/\n");
    const std::string fresh = m_dir.File("fresh.ini");
    EXPECT_TRUE(SaveDngOutputPath(fresh));
    EXPECT_EQ(ReadTextFile(fresh), "");
}

TEST_F(GlobalSettingsTest, CheckDngConverterNeedsVersionAndName)
{
    struct Case
    {
        const char* name;
        const char* fileVersion; // null: a file that is no program
        bool accepted;
    };
    const Case cases[] = {
        {"Adobe DNG Converter.exe", "3.2.0.1", true},
        {"Adobe DNG Converter.exe", "3.2", true},
        {"adobe dng converter.EXE", "4.1", true},
        // The minor version is a number: 3.10 is later than 3.2, though a
        // comparison of the first three characters reads it as 3.1.
        {"Adobe DNG Converter.exe", "3.10", true},
        {"Adobe DNG Converter.exe", "3.10.0.1", true},
        {"Adobe DNG Converter.exe", "10.0", true},
        {"Adobe DNG Converter.exe", "3, 2, 0, 1", true},
        {"Adobe DNG Converter.exe", "3.1", false},
        {"Adobe DNG Converter.exe", "3.1.9", false},
        {"Adobe DNG Converter.exe", "2.9", false},
        {"Adobe DNG Converter.exe", "2.10", false},
        {"Adobe DNG Converter.exe", "v3.2", false},
        {"Converter.exe", "5.0", false},
        {"Adobe DNG Converter.exe", nullptr, false},
    };
    for (const Case& c : cases)
    {
        const std::string path = m_dir.File(c.name);
        if (c.fileVersion != nullptr)
        {
            testsupport::VersionRecipe recipe = testsupport::DefaultVersionRecipe();
            for (auto& [key, value] : recipe.tables.at(0).strings)
            {
                if (key == "FileVersion")
                    value = c.fileVersion;
            }
            testsupport::WriteBinaryFile(
                path, testsupport::BuildPeImage(testsupport::BuildVersionBlock(recipe)).bytes);
        }
        else
        {
            WriteTextFile(path, "#!/bin/sh\n");
        }
        std::string version;
        EXPECT_EQ(CheckDngConverter(path, version), c.accepted) << c.name << " " << version;
        if (c.fileVersion != nullptr)
        {
            EXPECT_EQ(version, c.fileVersion);
        }
        std::remove(path.c_str());
    }
}

TEST_F(GlobalSettingsTest, ImageFileHasProfileOnlyWithAnEmbeddedProfile)
{
    imagefixtures::JpegFixture with;
    with.icc = BuildSRGBProfileBytes();
    imagefixtures::JpegFixture without;
    ASSERT_TRUE(imagefixtures::WriteJpeg(m_dir.File("with.jpg"), with));
    ASSERT_TRUE(imagefixtures::WriteJpeg(m_dir.File("without.jpg"), without));
    EXPECT_TRUE(ImageFileHasProfile(m_dir.File("with.jpg")));
    EXPECT_FALSE(ImageFileHasProfile(m_dir.File("without.jpg")));
    EXPECT_FALSE(ImageFileHasProfile(m_dir.File("missing.jpg")));
    EXPECT_FALSE(ImageFileHasProfile(""));
}

TEST_F(GlobalSettingsTest, ColorSpaceSettingsRepairUnusableChoices)
{
    imagefixtures::JpegFixture with;
    with.icc = BuildSRGBProfileBytes();
    ASSERT_TRUE(imagefixtures::WriteJpeg(m_dir.File("with.jpg"), with));
    ASSERT_TRUE(imagefixtures::WriteJpeg(m_dir.File("without.jpg"), {}));

    struct Case
    {
        int inMode, wcsMode;
        std::string inProfile, wcsProfile, inFile, wcsFile;
        int expectedIn, expectedWcs;
        std::string expectedWcsProfile;
    };
    const std::string sRGB = "sRGB IEC61966-2.1";
    const Case cases[] = {
        // The installed sRGB profile and images with profiles are usable.
        {1, 0, sRGB, sRGB, "", "", 1, 0, sRGB},
        {2, 1, sRGB, "Gone", m_dir.File("with.jpg"), m_dir.File("with.jpg"), 2, 1, "Gone"},
        // Unknown descriptions and images without profiles fall back.
        {1, 0, "No Such Profile", "No Such Profile", "", "", 0, 0, sRGB},
        {2, 1, sRGB, "Kept?", m_dir.File("without.jpg"), m_dir.File("without.jpg"), 0, 0, sRGB},
        // Mode 0 of the input needs no check.
        {0, 0, "No Such Profile", sRGB, "", "", 0, 0, sRGB},
    };
    for (const Case& c : cases)
    {
        GlobalSettings s = DefaultGlobalSettings();
        s.InMode = c.inMode;
        s.WcsMode = c.wcsMode;
        s.INProfile = c.inProfile;
        s.WcsProfile = c.wcsProfile;
        s.InFilePath = c.inFile;
        s.WcsFilePath = c.wcsFile;
        SetGlobalSettings(s);

        std::string inProfile, wcsProfile, inFile, wcsFile;
        int inMode = -1;
        int wcsMode = -1;
        EXPECT_TRUE(GetColorSpaceSettings(inProfile, wcsProfile, inMode, wcsMode, inFile, wcsFile));
        EXPECT_EQ(inMode, c.expectedIn) << c.inProfile << " " << c.inFile;
        EXPECT_EQ(wcsMode, c.expectedWcs) << c.wcsProfile << " " << c.wcsFile;
        EXPECT_EQ(wcsProfile, c.expectedWcsProfile);
        EXPECT_EQ(inProfile, c.inProfile);
        EXPECT_EQ(inFile, c.inFile);
        const GlobalSettings stored = GetGlobalSettings();
        EXPECT_EQ(stored.InMode, c.expectedIn);
        EXPECT_EQ(stored.WcsMode, c.expectedWcs);
        EXPECT_EQ(stored.WcsProfile, c.expectedWcsProfile);
    }
}

} // namespace
