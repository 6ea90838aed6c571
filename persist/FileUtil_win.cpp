// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/FileUtil.h"

#include <QFile>
#include <QFileInfo>

bool isRegularFile(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

RegularOpen openRegularFile(QFile &file, const QString &path)
{
    if (path.isEmpty()) return RegularOpen::Failed;
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) return RegularOpen::NotRegular;
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly)) return RegularOpen::Failed;
    return RegularOpen::Opened;
}
