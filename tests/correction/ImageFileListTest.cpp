#include "correction/ImageFileList.h"

#include "core/ErrorRecord.h"
#include "core/PathUtils.h"
#include "platform/Text.h"
#include "tests/correction/ProjectTestSupport.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using testsupport::ReadTextFile;
using testsupport::RecordingMessageSink;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteTextFile;

namespace {

// A list that records what it was told of removals.
class RecordingList : public CImageFileList
{
public:
    void OnItemRemoved(const std::string& path) override { removed.push_back(path); }
    using CImageFileList::m_entries;

    std::vector<std::string> removed;
};

// An entry built by hand: no file behind it.
CImageFileInfo HandEntry(const std::string& path, int check = 1, const std::string& lut = "なし",
                         ImageFileType type = kImageFileTiff16)
{
    CImageFileInfo entry;
    entry.m_path = path;
    entry.m_check = check;
    entry.m_lutName = lut;
    entry.m_type = type;
    entry.m_detectedType = type;
    return entry;
}

std::vector<std::string> Paths(const CImageFileList& list)
{
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < list.GetCount(); ++i)
        paths.push_back(list.GetItem(i).m_path);
    return paths;
}

std::vector<int> Numbers(const CImageFileList& list)
{
    std::vector<int> numbers;
    for (std::size_t i = 0; i < list.GetCount(); ++i)
        numbers.push_back(list.GetItem(i).m_number);
    return numbers;
}

// The lines of one entry of a list file.
std::string EntryLines(int index, const std::string& name, int number, int check,
                       const std::string& lut)
{
    char key[32];
    std::snprintf(key, sizeof key, "ImageFile%05d_", index);
    const std::string k = key;
    return k + "Name=" + name + "\n" + k + "No=" + std::to_string(number) + "\n" + k +
           "Check=" + std::to_string(check) + "\n" + k + "Lut=" + lut + "\n";
}

std::string WithCrLf(const std::string& text)
{
    std::string out;
    for (char c : text)
    {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

// Every key of an ini text in lower case (the part of each line before "=").
std::string LowerCaseKeys(const std::string& text)
{
    std::string out;
    std::size_t start = 0;
    while (start < text.size())
    {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(start, end - start);
        const std::size_t equals = line.find('=');
        out += equals == std::string::npos
                   ? line
                   : platform::ToLowerAscii(line.substr(0, equals)) + line.substr(equals);
        start = end;
    }
    return out;
}

// Appends each percent to reports; with stopAt, answers false from the
// report that makes it that many on.
class ProgressRecorder final : public IProgressSink
{
public:
    explicit ProgressRecorder(std::vector<double>& reports, std::size_t stopAt = 0)
        : m_reports(reports), m_stopAt(stopAt)
    {}
    bool Report(double percent) override
    {
        m_reports.push_back(percent);
        return m_stopAt == 0 || m_reports.size() < m_stopAt;
    }

private:
    std::vector<double>& m_reports;
    std::size_t m_stopAt;
};

class ImageFileListTest : public testing::Test
{
protected:
    ImageFileListTest()
        : m_cache("XDG_CACHE_HOME", m_dir.Path() + "cache"),
          m_config("XDG_CONFIG_HOME", m_dir.Path() + "config")
    {}

    // A 64 x 64 16-bit TIFF that ReadInfo accepts.
    std::string MakeTiff(const std::string& name)
    {
        const std::string path = m_dir.File(name);
        CRGBImage image = projecttest::GradientImage(64, 64);
        projecttest::WriteTiff16(path, image, {});
        return path;
    }

    CImageFileInfo FileEntry(const std::string& path, int check = 1,
                             const std::string& lut = "なし")
    {
        CImageFileInfo entry;
        EXPECT_EQ(entry.ReadInfo(path), 1) << path;
        entry.m_check = check;
        entry.m_lutName = lut;
        return entry;
    }

    std::string ListPath() const { return m_dir.File("list.cvl"); }

    // Writes the text as the list file and reads it.
    void ReadText(CImageFileList& list, const std::string& text,
                  const std::vector<std::string>& luts = {})
    {
        WriteTextFile(ListPath(), text);
        EXPECT_EQ(list.ReadFile(ListPath(), luts), 1);
    }

    TempDir m_dir;
    ScopedEnv m_cache;
    ScopedEnv m_config;
    RecordingMessageSink m_messages;
};

// --- CReadIni ---------------------------------------------------------------

TEST_F(ImageFileListTest, ReadIniSplitsAtTheFirstEqualsAndKeepsTheFirstValue)
{
    WriteTextFile(ListPath(), "Before=1\n"
                              "[ImageFileList]\n"
                              "Key=a=b\n"
                              "Spaced = v \n"
                              "KEY=second\n"
                              "no equals here\n"
                              "Quoted=\" q \"\n"
                              "Empty=\n");
    const CReadIni ini(ListPath());
    EXPECT_EQ(ini.GetString("Key"), "a=b");
    EXPECT_EQ(ini.GetString("key"), "a=b");
    // Key and value are trimmed, as in every private-profile file; quotes
    // keep blanks.
    EXPECT_EQ(ini.GetString("Spaced"), "v");
    EXPECT_EQ(ini.GetString(" spaced "), "v");
    EXPECT_EQ(ini.GetString("Quoted"), " q ");
    // A line without "=" holds no key.
    EXPECT_FALSE(ini.HasKey(""));
    EXPECT_FALSE(ini.HasKey("no equals here"));
    EXPECT_TRUE(ini.HasKey("Empty"));
    EXPECT_FALSE(ini.HasKey("Before"));
    EXPECT_EQ(ini.GetString("Missing"), "");
    EXPECT_EQ(ini.GetKeyCount(), 4u);
}

TEST_F(ImageFileListTest, ReadIniFindsTheSectionAsPrivateProfileFilesDo)
{
    struct Case
    {
        const char* head;
        bool found;
    };
    const Case cases[] = {
        {"[ImageFileList]\n", true},
        {"[ImageFileList]\r\n", true},
        {"\xEF\xBB\xBF[ImageFileList]\n", true}, // an editor's byte-order mark
        {"[imagefilelist]\n", true},
        {"[ImageFileList] \n", true},
        {" [ ImageFileList ]\r\n", true},
        {"[ImageFileList2]\n", false},
        {"ImageFileList\n", false},
    };
    for (const Case& c : cases)
    {
        WriteTextFile(ListPath(), std::string(c.head) + "Key=1\n");
        const CReadIni ini(ListPath());
        EXPECT_EQ(ini.HasKey("Key"), c.found) << c.head;
    }
}

TEST_F(ImageFileListTest, ReadIniStopsAtTheNextSectionAndReadsOtherSections)
{
    WriteTextFile(ListPath(), "[Other]\nKey=other\n[ImageFileList]\nKey=list\n[Next]\nLater=1\n");
    EXPECT_EQ(CReadIni(ListPath()).GetString("Key"), "list");
    EXPECT_FALSE(CReadIni(ListPath()).HasKey("Later"));
    EXPECT_EQ(CReadIni(ListPath(), "Other").GetString("Key"), "other");
    EXPECT_EQ(CReadIni(m_dir.File("missing.cvl")).GetKeyCount(), 0u);
}

TEST_F(ImageFileListTest, ReadIniGetIntTakesTheLeadingDecimalNumber)
{
    struct Case
    {
        const char* line; // nullptr: the key is missing
        int expected;
    };
    const Case cases[] = {
        {"42", 42},
        {"-7", -7},
        {"+5", 5},
        {"12abc", 12},
        {"  3", 3},
        {"abc", 0},
        {"-", 0},
        {"0x10", 0},
        {"99999999999999999999", INT_MAX},
        {"-99999999999999999999", INT_MIN},
        {"", 1234},      // an empty value leaves the default
        {nullptr, 1234}, // so does a missing key
    };
    for (const Case& c : cases)
    {
        WriteTextFile(ListPath(), c.line ? std::string("[ImageFileList]\nValue=") + c.line + "\n"
                                         : std::string("[ImageFileList]\n"));
        const CReadIni ini(ListPath());
        int value = 1234;
        ini.GetInt("Value", value);
        EXPECT_EQ(value, c.expected) << (c.line ? c.line : "(missing)");
    }
}

// --- Adding, removing, filters ------------------------------------------------

TEST_F(ImageFileListTest, AddFileRefusesTheSamePathButNotADifferentCase)
{
    RecordingList list;
    EXPECT_TRUE(list.AddFile(HandEntry("/p/a.tif"), list.GetCount()));
    EXPECT_TRUE(list.IsListChanged());
    list.SetListChanged(false);

    EXPECT_FALSE(list.AddFile(HandEntry("/p/a.tif"), list.GetCount()));
    EXPECT_FALSE(list.IsListChanged());
    EXPECT_TRUE(list.AddFile(HandEntry("/p/A.tif"), list.GetCount()));
    EXPECT_TRUE(list.AddFile(HandEntry("/p/b.tif"), list.GetCount()));
    // Only the first `limit` entries are compared.
    EXPECT_TRUE(list.AddFile(HandEntry("/p/b.tif"), 2));
    EXPECT_FALSE(list.AddFile(HandEntry("/p/b.tif"), 100));

    EXPECT_EQ(Paths(list),
              (std::vector<std::string>{"/p/a.tif", "/p/A.tif", "/p/b.tif", "/p/b.tif"}));
    EXPECT_EQ(Numbers(list), (std::vector<int>{0, 1, 2, 3}));
}

TEST_F(ImageFileListTest, RemovingNumberThreeOfSixRenumbersAndNotifies)
{
    RecordingList list;
    for (int i = 0; i < 6; ++i)
        list.AddFile(HandEntry("/p/" + std::to_string(i) + ".tif"), list.GetCount());
    // Shown in another order than the numbers'.
    list.SetSortKey(kSortByNumber);
    ASSERT_EQ(Numbers(list), (std::vector<int>{5, 4, 3, 2, 1, 0}));
    list.SetListChanged(false);

    list.RemoveFiles({"/p/3.tif", "/p/nothere.tif"});
    EXPECT_TRUE(list.IsListChanged());
    EXPECT_EQ(list.removed, (std::vector<std::string>{"/p/3.tif"}));
    EXPECT_EQ(Paths(list), (std::vector<std::string>{"/p/5.tif", "/p/4.tif", "/p/2.tif", "/p/1.tif",
                                                     "/p/0.tif"}));
    EXPECT_EQ(Numbers(list), (std::vector<int>{4, 3, 2, 1, 0}));
}

TEST_F(ImageFileListTest, RemoveFilesComparesCaseAndRemovesOneEntryPerPath)
{
    RecordingList list;
    for (const char* path : {"/p/a.tif", "/p/b.tif", "/p/c.tif", "/p/d.tif"})
        list.AddFile(HandEntry(path), list.GetCount());
    list.SetListChanged(false);

    list.RemoveFiles({"/p/A.tif"});
    EXPECT_EQ(list.GetCount(), 4u);
    EXPECT_TRUE(list.removed.empty());
    EXPECT_FALSE(list.IsListChanged());

    list.RemoveFiles({"/p/d.tif", "/p/a.tif", "/p/a.tif", "/p/c.tif"});
    EXPECT_EQ(list.removed, (std::vector<std::string>{"/p/d.tif", "/p/a.tif", "/p/c.tif"}));
    EXPECT_EQ(Paths(list), (std::vector<std::string>{"/p/b.tif"}));
    EXPECT_EQ(Numbers(list), (std::vector<int>{0}));
}

TEST_F(ImageFileListTest, DisplayFiltersAndCheckedItems)
{
    CImageFileList list;
    const int checks[] = {1, 0, 1, 0, 0};
    for (int i = 0; i < 5; ++i)
        list.AddFile(HandEntry("/p/" + std::to_string(i) + ".tif", checks[i]), list.GetCount());

    struct Case
    {
        int filter;
        std::vector<std::string> shown;
    };
    const Case cases[] = {
        {kShowAll, {"/p/0.tif", "/p/1.tif", "/p/2.tif", "/p/3.tif", "/p/4.tif"}},
        {kShowChecked, {"/p/0.tif", "/p/2.tif"}},
        {kShowUnchecked, {"/p/1.tif", "/p/3.tif", "/p/4.tif"}},
    };
    for (const Case& c : cases)
    {
        list.SetDisplayFilter(c.filter);
        ASSERT_EQ(list.GetShownCount(), c.shown.size()) << c.filter;
        for (std::size_t n = 0; n < c.shown.size(); ++n)
        {
            ASSERT_NE(list.GetShownItem(n), nullptr);
            EXPECT_EQ(list.GetShownItem(n)->m_path, c.shown[n]) << c.filter;
        }
        EXPECT_EQ(list.GetShownItem(c.shown.size()), nullptr) << c.filter;
    }
    // An unknown filter is not taken.
    list.SetDisplayFilter(7);
    EXPECT_EQ(list.GetDisplayFilter(), kShowUnchecked);

    list.SetDisplayFilter(kShowUnchecked);
    ASSERT_EQ(list.GetCheckedCount(), 2u);
    EXPECT_EQ(list.GetCheckedItem(1)->m_path, "/p/2.tif");
    EXPECT_EQ(list.GetCheckedItem(2), nullptr);
    const CImageFileList& constList = list;
    EXPECT_EQ(constList.GetCheckedItem(0)->m_path, "/p/0.tif");
}

TEST_F(ImageFileListTest, Type4Queries)
{
    struct Case
    {
        std::vector<std::pair<ImageFileType, int>> entries; // type, check
        std::size_t type4;
        bool checkedOther;
        bool checkedType4;
    };
    const Case cases[] = {
        {{}, 0, false, false},
        {{{kImageFileTiff16, 1}, {kImageFileRaw, 0}}, 1, true, false},
        {{{kImageFileTiff16, 0}, {kImageFileRaw, 1}}, 1, false, true},
        {{{kImageFileJpeg, 1}, {kImageFileRaw, 1}, {kImageFileRaw, 0}}, 2, true, true},
    };
    for (const Case& c : cases)
    {
        CImageFileList list;
        int i = 0;
        for (const auto& [type, check] : c.entries)
            list.AddFile(HandEntry("/p/" + std::to_string(i++), check, "なし", type),
                         list.GetCount());
        EXPECT_EQ(list.CountType4(), c.type4);
        EXPECT_EQ(list.HasCheckedOtherThanType4(), c.checkedOther);
        EXPECT_EQ(list.HasCheckedType4(), c.checkedType4);
    }
}

TEST_F(ImageFileListTest, ClearResetsEverythingButTheModifiedFlag)
{
    CImageFileList list;
    list.AddFile(HandEntry("/p/a.tif"), 0);
    list.SetSortKey(kSortByName);
    list.SetSortKey(kSortByName);
    list.SetDisplayFilter(kShowChecked);
    list.SetModified(true);

    list.Clear();
    EXPECT_EQ(list.GetCount(), 0u);
    EXPECT_FALSE(list.IsListChanged());
    EXPECT_EQ(list.GetSortKey(), kSortByNumber);
    for (int key = 0; key < kSortKeyCount; ++key)
        EXPECT_EQ(list.GetSortDirection(key), kSortAscending);
    EXPECT_EQ(list.GetDisplayFilter(), kShowAll);
    EXPECT_TRUE(list.IsModified());
}

// --- Sorting ------------------------------------------------------------------

TEST_F(ImageFileListTest, SortKeysAndDirections)
{
    // id: folder, name, check, LUT; added in this order (numbers 0..4).
    struct Item
    {
        const char* path;
        int check;
        const char* lut;
    };
    const Item items[] = {
        {"/b/Beta.tif", 0, "warm"},    // 0
        {"/A/alpha.tif", 1, "Cool"},   // 1
        {"/c/Gamma.tif", 1, "なし"},   // 2
        {"/a2/delta.tif", 0, "Amber"}, // 3
        {"/C/beta2.tif", 1, "bright"}, // 4
    };
    struct Case
    {
        int key;
        int direction;
        std::vector<int> order;
    };
    const Case cases[] = {
        {kSortByNumber, kSortAscending, {0, 1, 2, 3, 4}},
        {kSortByNumber, kSortDescending, {4, 3, 2, 1, 0}},
        // Checked first; equal keys keep their order.
        {kSortByCheck, kSortAscending, {1, 2, 4, 0, 3}},
        {kSortByCheck, kSortDescending, {0, 3, 1, 2, 4}},
        // Letters compare without case; "beta.tif" < "beta2.tif" ('.' < '2').
        {kSortByName, kSortAscending, {1, 0, 4, 3, 2}},
        {kSortByName, kSortDescending, {2, 3, 4, 0, 1}},
        // UTF-8 "なし" sorts after every ASCII name.
        {kSortByLut, kSortAscending, {3, 4, 1, 0, 2}},
        {kSortByLut, kSortDescending, {2, 0, 1, 4, 3}},
        // "/a/" < "/a2/" < "/b/" < "/c/" == "/C/" (folded).
        {kSortByFolder, kSortAscending, {1, 3, 0, 2, 4}},
        {kSortByFolder, kSortDescending, {2, 4, 0, 3, 1}},
    };
    for (const Case& c : cases)
    {
        CImageFileList list;
        for (const Item& item : items)
            list.AddFile(HandEntry(item.path, item.check, item.lut), list.GetCount());
        list.SetListChanged(false);
        // The current key flips on the first call; another key starts ascending.
        list.SetSortKey(c.key);
        if (list.GetSortDirection(c.key) != c.direction)
            list.SetSortKey(c.key);
        ASSERT_EQ(list.GetSortKey(), c.key);
        ASSERT_EQ(list.GetSortDirection(c.key), c.direction);
        EXPECT_TRUE(list.IsListChanged());
        std::vector<int> order;
        for (std::size_t i = 0; i < list.GetCount(); ++i)
            order.push_back(list.GetItem(i).m_number);
        EXPECT_EQ(order, c.order) << "key " << c.key << " direction " << c.direction;
    }
}

TEST_F(ImageFileListTest, SetSortKeyTwiceRestoresTheDirection)
{
    CImageFileList list;
    list.SetSortKey(kSortByLut);
    EXPECT_EQ(list.GetSortDirection(kSortByLut), kSortAscending);
    list.SetSortKey(kSortByLut);
    EXPECT_EQ(list.GetSortDirection(kSortByLut), kSortDescending);
    list.SetSortKey(kSortByLut);
    EXPECT_EQ(list.GetSortDirection(kSortByLut), kSortAscending);
    // Changing the key keeps each key's own direction.
    list.SetSortKey(kSortByLut);
    list.SetSortKey(kSortByName);
    EXPECT_EQ(list.GetSortDirection(kSortByLut), kSortDescending);
    EXPECT_EQ(list.GetSortDirection(kSortByName), kSortAscending);

    list.SetListChanged(false);
    list.SetSortKey(5);
    list.SetSortKey(-1);
    EXPECT_EQ(list.GetSortKey(), kSortByName);
    EXPECT_FALSE(list.IsListChanged());
    EXPECT_EQ(list.GetSortDirection(99), kSortAscending);
}

// Many equal keys: a comparison that is not a strict weak ordering makes
// std::sort read outside the range (the sanitizers catch that) or leave
// the entries out of order.
TEST_F(ImageFileListTest, SortingManyEqualNamesGivesAValidOrder)
{
    const char* names[] = {"same.tif", "SAME.tif", "other.tif", "Same.TIF", "zz.tif"};
    for (int key : {kSortByName, kSortByCheck, kSortByFolder})
    {
        CImageFileList list;
        for (int i = 0; i < 300; ++i)
            list.AddFile(HandEntry("/f" + std::to_string(i % 3) + "/" + names[i % 5], i % 2),
                         0); // equal paths too
        list.SetSortKey(key);
        list.SetSortKey(key);
        ASSERT_EQ(list.GetSortDirection(key), kSortDescending);
        ASSERT_EQ(list.GetCount(), 300u);
        std::vector<int> numbers = Numbers(list);
        std::sort(numbers.begin(), numbers.end());
        for (int i = 0; i < 300; ++i)
            ASSERT_EQ(numbers[static_cast<std::size_t>(i)], i) << "an entry lost or doubled";
        for (std::size_t i = 1; i < list.GetCount(); ++i)
        {
            const CImageFileInfo& a = list.GetItem(i - 1);
            const CImageFileInfo& b = list.GetItem(i);
            if (key == kSortByCheck)
                EXPECT_LE(a.m_check, b.m_check) << i;
            else if (key == kSortByName)
                EXPECT_GE(platform::ToLowerAscii(GetFileNameFromPath(a.m_path)),
                          platform::ToLowerAscii(GetFileNameFromPath(b.m_path)))
                    << i;
            else
                EXPECT_GE(GetFolderFromPath(a.m_path), GetFolderFromPath(b.m_path)) << i;
        }
    }
}

// --- Writing --------------------------------------------------------------------

TEST_F(ImageFileListTest, FormatListFileWritesTheDocumentedLayout)
{
    CImageFileList list;
    list.AddFile(HandEntry("/home/me/Pictures/a.tif", 1, "なし"), 0);
    list.AddFile(HandEntry("/home/me/Pictures/b.jpg", 0, "Warm"), 1);
    list.SetSortKey(kSortByCheck);
    list.SetSortKey(kSortByCheck);
    list.SetSortKey(kSortByName);

    const std::string expected = "[ImageFileList]\r\n"
                                 "Ver=2.0\r\n"
                                 "SortMode=2\r\n"
                                 "SortUpDown00=1\r\n"
                                 "SortUpDown01=2\r\n"
                                 "SortUpDown02=1\r\n"
                                 "SortUpDown03=1\r\n"
                                 "SortUpDown04=1\r\n"
                                 "ImageFile_Count=2\r\n"
                                 "ImageFile00000_Name=/home/me/Pictures/a.tif\r\n"
                                 "ImageFile00000_No=0\r\n"
                                 "ImageFile00000_Check=1\r\n"
                                 "ImageFile00000_Lut=なし\r\n"
                                 "ImageFile00001_Name=/home/me/Pictures/b.jpg\r\n"
                                 "ImageFile00001_No=1\r\n"
                                 "ImageFile00001_Check=0\r\n"
                                 "ImageFile00001_Lut=Warm\r\n";
    EXPECT_EQ(list.FormatListFile(), expected);

    list.SetListChanged(true);
    ASSERT_TRUE(list.WriteFile(ListPath()));
    EXPECT_FALSE(list.IsListChanged());
    EXPECT_EQ(ReadTextFile(ListPath()), expected);
}

TEST_F(ImageFileListTest, Type4EntriesAreNeitherWrittenNorCounted)
{
    CImageFileList list;
    list.AddFile(HandEntry("/p/a.tif"), 0);
    list.AddFile(HandEntry("/p/raw.nef", 1, "なし", kImageFileRaw), 1);
    list.AddFile(HandEntry("/p/b.tif"), 2);

    const std::string text = list.FormatListFile();
    EXPECT_NE(text.find("ImageFile_Count=2\r\n"), std::string::npos);
    EXPECT_NE(text.find("ImageFile00000_Name=/p/a.tif\r\n"), std::string::npos);
    EXPECT_NE(text.find("ImageFile00001_Name=/p/b.tif\r\n"), std::string::npos);
    // The numbers are the entries' own: b keeps its 2.
    EXPECT_NE(text.find("ImageFile00001_No=2\r\n"), std::string::npos);
    EXPECT_EQ(text.find("raw.nef"), std::string::npos);
    EXPECT_EQ(text.find("ImageFile00002"), std::string::npos);
}

// A file name may hold a line break on Linux; written as it is, the rest of
// the name would become keys of its own in the list file.
TEST_F(ImageFileListTest, LineBreaksCannotInjectKeys)
{
    CImageFileList list;
    list.AddFile(HandEntry("/p/evil\nImageFile00005_Name=/etc/passwd.tif"), 0);
    list.AddFile(HandEntry("/p/ok.tif", 1, "bad\r\nSortMode=4"), 1);
    const std::string text = list.FormatListFile();
    EXPECT_EQ(text.find("passwd"), std::string::npos);
    EXPECT_EQ(text.find("SortMode=4"), std::string::npos);
    EXPECT_NE(text.find("ImageFile_Count=1\r\n"), std::string::npos);
    EXPECT_NE(text.find("ImageFile00000_Name=/p/ok.tif\r\n"), std::string::npos);
    EXPECT_NE(text.find("ImageFile00000_Lut=なし\r\n"), std::string::npos);
}

TEST_F(ImageFileListTest, FailedWriteKeepsTheOldFile)
{
    CImageFileList list;
    list.AddFile(HandEntry("/p/a.tif"), 0);

    // The target is a folder that is not empty: the rename fails.
    const std::string folder = m_dir.File("folder.cvl");
    std::filesystem::create_directory(folder);
    WriteTextFile(folder + "/inside", "keep");
    errno = 0;
    EXPECT_FALSE(list.WriteFile(folder));
    EXPECT_NE(errno, 0);
    EXPECT_TRUE(list.IsListChanged());
    EXPECT_EQ(ReadTextFile(folder + "/inside"), "keep");

    // A folder that does not exist.
    errno = 0;
    EXPECT_FALSE(list.WriteFile(m_dir.File("no/such/folder/list.cvl")));
    EXPECT_EQ(errno, ENOENT);

    // A folder we may not write into (root may write anyway).
    if (::geteuid() != 0)
    {
        const std::string locked = m_dir.File("locked/");
        std::filesystem::create_directory(locked);
        WriteTextFile(locked + "list.cvl", "old");
        ::chmod(locked.c_str(), 0555);
        errno = 0;
        EXPECT_FALSE(list.WriteFile(locked + "list.cvl"));
        EXPECT_EQ(errno, EACCES);
        ::chmod(locked.c_str(), 0755);
        EXPECT_EQ(ReadTextFile(locked + "list.cvl"), "old");
    }
    // Nothing was left behind beside the targets.
    std::size_t files = 0;
    for (const auto& item : std::filesystem::directory_iterator(m_dir.Path()))
        files += item.path().filename().string().find(".tmp") != std::string::npos;
    EXPECT_EQ(files, 0u);
}

// --- Reading ----------------------------------------------------------------------

TEST_F(ImageFileListTest, RoundTripKeepsEntriesChecksLutsAndSorting)
{
    const std::string a = MakeTiff("a.tif");
    const std::string b = MakeTiff("B.tif");
    const std::string c = MakeTiff("c.tif");
    CImageFileList list;
    list.AddFile(FileEntry(a, 1, "Warm"), list.GetCount());
    list.AddFile(FileEntry(b, 0, "なし"), list.GetCount());
    list.AddFile(FileEntry(c, 1, "Cool"), list.GetCount());
    list.SetSortKey(kSortByName);
    list.SetSortKey(kSortByName); // descending: c, B, a
    list.SetSortKey(kSortByCheck);
    list.SetSortKey(kSortByCheck); // descending: unchecked B first
    list.SetSortKey(kSortByName);  // back to names, still descending
    ASSERT_EQ(Paths(list), (std::vector<std::string>{c, b, a}));
    ASSERT_TRUE(list.WriteFile(ListPath()));

    CImageFileList read;
    read.SetListChanged(true);
    EXPECT_EQ(read.ReadFile(ListPath(), {"Cool", "Warm"}), 1);
    EXPECT_FALSE(read.IsListChanged());
    EXPECT_TRUE(m_messages.messages.empty());
    EXPECT_EQ(read.GetSortKey(), kSortByName);
    const int directions[] = {1, 2, 2, 1, 1};
    for (int key = 0; key < kSortKeyCount; ++key)
        EXPECT_EQ(read.GetSortDirection(key), directions[key]) << key;
    ASSERT_EQ(Paths(read), (std::vector<std::string>{c, b, a}));
    EXPECT_EQ(Numbers(read), (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(read.GetItem(0).m_check, 1);
    EXPECT_EQ(read.GetItem(1).m_check, 0);
    EXPECT_EQ(read.GetItem(0).m_lutName, "Cool");
    EXPECT_EQ(read.GetItem(1).m_lutName, "なし");
    EXPECT_EQ(read.GetItem(2).m_lutName, "Warm");
    // The entries were read from the files themselves.
    EXPECT_EQ(read.GetItem(0).m_width, 64);
    EXPECT_EQ(read.GetItem(0).m_type, kImageFileTiff16);
    // Written again, the file is the same.
    EXPECT_EQ(read.FormatListFile(), ReadTextFile(ListPath()));
}

TEST_F(ImageFileListTest, ReadingRenumbersInStoredOrderThenSorts)
{
    const std::string a = MakeTiff("a.tif");
    const std::string b = MakeTiff("b.tif");
    const std::string c = MakeTiff("c.tif");
    CImageFileList list;
    ReadText(list, "[ImageFileList]\nSortMode=0\nSortUpDown00=2\nImageFile_Count=3\n" +
                       EntryLines(0, a, 40, 1, "なし") + EntryLines(1, b, 7, 1, "なし") +
                       EntryLines(2, c, 12, 1, "なし"));
    // Numbers 7, 12, 40 become 0, 1, 2; then descending by number.
    EXPECT_EQ(Paths(list), (std::vector<std::string>{a, c, b}));
    EXPECT_EQ(Numbers(list), (std::vector<int>{2, 1, 0}));
}

TEST_F(ImageFileListTest, HeaderValuesAreRangeChecked)
{
    struct Case
    {
        std::string header;
        int sortKey;
        int direction0;
        int direction4;
    };
    const Case cases[] = {
        {"SortMode=3\nSortUpDown00=2\nSortUpDown04=2\n", 3, 2, 2},
        {"SortMode=7\nSortUpDown00=0\nSortUpDown04=3\n", 0, 1, 1},
        {"SortMode=-1\nSortUpDown00=-2\n", 0, 1, 1},
        {"SortMode=4x\nSortUpDown00=2 \n", 4, 2, 1},
        {"SortMode=abc\nSortUpDown04=\n", 0, 1, 1},
        {"SortMode=99999999999999999999\n", 0, 1, 1},
        {"", 0, 1, 1},
    };
    for (const Case& c : cases)
    {
        CImageFileList list;
        ReadText(list, "[ImageFileList]\n" + c.header + "ImageFile_Count=0\n");
        EXPECT_EQ(list.GetSortKey(), c.sortKey) << c.header;
        EXPECT_EQ(list.GetSortDirection(0), c.direction0) << c.header;
        EXPECT_EQ(list.GetSortDirection(4), c.direction4) << c.header;
        EXPECT_EQ(list.GetCount(), 0u);
    }
    EXPECT_TRUE(m_messages.messages.empty());
}

// A list file edited by hand is read as any private-profile file: letter
// case of the section and of every key, blanks around names, "=" and
// values, and CR LF line ends make no difference to the head or the entries.
TEST_F(ImageFileListTest, HandEditedHeadsReadAsPrivateProfileFiles)
{
    const std::string a = MakeTiff("a.tif");
    const std::string b = MakeTiff("b.tif");
    struct Case
    {
        const char* what;
        std::string text;
    };
    const std::string entries = EntryLines(0, a, 0, 1, "なし") + EntryLines(1, b, 1, 0, "なし");
    const Case cases[] = {
        {"as written", "[ImageFileList]\nVer=2.0\nSortMode=3\nSortUpDown03=2\n"
                       "ImageFile_Count=2\n" + entries},
        {"blanks around =", "[ImageFileList]\nVer = 2.0\nSortMode = 3\nSortUpDown03 = 2\n"
                            "ImageFile_Count = 2\n" + entries},
        {"blanks and tabs around lines", "[ImageFileList]\n  SortMode=3 \n\tSortUpDown03=\t2\t\n"
                                         "  ImageFile_Count =2  \n" + entries},
        {"lower-case keys", LowerCaseKeys("[ImageFileList]\nSortMode=3\nSortUpDown03=2\n"
                                          "ImageFile_Count=2\n" + entries)},
        {"lower-case section", "[imagefilelist]\nSORTMODE=3\nSortUpDown03=2\nImageFile_Count=2\n" +
                                   entries},
        {"blanks in the section line", " [ ImageFileList ] \nSortMode=3\nSortUpDown03=2\n"
                                       "ImageFile_Count=2\n" + entries},
        {"CR LF", WithCrLf("[ImageFileList]\nSortMode = 3\nSortUpDown03=2\nImageFile_Count=2\n" +
                           entries)},
        {"CR LF, lower case and blanks",
         WithCrLf("[imagefilelist] \n sortmode= 3 \nSORTUPDOWN03 =2\nimagefile_count = 2\n" +
                  entries)},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        CImageFileList list;
        ReadText(list, c.text);
        EXPECT_EQ(list.GetSortKey(), kSortByLut);
        EXPECT_EQ(list.GetSortDirection(kSortByLut), kSortDescending);
        EXPECT_EQ(list.GetSortDirection(kSortByNumber), kSortAscending);
        ASSERT_EQ(list.GetCount(), 2u);
        EXPECT_EQ(Numbers(list), (std::vector<int>{0, 1}));
        EXPECT_FALSE(list.IsListChanged());
    }
    EXPECT_TRUE(m_messages.messages.empty());
}

TEST_F(ImageFileListTest, EntryValuesAreRangeChecked)
{
    const std::string a = MakeTiff("a.tif");
    const std::string b = MakeTiff("b.tif");
    const std::string c = MakeTiff("c.tif");
    const std::string d = MakeTiff("d.tif");
    CImageFileList list;
    ReadText(list,
             "[ImageFileList]\nImageFile_Count=4\n" + EntryLines(0, a, 0, 5, "Warm") +
                 EntryLines(1, b, 1, -3, "warm") + EntryLines(2, c, 2, 0, "Unknown") +
                 // Entry 3 has no check mark and no LUT name.
                 "ImageFile00003_Name=" + d + "\nImageFile00003_No=3\n",
             {"Warm"});
    ASSERT_EQ(list.GetCount(), 4u);
    EXPECT_EQ(list.GetItem(0).m_check, 1);
    EXPECT_EQ(list.GetItem(1).m_check, 0);
    EXPECT_EQ(list.GetItem(2).m_check, 0);
    // A missing check mark means checked.
    EXPECT_EQ(list.GetItem(3).m_check, 1);
    EXPECT_EQ(list.GetItem(0).m_lutName, "Warm");
    // LUT names compare with case; an unknown one and a missing one become "なし".
    EXPECT_EQ(list.GetItem(1).m_lutName, kNoLutName);
    EXPECT_EQ(list.GetItem(2).m_lutName, kNoLutName);
    EXPECT_EQ(list.GetItem(3).m_lutName, kNoLutName);
    EXPECT_TRUE(m_messages.messages.empty());
}

TEST_F(ImageFileListTest, MissingFilesAreSkippedAndReportedOnce)
{
    const std::string a = MakeTiff("a.tif");
    const std::string gone = m_dir.File("gone.tif");
    const std::string gone2 = m_dir.File("gone2.tif");
    const std::string small = m_dir.File("small.tif");
    {
        CRGBImage tiny = projecttest::GradientImage(20, 20);
        projecttest::WriteTiff16(small, tiny, {});
    }
    struct Case
    {
        const char* what;
        std::string entries; // after entry 0 (a.tif)
        int count;           // entries in the file
        int stringId;        // 0: no message
        std::string arg;
    };
    const Case cases[] = {
        {"none missing", "", 1, 0, ""},
        {"one missing file", EntryLines(1, gone, 1, 1, "なし"), 2, kStrListFileMissing, gone},
        {"number -1", EntryLines(1, a + "x", -1, 1, "なし"), 2, kStrListFileMissing, a + "x"},
        {"existing file with number -1", EntryLines(1, MakeTiff("e.tif"), -1, 1, "なし"), 2,
         kStrListFileMissing, m_dir.File("e.tif")},
        {"a file ReadInfo refuses", EntryLines(1, small, 1, 1, "なし"), 2, kStrListFileMissing,
         small},
        {"two missing", EntryLines(1, gone, 1, 1, "なし") + EntryLines(2, gone2, 2, 1, "なし"), 3,
         kStrListFilesMissing, "2"},
    };
    for (const Case& c : cases)
    {
        m_messages.messages.clear();
        CImageFileList list;
        ReadText(list, "[ImageFileList]\nImageFile_Count=" + std::to_string(c.count) + "\n" +
                           EntryLines(0, a, 0, 1, "なし") + c.entries);
        EXPECT_EQ(Paths(list), (std::vector<std::string>{a})) << c.what;
        EXPECT_EQ(Numbers(list), (std::vector<int>{0})) << c.what;
        EXPECT_EQ(list.IsListChanged(), c.stringId != 0) << c.what;
        if (c.stringId == 0)
        {
            EXPECT_TRUE(m_messages.messages.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(m_messages.messages.size(), 1u) << c.what;
        EXPECT_EQ(m_messages.messages[0].stringId, c.stringId) << c.what;
        EXPECT_EQ(m_messages.messages[0].args, (std::vector<std::string>{c.arg})) << c.what;
    }
}

TEST_F(ImageFileListTest, LineEndsAndSectionBounds)
{
    const std::string a = MakeTiff("a.tif");
    const std::string b = MakeTiff("b.tif");
    const std::string body = "[ImageFileList]\nSortMode=2\nImageFile_Count=2\n" +
                             EntryLines(0, a, 0, 1, "なし") + EntryLines(1, b, 1, 0, "なし");
    struct Case
    {
        const char* what;
        std::string text;
        std::vector<std::string> paths;
        int sortKey;
    };
    const Case cases[] = {
        {"LF", body, {a, b}, kSortByName},
        {"CR LF", WithCrLf(body), {a, b}, kSortByName},
        {"another section before",
         "[Other]\nImageFile_Count=5\nSortMode=1\n" + WithCrLf(body),
         {a, b},
         kSortByName},
        // Entry 1 lies in a later section: it is not read, and the count
        // names no entry behind it (nothing to report).
        {"a later section",
         "[ImageFileList]\nSortMode=2\nImageFile_Count=2\n" + EntryLines(0, a, 0, 1, "なし") +
             "[Later]\n" + EntryLines(1, b, 1, 0, "なし"),
         {a},
         kSortByName},
        {"no section", EntryLines(0, a, 0, 1, "なし"), {}, kSortByNumber},
    };
    for (const Case& c : cases)
    {
        CImageFileList list;
        ReadText(list, c.text);
        EXPECT_EQ(Paths(list), c.paths) << c.what;
        EXPECT_EQ(list.GetSortKey(), c.sortKey) << c.what;
    }
    EXPECT_TRUE(m_messages.messages.empty());

    CImageFileList list;
    EXPECT_EQ(list.ReadFile(m_dir.File("missing.cvl"), {}), 1);
    EXPECT_EQ(list.GetCount(), 0u);
}

TEST_F(ImageFileListTest, AHugeCountIsBelievedOnlyAsFarAsKeysExist)
{
    const std::string a = MakeTiff("a.tif");
    for (const char* count : {"2147483647", "99999999999999999999", "-5"})
    {
        std::vector<double> reports;
        CImageFileList list;
        ProgressRecorder recorder(reports);
        list.m_listLoadSlot = recorder;
        const auto start = std::chrono::steady_clock::now();
        ReadText(list, std::string("[ImageFileList]\nImageFile_Count=") + count + "\n" +
                           EntryLines(0, a, 0, 1, "なし"));
        // Generous: a loop over the stored count would take minutes.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20)) << count;
        EXPECT_LE(reports.size(), 8u) << count;
        EXPECT_TRUE(m_messages.messages.empty()) << count;
        EXPECT_EQ(list.GetCount(), count[0] == '-' ? 0u : 1u) << count;
    }
}

TEST_F(ImageFileListTest, LoadSlotReportsPercentAndMayCancel)
{
    const std::string paths[] = {MakeTiff("a.tif"), MakeTiff("b.tif"), MakeTiff("c.tif")};
    const std::string text =
        "[ImageFileList]\nImageFile_Count=3\n" + EntryLines(0, paths[0], 0, 1, "なし") +
        EntryLines(1, paths[1], 1, 1, "なし") + EntryLines(2, paths[2], 2, 1, "なし");
    {
        std::vector<double> reports;
        CImageFileList list;
        ProgressRecorder recorder(reports);
        list.m_listLoadSlot = recorder;
        ReadText(list, text);
        ASSERT_EQ(reports.size(), 5u);
        const double expected[] = {0.0, 100.0 / 3.0, 200.0 / 3.0, 100.0, 100.0};
        for (std::size_t i = 0; i < reports.size(); ++i)
            EXPECT_NEAR(reports[i], expected[i], 1e-9) << i;
        EXPECT_EQ(list.GetCount(), 3u);
        EXPECT_FALSE(list.IsListChanged());
    }
    {
        std::vector<double> reports;
        CImageFileList list;
        // Cancels at the second report (the first one after an entry).
        ProgressRecorder recorder(reports, 2);
        list.m_listLoadSlot = recorder;
        ReadText(list, text);
        EXPECT_EQ(Paths(list), (std::vector<std::string>{paths[0]}));
        EXPECT_TRUE(list.IsListChanged());
        EXPECT_TRUE(m_messages.messages.empty());
    }
    {
        // One entry: no reports.
        std::vector<double> reports;
        CImageFileList list;
        ProgressRecorder recorder(reports);
        list.m_listLoadSlot = recorder;
        ReadText(list,
                 "[ImageFileList]\nImageFile_Count=1\n" + EntryLines(0, paths[0], 0, 1, "なし"));
        EXPECT_EQ(list.GetCount(), 1u);
        EXPECT_TRUE(reports.empty());
    }
}

TEST_F(ImageFileListTest, ReadingReplacesTheEntriesOfTheList)
{
    const std::string a = MakeTiff("a.tif");
    CImageFileList list;
    list.AddFile(HandEntry("/p/old.tif"), 0);
    ReadText(list, "[ImageFileList]\nImageFile_Count=1\n" + EntryLines(0, a, 0, 1, "なし"));
    EXPECT_EQ(Paths(list), (std::vector<std::string>{a}));
    EXPECT_FALSE(list.IsListChanged());
}

// --- The project's list-file commands --------------------------------------------

class ProjectListFileTest : public projecttest::ProjectFixture
{
protected:
    std::string ListPath() const { return m_dir.File("project.cvl"); }
};

TEST_F(ProjectListFileTest, SaveListFileWritesTheListAndClearsTheModifiedFlag)
{
    const std::string a = AddTiff("a.tif", 64, 64);
    const std::string b = AddTiff("b.tif", 64, 64);
    Entry(b).m_check = 0;
    m_project->SetModified(true);
    ASSERT_TRUE(m_project->IsListChanged());

    ASSERT_TRUE(m_project->SaveListFile(ListPath()));
    EXPECT_FALSE(m_project->IsModified());
    EXPECT_FALSE(m_project->IsListChanged());
    EXPECT_TRUE(m_messages.messages.empty());
    const std::string text = ReadTextFile(ListPath());
    EXPECT_EQ(text, m_project->FormatListFile());
    EXPECT_NE(text.find("ImageFile00001_Name=" + b +
                        "\r\nImageFile00001_No=1\r\n"
                        "ImageFile00001_Check=0\r\n"),
              std::string::npos);

    // Saving again over the file replaces it.
    m_project->RemoveFiles({a});
    ASSERT_TRUE(m_project->SaveListFile(ListPath()));
    EXPECT_EQ(ReadTextFile(ListPath()).find(a + "\r\n"), std::string::npos);
}

TEST_F(ProjectListFileTest, FailedSaveShowsTheSystemErrorAndKeepsTheOldFile)
{
    AddTiff("a.tif", 64, 64);
    struct Case
    {
        const char* what;
        std::string target;
        int err;
    };
    const std::string folder = m_dir.File("folder.cvl");
    std::filesystem::create_directory(folder);
    WriteTextFile(folder + "/inside", "keep");
    const Case cases[] = {
        {"a folder that is not empty", folder, EISDIR},
        {"a missing folder", m_dir.File("no/such/list.cvl"), ENOENT},
    };
    for (const Case& c : cases)
    {
        m_messages.messages.clear();
        m_project->SetModified(true);
        EXPECT_FALSE(m_project->SaveListFile(c.target)) << c.what;
        EXPECT_TRUE(m_project->IsModified()) << c.what;
        EXPECT_TRUE(m_project->IsListChanged()) << c.what;
        ASSERT_EQ(m_messages.messages.size(), 1u) << c.what;
        EXPECT_EQ(m_messages.messages[0].stringId, kStrSystemErrorText) << c.what;
        EXPECT_EQ(m_messages.messages[0].args, (std::vector<std::string>{std::strerror(c.err)}))
            << c.what;
    }
    EXPECT_EQ(ReadTextFile(folder + "/inside"), "keep");
}

TEST_F(ProjectListFileTest, OpenListFileStartsANewProjectFromTheFile)
{
    const std::string a = AddTiff("a.tif", 64, 64);
    const std::string b = AddTiff("b.tif", 64, 64);
    Entry(a).m_lutName = "Warm"; // not installed: read back as none
    m_project->SetSortKey(kSortByName);
    m_project->SetSortKey(kSortByName);
    ASSERT_TRUE(m_project->SaveListFile(ListPath()));

    Load(a);
    ASSERT_GE(m_project->GetCurrentStep(), 0);
    m_project->AddFile(HandEntry("/p/extra.tif"), m_project->GetCount());
    m_project->SetModified(true);
    m_view.updates.clear();

    ASSERT_TRUE(m_project->OpenListFile(ListPath(), &m_monitor, &m_working, &m_input));
    EXPECT_EQ(Paths(*m_project), (std::vector<std::string>{b, a}));
    EXPECT_EQ(m_project->GetSortDirection(kSortByName), kSortDescending);
    EXPECT_EQ(Entry(a).m_lutName, kNoLutName);
    EXPECT_FALSE(m_project->IsModified());
    EXPECT_FALSE(m_project->IsListChanged());
    // The old image is gone, the profiles are in place, and the view redrew.
    EXPECT_EQ(m_project->GetCurrentStep(), -1);
    ASSERT_FALSE(m_view.updates.empty());
    EXPECT_TRUE(m_view.updates.back());
    Load(b);
    EXPECT_TRUE(m_project->IsImageReady());
}

TEST_F(ProjectListFileTest, OpenListFileWithoutAProfileOpensNothing)
{
    const std::string a = AddTiff("a.tif", 64, 64);
    ASSERT_TRUE(m_project->SaveListFile(ListPath()));
    struct Case
    {
        const char* what;
        bool monitor, working, input;
    };
    const Case cases[] = {
        {"no monitor profile", false, true, true},
        {"no working profile", true, false, true},
        {"no input profile", true, true, false},
    };
    for (const Case& c : cases)
    {
        m_project->AddFile(HandEntry("/p/old.tif"), m_project->GetCount());
        m_project->SetModified(true);
        EXPECT_FALSE(m_project->OpenListFile(ListPath(), c.monitor ? &m_monitor : nullptr,
                                             c.working ? &m_working : nullptr,
                                             c.input ? &m_input : nullptr))
            << c.what;
        EXPECT_EQ(m_project->GetCount(), 0u) << c.what;
        EXPECT_FALSE(m_project->IsModified()) << c.what;
        EXPECT_FALSE(m_project->IsListChanged()) << c.what;
    }
    ASSERT_TRUE(m_project->OpenListFile(ListPath(), &m_monitor, &m_working, &m_input));
    EXPECT_EQ(Paths(*m_project), (std::vector<std::string>{a}));
}

TEST_F(ProjectListFileTest, RemovingTheLoadedEntryDropsTheImage)
{
    const std::string a = AddTiff("a.tif", 64, 64);
    const std::string b = AddTiff("b.tif", 64, 64);
    Load(a);
    m_project->RemoveFiles({b});
    EXPECT_GE(m_project->GetCurrentStep(), 0);
    m_project->RemoveFiles({a});
    EXPECT_EQ(m_project->GetCurrentStep(), -1);
    EXPECT_EQ(m_project->GetCount(), 0u);
}

} // namespace
