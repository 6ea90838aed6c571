// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class MainWindowHost;
class QFrame;
class QLabel;
class QPushButton;
class QTimer;

// The A-B repeat window "A-Bリピート": the start and end marks are the texts
// of Label1 and Label2 ("hh:nn:ss"); while the repeat is on (Timer1 enabled)
// each tick jumps back to the start mark once playback has reached the end
// mark. Closing the window only hides it; the repeat goes on.
class TForm7 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm7(MainWindowHost &host, QWidget *parent = nullptr);

    QFrame *Bevel1 = nullptr;
    QLabel *Label1 = nullptr; // start mark
    QPushButton *Button1 = nullptr;
    QFrame *Bevel2 = nullptr;
    QLabel *Label2 = nullptr; // end mark
    QPushButton *Button2 = nullptr;
    QPushButton *Button3 = nullptr; // スタート
    QPushButton *Button4 = nullptr; // 終了
    QPushButton *Button5 = nullptr; // 閉じる
    QFrame *Shape1 = nullptr;       // the black status band
    QLabel *Label3 = nullptr;       // the repeat state on the band
    QTimer *Timer1 = nullptr;       // the repeat, 1000 ms

    void FormCreate();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Timer1Timer();

protected:
    void showEvent(QShowEvent *event) override;

private:
    MainWindowHost &m_host;
    void takeMark(QLabel *label);
    void setBand(bool repeating);
    void showStretch();
    bool m_placed = false;
};

// Reads a mark label's text back as whole seconds.
qint64 markSeconds(const QString &text);

extern TForm7 *Form7;
