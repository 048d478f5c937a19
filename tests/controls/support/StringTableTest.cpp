#include "controls/support/StringTable.h"

#include "controls/support/MessageText.h"
#include "core/ColorConverter.h"
#include "core/ErrorRecord.h"
#include "correction/ImageFileList.h"
#include "correction/ProjectManage.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <filesystem>
#include <string>
#include <vector>

TEST(StringTableTest, ParsesEscapesCommentsAndReportsFaults)
{
    QStringList errors;
    const auto entries = ParseStringTable(
        "# comment\n"
        "10\ttwo\\nlines\\tand \\\\ one\r\n"
        "\n"
        "11\t\n"
        "x\tbad\n"
        "10\tagain\n",
        &errors);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].id, 10);
    EXPECT_EQ(entries[0].text, QStringLiteral("two\nlines\tand \\ one"));
    EXPECT_EQ(entries[1].id, 11);
    EXPECT_TRUE(entries[1].text.isEmpty());
    ASSERT_EQ(errors.size(), 2);
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("line 5:")));
    EXPECT_TRUE(errors[1].contains(QStringLiteral("already on line 2")));
}

TEST(StringTableTest, CompiledTableLooksUpByNumber)
{
    EXPECT_EQ(LoadString(2104), QStringLiteral("処理中"));
    EXPECT_EQ(LoadString(1024), QStringLiteral("変換エラー： "));
    EXPECT_TRUE(LoadString(999999).isEmpty());
    EXPECT_FALSE(HasString(999999));
}

namespace {

// A number the sources use for a text, and where.
struct UsedString
{
    std::string where; // "file: kStrName" or "file: LoadString"
    int id;
};

// The numbers one source text uses: the string constants it declares
// ("inline constexpr int kStrName = 1234;") and the literal numbers it
// passes to LoadString.
std::vector<UsedString> ScanStringNumbers(const QString& source, const std::string& file)
{
    static const QRegularExpression constant(
        QStringLiteral(R"(inline\s+constexpr\s+int\s+(kStr\w+)\s*=\s*(\d+)\s*;)"));
    static const QRegularExpression lookup(QStringLiteral(R"(\bLoadString\s*\(\s*(\d+)\s*\))"));
    std::vector<UsedString> used;
    for (const auto& match : constant.globalMatch(source))
        used.push_back({file + ": " + match.captured(1).toStdString(), match.captured(2).toInt()});
    for (const auto& match : lookup.globalMatch(source))
        used.push_back({file + ": LoadString", match.captured(1).toInt()});
    return used;
}

// Every number used by the sources of the program's layers above platform/.
std::vector<UsedString> ScanSourceTree()
{
    namespace fs = std::filesystem;
    std::vector<UsedString> used;
    for (const char* folder : {"core", "imagefile", "correction", "controls", "app", "print", "monitor"})
    {
        const fs::path root = fs::path(QB_SOURCE_DIR) / folder;
        if (!fs::is_directory(root))
            continue;
        for (const auto& entry : fs::recursive_directory_iterator(root))
        {
            const auto extension = entry.path().extension();
            if (!entry.is_regular_file() || (extension != ".h" && extension != ".cpp"))
                continue;
            QFile in(QString::fromStdString(entry.path().string()));
            if (!in.open(QIODevice::ReadOnly))
                continue;
            const auto found = ScanStringNumbers(QString::fromUtf8(in.readAll()),
                                                 fs::relative(entry.path(), QB_SOURCE_DIR).string());
            used.insert(used.end(), found.begin(), found.end());
        }
    }
    return used;
}

} // namespace

TEST(StringTableTest, CompiledTableParsesWithoutFaults)
{
    QFile file(QStringLiteral(":/strings.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList errors;
    const auto entries = ParseStringTable(file.readAll(), &errors);
    EXPECT_TRUE(errors.isEmpty()) << errors.join(u'\n').toStdString();
    EXPECT_EQ(entries.size(), StringTableIds().size());
    EXPECT_GT(entries.size(), 100u);
}

TEST(StringTableTest, TextsKeepTheirBlanksAndLineBreaks)
{
    // Trailing blanks are part of the texts that a value follows directly
    // (an editor that trims line ends would lose them).
    const struct
    {
        int id;
        const char16_t* text;
    } cases[] = {
        {1020, u"変換中： "},
        {1024, u"変換エラー： "},
        {2500, u"物理メモリ空き容量：　"},
        {2506, u"Windows Major Version：　"},
        {2509, u"モニタプロファイルパス：　"},
        {3024, u"CHROMIVEL!2"},
        {11201, u"%d ページを処理中 [ 全体の %d %% 終了 ]"},
        {3051, u"色調整ウィザードを終了します。よろしいですか？\nより細かく設定する場合は［いいえ］を"
               u"選択し、[より細かく設定]ボタンを押してください。"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LoadString(c.id), QString::fromUtf16(c.text)) << c.id;

    // The document strings of the list file: seven parts, the first the
    // window title, the second empty.
    const QStringList parts = LoadString(130).split(u'\n');
    ASSERT_EQ(parts.size(), 7);
    EXPECT_EQ(parts[0], QStringLiteral("CHROMIVEL!2"));
    EXPECT_TRUE(parts[1].isEmpty());
    EXPECT_EQ(parts[4], QStringLiteral(".cvl"));
}

TEST(StringTableTest, ScannerFindsConstantsAndLookups)
{
    const auto used = ScanStringNumbers(QStringLiteral("inline constexpr int kStrOne = 1009;\n"
                                        "inline   constexpr int kStrTwo=30020 ;\n"
                                        "constexpr int kOther = 5;\n"
                                        "label->setText(LoadString( 2104 ));\n"
                                        "MyLoadString(7); LoadString(kStrOne);\n"),
                                        "x.h");
    ASSERT_EQ(used.size(), 3u);
    EXPECT_EQ(used[0].where, "x.h: kStrOne");
    EXPECT_EQ(used[0].id, 1009);
    EXPECT_EQ(used[1].where, "x.h: kStrTwo");
    EXPECT_EQ(used[1].id, 30020);
    EXPECT_EQ(used[2].where, "x.h: LoadString");
    EXPECT_EQ(used[2].id, 2104);
}

TEST(StringTableTest, EveryNumberTheSourcesUseHasAText)
{
    const auto used = ScanSourceTree();
    // The layers below the windows alone declare more than ten; far fewer
    // means the scan went wrong, not that the table is complete.
    EXPECT_GE(used.size(), 10u);
    for (const auto& u : used)
        EXPECT_TRUE(HasString(u.id)) << u.where << " = " << u.id << " has no text";
}

TEST(StringTableTest, FieldsMatchTheArgumentsTheCallersPass)
{
    // The number of arguments each caller passes with the number.
    const struct
    {
        int id;
        int arguments;
    } cases[] = {
        {kStrLutLimitReached, 1},  // the most LUT files
        {kStrLutFileRejected, 1},  // the reason, naming the file
        {kStrErrorFileOne, 1},     // the path
        {kStrErrorFileMany, 1},    // the number of files
        {kStrSystemErrorText, 1},  // the system's text
        {kStrListFilesMissing, 1}, // the number of files
        {kStrSnapshotFailed, 0},
        {kStrPrintNoMemory, 0},
        {kStrPrintCancelled, 0},
        {kStrPrintError, 0},
        {kStrApplicationName, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CountMessageFields(LoadString(c.id).toStdString()), c.arguments) << c.id;

    // The missing file of a list goes under the text, which has no field
    // for it.
    EXPECT_EQ(CountMessageFields(LoadString(kStrListFileMissing).toStdString()), 0);
}
