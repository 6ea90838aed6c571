// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/ProgramDir.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

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
} // namespace

QString chooseProgramDir(const QString &executableDir, const QString &userConfigDir)
{
    if (canCreateFileIn(executableDir)) return executableDir;
    QDir().mkpath(userConfigDir);
    return userConfigDir;
}

QString programFile(const QString &dir, const QString &fileName)
{
    if (dir.endsWith(QLatin1Char('/'))) return dir + fileName;
    return dir + QLatin1Char('/') + fileName;
}
