// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/CourseSettings.h"

#include <QDate>
#include <QWidget>

#include <functional>
#include <optional>

class QCheckBox;
class QDateEdit;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;

// "このフォルダーの再生設定": the playback settings of the folder of the
// medium loaded (a course, a series, an audiobook): the speed, the voice
// boost, silence skipping, and the seconds to skip at the start and at the
// end of each of its files. It shows what wins: the file's own settings,
// then the folder's, then the global ones. OK hands the settings to the
// main window, which keeps them, and with "既定の再生設定" ticked makes the
// playback the global one too; the window only hides when closed.
class TForm10 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm10(QWidget *parent = nullptr);

    QLabel *Label1 = nullptr;            // the folder
    QDoubleSpinBox *SpeedEdit = nullptr; // 0.5 to 3.0
    QCheckBox *CheckBox1 = nullptr;      // voice boost
    QCheckBox *CheckBox2 = nullptr;      // silence skipping
    QSpinBox *IntroEdit = nullptr;       // 0 to 600 s
    QSpinBox *OutroEdit = nullptr;       // 0 to 600 s
    QCheckBox *ExamCheck = nullptr;      // the course has an exam
    QDateEdit *ExamEdit = nullptr;       // its date
    QCheckBox *CheckBox3 = nullptr;      // the playback becomes the global one too
    QLabel *Label2 = nullptr;            // the precedence rule
    QPushButton *Button1 = nullptr;      // OK
    QPushButton *Button2 = nullptr;      // キャンセル

    // Shows the settings of a folder; a field the folder does not set shows
    // what its files would open with (shown).
    void showFolder(const QString &folder, const KeptSettings &kept, const CoursePlayback &shown);
    const QString &folder() const { return m_folder; }
    // The settings as the fields hold them.
    KeptSettings settings() const;
    // The folder's exam date, read off the GUI thread: asked for by
    // showFolder (the exam fields wait, disabled, until showExam), and
    // handed to onExam by OK when it was changed.
    std::function<void(const QString &folder)> readExam;
    void showExam(std::optional<QDate> exam, QDate today);
    std::optional<QDate> exam() const;
    std::function<void(const QString &folder, std::optional<QDate> exam)> onExam;
    // Called by OK with the folder and its settings.
    std::function<void(const QString &, const KeptSettings &)> onAccept;
    // Called by OK, with "既定の再生設定" ticked, with the playback that
    // media in folders never played open with from now on.
    std::function<void(const CoursePlayback &)> onDefaults;

    void Button1Click();
    void Button2Click();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void examFieldsEnabled(bool known);

    QString m_folder;
    bool m_examKnown = false;
    std::optional<QDate> m_examShown;
};

extern TForm10 *Form10;
