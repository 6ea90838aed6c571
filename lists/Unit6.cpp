// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/Unit6.h"

#include "app/Forms.h"
#include "app/MainWindowHost.h"
#include "app/TextFit.h"
#include "lists/PlaylistFiles.h"
#include "persist/ThreadPriority.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFutureWatcher>
#include <QGroupBox>
#include <QLabel>
#include <QPromise>
#include <QPushButton>
#include <QResizeEvent>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QThreadPool>
#include <QTimer>

TForm6 *Form6 = nullptr;
int PrevItemIndex = -1;

void DrawMoveLine(PlaylistBox *ListBox, int Index)
{
    if (Index < 0 || Index >= ListBox->count()) return;
    const QRect rect = ListBox->visualItemRect(ListBox->item(Index));
    ListBox->xorLine(moveLineGeometry(rect, ListBox->width(), ListBox->selectedRow(), Index));
}

// ---------------------------------------------------------------------------
// The window

namespace
{

// The names as the list dialogs show them, each followed by its pattern.
const QString kListFilter = QStringLiteral("テキストファイル(*.txt) (*.txt);;すべてのファイル (*)");

// Layout at creation; the window grows from there.
constexpr int kClientWidth = 655;
constexpr int kClientHeight = 341;
constexpr int kShuffleTop = 17; // the shuffle button's place in its frame

void layoutControls(TForm6 *form, const QSize &client);

// How much lower than its place the shuffle button must sit to clear the
// frame's title, which is as tall as the title's font.
int belowFrameTitle(const QGroupBox *frame)
{
    QStyleOptionGroupBox option;
    option.initFrom(frame);
    option.text = frame->title();
    option.textAlignment = frame->alignment();
    option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
    const QRect title = frame->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                       QStyle::SC_GroupBoxLabel, frame);
    return std::max(0, title.bottom() + 2 - kShuffleTop);
}

} // namespace

TForm6::TForm6(MainWindowHost &host, QWidget *parent) : QWidget(parent, Qt::Tool), m_host(host)
{
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral("プレイリスト"));
    setFont(formFont(QStringLiteral("ＭＳ Ｐゴシック"), 12));

    Label1 = new QLabel(QStringLiteral("ファイル名をダブルクリックすると再生を開始します。"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(formFont(QStringLiteral("ＭＳ Ｐゴシック"), 12, true));
    Label1->move(12, 11);
    Label1->adjustSize();

    ListBox1 = new PlaylistBox(this, this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));

    auto button = [this](const char *name, const QString &caption, void (TForm6::*handler)(),
                         QWidget *owner) {
        auto *b = new QPushButton(caption, owner);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, handler);
        return b;
    };
    Button5 = button("Button5", QStringLiteral("追加..."), &TForm6::Button5Click, this);
    Button1 = button("Button1", QStringLiteral("▲"), &TForm6::Button1Click, this);
    Button2 = button("Button2", QStringLiteral("▼"), &TForm6::Button2Click, this);
    Button4 = button("Button4", QStringLiteral("消去"), &TForm6::Button4Click, this);
    Button3 = button("Button3", QStringLiteral("クリア..."), &TForm6::Button3Click, this);
    Button6 = button("Button6", QStringLiteral("開く..."), &TForm6::Button6Click, this);
    Button7 = button("Button7", QStringLiteral("保存..."), &TForm6::Button7Click, this);
    Button9 = button("Button9", QStringLiteral("閉じる"), &TForm6::Button9Click, this);

    GroupBox1 = new QGroupBox(QStringLiteral("オプション"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    Button8 =
        button("Button8", QStringLiteral("シャッフル(&S)..."), &TForm6::Button8Click, GroupBox1);
    Button8->setGeometry(20, kShuffleTop + belowFrameTitle(GroupBox1), 109, 25);
    FolderButton = button("FolderButton", QStringLiteral("フォルダーを追加(&D)..."),
                          &TForm6::AddFolderClick, GroupBox1);
    FolderButton->setGeometry(137, Button8->y(), 140, 25);
    fitToText(FolderButton);
    auto *addFolder = new QAction(QStringLiteral("フォルダーを追加(&D)..."), ListBox1);
    addFolder->setObjectName(QStringLiteral("AddFolder1"));
    connect(addFolder, &QAction::triggered, this, &TForm6::AddFolderClick);
    ListBox1->addAction(addFolder);
    ListBox1->setContextMenuPolicy(Qt::ActionsContextMenu);
    // Folders and M3U playlists are read on a thread of the window's own.
    m_pool = new QThreadPool(this);
    m_pool->setMaxThreadCount(1);

    // The entry that plays is shown bold, whatever changes the list.
    m_markTimer = new QTimer(this);
    m_markTimer->setSingleShot(true);
    m_markTimer->setInterval(0);
    connect(m_markTimer, &QTimer::timeout, this, &TForm6::markPlaying);
    QAbstractItemModel *model = ListBox1->model();
    auto remark = [this] {
        m_markTimer->start();
        emit cursorChanged();
    };
    connect(model, &QAbstractItemModel::rowsInserted, this, remark);
    connect(model, &QAbstractItemModel::rowsRemoved, this, remark);
    connect(model, &QAbstractItemModel::rowsMoved, this, remark);
    connect(model, &QAbstractItemModel::modelReset, this, remark);
    connect(ListBox1, &QListWidget::currentRowChanged, this, remark);

    m_measureTimer = new QTimer(this);
    m_measureTimer->setSingleShot(true);
    m_measureTimer->setInterval(0);
    connect(m_measureTimer, &QTimer::timeout, this, [this] {
        if (m_maxWidthValid) return;
        if (!measureWidths(8'000'000)) {
            m_measureTimer->start();
            return;
        }
        // The extent of an addition made while the list was measured.
        if (m_extentPending) {
            m_extentPending = false;
            ListBox1->setHorizontalExtent(m_maxWidth + 30);
        }
    });

    // A taller title makes the frame and the window taller.
    const QSize client(kClientWidth, kClientHeight + belowFrameTitle(GroupBox1));
    resize(client);
    layoutControls(this, client);
}

namespace
{

// The list follows all four edges, the right-hand buttons keep their
// distance to the right edge, the frame follows left, right and bottom.
void layoutControls(TForm6 *form, const QSize &client)
{
    const int extra = belowFrameTitle(form->GroupBox1);
    const int dx = client.width() - kClientWidth;
    const int dy = client.height() - kClientHeight - extra;
    form->ListBox1->setGeometry(8, 32, std::max(0, 583 + dx), std::max(0, 237 + dy));
    const int x = 597 + dx;
    const std::pair<QPushButton *, int> column[] = {
        {form->Button5, 32},  {form->Button1, 72},  {form->Button2, 99},  {form->Button4, 138},
        {form->Button3, 165}, {form->Button6, 204}, {form->Button7, 231}, {form->Button9, 266},
    };
    for (const auto &[b, y] : column)
        b->setGeometry(x, y, 50, 25);
    form->GroupBox1->setGeometry(12, 279 + dy, std::max(0, 579 + dx), 50 + extra);
}

} // namespace

void TForm6::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutControls(this, event->size());
}

void TForm6::showEvent(QShowEvent *event)
{
    finishLoading();
    QWidget::showEvent(event);
    if (event->spontaneous()) return;
    // Centred on the screen each time it is shown.
    centreOnScreen(this);
}

void TForm6::FormCreate()
{
    const QString path = m_host.playlistPath();
    if (!QFile::exists(path)) return;
    // A long list is read once the main window is up (finishLoading), so
    // that it does not hold the start back; anything that asks the list
    // before reads it at once.
    if (QFileInfo(path).size() > DeferredLoadBytes) {
        m_loadPending = true;
        return;
    }
    loadPlaylistFile();
}

void TForm6::loadPlaylistFile()
{
    // A "Playlist.txt" that cannot be read is reported; the list starts
    // empty and the program goes on.
    runHandler(m_host, nullptr, [&] {
        const QString path = m_host.playlistPath();
        if (!QFile::exists(path)) return;
        const ListText text = readListFile(path);
        setEntries(text.lines);
        encoding = text.encoding;
    });
}

void TForm6::finishLoading() const
{
    if (!m_loadPending) return;
    auto *self = const_cast<TForm6 *>(this);
    self->m_loadPending = false;
    self->loadPlaylistFile();
}

QStringList TForm6::entries() const
{
    finishLoading();
    QStringList list;
    const int n = ListBox1->count();
    list.reserve(n);
    for (int i = 0; i < n; ++i)
        list << PlaylistBox::entryText(ListBox1->item(i));
    return list;
}

int TForm6::count() const
{
    finishLoading();
    return ListBox1->count();
}

int TForm6::itemIndex() const
{
    finishLoading();
    return ListBox1->selectedRow();
}

void TForm6::setItemIndex(int index)
{
    finishLoading();
    if (index < 0 || index >= ListBox1->count())
        ListBox1->setCurrentRow(-1);
    else
        ListBox1->setCurrentRow(index);
}

void TForm6::setEntries(const QStringList &list)
{
    m_loadPending = false;
    ListBox1->clear();
    ListBox1->addEntries(list);
    entriesReplaced();
}

int TForm6::entryWidth(const QString &text) const
{
    return QFontMetrics(ListBox1->font()).horizontalAdvance(PlaylistBox::shownText(text));
}

TForm6::~TForm6()
{
    // The list tells of its last changes while it goes, when this window is
    // no longer whole.
    ListBox1->model()->disconnect(this);
    ListBox1->disconnect(this);
}

void TForm6::setPlaying(const QString &name)
{
    if (name == m_playing) return;
    m_playing = name;
    markPlaying();
}

void TForm6::markPlaying()
{
    // The selected entry when it names the medium, else the first that does.
    int row = -1;
    if (!m_playing.isEmpty()) {
        const int selected = itemIndex();
        if (selected >= 0 && PlaylistBox::entryText(ListBox1->item(selected)) == m_playing) {
            row = selected;
        } else {
            for (int i = 0; i < ListBox1->count(); ++i) {
                if (PlaylistBox::entryText(ListBox1->item(i)) == m_playing) {
                    row = i;
                    break;
                }
            }
        }
    }
    if (m_playingIndex.isValid() && m_playingIndex.row() == row) return;
    if (m_playingIndex.isValid()) {
        QListWidgetItem *old = ListBox1->item(m_playingIndex.row());
        old->setData(Qt::FontRole, QVariant());
        old->setData(Qt::AccessibleTextRole, QVariant());
    }
    m_playingIndex = QPersistentModelIndex();
    if (row < 0) return;
    QListWidgetItem *item = ListBox1->item(row);
    QFont bold = ListBox1->font();
    bold.setBold(true);
    item->setFont(bold);
    item->setData(Qt::AccessibleTextRole, QStringLiteral("再生中: ") + item->text());
    m_playingIndex = ListBox1->model()->index(row, 0);
}

int TForm6::playingRow() const
{
    return m_playingIndex.isValid() ? m_playingIndex.row() : -1;
}

void TForm6::entriesReplaced()
{
    m_maxWidth = 0;
    m_measuredRows = 0;
    m_maxWidthValid = ListBox1->count() == 0;
    if (m_maxWidthValid)
        m_measureTimer->stop();
    else
        m_measureTimer->start();
}

void TForm6::orderChanged()
{
    // A measurement under way starts again: rows may have passed its mark.
    if (!m_maxWidthValid) {
        m_maxWidth = 0;
        m_measuredRows = 0;
    }
}

bool TForm6::measureWidths(qint64 budgetNanoseconds)
{
    QElapsedTimer clock;
    clock.start();
    const QFontMetrics metrics(ListBox1->font());
    const int n = ListBox1->count();
    while (m_measuredRows < n) {
        // The item holds the text as shown: at most ShownLength characters.
        m_maxWidth =
            std::max(m_maxWidth, metrics.horizontalAdvance(ListBox1->item(m_measuredRows)->text()));
        ++m_measuredRows;
        if (budgetNanoseconds >= 0 && m_measuredRows < n &&
            clock.nsecsElapsed() > budgetNanoseconds)
            return false;
    }
    m_maxWidthValid = true;
    return true;
}

void TForm6::appendEntries(const QStringList &names)
{
    finishLoading();
    if (names.isEmpty()) return;
    // Each file is appended, then the extent is set to the widest entry of
    // the whole list + 30; the widest width is kept between additions.
    ListBox1->addEntries(names);
    int widest = 0;
    for (const QString &name : names)
        widest = std::max(widest, entryWidth(name));
    if (m_maxWidthValid) {
        m_maxWidth = std::max(m_maxWidth, widest);
        ListBox1->setHorizontalExtent(m_maxWidth + 30);
        return;
    }
    // The list is still being measured while the program is idle (a long
    // list measured at once would freeze the window for seconds): the extent
    // takes what is known so far and is completed when the measurement ends.
    m_extentPending = true;
    ListBox1->setHorizontalExtent(std::max(m_maxWidth, widest) + 30);
    if (!m_measureTimer->isActive()) m_measureTimer->start();
}

void TForm6::settlePendingExtent()
{
    if (!m_extentPending) return;
    measureWidths(-1);
    m_measureTimer->stop();
    m_extentPending = false;
    ListBox1->setHorizontalExtent(m_maxWidth + 30);
}

void TForm6::Button5Click()
{
    finishLoading();
    runHandler(m_host, nullptr, [&] {
        const QStringList names = m_host.services().dialogs->openFiles(this, FileDialogOptions{});
        appendEntries(names);
    });
}

void TForm6::DropFiles(const QStringList &names)
{
    finishLoading();
    // Nothing is played; auto-advance is not touched.
    runHandler(m_host, nullptr, [&] { appendEntries(names); });
}

void TForm6::Button1Click()
{
    finishLoading();
    const int i = itemIndex();
    if (i < 1) return;
    moveEntry(ListBox1, i, i - 1);
    ListBox1->setCurrentRow(i - 1);
    orderChanged();
}

void TForm6::Button2Click()
{
    finishLoading();
    const int i = itemIndex();
    if (i < 0 || i == ListBox1->count() - 1) return;
    moveEntry(ListBox1, i, i + 1);
    ListBox1->setCurrentRow(i + 1);
    orderChanged();
}

void TForm6::Button4Click()
{
    finishLoading();
    const int i = itemIndex();
    if (i < 0) return;
    // An addition's extent counts this entry too.
    settlePendingExtent();
    QListWidgetItem *item = ListBox1->takeItem(i);
    ListBox1->setCurrentRow(-1);
    // Another entry at least as wide is left unless this one was the widest.
    if (!m_maxWidthValid || entryWidth(PlaylistBox::entryText(item)) >= m_maxWidth)
        entriesReplaced();
    delete item;
}

void TForm6::Button3Click()
{
    finishLoading();
    runHandler(m_host, nullptr, [&] {
        const Message m = question(QStringLiteral("クリアの確認"),
                                   QStringLiteral("リストを全て消去してもよろしいですか？"));
        if (m_host.services().dialogs->message(this, m) != MsgResult::Yes) return;
        // The horizontal extent stays as it is.
        settlePendingExtent();
        ListBox1->clear();
        entriesReplaced();
    });
}

void TForm6::Button6Click()
{
    finishLoading();
    runHandler(m_host, nullptr, [&] {
        FileDialogOptions options;
        // An M3U playlist is chosen under "すべてのファイル".
        options.filter = kListFilter;
        const QString name = m_host.services().dialogs->openFile(this, options);
        if (name.isEmpty()) return;
        loadList(name);
    });
}

void TForm6::loadList(const QString &name)
{
    const int serial = ++m_listSerial;
    if (!isM3uName(name)) {
        // Read whole first: a file that cannot be read leaves the list as
        // it is.
        const ListText text = readListFile(name);
        settlePendingExtent();
        setEntries(text.lines);
        encoding = text.encoding;
        return;
    }
    // An M3U playlist: its names are checked on the disk, off the GUI
    // thread; relative ones are relative to the playlist's folder.
    auto kept = std::make_shared<TextEncoding>(encoding);
    readOff(
        [name, kept](int *skipped) {
            const ListText text = readListFile(name);
            *kept = text.encoding;
            const M3uEntries read = m3uEntries(text.lines, QFileInfo(name).absolutePath());
            *skipped = read.skipped;
            return read.entries;
        },
        [this, serial, name, kept](const QStringList &entries, int skipped) {
            if (serial != m_listSerial) return; // another list was opened since
            settlePendingExtent();
            setEntries(entries);
            encoding = *kept;
            if (skipped > 0)
                emit told(QStringLiteral("%1: %2 行を読み飛ばしました（ファイルが見つからないか、"
                                         "開けない種類の名前です）")
                              .arg(QFileInfo(name).fileName())
                              .arg(skipped));
        });
}

void TForm6::AddFolderClick()
{
    finishLoading();
    runHandler(m_host, nullptr, [&] {
        // It starts in the folder of the last entry.
        FileDialogOptions options;
        const QStringList list = entries();
        if (!list.isEmpty()) {
            const QFileInfo last(list.constLast());
            if (last.isAbsolute() && last.dir().exists()) options.directory = last.absolutePath();
        }
        const QString folder = m_host.services().dialogs->openFolder(this, options);
        if (folder.isEmpty()) return;
        readOff([folder](int *) { return mediaFilesIn(folder); },
                [this, folder](const QStringList &files, int) {
                    if (files.isEmpty()) {
                        emit told(QStringLiteral("%1 にはメディアファイルがありません")
                                      .arg(QDir::toNativeSeparators(folder)));
                        return;
                    }
                    appendEntries(files);
                });
    });
}

void TForm6::readOff(std::function<QStringList(int *skipped)> work,
                     std::function<void(const QStringList &, int skipped)> done)
{
    struct Read {
        QStringList entries;
        int skipped = 0;
        QString error;
    };
    ++m_reading;
    auto *watcher = new QFutureWatcher<Read>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, done] {
        watcher->deleteLater();
        --m_reading;
        if (watcher->future().resultCount() == 0) return;
        const Read read = watcher->result();
        runHandler(m_host, nullptr, [&] {
            if (!read.error.isEmpty()) throw AppError(read.error);
            done(read.entries, read.skipped);
        });
    });
    auto promise = std::make_shared<QPromise<Read>>();
    promise->start();
    watcher->setFuture(promise->future());
    m_pool->start([promise, work] {
        lowerCurrentThreadPriority();
        Read read;
        try {
            read.entries = work(&read.skipped);
        } catch (const AppError &e) {
            read.error = e.message();
        } catch (const std::exception &e) {
            read.error = QString::fromLocal8Bit(e.what());
        }
        promise->addResult(std::move(read));
        promise->finish();
    });
}

void TForm6::Button7Click()
{
    finishLoading();
    runHandler(m_host, nullptr, [&] {
        FileDialogOptions options;
        options.filter = kListFilter;
        options.defaultSuffix = QStringLiteral("txt");
        options.confirmOverwrite = false;
        const QString name = m_host.services().dialogs->saveFile(this, options);
        if (name.isEmpty()) return;
        writeListFile(name, entries(), encoding);
    });
}

void TForm6::Button8Click()
{
    finishLoading();
    runHandler(m_host, nullptr, [&] {
        if (ListBox1->count() == 0) return;
        const Message m = question(QStringLiteral("シャッフル"),
                                   QStringLiteral("プレイリストを並び替えます。よろしいですか？"));
        if (m_host.services().dialogs->message(this, m) != MsgResult::Yes) return;
        // n single moves, the generator seeded afresh before each draw; done
        // on the texts, then the list is rebuilt once.
        const Clock *clock = m_host.services().clock;
        int selected = itemIndex();
        const QStringList shuffled = shuffleEntries(
            entries(), [clock] { return clock->highResolutionTicks(); }, &selected);
        const bool widthValid = m_maxWidthValid;
        const int width = m_maxWidth;
        setEntries(shuffled);
        if (widthValid) {
            // The same entries in another order: the same widest width.
            m_maxWidth = width;
            m_maxWidthValid = true;
            m_measureTimer->stop();
        }
        if (selected >= 0) setItemIndex(selected);
    });
}

void TForm6::Button9Click()
{
    hide();
}

void TForm6::ListBox1DblClick()
{
    finishLoading();
    runHandler(m_host, nullptr, [&] {
        const int i = itemIndex();
        if (i < 0) return;
        // No question is asked, whatever the main window's option says.
        m_host.OpenFile(PlaylistBox::entryText(ListBox1->item(i)));
        m_host.setAutoAdvance(true);
    });
}

int TForm6::nextEntry() const
{
    finishLoading();
    const int next = itemIndex() + 1;
    return next < count() ? next : -1;
}

int TForm6::previousEntry() const
{
    finishLoading();
    return itemIndex() >= 1 ? itemIndex() - 1 : -1;
}

void TForm6::playEntry(int index)
{
    finishLoading();
    if (index < 0 || index >= count()) return;
    setItemIndex(index);
    ListBox1DblClick();
}

void TForm6::ListBox1StartDrag()
{
    finishLoading();
    PrevItemIndex = -1;
}

bool TForm6::ListBox1DragOver(QObject *source, int X, int Y)
{
    // Only the list's own entries, and only with an entry selected.
    if (source != ListBox1 || itemIndex() < 0) return false;
    const int target = ListBox1->entryAt(QPoint(X, Y));
    DrawMoveLine(ListBox1, PrevItemIndex);
    DrawMoveLine(ListBox1, target);
    PrevItemIndex = target;
    return true;
}

void TForm6::ListBox1DragLeave(QObject *source)
{
    // Leaving the list: no entry under the mouse.
    if (source != ListBox1 || itemIndex() < 0) return;
    DrawMoveLine(ListBox1, PrevItemIndex);
    PrevItemIndex = -1;
}

void TForm6::ListBox1DragDrop(QObject *source, int X, int Y)
{
    Q_UNUSED(source);
    const int target = ListBox1->entryAt(QPoint(X, Y));
    DrawMoveLine(ListBox1, PrevItemIndex);
    PrevItemIndex = -1;
    int selected = itemIndex();
    if (target >= 0 && selected >= 0 && target != selected) {
        // The dragged entry takes the target's index; those between shift
        // one place toward its old one. It was the selected one, so no
        // entry is selected afterwards.
        moveEntry(ListBox1, selected, target, &selected);
        orderChanged();
    }
    setItemIndex(-1);
}
