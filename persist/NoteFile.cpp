// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/NoteFile.h"

#include "persist/AppError.h"
#include "persist/FileLimits.h"
#include "persist/FileUtil.h"
#include "persist/ListFile.h"
#include "persist/TimeFormat.h"
#include "persist/Transcript.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>

namespace
{

const QString kTime = QStringLiteral("時間");
const QString kComment = QStringLiteral("コメント");
const QString kCue = QStringLiteral("字幕");

// The whole text, line breaks as they are (a CSV field may hold them).
QString decodeText(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(bytes.mid(3));
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder d(bytes.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE
                                                      : QStringDecoder::Utf16BE);
        return d.decode(bytes.mid(2));
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError()) return text;
    // Written by another program in code page 932.
    return decodeListText(bytes).lines.join(QLatin1Char('\n'));
}

QStringList splitLines(const QString &text)
{
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    return text.split(breaks);
}

// ---- Markdown ----

QString markdownCell(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (c == QLatin1Char('|'))
            out += QLatin1String("\\|");
        else if (c == QLatin1Char('&'))
            out += QLatin1String("&amp;");
        else if (c == QLatin1Char('<'))
            out += QLatin1String("&lt;");
        else if (c == QLatin1Char('\r'))
            out += QLatin1String("&#13;");
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("<br>");
        else
            out += c;
    }
    // Blanks at the ends would be trimmed by a reader of the table.
    if (!out.isEmpty() && out.front() == QLatin1Char(' '))
        out.replace(0, 1, QLatin1String("&#32;"));
    if (!out.isEmpty() && out.back() == QLatin1Char(' '))
        out.replace(out.size() - 1, 1, QLatin1String("&#32;"));
    return out;
}

QString unescapeMarkdownCell(QStringView cell)
{
    QString out;
    for (qsizetype i = 0; i < cell.size(); ++i) {
        const QStringView rest = cell.sliced(i);
        if (rest.startsWith(QLatin1String("\\\\")) || rest.startsWith(QLatin1String("\\|"))) {
            out += rest[1];
            ++i;
        } else if (rest.startsWith(QLatin1String("<br>"))) {
            out += QLatin1Char('\n');
            i += 3;
        } else if (rest.startsWith(QLatin1String("&amp;"))) {
            out += QLatin1Char('&');
            i += 4;
        } else if (rest.startsWith(QLatin1String("&lt;"))) {
            out += QLatin1Char('<');
            i += 3;
        } else if (rest.startsWith(QLatin1String("&#13;"))) {
            out += QLatin1Char('\r');
            i += 4;
        } else if (rest.startsWith(QLatin1String("&#32;"))) {
            out += QLatin1Char(' ');
            i += 4;
        } else {
            out += cell[i];
        }
    }
    return out;
}

// The cells of a table row "| a | b | c |", split at unescaped bars.
QList<QStringView> markdownCells(QStringView line)
{
    QList<QStringView> cells;
    line = line.trimmed();
    if (!line.startsWith(QLatin1Char('|'))) return cells;
    qsizetype from = 1;
    for (qsizetype i = 1; i < line.size(); ++i) {
        if (line[i] == QLatin1Char('\\')) {
            ++i;
        } else if (line[i] == QLatin1Char('|')) {
            QStringView cell = line.sliced(from, i - from);
            // One blank of padding on each side.
            if (cell.startsWith(QLatin1Char(' '))) cell = cell.sliced(1);
            if (cell.endsWith(QLatin1Char(' '))) cell.chop(1);
            cells << cell;
            from = i + 1;
        }
    }
    return cells;
}

// The heading: the recording the notes are of, and its length.
QString markdownHeading(const NotesOf &of)
{
    if (of.recording.isEmpty()) return QStringLiteral("# メモ");
    QString heading = QStringLiteral("# メモ: ") + markdownCell(of.recording);
    if (of.lengthMs > 0)
        heading += QStringLiteral("（長さ %1）").arg(formatTime(of.lengthMs, {.hourDigits = 2}));
    return heading;
}

QByteArray encodeMarkdown(const QList<Note> &notes, const NotesOf &of)
{
    QString out =
        markdownHeading(of) +
        QStringLiteral("\n\n| %1 | %2 | %3 |\n| --- | --- | --- |\n").arg(kTime, kComment, kCue);
    for (const Note &n : notes)
        out += QStringLiteral("| %1 | %2 | %3 |\n")
                   .arg(noteTimeText(n.ms), markdownCell(n.comment), markdownCell(n.cueText));
    return out.toUtf8();
}

QList<Note> decodeMarkdown(const QString &text)
{
    QList<Note> notes;
    for (const QString &line : splitLines(text)) {
        const QList<QStringView> cells = markdownCells(line);
        if (cells.size() < 2) continue;
        Note n;
        if (!readNoteTime(cells[0].trimmed().toString(), &n.ms)) continue;
        n.comment = unescapeMarkdownCell(cells[1]);
        if (cells.size() > 2) n.cueText = unescapeMarkdownCell(cells[2]);
        notes << n;
    }
    return notes;
}

// ---- CSV ----

QByteArray encodeCsv(const QList<Note> &notes)
{
    QString out = kTime + QLatin1Char(',') + kComment + QLatin1Char(',') + kCue + "\r\n";
    for (const Note &n : notes)
        out += noteTimeText(n.ms) + QLatin1Char(',') + csvField(n.comment) + QLatin1Char(',') +
               csvField(n.cueText) + QLatin1String("\r\n");
    return QByteArray("\xEF\xBB\xBF") + out.toUtf8();
}

// A cell a spreadsheet would take for a formula begins with one of these
// (a tab or a CR too, which some of them skip before looking).
bool formulaStart(QChar c)
{
    return c == QLatin1Char('=') || c == QLatin1Char('+') || c == QLatin1Char('-') ||
           c == QLatin1Char('@') || c == QLatin1Char('\t') || c == QLatin1Char('\r');
}

// Such a text is written behind an apostrophe, which spreadsheets read as
// "text follows". So that the apostrophe can be taken off again without
// doubt, a text that itself begins with apostrophes before such a character
// gets one more: the reader takes one off wherever apostrophes lead up to one.
bool formulaGuarded(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char('\''))
        ++i;
    return i < text.size() && formulaStart(text[i]);
}

QString unguardedCell(const QString &cell)
{
    return cell.startsWith(QLatin1Char('\'')) && formulaGuarded(cell) ? cell.mid(1) : cell;
}

// RFC 4180 records: quoted fields may hold commas, quotes and line breaks;
// records end at CR LF, LF or CR.
QList<QStringList> csvRecords(const QString &text)
{
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false, any = false;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < n && text[i + 1] == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
            continue;
        }
        if (c == QLatin1Char('"')) {
            quoted = true;
            any = true;
        } else if (c == QLatin1Char(',')) {
            record << field;
            field.clear();
            any = true;
        } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n')) ++i;
            if (any || !field.isEmpty()) {
                record << field;
                records << record;
            }
            record.clear();
            field.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any || !field.isEmpty()) {
        record << field;
        records << record;
    }
    return records;
}

QList<Note> decodeCsv(const QString &text)
{
    QList<Note> notes;
    for (const QStringList &r : csvRecords(text)) {
        Note n;
        if (r.size() < 2 || !readNoteTime(r[0].trimmed(), &n.ms)) continue;
        n.comment = unguardedCell(r[1]);
        if (r.size() > 2) n.cueText = unguardedCell(r[2]);
        notes << n;
    }
    return notes;
}

// ---- WebVTT chapters ----

QString vttText(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('&')) {
            out += QLatin1String("&amp;");
        } else if (c == QLatin1Char('<')) {
            out += QLatin1String("&lt;");
        } else if (c == QLatin1Char('>')) {
            out += QLatin1String("&gt;");
        } else if (c == QLatin1Char('\r')) {
            out += QLatin1String("&#13;");
        } else if (c == QLatin1Char('\n')) {
            // A real break only where it leaves no empty line (an empty line
            // ends the cue).
            const bool empty = i == 0 || i + 1 == text.size() || text[i - 1] == QLatin1Char('\n') ||
                               text[i + 1] == QLatin1Char('\n');
            out += empty ? QLatin1String("&#10;") : QLatin1String("\n");
        } else {
            out += c;
        }
    }
    return out;
}

QByteArray encodeVtt(QList<Note> notes, qint64 lengthMs)
{
    std::stable_sort(notes.begin(), notes.end(),
                     [](const Note &a, const Note &b) { return a.ms < b.ms; });
    QString out = QStringLiteral("WEBVTT\n");
    for (qsizetype i = 0; i < notes.size(); ++i) {
        const Note &n = notes[i];
        // The last one lasts to the recording's end, where that is known.
        const qint64 next = i + 1 < notes.size() ? notes[i + 1].ms : std::max(n.ms, lengthMs);
        const qint64 end = next > n.ms ? next : n.ms + 1000;
        out += QLatin1Char('\n');
        if (!n.cueText.isEmpty()) {
            // A NOTE holds no "-->" and no empty line.
            QString cue = n.cueText;
            while (cue.contains(QLatin1String("-->")))
                cue.replace(QLatin1String("-->"), QLatin1String("->"));
            cue.replace(QLatin1Char('\r'), QLatin1Char(' '));
            cue.replace(QLatin1Char('\n'), QLatin1Char(' '));
            out += QStringLiteral("NOTE %1: %2\n\n").arg(kCue, cue);
        }
        out += noteTimeText(n.ms) + QLatin1String(" --> ") + noteTimeText(end) + QLatin1Char('\n');
        out += vttText(n.comment) + QLatin1Char('\n');
    }
    return out.toUtf8();
}

QList<Note> decodeVtt(const QString &text)
{
    QList<Note> notes;
    const QStringList lines = splitLines(text);
    QString pendingCue;
    const QString notePrefix = QStringLiteral("NOTE %1: ").arg(kCue);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        if (line.startsWith(notePrefix)) {
            pendingCue = line.mid(notePrefix.size());
            continue;
        }
        const qsizetype arrow = line.indexOf(QLatin1String("-->"));
        if (arrow < 0) continue;
        Note n;
        if (!readNoteTime(line.left(arrow).trimmed(), &n.ms)) continue;
        QStringList payload;
        while (i + 1 < lines.size() && !lines[i + 1].isEmpty())
            payload << lines[++i];
        n.comment = decodeEntities(payload.join(QLatin1Char('\n')));
        n.cueText = pendingCue;
        pendingCue.clear();
        notes << n;
    }
    return notes;
}

} // namespace

QString csvField(const QString &text)
{
    const bool quote = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
                       text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')) ||
                       (!text.isEmpty() && (text.front().isSpace() || text.back().isSpace()));
    const QString cell = formulaGuarded(text) ? QLatin1Char('\'') + text : text;
    if (!quote) return cell;
    QString escaped = cell;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QString noteTimeText(qint64 ms)
{
    return formatTime(ms, {.hourDigits = 2, .milliseconds = true});
}

bool readNoteTime(const QString &text, qint64 *ms)
{
    static const QRegularExpression form(
        QStringLiteral("^(\\d{1,9}):(\\d\\d):(\\d\\d)(?:[.,](\\d{1,3}))?$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch()) return false;
    const qint64 minutes = m.captured(2).toLongLong(), seconds = m.captured(3).toLongLong();
    if (minutes >= 60 || seconds >= 60) return false;
    QString fraction = m.captured(4);
    while (fraction.size() < 3)
        fraction += QLatin1Char('0');
    *ms =
        ((m.captured(1).toLongLong() * 60 + minutes) * 60 + seconds) * 1000 + fraction.toLongLong();
    return true;
}

NoteFormat noteFormatOf(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("csv")) return NoteFormat::Csv;
    if (suffix == QLatin1String("vtt")) return NoteFormat::WebVtt;
    return NoteFormat::Markdown;
}

QByteArray encodeNotes(const QList<Note> &notes, NoteFormat format, const NotesOf &of)
{
    switch (format) {
    case NoteFormat::Csv:
        return encodeCsv(notes);
    case NoteFormat::WebVtt:
        return encodeVtt(notes, of.lengthMs);
    case NoteFormat::Markdown:
        break;
    }
    return encodeMarkdown(notes, of);
}

QList<Note> decodeNotes(const QByteArray &bytes, NoteFormat format)
{
    const QString text = decodeText(bytes);
    // A file of ours, also one without a single note.
    bool ours = true;
    if (text.startsWith(QLatin1String("WEBVTT")))
        format = NoteFormat::WebVtt;
    else if (text.startsWith(kTime + QLatin1Char(',')))
        format = NoteFormat::Csv;
    else if (text.contains(QStringLiteral("| %1 | %2 |").arg(kTime, kComment)))
        format = NoteFormat::Markdown;
    else
        ours = false;
    QList<Note> notes;
    switch (format) {
    case NoteFormat::Csv:
        notes = decodeCsv(text);
        break;
    case NoteFormat::WebVtt:
        notes = decodeVtt(text);
        break;
    case NoteFormat::Markdown:
        notes = decodeMarkdown(text);
        break;
    }
    if (notes.isEmpty() && !ours && !text.trimmed().isEmpty())
        throw AppError(QStringLiteral("メモが見つかりません"));
    return notes;
}

QList<Note> readNotesFile(const QString &path)
{
    return decodeNotes(readWholeFile(path, FileLimits::Notes), noteFormatOf(path));
}

void writeNotesFile(const QString &path, const QList<Note> &notes, const NotesOf &of)
{
    writeFileAtomically(path, encodeNotes(notes, noteFormatOf(path), of));
}
