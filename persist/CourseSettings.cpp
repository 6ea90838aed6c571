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

CourseChoice choose(const std::optional<KeptSettings> &medium,
                    const std::optional<KeptSettings> &folder, const CoursePlayback &global)
{
    CourseChoice c;
    c.playback = global;
    // What a level holds is laid over the one below it.
    auto overlay = [&c](const KeptSettings &s, CourseChoice::From from) {
        if (s.speed) {
            c.playback.speed = *s.speed;
            c.from = from;
        }
        if (s.voiceBoost) c.playback.voiceBoost = *s.voiceBoost;
        if (s.skipSilence) c.playback.skipSilence = *s.skipSilence;
    };
    if (folder) {
        overlay(*folder, CourseChoice::From::Folder);
        c.introSeconds = skipSeconds(folder->introSeconds);
        c.outroSeconds = skipSeconds(folder->outroSeconds);
    }
    if (medium) overlay(*medium, CourseChoice::From::Medium);
    return c;
}

Cuts cutsFor(double introSeconds, double outroSeconds, double durationSeconds)
{
    const Cuts cuts{skipSeconds(introSeconds), skipSeconds(outroSeconds)};
    if (!(durationSeconds > 0.0) || !std::isfinite(durationSeconds)) return cuts;
    if (cuts.introSeconds + cuts.outroSeconds < durationSeconds) return cuts;
    return {0.0, 0.0, cuts.introSeconds + cuts.outroSeconds > 0.0};
}

QString ignoredText()
{
    return QStringLiteral("イントロとアウトロがファイルより長いため、スキップしません");
}

KeptSettings withPlayback(const std::optional<KeptSettings> &kept, const CoursePlayback &playback)
{
    KeptSettings s = kept.value_or(KeptSettings{});
    s.speed = playback.speed;
    s.voiceBoost = playback.voiceBoost;
    s.skipSilence = playback.skipSilence;
    return s;
}

} // namespace CourseSettings
