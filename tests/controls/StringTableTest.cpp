#include "controls/StringTable.h"

#include <gtest/gtest.h>

#include <QStringList>

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
