// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/LocalNames.h"

#include <QDir>

#include <sys/stat.h>
#include <unistd.h>

bool localNameExists(const QString &name)
{
    struct stat info;
    return !name.isEmpty() && ::stat(localNameToBytes(name).constData(), &info) == 0;
}

bool localNameIsFile(const QString &name)
{
    struct stat info;
    return !name.isEmpty() && ::stat(localNameToBytes(name).constData(), &info) == 0 &&
           S_ISREG(info.st_mode);
}

QString localNameAbsolute(const QString &name)
{
    if (name.startsWith(QLatin1Char('/'))) return QDir::cleanPath(name);
    char here[4096];
    const QString dir =
        ::getcwd(here, sizeof here) ? localNameFromBytes(QByteArray(here)) : QDir::currentPath();
    return QDir::cleanPath(dir + QLatin1Char('/') + name);
}

QStringList commandLineNames(int argc, char **argv)
{
    QStringList names;
    for (int i = 1; i < argc; ++i)
        names << localNameFromBytes(QByteArray(argv[i]));
    return names;
}
