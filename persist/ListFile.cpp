// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/ListFile.h"

#include "persist/AppError.h"
#include "persist/FileUtil.h"

#include <QDir>
#include <QStringDecoder>

namespace
{

bool startsWith(const QByteArray &bytes, const char *prefix, qsizetype n)
{
    return bytes.size() >= n && std::equal(prefix, prefix + n, bytes.constData());
}

// The text of the file with its mark skipped, NULs and all.
QString decodeWhole(const QByteArray &bytes, TextEncoding *encoding)
{
    if (startsWith(bytes, "\xEF\xBB\xBF", 3)) {
        *encoding = TextEncoding::Utf8;
        return QString::fromUtf8(QByteArrayView(bytes).sliced(3));
    }
    if (startsWith(bytes, "\xFF\xFE", 2)) {
        *encoding = TextEncoding::Utf16LE;
        QStringDecoder decoder(QStringDecoder::Utf16LE);
        return decoder.decode(QByteArrayView(bytes).sliced(2));
    }
    if (startsWith(bytes, "\xFE\xFF", 2)) {
        *encoding = TextEncoding::Utf16BE;
        QStringDecoder decoder(QStringDecoder::Utf16BE);
        return decoder.decode(QByteArrayView(bytes).sliced(2));
    }
    *encoding = TextEncoding::Cp932;
    return decodeCp932(bytes);
}

// A text file holds nothing but NULs after the NUL that may end it, and few
// control characters other than TAB, CR and LF before it (a file name may
// hold one; binary data holds many).
bool isText(const QString &text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    const qsizetype end = nul < 0 ? text.size() : nul;
    qsizetype controls = 0;
    for (qsizetype i = 0; i < end; ++i) {
        const char16_t c = text.at(i).unicode();
        if ((c < 0x20 && c != u'\t' && c != u'\r' && c != u'\n') || c == 0x7F) ++controls;
    }
    if (controls * 32 > end) return false;
    for (qsizetype i = end; i < text.size(); ++i) {
        if (!text.at(i).isNull()) return false;
    }
    return true;
}

QStringList splitListLines(QStringView text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n') continue;
        lines.append(text.mid(start, i - start).toString());
        if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n') ++i;
        start = i + 1;
    }
    if (start < n) lines.append(text.mid(start).toString());
    return lines;
}

QByteArray utf16Bytes(const QString &text, bool bigEndian)
{
    QByteArray out;
    out.reserve(2 + text.size() * 2);
    out.append(bigEndian ? "\xFE\xFF" : "\xFF\xFE", 2);
    for (const QChar c : text) {
        const char hi = static_cast<char>(c.unicode() >> 8);
        const char lo = static_cast<char>(c.unicode() & 0xFF);
        out.append(bigEndian ? hi : lo);
        out.append(bigEndian ? lo : hi);
    }
    return out;
}

} // namespace

ListText decodeListText(const QByteArray &bytes)
{
    ListText result;
    const QString text = decodeWhole(bytes, &result.encoding);
    const qsizetype nul = text.indexOf(QChar(0));
    result.lines = splitListLines(nul < 0 ? QStringView(text) : QStringView(text).left(nul));
    return result;
}

QByteArray encodeListText(const QStringList &lines, TextEncoding encoding, TextEncoding *used)
{
    if (used) *used = encoding;
    if (lines.isEmpty()) return QByteArray();
    QString text;
    for (const QString &line : lines)
        text += line + QStringLiteral("\r\n");

    switch (encoding) {
    case TextEncoding::Cp932: {
        QByteArray out;
        if (encodeCp932(text, &out)) return out;
        // Code page 932 would lose characters: UTF-8 keeps them all.
        if (used) *used = TextEncoding::Utf8;
        return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    }
    case TextEncoding::Utf8:
        return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    case TextEncoding::Utf16LE:
        return utf16Bytes(text, false);
    case TextEncoding::Utf16BE:
        return utf16Bytes(text, true);
    }
    return QByteArray();
}

ListText readListFile(const QString &path)
{
    const QByteArray bytes = readWholeFile(path);
    TextEncoding encoding;
    if (!isText(decodeWhole(bytes, &encoding))) {
        throw AppError(QStringLiteral("%1 はテキストファイルではありません")
                           .arg(QDir::toNativeSeparators(path)));
    }
    return decodeListText(bytes);
}

TextEncoding writeListFile(const QString &path, const QStringList &lines, TextEncoding encoding)
{
    TextEncoding used = encoding;
    writeFileAtomically(path, encodeListText(lines, encoding, &used));
    return used;
}
