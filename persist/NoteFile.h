// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Notes that leave the program: the position records with their comments
// and the transcript's line at each, written as Markdown, CSV or WebVTT
// chapters, and read back from any of the three.
//
// - Times are written "hh:mm:ss.mmm" (hours not wrapped, more digits past
//   99) and read back to the millisecond.
// - A comment reads back exactly: Japanese, commas, quotation marks, line
//   breaks (LF, CR LF and lone CR), leading and trailing blanks.
// - Markdown: a heading naming the recording and its length, then a table
//   "| 時間 | コメント | 字幕 |"; "\", "|", "&" and "<" are
//   escaped, line breaks written "<br>" (CR as "&#13;").
// - CSV: UTF-8 with its mark (spreadsheets then read Japanese), a header
//   line "時間,コメント,字幕", fields quoted where needed, rows ending CR LF.
//   A field a spreadsheet would take for a formula is written behind an
//   apostrophe (see csvField), which the reader takes off again.
// - WebVTT chapters: one cue per note in time order, lasting until the next
//   one (the last one to the recording's end, or a second where its length
//   is not known or lies before), the comment as its text ("&", "<", ">"
//   escaped; a line break that would leave an empty line written "&#10;",
//   CR as "&#13;"); the transcript's line in a NOTE block before it.
struct Note {
    qint64 ms = 0;
    QString comment;
    QString cueText; // the transcript's line at that time; may be empty
    bool operator==(const Note &) const = default;
};

enum class NoteFormat { Markdown, Csv, WebVtt };

// What the notes are of: the recording's name (empty: not known) and its
// length in ms (0: not known).
struct NotesOf {
    QString recording;
    qint64 lengthMs = 0;
};

// The format a file's extension names (.md, .csv, .vtt); Markdown when it
// names none.
NoteFormat noteFormatOf(const QString &fileName);

// One CSV field: quoted (its quotation marks doubled) when it holds a comma,
// a quotation mark, a line break, or blanks at either end. A text beginning
// with "=", "+", "-", "@", a tab or a CR gets an apostrophe in front, so that
// a spreadsheet shows it as text rather than running it as a formula; so
// does one whose leading apostrophes come before such a character (the
// notes reader takes one apostrophe off exactly there).
QString csvField(const QString &text);
QByteArray encodeNotes(const QList<Note> &notes, NoteFormat format, const NotesOf &of = {});
// Reads notes back; the content decides between the formats when it is
// plainly one of them (a WebVTT header, a CSV or Markdown table header),
// otherwise `format`. A file written without notes reads as none; raises
// AppError when nothing in another file is a note.
QList<Note> decodeNotes(const QByteArray &bytes, NoteFormat format);

// Reads a notes file: a regular file of at most FileLimits::Notes bytes (see
// readWholeFile()), its format by its name and content. Writes one, its
// format by its name, replacing the file atomically (a failed write leaves
// the old file as it was). Both raise AppError; both are meant for a worker
// thread, touching nothing shared.
QList<Note> readNotesFile(const QString &path);
void writeNotesFile(const QString &path, const QList<Note> &notes, const NotesOf &of = {});

// "01:02:03.045"; and back (false when the text is no such time).
QString noteTimeText(qint64 ms);
bool readNoteTime(const QString &text, qint64 *ms);
