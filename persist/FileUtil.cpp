// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/FileUtil.h"

#include "persist/AppError.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace
{
// Code page 932 as the Windows Japanese systems have it (ICU's name).
constexpr char kCp932Name[] = "windows-31j";
} // namespace

void writeFileAtomically(const QString &path, const QByteArray &data)
{
    const QFileInfo info(path);
    if (info.exists()) {
        // A directory is never replaced, nor a file whose owner may not
        // write it (the read-only attribute). The bits are tested rather
        // than access(), which grants everything to the super-user.
        if (info.isDir() || !(info.permissions() & QFileDevice::WriteOwner)) throwCannotWrite(path);
    }
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) throwCannotWrite(path);
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        throwCannotWrite(path);
    }
    if (!file.commit()) throwCannotWrite(path);
}

QByteArray readWholeFile(const QString &path)
{
    if (QFileInfo(path).isDir()) throwCannotRead(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throwCannotRead(path);
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) throwCannotRead(path);
    return data;
}

QString decodeCp932(QByteArrayView bytes)
{
    QStringDecoder decoder(kCp932Name);
    if (!decoder.isValid()) return QString::fromLatin1(bytes);
    // The decoder turns a byte that starts no character into the control
    // character SUB (which code page 932 writes back as another byte), and
    // drops a lead byte at the very end: such a byte is taken out here and
    // becomes U+FFFD. The runs of whole characters between go through the
    // decoder as they are.
    const auto single = [](uchar b) { return b <= 0x7F || (b >= 0xA1 && b <= 0xDF); };
    const auto lead = [](uchar b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); };
    const auto trail = [](uchar b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; };
    QString text;
    qsizetype run = 0;
    qsizetype i = 0;
    const qsizetype n = bytes.size();
    while (i < n) {
        const uchar b = uchar(bytes[i]);
        if (single(b)) {
            ++i;
        } else if (lead(b) && i + 1 < n && trail(uchar(bytes[i + 1]))) {
            i += 2;
        } else {
            text += decoder.decode(bytes.sliced(run, i - run));
            text += QChar(0xFFFD);
            run = ++i;
        }
    }
    text += decoder.decode(bytes.sliced(run));
    return text;
}

bool encodeCp932(const QString &text, QByteArray *out)
{
    QStringEncoder encoder(kCp932Name);
    if (!encoder.isValid()) {
        if (out) out->clear();
        return false;
    }
    QByteArray bytes = encoder.encode(text);
    // The encoder drops a U+FEFF at the start as if it were a byte-order
    // mark, without an error: that character cannot be kept either.
    const bool ok = !encoder.hasError() && !text.startsWith(QChar(0xFEFF));
    if (out) *out = std::move(bytes);
    return ok;
}
