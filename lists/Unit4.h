// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class MainWindowHost;
class QCheckBox;
class QComboBox;
class QPushButton;

// The recent-files window "最近開いたファイル": the recent list, newest first,
// as the entries of ComboBox1 (OpenFile enters every opened file there). The
// same window switches the history off, which also erases it, and on again.
class TForm4 : public QDialog
{
    Q_OBJECT

public:
    explicit TForm4(MainWindowHost &host, QWidget *parent = nullptr);

    QComboBox *ComboBox1 = nullptr;
    QCheckBox *CheckBox1 = nullptr;
    QPushButton *Button1 = nullptr; // "OK / 開く(&O)", the default button
    QPushButton *Button2 = nullptr; // "キャンセル", the cancel button

    // Loads the recent list from the settings file (at start-up).
    void FormCreate();
    // Selects the newest entry (each time the window is shown).
    void FormShow();
    // Applies the history switch, switches auto-advance off and opens the
    // file named in the text field when it exists.
    void Button1Click();
    // Hides the window; nothing is applied.
    void Button2Click();

    // Esc: the cancel button.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    MainWindowHost &m_host;
};

extern TForm4 *Form4;
