#pragma once
// What a control reported through notify, as (message, code, value) rows to
// compare with a table.

#include <QList>
#include <QSignalSpy>
#include <QVariant>

#include <tuple>
#include <vector>

using Notification = std::tuple<int, int, qint64>;

inline std::vector<Notification> Notifications(const QSignalSpy& spy)
{
    std::vector<Notification> out;
    for (const QList<QVariant>& args : spy)
        out.emplace_back(args.at(0).toInt(), args.at(1).toInt(), args.at(2).toLongLong());
    return out;
}
