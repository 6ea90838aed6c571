// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/Unit11.h"

#include "app/Forms.h"
#include "app/MainWindowHost.h"
#include "lists/PlaylistFiles.h"
#include "persist/FileUtil.h"
#include "persist/StoreLink.h"
#include "persist/ThreadPriority.h"
#include "player/MediaPlayer.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QThreadPool>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

TForm11 *Form11 = nullptr;

namespace
{

enum Column { Name, Finished, Share, Left, Played, Next, Exam, Columns };

// The rows handed back while the folders are listed, at most this often.
constexpr int kBatchMs = 200;

QString speedText(double speed)
{
    return QStringLiteral("%1 倍").arg(QString::number(speed, 'g', 3));
}

QString leftText(const CourseRow &r)
{
    if (r.done()) return QStringLiteral("完了");
    return (r.estimated ? QStringLiteral("約 ") : QString()) + CourseShelf::timeText(r.leftSeconds);
}

QString examText(const CourseRow &r)
{
    if (!r.exam) return {};
    if (r.daysToExam < 0) return QStringLiteral("試験日を過ぎました");
    if (r.done()) return QStringLiteral("試験まで %1 日、聞き終えました").arg(r.daysToExam);
    if (r.daysToExam == 0)
        return QStringLiteral("試験は今日、残り %1").arg(CourseShelf::timeText(r.leftSeconds));
    return QStringLiteral("試験まで %1 日、%2")
        .arg(r.daysToExam)
        .arg(CourseShelf::perDayText(r.perDaySeconds));
}

QString cellText(const CourseRow &r, int column)
{
    switch (column) {
    case Name:
        return r.missing ? QStringLiteral("%1（見つかりません）").arg(r.name) : r.name;
    case Finished:
        return QStringLiteral("%1 / %2").arg(r.finished).arg(r.files);
    case Share:
        return QStringLiteral("%1%").arg(std::lround(r.share * 100));
    case Left:
        return r.done() || r.speed == 1.0
                   ? leftText(r)
                   : QStringLiteral("%1（%2）").arg(leftText(r), speedText(r.speed));
    case Played:
        return r.lastPlayedMs > 0 ? QDateTime::fromMSecsSinceEpoch(r.lastPlayedMs)
                                        .toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                                  : QString();
    case Next:
        if (r.done()) return QStringLiteral("—");
        return QStringLiteral("%1（%2 から）")
            .arg(QFileInfo(r.next).fileName(), CourseShelf::timeText(r.nextPlace));
    case Exam:
        return examText(r);
    default:
        return {};
    }
}

// What a screen reader says of a cell: the figure with what it is.
QString accessibleText(const CourseRow &r, int column)
{
    switch (column) {
    case Name:
        return QStringLiteral("講座 %1%2")
            .arg(r.name, r.missing ? QStringLiteral("、フォルダーが見つかりません") : QString());
    case Finished:
        return QStringLiteral("%1 ファイル中 %2 ファイルを聞き終えました")
            .arg(r.files)
            .arg(r.finished);
    case Share:
        return QStringLiteral("聞いた割合 %1%").arg(std::lround(r.share * 100));
    case Left:
        return r.done() ? QStringLiteral("残り時間なし、完了")
                        : QStringLiteral("残り時間 %1、%2").arg(leftText(r), speedText(r.speed));
    case Played:
        return QStringLiteral("最後に再生 %1").arg(cellText(r, Played));
    case Next:
        return r.done() ? QStringLiteral("次のファイルなし")
                        : QStringLiteral("次のファイル %1").arg(cellText(r, Next));
    case Exam:
        return r.exam ? examText(r) : QStringLiteral("試験日なし");
    default:
        return {};
    }
}

} // namespace

// The shelf's rows; the texts are made only for the rows in view.
class ShelfModel : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    const QList<CourseRow> &rows() const { return m_rows; }
    void setRows(QList<CourseRow> rows)
    {
        // The same courses in the same order: their figures change in place,
        // and the row the user is on stays.
        const bool same =
            rows.size() == m_rows.size() &&
            std::equal(rows.cbegin(), rows.cend(), m_rows.cbegin(),
                       [](const CourseRow &a, const CourseRow &b) { return a.folder == b.folder; });
        if (same && !rows.isEmpty()) {
            m_rows = std::move(rows);
            emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, Columns - 1));
            return;
        }
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
    }
    void removeRow(int row)
    {
        beginRemoveRows({}, row, row);
        m_rows.removeAt(row);
        endRemoveRows();
    }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_rows.size());
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : Columns;
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_rows.size()) return {};
        const CourseRow &r = m_rows.at(index.row());
        switch (role) {
        case Qt::DisplayRole:
            return cellText(r, index.column());
        case Qt::AccessibleTextRole:
            return accessibleText(r, index.column());
        case Qt::ToolTipRole:
            if (index.column() == Name) return QDir::toNativeSeparators(r.folder);
            if (index.column() == Next && !r.done()) return QDir::toNativeSeparators(r.next);
            return {};
        case Qt::TextAlignmentRole:
            return index.column() >= Finished && index.column() <= Left
                       ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                       : QVariant();
        default:
            return {};
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        static const char *const titles[Columns] = {
            "講座", "完了", "聞いた割合", "残り時間", "最後に再生", "次のファイル", "試験"};
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
            section >= Columns)
            return {};
        return QString::fromUtf8(titles[section]);
    }

private:
    QList<CourseRow> m_rows;
};

// One read of the store, with what its rows were computed against.
struct TForm11::Read {
    int generation = 0;
    ShelfData data;
    CoursePlayback global;
    QDate today;
    // The newest read; a listing of an older one stops.
    std::shared_ptr<std::atomic<int>> latest;
};

TForm11::TForm11(MainWindowHost &host, StoreLink *link, QWidget *parent)
    : QWidget(parent, Qt::Tool), m_host(host), m_link(link)
{
    setObjectName(QStringLiteral("Form11"));
    setWindowTitle(QStringLiteral("講座一覧"));
    auto *layout = new QVBoxLayout(this);
    Table = new QTreeView(this);
    Table->setObjectName(QStringLiteral("Table"));
    Table->setAccessibleName(QStringLiteral("講座の一覧"));
    Table->setRootIsDecorated(false);
    Table->setUniformRowHeights(true);
    Table->setAllColumnsShowFocus(true);
    Table->setItemsExpandable(false);
    m_model = new ShelfModel(this);
    Table->setModel(m_model);
    Table->header()->setStretchLastSection(true);
    // Widths from sample texts (or the title, where wider): the view need
    // not measure its rows.
    const QFontMetrics fm(Table->font());
    const char *const samples[Columns] = {"民法総則 第2部 講義",
                                          "888 / 888",
                                          "100%",
                                          "約 188:88:88（1.75 倍）",
                                          "2026-12-31 23:59",
                                          "第10回 講義.mp3（8:88:88 から）",
                                          "試験まで 365 日、1 日 12 時間 59 分"};
    int width = 0;
    for (int col = 0; col < Columns; ++col) {
        const int wanted = std::max(fm.horizontalAdvance(QString::fromUtf8(samples[col])) + 16,
                                    Table->header()->sectionSizeHint(col));
        Table->header()->resizeSection(col, wanted);
        width += wanted;
    }
    resize(std::min(width + 40, 1200), 420);
    layout->addWidget(Table, 1);
    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName(QStringLiteral("StatusLabel"));
    layout->addWidget(StatusLabel);

    auto *buttons = new QHBoxLayout;
    auto button = [&](const char *name, const QString &caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        buttons->addWidget(b);
        return b;
    };
    ContinueButton = button("ContinueButton", QStringLiteral("続きを聴く(&C)"));
    HideButton = button("HideButton", QStringLiteral("一覧から隠す(&H)"));
    buttons->addStretch();
    CsvButton = button("CsvButton", QStringLiteral("CSV に書き出す(&S)..."));
    CloseButton = button("CloseButton", QStringLiteral("閉じる"));
    layout->addLayout(buttons);

    m_pool = new QThreadPool(this);
    m_pool->setMaxThreadCount(1);
    connect(Table, &QAbstractItemView::activated, this, &TForm11::ContinueClick);
    connect(Table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &TForm11::updateButtons);
    connect(ContinueButton, &QPushButton::clicked, this, &TForm11::ContinueClick);
    connect(HideButton, &QPushButton::clicked, this, &TForm11::HideClick);
    connect(CsvButton, &QPushButton::clicked, this, &TForm11::CsvButtonClick);
    connect(CloseButton, &QPushButton::clicked, this, &QWidget::hide);
    updateButtons();
}

TForm11::~TForm11()
{
    // A listing still running stops at its next folder; nothing is handed
    // back to a window that goes.
    m_latest->store(-1);
    m_pool->waitForDone();
}

const QList<CourseRow> &TForm11::rows() const
{
    return m_model->rows();
}

void TForm11::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
}

void TForm11::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TForm11::refresh()
{
    const int generation = ++m_generation;
    auto latest = m_latest;
    latest->store(generation);
    StatusLabel->setText(QStringLiteral("読み込んでいます…"));
    const CoursePlayback global = globalPlayback ? globalPlayback() : CoursePlayback{};
    const QDate today = m_host.services().clock->now().date();
    QPointer<TForm11> self(this);
    m_link->flushWaiting();
    m_link->read([=](HistoryStore &store) -> std::function<void()> {
        auto read = std::make_shared<Read>(Read{generation, store.shelf(), global, today, latest});
        auto rows = std::make_shared<QList<CourseRow>>(
            CourseShelf::rows(read->data, {}, read->global, read->today));
        return [self, read, rows] {
            if (!self || self->m_generation != read->generation) return;
            self->m_read = read;
            self->showRows(std::move(*rows), false);
            self->listFolders(read);
        };
    });
}

// Lists the folders of a read on the window's own thread (its priority
// lowered), handing the rows back every kBatchMs and at the end; the file
// counts that changed are kept for the next time a folder cannot be reached.
void TForm11::listFolders(std::shared_ptr<const Read> read)
{
    TForm11 *form = this;
    m_pool->start([form, read] {
        lowerCurrentThreadPriority();
        const QStringList folders = CourseShelf::folders(read->data);
        QHash<QString, FolderListing> listings;
        QElapsedTimer sinceSent;
        sinceSent.start();
        for (qsizetype i = 0; i < folders.size(); ++i) {
            if (read->latest->load() != read->generation) return;
            const QString &folder = folders.at(i);
            FolderListing listing;
            listing.reachable = QFileInfo(folder).isDir();
            if (listing.reachable) listing.files = mediaFilesIn(folder);
            listings.insert(folder, listing);
            const bool last = i + 1 == folders.size();
            if (!last && sinceSent.elapsed() < kBatchMs) continue;
            sinceSent.restart();
            auto rows = std::make_shared<QList<CourseRow>>(
                CourseShelf::rows(read->data, listings, read->global, read->today));
            QHash<QString, int> counts;
            for (const CourseRow &row : std::as_const(*rows)) {
                const FolderListing listed = listings.value(row.folder);
                if (last && listed.reachable &&
                    read->data.courses.value(row.folder).files != listed.files.size())
                    counts.insert(row.folder, int(listed.files.size()));
            }
            QMetaObject::invokeMethod(
                form,
                [form, read, rows, counts, last] {
                    if (form->m_generation != read->generation) return;
                    form->showRows(std::move(*rows), last);
                    if (!counts.isEmpty())
                        form->m_link->post(
                            [counts](HistoryStore &store) { store.setCourseFiles(counts); });
                },
                Qt::QueuedConnection);
        }
    });
}

void TForm11::showRows(QList<CourseRow> rows, bool listed)
{
    const QString current = currentRow() ? currentRow()->folder : QString();
    m_model->setRows(std::move(rows));
    int at = 0;
    for (int i = 0; i < m_model->rows().size(); ++i)
        if (m_model->rows().at(i).folder == current) at = i;
    if (!m_model->rows().isEmpty() && !Table->currentIndex().isValid())
        Table->setCurrentIndex(m_model->index(at, 0));
    const qsizetype missing = std::count_if(m_model->rows().cbegin(), m_model->rows().cend(),
                                            [](const CourseRow &r) { return r.missing; });
    QString status;
    if (m_model->rows().isEmpty())
        status = QStringLiteral("講座はまだありません。フォルダーにあるファイルを再生すると、"
                                "そのフォルダーが講座としてここに並びます。");
    else if (!listed)
        status =
            QStringLiteral("講座 %1 件。フォルダーを確かめています…").arg(m_model->rows().size());
    else if (missing > 0)
        status = QStringLiteral("講座 %1 件。%2 件のフォルダーが見つかりません（記録の数字を"
                                "表示しています）")
                     .arg(m_model->rows().size())
                     .arg(missing);
    else
        status = QStringLiteral("講座 %1 件").arg(m_model->rows().size());
    StatusLabel->setText(status);
    StatusLabel->setAccessibleName(status);
    updateButtons();
    emit shown(listed);
}

const CourseRow *TForm11::currentRow() const
{
    const QModelIndex current = Table->currentIndex();
    if (!current.isValid() || current.row() >= m_model->rows().size()) return nullptr;
    return &m_model->rows().at(current.row());
}

void TForm11::updateButtons()
{
    const CourseRow *row = currentRow();
    ContinueButton->setEnabled(row && !row->done());
    HideButton->setEnabled(row != nullptr);
    CsvButton->setEnabled(!m_model->rows().isEmpty());
}

void TForm11::ContinueClick()
{
    const CourseRow *row = currentRow();
    if (!row) return;
    if (row->done()) {
        const QString text = QStringLiteral("%1 はすべて聞き終えました").arg(row->name);
        StatusLabel->setText(text);
        StatusLabel->setAccessibleName(text);
        return;
    }
    const QString next = row->next;
    runHandler(m_host, nullptr, [&] {
        if (!QFileInfo(next).isFile()) {
            m_host.services().dialogs->message(
                this, notice(QStringLiteral("講座一覧"),
                             QStringLiteral("%1 が見つかりません。フォルダーが移されたか、"
                                            "ディスクがつながっていません。")
                                 .arg(QDir::toNativeSeparators(next)),
                             MsgIcon::Warning));
            return;
        }
        // Like a recent file: the playlist does not go on after it.
        m_host.setAutoAdvance(false);
        m_host.OpenFile(next);
        // Where it was left: the place the opening offers.
        m_host.player()->takeOfferedPlace();
        hide();
    });
}

void TForm11::HideClick()
{
    const CourseRow *row = currentRow();
    if (!row) return;
    const QString folder = row->folder;
    const qint64 nowMs = m_host.services().clock->nowMs();
    m_link->post([folder, nowMs](HistoryStore &store) { store.setCourseHidden(folder, nowMs); });
    m_model->removeRow(Table->currentIndex().row());
    updateButtons();
}

void TForm11::CsvButtonClick()
{
    runHandler(m_host, nullptr, [&] {
        FileDialogOptions options;
        options.filter = QStringLiteral("CSV ファイル（*.csv）(*.csv)");
        options.defaultSuffix = QStringLiteral("csv");
        options.confirmOverwrite = true;
        const QString name = m_host.services().dialogs->saveFile(this, options);
        if (name.isEmpty()) return;
        writeFileAtomically(name, CourseShelf::csv(m_model->rows()));
    });
}
