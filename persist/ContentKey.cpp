// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/ContentKey.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>
#include <QStringList>
#include <QtEndian>

namespace ContentKey
{

QString keyOf(qint64 size, const QByteArray &ends)
{
    // BLAKE2b: strong, and twice as fast as SHA-256 in Qt's own code (0.56
    // against 1.27 ms for 128 KiB here), which has no SHA-256 instructions.
    QCryptographicHash hash(QCryptographicHash::Blake2b_256);
    char sizeBytes[8];
    qToLittleEndian<qint64>(size, sizeBytes);
    hash.addData(QByteArrayView(sizeBytes, sizeof sizeBytes));
    hash.addData(ends);
    return QStringLiteral("@%1:%2").arg(size).arg(QString::fromLatin1(hash.result().toHex()));
}

QString keyOfFile(const QString &name, Stamp *stamp)
{
    const std::optional<Stamp> found = stampOf(name);
    if (!found) return {};
    const std::optional<QByteArray> ends = endsOf(name, found->size);
    if (!ends) return {};
    if (stamp) *stamp = *found;
    return keyOf(found->size, *ends);
}

bool isKey(const QString &id)
{
    return id.startsWith(u'@');
}

qint64 sizeOf(const QString &key)
{
    bool ok = false;
    const qint64 size = isKey(key) ? key.mid(1, key.indexOf(u':') - 1).toLongLong(&ok) : -1;
    return ok ? size : -1;
}

QString findInFolders(const QString &key, const QStringList &folders)
{
    const qint64 size = sizeOf(key);
    if (size < 0) return {};
    QSet<QString> seen;
    for (const QString &folder : folders) {
        if (folder.isEmpty() || seen.contains(folder)) continue;
        seen.insert(folder);
        QDirIterator files(folder, QDir::Files | QDir::Hidden);
        while (files.hasNext()) {
            files.next();
            const QFileInfo info = files.fileInfo();
            if (info.size() == size && keyOfFile(info.absoluteFilePath()) == key)
                return info.absoluteFilePath();
        }
    }
    return {};
}

} // namespace ContentKey
