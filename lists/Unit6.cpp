// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/Unit6.h"

#include "app/Forms.h"

#include <QListWidget>

TForm6 *Form6 = nullptr;

TForm6::TForm6(QWidget *parent) : QWidget(parent, Qt::Tool)
{
    setWindowTitle(QStringLiteral("プレイリスト"));
    setFont(formFont(QStringLiteral("ＭＳ Ｐゴシック"), 12));
    ListBox1 = new QListWidget(this);
}

void TForm6::FormCreate() {}

QStringList TForm6::entries() const
{
    QStringList list;
    for (int i = 0; i < ListBox1->count(); ++i)
        list << ListBox1->item(i)->text();
    return list;
}

int TForm6::count() const
{
    return ListBox1->count();
}

int TForm6::itemIndex() const
{
    return ListBox1->currentRow();
}

void TForm6::setItemIndex(int index)
{
    if (index < 0 || index >= ListBox1->count())
        ListBox1->setCurrentRow(-1);
    else
        ListBox1->setCurrentRow(index);
}
