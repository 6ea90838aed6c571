// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/AppError.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>
#include <functional>

// Small file helpers shared by the tests of the file formats.
inline void putBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

inline QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray();
    return f.readAll();
}

// The message of the AppError that fn raises; empty when it raises none.
inline QString errorOf(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const AppError &e) {
        return e.message();
    }
    return QString();
}
