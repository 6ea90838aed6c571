// SPDX-License-Identifier: GPL-3.0-or-later
// Help and readme: opened with the desktop's default application, without
// waiting for it.
#include "about/HelpDocument.h"
#include "app/Unit1.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace
{

// A document named without a directory: the current directory first, then
// the program's own directory (a portable copy keeps them beside itself),
// then the shared data directory of the installation the program belongs to,
// found from the program's own place (<prefix>/bin/../share/pelmora), so that
// an installation under any prefix, started from a desktop menu, still finds
// it. When none holds it, the bare name is handed on (the desktop then
// reports it).
QString locateDocument(const QString &name, const QString &executableDir)
{
    const QStringList dirs = {QDir::currentPath(), executableDir,
                              QDir::cleanPath(executableDir + QStringLiteral("/../share/pelmora"))};
    for (const QString &dir : dirs) {
        const QFileInfo info(QDir(dir), name);
        if (info.isFile()) return info.absoluteFilePath();
    }
    return QDir::current().absoluteFilePath(name);
}

} // namespace

void TForm1::H2Click()
{
    // The help file is an HTML page: it is opened as one.
    const QString cache =
        QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/help");
    m_services.shell->open(
        this, documentForShell(
                  locateDocument(QStringLiteral("pelmora.chm"), m_services.executableDir), cache));
}

void TForm1::ReadmeR1Click()
{
    m_services.shell->open(this,
                           locateDocument(QStringLiteral("readme.txt"), m_services.executableDir));
}
