// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <functional>

class Dialogs;
class QLineEdit;
class QPushButton;
class QRadioButton;

// "同期フォルダー": the folder through which this installation shares what
// it keeps with other computers (kept in sync by Syncthing, Nextcloud or
// Dropbox), or none, and this computer's name as they show it. OK checks
// the folder and hands the choice to the main window.
class TForm12 : public QWidget
{
    Q_OBJECT

public:
    TForm12(Dialogs *dialogs, QWidget *parent = nullptr);

    QRadioButton *NoSync = nullptr;  // "同期しない"
    QRadioButton *UseSync = nullptr; // the folder below
    QLineEdit *FolderEdit = nullptr;
    QPushButton *BrowseButton = nullptr;
    QLineEdit *NameEdit = nullptr;  // this computer's name
    QPushButton *Button1 = nullptr; // OK
    QPushButton *Button2 = nullptr; // キャンセル

    void showChoice(const QString &folder, const QString &deviceName);
    // Called by OK: the folder (empty: no sync) and the computer's name.
    std::function<void(const QString &folder, const QString &deviceName)> onAccept;

    void Button1Click();

private:
    Dialogs *m_dialogs;
};

extern TForm12 *Form12;
