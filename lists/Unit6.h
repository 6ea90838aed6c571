// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/ListFile.h"

#include <QWidget>

class QListWidget;

// The playlist window "プレイリスト": the entries of ListBox1.
class TForm6 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm6(QWidget *parent = nullptr);

    QListWidget *ListBox1 = nullptr;
    // The encoding the list keeps (that of the last file read into it).
    TextEncoding encoding = TextEncoding::Cp932;

    void FormCreate();

    // The entries, their number and the selected index (-1 for none).
    QStringList entries() const;
    int count() const;
    int itemIndex() const;
    // Selects an entry; an index outside the list selects none.
    void setItemIndex(int index);
};

extern TForm6 *Form6;
