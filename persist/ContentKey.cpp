// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/ContentKey.h"

#include <QCryptographicHash>
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

} // namespace ContentKey
