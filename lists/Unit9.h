// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/StudyLog.h"

#include <QWidget>

#include <memory>

class MainWindowHost;
class QLabel;
class QPushButton;
class QTreeView;
class StudyChart;
class StudyTable;

// The study log window "学習記録": what was listened to, from the stretches
// really played that the place store keeps. Totals for today, this week and
// all time; a chart of the last 30 days; a table per folder and file; the
// table as CSV. It reads the log anew each time it is shown, and computes
// its figures, off the GUI thread, after the writes waiting before it: the
// window shows at once and fills when they are ready. Modeless; closing only
// hides it.
class TForm9 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm9(MainWindowHost &host, QWidget *parent = nullptr);

    QLabel *TodayLabel = nullptr;
    QLabel *WeekLabel = nullptr;
    QLabel *AllLabel = nullptr;
    QLabel *StatusLabel = nullptr;
    StudyChart *Chart = nullptr;
    QTreeView *Table = nullptr;         // folders, each with its media
    QPushButton *CsvButton = nullptr;   // "CSV に書き出す..."
    QPushButton *CloseButton = nullptr; // "閉じる"

    // Reads the log and shows it (each time the window is shown).
    void refresh();
    // Shows the figures of a log read (for the window and its tests).
    void show(std::shared_ptr<const StudyReport> report);
    using QWidget::show;
    void CsvButtonClick();

signals:
    // A log read was shown.
    void shown();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    MainWindowHost &m_host;
    StudyTable *m_table = nullptr;
    std::shared_ptr<const StudyReport> m_report;
    int m_reading = 0; // reads asked for and not yet back
};

extern TForm9 *Form9;
