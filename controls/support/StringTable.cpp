#include "controls/support/StringTable.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <map>

namespace {

QString Unescape(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i)
    {
        const QChar c = text[i];
        if (c != u'\\' || i + 1 == text.size())
        {
            out += c;
            continue;
        }
        const QChar next = text[++i];
        if (next == u'n')
            out += u'\n';
        else if (next == u't')
            out += u'\t';
        else if (next == u'\\')
            out += u'\\';
        else
        {
            out += c;
            out += next;
        }
    }
    return out;
}

const std::map<int, QString>& Table()
{
    static const std::map<int, QString> table = [] {
        std::map<int, QString> entries;
        QFile file(QStringLiteral(":/strings.txt"));
        if (!file.open(QIODevice::ReadOnly))
            return entries;
        for (auto& entry : ParseStringTable(file.readAll(), nullptr))
            entries.emplace(entry.id, std::move(entry.text));
        return entries;
    }();
    return table;
}

} // namespace

std::vector<StringTableEntry> ParseStringTable(const QByteArray& utf8, QStringList* errors)
{
    std::vector<StringTableEntry> entries;
    std::map<int, int> firstLine;
    const QString text = QString::fromUtf8(utf8);
    const QStringList lines = text.split(u'\n');
    for (qsizetype index = 0; index < lines.size(); ++index)
    {
        QStringView line = lines[index];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype tab = line.indexOf(u'\t');
        bool ok = false;
        const int id = tab > 0 ? line.first(tab).toInt(&ok, 10) : 0;
        if (!ok || id <= 0)
        {
            if (errors != nullptr)
                errors->append(QStringLiteral("line %1: not \"number<TAB>text\"").arg(index + 1));
            continue;
        }
        const auto [it, inserted] = firstLine.emplace(id, static_cast<int>(index + 1));
        if (!inserted)
        {
            if (errors != nullptr)
                errors->append(QStringLiteral("line %1: number %2 already on line %3")
                                   .arg(index + 1)
                                   .arg(id)
                                   .arg(it->second));
            continue;
        }
        entries.push_back({id, Unescape(line.sliced(tab + 1))});
    }
    return entries;
}

QString LoadString(int id)
{
    const auto& table = Table();
    const auto it = table.find(id);
    return it != table.end() ? it->second : QString();
}

bool HasString(int id)
{
    return Table().contains(id);
}

std::vector<int> StringTableIds()
{
    std::vector<int> ids;
    for (const auto& [id, text] : Table())
        ids.push_back(id);
    return ids;
}
