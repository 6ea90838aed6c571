// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/Transcript.h"

#include <QAbstractListModel>

#include <memory>

// The rows of the transcript window: the cues that match the search, each
// shown "hh:mm:ss text"; the cue that plays is drawn highlighted. The texts
// are made only for the rows the view asks for, so a long transcript costs
// no more than its cues.
class TranscriptModel : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    void setTranscript(std::shared_ptr<const Transcript> transcript);
    const Transcript *transcript() const { return m_transcript.get(); }
    int cueCount() const;

    // Shows only the cues whose text holds the query (searchForm()).
    void setFilter(const QString &query);
    const QString &filterText() const { return m_query; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // The cue of a row, and the row of a cue (-1 when it is filtered out).
    int cueOfRow(int row) const;
    int rowOfCue(int cue) const;
    const TranscriptCue &cue(int cue) const { return m_transcript->cues.at(cue); }
    // "hh:mm:ss text"
    QString rowText(int row) const;

    // The cue that plays at a time: the last one started at or before it
    // (-1 before the first).
    int cueAt(qint64 ms) const;
    // The text of the cues under a time, several joined by " / " where they
    // overlap; empty when none is.
    QString textAt(qint64 ms) const;

    void setCurrentCue(int cue);
    int currentCue() const { return m_current; }

private:
    std::shared_ptr<const Transcript> m_transcript;
    TranscriptSearch m_search;
    QString m_query;
    int m_current = -1;
};
