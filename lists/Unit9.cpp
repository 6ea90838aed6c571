// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/Unit9.h"

#include "app/Forms.h"
#include "app/MainWindowHost.h"
#include "lists/StudyChart.h"
#include "persist/FileUtil.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

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

void setRow(QTreeWidgetItem *item, const QString &name, const StudyFigures &f, const QString &share,
            const QString &finished)
{
    item->setText(0, name);
    item->setText(1, studyTime(f.heardSeconds));
    item->setText(2, share);
    item->setText(3, finished);
    item->setText(4, studyTime(f.wallSeconds));
    item->setText(5, studyTime(f.savedBySpeed + f.savedBySilence));
    for (int col = 1; col < 6; ++col)
        item->setTextAlignment(col, Qt::AlignRight | Qt::AlignVCenter);
}

} // namespace

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
    Table = new QTreeWidget(this);
    Table->setObjectName(QStringLiteral("Table"));
    Table->setAccessibleName(QStringLiteral("フォルダーとファイルごとの記録"));
    Table->setHeaderLabels({QStringLiteral("名前"), QStringLiteral("聞いた内容"),
                            QStringLiteral("聞いた割合"), QStringLiteral("完了"),
                            QStringLiteral("再生時間"), QStringLiteral("短縮")});
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
    m_host.readStudyLog([self](const Stretches &stretches, const QList<MediumRecord> &media) {
        if (!self || --self->m_reading > 0) return; // a later read is coming
        self->show(stretches, media);
    });
}

void TForm9::show(const Stretches &stretches, const QList<MediumRecord> &media)
{
    const QDate today = m_host.services().clock->now().date();
    const StudyTotals totals = studyTotals(stretches, today);
    TodayLabel->setText(figuresText(QStringLiteral("今日"), totals.today));
    WeekLabel->setText(figuresText(QStringLiteral("今週"), totals.week));
    AllLabel->setText(figuresText(QStringLiteral("すべて"), totals.all));
    for (QLabel *label : {TodayLabel, WeekLabel, AllLabel})
        label->setAccessibleName(label->text());
    Chart->setDays(studyDays(stretches, today, 30));

    m_media = studyMedia(stretches, media);
    QHash<QString, Stretches> byFolder;
    for (const Stretch &s : stretches)
        byFolder[studyFolderOf(s.name)] << s;
    Table->clear();
    QTreeWidgetItem *folderItem = nullptr;
    QString folder;
    for (const StudyMedium &m : std::as_const(m_media)) {
        if (!folderItem || m.folder != folder) {
            folder = m.folder;
            folderItem = new QTreeWidgetItem(Table);
            setRow(folderItem, folder.isEmpty() ? QStringLiteral("（フォルダーなし）") : folder,
                   studyFigures(byFolder.value(folder)), QString(), QString());
        }
        auto *item = new QTreeWidgetItem(folderItem);
        const QString shown = m.name.mid(m.folder.size() + (m.folder.isEmpty() ? 0 : 1));
        setRow(item, shown, m.figures,
               m.duration > 0 ? QStringLiteral("%1%").arg(std::lround(m.share * 100)) : QString(),
               m.finished ? QStringLiteral("はい") : QStringLiteral("いいえ"));
        item->setToolTip(0, m.name);
    }
    Table->expandAll();
    for (int col = 1; col < 6; ++col)
        Table->resizeColumnToContents(col);
    StatusLabel->setText(m_host.recentDisabled()
                             ? QStringLiteral("履歴がオフのため、学習記録は取っていません")
                         : stretches.isEmpty() ? QStringLiteral("記録はまだありません")
                                               : QString());
    CsvButton->setEnabled(!m_media.isEmpty());
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
        writeFileAtomically(name, studyCsv(m_media));
    });
}
