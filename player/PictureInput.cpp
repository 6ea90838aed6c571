// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/PictureInput.h"

#include "player/PlayerControls.h"
#include "player/PlayerKeys.h"
#include "player/SleepTimer.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>

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

// A track by its language and title as the medium names them.
QString trackName(const MediaPlayer::Track &track)
{
    QStringList parts;
    if (!track.language.isEmpty()) parts << track.language;
    if (!track.title.isEmpty()) parts << track.title;
    if (parts.isEmpty()) parts << QStringLiteral("トラック %1").arg(track.id);
    return parts.join(QStringLiteral(" - "));
}

} // namespace

PictureInput::PictureInput(MediaPlayer &player, SleepTimer &sleep)
    : QObject(&player), m_player(player), m_sleep(sleep)
{
    m_clickTimer = new QTimer(this);
    m_clickTimer->setSingleShot(true);
    connect(m_clickTimer, &QTimer::timeout, this,
            [this] { emit m_player.clicked(1, m_clickShift, m_clickAt.x(), m_clickAt.y()); });
}

void PictureInput::watch(QWidget *area)
{
    m_area = area;
    area->installEventFilter(this);
}

void PictureInput::userActed()
{
    m_sleep.userActed();
}

void PictureInput::extendSleep()
{
    if (m_player.playerEnabled()) m_sleep.extend();
}

bool PictureInput::menuKey(const QKeyEvent &event)
{
    const bool menuKey = event.key() == Qt::Key_Menu ||
                         (event.key() == Qt::Key_F10 && event.modifiers() == Qt::ShiftModifier);
    if (!menuKey) return false;
    if (m_player.playerEnabled() && m_area) showMenu(m_area->mapToGlobal(m_area->rect().center()));
    return true;
}

void PictureInput::closeMenu()
{
    if (m_menu) m_menu->close();
}

void PictureInput::togglePlay()
{
    request([this] {
        if (m_player.playState() == MediaPlayer::Playing)
            m_player.pause();
        else
            m_player.play();
    });
}

// ---- the menu -------------------------------------------------------------

void PictureInput::showMenu(const QPoint &globalPos)
{
    if (!m_menu) {
        m_menu = new QMenu(&m_player);
        m_menu->setObjectName(QStringLiteral("contextMenu"));
    }
    m_menu->clear();
    addTransport();
    addOffer();
    addListening();
    addChapters();
    addTracks();
    addClosing();
    m_menu->popup(globalPos);
}

void PictureInput::addTransport()
{
    const bool loaded = m_player.hasCurrentMedia();
    QAction *playPause = m_menu->addAction(m_player.playState() == MediaPlayer::Playing
                                               ? QStringLiteral("一時停止(&P)")
                                               : QStringLiteral("再生(&P)"),
                                           this, &PictureInput::togglePlay);
    playPause->setEnabled(loaded);
    QAction *stop = m_menu->addAction(QStringLiteral("停止(&S)"), this,
                                      [this] { request([this] { m_player.stop(); }); });
    stop->setEnabled(loaded);
    m_menu->addSeparator();
}

// The kept place on offer, while it stands: go there, or forget it.
void PictureInput::addOffer()
{
    const QString text = m_player.offeredPlaceText();
    if (text.isEmpty()) return;
    m_menu->addAction(QStringLiteral("前回の位置へ (%1)").arg(text), this,
                      [this] { request([this] { m_player.takeOfferedPlace(); }); });
    m_menu->addAction(QStringLiteral("この位置を忘れる"), this,
                      [this] { request([this] { m_player.forgetOfferedPlace(); }); });
    m_menu->addSeparator();
}

// The speed, silence skipping, voice boost and the sleep timer.
void PictureInput::addListening()
{
    QMenu *speeds = m_menu->addMenu(QStringLiteral("再生速度(&R)"));
    PlayerControls::fillSpeedMenu(
        speeds, m_player.speed(), m_player.skipsSilence(), m_player.voiceBoost(), this,
        [this](double value) { request([&] { userSetSpeed(m_player, value); }); },
        [this](bool on) { request([&] { userSetSkipSilence(m_player, on); }); },
        [this](bool on) { request([&] { userSetVoiceBoost(m_player, on); }); });
    const bool boosting = m_player.voiceBoost();
    QAction *boost =
        m_menu->addAction(QStringLiteral("声を聞きやすく(&V)"), this, [this, on = boosting] {
            request([&] { userSetVoiceBoost(m_player, !on); });
        });
    boost->setCheckable(true);
    boost->setChecked(boosting);
    QMenu *sleep = m_menu->addMenu(QStringLiteral("スリープタイマー(&Z)"));
    PlayerControls::fillSleepMenu(
        sleep, m_sleep.mode(), m_sleep.minutes(), !m_player.chapters().isEmpty(), this,
        [this](SleepTimer::Mode mode, int minutes) {
            request([&] { m_sleep.set(mode, minutes); });
        },
        [this] { extendSleep(); });
}

void PictureInput::addChapters()
{
    const int count = static_cast<int>(m_player.chapters().size());
    if (count == 0) return;
    const int chapter = m_player.currentChapter();
    QAction *previous = m_menu->addAction(QStringLiteral("前のチャプター(&B)"), this, [this] {
        request([&] { m_player.setCurrentChapter(m_player.currentChapter() - 1); });
    });
    previous->setEnabled(chapter > 0);
    QAction *next = m_menu->addAction(QStringLiteral("次のチャプター(&N)"), this, [this] {
        request([&] { m_player.setCurrentChapter(m_player.currentChapter() + 1); });
    });
    next->setEnabled(chapter + 1 < count);
}

// The audio tracks and the subtitles, each a submenu once the medium has one.
void PictureInput::addTracks()
{
    const QList<MediaPlayer::Track> tracks = m_player.tracks();
    QMenu *audio = nullptr;
    QMenu *subtitles = nullptr;
    for (const MediaPlayer::Track &track : tracks) {
        const bool isAudio = track.type == MediaPlayer::Track::Audio;
        QMenu *&menu = isAudio ? audio : subtitles;
        if (!menu) {
            menu =
                m_menu->addMenu(isAudio ? QStringLiteral("音声(&A)") : QStringLiteral("字幕(&U)"));
            if (!isAudio) {
                QAction *none = menu->addAction(QStringLiteral("字幕なし"), this, [this] {
                    request([&] { m_player.selectTrack(MediaPlayer::Track::Subtitle, 0); });
                });
                none->setCheckable(true);
                none->setChecked(
                    std::none_of(tracks.cbegin(), tracks.cend(), [](const MediaPlayer::Track &t) {
                        return t.type == MediaPlayer::Track::Subtitle && t.selected;
                    }));
            }
        }
        QAction *choice = menu->addAction(trackName(track), this, [this, track] {
            request([&] { m_player.selectTrack(track.type, track.id); });
        });
        choice->setCheckable(true);
        choice->setChecked(track.selected);
    }
}

// Forgetting what was played, the program's own items, and full screen.
void PictureInput::addClosing()
{
    QAction *forget = m_menu->addAction(QStringLiteral("再生済みの記録を消去(&C)"), this, [this] {
        if (m_player.playerEnabled()) m_player.clearListened();
    });
    forget->setEnabled(m_player.hasCurrentMedia());
    if (!m_player.menuActions().isEmpty()) {
        m_menu->addSeparator();
        m_menu->addActions(m_player.menuActions());
    }

    m_menu->addSeparator();
    const bool full = m_player.window()->isFullScreen();
    QAction *fullScreen = m_menu->addAction(QStringLiteral("全画面表示(&F)"), this, [this, full] {
        emit m_player.fullScreenRequested(!full);
    });
    fullScreen->setCheckable(true);
    fullScreen->setChecked(full);
}

// ---- the mouse ----------------------------------------------------------

bool PictureInput::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_area) return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        pressed(*static_cast<QMouseEvent *>(event));
        return false;
    case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton) return true;
        m_clickTimer->stop();
        if (!m_player.playerEnabled()) return true;
        userActed();
        emit m_player.fullScreenRequested(!m_player.window()->isFullScreen());
        return true;
    case QEvent::ContextMenu:
        if (m_player.playerEnabled())
            showMenu(static_cast<QContextMenuEvent *>(event)->globalPos());
        return true;
    case QEvent::Wheel:
        if (m_player.playerEnabled()) wheeled(static_cast<QWheelEvent *>(event)->angleDelta().y());
        return true;
    case QEvent::KeyPress:
        if (m_player.playerEnabled() && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
            emit m_player.fullScreenRequested(false);
            return true;
        }
        return false;
    default:
        // Nothing else is asked of the player: it may be going away.
        return false;
    }
}

void PictureInput::pressed(const QMouseEvent &mouse)
{
    const QPointF at = mouse.position();
    const int shift = shiftState(mouse.modifiers());
    switch (mouse.button()) {
    case Qt::LeftButton:
        if (m_player.playerEnabled()) userActed();
        // A single click waits to see whether it becomes a double-click: a
        // double-click must not also pause or resume.
        m_clickAt = at;
        m_clickShift = shift;
        m_clickTimer->start(QApplication::doubleClickInterval());
        break;
    case Qt::RightButton:
        emit m_player.clicked(2, shift, at.x(), at.y());
        break;
    case Qt::MiddleButton:
        emit m_player.clicked(4, shift, at.x(), at.y());
        break;
    default:
        break;
    }
}

void PictureInput::wheeled(int delta)
{
    userActed();
    m_wheel += delta;
    const int steps = m_wheel / 120;
    m_wheel -= steps * 120;
    if (steps != 0)
        request([&] { m_player.setVolume(m_player.volume() + steps * WheelVolumeStep); });
}
