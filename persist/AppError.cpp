// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/AppError.h"

#include <QDir>

void throwCannotWrite(const QString &path)
{
    throw AppError(QStringLiteral("%1 に書き込めません").arg(QDir::toNativeSeparators(path)));
}

void throwCannotRead(const QString &path)
{
    throw AppError(QStringLiteral("%1 を読み込めません").arg(QDir::toNativeSeparators(path)));
}
