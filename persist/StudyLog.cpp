// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/StudyLog.h"

#include "persist/NoteFile.h"

#include <QDateTime>
#include <QHash>
#include <QMap>

#include <algorithm>
#include <vector>

namespace
{

double rangesLength(const QList<ListenedRange> &ranges)
{
    double total = 0.0;
    for (const ListenedRange &r : ranges)
        total += r.end - r.start;
    return total;
}

QDate localDate(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).date();
}

QString number(double seconds)
{
    return QString::number(seconds, 'f', 1);
}

// A stretch's figures added, all but what was heard (that needs the other
// stretches of its medium).
void addStretch(StudyFigures &f, const Stretch &s)
{
    const double content = std::max(0.0, s.end - s.start);
    const double speed = s.speed > 0 ? s.speed : 1.0;
    const double wall = std::max<qint64>(0, s.wallEndMs - s.wallStartMs) / 1000.0;
    f.wallSeconds += wall;
    f.playedSeconds += content;
    f.savedBySpeed += content * (1.0 - 1.0 / speed);
    f.savedBySilence += std::max(0.0, content / speed - wall);
}

void addFigures(StudyFigures &to, const StudyFigures &f)
{
    to.wallSeconds += f.wallSeconds;
    to.playedSeconds += f.playedSeconds;
    to.heardSeconds += f.heardSeconds;
    to.savedBySpeed += f.savedBySpeed;
    to.savedBySilence += f.savedBySilence;
}

// What the place store keeps of a medium: its length, the share heard and
// whether it was finished.
void applyRecord(StudyMedium &m, const MediumRecord *r)
{
    if (!r) return;
    // Heard to its end (or its folder's outro, or a jump past it) once: it
    // stays finished when it is played again.
    m.finished = r->finished || (!r->position && !r->ranges.isEmpty());
    m.duration = r->duration;
    if (m.duration <= 0) return;
    m.share = std::min(1.0, rangesLength(r->ranges) / m.duration);
}

bool byFolderAndName(const StudyMedium &a, const StudyMedium &b)
{
    return std::tie(a.folder, a.name) < std::tie(b.folder, b.name);
}

} // namespace

QString studyFolderOf(const QString &name)
{
    const qsizetype slash = std::max(name.lastIndexOf(u'/'), name.lastIndexOf(u'\\'));
    return slash > 0 ? name.left(slash) : QString();
}

StudyFigures studyFigures(const Stretches &stretches)
{
    StudyFigures f;
    QHash<QString, QList<ListenedRange>> heard;
    for (const Stretch &s : stretches) {
        addStretch(f, s);
        heard[s.name].append({s.start, s.end});
    }
    for (auto it = heard.cbegin(); it != heard.cend(); ++it)
        f.heardSeconds += rangesLength(mergeRanges(it.value(), 0.0));
    return f;
}

QList<StudyDay> studyDays(const Stretches &stretches, QDate lastDay, int days)
{
    QMap<QDate, Stretches> byDay;
    const QDate first = lastDay.addDays(1 - days);
    for (const Stretch &s : stretches) {
        const QDate day = localDate(s.wallStartMs);
        if (day >= first && day <= lastDay) byDay[day] << s;
    }
    QList<StudyDay> list;
    for (QDate d = first; d <= lastDay; d = d.addDays(1))
        list << StudyDay{d, studyFigures(byDay.value(d))};
    return list;
}

StudyTotals studyTotals(const Stretches &stretches, QDate today)
{
    const QDate monday = today.addDays(1 - today.dayOfWeek());
    Stretches day, week;
    for (const Stretch &s : stretches) {
        const QDate d = localDate(s.wallStartMs);
        if (d == today) day << s;
        if (d >= monday && d <= today) week << s;
    }
    return {studyFigures(day), studyFigures(week), studyFigures(stretches)};
}

QList<StudyMedium> studyMedia(const Stretches &stretches, const QList<MediumRecord> &records)
{
    QHash<QString, Stretches> byName;
    for (const Stretch &s : stretches)
        byName[s.name] << s;
    QHash<QString, const MediumRecord *> recordOf;
    for (const MediumRecord &r : records)
        recordOf.insert(r.name, &r);
    QList<StudyMedium> list;
    for (auto it = byName.cbegin(); it != byName.cend(); ++it) {
        StudyMedium m{studyFolderOf(it.key()), it.key(), studyFigures(it.value())};
        applyRecord(m, recordOf.value(it.key()));
        list << m;
    }
    std::sort(list.begin(), list.end(), byFolderAndName);
    return list;
}

StudyReport studyReport(const Stretches &stretches, const QList<MediumRecord> &records, QDate today,
                        int days)
{
    StudyReport report;
    report.stretches = stretches.size();

    // Each medium's figures, in one pass; what was heard of it from its
    // ranges merged once. The store gives one name object per medium, so a
    // run of its stretches needs no look-up.
    QHash<QString, int> indexOf;
    QList<StudyMedium> &media = report.media;
    std::vector<QList<ListenedRange>> heard;
    const QChar *lastName = nullptr;
    qsizetype lastSize = -1;
    int last = -1;
    for (const Stretch &s : stretches) {
        if (s.name.constData() != lastName || s.name.size() != lastSize) {
            auto it = indexOf.constFind(s.name);
            if (it == indexOf.cend()) {
                it = indexOf.insert(s.name, static_cast<int>(media.size()));
                media.append(StudyMedium{studyFolderOf(s.name), s.name, {}});
                heard.emplace_back();
            }
            last = *it;
            lastName = s.name.constData();
            lastSize = s.name.size();
        }
        addStretch(media[last].figures, s);
        heard[static_cast<size_t>(last)].append({s.start, s.end});
    }
    QHash<QString, const MediumRecord *> recordOf;
    for (const MediumRecord &r : records)
        recordOf.insert(r.name, &r);
    for (qsizetype i = 0; i < media.size(); ++i) {
        StudyMedium &m = media[i];
        m.figures.heardSeconds = rangesLength(mergeRanges(heard[static_cast<size_t>(i)], 0.0));
        applyRecord(m, recordOf.value(m.name));
    }
    heard.clear();
    std::sort(media.begin(), media.end(), byFolderAndName);

    // The folders, in the order of their media; all the figures.
    for (qsizetype i = 0; i < media.size(); ++i) {
        const StudyMedium &m = media.at(i);
        if (report.folders.isEmpty() || report.folders.constLast().folder != m.folder)
            report.folders.append(StudyFolder{m.folder, {}, static_cast<int>(i), 0});
        StudyFolder &folder = report.folders.last();
        addFigures(folder.figures, m.figures);
        ++folder.count;
    }
    for (const StudyFolder &folder : std::as_const(report.folders))
        addFigures(report.totals.all, folder.figures);

    // The days of the chart and of this week, by the local date each
    // stretch began on: the starts of those days, looked up for the
    // stretches that began in them.
    const QDate first = today.addDays(1 - days);
    const QDate monday = today.addDays(1 - today.dayOfWeek());
    const QDate from = std::min(first, monday);
    const qint64 span = from.daysTo(today) + 1;
    std::vector<qint64> starts;
    for (qint64 d = 0; d <= span; ++d)
        starts.push_back(from.addDays(d).startOfDay().toMSecsSinceEpoch());
    std::vector<Stretches> byDay(static_cast<size_t>(span));
    for (const Stretch &s : stretches) {
        if (s.wallStartMs < starts.front() || s.wallStartMs >= starts.back()) continue;
        const auto day =
            std::upper_bound(starts.cbegin(), starts.cend(), s.wallStartMs) - starts.cbegin() - 1;
        byDay[static_cast<size_t>(day)] << s;
    }
    for (QDate d = first; d <= today; d = d.addDays(1))
        report.days << StudyDay{d, studyFigures(byDay[static_cast<size_t>(from.daysTo(d))])};
    Stretches week;
    for (qint64 d = from.daysTo(monday); d < span; ++d)
        week << byDay[static_cast<size_t>(d)];
    report.totals.today = studyFigures(byDay.back());
    report.totals.week = studyFigures(week);
    return report;
}

QByteArray studyCsv(const QList<StudyMedium> &media)
{
    QString text = QStringLiteral("フォルダー,ファイル,聞いた内容(秒),聞いた割合(%),完了,"
                                  "再生時間(秒),速度で短縮(秒),無音スキップで短縮(秒)\r\n");
    for (const StudyMedium &m : media) {
        const QStringList fields{csvField(m.folder),
                                 csvField(m.name),
                                 number(m.figures.heardSeconds),
                                 QString::number(m.share * 100.0, 'f', 1),
                                 m.finished ? QStringLiteral("はい") : QStringLiteral("いいえ"),
                                 number(m.figures.wallSeconds),
                                 number(m.figures.savedBySpeed),
                                 number(m.figures.savedBySilence)};
        text += fields.join(u',') + QStringLiteral("\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}
