#include "correction/ImageFileList.h"

#include "core/MessageSink.h"
#include "core/PathUtils.h"
#include "platform/FileReplace.h"
#include "platform/IniStore.h"
#include "platform/Numbers.h"
#include "platform/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <numeric>
#include <utility>

namespace {

constexpr std::string_view kListSection = "ImageFileList";
constexpr std::string_view kListVersion = "2.0";
constexpr std::string_view kLineEnd = "\r\n";

bool IsCheckedEntry(const CImageFileInfo& entry)
{
    return entry.m_check != 0;
}

// A value that holds a line break cannot be written as one line of the
// list file: it would end the line early and whatever follows the break
// would be read as a key of its own.
bool HasLineBreak(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

std::string SortDirectionKey(int key)
{
    char name[24];
    std::snprintf(name, sizeof name, "SortUpDown%02d", key);
    return name;
}

std::string EntryKey(int index, std::string_view field)
{
    char name[40];
    std::snprintf(name, sizeof name, "ImageFile%05d_", index);
    return std::string(name).append(field);
}

void AppendLine(std::string& out, std::string_view key, std::string_view value)
{
    out.append(key).append("=").append(value).append(kLineEnd);
}

// The text an entry is sorted by for the keys that compare text: file
// name, LUT name or folder, with ASCII letters folded. Folding only ASCII
// leaves every other UTF-8 byte as it is, so the order is byte order of
// the folded text and the same in every locale.
std::string FoldedSortText(const CImageFileInfo& entry, int key)
{
    switch (key)
    {
    case kSortByName:
        return platform::ToLowerAscii(GetFileNameFromPath(entry.m_path));
    case kSortByLut:
        return platform::ToLowerAscii(entry.m_lutName);
    case kSortByFolder:
        return platform::ToLowerAscii(GetFolderFromPath(entry.m_path));
    default:
        return {};
    }
}

// Rebuilds the entries in the given order of their indices. An entry
// carries its embedded profile and RAW description and is only copyable, so
// sorting works on indices and the entries are copied once, into their
// final places, instead of being shuffled by the sort.
void PermuteEntries(std::vector<CImageFileInfo>& entries, const std::vector<std::size_t>& order)
{
    std::vector<CImageFileInfo> sorted;
    sorted.reserve(order.size());
    for (std::size_t index : order)
        sorted.push_back(entries[index]);
    entries.swap(sorted);
}

std::vector<std::size_t> Identity(std::size_t count)
{
    std::vector<std::size_t> order(count);
    std::iota(order.begin(), order.end(), std::size_t{0});
    return order;
}

} // namespace

// ---- CReadIni

CReadIni::CReadIni(const std::string& path, std::string_view section)
    : m_path(path), m_section(section)
{
    // The private-profile rules of every other settings file: section and
    // key names without regard to letter case, blanks around names and
    // values ignored, a key met twice meaning its first occurrence.
    for (auto& [key, value] : platform::IniStore(path).ReadSection(m_section))
        m_values.emplace(platform::ToLowerAscii(key), std::move(value));
}

std::string CReadIni::Lookup(std::string_view key)
{
    return platform::ToLowerAscii(platform::TrimBlanks(key, platform::kIniBlanks));
}

std::string CReadIni::GetString(const std::string& key) const
{
    const auto it = m_values.find(Lookup(key));
    return it == m_values.end() ? std::string() : it->second;
}

void CReadIni::GetInt(const std::string& key, int& value) const
{
    const auto it = m_values.find(Lookup(key));
    if (it != m_values.end() && !it->second.empty())
        value = platform::ParseInt(it->second);
}

bool CReadIni::HasKey(const std::string& key) const
{
    return m_values.contains(Lookup(key));
}

// ---- CImageFileList

CImageFileList::CImageFileList() = default;

CImageFileList::~CImageFileList() = default;

void CImageFileList::OnItemRemoved(const std::string&) {}

bool CImageFileList::AddFile(const CImageFileInfo& entry, std::size_t limit)
{
    const std::size_t end = std::min(limit, m_entries.size());
    for (std::size_t i = 0; i < end; ++i)
    {
        if (m_entries[i].m_path == entry.m_path)
            return false;
    }
    m_listChanged = true;
    m_entries.push_back(entry);
    m_entries.back().m_number = static_cast<int>(m_entries.size() - 1);
    return true;
}

// Every removal lowers the numbers above the removed one, so the numbers
// stay 0..count-1 when they were. The removals are decided first and the
// entries compacted once, so removing many entries from a long list does
// not shift the rest of the list once per entry.
void CImageFileList::RemoveFiles(const std::vector<std::string>& paths)
{
    std::vector<bool> removed(m_entries.size(), false);
    std::vector<std::string> removedPaths;
    for (const std::string& path : paths)
    {
        std::size_t found = 0;
        while (found < m_entries.size() && (removed[found] || m_entries[found].m_path != path))
            ++found;
        if (found == m_entries.size())
            continue;
        removed[found] = true;
        removedPaths.push_back(path);
        const int number = m_entries[found].m_number;
        for (std::size_t i = 0; i < m_entries.size(); ++i)
        {
            if (!removed[i] && m_entries[i].m_number > number)
                --m_entries[i].m_number;
        }
    }
    if (removedPaths.empty())
        return;

    m_listChanged = true;
    std::vector<CImageFileInfo> kept;
    kept.reserve(m_entries.size() - removedPaths.size());
    for (std::size_t i = 0; i < m_entries.size(); ++i)
    {
        if (!removed[i])
            kept.push_back(m_entries[i]);
    }
    m_entries.swap(kept);
    for (const std::string& path : removedPaths)
        OnItemRemoved(path);
}

std::size_t CImageFileList::GetShownCount() const
{
    switch (m_displayFilter)
    {
    case kShowChecked:
        return GetCheckedCount();
    case kShowUnchecked:
        return m_entries.size() - GetCheckedCount();
    default:
        return m_entries.size();
    }
}

CImageFileInfo* CImageFileList::GetShownItem(std::size_t n)
{
    if (m_displayFilter != kShowChecked && m_displayFilter != kShowUnchecked)
        return n < m_entries.size() ? &m_entries[n] : nullptr;
    const bool wantChecked = m_displayFilter == kShowChecked;
    for (CImageFileInfo& entry : m_entries)
    {
        if (IsCheckedEntry(entry) == wantChecked && n-- == 0)
            return &entry;
    }
    return nullptr;
}

std::size_t CImageFileList::GetCheckedCount() const
{
    return static_cast<std::size_t>(
        std::count_if(m_entries.begin(), m_entries.end(), IsCheckedEntry));
}

CImageFileInfo* CImageFileList::GetCheckedItem(std::size_t n)
{
    return const_cast<CImageFileInfo*>(std::as_const(*this).GetCheckedItem(n));
}

const CImageFileInfo* CImageFileList::GetCheckedItem(std::size_t n) const
{
    for (const CImageFileInfo& entry : m_entries)
    {
        if (IsCheckedEntry(entry) && n-- == 0)
            return &entry;
    }
    return nullptr;
}

void CImageFileList::SetSortKey(int key)
{
    if (key < 0 || key >= kSortKeyCount)
        return;
    m_listChanged = true;
    if (key == m_sortKey)
    {
        int& direction = m_sortDirections[static_cast<std::size_t>(key)];
        direction = direction == kSortDescending ? kSortAscending : kSortDescending;
    }
    m_sortKey = key;
    SortEntries();
}

int CImageFileList::GetSortDirection(int key) const
{
    if (key < 0 || key >= kSortKeyCount)
        return kSortAscending;
    return m_sortDirections[static_cast<std::size_t>(key)];
}

void CImageFileList::SetDisplayFilter(int filter)
{
    if (filter == kShowAll || filter == kShowChecked || filter == kShowUnchecked)
        m_displayFilter = filter;
}

bool IsUnconvertedRawEntry(const CImageFileInfo& entry)
{
    return entry.m_type == kImageFileRaw;
}

std::size_t CImageFileList::CountType4() const
{
    return static_cast<std::size_t>(
        std::count_if(m_entries.begin(), m_entries.end(), IsUnconvertedRawEntry));
}

bool CImageFileList::HasCheckedOtherThanType4() const
{
    return std::any_of(m_entries.begin(), m_entries.end(), [](const CImageFileInfo& e) {
        return IsCheckedEntry(e) && !IsUnconvertedRawEntry(e);
    });
}

bool CImageFileList::HasCheckedType4() const
{
    return std::any_of(m_entries.begin(), m_entries.end(), [](const CImageFileInfo& e) {
        return IsCheckedEntry(e) && IsUnconvertedRawEntry(e);
    });
}

void CImageFileList::Clear()
{
    m_entries.clear();
    m_listChanged = false;
    m_sortKey = kSortByNumber;
    m_sortDirections.fill(kSortAscending);
    m_displayFilter = kShowAll;
}

// The sort text of each entry is made once, before sorting. Descending
// order swaps the comparison's arguments, which keeps it a strict weak ordering
// (a negated "less" would not be one, and std::sort may then run past the
// end of the range). The sort is stable, so entries with equal keys keep
// the order they had.
void CImageFileList::SortEntries()
{
    const std::size_t count = m_entries.size();
    if (count < 2)
        return;
    const int key = m_sortKey;
    std::vector<std::string> texts;
    if (key == kSortByName || key == kSortByLut || key == kSortByFolder)
    {
        texts.reserve(count);
        for (const CImageFileInfo& entry : m_entries)
            texts.push_back(FoldedSortText(entry, key));
    }
    const auto less = [&](std::size_t a, std::size_t b) {
        switch (key)
        {
        case kSortByNumber:
            return m_entries[a].m_number < m_entries[b].m_number;
        case kSortByCheck:
            return IsCheckedEntry(m_entries[a]) && !IsCheckedEntry(m_entries[b]);
        default:
            return texts[a] < texts[b];
        }
    };
    std::vector<std::size_t> order = Identity(count);
    if (GetSortDirection(key) == kSortDescending)
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return less(b, a); });
    else
        std::stable_sort(order.begin(), order.end(), less);
    PermuteEntries(m_entries, order);
}

std::string CImageFileList::FormatListFile() const
{
    // Entries that cannot be written are left out of the count and of the
    // numbering: camera RAW files still to be converted, and paths with a
    // line break (legal in a Linux file name, not representable here).
    const auto written = [](const CImageFileInfo& e) {
        return !IsUnconvertedRawEntry(e) && !HasLineBreak(e.m_path);
    };

    std::string out;
    out.append("[").append(kListSection).append("]").append(kLineEnd);
    AppendLine(out, "Ver", kListVersion);
    AppendLine(out, "SortMode", platform::FormatInt(m_sortKey));
    for (int key = 0; key < kSortKeyCount; ++key)
        AppendLine(out, SortDirectionKey(key), platform::FormatInt(GetSortDirection(key)));
    const auto count = std::count_if(m_entries.begin(), m_entries.end(), written);
    AppendLine(out, "ImageFile_Count", platform::FormatInt(count));

    int index = 0;
    for (const CImageFileInfo& entry : m_entries)
    {
        if (!written(entry))
            continue;
        const std::string_view lut = HasLineBreak(entry.m_lutName) ? kNoLutName : entry.m_lutName;
        AppendLine(out, EntryKey(index, "Name"), entry.m_path);
        AppendLine(out, EntryKey(index, "No"), platform::FormatInt(entry.m_number));
        AppendLine(out, EntryKey(index, "Check"), platform::FormatInt(entry.m_check));
        AppendLine(out, EntryKey(index, "Lut"), lut);
        ++index;
    }
    return out;
}

bool CImageFileList::WriteFile(const std::string& path)
{
    errno = 0;
    if (!platform::ReplaceFileContents(path, FormatListFile()))
    {
        if (errno == 0)
            errno = EIO;
        return false;
    }
    m_listChanged = false;
    return true;
}

int CImageFileList::ReadFile(const std::string& path, const std::vector<std::string>& lutNames)
{
    m_entries.clear();
    m_listChanged = false;

    const CReadIni ini(path, kListSection);

    int sortKey = kSortByNumber;
    ini.GetInt("SortMode", sortKey);
    m_sortKey = sortKey >= 0 && sortKey < kSortKeyCount ? sortKey : kSortByNumber;
    for (int key = 0; key < kSortKeyCount; ++key)
    {
        int direction = kSortAscending;
        ini.GetInt(SortDirectionKey(key), direction);
        m_sortDirections[static_cast<std::size_t>(key)] =
            direction == kSortAscending || direction == kSortDescending ? direction
                                                                        : kSortAscending;
    }
    int storedCount = 0;
    ini.GetInt("ImageFile_Count", storedCount);
    // The count is believed only as far as keys exist: every entry takes
    // keys of its own, so there can be no more entries than keys.
    const std::size_t count =
        std::min(static_cast<std::size_t>(std::max(storedCount, 0)), ini.GetKeyCount());

    const bool report = static_cast<bool>(m_listLoadSlot) && count > 1;
    if (report)
        m_listLoadSlot.Report(0.0);

    std::vector<std::string> missing;
    for (std::size_t i = 0; i < count; ++i)
    {
        const int index = static_cast<int>(i);
        const std::string nameKey = EntryKey(index, "Name");
        // A number without an entry behind it (a count larger than the
        // entries written) names no file, so there is nothing to report.
        if (!ini.HasKey(nameKey))
        {
            m_listChanged = true;
        }
        else
        {
            const std::string name = ini.GetString(nameKey);
            int number = -1;
            ini.GetInt(EntryKey(index, "No"), number);
            int check = 1;
            ini.GetInt(EntryKey(index, "Check"), check);
            std::string lut = ini.GetString(EntryKey(index, "Lut"));
            if (std::find(lutNames.begin(), lutNames.end(), lut) == lutNames.end())
                lut = kNoLutName;

            CImageFileInfo entry;
            if (number >= 0 && entry.ReadInfo(name) != 0)
            {
                entry.m_number = number;
                entry.m_check = std::clamp(check, 0, 1);
                entry.m_lutName = std::move(lut);
                m_entries.push_back(std::move(entry));
            }
            else
            {
                missing.push_back(name);
            }
        }
        if (report &&
            !m_listLoadSlot.Report(static_cast<double>(i + 1) / static_cast<double>(count) * 100.0))
        {
            m_listChanged = true;
            break;
        }
    }
    if (report)
        m_listLoadSlot.Report(100.0);

    // The GUI shows string 1002, a blank line (CR LF CR LF) and the path
    // handed as the argument; string 1003 takes the number of files.
    if (missing.size() == 1)
    {
        m_listChanged = true;
        ShowMessage(kStrListFileMissing, {missing.front()}, MessageButtons::Ok, MessageIcon::Error);
    }
    else if (missing.size() > 1)
    {
        m_listChanged = true;
        ShowMessage(kStrListFilesMissing,
                    {platform::FormatInt(static_cast<long long>(missing.size()))},
                    MessageButtons::Ok, MessageIcon::Error);
    }

    // The stored numbers may have gaps (skipped files, removals before the
    // save); they become 0, 1, ... in their order, then the stored key
    // decides the display order.
    std::vector<std::size_t> order = Identity(m_entries.size());
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return m_entries[a].m_number < m_entries[b].m_number;
    });
    PermuteEntries(m_entries, order);
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        m_entries[i].m_number = static_cast<int>(i);
    SortEntries();
    return 1;
}
