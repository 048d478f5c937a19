#pragma once
// The program's string table: every text the user sees, by number.
//
// The table is resources/strings.txt, compiled into the program. Each line
// is "number<TAB>text"; in the text, \n stands for a line break, \t for a
// tab and \\ for a backslash. Blank lines and lines starting with # are
// comments. Numbers are unique.

#include <QString>

#include <vector>

// The application's name: the title of the message boxes and of the main
// window, and the stem of the names that keep the program to one instance.
inline constexpr int kStrApplicationName = 3024;

// The text of a number; empty when the table has no such number.
QString LoadString(int id);
bool HasString(int id);

// Every number of the table, ascending.
std::vector<int> StringTableIds();

// Parses a table in the format above. Lines that are not comments and do
// not parse, and numbers that come twice, are reported in errors (one text
// per fault, with the line number); the first text of a number is kept.
struct StringTableEntry
{
    int id = 0;
    QString text;
};
std::vector<StringTableEntry> ParseStringTable(const QByteArray& utf8, QStringList* errors);
