// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QPushButton;

// The recent-files window "最近開いたファイル": the recent list, newest first,
// as the entries of ComboBox1.
class TForm4 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm4(QWidget *parent = nullptr);

    QComboBox *ComboBox1 = nullptr;
    QCheckBox *CheckBox1 = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;

    void FormCreate();
};

extern TForm4 *Form4;
