// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the reader of the list text files: any bytes decode without a fault,
// the list written back in its encoding reads the same again, and the file
// reader agrees with the decoder or refuses the file as not text.
#include "FuzzFiles.h"

#include "persist/AppError.h"
#include "persist/ListFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const ListText text = decodeListText(bytes);

    TextEncoding used = text.encoding;
    const ListText again = decodeListText(encodeListText(text.lines, text.encoding, &used));
    require(again.lines == text.lines, "a list written back reads the same lines");
    // An empty list is an empty file, which has no encoding of its own.
    require(text.lines.isEmpty() || again.encoding == used,
            "a list written back reads in the encoding written");

    static const QString path = fuzzFile(QStringLiteral("list.txt"));
    putFuzzBytes(path, bytes);
    try {
        const ListText fromFile = readListFile(path);
        require(fromFile.lines == text.lines && fromFile.encoding == text.encoding,
                "the file reader agrees with the decoder");
    } catch (const AppError &) {
        // Not a text file.
    }
    return 0;
}
