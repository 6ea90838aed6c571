// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/FileLimits.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// List text files: a sequence of lines, read and written whole.
//
// Reading: a leading byte-order mark selects the encoding (EF BB BF UTF-8,
// FF FE UTF-16 LE, FE FF UTF-16 BE, tested in this order) and is skipped; only
// that one mark is skipped, a U+FEFF after it belongs to the first line.
// Without a mark the text is UTF-8 when its bytes are valid UTF-8 and not
// plain ASCII (the ordinary text file of Linux), otherwise code page 932.
// Lines are cut at CR LF, a lone CR and a lone LF; every line counts, an
// empty one too; a break at the very end adds no line; a NUL character ends
// the text. A character cut off by the end of the text (a file cut short) is
// kept as U+FFFD.
//
// Writing: each line is followed by CR LF. Code page 932 and UTF-8 without a
// mark are written without one, the others with theirs. A list that code page
// 932 cannot represent whole, or whose code page 932 bytes would read back as
// UTF-8, is written as UTF-8 with its mark instead, so nothing is lost or
// read otherwise; so is a list in UTF-8 without a mark whose first line starts
// with U+FEFF, which would read as a mark. The file is replaced atomically.
enum class TextEncoding { Cp932, Utf8, Utf8NoBom, Utf16LE, Utf16BE };

struct ListText {
    QStringList lines;
    TextEncoding encoding = TextEncoding::Cp932;
};

// Decodes the bytes of a list file.
ListText decodeListText(const QByteArray &bytes);
// Encodes lines in the given encoding; *used receives the encoding actually
// written (UTF-8 with its mark when the given one cannot hold the text).
QByteArray encodeListText(const QStringList &lines, TextEncoding encoding,
                          TextEncoding *used = nullptr);

// Reads a list file. Raises AppError("<path> を読み込めません") when it cannot
// be read (missing, a directory, no permission), and AppError with a message
// naming the file when it is no regular file, larger than maxBytes, or not a
// text file (binary data); see readWholeFile().
ListText readListFile(const QString &path, qint64 maxBytes = FileLimits::ListFile);
// Writes a list file; raises AppError("<path> に書き込めません") on failure.
// Returns the encoding actually written.
TextEncoding writeListFile(const QString &path, const QStringList &lines, TextEncoding encoding);
