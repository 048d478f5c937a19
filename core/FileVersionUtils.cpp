#include "core/FileVersionUtils.h"

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
