// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The help file keeps its traditional name "pelmora.chm", but its content is
// an HTML page. Desktops choose the application by the file's extension, so
// such a file is handed to the shell as an ".html" copy in the user's cache
// directory (cacheDir). Any other file, or one that cannot be copied, is
// handed on as it is.
QString documentForShell(const QString &path, const QString &cacheDir);

// Whether the bytes begin an HTML document.
bool looksLikeHtml(const QByteArray &head);
