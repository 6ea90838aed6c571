// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/LocalNames.h"

#include <QCoreApplication>
#include <QFileInfo>

// Windows file names are UTF-16: the file system takes them as they are.
bool localNameExists(const QString &name)
{
    return QFileInfo::exists(name);
}

bool localNameIsFile(const QString &name)
{
    return QFileInfo(name).isFile();
}

QString localNameAbsolute(const QString &name)
{
    return QFileInfo(name).absoluteFilePath();
}

QStringList commandLineNames(int, char **)
{
    return QCoreApplication::arguments().mid(1);
}
