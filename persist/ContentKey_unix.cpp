// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/ContentKey.h"
#include "persist/LocalNames.h"

#include <QUrl>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// A file: URL is its local file; any other URL is no file.
QByteArray pathBytes(const QString &name)
{
    if (name.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return localNameToBytes(localNameFromUrl(QUrl(name)));
    if (!name.startsWith(u'/')) return {};
    return localNameToBytes(name);
}

bool readAt(int fd, char *into, qint64 bytes, qint64 offset)
{
    while (bytes > 0) {
        const ssize_t got = ::pread(fd, into, size_t(bytes), off_t(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        into += got;
        bytes -= got;
        offset += got;
    }
    return true;
}

} // namespace

namespace ContentKey
{

std::optional<Stamp> stampOf(const QString &name)
{
    const QByteArray path = pathBytes(name);
    struct stat info;
    if (path.isEmpty() || ::stat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return Stamp{qint64(info.st_size),
                 qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000};
}

std::optional<QByteArray> endsOf(const QString &name, qint64 size)
{
    const QByteArray path = pathBytes(name);
    if (path.isEmpty()) return std::nullopt;
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat info;
    std::optional<QByteArray> ends;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && qint64(info.st_size) == size) {
        QByteArray bytes(int(std::min(size, 2 * EndBytes)), Qt::Uninitialized);
        const bool read = size <= 2 * EndBytes
                              ? readAt(fd, bytes.data(), size, 0)
                              : readAt(fd, bytes.data(), EndBytes, 0) &&
                                    readAt(fd, bytes.data() + EndBytes, EndBytes, size - EndBytes);
        if (read) ends = std::move(bytes);
    }
    ::close(fd);
    return ends;
}

} // namespace ContentKey
