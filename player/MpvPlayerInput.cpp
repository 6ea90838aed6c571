// SPDX-License-Identifier: GPL-3.0-or-later
// The player component's own surface: the control bar's requests, the mouse
// and keys on the picture area, and the context menu. Everything here
// ignores the user while the component is disabled.
#include "player/MpvPlayer.h"

#include "persist/AppError.h"
#include "player/PlayerControls.h"
#include "player/SeekBar.h"
#include "player/SleepTimer.h"
#include "player/VideoArea.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <mpv/client.h>

namespace
{

constexpr int WheelVolumeStep = 5;

int shiftState(Qt::KeyboardModifiers modifiers)
{
    int state = 0;
    if (modifiers & Qt::ShiftModifier) state |= 1;
    if (modifiers & Qt::ControlModifier) state |= 2;
    if (modifiers & Qt::AltModifier) state |= 4;
    return state;
}

} // namespace

void MpvPlayer::wireControls()
{
    m_videoArea->setObjectName(QStringLiteral("videoArea"));
    m_videoArea->setFocusPolicy(Qt::StrongFocus);
    m_videoArea->installEventFilter(this);
    // The picture holds the keyboard focus of the component; Tab goes on to
    // the control bar, Esc there comes back.
    setFocusProxy(m_videoArea);

    m_controls = new PlayerControls(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_videoArea, 1);
    layout->addWidget(m_controls);
    setTabOrder(m_videoArea, m_controls->firstControl());
    connect(m_controls, &PlayerControls::leaveRequested, this,
            [this] { m_videoArea->setFocus(Qt::OtherFocusReason); });
    // The bar shows what the component reports; it asks for what the user
    // wants.
    m_controls->follow(this, m_sleep);

    connect(m_controls, &PlayerControls::playRequested, this,
            [this] { guarded(&MpvPlayer::play); });
    connect(m_controls, &PlayerControls::pauseRequested, this,
            [this] { guarded(&MpvPlayer::pause); });
    connect(m_controls, &PlayerControls::stopRequested, this,
            [this] { guarded(&MpvPlayer::stop); });
    connect(m_controls, &PlayerControls::seekRequested, this,
            [this](double seconds) { guardedCall([&] { setCurrentPosition(seconds); }); });
    connect(m_controls, &PlayerControls::volumeRequested, this,
            [this](int value) { guardedCall([&] { setVolume(value); }); });
    connect(m_controls, &PlayerControls::muteRequested, this,
            [this](bool on) { guardedCall([&] { setMuted(on); }); });
    connect(m_controls, &PlayerControls::speedRequested, this,
            [this](double value) { guardedCall([&] { setSpeed(value); }); });
    connect(m_controls, &PlayerControls::markRequested, this, [this](double seconds) {
        guardedCall([&] {
            setCurrentPosition(seconds);
            play();
        });
    });
    connect(m_controls, &PlayerControls::skipSilenceRequested, this,
            [this](bool on) { guardedCall([&] { setSkipSilence(on); }); });
    connect(m_controls, &PlayerControls::voiceBoostRequested, this,
            [this](bool on) { guardedCall([&] { setVoiceBoost(on); }); });
    connect(m_controls, &PlayerControls::sleepRequested, this,
            [this](SleepTimer::Mode mode, int minutes) {
                guardedCall([&] { m_sleep->set(mode, minutes); });
            });
    connect(m_controls, &PlayerControls::sleepExtendRequested, this, &MpvPlayer::extendSleep);
    connect(m_controls, &PlayerControls::placeRequested, this,
            [this] { guardedCall([&] { takeOfferedPlace(); }); });

    m_clickTimer = new QTimer(this);
    m_clickTimer->setSingleShot(true);
    connect(m_clickTimer, &QTimer::timeout, this,
            [this] { emit clicked(1, m_clickShift, m_clickAt.x(), m_clickAt.y()); });
    m_placeTimer = new QTimer(this);
    m_placeTimer->setSingleShot(true);
    connect(m_placeTimer, &QTimer::timeout, this, &MpvPlayer::withdrawPlace);
}

void MpvPlayer::guarded(void (MpvPlayer::*operation)())
{
    guardedCall([&] { (this->*operation)(); });
}

// The user's own requests: ignored while the component is disabled; a call
// the engine refuses is the player's error.
template <class Body> void MpvPlayer::guardedCall(Body &&body)
{
    if (!m_enabled) return;
    userActed();
    try {
        body();
    } catch (const AppError &) {
        emit error();
    }
}

// Extending is the one action of the user that keeps a fade going: the sound
// comes back and playback goes on.
void MpvPlayer::extendSleep()
{
    if (m_enabled) m_sleep->extend();
}

void MpvPlayer::userActed()
{
    if (m_sleep) m_sleep->userActed();
}

bool MpvPlayer::handleKey(const QKeyEvent &event)
{
    // The menu key (or Shift+F10) opens the context menu: every command of
    // the component is reachable from the keyboard.
    const bool menuKey = event.key() == Qt::Key_Menu ||
                         (event.key() == Qt::Key_F10 && event.modifiers() == Qt::ShiftModifier);
    if (menuKey) {
        if (m_enabled) showContextMenu(m_videoArea->mapToGlobal(m_videoArea->rect().center()));
        return true;
    }
    const bool taken = MediaPlayer::handleKey(event);
    if (taken && m_enabled) userActed();
    return taken;
}

void MpvPlayer::setPlayerEnabled(bool enabled)
{
    m_enabled = enabled;
    if (!enabled && m_menu) m_menu->close();
    emit enabledChanged(enabled);
}

void MpvPlayer::togglePlay()
{
    guarded(playState() == Playing ? &MpvPlayer::pause : &MpvPlayer::play);
}

void MpvPlayer::showContextMenu(const QPoint &globalPos)
{
    if (!m_menu) {
        m_menu = new QMenu(this);
        m_menu->setObjectName(QStringLiteral("contextMenu"));
    }
    m_menu->clear();
    QAction *playPause = m_menu->addAction(playState() == Playing ? QStringLiteral("一時停止(&P)")
                                                                  : QStringLiteral("再生(&P)"),
                                           this, &MpvPlayer::togglePlay);
    playPause->setEnabled(hasCurrentMedia());
    QAction *stopAction =
        m_menu->addAction(QStringLiteral("停止(&S)"), this, [this] { guarded(&MpvPlayer::stop); });
    stopAction->setEnabled(hasCurrentMedia());
    m_menu->addSeparator();

    QMenu *speeds = m_menu->addMenu(QStringLiteral("再生速度(&R)"));
    PlayerControls::fillSpeedMenu(
        speeds, m_speed, skipsSilence(), m_boost, this,
        [this](double value) { guardedCall([&] { setSpeed(value); }); },
        [this](bool on) { guardedCall([&] { setSkipSilence(on); }); },
        [this](bool on) { guardedCall([&] { setVoiceBoost(on); }); });
    QAction *boost =
        m_menu->addAction(QStringLiteral("声を聞きやすく(&V)"), this,
                          [this, on = m_boost] { guardedCall([&] { setVoiceBoost(!on); }); });
    boost->setCheckable(true);
    boost->setChecked(m_boost);
    QMenu *sleep = m_menu->addMenu(QStringLiteral("スリープタイマー(&Z)"));
    PlayerControls::fillSleepMenu(
        sleep, m_sleep->mode(), m_sleep->minutes(), !m_info.chapters.isEmpty(), this,
        [this](SleepTimer::Mode mode, int minutes) {
            guardedCall([&] { m_sleep->set(mode, minutes); });
        },
        [this] { extendSleep(); });

    if (!m_info.chapters.isEmpty()) {
        const int chapter = m_info.chapter;
        const int count = static_cast<int>(m_info.chapters.size());
        QAction *previous = m_menu->addAction(QStringLiteral("前のチャプター(&B)"), this, [this] {
            guardedCall([&] { setCurrentChapter(m_info.chapter - 1); });
        });
        previous->setEnabled(chapter > 0);
        QAction *next = m_menu->addAction(QStringLiteral("次のチャプター(&N)"), this, [this] {
            guardedCall([&] { setCurrentChapter(m_info.chapter + 1); });
        });
        next->setEnabled(chapter + 1 < count);
    }

    // The tracks, each by its language and title as the medium names them.
    auto trackName = [](const Track &track) {
        QStringList parts;
        if (!track.language.isEmpty()) parts << track.language;
        if (!track.title.isEmpty()) parts << track.title;
        if (parts.isEmpty()) parts << QStringLiteral("トラック %1").arg(track.id);
        return parts.join(QStringLiteral(" - "));
    };
    QMenu *audio = nullptr;
    QMenu *subtitles = nullptr;
    for (const Track &track : std::as_const(m_info.tracks)) {
        QMenu *&menu = track.type == Track::Audio ? audio : subtitles;
        if (!menu) {
            menu = m_menu->addMenu(track.type == Track::Audio ? QStringLiteral("音声(&A)")
                                                              : QStringLiteral("字幕(&U)"));
            if (track.type == Track::Subtitle) {
                QAction *none = menu->addAction(QStringLiteral("字幕なし"), this, [this] {
                    guardedCall([&] { selectTrack(Track::Subtitle, 0); });
                });
                none->setCheckable(true);
                none->setChecked(
                    std::none_of(m_info.tracks.cbegin(), m_info.tracks.cend(), [](const Track &t) {
                        return t.type == Track::Subtitle && t.selected;
                    }));
            }
        }
        QAction *choice = menu->addAction(trackName(track), this, [this, track] {
            guardedCall([&] { selectTrack(track.type, track.id); });
        });
        choice->setCheckable(true);
        choice->setChecked(track.selected);
    }

    QAction *forget = m_menu->addAction(QStringLiteral("再生済みの記録を消去(&C)"), this, [this] {
        if (!m_enabled) return;
        m_listen.clear();
        emit listenedCleared();
    });
    forget->setEnabled(hasCurrentMedia());
    if (!menuActions().isEmpty()) {
        m_menu->addSeparator();
        m_menu->addActions(menuActions());
    }

    m_menu->addSeparator();
    const bool full = window()->isFullScreen();
    QAction *fullScreen = m_menu->addAction(QStringLiteral("全画面表示(&F)"), this,
                                            [this, full] { emit fullScreenRequested(!full); });
    fullScreen->setCheckable(true);
    fullScreen->setChecked(full);
    m_menu->popup(globalPos);
}

bool MpvPlayer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_videoArea) return MediaPlayer::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QPointF at = mouse->position();
        const int shift = shiftState(mouse->modifiers());
        switch (mouse->button()) {
        case Qt::LeftButton:
            if (m_enabled) userActed();
            // A single click waits to see whether it becomes a double-click:
            // a double-click must not also pause or resume.
            m_clickAt = at;
            m_clickShift = shift;
            m_clickTimer->start(QApplication::doubleClickInterval());
            break;
        case Qt::RightButton:
            emit clicked(2, shift, at.x(), at.y());
            break;
        case Qt::MiddleButton:
            emit clicked(4, shift, at.x(), at.y());
            break;
        default:
            break;
        }
        return false;
    }
    case QEvent::MouseButtonDblClick: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton) return true;
        m_clickTimer->stop();
        if (m_enabled) userActed();
        if (m_enabled) emit fullScreenRequested(!window()->isFullScreen());
        return true;
    }
    case QEvent::ContextMenu:
        if (m_enabled) showContextMenu(static_cast<QContextMenuEvent *>(event)->globalPos());
        return true;
    case QEvent::Wheel: {
        if (!m_enabled) return true;
        userActed();
        m_wheel += static_cast<QWheelEvent *>(event)->angleDelta().y();
        const int steps = m_wheel / 120;
        m_wheel -= steps * 120;
        if (steps != 0) guardedCall([&] { setVolume(volume() + steps * WheelVolumeStep); });
        return true;
    }
    case QEvent::KeyPress:
        if (m_enabled && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
            emit fullScreenRequested(false);
            return true;
        }
        return false;
    default:
        return false;
    }
}

void MpvPlayer::keyPressEvent(QKeyEvent *event)
{
    if (m_enabled && event->key() == Qt::Key_Escape) {
        emit fullScreenRequested(false);
        return;
    }
    if (handleKey(*event)) return;
    MediaPlayer::keyPressEvent(event);
}
