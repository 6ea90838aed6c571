// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/FileLimits.h"

#include <QList>
#include <QString>
#include <QStringList>

// A transcript: the cues of a subtitle file (SubRip, WebVTT, ASS/SSA, LRC)
// as lines to read along with.
//
// - Each cue keeps its start and end in milliseconds and its text on one
//   line: tags, styling and override blocks removed, character references
//   decoded, line breaks turned into spaces. Cues left without text are
//   dropped.
// - Times are read in ASCII digits, full-width ones too ("０１:00:00,000");
//   a cue whose time cannot be read (digits of another script, or a cue that
//   ends before it starts) is skipped and counted in `skipped`.
// - An LRC [offset:] moves the lines by at most a day either way.
// - The cues are sorted by their start; those starting together keep the
//   file's order. Overlapping cues are kept.
// - Reading a file never raises: a missing, empty, binary or too large file,
//   or one that is no regular file (a device, a named pipe), gives no cues
//   and a `problem` to show instead.
struct TranscriptCue {
    qint64 start = 0; // ms
    qint64 end = 0;   // ms
    QString text;
};

struct Transcript {
    QList<TranscriptCue> cues;
    int skipped = 0;
    QString problem; // why there are no cues; empty when the file was read
    // Not read to its end: the rest lay beyond this many bytes (a subtitle
    // stream inside a medium, FileLimits::EmbeddedSubtitleTrack); 0: whole.
    qint64 cutAtBytes = 0;
    // searchForm() of each cue's text, filled by readTranscriptFile().
    QStringList keys;
};

enum class TranscriptFormat { SubRip, WebVtt, Ass, Lrc };

// The largest subtitle file read: anything larger is refused.
inline constexpr qint64 MaxTranscriptBytes = FileLimits::Transcript;

// The format a file's name ("lecture.ja.srt") or, when its extension tells
// nothing, its first lines suggest.
TranscriptFormat transcriptFormatOf(const QString &fileName, const QStringList &lines);

// Parses the lines of a subtitle file.
Transcript parseTranscript(const QStringList &lines, TranscriptFormat format);

// Reads and parses a subtitle file (UTF-8 with or without a mark, UTF-16
// with a mark, code page 932, as list files are read) and fills the keys.
// Meant for a worker thread: it touches nothing shared.
Transcript readTranscriptFile(const QString &path, qint64 maxBytes = MaxTranscriptBytes);

// The text of "no transcript": no file, or a file without a single cue.
QString noTranscriptText();

// The plain text of one cue: of SubRip or WebVTT text (tags and references),
// and of an ASS/SSA event's text field (override blocks, drawings, \N).
QString plainCueText(const QString &text);
QString plainAssText(const QString &text);
// Character references (named, decimal and hexadecimal) made characters, in
// one pass: "&amp;lt;" gives "&lt;". An unknown one stays as it is.
QString decodeEntities(QString text);
// Sorts the cues by their start, sets the problem when there are none, and
// fills the keys.
void completeTranscript(Transcript &transcript);

// The form text is compared in: NFKC, case folded, katakana as hiragana, so
// that "カタカナ", "かたかな" and "ｶﾀｶﾅ" are the same.
QString searchForm(const QString &text);

// Filters cues by a query, keystroke by keystroke: a query that extends the
// previous one searches only the previous matches.
class TranscriptSearch
{
public:
    // keys: searchForm() of each cue; they must outlive the search.
    void setKeys(const QStringList *keys);
    // The rows (indices into the keys) whose key holds searchForm(query);
    // every row for an empty query.
    const QList<int> &filter(const QString &query);
    const QList<int> &matches() const { return m_matches; }

private:
    const QStringList *m_keys = nullptr;
    QString m_lastKey;
    bool m_hasLast = false;
    QList<int> m_matches;
};
