// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/ContentKey.h"
#include "persist/FileUtil.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace
{
QString pathOf(const QString &name)
{
    if (name.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return QUrl(name).toLocalFile();
    return QFileInfo(name).isAbsolute() ? name : QString();
}
} // namespace

namespace ContentKey
{

std::optional<Stamp> stampOf(const QString &name)
{
    const QFileInfo info(pathOf(name));
    if (info.filePath().isEmpty() || !info.isFile()) return std::nullopt;
    return Stamp{info.size(), info.lastModified().toMSecsSinceEpoch()};
}

std::optional<QByteArray> endsOf(const QString &name, qint64 size)
{
    QFile file;
    if (openRegularFile(file, pathOf(name)) != RegularOpen::Opened || file.size() != size)
        return std::nullopt;
    QByteArray bytes = file.read(std::min(size, EndBytes));
    if (size > EndBytes) {
        const qint64 tail = std::min(EndBytes, size - EndBytes);
        if (!file.seek(size - tail)) return std::nullopt;
        bytes += file.read(tail);
    }
    if (bytes.size() != std::min(size, 2 * EndBytes)) return std::nullopt;
    return bytes;
}

} // namespace ContentKey
