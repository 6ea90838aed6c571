// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/CourseShelf.h"

#include "lists/PlaylistFiles.h"
#include "persist/NoteFile.h"
#include "persist/TimeFormat.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace
{

double heardOf(const ShelfRecord &r)
{
    double total = 0.0;
    for (const ListenedRange &range : r.ranges)
        total += range.end - range.start;
    return r.duration > 0 ? std::min(total, r.duration) : total;
}

// The records of one course, by path.
struct Course {
    QString folder;
    QHash<QString, const ShelfRecord *> byName;
    qint64 lastPlayedMs = 0;
    double played = 0.0, skipped = 0.0;
};

// Renamed folders: a folder that cannot be listed, one of whose recordings
// was last seen in another folder that can, now holds the files of the same
// names there.
using Moves = QHash<QString, QString>;
Moves renamedFolders(const ShelfData &data, const QHash<QString, FolderListing> &listings)
{
    Moves moves;
    for (const ShelfRecord &r : data.records) {
        const QString now = CourseSettings::folderOf(r.name);
        const auto there = listings.constFind(now);
        if (there == listings.cend() || !there->reachable) continue;
        for (const QString &former : r.formerPaths) {
            const QString before = CourseSettings::folderOf(former);
            const auto gone = listings.constFind(before);
            if (before != now && gone != listings.cend() && !gone->reachable)
                moves.insert(before, now);
        }
    }
    return moves;
}

QHash<QString, Course> gather(const ShelfData &data, const QHash<QString, FolderListing> &listings,
                              const Moves &moves)
{
    QHash<QString, Course> courses;
    for (const ShelfRecord &r : data.records) {
        QString folder = CourseSettings::folderOf(r.name);
        if (folder.isEmpty()) continue;
        QString name = QDir::cleanPath(r.name);
        if (const auto to = moves.constFind(folder); to != moves.cend()) {
            // Only a file that is there under its name.
            const QString moved = *to + u'/' + QFileInfo(name).fileName();
            if (listings.value(*to).files.contains(moved)) {
                folder = *to;
                name = moved;
            }
        }
        Course &c = courses[folder];
        c.folder = folder;
        c.byName.insert(name, &r);
        c.lastPlayedMs = std::max(c.lastPlayedMs, r.playedMs);
        c.played += r.playedSeconds;
        c.skipped += r.skippedSeconds;
    }
    return courses;
}

// The files of a course in natural order: those listed, or else those the
// store knows.
QStringList filesOf(const Course &c, const FolderListing *listing)
{
    if (listing && listing->reachable) return listing->files;
    QStringList known = c.byName.keys();
    std::sort(known.begin(), known.end(), [](const QString &a, const QString &b) {
        return naturalCompare(QFileInfo(a).fileName(), QFileInfo(b).fileName()) < 0;
    });
    return known;
}

CourseRow rowOf(const Course &c, const FolderListing *listing, const KeptSettings *folder,
                const CourseKept &kept, const CoursePlayback &global, QDate today)
{
    CourseRow row;
    row.folder = c.folder;
    row.name = QFileInfo(c.folder).fileName();
    if (row.name.isEmpty()) row.name = c.folder;
    row.lastPlayedMs = c.lastPlayedMs;
    row.listed = listing && listing->reachable;
    row.missing = listing && !listing->reachable;
    const double folderSpeed = folder && folder->speed ? *folder->speed : global.speed;
    const bool folderSkips =
        folder && folder->skipSilence ? *folder->skipSilence : global.skipSilence;
    row.speed = folderSpeed;
    const double intro = folder ? folder->introSeconds : 0.0;
    const double outro = folder ? folder->outroSeconds : 0.0;
    const double silence = c.played > 0 ? std::clamp(c.skipped / c.played, 0.0, 1.0) : 0.0;

    const QStringList files = filesOf(c, listing);
    // The mean length of the files of known length stands for the others.
    double known = 0.0;
    int knownCount = 0;
    for (const QString &file : files)
        if (const ShelfRecord *r = c.byName.value(file); r && r->duration > 0) {
            known += r->duration;
            ++knownCount;
        }
    const double mean = knownCount > 0 ? known / knownCount : 0.0;

    double total = 0.0, heard = 0.0;
    for (const QString &file : files) {
        const ShelfRecord *r = c.byName.value(file);
        const double length = r && r->duration > 0 ? r->duration : mean;
        if (!r || r->duration <= 0) row.estimated = true;
        total += length;
        if (r && r->finished) {
            ++row.finished;
            heard += length;
            continue;
        }
        if (row.next.isEmpty()) {
            row.next = file;
            row.nextPlace = r && r->position ? *r->position : 0.0;
        }
        double left = length;
        double at = 0.0; // where it goes on
        if (r) {
            heard += heardOf(*r);
            at = r->position ? *r->position : 0.0;
            left = r->position ? length - *r->position : length - heardOf(*r);
        }
        // The folder's intro (still ahead) and outro are not played.
        left -= std::max(0.0, intro - at) + outro;
        const double speed = r && r->speed ? *r->speed : folderSpeed;
        const bool skips = r && r->skipSilence ? *r->skipSilence : folderSkips;
        row.leftSeconds += std::max(0.0, left) * (skips ? 1.0 - silence : 1.0) / speed;
    }
    row.files = files.size();
    if (!row.listed && kept.files >= 0) {
        // Not listed (yet): its last known number of files, the others
        // counted as never played.
        const int unseen = std::max(0, kept.files - int(files.size()));
        row.files += unseen;
        if (unseen > 0) {
            row.estimated = true;
            total += unseen * mean;
            row.leftSeconds += unseen * std::max(0.0, mean - intro - outro) *
                               (folderSkips ? 1.0 - silence : 1.0) / folderSpeed;
        }
    }
    row.share = total > 0 ? std::clamp(heard / total, 0.0, 1.0) : (row.done() ? 1.0 : 0.0);
    row.exam = kept.exam;
    if (row.exam) {
        row.daysToExam = int(today.daysTo(*row.exam));
        row.perDaySeconds = row.daysToExam > 0 ? row.leftSeconds / row.daysToExam : row.leftSeconds;
    }
    return row;
}

} // namespace

namespace CourseShelf
{

QList<CourseRow> rows(const ShelfData &data, const QHash<QString, FolderListing> &listings,
                      const CoursePlayback &global, QDate today)
{
    const Moves moves = renamedFolders(data, listings);
    const QHash<QString, Course> courses = gather(data, listings, moves);
    QList<CourseRow> found;
    found.reserve(courses.size());
    for (const Course &c : courses) {
        // A renamed folder's exam and hiding go with it.
        CourseKept kept = data.courses.value(c.folder);
        if (!data.courses.contains(c.folder))
            for (auto it = moves.cbegin(); it != moves.cend(); ++it)
                if (it.value() == c.folder && data.courses.contains(it.key()))
                    kept = data.courses.value(it.key());
        // Hidden, and nothing played in it since.
        if (kept.hiddenMs > 0 && c.lastPlayedMs <= kept.hiddenMs) continue;
        const auto listing = listings.constFind(c.folder);
        const auto folder = data.folders.constFind(c.folder);
        found << rowOf(c, listing == listings.cend() ? nullptr : &*listing,
                       folder == data.folders.cend() ? nullptr : &*folder, kept, global, today);
    }
    std::sort(found.begin(), found.end(), [](const CourseRow &a, const CourseRow &b) {
        return a.lastPlayedMs != b.lastPlayedMs ? a.lastPlayedMs > b.lastPlayedMs
                                                : a.folder < b.folder;
    });
    return found;
}

QStringList folders(const ShelfData &data)
{
    QSet<QString> seen;
    QStringList found;
    auto add = [&](const QString &name) {
        const QString folder = CourseSettings::folderOf(name);
        if (!folder.isEmpty() && !seen.contains(folder)) {
            seen.insert(folder);
            found << folder;
        }
    };
    for (const ShelfRecord &r : data.records)
        add(r.name);
    // Where recordings were before: a folder renamed is known by being gone.
    for (const ShelfRecord &r : data.records)
        for (const QString &former : r.formerPaths)
            add(former);
    return found;
}

QString timeText(double seconds)
{
    return formatTime(std::llround(std::max(0.0, seconds)) * 1000);
}

QString perDayText(double seconds)
{
    const qint64 minutes = qint64(std::ceil(std::max(0.0, seconds) / 60.0));
    if (minutes < 60) return QStringLiteral("1 日 %1 分").arg(minutes);
    return QStringLiteral("1 日 %1 時間 %2 分").arg(minutes / 60).arg(minutes % 60);
}

QByteArray csv(const QList<CourseRow> &rows)
{
    QString text = QStringLiteral("講座,フォルダー,完了ファイル数,ファイル数,聞いた割合(%),"
                                  "残り時間(秒),速度,最後に再生,次のファイル,次の位置(秒),"
                                  "試験日,1日あたり(秒)\r\n");
    for (const CourseRow &r : rows) {
        const QStringList fields{
            csvField(r.name),
            csvField(QDir::toNativeSeparators(r.folder)),
            QString::number(r.finished),
            QString::number(r.files),
            QString::number(r.share * 100.0, 'f', 1),
            QString::number(r.leftSeconds, 'f', 0),
            QString::number(r.speed, 'f', 2),
            r.lastPlayedMs > 0
                ? QDateTime::fromMSecsSinceEpoch(r.lastPlayedMs).toString(Qt::ISODate)
                : QString(),
            csvField(QFileInfo(r.next).fileName()),
            QString::number(r.nextPlace, 'f', 0),
            r.exam ? r.exam->toString(Qt::ISODate) : QString(),
            r.exam ? QString::number(r.perDaySeconds, 'f', 0) : QString()};
        text += fields.join(u',') + QStringLiteral("\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

} // namespace CourseShelf
