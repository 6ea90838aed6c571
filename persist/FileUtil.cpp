// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/FileUtil.h"

#include "persist/AppError.h"
#include "persist/FileLimits.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

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

QByteArray readWholeFile(const QString &path, qint64 maxBytes)
{
    QFile file;
    switch (openRegularFile(file, path)) {
    case RegularOpen::Opened:
        break;
    case RegularOpen::NotRegular:
        // A folder is named as before: one that cannot be read.
        if (QFileInfo(path).isDir()) throwCannotRead(path);
        throw AppError(notRegularFileText(path));
    case RegularOpen::Failed:
        throwCannotRead(path);
    }
    const qint64 size = file.size();
    if (size > maxBytes) throw AppError(fileTooLargeText(path, maxBytes));
    // Read in pieces up to one byte past the limit: a file that grows while
    // it is read is refused too, and nothing is allocated beyond the limit.
    constexpr qint64 kPiece = 1024 * 1024;
    QByteArray data;
    data.reserve(size + kPiece + 1);
    for (;;) {
        const qint64 want = std::min(kPiece, maxBytes - data.size()) + 1;
        const qsizetype at = data.size();
        data.resize(at + want);
        const qint64 got = file.read(data.data() + at, want);
        if (got < 0) throwCannotRead(path);
        data.resize(at + got);
        if (data.size() > maxBytes) throw AppError(fileTooLargeText(path, maxBytes));
        if (got == 0) break;
    }
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
