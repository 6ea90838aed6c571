// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class MainWindowHost;
class QLabel;
class QPushButton;
class QTimeEdit;

// The start-time dialog "指定時間から再生": the user types hours, minutes and
// seconds; OK moves the loaded medium there and plays. Shown modelessly by
// "指定位置へ移動(&S)..." and by the start-position open.
class TForm5 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm5(MainWindowHost &host, QWidget *parent = nullptr);

    QLabel *Label1 = nullptr;
    QTimeEdit *DateTimePicker1 = nullptr;
    QPushButton *Button1 = nullptr; // OK
    QPushButton *Button2 = nullptr; // キャンセル

    void FormCreate();
    void Button1Click();
    void Button2Click();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    MainWindowHost &m_host;
    bool m_placed = false;
};

extern TForm5 *Form5;
