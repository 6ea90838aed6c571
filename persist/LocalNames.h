// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QUrl;

// Names of local files as the program holds them. On Linux a file name is
// bytes, and on disks that came from Japanese Windows they are often code
// page 932, which is no UTF-8: decoded as UTF-8 such a name is changed for
// good. So every byte that is no part of valid UTF-8 is held as a lone
// surrogate U+DC80..U+DCFF (a character no UTF-8 text can hold), and turned
// back into the same byte for the engine and the file system. A name that is
// valid UTF-8 is plain text as ever.
QString localNameFromBytes(const QByteArray &bytes);
QByteArray localNameToBytes(const QString &name);
// The same for a file: URL (its path's percent-encoded bytes).
QString localNameFromUrl(const QUrl &url);
QUrl localNameToUrl(const QString &name);

// The file system's own answers for such names (platform file).
bool localNameExists(const QString &name);
bool localNameIsFile(const QString &name);
// The name made absolute against the current directory.
QString localNameAbsolute(const QString &name);
// The command line after the program's own name, each argument a name.
QStringList commandLineNames(int argc, char **argv);
