#include "controls/support/FileFilter.h"

#include <QFileDialog>
#include <QString>

#include <array>

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

// The two spellings of the image extensions.
constexpr std::array<std::array<const char*, 2>, 2> kSpellings = {{
    {"*.tif", "*.tiff"},
    {"*.jpg", "*.jpeg"},
}};

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

QStringList DialogPatterns(const FileFilter& filter)
{
    QStringList patterns;
    const auto add = [&patterns](const QString& pattern) {
        if (!patterns.contains(pattern, Qt::CaseInsensitive))
            patterns.append(pattern);
    };
    for (const std::string& text : filter.patterns)
    {
        const QString pattern = QString::fromStdString(text);
        add(pattern);
        for (const auto& pair : kSpellings)
        {
            for (std::size_t i = 0; i < pair.size(); ++i)
            {
                if (pattern.compare(QLatin1String(pair[i]), Qt::CaseInsensitive) == 0)
                    add(QLatin1String(pair[1 - i]));
            }
        }
    }
    return patterns;
}

QStringList QtNameFilters(const std::vector<FileFilter>& filters)
{
    QStringList list;
    for (const FileFilter& filter : filters)
    {
        list.append(QStringLiteral("%1 (%2)").arg(QString::fromStdString(filter.label).trimmed(),
                                                  DialogPatterns(filter).join(u' ')));
    }
    return list;
}

QString FileDialogFilterFromTable(const QString& tableText)
{
    return QtNameFilters(ParseFileFilter(tableText.toStdString())).join(QStringLiteral(";;"));
}

void UseNameFilters(QFileDialog& dialog, const QStringList& filters)
{
    // The label carries its own pattern list: Qt's would show it twice.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setNameFilters(filters);
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
}

void UseNameFilters(QFileDialog& dialog, const QString& filter)
{
    UseNameFilters(dialog, filter.split(QStringLiteral(";;"), Qt::SkipEmptyParts));
}

int SelectedNameFilterIndex(const QFileDialog& dialog)
{
    const QString selected = dialog.selectedNameFilter();
    const QStringList filters = dialog.nameFilters();
    for (qsizetype i = 0; i < filters.size(); ++i)
    {
        const QString& filter = filters[i];
        const qsizetype patterns = filter.lastIndexOf(QStringLiteral(" ("));
        if (filter == selected ||
            (patterns > 0 && filter.first(patterns).simplified() == selected.simplified()))
            return static_cast<int>(i);
    }
    return -1;
}
