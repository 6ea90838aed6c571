// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/Unit8.h"

#include "app/Forms.h"
#include "app/MainWindowHost.h"
#include "app/TimeText.h"
#include "lists/TranscriptModel.h"
#include "persist/AppError.h"
#include "persist/EmbeddedSubtitles.h"
#include "persist/IniFile.h"
#include "persist/SettingsKeys.h"
#include "persist/ThreadPriority.h"
#include "persist/Transcript.h"
#include "player/Sidecars.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QClipboard>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPromise>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QThreadPool>

#include <algorithm>
#include <limits>

TForm8 *Form8 = nullptr;

namespace
{

// The list stays where the user put it this long after a scroll or a search.
constexpr qint64 UserHoldMs = 5000;

QString baseTitle()
{
    return QStringLiteral("文字起こし");
}

} // namespace

TForm8::TForm8(MainWindowHost &host, QWidget *parent) : QWidget(parent, Qt::Window), m_host(host)
{
    setObjectName(QStringLiteral("Form8"));
    setWindowTitle(baseTitle());
    setFont(formFont(QStringLiteral("ＭＳ Ｐゴシック"), 14));
    resize(440, 560);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setAccessibleName(QStringLiteral("検索"));
    Edit1->setPlaceholderText(QStringLiteral("検索"));
    Edit1->setClearButtonEnabled(true);

    m_model = new TranscriptModel(this);
    ListBox1 = new QListView(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setAccessibleName(QStringLiteral("文字起こし"));
    ListBox1->setModel(m_model);
    ListBox1->setUniformItemSizes(true);
    ListBox1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListBox1->setWordWrap(false);
    ListBox1->setTextElideMode(Qt::ElideRight);
    ListBox1->installEventFilter(this);
    Edit1->installEventFilter(this);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAccessibleName(QStringLiteral("状態"));
    Label1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Label1->setFocusPolicy(Qt::NoFocus);

    RecordLine1 = new QAction(QStringLiteral("この行を記録"), ListBox1);
    RecordLine1->setObjectName(QStringLiteral("RecordLine1"));
    RecordLine1->setShortcut(QKeySequence(Qt::Key_Insert));
    RecordLine1->setShortcutContext(Qt::WidgetShortcut);
    ListBox1->addAction(RecordLine1);
    auto *separator = new QAction(ListBox1);
    separator->setSeparator(true);
    ListBox1->addAction(separator);
    auto *exportNotes = new QAction(QStringLiteral("メモを書き出す..."), ListBox1);
    auto *importNotes = new QAction(QStringLiteral("メモを読み込む..."), ListBox1);
    ListBox1->addAction(exportNotes);
    ListBox1->addAction(importNotes);
    ListBox1->setContextMenuPolicy(Qt::ActionsContextMenu);

    Button1 = new QPushButton(QStringLiteral("メモを書き出す..."), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("メモを読み込む..."), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button3 = new QPushButton(QStringLiteral("閉じる(&X)"), this);
    Button3->setObjectName(QStringLiteral("Button3"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addStretch();
    buttons->addWidget(Button3);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);
    layout->addWidget(Edit1);
    layout->addWidget(ListBox1, 1);
    layout->addWidget(Label1);
    layout->addLayout(buttons);
    setTabOrder(Edit1, ListBox1);
    setTabOrder(ListBox1, Button1);
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, Button3);

    // One reader at a time, of its own: it ends with the window, and its
    // thread may run at a low priority.
    m_pool = new QThreadPool(this);
    m_pool->setMaxThreadCount(1);
    m_watcher = new QFutureWatcher<std::shared_ptr<const Transcript>>(this);
    connect(m_watcher, &QFutureWatcherBase::finished, this, [this] {
        if (m_watcher->future().resultCount() == 0) return;
        m_loading = false;
        showTranscript(m_watcher->result());
    });

    connect(Edit1, &QLineEdit::textChanged, this, [this](const QString &text) {
        // The chosen cue stays chosen where the search still shows it.
        const int chosen = m_model->cueOfRow(ListBox1->currentIndex().row());
        m_autoScroll = true;
        m_model->setFilter(text);
        m_autoScroll = false;
        userActed();
        const int row = m_model->rowOfCue(chosen);
        if (row >= 0) {
            ListBox1->setCurrentIndex(m_model->index(row));
            ListBox1->scrollTo(m_model->index(row), QAbstractItemView::PositionAtCenter);
        } else if (m_model->rowCount() > 0 && !text.isEmpty()) {
            ListBox1->setCurrentIndex(m_model->index(0));
        }
        showCount();
        showFound();
    });
    connect(ListBox1->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (!m_autoScroll) userActed();
    });
    connect(ListBox1, &QListView::doubleClicked, this,
            [this](const QModelIndex &index) { playRow(index.row(), false); });
    connect(RecordLine1, &QAction::triggered, this, &TForm8::recordRows);
    connect(exportNotes, &QAction::triggered, this, &TForm8::exportNotesRequested);
    connect(importNotes, &QAction::triggered, this, &TForm8::importNotesRequested);
    connect(Button1, &QPushButton::clicked, this, &TForm8::exportNotesRequested);
    connect(Button2, &QPushButton::clicked, this, &TForm8::importNotesRequested);
    connect(Button3, &QPushButton::clicked, this, &QWidget::hide);
    auto *next = new QShortcut(QKeySequence(Qt::Key_F3), this);
    connect(next, &QShortcut::activated, this, [this] { findMatch(false); });
    auto *previous = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this);
    connect(previous, &QShortcut::activated, this, [this] { findMatch(true); });

    MediaPlayer *player = m_host.player();
    connect(player, &MediaPlayer::positionChanged, this, &TForm8::followPosition);
    // Another medium, or another subtitle track: its own transcript.
    auto again = [this] {
        if (isVisible()) refresh();
    };
    connect(player, &MediaPlayer::playStateChanged, this, again);
    connect(player, &MediaPlayer::mediumInfoChanged, this, again);
    showCount();
}

TForm8::~TForm8()
{
    // A read under way is of no use any more: an embedded one ends early, a
    // file is read to its end (a second at most).
    if (m_cancel) *m_cancel = true;
    m_watcher->disconnect(this);
    m_pool->clear();
    m_pool->waitForDone();
}

void TForm8::FormCreate()
{
    restorePlace();
}

void TForm8::openForMedium()
{
    if (!m_placed) {
        // First beside the main window, to its right, kept on the screen.
        const QRect main = m_host.hostFrameGeometry();
        if (const QScreen *s = m_host.hostScreen() ? m_host.hostScreen() : screen()) {
            const QRect area = s->availableGeometry();
            const int left =
                std::max(area.left(), std::min(main.right() + 11, area.right() + 1 - width()));
            move(left, std::max(area.top(), main.top()));
        }
        m_placed = true;
    }
    showModeless(this);
    refresh();
}

TranscriptSource TForm8::sourceFor(const QString &medium, const QList<MediaPlayer::Track> &tracks)
{
    int embedded = 0;
    for (const MediaPlayer::Track &track : tracks) {
        if (track.type != MediaPlayer::Track::Subtitle) continue;
        if (!track.external) ++embedded;
        if (!track.selected) continue;
        if (track.external && !track.externalFile.isEmpty()) return {track.externalFile, -1};
        if (!track.external) return {QString(), embedded};
    }
    // Any size: one too large is named, not passed over.
    const QStringList beside = sidecarSubtitles(medium, std::numeric_limits<qint64>::max());
    if (!beside.isEmpty()) return {beside.constFirst(), -1};
    if (QFileInfo(medium).isFile()) return {QString(), 0};
    return {};
}

void TForm8::refresh()
{
    MediaPlayer *player = m_host.player();
    const QString medium = player->hasCurrentMedia() ? player->url() : QString();
    const QString name = medium.isEmpty() ? QString()
                         : captionName    ? captionName(medium)
                                          : QFileInfo(medium).completeBaseName();
    setWindowTitle(name.isEmpty() ? baseTitle() : baseTitle() + QStringLiteral(" - ") + name);
    QList<MediaPlayer::Track> tracks;
    try {
        if (!medium.isEmpty()) tracks = player->tracks();
    } catch (const AppError &) {
        // Without the tracks, the files beside the medium.
    }
    const TranscriptSource source =
        medium.isEmpty() ? TranscriptSource() : sourceFor(medium, tracks);
    if (medium == m_medium && source == m_source && (loading() || m_model->transcript())) return;
    load(medium, source);
}

void TForm8::load(const QString &medium, const TranscriptSource &source)
{
    m_medium = medium;
    m_source = source;
    if (m_cancel) *m_cancel = true;
    m_cancel.reset();
    if (source.file.isEmpty() && source.embedded < 0) {
        // Nothing to read: no worker needed.
        m_watcher->setFuture(QFuture<std::shared_ptr<const Transcript>>());
        m_loading = false;
        auto none = std::make_shared<Transcript>();
        none->problem = noTranscriptText();
        showTranscript(none);
        return;
    }
    Label1->setText(QStringLiteral("読み込んでいます..."));
    m_loading = true;
    auto cancel = m_cancel = std::make_shared<std::atomic_bool>(false);
    auto promise = std::make_shared<QPromise<std::shared_ptr<const Transcript>>>();
    promise->start();
    // A newer read replaces this one: its result is then not looked at.
    m_watcher->setFuture(promise->future());
    m_pool->start([promise, cancel, medium, source] {
        lowerCurrentThreadPriority();
        auto t = std::make_shared<const Transcript>(
            source.file.isEmpty() ? readEmbeddedTranscript(medium, source.embedded, cancel.get())
                                  : readTranscriptFile(source.file));
        promise->addResult(std::move(t));
        promise->finish();
    });
}

bool TForm8::loading() const
{
    // The watcher learns of the start only through an event.
    return m_loading;
}

void TForm8::showTranscript(std::shared_ptr<const Transcript> transcript)
{
    m_autoScroll = true;
    m_model->setTranscript(std::move(transcript));
    m_autoScroll = false;
    showCount();
    showFound();
    try {
        MediaPlayer *player = m_host.player();
        if (player->hasCurrentMedia()) followPosition(player->currentPosition());
    } catch (const AppError &) {
    }
    emit finished();
}

void TForm8::showCount()
{
    const Transcript *t = m_model->transcript();
    if (!t) {
        Label1->setText(noTranscriptText());
        return;
    }
    if (!t->problem.isEmpty()) {
        Label1->setText(t->problem);
        return;
    }
    QString text =
        m_model->filterText().isEmpty()
            ? QStringLiteral("%1 行").arg(m_model->cueCount())
            : QStringLiteral("%1 / %2 行").arg(m_model->rowCount()).arg(m_model->cueCount());
    if (t->skipped > 0)
        text += QStringLiteral("（時刻の読めない %1 件を飛ばしました）").arg(t->skipped);
    if (t->cutAtBytes > 0)
        text +=
            QStringLiteral("（%1 を超えた分は読んでいません）").arg(fileLimitText(t->cutAtBytes));
    Label1->setText(text);
}

QString TForm8::cueTextAt(const QString &medium, qint64 ms) const
{
    if (!medium.isEmpty() && medium != m_medium) return {};
    return m_model->textAt(ms);
}

void TForm8::userActed()
{
    const Clock *clock = m_host.services().clock;
    m_userActive = clock ? clock->now() : QDateTime::currentDateTime();
}

bool TForm8::userActedLately() const
{
    if (!m_userActive.isValid()) return false;
    const Clock *clock = m_host.services().clock;
    const QDateTime now = clock ? clock->now() : QDateTime::currentDateTime();
    const qint64 since = m_userActive.msecsTo(now);
    return since >= 0 && since < UserHoldMs;
}

void TForm8::followPosition(double seconds)
{
    const int cue = m_model->cueAt(static_cast<qint64>(seconds * 1000.0 + 0.5));
    m_model->setCurrentCue(cue);
    if (!isVisible() || cue < 0 || userActedLately()) return;
    const int row = m_model->rowOfCue(cue);
    if (row < 0) return;
    m_autoScroll = true;
    ListBox1->scrollTo(m_model->index(row), QAbstractItemView::EnsureVisible);
    m_autoScroll = false;
}

void TForm8::playRow(int row, bool startPlaying)
{
    const int cue = m_model->cueOfRow(row);
    if (cue < 0) return;
    const qint64 start = m_model->cue(cue).start;
    runHandler(m_host, nullptr, [&] {
        MediaPlayer *player = m_host.player();
        if (!player->hasCurrentMedia()) return;
        const int state = player->playState();
        player->setCurrentPosition(static_cast<double>(start) / 1000.0);
        // As the step seeks: a paused medium stays paused.
        if (startPlaying || (state != MediaPlayer::Playing && state != MediaPlayer::Paused))
            player->play();
    });
    m_model->setCurrentCue(cue);
}

QList<int> TForm8::chosenRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : ListBox1->selectionModel()->selectedIndexes())
        rows << index.row();
    if (rows.isEmpty() && ListBox1->currentIndex().isValid())
        rows << ListBox1->currentIndex().row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TForm8::recordRows()
{
    QString last;
    for (const int row : chosenRows()) {
        const TranscriptCue &cue = m_model->cue(m_model->cueOfRow(row));
        emit recordRequested(cue.start, cue.text);
        last = timeText(static_cast<double>(cue.start / 1000));
    }
    if (!last.isEmpty()) Label1->setText(QStringLiteral("%1 を記録しました").arg(last));
}

void TForm8::findMatch(bool backward)
{
    const int rows = m_model->rowCount();
    if (rows == 0) return;
    const int current = ListBox1->currentIndex().row();
    int row = 0;
    if (current < 0)
        row = backward ? rows - 1 : 0;
    else
        row = (current + (backward ? rows - 1 : 1)) % rows;
    const QModelIndex index = m_model->index(row);
    ListBox1->setCurrentIndex(index);
    ListBox1->scrollTo(index, QAbstractItemView::EnsureVisible);
    playRow(row, true);
}

void TForm8::copyRows() const
{
    QStringList lines;
    for (const int row : chosenRows())
        lines << m_model->rowText(row);
    if (!lines.isEmpty()) QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
}

bool TForm8::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    const bool enter =
        (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && mods == Qt::NoModifier;
    // The window's keys, also where its shortcuts do not reach (a window
    // not yet active).
    if (key->key() == Qt::Key_F3 && (mods & ~Qt::ShiftModifier) == Qt::NoModifier) {
        findMatch(mods & Qt::ShiftModifier);
        return true;
    }
    if (watched == ListBox1) {
        if (key->matches(QKeySequence::Copy)) {
            copyRows();
            return true;
        }
        if (enter) {
            playRow(ListBox1->currentIndex().row(), false);
            return true;
        }
        if (key->key() == Qt::Key_Insert && mods == Qt::NoModifier) {
            recordRows();
            return true;
        }
    } else if (watched == Edit1) {
        // Enter in the search field plays the chosen match (the first one
        // when none is chosen); Down goes into the list.
        if (enter) {
            const int row = std::max(0, ListBox1->currentIndex().row());
            ListBox1->setCurrentIndex(m_model->index(row));
            playRow(row, false);
            return true;
        }
        if (key->key() == Qt::Key_Down && m_model->rowCount() > 0) {
            ListBox1->setFocus();
            if (!ListBox1->currentIndex().isValid()) ListBox1->setCurrentIndex(m_model->index(0));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm8::showFound()
{
    QList<double> times;
    if (isVisible() && !m_model->filterText().isEmpty()) {
        const int rows = m_model->rowCount();
        times.reserve(rows);
        for (int row = 0; row < rows; ++row)
            times << static_cast<double>(m_model->cue(m_model->cueOfRow(row)).start) / 1000.0;
    }
    if (!times.isEmpty() || !m_host.player()->foundTimes().isEmpty())
        m_host.player()->setFoundTimes(std::move(times));
}

void TForm8::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    showFound();
}

void TForm8::hideEvent(QHideEvent *event)
{
    // The marks belong to the search on the screen.
    m_host.player()->setFoundTimes({});
    savePlace();
    QWidget::hideEvent(event);
}

void TForm8::savePlace() const
{
    try {
        const IniFile settings(m_host.settingsPath());
        const QRect frame(pos(), size()); // move() takes the frame's corner
        settings.writeInteger(SettingsKeys::TranscriptLeft, frame.left());
        settings.writeInteger(SettingsKeys::TranscriptTop, frame.top());
        settings.writeInteger(SettingsKeys::TranscriptWidth, frame.width());
        settings.writeInteger(SettingsKeys::TranscriptHeight, frame.height());
    } catch (const AppError &) {
        // The place is a comfort: a settings file that cannot be written
        // costs it, nothing else.
    }
}

void TForm8::restorePlace()
{
    const IniFile settings(m_host.settingsPath());
    if (!settings.valueExists(SettingsKeys::TranscriptWidth)) return;
    const QRect saved(static_cast<int>(settings.readInteger(SettingsKeys::TranscriptLeft)),
                      static_cast<int>(settings.readInteger(SettingsKeys::TranscriptTop)),
                      static_cast<int>(settings.readInteger(SettingsKeys::TranscriptWidth)),
                      static_cast<int>(settings.readInteger(SettingsKeys::TranscriptHeight)));
    if (saved.width() < 100 || saved.height() < 100) return;
    // Only onto a screen that is still there, and never larger than it (a
    // place kept at another scale): its buttons stay in reach.
    m_placed = placeOnScreen(this, saved);
}
