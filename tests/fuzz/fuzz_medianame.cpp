// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the filter of the names given to the engine: whatever the name,
// what reaches the engine is nothing, a regular local file, or a stream of an
// allowed scheme written "scheme://host...".
#include "FuzzFiles.h"

#include "persist/LocalNames.h"
#include "player/MediaName.h"

#include <QUrl>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Names are tried from the fuzzer's own directory, where "http:fifo" and
    // other special files lie.
    static const bool prepared = [] {
        const QString dir = fuzzFile(QString());
        QDir::setCurrent(dir);
        putFuzzBytes(dir + QStringLiteral("file.mp3"), "x");
        return true;
    }();
    Q_UNUSED(prepared);
    const QString name = QString::fromUtf8(reinterpret_cast<const char *>(data),
                                           qsizetype(std::min<size_t>(size, 4096)));
    const QString target = engineTarget(name);
    if (target.isEmpty()) return 0;
    if (localNameIsFile(target)) return 0;
    const QUrl url(target, QUrl::StrictMode);
    require(networkSchemes().contains(url.scheme().toLower()) && !url.host().isEmpty() &&
                target.mid(url.scheme().size() + 1).startsWith(QLatin1String("//")),
            "only a regular file or a scheme://host stream reaches the engine");
    return 0;
}
