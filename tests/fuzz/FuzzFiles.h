// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <cstdio>
#include <cstdlib>

// A file of the given name in a directory of this fuzzer process's own, in
// memory (/dev/shm) where there is one.
inline QString fuzzFile(const QString &name)
{
    static const QString dir = [] {
        const QString base = QFileInfo(QStringLiteral("/dev/shm")).isDir()
                                 ? QStringLiteral("/dev/shm")
                                 : QDir::tempPath();
        const QString d =
            base + QStringLiteral("/pelmora-fuzz-%1").arg(QCoreApplication::applicationPid());
        QDir().mkpath(d);
        return d;
    }();
    return dir + QLatin1Char('/') + name;
}

inline void putFuzzBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::abort();
    }
}

// A property that must hold; a failed one is a finding (the fuzzer sees a crash).
inline void require(bool holds, const char *what)
{
    if (holds) return;
    std::fprintf(stderr, "property failed: %s\n", what);
    std::abort();
}
