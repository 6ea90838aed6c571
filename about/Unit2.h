// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class TForm2 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm2(QWidget *parent = nullptr);

    void FormCreate();
};

extern TForm2 *Form2;
