// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Replaces the file at path with data atomically: the old or the new file,
// never a torn one. An existing file without write permission (the read-only
// attribute) is not replaced. Raises AppError("<path> に書き込めません").
void writeFileAtomically(const QString &path, const QByteArray &data);

// Reads a whole file. Raises AppError("<path> を読み込めません") when it
// cannot (missing, a directory, no permission).
QByteArray readWholeFile(const QString &path);

// Code page 932 (Windows Japanese). A byte that starts no character (a lead
// byte without its second byte, as at the end of a file cut short, or a byte
// the code page leaves unassigned) is decoded as U+FFFD. encodeCp932 returns
// false when a character cannot be represented.
QString decodeCp932(QByteArrayView bytes);
bool encodeCp932(const QString &text, QByteArray *out);
