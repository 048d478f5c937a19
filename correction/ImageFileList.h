#pragma once
// The image list: the images the user registered, one CImageFileInfo per
// entry in display order, each with its registration number, its check
// mark (marked for the batch and index printing) and the name of the
// colour-conversion LUT chosen for it. It sorts by one of five keys,
// filters for display, and is stored in the list file (".cvl"):
//
//     [ImageFileList]
//     Ver=2.0
//     SortMode=0
//     SortUpDown00=1
//     ...
//     SortUpDown04=1
//     ImageFile_Count=2
//     ImageFile00000_Name=/home/me/Pictures/a.tif
//     ImageFile00000_No=0
//     ImageFile00000_Check=1
//     ImageFile00000_Lut=なし
//     ...
//
// Entries of type 4 (camera RAW files still to be converted) are neither
// written nor counted; the entry keys are numbered over the written entries
// only. The file is UTF-8 with CR LF line ends, numbers in the C locale; it
// is built whole in memory and replaces the old file in one rename, so a
// failed save leaves the old list intact. Reading accepts LF or CR LF and
// a hand-edited head or entry as every private-profile file is read
// (`sortmode = 3` under `[imagefilelist]` is the sort key 3).
//
// A list file is untrusted input: "ImageFile_Count" is only believed as
// far as entry keys exist, and every value is range-checked.

#include "core/Progress.h"
#include "imagefile/ImageFileInfo.h"

#include <array>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// The LUT name of an entry without a colour-conversion LUT.
inline constexpr std::string_view kNoLutName = "なし";

// String 1002: "ファイルが見つかりません" (the file is not found), shown with
// CR LF CR LF and the path appended when one file of a list is missing.
inline constexpr int kStrListFileMissing = 1002;
// String 1003: "%d個のファイルが見つかりません" (%d files are not found).
inline constexpr int kStrListFilesMissing = 1003;

// Sort keys of the image list.
enum ImageListSortKey : int
{
    kSortByNumber = 0,  // registration number
    kSortByCheck = 1,   // checked entries first
    kSortByName = 2,    // file name without folder, ignoring case
    kSortByLut = 3,     // LUT name, ignoring case
    kSortByFolder = 4,  // folder of the file, ignoring case
};
inline constexpr int kSortKeyCount = 5;
inline constexpr int kSortAscending = 1;
inline constexpr int kSortDescending = 2;

// Display filters.
inline constexpr int kShowAll = 1;
inline constexpr int kShowChecked = 2;
inline constexpr int kShowUnchecked = 3;

// A read-once view of one section of an ini-syntax file: the list file's
// section "ImageFileList", read in one pass instead of one lookup per key,
// by the private-profile rules of IniStore (names match without regard to
// ASCII letter case, blanks around names and values are ignored, one pair
// of quotes around a value is dropped).
class CReadIni
{
public:
    // Reads the file at once. A file that cannot be opened leaves the map
    // empty.
    explicit CReadIni(const std::string& path, std::string_view section = "ImageFileList");

    // The value, empty when the key is missing.
    std::string GetString(const std::string& key) const;
    // When the key has a non-empty value, value becomes its leading decimal
    // integer (0 when it has none, clamped to the range of int); otherwise
    // value is left as given.
    void GetInt(const std::string& key, int& value) const;
    bool HasKey(const std::string& key) const;
    std::size_t GetKeyCount() const { return m_values.size(); }

private:
    // The map's key for a key asked for: trimmed and in lower case.
    static std::string Lookup(std::string_view key);

    std::string m_path;
    std::string m_section;
    // Keys in ASCII lower case; a key met twice keeps its first value.
    std::map<std::string, std::string> m_values;
};

// A camera RAW entry that the outside converter has not turned into an
// image yet (type 4): it has no pixels of its own, so the list file, the
// batch and the index print all leave it out by this one rule.
bool IsUnconvertedRawEntry(const CImageFileInfo& entry);

class CImageFileList
{
public:
    CImageFileList();
    virtual ~CImageFileList();
    CImageFileList(const CImageFileList&) = delete;
    CImageFileList& operator=(const CImageFileList&) = delete;

    // Called after an entry was taken out of the list (RemoveFiles); the
    // list itself does nothing.
    virtual void OnItemRemoved(const std::string& path);

    // Appends a copy of the entry, numbered count - 1, unless its path
    // equals (byte for byte: paths are case-sensitive here) the path of one
    // of the first `limit` entries. True when appended.
    bool AddFile(const CImageFileInfo& entry, std::size_t limit);
    // For each path, the first entry with exactly that path is removed,
    // OnItemRemoved is called, and the numbers above the removed one move
    // down by one.
    void RemoveFiles(const std::vector<std::string>& paths);

    std::size_t GetCount() const { return m_entries.size(); }
    CImageFileInfo& GetItem(std::size_t index) { return m_entries[index]; }
    const CImageFileInfo& GetItem(std::size_t index) const { return m_entries[index]; }

    // Entries under the display filter; null past the end.
    std::size_t GetShownCount() const;
    CImageFileInfo* GetShownItem(std::size_t n);
    // Checked entries, regardless of the display filter; null past the end.
    std::size_t GetCheckedCount() const;
    CImageFileInfo* GetCheckedItem(std::size_t n);
    const CImageFileInfo* GetCheckedItem(std::size_t n) const;

    // The same key again flips its direction; then the entries are sorted.
    // A key outside 0..4 is ignored.
    void SetSortKey(int key);
    int GetSortKey() const { return m_sortKey; }
    int GetSortDirection(int key) const;
    void SetDisplayFilter(int filter);
    int GetDisplayFilter() const { return m_displayFilter; }

    std::size_t CountType4() const;
    bool HasCheckedOtherThanType4() const;
    bool HasCheckedType4() const;

    // Empties the list: no entries, list unchanged, sort key 0, every
    // direction ascending, all entries shown.
    void Clear();

    // The list file's text (see the top of this file).
    std::string FormatListFile() const;
    // Writes the list file in one replacement. True when written; the list
    // changed flag is then cleared. On failure the old file is untouched
    // and errno tells why.
    bool WriteFile(const std::string& path);
    // Reads a list file into the (cleared) list: entries whose number is
    // negative or whose file cannot be read are skipped and reported once
    // (strings 1002 and 1003); a LUT name not among lutNames becomes
    // "なし". The load slot (percent) is told of the progress and may
    // cancel, keeping the entries read so far. Then the entries are
    // renumbered 0, 1, ... in their stored order and sorted by the stored
    // key. Returns 1.
    int ReadFile(const std::string& path, const std::vector<std::string>& lutNames);

    // Set by adding, removing, sorting, and a read that skipped files or was
    // cancelled; cleared by writing the list file and by Clear.
    bool IsListChanged() const { return m_listChanged; }
    void SetListChanged(bool changed) { m_listChanged = changed; }
    // Set by the project when a step document or the output folder changes;
    // cleared when the list file is saved or a list is opened.
    bool IsModified() const { return m_modified; }
    void SetModified(bool modified) { m_modified = modified; }

    // The list-file load slot: progress in percent (0..100).
    Progress m_listLoadSlot;

protected:
    void SortEntries();

    std::vector<CImageFileInfo> m_entries;
    bool m_listChanged = false;
    int m_sortKey = kSortByNumber;
    std::array<int, kSortKeyCount> m_sortDirections{1, 1, 1, 1, 1};
    int m_displayFilter = kShowAll;
    bool m_modified = false;
};
