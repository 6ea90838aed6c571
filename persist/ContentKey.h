// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

// A recording is known by what it holds, not by where it lies: its content
// key is its size and a hash of its first and last 64 KiB (the whole file
// when it is smaller). A file renamed, moved to another folder or copied to
// another computer keeps its key; two files of the same bytes share one.
//
// The key is a text: "@", the size in bytes, ":", and 64 hexadecimal digits
// of BLAKE2b-256. A medium's name (an absolute path or a URL) never begins
// with "@", so a key and a name never meet in the place store.
namespace ContentKey
{
inline constexpr qint64 EndBytes = 64 * 1024;

// What tells that a file is unchanged without reading it.
struct Stamp {
    qint64 size = 0;
    qint64 mtimeMs = 0;
    bool operator==(const Stamp &) const = default;
};

// The stamp of a regular local file (a symbolic link followed); nothing for
// a stream, a directory, a device or a missing file (platform file).
std::optional<Stamp> stampOf(const QString &name);
// The first and last EndBytes of a regular local file (the whole file when
// it is smaller), in one read each, without waiting on a named pipe; nothing
// when it cannot be read or is not of the size stamped (platform file).
std::optional<QByteArray> endsOf(const QString &name, qint64 size);

// The key of bytes read by endsOf() from a file of size bytes.
QString keyOf(qint64 size, const QByteArray &ends);
// The key of a local file: one read of at most 128 KiB. Empty when it is no
// regular file or cannot be read.
QString keyOfFile(const QString &name, Stamp *stamp = nullptr);
// Whether a record's name in the place store is a content key.
bool isKey(const QString &id);
// The size in bytes that a key holds (-1: no key).
qint64 sizeOf(const QString &key);
// A file with that key among the files of the folders (not their
// subfolders): only files of the key's size are read. Empty when none is.
QString findInFolders(const QString &key, const QStringList &folders);
} // namespace ContentKey
