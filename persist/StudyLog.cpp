// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/StudyLog.h"

#include "persist/NoteFile.h"

#include <QDateTime>
#include <QHash>
#include <QMap>

#include <algorithm>

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
        const double content = std::max(0.0, s.end - s.start);
        const double speed = s.speed > 0 ? s.speed : 1.0;
        const double wall = std::max<qint64>(0, s.wallEndMs - s.wallStartMs) / 1000.0;
        f.wallSeconds += wall;
        f.playedSeconds += content;
        f.savedBySpeed += content * (1.0 - 1.0 / speed);
        f.savedBySilence += std::max(0.0, content / speed - wall);
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
        if (const MediumRecord *r = recordOf.value(it.key())) {
            m.duration = r->duration;
            if (m.duration > 0) {
                m.share = std::min(1.0, rangesLength(r->ranges) / m.duration);
                // Played to its end: its place was forgotten and what was
                // heard reaches the end.
                const double margin = std::max(10.0, m.duration * 0.02);
                m.finished = !r->position && !r->ranges.isEmpty() &&
                             r->ranges.constLast().end >= m.duration - margin;
            }
        }
        list << m;
    }
    std::sort(list.begin(), list.end(), [](const StudyMedium &a, const StudyMedium &b) {
        return std::tie(a.folder, a.name) < std::tie(b.folder, b.name);
    });
    return list;
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
