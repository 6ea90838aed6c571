// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/TranscriptModel.h"

#include "app/TimeText.h"

#include <QBrush>
#include <QColor>
#include <QFont>

#include <algorithm>

void TranscriptModel::setTranscript(std::shared_ptr<const Transcript> transcript)
{
    beginResetModel();
    m_transcript = std::move(transcript);
    m_search.setKeys(m_transcript ? &m_transcript->keys : nullptr);
    m_search.filter(m_query);
    m_current = -1;
    endResetModel();
}

int TranscriptModel::cueCount() const
{
    return m_transcript ? static_cast<int>(m_transcript->cues.size()) : 0;
}

void TranscriptModel::setFilter(const QString &query)
{
    if (query == m_query) return;
    beginResetModel();
    m_query = query;
    m_search.filter(query);
    endResetModel();
}

int TranscriptModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_search.matches().size());
}

int TranscriptModel::cueOfRow(int row) const
{
    const QList<int> &rows = m_search.matches();
    return row >= 0 && row < rows.size() ? rows.at(row) : -1;
}

int TranscriptModel::rowOfCue(int cue) const
{
    const QList<int> &rows = m_search.matches();
    const auto it = std::lower_bound(rows.cbegin(), rows.cend(), cue);
    return it != rows.cend() && *it == cue ? static_cast<int>(it - rows.cbegin()) : -1;
}

QString TranscriptModel::rowText(int row) const
{
    const int c = cueOfRow(row);
    if (c < 0) return {};
    const TranscriptCue &cue = m_transcript->cues.at(c);
    return timeText(static_cast<double>(cue.start / 1000)) + QLatin1Char(' ') + cue.text;
}

QVariant TranscriptModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const bool current = cueOfRow(index.row()) == m_current && m_current >= 0;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return rowText(index.row());
    case Qt::BackgroundRole:
        return current ? QVariant(QBrush(QColor(255, 236, 160))) : QVariant();
    case Qt::ForegroundRole:
        return current ? QVariant(QBrush(Qt::black)) : QVariant();
    case Qt::FontRole:
        if (current) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::AccessibleDescriptionRole:
        return current ? QStringLiteral("再生中") : QVariant();
    default:
        return {};
    }
}

int TranscriptModel::cueAt(qint64 ms) const
{
    if (!m_transcript) return -1;
    const QList<TranscriptCue> &cues = m_transcript->cues;
    const auto it = std::upper_bound(cues.cbegin(), cues.cend(), ms,
                                     [](qint64 t, const TranscriptCue &c) { return t < c.start; });
    return static_cast<int>(it - cues.cbegin()) - 1;
}

QString TranscriptModel::textAt(qint64 ms) const
{
    QStringList texts;
    const int last = cueAt(ms);
    if (last < 0) return {};
    // Overlapping cues: those started before that have not ended yet. A
    // cue rarely lasts longer than a few of its followers.
    const QList<TranscriptCue> &cues = m_transcript->cues;
    for (int i = last; i >= 0 && i > last - 50; --i)
        if (cues[i].start <= ms && ms < std::max(cues[i].end, cues[i].start + 1))
            texts.prepend(cues[i].text);
    return texts.join(QStringLiteral(" / "));
}

void TranscriptModel::setCurrentCue(int cue)
{
    if (cue == m_current) return;
    const int before = rowOfCue(m_current);
    m_current = cue;
    const int after = rowOfCue(cue);
    for (const int row : {before, after})
        if (row >= 0) emit dataChanged(index(row), index(row));
}
