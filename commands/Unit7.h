// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class TForm7 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm7(QWidget *parent = nullptr);

    void FormCreate();
};

extern TForm7 *Form7;
