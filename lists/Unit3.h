// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class TForm3 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm3(QWidget *parent = nullptr);

    void FormCreate();
};

extern TForm3 *Form3;
