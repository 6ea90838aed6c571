// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class MainWindowHost;
class QLabel;
class QPushButton;

// The support web site: shown by the about box's link and opened by it.
inline constexpr char kSupportAddress[] = "https://pelmora.example.org/";

// The about box "Pelmora のバージョン情報": one window for the whole run,
// shown modelessly and only hidden when closed.
class TForm2 : public QDialog
{
    Q_OBJECT

public:
    explicit TForm2(MainWindowHost &host, QWidget *parent = nullptr);

    QLabel *Image1 = nullptr;
    QLabel *Label2 = nullptr;       // version
    QLabel *Label3 = nullptr;       // the engine used
    QLabel *Label4 = nullptr;       // licence notice
    QLabel *Label5 = nullptr;       // "サポートWebサイト:"
    QLabel *Label1 = nullptr;       // the link
    QPushButton *Button1 = nullptr; // 閉じる

    void FormCreate();
    void Button1Click();
    void Label1Click();
    void Label1MouseEnter();
    void Label1MouseLeave();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    MainWindowHost &m_host;
    void setLinkLook(const QColor &color, bool underline);
    bool m_placed = false;
};

extern TForm2 *Form2;
