// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/ProgramDir.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <algorithm>

namespace
{
// True when a file can be created in dir: a temporary file is made there and
// removed again at once.
bool canCreateFileIn(const QString &dir)
{
    if (dir.isEmpty() || !QFileInfo(dir).isDir()) return false;
    QTemporaryFile probe(dir + QStringLiteral("/.pelmora-probe-XXXXXX"));
    return probe.open(); // removed when probe goes out of scope
}
// How old a temporary must be before it counts as left behind.
constexpr qint64 kStaleSeconds = 60;

// A suffix that a person rather than the random generator chose.
bool looksTyped(QStringView letters)
{
    const auto lower = [](QChar c) { return c.isLower(); };
    const auto upper = [](QChar c) { return c.isUpper(); };
    return std::all_of(letters.begin() + 1, letters.end(), lower) ||
           std::all_of(letters.begin(), letters.end(), upper);
}
} // namespace

int removeStaleTemporaries(const QString &dir)
{
    QStringList prefixes;
    for (const char *name : {kSettingsFile, kResumeFile, kPlaylistFile, kJournalFile})
        prefixes << QRegularExpression::escape(QString::fromUtf8(name) + QLatin1Char('.'));
    prefixes << QRegularExpression::escape(QStringLiteral(".pelmora-probe-"));
    // The journals of further running programs: "Resume-2.journal", ...
    prefixes << QStringLiteral("Resume-[0-9]+\\.journal\\.");
    const QRegularExpression pattern(
        QStringLiteral("^(?:%1)([A-Za-z]{6})$").arg(prefixes.join(QLatin1Char('|'))));

    const QDateTime now = QDateTime::currentDateTime();
    int removed = 0;
    const QFileInfoList entries =
        QDir(dir).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo &info : entries) {
        const QRegularExpressionMatch match = pattern.match(info.fileName());
        if (!match.hasMatch() || looksTyped(match.capturedView(1))) continue;
        if (info.lastModified().secsTo(now) <= kStaleSeconds) continue;
        if (QFile::remove(info.filePath())) ++removed;
    }
    return removed;
}

namespace
{
const char *const kRecords[] = {kSettingsFile, kResumeFile, kPlaylistFile, "History.db"};
} // namespace

int seedProgramDir(const QString &from, const QString &to)
{
    for (const char *name : kRecords)
        if (QFileInfo::exists(programFile(to, QString::fromUtf8(name)))) return 0;
    int copied = 0;
    for (const char *name : kRecords) {
        const QString source = programFile(from, QString::fromUtf8(name));
        if (QFileInfo(source).isFile() &&
            QFile::copy(source, programFile(to, QString::fromUtf8(name)))) {
            // The copy is the user's to write, whatever the original's mode.
            QFile::setPermissions(programFile(to, QString::fromUtf8(name)),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            ++copied;
        }
    }
    return copied;
}

QString chooseProgramDir(const QString &executableDir, const QString &userConfigDir, QString *note)
{
    if (canCreateFileIn(executableDir)) return executableDir;
    QDir().mkpath(userConfigDir);
    seedProgramDir(executableDir, userConfigDir);
    // Records beside the program that will not change any more: say where
    // they are kept now.
    bool records = false;
    for (const char *name : kRecords)
        records = records || QFileInfo::exists(programFile(executableDir, QString::fromUtf8(name)));
    if (note && records)
        *note = QStringLiteral("プログラムのフォルダーに書き込めないため、設定と再生位置は %1 "
                               "に保存します")
                    .arg(QDir::toNativeSeparators(userConfigDir));
    return userConfigDir;
}

QString programFile(const QString &dir, const QString &fileName)
{
    if (dir.endsWith(QLatin1Char('/'))) return dir + fileName;
    return dir + QLatin1Char('/') + fileName;
}
