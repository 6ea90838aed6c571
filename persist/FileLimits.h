// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

// The largest file of each kind the program reads at the user's choice or
// from beside a medium. A larger one is refused whole (nothing of it is
// read); the limits lie far above what any real file of the kind holds.
namespace FileLimits
{
inline constexpr qint64 MiB = 1024 * 1024;

// Notes (Markdown, CSV, WebVTT chapters): a hundred thousand notes with long
// comments stay below.
inline constexpr qint64 Notes = 64 * MiB;
// A subtitle file read as a transcript.
inline constexpr qint64 Transcript = 50 * MiB;
// A list file: a playlist, position records.
inline constexpr qint64 ListFile = 32 * MiB;
// A subtitle file beside a medium handed to the engine, which would spend a
// core on a huge one for as long as the medium plays.
inline constexpr qint64 SidecarSubtitle = 10 * MiB;
// The text taken from the packets of one subtitle stream inside a medium;
// the packets beyond it are not read.
inline constexpr qint64 EmbeddedSubtitleTrack = 50 * MiB;
} // namespace FileLimits

// A limit as the messages give it: "50 MB", "16 KB", "100 バイト".
QString fileLimitText(qint64 bytes);
// "<path> は大きすぎます（上限 50 MB）"
QString fileTooLargeText(const QString &path, qint64 maxBytes);
// "<path> は通常のファイルではないため読み込めません": a directory, a device,
// a named pipe or a socket (also behind a symbolic link).
QString notRegularFileText(const QString &path);
