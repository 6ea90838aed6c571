// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/AppError.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

// errorOf() for a read that might never end (a device, a named pipe): it runs
// on a thread of its own, and one still running after 5 s fails the test.
// A read waiting on the named pipe fifo is given a writer, which ends its
// wait; any other read ends the test program, which it would eat.
inline QString errorWithin5s(const std::function<void()> &fn, const QString &fifo = QString())
{
    auto done = std::make_shared<std::promise<QString>>();
    std::future<QString> result = done->get_future();
    std::thread([fn, done] { done->set_value(errorOf(fn)); }).detach();
    if (result.wait_for(std::chrono::seconds(5)) == std::future_status::ready) return result.get();
#ifdef Q_OS_UNIX
    if (!fifo.isEmpty()) {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
        result.wait();
        return QStringLiteral("(waited for a writer)");
    }
#endif
    qFatal("a read did not end within 5 s");
}

#ifdef Q_OS_UNIX
// A named pipe at path; false when none can be made.
inline bool makeFifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}
#endif
