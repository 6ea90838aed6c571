// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <stdexcept>

// The one kind of error the program raises: a failed call (a player call, a
// file that cannot be read or written). Handlers catch it at their own level
// and show it (see app/Guard.h).
class AppError : public std::runtime_error
{
public:
    explicit AppError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message)
    {
    }
    const QString &message() const { return m_message; }

private:
    QString m_message;
};

// "<path> に書き込めません": a file that cannot be written.
[[noreturn]] void throwCannotWrite(const QString &path);
// "<path> を読み込めません": a file that cannot be read.
[[noreturn]] void throwCannotRead(const QString &path);
