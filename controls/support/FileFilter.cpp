#include "controls/support/FileFilter.h"

#include <QString>

namespace {

std::vector<std::string_view> Split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= text.size())
    {
        const std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos)
        {
            parts.push_back(text.substr(start));
            break;
        }
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// "TIFFファイル(*.tif)" -> "TIFFファイル": the label's own pattern list goes,
// Qt appends the patterns itself.
QString BareLabel(const std::string& label)
{
    QString text = QString::fromStdString(label).trimmed();
    if (text.endsWith(u')'))
    {
        const qsizetype open = text.lastIndexOf(u'(');
        if (open > 0)
            text = text.first(open).trimmed();
    }
    return text;
}

} // namespace

std::vector<FileFilter> ParseFileFilter(std::string_view text)
{
    std::vector<FileFilter> filters;
    const std::vector<std::string_view> parts = Split(text, '|');
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2)
    {
        if (parts[i].empty())
            break;
        FileFilter filter;
        filter.label = std::string(parts[i]);
        for (std::string_view pattern : Split(parts[i + 1], ';'))
        {
            if (!pattern.empty())
                filter.patterns.emplace_back(pattern);
        }
        if (!filter.patterns.empty())
            filters.push_back(std::move(filter));
    }
    return filters;
}

QStringList QtNameFilters(const std::vector<FileFilter>& filters)
{
    QStringList list;
    for (const FileFilter& filter : filters)
    {
        QStringList patterns;
        for (const std::string& pattern : filter.patterns)
            patterns.append(QString::fromStdString(pattern));
        list.append(QStringLiteral("%1 (%2)").arg(BareLabel(filter.label), patterns.join(u' ')));
    }
    return list;
}

QString FileDialogFilterFromTable(const QString& tableText)
{
    return QtNameFilters(ParseFileFilter(tableText.toStdString())).join(QStringLiteral(";;"));
}
