// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/Sidecars.h"

#include "persist/FileUtil.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

QStringList sidecarSubtitles(const QString &mediumPath, qint64 maxBytes)
{
    const QFileInfo medium(mediumPath);
    const QString stem = medium.completeBaseName();
    if (stem.isEmpty() || !medium.dir().exists()) return {};
    static const QStringList extensions = {QStringLiteral("srt"), QStringLiteral("vtt"),
                                           QStringLiteral("ass"), QStringLiteral("ssa"),
                                           QStringLiteral("lrc")};
    QStringList exact, tagged;
    const QFileInfoList entries = medium.dir().entryInfoList(QDir::Files | QDir::Readable);
    for (const QFileInfo &f : entries) {
        if (!extensions.contains(f.suffix().toLower()) || f.size() > maxBytes ||
            !isRegularFile(f.absoluteFilePath()))
            continue;
        const QString base = f.completeBaseName();
        if (base == stem)
            exact << f.absoluteFilePath();
        else if (base.startsWith(stem + QLatin1Char('.')))
            tagged << f.absoluteFilePath();
    }
    std::sort(exact.begin(), exact.end());
    std::sort(tagged.begin(), tagged.end());
    return exact + tagged;
}
