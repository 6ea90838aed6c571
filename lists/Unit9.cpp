// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/Unit9.h"

#include "app/Forms.h"
#include "app/MainWindowHost.h"
#include "lists/StudyChart.h"
#include "persist/FileUtil.h"

#include <QAbstractItemModel>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <cmath>
#include <optional>

TForm9 *Form9 = nullptr;

namespace
{

QString figuresText(const QString &title, const StudyFigures &f)
{
    return QStringLiteral("%1: 再生 %2、内容 %3、短縮 %4（速度 %5、無音スキップ %6）")
        .arg(title, studyTime(f.wallSeconds), studyTime(f.heardSeconds),
             studyTime(f.savedBySpeed + f.savedBySilence), studyTime(f.savedBySpeed),
             studyTime(f.savedBySilence));
}

constexpr int Columns = 6;

// A cell of the figures' columns (1, 4, 5).
QString figuresCell(int column, const StudyFigures &f)
{
    switch (column) {
    case 1:
        return studyTime(f.heardSeconds);
    case 4:
        return studyTime(f.wallSeconds);
    case 5:
        return studyTime(f.savedBySpeed + f.savedBySilence);
    default:
        return {};
    }
}

} // namespace

// The table's rows: the folders of a report, each with its media. The texts
// are made only for the rows the view asks for, so that a log of many media
// is shown at once.
class StudyTable : public QAbstractItemModel
{
public:
    using QAbstractItemModel::QAbstractItemModel;

    void setReport(std::shared_ptr<const StudyReport> report)
    {
        beginResetModel();
        m_report = std::move(report);
        endResetModel();
    }

    // A folder's index has the id 0, a medium's its folder's row + 1.
    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override
    {
        if (!hasIndex(row, column, parent)) return {};
        return createIndex(row, column, parent.isValid() ? quintptr(parent.row()) + 1 : 0);
    }
    QModelIndex parent(const QModelIndex &child) const override
    {
        if (!child.isValid() || child.internalId() == 0) return {};
        return createIndex(static_cast<int>(child.internalId() - 1), 0, quintptr(0));
    }
    int rowCount(const QModelIndex &parent = {}) const override
    {
        if (!m_report) return 0;
        if (!parent.isValid()) return static_cast<int>(m_report->folders.size());
        if (parent.internalId() != 0 || parent.column() != 0) return 0;
        return m_report->folders.at(parent.row()).count;
    }
    int columnCount(const QModelIndex & = {}) const override { return Columns; }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!m_report || !index.isValid()) return {};
        const int column = index.column();
        if (role == Qt::TextAlignmentRole)
            return column > 0 ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
        if (index.internalId() == 0) {
            if (role != Qt::DisplayRole) return {};
            const StudyFolder &folder = m_report->folders.at(index.row());
            if (column == 0)
                return folder.folder.isEmpty() ? QStringLiteral("（フォルダーなし）")
                                               : folder.folder;
            return figuresCell(column, folder.figures);
        }
        const StudyFolder &folder =
            m_report->folders.at(static_cast<qsizetype>(index.internalId() - 1));
        const StudyMedium &m = m_report->media.at(folder.first + index.row());
        if (role == Qt::ToolTipRole) return column == 0 ? QVariant(m.name) : QVariant();
        if (role != Qt::DisplayRole) return {};
        switch (column) {
        case 0:
            return m.name.mid(m.folder.size() + (m.folder.isEmpty() ? 0 : 1));
        case 2:
            return m.duration > 0 ? QStringLiteral("%1%").arg(std::lround(m.share * 100))
                                  : QString();
        case 3:
            return m.finished ? QStringLiteral("はい") : QStringLiteral("いいえ");
        default:
            return figuresCell(column, m.figures);
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        static const char *const titles[Columns] = {"名前", "聞いた内容", "聞いた割合",
                                                    "完了", "再生時間",   "短縮"};
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
            section >= Columns)
            return {};
        return QString::fromUtf8(titles[section]);
    }

    // The cell of a column whose text is the widest: that of its largest
    // figure (a folder's sums are never below its media's), its largest
    // share, "いいえ" where a medium is not finished. Invalid: none.
    QModelIndex widest(int column) const
    {
        if (!m_report || m_report->folders.isEmpty()) return {};
        if (column == 1 || column == 4 || column == 5) {
            int best = 0;
            double most = -1;
            for (int row = 0; row < m_report->folders.size(); ++row) {
                const StudyFigures &f = m_report->folders.at(row).figures;
                const double value = column == 1   ? f.heardSeconds
                                     : column == 4 ? f.wallSeconds
                                                   : f.savedBySpeed + f.savedBySilence;
                if (value > most) {
                    most = value;
                    best = row;
                }
            }
            return index(best, column);
        }
        std::optional<QModelIndex> found;
        double most = -1;
        for (int row = 0; row < m_report->folders.size(); ++row) {
            const StudyFolder &folder = m_report->folders.at(row);
            for (int i = 0; i < folder.count; ++i) {
                const StudyMedium &m = m_report->media.at(folder.first + i);
                const bool wider = column == 2 ? m.duration > 0 && m.share > most
                                               : !found || (!m.finished && most < 0);
                if (!wider) continue;
                found = index(i, column, index(row, 0));
                if (column == 2) most = m.share;
                if (column == 3 && !m.finished) most = 1;
            }
        }
        return found.value_or(QModelIndex());
    }

private:
    std::shared_ptr<const StudyReport> m_report;
};

TForm9::TForm9(MainWindowHost &host, QWidget *parent) : QWidget(parent, Qt::Tool), m_host(host)
{
    setObjectName(QStringLiteral("Form9"));
    setWindowTitle(QStringLiteral("学習記録"));
    resize(720, 560);

    auto *layout = new QVBoxLayout(this);
    TodayLabel = new QLabel(this);
    WeekLabel = new QLabel(this);
    AllLabel = new QLabel(this);
    TodayLabel->setObjectName(QStringLiteral("TodayLabel"));
    WeekLabel->setObjectName(QStringLiteral("WeekLabel"));
    AllLabel->setObjectName(QStringLiteral("AllLabel"));
    for (QLabel *label : {TodayLabel, WeekLabel, AllLabel}) {
        label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        label->setFocusPolicy(Qt::TabFocus);
        layout->addWidget(label);
    }
    Chart = new StudyChart(this);
    layout->addWidget(Chart, 2);
    Table = new QTreeView(this);
    Table->setObjectName(QStringLiteral("Table"));
    Table->setAccessibleName(QStringLiteral("フォルダーとファイルごとの記録"));
    m_table = new StudyTable(this);
    Table->setModel(m_table);
    Table->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    Table->header()->setStretchLastSection(false);
    Table->setRootIsDecorated(true);
    Table->setUniformRowHeights(true);
    layout->addWidget(Table, 3);
    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName(QStringLiteral("StatusLabel"));
    layout->addWidget(StatusLabel);
    auto *buttons = new QHBoxLayout;
    CsvButton = new QPushButton(QStringLiteral("CSV に書き出す..."), this);
    CsvButton->setObjectName(QStringLiteral("CsvButton"));
    CloseButton = new QPushButton(QStringLiteral("閉じる"), this);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));
    buttons->addStretch();
    buttons->addWidget(CsvButton);
    buttons->addWidget(CloseButton);
    layout->addLayout(buttons);
    connect(CsvButton, &QPushButton::clicked, this, &TForm9::CsvButtonClick);
    connect(CloseButton, &QPushButton::clicked, this, &QWidget::hide);
}

void TForm9::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
}

void TForm9::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TForm9::refresh()
{
    ++m_reading;
    StatusLabel->setText(QStringLiteral("読み込んでいます…"));
    QPointer<TForm9> self(this);
    m_host.readStudyLog(m_host.services().clock->now().date(),
                        [self](std::shared_ptr<const StudyReport> report) {
                            if (!self || --self->m_reading > 0) return; // a later read is coming
                            self->show(std::move(report));
                        });
}

void TForm9::show(std::shared_ptr<const StudyReport> report)
{
    m_report = std::move(report);
    const StudyTotals &totals = m_report->totals;
    TodayLabel->setText(figuresText(QStringLiteral("今日"), totals.today));
    WeekLabel->setText(figuresText(QStringLiteral("今週"), totals.week));
    AllLabel->setText(figuresText(QStringLiteral("すべて"), totals.all));
    for (QLabel *label : {TodayLabel, WeekLabel, AllLabel})
        label->setAccessibleName(label->text());
    Chart->setDays(m_report->days);

    m_table->setReport(m_report);
    // The folders opened (expandAll would also look into every medium).
    Table->expandToDepth(0);
    // Each column as wide as its widest cell, found in the figures: the view
    // need not measure its rows.
    for (int col = 1; col < Columns; ++col) {
        const QModelIndex cell = m_table->widest(col);
        const int contents = cell.isValid() ? Table->sizeHintForIndex(cell).width() : 0;
        Table->header()->resizeSection(col,
                                       std::max(contents, Table->header()->sectionSizeHint(col)));
    }
    StatusLabel->setText(m_host.recentDisabled()
                             ? QStringLiteral("履歴がオフのため、学習記録は取っていません")
                         : m_report->stretches == 0 ? QStringLiteral("記録はまだありません")
                                                    : QString());
    CsvButton->setEnabled(!m_report->media.isEmpty());
    emit shown();
}

void TForm9::CsvButtonClick()
{
    runHandler(m_host, nullptr, [&] {
        FileDialogOptions options;
        options.filter = QStringLiteral("CSV ファイル（*.csv）(*.csv)");
        options.defaultSuffix = QStringLiteral("csv");
        options.confirmOverwrite = true;
        const QString name = m_host.services().dialogs->saveFile(this, options);
        if (name.isEmpty()) return;
        writeFileAtomically(name, studyCsv(m_report ? m_report->media : QList<StudyMedium>()));
    });
}
