// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/HelpDocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

bool looksLikeHtml(const QByteArray &head)
{
    QByteArray text = head;
    if (text.startsWith("\xEF\xBB\xBF")) text.remove(0, 3);
    text = text.trimmed().left(64).toLower();
    return text.startsWith("<!doctype html") || text.startsWith("<html");
}

QString documentForShell(const QString &path, const QString &cacheDir)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.suffix().compare(QLatin1String("html"), Qt::CaseInsensitive) == 0 ||
        cacheDir.isEmpty())
        return path;
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) return path;
    const QByteArray content = in.readAll();
    if (!looksLikeHtml(content.left(512))) return path;
    if (!QDir().mkpath(cacheDir)) return path;
    const QString copy = QDir(cacheDir).filePath(info.completeBaseName() + QStringLiteral(".html"));
    QSaveFile out(copy);
    if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size() || !out.commit())
        return path;
    return copy;
}
