// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/FileUtil.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool isRegularFile(const QString &path)
{
    struct stat st;
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0 &&
           S_ISREG(st.st_mode);
}

RegularOpen openRegularFile(QFile &file, const QString &path)
{
    if (path.isEmpty()) return RegularOpen::Failed;
    // Without O_NONBLOCK, opening a named pipe would wait for a writer.
    int fd = -1;
    do {
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return errno == EISDIR ? RegularOpen::NotRegular : RegularOpen::Failed;
    struct stat st;
    const bool known = ::fstat(fd, &st) == 0;
    if (!known || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return known ? RegularOpen::NotRegular : RegularOpen::Failed;
    }
    // A regular file reads the same either way; plain reads from here on.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return RegularOpen::Failed;
    }
    return RegularOpen::Opened;
}
