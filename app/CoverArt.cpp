// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CoverArt.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QStandardPaths>
#include <QUrl>

namespace
{
// The largest side of a cover kept in the cache: the desktop's widgets show
// it small, and a 26 MB embedded picture must not become a huge file.
constexpr int MaxSide = 512;
} // namespace

QString coverArtUrl(const QImage &art, const QString &medium)
{
    const QString dir =
        QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/covers");
    const QByteArray key = QCryptographicHash::hash(medium.toUtf8(), QCryptographicHash::Sha1);
    const QString file =
        dir + QLatin1Char('/') + QString::fromLatin1(key.toHex()) + QStringLiteral(".png");
    if (QFileInfo::exists(file)) return QUrl::fromLocalFile(file).toString();
    const QImage small =
        art.width() > MaxSide || art.height() > MaxSide
            ? art.scaled(MaxSide, MaxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)
            : art;
    if (QDir().mkpath(dir) && small.save(file, "PNG")) return QUrl::fromLocalFile(file).toString();
    return QString();
}
