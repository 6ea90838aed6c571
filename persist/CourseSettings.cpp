// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/CourseSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace CourseSettings
{

QString folderOf(const QString &mediumName)
{
    if (mediumName.isEmpty()) return {};
    // A scheme of two letters or more: a network name, or a file URL.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    QString path = mediumName;
    if (scheme.match(mediumName).hasMatch()) {
        const QUrl url(mediumName);
        if (!url.isLocalFile()) return {};
        path = url.toLocalFile();
    }
    return QDir::cleanPath(QFileInfo(path).absolutePath());
}

namespace
{

double skipSeconds(double value)
{
    return std::isfinite(value) ? std::clamp(value, 0.0, MaxSkipSeconds) : 0.0;
}

} // namespace

CourseChoice choose(const std::optional<HistoryStore::Settings> &medium,
                    const std::optional<HistoryStore::Settings> &folder,
                    const CoursePlayback &global)
{
    CourseChoice c;
    c.playback = global;
    if (folder) {
        if (folder->speed) {
            c.playback.speed = *folder->speed;
            c.from = CourseChoice::From::Folder;
        }
        if (folder->voiceBoost) c.playback.voiceBoost = *folder->voiceBoost;
        if (folder->skipSilence) c.playback.skipSilence = *folder->skipSilence;
        c.introSeconds = skipSeconds(folder->introSeconds);
        c.outroSeconds = skipSeconds(folder->outroSeconds);
    }
    if (medium) {
        if (medium->speed) {
            c.playback.speed = *medium->speed;
            c.from = CourseChoice::From::Medium;
        }
        if (medium->voiceBoost) c.playback.voiceBoost = *medium->voiceBoost;
        if (medium->skipSilence) c.playback.skipSilence = *medium->skipSilence;
    }
    return c;
}

HistoryStore::Settings withPlayback(const std::optional<HistoryStore::Settings> &kept,
                                    const CoursePlayback &playback)
{
    HistoryStore::Settings s = kept.value_or(HistoryStore::Settings{});
    s.speed = playback.speed;
    s.voiceBoost = playback.voiceBoost;
    s.skipSilence = playback.skipSilence;
    return s;
}

} // namespace CourseSettings
