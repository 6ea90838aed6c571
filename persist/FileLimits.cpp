// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/FileLimits.h"

#include <QDir>

QString fileLimitText(qint64 bytes)
{
    if (bytes >= FileLimits::MiB && bytes % FileLimits::MiB == 0)
        return QStringLiteral("%1 MB").arg(bytes / FileLimits::MiB);
    if (bytes >= 1024) return QStringLiteral("%1 KB").arg(bytes / 1024);
    return QStringLiteral("%1 バイト").arg(bytes);
}

QString fileTooLargeText(const QString &path, qint64 maxBytes)
{
    return QStringLiteral("%1 は大きすぎます（上限 %2）")
        .arg(QDir::toNativeSeparators(path), fileLimitText(maxBytes));
}

QString notRegularFileText(const QString &path)
{
    return QStringLiteral("%1 は通常のファイルではないため読み込めません")
        .arg(QDir::toNativeSeparators(path));
}
