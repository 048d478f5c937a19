#include "core/FileVersionUtils.h"

#include <algorithm>
#include <climits>
#include <cstdio>

bool CFileVersionUtils::Load(const std::string& path)
{
    m_info = platform::VersionInfo{};
    if (!platform::ReadVersionBlock(path, m_block) || !m_info.Parse(m_block))
        m_block.clear();
    return !m_block.empty();
}

bool CFileVersionUtils::QueryValue(std::string_view name, std::string& out) const
{
    if (m_block.empty())
        return false;
    const std::vector<platform::VersionTranslation> translations = m_info.GetTranslations();
    if (translations.empty())
        return false;
    char table[9];
    std::snprintf(table, sizeof table, "%04X%04X",
                  static_cast<unsigned>(translations.front().language),
                  static_cast<unsigned>(translations.front().codePage));
    std::string path = "\\StringFileInfo\\";
    path += table;
    path += '\\';
    path += name;
    return m_info.QueryString(path, out);
}

std::vector<int> ParseVersionNumbers(std::string_view text)
{
    std::vector<int> numbers;
    std::size_t pos = 0;
    for (;;)
    {
        if (pos >= text.size() || text[pos] < '0' || text[pos] > '9')
            break;
        long long number = 0;
        for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos)
            number = std::min<long long>(number * 10 + (text[pos] - '0'), INT_MAX);
        numbers.push_back(static_cast<int>(number));
        if (pos >= text.size() || (text[pos] != '.' && text[pos] != ','))
            break;
        ++pos;
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
    }
    return numbers;
}

int CompareVersionNumbers(const std::vector<int>& a, const std::vector<int>& b)
{
    const std::size_t parts = std::max(a.size(), b.size());
    for (std::size_t i = 0; i < parts; ++i)
    {
        const int x = i < a.size() ? a[i] : 0;
        const int y = i < b.size() ? b[i] : 0;
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}
