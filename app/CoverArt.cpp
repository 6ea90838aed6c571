// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CoverArt.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QStandardPaths>
#include <QUrl>

QString coverArtUrl(const QImage &art, const QString &medium)
{
    const QString dir =
        QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/covers");
    const QByteArray key = QCryptographicHash::hash(medium.toUtf8(), QCryptographicHash::Sha1);
    const QString file =
        dir + QLatin1Char('/') + QString::fromLatin1(key.toHex()) + QStringLiteral(".png");
    if (QFileInfo::exists(file) || (QDir().mkpath(dir) && art.save(file, "PNG")))
        return QUrl::fromLocalFile(file).toString();
    return QString();
}
