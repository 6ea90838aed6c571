// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class QFile;

// Replaces the file at path with data atomically: the old or the new file,
// never a torn one. An existing file without write permission (the read-only
// attribute) is not replaced. Raises AppError("<path> に書き込めません").
void writeFileAtomically(const QString &path, const QByteArray &data);

// Reads a whole regular file of at most maxBytes (persist/FileLimits.h).
// Raises AppError: "<path> を読み込めません" when it cannot be read (missing,
// no permission, a directory), notRegularFileText() for a device, named pipe
// or socket (behind a symbolic link too), fileTooLargeText() for a larger
// file (also one that grows past the limit while it is read). A named pipe
// is refused without waiting for a writer.
QByteArray readWholeFile(const QString &path, qint64 maxBytes);

// Whether path names a regular file, a symbolic link followed. Opens
// nothing, so never waits.
bool isRegularFile(const QString &path);

// Opens path for reading only when it is a regular file, checked on what was
// opened (no other file can take its place between the check and the open),
// and without waiting on a named pipe.
enum class RegularOpen { Opened, NotRegular, Failed };
RegularOpen openRegularFile(QFile &file, const QString &path);

// Code page 932 (Windows Japanese). A byte that starts no character (a lead
// byte without its second byte, as at the end of a file cut short, or a byte
// the code page leaves unassigned) is decoded as U+FFFD. encodeCp932 returns
// false when a character cannot be represented.
QString decodeCp932(QByteArrayView bytes);
bool encodeCp932(const QString &text, QByteArray *out);
