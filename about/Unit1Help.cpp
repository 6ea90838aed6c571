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

// Opens a document; a missing one, or one no program of the desktop opens,
// is said in a box with its path: the command never does nothing visible.
void TForm1::openDocument(const QString &caption, const QString &path, const QString &target)
{
    QString problem;
    if (!QFileInfo(path).isFile())
        problem = QStringLiteral("ファイルが見つかりません：\n");
    else if (!m_services.shell->open(this, target))
        problem = QStringLiteral("このファイルを開くプログラムが見つかりません：\n");
    if (problem.isEmpty()) return;
    m_services.dialogs->message(
        this, notice(caption, problem + QDir::toNativeSeparators(path), MsgIcon::Warning));
}

void TForm1::H2Click()
{
    // The help file is an HTML page: it is opened as one.
    const QString cache =
        QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/help");
    const QString help = locateDocument(QStringLiteral("pelmora.chm"), m_services.executableDir);
    openDocument(QStringLiteral("ヘルプ"), help,
                 QFileInfo(help).isFile() ? documentForShell(help, cache) : help);
}

void TForm1::ReadmeR1Click()
{
    const QString readme = locateDocument(QStringLiteral("readme.txt"), m_services.executableDir);
    openDocument(QStringLiteral("Readme"), readme, readme);
}
