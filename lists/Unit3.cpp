// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/Unit3.h"

#include <algorithm>

#include "app/Forms.h"
#include "app/MainWindowHost.h"
#include "app/TimeText.h"
#include "persist/AppError.h"
#include "persist/ListFile.h"
#include "persist/ThreadPriority.h"
#include "player/MediaPlayer.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPromise>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QThreadPool>
#include <QTimer>

#include <cmath>
#include <memory>

TForm3 *Form3 = nullptr;
bool FrmActv = false;

namespace
{

const QChar kEllipsis(0x2026); // "…" between the time and the comment

// What a row's time cell keeps of where it belongs: the medium that played
// when it was recorded, or the record file it was read from.
constexpr int MediumRole = Qt::UserRole;
// The time to the millisecond, while the cell shows it (a record taken from
// a transcript line, or read from notes).
constexpr int PreciseRole = Qt::UserRole + 2;

FileDialogOptions listDialogOptions()
{
    FileDialogOptions o;
    // The names as the dialogs show them, each followed by its pattern.
    o.filter = QStringLiteral("テキストファイル（*.txt）(*.txt);;すべてのファイル（*.*）(*)");
    o.defaultSuffix = QStringLiteral("txt");
    o.confirmOverwrite = true;
    return o;
}

FileDialogOptions notesDialogOptions()
{
    FileDialogOptions o;
    o.filter = QStringLiteral(
        "Markdown（*.md）(*.md);;CSV（*.csv）(*.csv);;WebVTT チャプター（*.vtt）(*.vtt)");
    o.defaultSuffix = QStringLiteral("md");
    o.confirmOverwrite = true;
    o.suffixFollowsFilter = true;
    return o;
}

// What a worker did with notes: the notes read, or why it failed.
struct NotesJob {
    QList<Note> notes;
    QString error;
};

// Runs work on the pool and hands its result to done on the GUI thread
// (nothing when the pool was cleared first).
void runNotesJob(QThreadPool *pool, QObject *context, std::function<NotesJob()> work,
                 std::function<void(const NotesJob &)> done)
{
    auto *watcher = new QFutureWatcher<NotesJob>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, context, [watcher, done] {
        watcher->deleteLater();
        if (watcher->future().resultCount() > 0) done(watcher->result());
    });
    auto promise = std::make_shared<QPromise<NotesJob>>();
    promise->start();
    watcher->setFuture(promise->future());
    pool->start([promise, work] {
        lowerCurrentThreadPriority();
        NotesJob job;
        try {
            job = work();
        } catch (const AppError &e) {
            job.error = e.message();
        } catch (const std::exception &e) {
            job.error = QString::fromLocal8Bit(e.what());
        }
        promise->addResult(std::move(job));
        promise->finish();
    });
}

} // namespace

QString recordLineTime(const QString &line)
{
    // A time of 100 hours or more, as the window writes it, is kept whole.
    const qsizetype at = line.indexOf(kEllipsis);
    if (at > 8 && isLongTimeText(line.left(at))) return line.left(at);
    return line.left(8);
}

QString recordLineComment(const QString &line)
{
    const qsizetype at = line.indexOf(kEllipsis);
    return at < 0 ? line : line.mid(at + 1);
}

TForm3::TForm3(MainWindowHost &host, QWidget *parent)
    : QWidget(parent, fixedSizeWindowFlags(Qt::Tool)), m_host(host)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("再生時間の記録"));
    setFont(formFont(QStringLiteral("ＭＳ Ｐゴシック"), 12));
    setFixedSize(377, 434);

    StringGrid1 = new QTableWidget(1, 2, this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setGeometry(8, 8, 361, 317);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setMinimumSectionSize(8);
    StringGrid1->verticalHeader()->setDefaultSectionSize(18);
    StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid1->horizontalHeader()->setFixedHeight(18);
    StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    StringGrid1->horizontalHeader()->setStretchLastSection(false);
    StringGrid1->horizontalHeader()->setHighlightSections(false);
    StringGrid1->setColumnWidth(0, 100);
    StringGrid1->setSelectionMode(QAbstractItemView::ContiguousSelection);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectItems);
    StringGrid1->setEditTriggers(QAbstractItemView::DoubleClicked |
                                 QAbstractItemView::EditKeyPressed |
                                 QAbstractItemView::AnyKeyPressed);
    StringGrid1->setWordWrap(false);
    StringGrid1->setCurrentCell(0, 0);
    // The right click that opens the context menu does not move the current
    // cell: the jump takes the row chosen before.
    StringGrid1->viewport()->installEventFilter(this);

    N1 = new QAction(QStringLiteral("ジャンプ"), StringGrid1);
    N1->setObjectName(QStringLiteral("N1"));
    StringGrid1->addAction(N1);
    auto *notesSeparator = new QAction(StringGrid1);
    notesSeparator->setSeparator(true);
    StringGrid1->addAction(notesSeparator);
    ExportNotes1 = new QAction(QStringLiteral("メモを書き出す..."), StringGrid1);
    ExportNotes1->setObjectName(QStringLiteral("ExportNotes1"));
    StringGrid1->addAction(ExportNotes1);
    ImportNotes1 = new QAction(QStringLiteral("メモを読み込む..."), StringGrid1);
    ImportNotes1->setObjectName(QStringLiteral("ImportNotes1"));
    StringGrid1->addAction(ImportNotes1);
    StringGrid1->setContextMenuPolicy(Qt::ActionsContextMenu);

    Button1 =
        makeButton(this, "Button1", QStringLiteral("現在の位置を記録（&R）"), 27, 335, 322, 25);
    Button1->setDefault(true);
    Button1->setAutoDefault(true);
    Button2 = makeButton(this, "Button2", QStringLiteral("リストを保存（&S）"), 27, 366, 154, 25);
    Button4 =
        makeButton(this, "Button4", QStringLiteral("リストを読み込み（&L）"), 195, 366, 154, 25);
    Button5 = makeButton(this, "Button5", QStringLiteral("クリア(&C)"), 27, 397, 154, 25);
    Button3 = makeButton(this, "Button3", QStringLiteral("閉じる(&X)"), 195, 397, 154, 25);
    // Over the grid's foot, only while notes are read or written.
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(9, 306, 359, 18);
    Label1->setAutoFillBackground(true);
    Label1->setFrameShape(QFrame::StyledPanel);
    Label1->hide();
    // Enter on a focused button presses that button; anywhere else (the grid
    // when no cell is being edited) it reaches keyPressEvent() and presses
    // the default button.
    for (QPushButton *b : {Button2, Button4, Button5, Button3})
        b->setAutoDefault(true);

    setTabOrder(StringGrid1, Button1);
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, Button4);
    setTabOrder(Button4, Button5);
    setTabOrder(Button5, Button3);

    connect(Button1, &QPushButton::clicked, this, &TForm3::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm3::Button2Click);
    connect(Button4, &QPushButton::clicked, this, &TForm3::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TForm3::Button5Click);
    connect(Button3, &QPushButton::clicked, this, &TForm3::Button3Click);
    connect(N1, &QAction::triggered, this, &TForm3::N1Click);
    connect(ExportNotes1, &QAction::triggered, this, &TForm3::ExportNotesClick);
    connect(ImportNotes1, &QAction::triggered, this, &TForm3::ImportNotesClick);

    m_notesPool = new QThreadPool(this);
    m_notesPool->setMaxThreadCount(1);

    m_marksTimer = new QTimer(this);
    m_marksTimer->setSingleShot(true);
    m_marksTimer->setInterval(0);
    connect(m_marksTimer, &QTimer::timeout, this, &TForm3::rowsChanged);
    QAbstractItemModel *grid = StringGrid1->model();
    auto later = [this] {
        m_rowsChanged = true;
        m_marksTimer->start();
    };
    connect(grid, &QAbstractItemModel::dataChanged, this, later);
    connect(grid, &QAbstractItemModel::rowsInserted, this, later);
    connect(grid, &QAbstractItemModel::rowsRemoved, this, later);
    connect(grid, &QAbstractItemModel::modelReset, this, later);
    // Another medium: its own flags.
    connect(m_host.player(), &MediaPlayer::playStateChanged, m_marksTimer,
            qOverload<>(&QTimer::start));
    // A time typed by hand belongs to the medium that plays.
    connect(StringGrid1, &QTableWidget::itemChanged, this, [this](QTableWidgetItem *item) {
        if (m_filling || item->column() != 0 || item->data(MediumRole).isValid() ||
            !m_host.player()->hasCurrentMedia())
            return;
        item->setData(MediumRole, m_host.player()->url());
    });
    // A time typed over drops the milliseconds it no longer shows.
    connect(StringGrid1, &QTableWidget::itemChanged, this, [this](QTableWidgetItem *item) {
        const QVariant precise = item->data(PreciseRole);
        if (m_filling || item->column() != 0 || !precise.isValid()) return;
        if (item->text() != timeText(static_cast<double>(precise.toLongLong() / 1000)))
            item->setData(PreciseRole, QVariant());
    });
}

TForm3::~TForm3()
{
    // The grid's model tells of its last changes while the grid goes, when
    // this window is no longer whole.
    StringGrid1->model()->disconnect(this);
    // A write under way is finished (the file is whole either way); its
    // result is no longer shown.
    m_notesPool->waitForDone();
}

void TForm3::rowsChanged()
{
    showMarks();
    // The rows are the recording's that plays: it keeps them.
    if (std::exchange(m_rowsChanged, false) && m_host.player()->hasCurrentMedia() && !m_filling)
        emit recordsChanged(records());
}

void TForm3::keepRecordsNow()
{
    // What is being typed into a cell is part of it.
    // (The grid commits only its open editors; other widgets are passed.)
    const auto editors =
        StringGrid1->viewport()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *editor : editors)
        if (editor->isVisible())
            QMetaObject::invokeMethod(StringGrid1, "commitData", Q_ARG(QWidget *, editor));
    if (m_rowsChanged) rowsChanged();
}

void TForm3::showMarks()
{
    // The grid holds the records of the recording that plays: the seek bar
    // flags them.
    MediaPlayer *player = m_host.player();
    QList<MediaPlayer::Mark> marks;
    for (int row = 1; row < rowCount() && player->hasCurrentMedia(); ++row) {
        const QTableWidgetItem *time = StringGrid1->item(row - 1, 0);
        qint64 seconds = 0;
        if (time && readTimeText(time->text(), &seconds))
            marks.append({static_cast<double>(seconds), cell(1, row)});
    }
    player->setMarks(marks);
}

QList<PositionRecord> TForm3::records() const
{
    QList<PositionRecord> out;
    for (int row = 1; row <= rowCount() - 2; ++row) {
        const QTableWidgetItem *time = StringGrid1->item(row - 1, 0);
        const QVariant precise = time ? time->data(PreciseRole) : QVariant();
        out.append({cell(0, row), cell(1, row), precise.isValid() ? precise.toLongLong() : -1});
    }
    return out;
}

void TForm3::showRecords(const QList<PositionRecord> &records)
{
    // Rows made while nothing was open become the first recording's that
    // has none of its own.
    const bool adopt = !m_ownedRows && records.isEmpty() && rowCount() > 2;
    m_ownedRows = true;
    if (adopt) {
        m_rowsChanged = true;
        m_marksTimer->start();
        return;
    }
    m_filling = true;
    clearRows();
    StringGrid1->setRowCount(static_cast<int>(records.size()) + 1);
    const QString medium = m_host.player()->url();
    for (int i = 0; i < records.size(); ++i) {
        setCell(0, i + 1, records[i].time);
        setCell(1, i + 1, records[i].comment);
        QTableWidgetItem *time = StringGrid1->item(i, 0);
        if (records[i].ms >= 0) time->setData(PreciseRole, records[i].ms);
        time->setData(MediumRole, medium);
    }
    m_filling = false;
    m_rowsChanged = false;
    m_marksTimer->start();
}

void TForm3::FormCreate()
{
    FrmActv = true;
    StringGrid1->setHorizontalHeaderLabels({QStringLiteral("時間"), QStringLiteral("コメント")});
    StringGrid1->setColumnWidth(1, 250);
}

bool TForm3::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate) FormActivate();
    return QWidget::event(event);
}

bool TForm3::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == StringGrid1->viewport() &&
        (event->type() == QEvent::MouseButtonPress ||
         event->type() == QEvent::MouseButtonDblClick) &&
        static_cast<QMouseEvent *>(event)->button() == Qt::RightButton)
        return true;
    return QWidget::eventFilter(watched, event);
}

void TForm3::keyPressEvent(QKeyEvent *event)
{
    // A plain widget has no dialog's default button handling: Enter that no
    // child has taken records the position.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && Button1->isEnabled()) {
        Button1->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TForm3::FormActivate()
{
    if (!FrmActv) return;
    const QScreen *s = m_host.hostScreen() ? m_host.hostScreen() : screen();
    if (!s) return;
    const QRect main = m_host.hostFrameGeometry();
    const QRect area = s->availableGeometry();
    if (area.height() > main.height()) {
        // Beside the main window; kept on the screen when there is no room
        // to its right.
        const int left = main.left() + main.width() + 10;
        const int width = frameGeometry().width();
        move(std::max(area.left(), std::min(left, area.right() + 1 - width)), main.top());
        FrmActv = false;
    }
}

int TForm3::rowCount() const
{
    return StringGrid1->rowCount() + 1;
}

QString TForm3::cell(int col, int row) const
{
    const QTableWidgetItem *item = StringGrid1->item(row - 1, col);
    return item ? item->text() : QString();
}

void TForm3::setCell(int col, int row, const QString &text)
{
    if (QTableWidgetItem *item = StringGrid1->item(row - 1, col))
        item->setText(text);
    else
        StringGrid1->setItem(row - 1, col, new QTableWidgetItem(text));
}

QStringList TForm3::recordLines() const
{
    QStringList lines;
    for (int row = 1; row <= rowCount() - 2; ++row)
        lines << cell(0, row) + kEllipsis + cell(1, row);
    return lines;
}

void TForm3::setRecordLines(const QStringList &lines)
{
    m_filling = true;
    clearRows();
    StringGrid1->setRowCount(static_cast<int>(lines.size()) + 1);
    for (int i = 0; i < lines.size(); ++i) {
        setCell(0, i + 1, recordLineTime(lines[i]));
        setCell(1, i + 1, recordLineComment(lines[i]));
    }
    m_filling = false;
}

void TForm3::clearRows()
{
    // A read of notes under way no longer replaces these rows.
    ++m_rowsGeneration;
    StringGrid1->clearContents();
    StringGrid1->setRowCount(1);
    StringGrid1->setCurrentCell(0, 0);
}

void TForm3::Button1Click()
{
    runHandler(m_host, "現在位置の記録", [&] {
        const int state = m_host.player()->playState();
        if (state != MediaPlayer::Playing && state != MediaPlayer::Paused) return;
        // Only the time cell is written: a comment typed into the last row
        // stays beside the new time.
        const int last = rowCount() - 1;
        setCell(0, last, m_host.currentPositionText());
        StringGrid1->item(last - 1, 0)->setData(MediumRole, m_host.player()->url());
        StringGrid1->setRowCount(StringGrid1->rowCount() + 1);
    });
}

void TForm3::Button2Click()
{
    runHandler(m_host, nullptr, [&] {
        const QStringList lines = recordLines();
        const QString name = m_host.services().dialogs->saveFile(this, listDialogOptions());
        if (name.isEmpty()) return;
        writeListFile(name, lines, TextEncoding::Cp932);
    });
}

void TForm3::Button4Click()
{
    // The rows are replaced only once a file has been chosen and read: a
    // cancelled dialog or an unreadable file leaves them as they were.
    runHandler(m_host, nullptr, [&] {
        const QString name = m_host.services().dialogs->openFile(this, listDialogOptions());
        if (name.isEmpty()) return;
        const ListText text = readListFile(name);
        setRecordLines(text.lines);
    });
}

void TForm3::Button5Click()
{
    const Message m = question(QStringLiteral("リスト消去の確認"),
                               QStringLiteral("リストを消去してよろしいですか？"));
    if (m_host.services().dialogs->message(this, m) == MsgResult::Yes) clearRows();
}

void TForm3::Button3Click()
{
    hide();
}

void TForm3::N1Click()
{
    runHandler(m_host, nullptr, [&] {
        const int row = StringGrid1->currentRow() + 1;
        const QString time = row >= 1 ? cell(0, row) : QString();
        if (time.isEmpty()) {
            m_host.services().dialogs->message(
                this, notice(QStringLiteral("エラー"),
                             QStringLiteral("時間が入力されているセルを選択してください。"),
                             MsgIcon::Warning));
            return;
        }
        qint64 seconds = 0;
        if (!readTimeText(time, &seconds))
            throw AppError(QStringLiteral("'%1' は正しい時間ではありません").arg(time));
        m_host.player()->setCurrentPosition(static_cast<double>(seconds));
        m_host.player()->play();
    });
}

void TForm3::addRecord(qint64 ms, const QString &comment)
{
    const int at = rowCount() - 1; // the slot stays last, with what it holds
    StringGrid1->insertRow(at - 1);
    m_filling = true;
    setCell(0, at, timeText(static_cast<double>(ms / 1000)));
    setCell(1, at, comment);
    QTableWidgetItem *time = StringGrid1->item(at - 1, 0);
    time->setData(PreciseRole, ms);
    if (m_host.player()->hasCurrentMedia()) time->setData(MediumRole, m_host.player()->url());
    m_filling = false;
    m_marksTimer->start();
}

QList<Note> TForm3::notes(int *unreadable) const
{
    QList<Note> out;
    int bad = 0;
    for (int row = 1; row <= rowCount() - 2; ++row) {
        const QTableWidgetItem *time = StringGrid1->item(row - 1, 0);
        Note n;
        qint64 seconds = 0;
        if (time && time->data(PreciseRole).isValid())
            n.ms = time->data(PreciseRole).toLongLong();
        else if (readTimeText(cell(0, row), &seconds))
            n.ms = seconds * 1000;
        else {
            ++bad;
            continue;
        }
        n.comment = cell(1, row);
        if (cueTextAt)
            n.cueText = cueTextAt(time ? time->data(MediumRole).toString() : QString(), n.ms);
        out << n;
    }
    if (unreadable) *unreadable = bad;
    return out;
}

void TForm3::setNotes(const QList<Note> &notes)
{
    m_filling = true;
    clearRows();
    StringGrid1->setRowCount(static_cast<int>(notes.size()) + 1);
    for (int i = 0; i < notes.size(); ++i) {
        setCell(0, i + 1, timeText(static_cast<double>(notes[i].ms / 1000)));
        setCell(1, i + 1, notes[i].comment);
        StringGrid1->item(i, 0)->setData(PreciseRole, notes[i].ms);
        if (m_host.player()->hasCurrentMedia())
            StringGrid1->item(i, 0)->setData(MediumRole, m_host.player()->url());
    }
    m_filling = false;
    m_marksTimer->start();
}

void TForm3::notesJobStarted(const QString &status)
{
    ++m_notesJobs;
    Label1->setText(status);
    Label1->show();
    Label1->raise();
}

void TForm3::notesJobEnded()
{
    if (--m_notesJobs == 0) Label1->hide();
}

void TForm3::ExportNotesClick()
{
    runHandler(m_host, nullptr, [&] {
        int unreadable = 0;
        const QList<Note> list = notes(&unreadable);
        // Of the recording loaded, else of the one the first record names:
        // the dialog starts in its folder with its name.
        const MediaPlayer *player = m_host.player();
        const QTableWidgetItem *first = StringGrid1->item(0, 0);
        const QString medium = player->hasCurrentMedia() ? player->url()
                               : first                   ? first->data(MediumRole).toString()
                                                         : QString();
        FileDialogOptions options = notesDialogOptions();
        NotesOf of;
        if (const QFileInfo file(medium); !medium.isEmpty() && file.isAbsolute()) {
            options.directory = file.absolutePath();
            options.fileName = file.completeBaseName() + QStringLiteral(".md");
            of.recording = file.fileName();
            try {
                if (player->hasCurrentMedia())
                    of.lengthMs = std::llround(std::max(0.0, player->duration()) * 1000.0);
            } catch (const std::exception &) {
                // Without its length: the notes all the same.
            }
        }
        const QString name = m_host.services().dialogs->saveFile(this, options);
        if (name.isEmpty()) return;
        // Written in the background, in the order asked for; a file that
        // cannot be written is left as it was.
        notesJobStarted(QStringLiteral("書き出しています…"));
        runNotesJob(
            m_notesPool, this,
            [name, list, of] {
                writeNotesFile(name, list, of);
                return NotesJob();
            },
            [this, unreadable](const NotesJob &job) {
                notesJobEnded();
                runHandler(m_host, nullptr, [&] {
                    if (!job.error.isEmpty()) throw AppError(job.error);
                    if (unreadable > 0)
                        m_host.services().dialogs->message(
                            this,
                            notice(QStringLiteral("メモを書き出す"),
                                   QStringLiteral("時間の読めない %1 行は書き出していません。")
                                       .arg(unreadable),
                                   MsgIcon::Information));
                });
                emit notesDone();
            });
    });
}

void TForm3::ImportNotesClick()
{
    // As the list's load: the rows go only once a file has been read.
    runHandler(m_host, nullptr, [&] {
        FileDialogOptions options = notesDialogOptions();
        options.filter = QStringLiteral("メモ（*.md *.csv *.vtt）(*.md *.csv *.vtt);;") +
                         options.filter + QStringLiteral(";;すべてのファイル（*.*）(*)");
        const QString name = m_host.services().dialogs->openFile(this, options);
        if (name.isEmpty()) return;
        // Read in the background; the rows are replaced only if nothing else
        // has replaced them since.
        const int generation = ++m_rowsGeneration;
        notesJobStarted(QStringLiteral("読み込んでいます…"));
        runNotesJob(
            m_notesPool, this,
            [name] {
                return NotesJob{readNotesFile(name), QString()};
            },
            [this, generation](const NotesJob &job) {
                notesJobEnded();
                if (generation == m_rowsGeneration) {
                    runHandler(m_host, nullptr, [&] {
                        if (!job.error.isEmpty()) throw AppError(job.error);
                        setNotes(job.notes);
                    });
                }
                emit notesDone();
            });
    });
}
