// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands/Unit7.h"

#include "app/Forms.h"

TForm7 *Form7 = nullptr;

TForm7::TForm7(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("A-Bリピート"));
    setFont(formFont(QStringLiteral("ＭＳ Ｐゴシック"), 12));
}

void TForm7::FormCreate() {}
