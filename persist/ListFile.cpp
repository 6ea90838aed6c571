// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/ListFile.h"

#include "persist/AppError.h"
#include "persist/FileUtil.h"

#include <QDir>
#include <QStringDecoder>

#include <algorithm>

namespace
{

constexpr QChar kReplacement(0xFFFD);
constexpr QChar kMarkCharacter(0xFEFF);

bool startsWith(const QByteArray &bytes, const char *prefix, qsizetype n)
{
    return bytes.size() >= n && std::equal(prefix, prefix + n, bytes.constData());
}

// The text of a file: what comes before the NUL that may end it, with its
// mark skipped, and whether nothing but NULs follows that NUL.
struct Decoded {
    QString text;
    bool onlyNulsAfter = true;
    TextEncoding encoding = TextEncoding::Cp932;
};

// Where the first NUL character starts (a zero byte, or two zero bytes at an
// even offset for UTF-16); -1 when there is none.
qsizetype nulAt(QByteArrayView bytes, qsizetype unit)
{
    for (qsizetype i = 0; i + unit <= bytes.size(); i += unit) {
        if (bytes[i] == 0 && (unit == 1 || bytes[i + 1] == 0)) return i;
    }
    return -1;
}

// UTF-8. A sequence cut off by the end of the bytes (a file cut short) is
// kept as one U+FFFD instead of vanishing. Only the mark the caller has
// skipped is one: a U+FEFF after it is text.
QString decodeUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    // The decoder holds back a cut-off sequence; a line feed, which no
    // sequence can continue with, brings it out.
    if (QString(decoder.decode(QByteArrayView("\n", 1))) != QStringLiteral("\n"))
        text += kReplacement;
    return text;
}

// Whether bytes without a mark are UTF-8 text: valid UTF-8 (a sequence cut
// off by the end aside) and not plain ASCII. Japanese code page 932 text
// practically never is; the check ends at the first malformed sequence.
bool isUtf8Text(QByteArrayView bytes)
{
    constexpr qsizetype kChunk = 64 * 1024;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    bool nonAscii = false;
    for (qsizetype i = 0; i < bytes.size(); i += kChunk) {
        const QString part = decoder.decode(bytes.sliced(i, std::min(kChunk, bytes.size() - i)));
        if (decoder.hasError()) return false;
        nonAscii = nonAscii || std::any_of(part.cbegin(), part.cend(),
                                           [](QChar c) { return c.unicode() >= 0x80; });
    }
    return nonAscii;
}

Decoded decodeWhole(const QByteArray &bytes)
{
    Decoded result;
    QByteArrayView body(bytes);
    qsizetype unit = 1;
    if (startsWith(bytes, "\xEF\xBB\xBF", 3)) {
        result.encoding = TextEncoding::Utf8;
        body = body.sliced(3);
    } else if (startsWith(bytes, "\xFF\xFE", 2)) {
        result.encoding = TextEncoding::Utf16LE;
        body = body.sliced(2);
        unit = 2;
    } else if (startsWith(bytes, "\xFE\xFF", 2)) {
        result.encoding = TextEncoding::Utf16BE;
        body = body.sliced(2);
        unit = 2;
    }
    if (const qsizetype nul = nulAt(body, unit); nul >= 0) {
        const QByteArrayView after = body.sliced(nul);
        result.onlyNulsAfter = std::all_of(after.begin(), after.end(), [](char c) { return !c; });
        body = body.first(nul);
    }

    switch (result.encoding) {
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE: {
        // Stateless: an odd byte at the end becomes U+FFFD.
        QStringDecoder decoder(result.encoding == TextEncoding::Utf16LE ? QStringDecoder::Utf16LE
                                                                        : QStringDecoder::Utf16BE,
                               QStringDecoder::Flag::Stateless |
                                   QStringDecoder::Flag::ConvertInitialBom);
        result.text = decoder.decode(body);
        break;
    }
    case TextEncoding::Utf8:
        result.text = decodeUtf8(body);
        break;
    default:
        // Without a mark: UTF-8 text, otherwise code page 932.
        if (isUtf8Text(body)) {
            result.encoding = TextEncoding::Utf8NoBom;
            result.text = decodeUtf8(body);
        } else {
            result.text = decodeCp932(body);
        }
    }
    return result;
}

// A text file holds nothing but NULs after the NUL that may end it, and few
// control characters other than TAB, CR and LF or bytes that are no
// character (U+FFFD) before it (a file name may hold one; binary data holds
// many).
bool isText(const Decoded &decoded)
{
    if (!decoded.onlyNulsAfter) return false;
    const QString &text = decoded.text;
    qsizetype odd = 0;
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if ((c < 0x20 && c != u'\t' && c != u'\r' && c != u'\n') || c == 0x7F || c == 0xFFFD) ++odd;
    }
    return odd * 32 <= text.size();
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
    const Decoded decoded = decodeWhole(bytes);
    return {splitListLines(decoded.text), decoded.encoding};
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
        if (encodeCp932(text, &out) && !isUtf8Text(out)) return out;
        // Code page 932 would lose characters, or its bytes would read back
        // as UTF-8 text: UTF-8 with its mark keeps them all.
        if (used) *used = TextEncoding::Utf8;
        return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    }
    case TextEncoding::Utf8:
        return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    case TextEncoding::Utf8NoBom:
        // A first line that starts with U+FEFF would be read as a mark: the
        // list is then written with a mark in front, which keeps it.
        if (!text.startsWith(kMarkCharacter)) return text.toUtf8();
        if (used) *used = TextEncoding::Utf8;
        return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    case TextEncoding::Utf16LE:
        return utf16Bytes(text, false);
    case TextEncoding::Utf16BE:
        return utf16Bytes(text, true);
    }
    return QByteArray();
}

ListText readListFile(const QString &path, qint64 maxBytes)
{
    const Decoded decoded = decodeWhole(readWholeFile(path, maxBytes));
    if (!isText(decoded)) {
        throw AppError(QStringLiteral("%1 はテキストファイルではありません")
                           .arg(QDir::toNativeSeparators(path)));
    }
    return {splitListLines(decoded.text), decoded.encoding};
}

TextEncoding writeListFile(const QString &path, const QStringList &lines, TextEncoding encoding)
{
    TextEncoding used = encoding;
    writeFileAtomically(path, encodeListText(lines, encoding, &used));
    return used;
}
