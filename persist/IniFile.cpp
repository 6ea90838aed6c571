// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/IniFile.h"

#include "persist/AppError.h"
#include "persist/FileUtil.h"
#include "persist/SettingsKeys.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QLocale>
#include <QLockFile>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <cmath>
#include <optional>

namespace
{

constexpr qsizetype kMaxValueLength = 2047;
// How long a write waits for another instance's write to finish, and after
// how long a lock left behind by a hung or vanished writer is broken.
constexpr int kLockWaitMs = 5000;
constexpr int kStaleLockMs = 10000;

// One line of the file with the break that ended it ("" for a last line
// without a break), so that lines nobody touches are written back as read.
struct Line {
    QString text;
    QString eol;
};

bool startsWith(const QByteArray &bytes, const char *prefix, qsizetype n)
{
    return bytes.size() >= n && std::equal(prefix, prefix + n, bytes.constData());
}

bool isUtf16LeFile(const QByteArray &bytes)
{
    return startsWith(bytes, "\xFF\xFE", 2);
}

// A file with NUL bytes that is not UTF-16 is no INI file: it is never
// rewritten, so that whatever it holds survives.
bool isBinary(const QByteArray &bytes)
{
    return !isUtf16LeFile(bytes) && bytes.contains('\0');
}

// A file of nothing but NUL bytes (what a crash can leave of a file on some
// file systems) holds nothing to keep: a write starts it anew.
bool isZeroFilled(const QByteArray &bytes)
{
    return !bytes.isEmpty() &&
           std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return c == 0; });
}

QString decodeIniText(const QByteArray &bytes)
{
    if (isUtf16LeFile(bytes)) {
        QStringDecoder decoder(QStringDecoder::Utf16LE);
        QString text = decoder.decode(QByteArrayView(bytes).sliced(2));
        // Half a surrogate pair passes the decoder but not the UTF-8 rewrite:
        // it reads as U+FFFD, which every later read and write keep.
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text.at(i).isHighSurrogate() && i + 1 < text.size() &&
                text.at(i + 1).isLowSurrogate()) {
                ++i;
            } else if (text.at(i).isSurrogate()) {
                text[i] = QChar(0xFFFD);
            }
        }
        return text;
    }
    if (startsWith(bytes, "\xEF\xBB\xBF", 3))
        return QString::fromUtf8(QByteArrayView(bytes).sliced(3));
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError()) return text;
    return decodeCp932(bytes);
}

QList<Line> splitLines(const QString &text)
{
    QList<Line> lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) continue;
        qsizetype breakLen = 1;
        if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
            breakLen = 2;
        lines.append({text.mid(start, i - start), text.mid(i, breakLen)});
        i += breakLen - 1;
        start = i + 1;
    }
    if (start < n) lines.append({text.mid(start), QString()});
    return lines;
}

// The section name of a "[name]" line.
std::optional<QString> sectionOf(const QString &line)
{
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('['))) return std::nullopt;
    qsizetype close = t.indexOf(QLatin1Char(']'));
    if (close < 0) close = t.size();
    return t.mid(1, close - 1).trimmed();
}

bool isComment(const QString &trimmed)
{
    return trimmed.startsWith(QLatin1Char(';')) || trimmed.startsWith(QLatin1Char('#'));
}

// The key name of a "key=value" line; empty for any other line.
QString keyOf(const QString &line)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0) return QString();
    const QString key = line.left(eq).trimmed();
    if (isComment(key) || key.startsWith(QLatin1Char('['))) return QString();
    return key;
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Where a section and a key lie in the file: the first section of that name
// and the first key of that name in it count.
struct Location {
    qsizetype sectionLine = -1;
    qsizetype keyLine = -1;
    qsizetype lastKeyLine = -1;
};

Location locate(const QList<Line> &lines, const QString &section, const QString &key)
{
    Location loc;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &text = lines.at(i).text;
        if (const auto name = sectionOf(text)) {
            if (loc.sectionLine >= 0) break; // the end of the wanted section
            if (sameName(*name, section)) loc.sectionLine = i;
            continue;
        }
        if (loc.sectionLine < 0) continue;
        const QString k = keyOf(text);
        if (k.isEmpty()) continue;
        loc.lastKeyLine = i;
        if (loc.keyLine < 0 && sameName(k, key)) loc.keyLine = i;
    }
    return loc;
}

// The lines of the file as they are now; none when it cannot be read.
QList<Line> readLines(const QString &path)
{
    if (!QFileInfo(path).isFile()) return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return splitLines(decodeIniText(file.readAll()));
}

// A value as reading takes it from the text after "key=": white space
// around it and one pair of enclosing quotation marks dropped, at most 2,047
// characters.
QString valueAsRead(const QString &raw)
{
    QString value = raw.trimmed();
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        value = value.mid(1, value.size() - 2);
    if (value.size() > kMaxValueLength) {
        value.truncate(kMaxValueLength);
        if (value.back().isHighSurrogate()) value.chop(1);
    }
    return value;
}

std::optional<QString> findValue(const QString &path, const QString &section, const QString &key)
{
    const QList<Line> lines = readLines(path);
    const Location loc = locate(lines, section, key);
    if (loc.keyLine < 0) return std::nullopt;
    const QString &text = lines.at(loc.keyLine).text;
    return valueAsRead(text.mid(text.indexOf(QLatin1Char('=')) + 1));
}

// The text written after "key=": line breaks and NULs would break the file
// apart and become spaces; a value that reading would change (blanks at its
// ends, enclosing quotation marks) is put in quotation marks, which reading
// drops again.
QString storedForm(const QString &value)
{
    QString v = value;
    for (QChar &c : v) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0)) c = QLatin1Char(' ');
    }
    const bool quoted =
        v.size() >= 2 && v.startsWith(QLatin1Char('"')) && v.endsWith(QLatin1Char('"'));
    if (quoted || v != v.trimmed()) return QLatin1Char('"') + v + QLatin1Char('"');
    return v;
}

struct Assignment {
    QString section;
    QString key;
    QString value;
};

// Replaces or adds each key=value line, in order, in one locked
// read-modify-write of the file.
void writeValues(const QString &path, const QList<Assignment> &assignments)
{
    QLockFile lock(path + QStringLiteral(".lock"));
    lock.setStaleLockTime(kStaleLockMs);
    if (!lock.tryLock(kLockWaitMs)) throwCannotWrite(path);

    QList<Line> lines;
    const QFileInfo info(path);
    if (info.exists()) {
        if (!info.isFile()) throwCannotWrite(path);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) throwCannotWrite(path);
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) throwCannotWrite(path);
        if (!isZeroFilled(bytes)) {
            if (isBinary(bytes)) throwCannotWrite(path);
            lines = splitLines(decodeIniText(bytes));
        }
    }

    const QString crlf = QStringLiteral("\r\n");
    for (const Assignment &a : assignments) {
        const Location loc = locate(lines, a.section, a.key);
        if (loc.keyLine >= 0) {
            Line &line = lines[loc.keyLine];
            const QString name = keyOf(line.text);
            line.text = name + QLatin1Char('=') + storedForm(a.value);
            continue;
        }
        const Line newLine{a.key + QLatin1Char('=') + storedForm(a.value), crlf};
        if (loc.sectionLine >= 0) {
            const qsizetype after = loc.lastKeyLine >= 0 ? loc.lastKeyLine : loc.sectionLine;
            if (lines[after].eol.isEmpty()) lines[after].eol = crlf;
            lines.insert(after + 1, newLine);
        } else {
            if (!lines.isEmpty() && lines.back().eol.isEmpty()) lines.back().eol = crlf;
            lines.append({QLatin1Char('[') + a.section + QLatin1Char(']'), crlf});
            lines.append(newLine);
        }
    }

    QString text;
    for (const Line &line : std::as_const(lines))
        text += line.text + line.eol;
    writeFileAtomically(path, text.toUtf8());
}

void writeValue(const QString &path, const QString &section, const QString &key,
                const QString &value)
{
    writeValues(path, {{section, key, value}});
}

} // namespace

bool IniFile::valueExists(const QString &section, const QString &key) const
{
    return findValue(m_path, section, key).has_value();
}

QString IniFile::readString(const QString &section, const QString &key, const QString &def) const
{
    return findValue(m_path, section, key).value_or(def);
}

qint64 IniFile::readInteger(const QString &section, const QString &key, qint64 def) const
{
    const auto value = findValue(m_path, section, key);
    if (!value) return def;
    const QString &text = *value;
    bool ok = false;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        const QString digits = text.mid(2);
        static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]+$"));
        if (!hex.match(digits).hasMatch()) return def;
        const qulonglong n = digits.toULongLong(&ok, 16);
        return ok ? static_cast<qint64>(n) : def;
    }
    const qint64 n = text.toLongLong(&ok, 10);
    return ok ? n : def;
}

bool IniFile::readBool(const QString &section, const QString &key, bool def) const
{
    return readInteger(section, key, def ? 1 : 0) != 0;
}

double IniFile::readFloat(const QString &section, const QString &key, double def) const
{
    const auto value = findValue(m_path, section, key);
    double n = 0;
    if (!value || !parseFloat(*value, &n)) return def;
    return n;
}

void IniFile::writeString(const QString &section, const QString &key, const QString &value) const
{
    writeValue(m_path, section, key, value);
}

void IniFile::writeInteger(const QString &section, const QString &key, qint64 value) const
{
    writeValue(m_path, section, key, QString::number(value));
}

void IniFile::writeBool(const QString &section, const QString &key, bool value) const
{
    writeValue(m_path, section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void IniFile::writeFloat(const QString &section, const QString &key, double value) const
{
    writeValue(m_path, section, key, formatFloat(value));
}

namespace
{

// The general form with the given number of significant digits, rounded: no
// trailing zeros, scientific notation below 0.00001 and from 10^15 up.
QString generalForm(double value, int digits)
{
    // "d.ddd…e[+-]x"
    const QString sci = QString::number(std::fabs(value), 'e', digits - 1);
    const qsizetype e = sci.indexOf(QLatin1Char('e'));
    QString mantissa = sci.left(e).remove(QLatin1Char('.'));
    const int exponent = sci.mid(e + 1).toInt();
    while (mantissa.size() > 1 && mantissa.endsWith(QLatin1Char('0')))
        mantissa.chop(1);

    QString out = value < 0 ? QStringLiteral("-") : QString();
    if (exponent >= 15 || exponent < -5) {
        out += mantissa.left(1);
        if (mantissa.size() > 1) out += QLatin1Char('.') + mantissa.mid(1);
        out += QLatin1Char('E') + QString::number(exponent);
    } else if (exponent >= 0) {
        const qsizetype intDigits = exponent + 1;
        if (mantissa.size() <= intDigits) {
            out += mantissa + QString(intDigits - mantissa.size(), QLatin1Char('0'));
        } else {
            out += mantissa.left(intDigits) + QLatin1Char('.') + mantissa.mid(intDigits);
        }
    } else {
        out += QStringLiteral("0.") + QString(-exponent - 1, QLatin1Char('0')) + mantissa;
    }
    return out;
}

} // namespace

QString IniFile::formatFloat(double value)
{
    if (std::isnan(value)) return QStringLiteral("NAN");
    if (std::isinf(value)) return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (value == 0) return QStringLiteral("0");

    // 15 significant digits, unless they would read back as another value
    // (1.79769313486232E308 would not read at all); 17 always read back.
    const QString text = generalForm(value, 15);
    double back = 0;
    if (parseFloat(text, &back) && back == value) return text;
    return generalForm(value, 17);
}

bool IniFile::parseFloat(const QString &text, double *value)
{
    static const QRegularExpression number(
        QStringLiteral("^[+-]?(\\d+([.,]\\d*)?|[.,]\\d+)([eE][+-]?\\d+)?$"));
    QString t = text.trimmed();
    if (!number.match(t).hasMatch()) return false;
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double n = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(n)) return false;
    if (value) *value = n;
    return true;
}

namespace
{

QString keySection(const IniKey &key)
{
    return QString::fromLatin1(key.section);
}

QString keyName(const IniKey &key, int number = 0)
{
    const QString name = QString::fromLatin1(key.key);
    return number > 0 ? name + QString::number(number) : name;
}

} // namespace

bool IniFile::valueExists(const IniKey &key) const
{
    return valueExists(keySection(key), keyName(key));
}

QString IniFile::readString(const IniKey &key, int number) const
{
    return readString(keySection(key), keyName(key, number), QString());
}

qint64 IniFile::readInteger(const IniKey &key) const
{
    return readInteger(keySection(key), keyName(key), static_cast<qint64>(key.defaultValue));
}

bool IniFile::readBool(const IniKey &key) const
{
    return readBool(keySection(key), keyName(key), key.defaultValue != 0);
}

double IniFile::readFloat(const IniKey &key) const
{
    return readFloat(keySection(key), keyName(key), key.defaultValue);
}

void IniFile::writeString(const IniKey &key, const QString &value, int number) const
{
    writeString(keySection(key), keyName(key, number), value);
}

void IniFile::writeInteger(const IniKey &key, qint64 value) const
{
    writeInteger(keySection(key), keyName(key), value);
}

void IniFile::writeBool(const IniKey &key, bool value) const
{
    writeBool(keySection(key), keyName(key), value);
}

void IniFile::writeFloat(const IniKey &key, double value) const
{
    writeFloat(keySection(key), keyName(key), value);
}

void IniFile::writeResumeRecord(const QString &fileName, double second) const
{
    using namespace SettingsKeys;
    writeValues(m_path, {{keySection(ResumeFileName), keyName(ResumeFileName), fileName},
                         {keySection(ResumeSecond), keyName(ResumeSecond), formatFloat(second)}});
}

QString IniFile::readBackForm(const QString &value)
{
    // Written as UTF-8, which holds no lone surrogate.
    return valueAsRead(QString::fromUtf8(storedForm(value).toUtf8()));
}
