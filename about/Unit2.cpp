// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/Unit2.h"

#include "app/Forms.h"

TForm2 *Form2 = nullptr;

TForm2::TForm2(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Pelmora のバージョン情報"));
    setFont(formFont(QStringLiteral("ＭＳ Ｐゴシック"), 12));
}

void TForm2::FormCreate() {}
