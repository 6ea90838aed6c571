// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// What kind of name a medium is given by, decided before the engine sees it.
//
// The engine would open far more than files: names such as "av://lavfi:...",
// "lavfi://", "memory://", "fd://", "edl://", "appending://" or "ytdl://" make
// it run filters, read other descriptors or start programs, and a filter can
// write to any file the user may write. A playlist entry or a resume record is
// text from a file, so the player takes only:
// - local files: a path (absolute, relative, or with a drive letter) or a
//   "file:" URL;
// - plain network streams whose scheme is in networkSchemes(): http, https,
//   ftp, rtsp, rtsps, rtmp, rtmps, mms, mmsh and mmst, written
//   "scheme://host..."; such a scheme without "//" and a host ("http:x") is
//   a local name.
// Every other name with a scheme of two letters or more is refused.
enum class MediaNameKind {
    None,    // empty or only blanks: no medium
    Local,   // a local file; path() is its path (not checked to exist)
    Network, // a plain network stream, handed on as it is
    Refused, // a scheme the player does not open
};

struct MediaName {
    MediaNameKind kind = MediaNameKind::None;
    QString path; // Local: the file's path; Network: the URL; otherwise empty
};

// Decides the kind of a name by its text alone (no file system access).
MediaName classifyMediaName(const QString &name);

// What the engine is given for a name: an existing local file as its absolute
// path, a plain network stream as it is; empty for a missing local file and
// for every name that is refused. An existing file counts as a file whatever
// its name looks like.
QString engineTarget(const QString &name);

// The network schemes that are played as plain streams (lower case).
const QStringList &networkSchemes();
