// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/NoteFile.h"
#include "persist/Recording.h"

#include <QStringList>
#include <QWidget>

#include <functional>

class MainWindowHost;
class QAction;
class QLabel;
class QPushButton;
class QTableWidget;
class QThreadPool;
class QTimer;

// The position record window "再生時間の記録": a grid of recorded positions
// ("時間") with a comment beside each ("コメント"). The header row is the
// table's horizontal header; the table's last row is always the slot for the
// next record. Closing the window only hides it.
//
// Notes files are read and written on a worker thread of the window's own:
// the window stays usable meanwhile, a line over the grid's foot says what is
// under way, and a read whose rows another read, a list loaded or a clear
// has replaced in the meantime is dropped.
class TForm3 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm3(MainWindowHost &host, QWidget *parent = nullptr);
    ~TForm3() override;

    QTableWidget *StringGrid1 = nullptr;
    QAction *N1 = nullptr;           // context menu "ジャンプ"
    QAction *ExportNotes1 = nullptr; // context menu "メモを書き出す..."
    QAction *ImportNotes1 = nullptr; // context menu "メモを読み込む..."
    QPushButton *Button1 = nullptr;  // record the current position
    QPushButton *Button2 = nullptr;  // save
    QPushButton *Button4 = nullptr;  // load
    QPushButton *Button5 = nullptr;  // clear
    QPushButton *Button3 = nullptr;  // close
    QLabel *Label1 = nullptr; // "読み込んでいます…" while notes are read or written

    void FormCreate();
    void FormActivate();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void N1Click();
    // Notes that leave the program (persist/NoteFile.h): the recorded rows
    // written as Markdown, CSV or WebVTT chapters, the save dialog's filter
    // choosing; and read back from any of them, replacing the rows.
    void ExportNotesClick();
    void ImportNotesClick();
    // Whether notes are being read or written.
    bool notesBusy() const { return m_notesJobs > 0; }

    // Adds a record at a time given to the millisecond (a line of the
    // transcript), above the slot for the next record.
    void addRecord(qint64 ms, const QString &comment);
    // The recorded rows as notes (rows whose time cannot be read are left
    // out, and counted in *unreadable), and rows from notes.
    QList<Note> notes(int *unreadable = nullptr) const;
    void setNotes(const QList<Note> &notes);
    // The transcript's line at a time (ms) of a medium (empty: a record read
    // from a file), for the notes; empty when there is no transcript of it.
    std::function<QString(const QString &medium, qint64 ms)> cueTextAt;

    // The grid's row count, the header row included (the table's rows + 1).
    int rowCount() const;
    // A cell's text; row 1 is the first row below the header.
    QString cell(int col, int row) const;
    void setCell(int col, int row, const QString &text);

    // The lines of a position record file for the recorded rows (all but the
    // last), and the rows a file's lines give back.
    QStringList recordLines() const;
    void setRecordLines(const QStringList &lines);

    // The rows belong to the recording that plays: those it keeps, shown
    // when it opens, and told (recordsChanged) a moment after each change.
    QList<PositionRecord> records() const;
    void showRecords(const QList<PositionRecord> &records);
    // Tells the rows at once, with a cell being typed into (the close).
    void keepRecordsNow();

signals:
    // A read or write of notes has ended (its rows shown, its file written,
    // or its failure reported), or its read was dropped.
    void notesDone();
    void recordsChanged(const QList<PositionRecord> &records);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    MainWindowHost &m_host;
    // The grid's times as ticks on the player's seek bar, shortly after any
    // change.
    void showMarks();
    void rowsChanged();
    QTimer *m_marksTimer = nullptr;
    bool m_rowsChanged = false; // since they were last told
    bool m_ownedRows = false;   // a recording has opened: the rows are its
    bool m_filling = false;     // rows being read from a file
    void clearRows();
    // Notes read and written away from the GUI thread, one at a time.
    QThreadPool *m_notesPool = nullptr;
    int m_notesJobs = 0;      // reads and writes under way
    int m_rowsGeneration = 0; // counts every replacement of the rows
    void notesJobStarted(const QString &status);
    void notesJobEnded();
};

// The time and the comment cell of a position record file's line.
QString recordLineTime(const QString &line);
QString recordLineComment(const QString &line);

// The window still has to be placed beside the main window.
extern bool FrmActv;

extern TForm3 *Form3;
