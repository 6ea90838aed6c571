// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// What the playlist reads besides its own list files: M3U playlists and the
// media files of a folder. No windows; safe to run off the GUI thread.

// Whether a list file is an M3U playlist, by its name (".m3u", ".m3u8").
bool isM3uName(const QString &path);

// The entries of an M3U playlist, from its lines (a list file's lines):
// blank lines and those starting with "#" (comments, #EXTINF and the other
// directives) are no entries. A local name (a path or a "file:" URL) is
// taken relative to dir, the playlist's folder, and kept, absolute and
// clean, when it names an existing file; a plain network stream is kept as
// it is. Every other line (a missing file, a folder, a refused scheme) is
// skipped and counted.
struct M3uEntries {
    QStringList entries;
    int skipped = 0;
};
M3uEntries m3uEntries(const QStringList &lines, const QString &dir);

// Natural order of two names: runs of digits (full-width ones too) compare
// by their value, so that "第2回" comes before "第10回"; letters compare
// without regard to case. Negative, zero or positive; zero only for equal
// texts.
int naturalCompare(const QString &a, const QString &b);

// Whether a file name carries the suffix of a medium the player plays
// (audio and video; no playlists, pictures or subtitles).
bool isMediaFileName(const QString &name);

// The media files lying directly in folder (hidden ones left out), as
// absolute paths in natural order of their names.
QStringList mediaFilesIn(const QString &folder);
