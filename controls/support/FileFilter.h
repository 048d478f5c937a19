#pragma once
// File-type filters of the file dialogs.
//
// The string table keeps a dialog's filters in one text of '|'-separated
// pairs, "label|patterns|label|patterns|...||", where the patterns of one
// pair are separated by ';' ("TIFFファイル(*.tif)|*.tif|画像ファイル
// (*.tif;*.jpg)|*.tif;*.jpg;||"). QFileDialog takes one "label (patterns)"
// text per filter with the patterns separated by blanks. The dialog shows
// the table's label as it is and hides Qt's pattern list (UseNameFilters).
//
// The table names each image type by one spelling of its extension; the
// files of a folder use both ("scan.tiff", "chelsea.jpeg", as the command
// line and the folder registration accept them), so a pattern of either
// spelling matches the other as well, and the dialogs match whatever the
// letter case ("IMG_0001.JPG").

#include <QStringList>

class QFileDialog;

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

// The patterns of one pair with the other spelling of each image
// extension after it ("*.tif" -> "*.tif", "*.tiff").
QStringList DialogPatterns(const FileFilter& filter);

// One QFileDialog name filter per pair: "label (patterns)" with the label
// whole and the patterns of DialogPatterns.
QStringList QtNameFilters(const std::vector<FileFilter>& filters);

// The filters of a table text as one QFileDialog filter string, the name
// filters joined by ";;".
QString FileDialogFilterFromTable(const QString& tableText);

// Gives a Qt file dialog its name filters (QtNameFilters, or the
// ";;"-joined form of FileDialogFilterFromTable): the labels shown as the
// table writes them, and files listed whatever the letter case of their
// names.
void UseNameFilters(QFileDialog& dialog, const QStringList& filters);
void UseNameFilters(QFileDialog& dialog, const QString& filter);

// The position in the dialog's name filters of the one chosen (-1 for
// none). The dialog names it by the text it shows, without the patterns.
int SelectedNameFilterIndex(const QFileDialog& dialog);
