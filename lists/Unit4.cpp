// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/Unit4.h"

#include "app/Forms.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

TForm4 *Form4 = nullptr;

TForm4::TForm4(QWidget *parent) : QWidget(parent, Qt::Dialog)
{
    setWindowTitle(QStringLiteral("最近開いたファイル"));
    setFont(formFont(QStringLiteral("ＭＳ Ｐゴシック"), 12));
    ComboBox1 = new QComboBox(this);
    ComboBox1->setEditable(true);
    CheckBox1 = new QCheckBox(QStringLiteral("履歴を記録しない （履歴が消去されます）"), this);
}

void TForm4::FormCreate() {}
