// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/PlayerControls.h"

#include "persist/TimeFormat.h"
#include "player/MediaPlayer.h"

#include <QApplication>
#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPolygonF>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>

#include <QTimer>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace
{

// While playing, the position on the bar moves at most this often.
constexpr int PositionMs = 250;

// The buttons' pictures, drawn here: the desktop's icon theme is looked up
// on disk the first time, which costs the start-up a noticeable moment.
enum class Glyph { Play, Pause, Stop, Sound, Muted };

QIcon glyph(Glyph kind, const QColor &colour)
{
    const int size = 16;
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    switch (kind) {
    case Glyph::Play:
        p.drawPolygon(QPolygonF({QPointF(4, 2.5), QPointF(13.5, 8), QPointF(4, 13.5)}));
        break;
    case Glyph::Pause:
        p.drawRect(QRectF(4, 3, 3, 10));
        p.drawRect(QRectF(9, 3, 3, 10));
        break;
    case Glyph::Stop:
        p.drawRect(QRectF(3.5, 3.5, 9, 9));
        break;
    case Glyph::Sound:
    case Glyph::Muted:
        p.drawPolygon(QPolygonF({QPointF(2, 6), QPointF(5, 6), QPointF(9, 2.5), QPointF(9, 13.5),
                                 QPointF(5, 10), QPointF(2, 10)}));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(colour, 1.3, Qt::SolidLine, Qt::RoundCap));
        if (kind == Glyph::Sound) {
            p.drawArc(QRectF(7, 4.5, 5, 7), -60 * 16, 120 * 16);
            p.drawArc(QRectF(7, 2.5, 8, 11), -60 * 16, 120 * 16);
        } else {
            p.drawLine(QPointF(10.5, 5.5), QPointF(14.5, 10.5));
            p.drawLine(QPointF(14.5, 5.5), QPointF(10.5, 10.5));
        }
        break;
    }
    p.end();
    QIcon icon(picture);
    // Disabled: the same picture, paler.
    QPixmap pale(picture.size());
    pale.fill(Qt::transparent);
    QPainter q(&pale);
    q.setOpacity(0.35);
    q.drawPixmap(0, 0, picture);
    q.end();
    icon.addPixmap(pale, QIcon::Disabled);
    return icon;
}

// A button of the bar: reached with Tab (a click does not take the focus
// from the picture), pressed with Space or Enter, with a ring that shows the
// focus.
class BarButton : public QToolButton
{
public:
    explicit BarButton(QWidget *parent) : QToolButton(parent)
    {
        setAutoRaise(true);
        setFocusPolicy(Qt::TabFocus);
    }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
            !event->isAutoRepeat()) {
            if (popupMode() == QToolButton::InstantPopup && menu())
                showMenu();
            else
                animateClick();
            return;
        }
        QToolButton::keyPressEvent(event);
    }
    void paintEvent(QPaintEvent *event) override
    {
        QToolButton::paintEvent(event);
        PlayerControls::paintFocusRing(this);
    }
};

// The volume slider, with the same ring.
class BarSlider : public QSlider
{
public:
    explicit BarSlider(QWidget *parent) : QSlider(Qt::Horizontal, parent)
    {
        setFocusPolicy(Qt::TabFocus);
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QSlider::paintEvent(event);
        PlayerControls::paintFocusRing(this);
    }
};

QToolButton *makeButton(QWidget *parent, Glyph picture, const QString &tip)
{
    auto *button = new BarButton(parent);
    button->setIcon(glyph(picture, parent->palette().color(QPalette::ButtonText)));
    button->setToolTip(tip);
    button->setAccessibleName(tip);
    return button;
}

} // namespace

PlayerControls::PlayerControls(QWidget *parent) : QWidget(parent)
{
    makeTransport();
    makeTools();
    layOut();

    connect(m_play, &QToolButton::clicked, this, &PlayerControls::playRequested);
    connect(m_pause, &QToolButton::clicked, this, &PlayerControls::pauseRequested);
    connect(m_stop, &QToolButton::clicked, this, &PlayerControls::stopRequested);
    connect(m_place, &QToolButton::clicked, this, &PlayerControls::placeRequested);
    connect(m_mute, &QToolButton::toggled, this, &PlayerControls::muteRequested);
    connect(m_volume, &QSlider::valueChanged, this, &PlayerControls::volumeRequested);
    // Dragging shows the time under the handle and seeks when let go; a click
    // beside the handle or a key step seeks at once.
    connect(m_seek, &QSlider::sliderMoved, this,
            [this](int value) { showTimes(double(value) / SeekBar::Scale); });
    connect(m_seek, &QSlider::sliderReleased, this, &PlayerControls::seekToSlider);
    connect(m_seek, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove)
            QMetaObject::invokeMethod(this, &PlayerControls::seekToSlider, Qt::QueuedConnection);
    });

    connect(m_seek, &SeekBar::markClicked, this, &PlayerControls::markRequested);

    m_positionTimer = new QTimer(this);
    m_positionTimer->setSingleShot(true);
    connect(m_positionTimer, &QTimer::timeout, this, &PlayerControls::refreshPosition);
    m_sincePosition.start();

    showProgress(0.0, 0.0, false, false);
    showSpeed(1.0);
    showSleep(SleepTimer::Mode::Off, 0, std::nullopt);
}

// The transport buttons, the seek bar with the time and the chapter, the
// place on offer.
void PlayerControls::makeTransport()
{
    m_play = makeButton(this, Glyph::Play, QStringLiteral("再生"));
    m_pause = makeButton(this, Glyph::Pause, QStringLiteral("一時停止"));
    m_stop = makeButton(this, Glyph::Stop, QStringLiteral("停止"));
    m_mute = makeButton(this, Glyph::Sound, QStringLiteral("ミュート"));
    m_mute->setCheckable(true);
    m_play->setObjectName(QStringLiteral("playButton"));
    m_pause->setObjectName(QStringLiteral("pauseButton"));
    m_stop->setObjectName(QStringLiteral("stopButton"));
    m_mute->setObjectName(QStringLiteral("muteButton"));

    m_seek = new SeekBar(this);
    m_seek->setObjectName(QStringLiteral("seekSlider"));
    m_seek->setToolTip(QStringLiteral("再生位置"));
    m_seek->setAccessibleName(QStringLiteral("再生位置"));
    m_seek->setFocusPolicy(Qt::TabFocus);
    m_seek->setSingleStep(5 * SeekBar::Scale);
    m_seek->setPageStep(30 * SeekBar::Scale);

    m_time = new QLabel(this);
    m_time->setObjectName(QStringLiteral("timeLabel"));
    m_time->setTextFormat(Qt::PlainText);
    m_chapter = new QLabel(this);
    m_chapter->setObjectName(QStringLiteral("chapterLabel"));
    m_chapter->setTextFormat(Qt::PlainText);
    m_chapter->setMaximumWidth(220);
    m_chapter->hide();

    m_place = new BarButton(this);
    m_place->setObjectName(QStringLiteral("placeButton"));
    m_place->setAutoRaise(false);
    m_place->hide();
    // Where that place was kept, when on another computer.
    m_placeSource = new QLabel(this);
    m_placeSource->setObjectName(QStringLiteral("placeSourceLabel"));
    m_placeSource->setTextFormat(Qt::PlainText);
    m_placeSource->hide();
}

// The speed and its menu, what silence skipping saved, what smart rewind
// did, the sleep timer and the volume.
void PlayerControls::makeTools()
{
    m_speed = new BarButton(this);
    m_speed->setObjectName(QStringLiteral("speedButton"));
    m_speed->setPopupMode(QToolButton::InstantPopup);
    m_speedMenu = new QMenu(m_speed);
    m_speed->setMenu(m_speedMenu);
    connect(m_speedMenu, &QMenu::aboutToShow, this, [this] {
        fillSpeedMenu(
            m_speedMenu, m_currentSpeed, m_skipping, m_boosting, this,
            [this](double speed) { emit speedRequested(speed); },
            [this](bool on) { emit skipSilenceRequested(on); },
            [this](bool on) { emit voiceBoostRequested(on); });
    });

    m_saved = new QLabel(this);
    m_saved->setObjectName(QStringLiteral("silenceSavedLabel"));
    m_saved->setTextFormat(Qt::PlainText);
    m_saved->hide();

    // What smart rewind did, for a few seconds.
    m_rewound = new QLabel(this);
    m_rewound->setObjectName(QStringLiteral("rewoundLabel"));
    m_rewound->setTextFormat(Qt::PlainText);
    m_rewound->hide();
    m_rewoundTimer = new QTimer(this);
    m_rewoundTimer->setSingleShot(true);
    connect(m_rewoundTimer, &QTimer::timeout, m_rewound, &QWidget::hide);

    m_sleep = new BarButton(this);
    m_sleep->setObjectName(QStringLiteral("sleepButton"));
    m_sleep->setPopupMode(QToolButton::InstantPopup);
    m_sleepMenu = new QMenu(m_sleep);
    m_sleep->setMenu(m_sleepMenu);
    connect(m_sleepMenu, &QMenu::aboutToShow, this, [this] {
        fillSleepMenu(
            m_sleepMenu, m_sleepMode, m_sleepMinutes, m_player && !m_player->chapters().isEmpty(),
            this,
            [this](SleepTimer::Mode mode, int minutes) { emit sleepRequested(mode, minutes); },
            [this] { emit sleepExtendRequested(); });
    });

    // The program's study windows, as the player lists them when it opens.
    m_study = new BarButton(this);
    m_study->setObjectName(QStringLiteral("studyButton"));
    m_study->setText(QStringLiteral("学習"));
    m_study->setToolTip(QStringLiteral("学習"));
    m_study->setAccessibleName(QStringLiteral("学習"));
    m_study->setPopupMode(QToolButton::InstantPopup);
    m_studyMenu = new QMenu(m_study);
    m_study->setMenu(m_studyMenu);
    connect(m_studyMenu, &QMenu::aboutToShow, this, [this] {
        m_studyMenu->clear();
        if (m_player) m_studyMenu->addActions(m_player->studyActions());
    });

    m_volume = new BarSlider(this);
    m_volume->setObjectName(QStringLiteral("volumeSlider"));
    m_volume->setToolTip(QStringLiteral("音量"));
    m_volume->setAccessibleName(QStringLiteral("音量"));
    m_volume->setRange(0, 100);
    m_volume->setSingleStep(5);
    m_volume->setPageStep(10);
    m_volume->setFixedWidth(90);
}

void PlayerControls::layOut()
{
    // The seek bar has a row of its own, the whole width; the buttons below.
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(0);
    auto *seekRow = new QHBoxLayout;
    seekRow->setSpacing(6);
    seekRow->addWidget(m_seek, 1);
    seekRow->addWidget(m_chapter);
    seekRow->addWidget(m_time);
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    buttons->addWidget(m_play);
    buttons->addWidget(m_pause);
    buttons->addWidget(m_stop);
    buttons->addSpacing(6);
    buttons->addWidget(m_place);
    buttons->addWidget(m_placeSource);
    buttons->addWidget(m_study);
    buttons->addStretch(1);
    buttons->addWidget(m_rewound);
    buttons->addSpacing(6);
    buttons->addWidget(m_saved);
    buttons->addSpacing(6);
    buttons->addWidget(m_speed);
    buttons->addWidget(m_sleep);
    buttons->addSpacing(6);
    buttons->addWidget(m_mute);
    buttons->addWidget(m_volume);
    layout->addLayout(seekRow);
    layout->addLayout(buttons);

    // Tab goes along the bar: the transport buttons, the seek bar, then the
    // rest from left to right. Esc takes the focus back to the picture (on
    // the offer of a place, it dismisses the place too).
    QWidget *order[] = {m_play,  m_pause, m_stop,  m_seek, m_place,
                        m_study, m_speed, m_sleep, m_mute, m_volume};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    for (QWidget *control : order)
        control->installEventFilter(this);
}

void PlayerControls::follow(MediaPlayer *player, SleepTimer *sleep)
{
    m_player = player;
    m_sleepTimer = sleep;
    connect(player, &MediaPlayer::playStateChanged, this, [this](int state) {
        refreshAll();
        // Stopped from the bar: the keyboard starts it again from play.
        if (state == MediaPlayer::Stopped && isAncestorOf(QApplication::focusWidget())) focusPlay();
    });
    connect(player, &MediaPlayer::mediumInfoChanged, this, &PlayerControls::refreshAll);
    connect(player, &MediaPlayer::positionChanged, this, &PlayerControls::refreshPosition);
    connect(player, &MediaPlayer::volumeChanged, this, &PlayerControls::showVolume);
    connect(player, &MediaPlayer::speedChanged, this, &PlayerControls::showSpeed);
    connect(player, &MediaPlayer::marksChanged, this, &PlayerControls::refreshMarks);
    connect(player, &MediaPlayer::silenceSkipChanged, this, &PlayerControls::showSilenceSkip);
    connect(player, &MediaPlayer::voiceBoostChanged, this, [this](bool on) { m_boosting = on; });
    connect(player, &MediaPlayer::rewound, this, &PlayerControls::showRewound);
    connect(player, &MediaPlayer::placeOfferChanged, this, &PlayerControls::offerPlace);
    connect(player, &MediaPlayer::placeSourceChanged, this, [this](const QString &text) {
        m_placeSource->setText(text);
        m_placeSource->setAccessibleName(text);
        m_placeSource->setVisible(!text.isEmpty() && !m_place->isHidden());
    });
    connect(player, &MediaPlayer::enabledChanged, this, &QWidget::setEnabled);
    connect(player, &MediaPlayer::listenedCleared, this, [this] { m_seek->setListened({}); });
    if (sleep) {
        connect(sleep, &SleepTimer::changed, this, [this] {
            showSleep(m_sleepTimer->mode(), m_sleepTimer->minutes(), m_sleepTimer->remainingMs());
        });
    }
    refreshAll();
}

void PlayerControls::refreshAll()
{
    if (!m_player) return;
    try {
        const bool hasMedia = m_player->hasCurrentMedia();
        showProgress(hasMedia ? m_player->currentPosition() : 0.0, m_player->duration(), hasMedia,
                     m_player->playState() == MediaPlayer::Playing);
        showVolume(m_player->volume(), m_player->muted());
        showSpeed(m_player->speed());
        m_boosting = m_player->voiceBoost();
        QList<SeekBar::Tick> ticks;
        const QList<MediaPlayer::Chapter> chapters = m_player->chapters();
        for (const MediaPlayer::Chapter &chapter : chapters)
            ticks.append({chapter.time, chapter.title});
        m_seek->setChapters(ticks);
        const int at = m_player->currentChapter();
        showChapter(at >= 0 && at < chapters.size() ? chapters.at(at).title : QString());
        m_seek->setListened(m_player->listened());
    } catch (const std::exception &) {
        // Shown again at the next change.
    }
    m_sincePosition.restart();
}

void PlayerControls::refreshPosition()
{
    if (!m_player || !isVisible() || window()->isMinimized()) return;
    const qint64 since = m_sincePosition.elapsed();
    if (since < PositionMs) {
        // The last change of a burst is shown too, a moment later.
        if (!m_positionTimer->isActive()) m_positionTimer->start(int(PositionMs - since));
        return;
    }
    m_positionTimer->stop();
    try {
        showPosition(m_player->hasCurrentMedia() ? m_player->currentPosition() : 0.0);
        m_seek->setListened(m_player->listened());
    } catch (const std::exception &) {
    }
    m_sincePosition.restart();
}

void PlayerControls::refreshMarks()
{
    if (!m_player) return;
    QList<SeekBar::Tick> ticks;
    for (const MediaPlayer::Mark &mark : m_player->marks())
        ticks.append({mark.time, mark.comment});
    m_seek->setMarks(ticks);
    m_seek->setRepeat(m_player->repeatStretch());
    m_seek->setFound(m_player->foundTimes());
}

void PlayerControls::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Nothing was shown while hidden.
    refreshAll();
}

QWidget *PlayerControls::firstControl() const
{
    return m_play;
}

void PlayerControls::focusPlay()
{
    if (m_play->isEnabled()) m_play->setFocus(Qt::TabFocusReason);
}

void PlayerControls::paintFocusRing(QWidget *widget)
{
    if (!widget->hasFocus()) return;
    QPainter p(widget);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(widget->palette().color(QPalette::Highlight), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(widget->rect()).adjusted(1, 1, -1, -1), 3, 3);
}

bool PlayerControls::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        // On the offer of a place: that place is not wanted.
        if (watched == m_place) emit placeDismissRequested();
        emit leaveRequested();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void PlayerControls::showChapter(const QString &title)
{
    m_chapter->setText(title);
    m_chapter->setToolTip(title);
    m_chapter->setAccessibleName(title.isEmpty() ? QString()
                                                 : QStringLiteral("チャプター: ") + title);
    m_chapter->setVisible(!title.isEmpty());
}

void PlayerControls::seekToSlider()
{
    if (!(m_length > 0.0)) return;
    // The far end of the bar is the end of the medium, not the last step.
    emit seekRequested(
        m_seek->value() >= m_seek->maximum() ? m_length : double(m_seek->value()) / SeekBar::Scale);
}

QString PlayerControls::timeText(double seconds, bool withHours)
{
    // Clamped before the conversion: a value beyond an int64 is undefined.
    const qint64 whole = std::isfinite(seconds) ? qint64(std::clamp(seconds, 0.0, 1.0e13)) : 0;
    return formatTime(whole * 1000, {.hourDigits = withHours ? 1 : 0});
}

QString PlayerControls::speedText(double speed)
{
    // One decimal at least, two where the speed has them: 1.0x, 1.25x.
    const double hundredths = std::round(speed * 100.0);
    const bool two = std::fmod(hundredths, 10.0) != 0.0;
    return QString::number(hundredths / 100.0, 'f', two ? 2 : 1) + QLatin1Char('x');
}

const QList<double> &PlayerControls::speedChoices()
{
    static const QList<double> speeds = {0.5, 0.75, 1.0, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0};
    return speeds;
}

void PlayerControls::fillSpeedMenu(QMenu *menu, double current, bool skipping, bool boosting,
                                   QObject *receiver, const std::function<void(double)> &choose,
                                   const std::function<void(bool)> &skip,
                                   const std::function<void(bool)> &boost)
{
    menu->clear();
    for (double speed : speedChoices()) {
        QAction *action = menu->addAction(speedText(speed));
        action->setCheckable(true);
        action->setChecked(std::abs(speed - current) < 0.005);
        QObject::connect(action, &QAction::triggered, receiver, [choose, speed] { choose(speed); });
    }
    menu->addSeparator();
    QAction *silence = menu->addAction(QStringLiteral("無音をスキップ"));
    silence->setCheckable(true);
    silence->setChecked(skipping);
    QObject::connect(silence, &QAction::triggered, receiver, [skip, skipping] { skip(!skipping); });
    QAction *voice = menu->addAction(QStringLiteral("声を聞きやすく\tV"));
    voice->setCheckable(true);
    voice->setChecked(boosting);
    QObject::connect(voice, &QAction::triggered, receiver, [boost, boosting] { boost(!boosting); });
}

void PlayerControls::showRewound(double seconds)
{
    const int whole = static_cast<int>(std::lround(seconds));
    if (whole <= 0) return;
    const QString text = QStringLiteral("%1秒戻しました").arg(whole);
    m_rewound->setText(text);
    m_rewound->setAccessibleName(text);
    m_rewound->show();
    m_rewoundTimer->start(RewoundShownMs);
}

void PlayerControls::fillSleepMenu(QMenu *menu, SleepTimer::Mode mode, int minutes, bool chapters,
                                   QObject *receiver,
                                   const std::function<void(SleepTimer::Mode, int)> &choose,
                                   const std::function<void()> &extend)
{
    using Mode = SleepTimer::Mode;
    menu->clear();
    const struct {
        Mode mode;
        int minutes;
        QString caption;
    } choices[] = {
        {Mode::Off, 0, QStringLiteral("オフ")},
        {Mode::Minutes, 15, QStringLiteral("15分")},
        {Mode::Minutes, 30, QStringLiteral("30分")},
        {Mode::Minutes, 45, QStringLiteral("45分")},
        {Mode::Minutes, 60, QStringLiteral("60分")},
        {Mode::Minutes, 90, QStringLiteral("90分")},
        {Mode::EndOfMedium, 0, QStringLiteral("このファイルの終わりで")},
        {Mode::EndOfPlaylist, 0, QStringLiteral("プレイリストの終わりで")},
        {Mode::EndOfChapter, 0, QStringLiteral("チャプターの終わり")},
    };
    for (const auto &c : choices) {
        if (c.mode == Mode::EndOfChapter && !chapters) continue;
        QAction *action = menu->addAction(c.caption);
        action->setCheckable(true);
        action->setChecked(c.mode == mode && (c.mode != Mode::Minutes || c.minutes == minutes));
        QObject::connect(action, &QAction::triggered, receiver,
                         [choose, m = c.mode, n = c.minutes] { choose(m, n); });
    }
    if (mode != Mode::Off) {
        menu->addSeparator();
        QObject::connect(menu->addAction(QStringLiteral("+15分")), &QAction::triggered, receiver,
                         [extend] { extend(); });
    }
}

void PlayerControls::showSleep(SleepTimer::Mode mode, int minutes,
                               std::optional<qint64> remainingMs)
{
    m_sleepMode = mode;
    m_sleepMinutes = minutes;
    QString text = QStringLiteral("おやすみ");
    if (mode != SleepTimer::Mode::Off)
        text += QLatin1Char(' ') + (remainingMs ? timeText(std::ceil(*remainingMs / 1000.0), false)
                                                : QStringLiteral("…"));
    m_sleep->setText(text);
    const QString name = QStringLiteral("スリープタイマー: ") +
                         (mode == SleepTimer::Mode::Off ? QStringLiteral("オフ") : text);
    m_sleep->setToolTip(name);
    m_sleep->setAccessibleName(name);
}

void PlayerControls::showSilenceSkip(bool on, double savedSeconds)
{
    m_skipping = on;
    const bool shown = on && savedSeconds >= 1.0;
    m_saved->setVisible(shown);
    if (shown)
        m_saved->setText(QStringLiteral("無音スキップ: %1 短縮")
                             .arg(timeText(savedSeconds, savedSeconds >= 3600.0)));
}

void PlayerControls::showTimes(double position)
{
    const bool hours = m_length >= 3600.0;
    m_time->setText(timeText(position, hours) + QStringLiteral(" / ") + timeText(m_length, hours));
}

void PlayerControls::showProgress(double position, double length, bool hasMedia, bool playing)
{
    m_length = hasMedia && std::isfinite(length) && length > 0.0 ? length : 0.0;
    m_play->setEnabled(hasMedia && !playing);
    m_pause->setEnabled(hasMedia && playing);
    m_stop->setEnabled(hasMedia);
    m_seek->setEnabled(m_length > 0.0);
    m_seek->setLength(m_length);
    if (m_seek->isSliderDown()) return;
    const QSignalBlocker block(m_seek);
    m_seek->setRange(0, int(std::min(m_length * SeekBar::Scale, 2.0e9)));
    showPosition(hasMedia ? position : 0.0);
}

void PlayerControls::showPosition(double position)
{
    if (m_seek->isSliderDown()) return;
    const QSignalBlocker block(m_seek);
    m_seek->setValue(int(std::clamp(position, 0.0, m_length) * SeekBar::Scale));
    showTimes(position);
}

void PlayerControls::showVolume(int volume, bool muted)
{
    {
        const QSignalBlocker block(m_volume);
        m_volume->setValue(volume);
    }
    const QSignalBlocker block(m_mute);
    m_mute->setChecked(muted);
    // Drawn only when it changes: the bar is refreshed at every change of
    // the medium, on the way to its sound.
    if (m_mutedShown == muted) return;
    m_mutedShown = muted;
    m_mute->setIcon(
        glyph(muted ? Glyph::Muted : Glyph::Sound, palette().color(QPalette::ButtonText)));
    m_mute->setAccessibleName(muted ? QStringLiteral("ミュート解除") : QStringLiteral("ミュート"));
}

void PlayerControls::showSpeed(double speed)
{
    m_currentSpeed = speed;
    m_speed->setText(speedText(speed));
    const QString name = QStringLiteral("再生速度 ") + speedText(speed);
    m_speed->setToolTip(name);
    m_speed->setAccessibleName(name);
}

void PlayerControls::offerPlace(const QString &timeText)
{
    if (timeText.isEmpty()) {
        m_place->hide();
        m_placeSource->hide();
        return;
    }
    const QString caption = QStringLiteral("続きから再生 (%1)").arg(timeText);
    m_place->setText(caption);
    m_place->setAccessibleName(caption);
    m_place->show();
    m_placeSource->setVisible(!m_placeSource->text().isEmpty());
}
