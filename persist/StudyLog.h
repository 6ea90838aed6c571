// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/Recording.h"

#include <QDate>
#include <QList>
#include <QString>

// The figures of the study log, from the stretches really played.
//
// - Wall time: the clock time the stretches took. Paused time, seeks and
//   jumps are in no stretch, so they never count.
// - Content played: the seconds of the media gone through (a stretch played
//   twice counts twice); content heard: the same, each second of a medium
//   once (a stretch played twice counts once).
// - Saved by speed: what playing faster saved, content × (1 − 1/speed).
// - Saved by silence skipping: what the stretch would have taken at its
//   speed, less the wall time it took (never below 0).
// So wall + saved by speed + saved by silence = content played.
struct StudyFigures {
    double wallSeconds = 0.0;
    double playedSeconds = 0.0;
    double heardSeconds = 0.0;
    double savedBySpeed = 0.0;
    double savedBySilence = 0.0;
};

using Stretches = QList<Stretch>;

StudyFigures studyFigures(const Stretches &stretches);

// The figures of each of the days up to lastDay (days of them, oldest
// first), by the local date on which each stretch began.
struct StudyDay {
    QDate date;
    StudyFigures figures;
};
QList<StudyDay> studyDays(const Stretches &stretches, QDate lastDay, int days);

// Today's, this week's (from Monday) and all the figures.
struct StudyTotals {
    StudyFigures today, week, all;
};
StudyTotals studyTotals(const Stretches &stretches, QDate today);

// One medium of the log: its folder and name, its figures, and from the
// place store its length, whether it was finished (heard to its end or its
// outro: the store keeps what was heard and no place) and the share of it
// heard (the listened ranges over its length; 0 when its length is not
// known).
struct StudyMedium {
    QString folder;
    QString name;
    StudyFigures figures;
    double duration = 0.0;
    bool finished = false;
    double share = 0.0;
};
// The media of the log, by folder and name.
QList<StudyMedium> studyMedia(const Stretches &stretches, const QList<MediumRecord> &records);

// The folder of a medium's name ("" when it has none).
QString studyFolderOf(const QString &name);

// A folder of the log: its figures and its media, media[first, first + count)
// of the report.
struct StudyFolder {
    QString folder;
    StudyFigures figures;
    int first = 0;
    int count = 0;
};

// The days the study log's chart shows, up to today.
constexpr int StudyChartDays = 30;

// Everything the study log window shows, computed in one go (off the GUI
// thread, where the log is read): the totals, the days of the chart, the
// media by folder and name and each folder's figures. The same figures as
// studyTotals, studyDays and studyMedia give, and studyFigures of each
// folder's stretches, in one pass over the log; the folders' and all the
// figures are the sums of their media's (a second heard is of one medium).
struct StudyReport {
    StudyTotals totals;
    QList<StudyDay> days;
    QList<StudyMedium> media;
    QList<StudyFolder> folders;
    qsizetype stretches = 0; // how many the log held
};
StudyReport studyReport(const Stretches &stretches, const QList<MediumRecord> &records, QDate today,
                        int days = StudyChartDays);

// The media as CSV (UTF-8 with a byte order mark, for spreadsheets).
QByteArray studyCsv(const QList<StudyMedium> &media);
