// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "lists/CourseShelf.h"

#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>

class MainWindowHost;
class QLabel;
class QPushButton;
class QThreadPool;
class QTreeView;
class ShelfModel;
class StoreLink;

// The course shelf "講座一覧": one row per course (a folder holding
// recordings that were played), with the files heard to the end out of
// those in the folder, the share heard, the time left at the course's own
// speed, when it was last played, the next recording with its place and the
// days to its exam with the time per day. The place store is read, and the
// rows computed, on the store's thread; the folders are then listed on a
// thread of the window's own, the rows handed back as they are ready.
// Enter, a double-click or "続きを聴く" opens the next recording at its
// place; "一覧から隠す" hides a course until something in it is played.
// Modeless; closing only hides it.
class TForm11 : public QWidget
{
    Q_OBJECT

public:
    TForm11(MainWindowHost &host, StoreLink *link, QWidget *parent = nullptr);
    ~TForm11() override;

    QTreeView *Table = nullptr;
    QLabel *StatusLabel = nullptr;
    QPushButton *ContinueButton = nullptr; // "続きを聴く"
    QPushButton *HideButton = nullptr;     // "一覧から隠す"
    QPushButton *CsvButton = nullptr;      // "CSV に書き出す..."
    QPushButton *CloseButton = nullptr;    // "閉じる"

    // The playback a file with no settings of its own or its folder's opens
    // with (the global one).
    std::function<CoursePlayback()> globalPlayback;

    // Reads the store and shows the rows (each time the window is shown).
    void refresh();
    const QList<CourseRow> &rows() const;
    void ContinueClick();
    void HideClick();
    void CsvButtonClick();

signals:
    // Rows were shown: first from the store, then once all folders were
    // listed (listed true).
    void shown(bool listed);

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    struct Read;
    void showRows(QList<CourseRow> rows, bool listed);
    void listFolders(std::shared_ptr<const Read> read);
    void updateButtons();
    const CourseRow *currentRow() const;

    MainWindowHost &m_host;
    StoreLink *m_link;
    ShelfModel *m_model = nullptr;
    QThreadPool *m_pool = nullptr;
    int m_generation = 0; // the read whose rows are shown; older ones are dropped
    std::shared_ptr<const Read> m_read;
    // The generation of the newest read, shared with the listing thread.
    std::shared_ptr<std::atomic<int>> m_latest = std::make_shared<std::atomic<int>>(0);
};

extern TForm11 *Form11;
