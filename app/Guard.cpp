// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Guard.h"

QString errorReportText(const QString &title, const QString &message)
{
    return QStringLiteral(
               "エラーが発生しました。\n作者に問い合わせる場合は下記の内容をお送り下さい。\n"
               "内容はCtrl + Cでクリップボードにコピーできます。\n\nタイトル：") +
           title + QStringLiteral("\nエラー内容：") + message;
}

void showErrorReport(Dialogs *dialogs, QWidget *parent, const QString &title,
                     const QString &message)
{
    dialogs->message(
        parent, notice(QStringLiteral("エラー"), errorReportText(title, message), MsgIcon::Error));
}

QString defaultErrorText(const QString &message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.') return message + u'.';
    return message;
}

void showDefaultError(Dialogs *dialogs, QWidget *parent, const QString &programName,
                      const QString &message)
{
    dialogs->message(parent, notice(programName, defaultErrorText(message), MsgIcon::Error));
}
