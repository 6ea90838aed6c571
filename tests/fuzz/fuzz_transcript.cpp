// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the subtitle parsers and the notes files: any bytes parse without a
// fault into sorted cues with readable times, any bytes read as a notes file
// without a fault, and notes made of the bytes (comments and lines of any
// text) are written and read back exactly, in each of the three formats.
#include "FuzzFiles.h"

#include "persist/AppError.h"
#include "persist/ListFile.h"
#include "persist/NoteFile.h"
#include "persist/Transcript.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList lines = decodeListText(bytes).lines;
    for (const TranscriptFormat format : {TranscriptFormat::SubRip, TranscriptFormat::WebVtt,
                                          TranscriptFormat::Ass, TranscriptFormat::Lrc}) {
        const Transcript t = parseTranscript(lines, format);
        for (qsizetype i = 0; i < t.cues.size(); ++i) {
            require(t.cues[i].start >= 0 && t.cues[i].end >= t.cues[i].start,
                    "a cue ends at or after its start");
            require(i == 0 || t.cues[i - 1].start <= t.cues[i].start, "the cues are sorted");
            require(!t.cues[i].text.isEmpty(), "a cue has text");
        }
        searchForm(lines.join(QLatin1Char('\n')));
    }

    // The bytes as a notes file of each format: notes, or the reason there are none.
    for (const NoteFormat format : {NoteFormat::Markdown, NoteFormat::Csv, NoteFormat::WebVtt}) {
        try {
            for (const Note &n : decodeNotes(bytes, format))
                require(n.ms >= 0, "a note read has a time");
        } catch (const AppError &) {
        }
    }

    // Notes: the text cut at 0x1E into comment and line pairs, in time order.
    QList<Note> notes;
    const QStringList parts = QString::fromUtf8(bytes).split(QChar(0x1E));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        notes.append({i * 1'234'567 + (i % 1000), parts[i], parts[i + 1]});
    for (const NoteFormat format : {NoteFormat::Markdown, NoteFormat::Csv, NoteFormat::WebVtt}) {
        QList<Note> back;
        try {
            back = decodeNotes(encodeNotes(notes, format), format);
        } catch (const AppError &) {
            require(false, "notes written read back");
        }
        require(back.size() == notes.size(), "every note reads back");
        for (qsizetype i = 0; i < back.size() && i < notes.size(); ++i) {
            require(back[i].ms == notes[i].ms && back[i].comment == notes[i].comment,
                    "a note's time and comment read back exactly");
            // A chapter file keeps the line on one line of its own.
            if (format != NoteFormat::WebVtt)
                require(back[i].cueText == notes[i].cueText, "a note's line reads back exactly");
        }
    }
    return 0;
}
