// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/Transcript.h"

#include "persist/AppError.h"
#include "persist/ListFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <optional>

namespace
{

// ASCII digits only: full-width ones are made ASCII before (see readClock),
// and those of other scripts make no time.
bool allDigits(QStringView s)
{
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
}

// "h:mm:ss.fff", "mm:ss.fff", "h:mm:ss,fff" or without a fraction: any
// number of hour digits, two-digit minutes and seconds below 60 (the first
// field may be longer when there are only two), a fraction of one to three
// digits (or more, cut to milliseconds).
std::optional<qint64> readClock(QStringView text)
{
    // Full-width digits and colons, as some Japanese files have them.
    if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() > 0x7F; })) {
        const QString ascii = text.toString().normalized(QString::NormalizationForm_KC);
        if (std::all_of(ascii.begin(), ascii.end(), [](QChar c) { return c.unicode() <= 0x7F; }))
            return readClock(ascii);
        return std::nullopt;
    }
    text = text.trimmed();
    qsizetype dot = text.lastIndexOf(QLatin1Char('.'));
    const qsizetype comma = text.lastIndexOf(QLatin1Char(','));
    if (comma > dot) dot = comma;
    QStringView whole = dot < 0 ? text : text.first(dot);
    qint64 ms = 0;
    if (dot >= 0) {
        const QStringView fraction = text.sliced(dot + 1);
        if (!allDigits(fraction)) return std::nullopt;
        QString f = fraction.left(3).toString();
        while (f.size() < 3)
            f += QLatin1Char('0');
        ms = f.toLongLong();
    }
    const QList<QStringView> parts = whole.split(QLatin1Char(':'));
    if (parts.size() < 2 || parts.size() > 3) return std::nullopt;
    qint64 total = 0;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QStringView p = parts[i];
        if (!allDigits(p) || p.size() > 9) return std::nullopt;
        const qint64 v = p.toLongLong();
        if (i > 0 && (p.size() != 2 || v >= 60)) return std::nullopt;
        total = total * 60 + v;
    }
    return total * 1000 + ms;
}

// White space runs as one blank, none at the ends.
QString oneLine(const QString &text)
{
    return text.simplified();
}

// SubRip and WebVTT text: HTML-like tags (<i>, <font ...>, <v Name>,
// <c.loud>, <00:01.000>) and ASS overrides some SubRip files carry
// ({\an8}) go; references are decoded.
QString plainCueLines(const QStringList &lines)
{
    QString text = lines.join(QLatin1Char(' '));
    static const QRegularExpression tag(QStringLiteral("<[^<>]*>"));
    static const QRegularExpression override(QStringLiteral("\\{\\\\[^{}]*\\}"));
    if (text.contains(QLatin1Char('<'))) text.remove(tag);
    if (text.contains(QLatin1Char('{'))) text.remove(override);
    return oneLine(decodeEntities(text));
}

bool isTimingLine(const QString &line)
{
    return line.contains(QLatin1String("-->"));
}

// SubRip and WebVTT share their shape: blocks parted by blank lines, a
// timing line "start --> end [settings]" with the text below it. Numbers
// and identifiers before the timing, WebVTT's header, NOTE, STYLE and
// REGION blocks carry no timing line and are passed over.
Transcript parseBlocks(const QStringList &lines)
{
    Transcript t;
    qsizetype i = 0;
    const qsizetype n = lines.size();
    while (i < n) {
        const QString &line = lines[i];
        if (!isTimingLine(line)) {
            // A NOTE block may hold anything but a timing line; passing
            // over it line by line is the same.
            ++i;
            continue;
        }
        const qsizetype arrow = line.indexOf(QLatin1String("-->"));
        const QString startText = line.left(arrow).trimmed();
        QString endText = line.mid(arrow + 3).trimmed();
        if (const qsizetype blank = endText.indexOf(QLatin1Char(' ')); blank >= 0)
            endText.truncate(blank);
        if (const qsizetype tab = endText.indexOf(QLatin1Char('\t')); tab >= 0)
            endText.truncate(tab);
        QStringList text;
        ++i;
        while (i < n && !lines[i].trimmed().isEmpty() && !isTimingLine(lines[i]))
            text << lines[i++];
        const auto start = readClock(startText);
        const auto end = readClock(endText);
        if (!start || !end || *end < *start) {
            ++t.skipped;
            continue;
        }
        const QString plain = plainCueLines(text);
        if (!plain.isEmpty()) t.cues.append({*start, *end, plain});
    }
    return t;
}

// ASS/SSA: the "Dialogue:" lines of [Events], their fields as its "Format:"
// line orders them, times "h:mm:ss.cc"; the text loses its override blocks
// ({\b1}), drawings ({\p1}...{\p0}) and turns \N, \n and \h into blanks.
QString assText(const QString &raw)
{
    QString out;
    bool drawing = false;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw[i];
        if (c == QLatin1Char('{')) {
            const qsizetype close = raw.indexOf(QLatin1Char('}'), i);
            if (close < 0) break;
            static const QRegularExpression drawMode(QStringLiteral("\\\\p(\\d+)"));
            const QRegularExpressionMatch m = drawMode.match(raw.mid(i, close - i));
            if (m.hasMatch()) drawing = m.captured(1).toInt() != 0;
            i = close;
            continue;
        }
        if (drawing) continue;
        if (c == QLatin1Char('\\') && i + 1 < raw.size()) {
            const QChar next = raw[i + 1];
            if (next == QLatin1Char('N') || next == QLatin1Char('n') || next == QLatin1Char('h')) {
                out += QLatin1Char(' ');
                ++i;
                continue;
            }
        }
        out += c;
    }
    return oneLine(out);
}

Transcript parseAss(const QStringList &lines)
{
    Transcript t;
    bool events = false;
    // The usual order when a file has no Format line.
    int startField = 1, endField = 2, textField = 9, fields = 10;
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            events = line.compare(QLatin1String("[Events]"), Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!events) continue;
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon < 0) continue;
        const QString kind = line.left(colon).trimmed();
        const QString rest = line.mid(colon + 1);
        if (kind.compare(QLatin1String("Format"), Qt::CaseInsensitive) == 0) {
            const QStringList names = rest.split(QLatin1Char(','));
            fields = static_cast<int>(names.size());
            for (int k = 0; k < fields; ++k) {
                const QString name = names[k].trimmed().toLower();
                if (name == QLatin1String("start")) startField = k;
                if (name == QLatin1String("end")) endField = k;
                if (name == QLatin1String("text")) textField = k;
            }
            continue;
        }
        if (kind.compare(QLatin1String("Dialogue"), Qt::CaseInsensitive) != 0) continue;
        // The text is the last field and may hold commas.
        QStringList parts;
        qsizetype from = 0;
        for (int k = 0; k < fields - 1; ++k) {
            const qsizetype comma = rest.indexOf(QLatin1Char(','), from);
            if (comma < 0) break;
            parts << rest.mid(from, comma - from);
            from = comma + 1;
        }
        parts << rest.mid(from);
        if (parts.size() != fields || startField >= fields || endField >= fields ||
            textField >= fields) {
            ++t.skipped;
            continue;
        }
        const auto start = readClock(parts[startField]);
        const auto end = readClock(parts[endField]);
        if (!start || !end || *end < *start) {
            ++t.skipped;
            continue;
        }
        const QString text = assText(parts[textField]);
        if (!text.isEmpty()) t.cues.append({*start, *end, text});
    }
    return t;
}

// An LRC offset in ms, kept within a day either way (a larger one is a
// broken file, and would overflow the times).
qint64 lrcOffset(QStringView text)
{
    constexpr qint64 limit = 24LL * 3600 * 1000;
    const bool negative = text.startsWith(QLatin1Char('-'));
    const QStringView digits =
        negative || text.startsWith(QLatin1Char('+')) ? text.sliced(1) : text;
    if (!allDigits(digits)) return 0;
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok);
    if (!ok || value > limit) return negative ? -limit : limit;
    return negative ? -value : value;
}

// LRC: "[mm:ss.xx]text", several time tags before one text, metadata tags
// ([ar:...], [offset:+500]) and word times (<mm:ss.xx>). A cue lasts until
// the next one starts (the last one five seconds).
Transcript parseLrc(const QStringList &lines)
{
    Transcript t;
    qint64 offset = 0;
    static const QRegularExpression wordTime(QStringLiteral("<\\d+:\\d+(?:[.:]\\d+)?>"));
    for (const QString &raw : lines) {
        QStringView line = QStringView(raw).trimmed();
        QList<qint64> times;
        bool bad = false;
        while (line.startsWith(QLatin1Char('['))) {
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            if (close < 0) break;
            const QStringView tag = line.sliced(1, close - 1);
            line = line.sliced(close + 1);
            if (tag.isEmpty()) continue;
            if (!tag.front().isDigit()) {
                if (tag.startsWith(QLatin1String("offset:"), Qt::CaseInsensitive))
                    offset = lrcOffset(tag.sliced(7).trimmed());
                continue; // other metadata
            }
            // Some write the hundredths after a colon: [01:02:50].
            QString clock = tag.toString();
            static const QRegularExpression colonHundredths(
                QStringLiteral("^(\\d+:\\d\\d):(\\d\\d)$"));
            clock.replace(colonHundredths, QStringLiteral("\\1.\\2"));
            if (const auto at = readClock(clock))
                times << *at;
            else
                bad = true;
        }
        if (bad) ++t.skipped;
        if (times.isEmpty()) continue;
        const QString text = oneLine(line.toString().remove(wordTime));
        if (text.isEmpty()) continue;
        for (const qint64 at : times)
            t.cues.append({std::max<qint64>(0, at - offset), 0, text});
    }
    std::stable_sort(
        t.cues.begin(), t.cues.end(),
        [](const TranscriptCue &a, const TranscriptCue &b) { return a.start < b.start; });
    for (qsizetype i = 0; i < t.cues.size(); ++i)
        t.cues[i].end = i + 1 < t.cues.size() ? std::max(t.cues[i].start, t.cues[i + 1].start)
                                              : t.cues[i].start + 5000;
    return t;
}

} // namespace

QString decodeEntities(QString text)
{
    if (!text.contains(QLatin1Char('&'))) return text;
    static const QRegularExpression entity(QStringLiteral("&(#x[0-9A-Fa-f]+|#[0-9]+|[A-Za-z]+);"));
    QString out;
    qsizetype last = 0;
    auto it = entity.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(text).sliced(last, m.capturedStart() - last);
        const QString name = m.captured(1);
        QString replacement = m.captured(0);
        if (name.startsWith(QLatin1Char('#'))) {
            const bool hex = name.startsWith(QLatin1String("#x"));
            bool ok = false;
            const uint code = name.mid(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
            if (ok && code > 0 && code <= 0x10FFFF)
                replacement = QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1);
        } else if (name == QLatin1String("amp")) {
            replacement = QStringLiteral("&");
        } else if (name == QLatin1String("lt")) {
            replacement = QStringLiteral("<");
        } else if (name == QLatin1String("gt")) {
            replacement = QStringLiteral(">");
        } else if (name == QLatin1String("quot")) {
            replacement = QStringLiteral("\"");
        } else if (name == QLatin1String("apos")) {
            replacement = QStringLiteral("'");
        } else if (name == QLatin1String("nbsp")) {
            replacement = QStringLiteral(" ");
        } else if (name == QLatin1String("lrm") || name == QLatin1String("rlm")) {
            replacement.clear();
        }
        out += replacement;
        last = m.capturedEnd();
    }
    out += QStringView(text).sliced(last);
    return out;
}

TranscriptFormat transcriptFormatOf(const QString &fileName, const QStringList &lines)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("srt")) return TranscriptFormat::SubRip;
    if (suffix == QLatin1String("vtt")) return TranscriptFormat::WebVtt;
    if (suffix == QLatin1String("ass") || suffix == QLatin1String("ssa"))
        return TranscriptFormat::Ass;
    if (suffix == QLatin1String("lrc")) return TranscriptFormat::Lrc;
    static const QRegularExpression lrcTag(QStringLiteral("^\\[\\d+:\\d\\d"));
    for (const QString &raw : lines.mid(0, 20)) {
        const QString line = raw.trimmed();
        if (line.isEmpty()) continue;
        if (line.startsWith(QLatin1String("WEBVTT"))) return TranscriptFormat::WebVtt;
        if (line.compare(QLatin1String("[Script Info]"), Qt::CaseInsensitive) == 0)
            return TranscriptFormat::Ass;
        if (lrcTag.match(line).hasMatch()) return TranscriptFormat::Lrc;
    }
    return TranscriptFormat::SubRip;
}

Transcript parseTranscript(const QStringList &lines, TranscriptFormat format)
{
    Transcript t;
    switch (format) {
    case TranscriptFormat::SubRip:
    case TranscriptFormat::WebVtt:
        t = parseBlocks(lines);
        break;
    case TranscriptFormat::Ass:
        t = parseAss(lines);
        break;
    case TranscriptFormat::Lrc:
        return parseLrc(lines); // sorted already
    }
    std::stable_sort(
        t.cues.begin(), t.cues.end(),
        [](const TranscriptCue &a, const TranscriptCue &b) { return a.start < b.start; });
    return t;
}

QString noTranscriptText()
{
    return QStringLiteral("文字起こしがありません");
}

Transcript readTranscriptFile(const QString &path, qint64 maxBytes)
{
    Transcript t;
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        t.problem = noTranscriptText();
        return t;
    }
    ListText text;
    try {
        text = readListFile(path, maxBytes);
    } catch (const AppError &e) {
        t.problem = e.message();
        return t;
    }
    t = parseTranscript(text.lines, transcriptFormatOf(path, text.lines));
    completeTranscript(t);
    return t;
}

QString plainCueText(const QString &text)
{
    return plainCueLines(text.split(QLatin1Char('\n')));
}

QString plainAssText(const QString &text)
{
    return assText(text);
}

void completeTranscript(Transcript &t)
{
    std::stable_sort(
        t.cues.begin(), t.cues.end(),
        [](const TranscriptCue &a, const TranscriptCue &b) { return a.start < b.start; });
    if (t.cues.isEmpty()) {
        if (t.problem.isEmpty()) t.problem = noTranscriptText();
        return;
    }
    t.keys.clear();
    t.keys.reserve(t.cues.size());
    for (const TranscriptCue &cue : std::as_const(t.cues))
        t.keys << searchForm(cue.text);
}

QString searchForm(const QString &text)
{
    // Plain ASCII needs only the case folded.
    const bool ascii =
        std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii) return text.toCaseFolded();
    QString s = text.normalized(QString::NormalizationForm_KC).toCaseFolded();
    for (QChar &c : s) {
        const char16_t u = c.unicode();
        // Katakana ァ..ヶ and the iteration marks ヽヾ as their hiragana.
        if ((u >= 0x30A1 && u <= 0x30F6) || u == 0x30FD || u == 0x30FE) c = QChar(u - 0x60);
    }
    return s;
}

void TranscriptSearch::setKeys(const QStringList *keys)
{
    m_keys = keys;
    m_hasLast = false;
    m_lastKey.clear();
    m_matches.clear();
}

const QList<int> &TranscriptSearch::filter(const QString &query)
{
    const QString key = searchForm(query);
    const int count = m_keys ? static_cast<int>(m_keys->size()) : 0;
    if (key.isEmpty()) {
        m_matches.resize(count);
        for (int i = 0; i < count; ++i)
            m_matches[i] = i;
    } else if (m_hasLast && !m_lastKey.isEmpty() && key.startsWith(m_lastKey)) {
        // Typing on: only the rows that matched can still match.
        m_matches.removeIf([&](int row) { return !m_keys->at(row).contains(key); });
    } else {
        m_matches.clear();
        for (int i = 0; i < count; ++i)
            if (m_keys->at(i).contains(key)) m_matches << i;
    }
    m_lastKey = key;
    m_hasLast = true;
    return m_matches;
}
