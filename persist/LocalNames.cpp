// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/LocalNames.h"

#include <QUrl>

#include <algorithm>

namespace
{

// The length of the valid UTF-8 sequence at bytes[i] (strict: no overlong
// forms, no surrogates, nothing beyond U+10FFFF), and its code point; 0 when
// there is none.
int utf8Sequence(const QByteArray &bytes, qsizetype i, char32_t *code)
{
    const auto b = [&](qsizetype k) { return static_cast<unsigned char>(bytes.at(k)); };
    const unsigned char lead = b(i);
    if (lead < 0x80) {
        *code = lead;
        return 1;
    }
    int length = 0;
    char32_t value = 0, least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (i + length > bytes.size()) return 0;
    for (int k = 1; k < length; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        value = (value << 6) | (b(i + k) & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *code = value;
    return length;
}

} // namespace

QString localNameFromBytes(const QByteArray &bytes)
{
    QString name;
    name.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t code = 0;
        const int length = utf8Sequence(bytes, i, &code);
        if (length == 0) {
            name += QChar(0xDC00 + static_cast<unsigned char>(bytes.at(i)));
            ++i;
            continue;
        }
        name += QString::fromUcs4(&code, 1);
        i += length;
    }
    return name;
}

QByteArray localNameToBytes(const QString &name)
{
    QByteArray bytes;
    bytes.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        const bool pairStart = QChar::isHighSurrogate(c) && i + 1 < name.size() &&
                               QChar::isLowSurrogate(name.at(i + 1).unicode());
        if (c >= 0xDC80 && c <= 0xDCFF) {
            bytes += static_cast<char>(c - 0xDC00); // a byte held as it was
        } else if (pairStart) {
            bytes += name.mid(i, 2).toUtf8();
            ++i;
        } else {
            bytes += QString(QChar(c)).toUtf8();
        }
    }
    return bytes;
}

QString localNameFromUrl(const QUrl &url)
{
    if (!url.isLocalFile()) return QString();
    const QByteArray path =
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    const QString name = localNameFromBytes(path);
    // A host names a share, as QUrl::toLocalFile() has it.
    return url.host().isEmpty() ? name : QStringLiteral("//") + url.host() + name;
}

QUrl localNameToUrl(const QString &name)
{
    const bool heldBytes = std::any_of(name.cbegin(), name.cend(), [](QChar c) {
        return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF;
    });
    if (!heldBytes) return QUrl::fromLocalFile(name);
    // Percent-encoded bytes that are no UTF-8 stay as they are in a QUrl made
    // from its encoded form.
    return QUrl::fromEncoded(QByteArray("file://") + localNameToBytes(name).toPercentEncoding("/"));
}
