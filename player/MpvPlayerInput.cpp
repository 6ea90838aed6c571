// SPDX-License-Identifier: GPL-3.0-or-later
// The player component's own surface: the control bar's wiring, the mouse
// and keys on the video area, and the context menu. Everything here ignores
// the user while the component is disabled.
#include "player/MpvPlayer.h"

#include "persist/AppError.h"
#include "player/PlayerControls.h"
#include "player/VideoArea.h"

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
constexpr int RefreshMs = 250;

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
    m_videoArea->setFocusPolicy(Qt::ClickFocus);
    m_videoArea->installEventFilter(this);

    m_controls = new PlayerControls(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_videoArea, 1);
    layout->addWidget(m_controls);

    connect(m_controls, &PlayerControls::playRequested, this,
            [this] { guarded(&MpvPlayer::play); });
    connect(m_controls, &PlayerControls::pauseRequested, this,
            [this] { guarded(&MpvPlayer::pause); });
    connect(m_controls, &PlayerControls::stopRequested, this,
            [this] { guarded(&MpvPlayer::stop); });
    connect(m_controls, &PlayerControls::seekRequested, this, [this](double seconds) {
        try {
            setCurrentPosition(seconds);
        } catch (const AppError &) {
            emit error();
        }
        refreshControls();
    });
    connect(m_controls, &PlayerControls::volumeRequested, this, [this](int volume) {
        try {
            setVolume(volume);
        } catch (const AppError &) {
            emit error();
        }
    });
    connect(m_controls, &PlayerControls::muteRequested, this, [this](bool muted) {
        int flag = muted ? 1 : 0;
        if (m_mpv) mpv_set_property(m_mpv, "mute", MPV_FORMAT_FLAG, &flag);
        refreshControls();
    });

    m_refresh = new QTimer(this);
    m_refresh->setInterval(RefreshMs);
    connect(m_refresh, &QTimer::timeout, this, [this] {
        if (isVisible()) refreshControls();
    });
    m_refresh->start();
}

void MpvPlayer::guarded(void (MpvPlayer::*operation)())
{
    if (!m_enabled) return;
    try {
        (this->*operation)();
    } catch (const AppError &) {
        emit error();
    }
}

void MpvPlayer::refreshControls()
{
    if (!m_controls || !m_mpv) return;
    try {
        m_controls->showProgress(currentPosition(), duration(), m_medium.hasMedia,
                                 m_state == Playing);
        int muted = 0;
        mpv_get_property(m_mpv, "mute", MPV_FORMAT_FLAG, &muted);
        m_controls->showVolume(volume(), muted != 0);
    } catch (const AppError &) {
        // Shown again at the next refresh.
    }
}

void MpvPlayer::setPlayerEnabled(bool enabled)
{
    m_enabled = enabled;
    m_controls->setEnabled(enabled);
    if (!enabled && m_menu) m_menu->close();
}

void MpvPlayer::togglePlay()
{
    guarded(m_state == Playing ? &MpvPlayer::pause : &MpvPlayer::play);
}

void MpvPlayer::showContextMenu(const QPoint &globalPos)
{
    if (!m_menu) {
        m_menu = new QMenu(this);
    }
    m_menu->clear();
    QAction *playPause =
        m_menu->addAction(m_state == Playing ? QStringLiteral("一時停止") : QStringLiteral("再生"),
                          this, &MpvPlayer::togglePlay);
    playPause->setEnabled(m_medium.hasMedia);
    QAction *stopAction =
        m_menu->addAction(QStringLiteral("停止"), this, [this] { guarded(&MpvPlayer::stop); });
    stopAction->setEnabled(m_medium.hasMedia);
    m_menu->addSeparator();
    const bool full = window()->isFullScreen();
    QAction *fullScreen = m_menu->addAction(QStringLiteral("全画面表示"), this,
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
        int button = 0;
        switch (mouse->button()) {
        case Qt::LeftButton:
            button = 1;
            break;
        case Qt::RightButton:
            button = 2;
            break;
        case Qt::MiddleButton:
            button = 4;
            break;
        default:
            break;
        }
        if (button) {
            const QPointF at = mouse->position();
            emit clicked(button, shiftState(mouse->modifiers()), at.x(), at.y());
        }
        return false;
    }
    case QEvent::MouseButtonDblClick: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (m_enabled && mouse->button() == Qt::LeftButton)
            emit fullScreenRequested(!window()->isFullScreen());
        return true;
    }
    case QEvent::ContextMenu:
        if (m_enabled) showContextMenu(static_cast<QContextMenuEvent *>(event)->globalPos());
        return true;
    case QEvent::Wheel: {
        if (!m_enabled) return true;
        m_wheel += static_cast<QWheelEvent *>(event)->angleDelta().y();
        const int steps = m_wheel / 120;
        m_wheel -= steps * 120;
        if (steps != 0) {
            try {
                setVolume(volume() + steps * WheelVolumeStep);
            } catch (const AppError &) {
                emit error();
            }
        }
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
    MediaPlayer::keyPressEvent(event);
}
