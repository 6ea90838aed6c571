// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/Unit3.h"

#include "app/Forms.h"

TForm3 *Form3 = nullptr;

TForm3::TForm3(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("再生時間の記録"));
    setFont(formFont(QStringLiteral("ＭＳ Ｐゴシック"), 12));
}

void TForm3::FormCreate() {}
