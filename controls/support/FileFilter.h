#pragma once
// File-type filters of the file dialogs.
//
// The string table keeps a dialog's filters in one text of '|'-separated
// pairs, "label|patterns|label|patterns|...||", where the patterns of one
// pair are separated by ';' ("TIFFファイル(*.tif)|*.tif|画像ファイル
// (*.tif;*.jpg)|*.tif;*.jpg;||"). QFileDialog takes one "label (patterns)"
// text per filter with the patterns separated by blanks, and shows the text
// as it is; so the label loses a trailing parenthesised pattern list of its
// own (it would be shown twice) and the patterns are put back in Qt's form.

#include <QStringList>

#include <string>
#include <string_view>
#include <vector>

struct FileFilter
{
    std::string label;
    std::vector<std::string> patterns;

    bool operator==(const FileFilter&) const = default;
};

// The pairs of the text in order. A pair with an empty label ends the list
// (the "||" at the end); empty patterns are dropped; a label without its
// patterns is not a filter.
std::vector<FileFilter> ParseFileFilter(std::string_view text);

// One QFileDialog name filter per pair.
QStringList QtNameFilters(const std::vector<FileFilter>& filters);

// The filters of a table text as one QFileDialog filter string, the name
// filters joined by ";;".
QString FileDialogFilterFromTable(const QString& tableText);
