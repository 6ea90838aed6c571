// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/Services.h"
#include "persist/AppError.h"

#include <QString>
#include <exception>

class QWidget;

// How a failing call reaches the user. Every handler runs its body through
// runHandler(): an AppError (or any other exception) ends the body at the
// failing step and is shown
// - with a guard title: as the error report message (caption "エラー", the
//   title and the error's own message, copyable);
// - without one: as the default error display (titled with the program file's
//   name, the message with a full stop appended).
// The program then goes on with the next event.
QString errorReportText(const QString &title, const QString &message);
void showErrorReport(Dialogs *dialogs, QWidget *parent, const QString &title,
                     const QString &message);
// The default error display's text: a full stop is appended when the last
// character's code is above that of the full stop.
QString defaultErrorText(const QString &message);
void showDefaultError(Dialogs *dialogs, QWidget *parent, const QString &programName,
                      const QString &message);

class HandlerContext
{
public:
    virtual ~HandlerContext() = default;
    virtual Dialogs *handlerDialogs() const = 0;
    virtual QWidget *handlerParent() const = 0;
    virtual QString handlerProgramName() const = 0;
};

template <class Body>
bool runHandler(const HandlerContext &ctx, const char *guardTitle, Body &&body)
{
    QString message;
    try {
        body();
        return true;
    } catch (const AppError &e) {
        message = e.message();
    } catch (const std::exception &e) {
        message = QString::fromLocal8Bit(e.what());
    }
    if (guardTitle)
        showErrorReport(ctx.handlerDialogs(), ctx.handlerParent(), QString::fromUtf8(guardTitle),
                        message);
    else
        showDefaultError(ctx.handlerDialogs(), ctx.handlerParent(), ctx.handlerProgramName(),
                         message);
    return false;
}
