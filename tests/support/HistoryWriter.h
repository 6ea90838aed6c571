// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

// The records that the helper program history_writer (HistoryWriter.cpp)
// writes into a place store until it is killed, and their check. Its k-th
// write (k counted on from the number it is started with) is the place of
// the medium name(writer, k % kSlots): position k, duration 2k + 1 and the
// listened range [0, k + 1). A record is whole when its position, duration
// and ranges fit one another so.
namespace HistoryWriter
{

constexpr int kSlots = 1500; // more media than the store keeps

// Every fifth name is 3,000 characters long (it fills more than one page of
// the database), every fifth holds a line break.
inline QString name(int writer, qint64 slot)
{
    QString n = QStringLiteral("/w%1/%2|").arg(writer).arg(slot);
    if (slot % 5 == 0) n += QString(3000, QChar(0x9577));
    if (slot % 5 == 1) n += QStringLiteral("\n改行");
    return n;
}

// The writer and slot that a name was made from.
inline std::optional<std::pair<int, qint64>> parse(const QString &name)
{
    const qsizetype bar = name.indexOf(QLatin1Char('|'));
    const QStringList parts = name.left(bar).split(QLatin1Char('/'));
    if (bar < 0 || parts.size() != 3 || !parts.at(1).startsWith(QLatin1Char('w'))) return {};
    bool ok1 = false, ok2 = false;
    const int writer = parts.at(1).mid(1).toInt(&ok1);
    const qint64 slot = parts.at(2).toLongLong(&ok2);
    if (!ok1 || !ok2 || name != HistoryWriter::name(writer, slot)) return {};
    return std::make_pair(writer, slot);
}

} // namespace HistoryWriter
