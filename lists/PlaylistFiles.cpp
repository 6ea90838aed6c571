// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/PlaylistFiles.h"

#include "player/MediaName.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

bool isM3uName(const QString &path)
{
    return path.endsWith(QLatin1String(".m3u"), Qt::CaseInsensitive) ||
           path.endsWith(QLatin1String(".m3u8"), Qt::CaseInsensitive);
}

M3uEntries m3uEntries(const QStringList &lines, const QString &dir)
{
    M3uEntries result;
    const QDir base(dir);
    for (const QString &line : lines) {
        const QString text = line.trimmed();
        if (text.isEmpty() || text.startsWith(u'#')) continue;
        const MediaName name = classifyMediaName(text);
        if (name.kind == MediaNameKind::Network) {
            result.entries << text;
            continue;
        }
        if (name.kind == MediaNameKind::Local) {
            const QFileInfo file(base, name.path);
            if (file.isFile()) {
                result.entries << QDir::cleanPath(file.absoluteFilePath());
                continue;
            }
        }
        ++result.skipped;
    }
    return result;
}

namespace
{

// The run of digits starting at i: its end, and its value's digits without
// leading zeros.
struct DigitRun {
    qsizetype end = 0;
    QString digits; // '0'..'9', no leading zeros
};

DigitRun digitRun(const QString &s, qsizetype i)
{
    DigitRun run;
    run.end = i;
    while (run.end < s.size() && s.at(run.end).digitValue() >= 0) {
        const int value = s.at(run.end).digitValue();
        if (value != 0 || !run.digits.isEmpty()) run.digits += QChar(u'0' + value);
        ++run.end;
    }
    return run;
}

bool isDigitAt(const QString &s, qsizetype i)
{
    return i < s.size() && s.at(i).digitValue() >= 0;
}

} // namespace

int naturalCompare(const QString &a, const QString &b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigitAt(a, i) && isDigitAt(b, j)) {
            const DigitRun x = digitRun(a, i);
            const DigitRun y = digitRun(b, j);
            if (x.digits.size() != y.digits.size())
                return x.digits.size() < y.digits.size() ? -1 : 1;
            if (const int c = x.digits.compare(y.digits); c != 0) return c < 0 ? -1 : 1;
            i = x.end;
            j = y.end;
            continue;
        }
        const char32_t x = a.at(i).toCaseFolded().unicode();
        const char32_t y = b.at(j).toCaseFolded().unicode();
        if (x != y) return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
    // Equal but for case or leading zeros: a fixed order all the same.
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool isMediaFileName(const QString &name)
{
    static const QSet<QString> suffixes = {
        // audio
        QStringLiteral("mp3"),
        QStringLiteral("m4a"),
        QStringLiteral("m4b"),
        QStringLiteral("aac"),
        QStringLiteral("ac3"),
        QStringLiteral("flac"),
        QStringLiteral("ogg"),
        QStringLiteral("oga"),
        QStringLiteral("opus"),
        QStringLiteral("wav"),
        QStringLiteral("wma"),
        QStringLiteral("mka"),
        QStringLiteral("ape"),
        QStringLiteral("aif"),
        QStringLiteral("aiff"),
        QStringLiteral("mp2"),
        QStringLiteral("amr"),
        QStringLiteral("dsf"),
        QStringLiteral("wv"),
        QStringLiteral("tta"),
        QStringLiteral("spx"),
        QStringLiteral("mpc"),
        // video and containers
        QStringLiteral("mp4"),
        QStringLiteral("m4v"),
        QStringLiteral("mkv"),
        QStringLiteral("webm"),
        QStringLiteral("avi"),
        QStringLiteral("mov"),
        QStringLiteral("wmv"),
        QStringLiteral("asf"),
        QStringLiteral("flv"),
        QStringLiteral("mpg"),
        QStringLiteral("mpeg"),
        QStringLiteral("ts"),
        QStringLiteral("m2ts"),
        QStringLiteral("mts"),
        QStringLiteral("3gp"),
        QStringLiteral("3g2"),
        QStringLiteral("ogv"),
        QStringLiteral("dv"),
        QStringLiteral("mxf"),
        QStringLiteral("rm"),
        QStringLiteral("rmvb"),
    };
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot >= 0 && suffixes.contains(name.mid(dot + 1).toLower());
}

QStringList mediaFilesIn(const QString &folder)
{
    const QDir dir(folder);
    QStringList names;
    for (const QString &name : dir.entryList(QDir::Files | QDir::Readable)) {
        if (isMediaFileName(name)) names << name;
    }
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return naturalCompare(a, b) < 0; });
    QStringList paths;
    paths.reserve(names.size());
    for (const QString &name : std::as_const(names))
        paths << QDir::cleanPath(dir.absoluteFilePath(name));
    return paths;
}
