// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/FileLimits.h"

#include <QString>
#include <QStringList>

// The subtitle files beside a local medium: the same stem, or the stem and a
// tag such as a language ("lecture.ja.srt" for "lecture.mp4"), with one of
// the extensions srt, vtt, ass, ssa and lrc (any case); the exact stem first,
// then the others by name. A huge file (over MaxSidecarBytes) is not
// listed: the engine would spend a core on it for as long as it plays; nor
// is anything but a regular file (a link to a device, a named pipe).
inline constexpr qint64 MaxSidecarBytes = FileLimits::SidecarSubtitle;
QStringList sidecarSubtitles(const QString &mediumPath, qint64 maxBytes = MaxSidecarBytes);
