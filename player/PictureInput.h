// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/AppError.h"
#include "player/MediaPlayer.h"

#include <QObject>
#include <QPointF>
#include <QPointer>

class QKeyEvent;
class QMenu;
class QMouseEvent;
class QTimer;
class SleepTimer;

// The user's hand on the picture: a click (held back until it is clear that
// no double-click follows), a double-click (full screen), the wheel (the
// volume), Esc (leaving full screen) and the context menu, which holds every
// command of the component and the program's own items
// (MediaPlayer::addMenuAction). It reaches the component only through
// MediaPlayer, so that the libmpv player and the test double have the same
// menu. While the component is disabled it ignores the user.
class PictureInput : public QObject
{
    Q_OBJECT

public:
    // A child of the player; sleep is the player's sleep timer.
    PictureInput(MediaPlayer &player, SleepTimer &sleep);

    // The widget that shows the picture: its mouse and its Esc key.
    void watch(QWidget *area);
    // Builds the context menu from the player's state and pops it up.
    void showMenu(const QPoint &globalPos);
    // The menu key or Shift+F10: the menu opens at the middle of the
    // picture, so that every command is reachable from the keyboard. True
    // when the key was one of them.
    bool menuKey(const QKeyEvent &event);
    void closeMenu();

    // A request of the user's (the menu, the mouse, the control bar):
    // ignored while the component is disabled, an action of the user's for
    // the sleep timer; a call the engine refuses is the player's error().
    template <class Body> void request(Body &&body);
    // The user did something: the sleep timer's fade stops.
    void userActed();
    // Extending is the one action of the user that keeps a fade going: the
    // sound comes back and playback goes on.
    void extendSleep();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void pressed(const QMouseEvent &mouse);
    void wheeled(int delta);
    void togglePlay();
    void addTransport();
    void addOffer();
    void addListening();
    void addChapters();
    void addTracks();
    void addClosing();

    MediaPlayer &m_player;
    SleepTimer &m_sleep;
    QWidget *m_area = nullptr;
    QPointer<QMenu> m_menu;
    QTimer *m_clickTimer = nullptr; // a single click waits for a double-click
    QPointF m_clickAt;
    int m_clickShift = 0;
    int m_wheel = 0; // wheel movement not yet turned into volume steps
};

template <class Body> void PictureInput::request(Body &&body)
{
    if (!m_player.playerEnabled()) return;
    userActed();
    try {
        body();
    } catch (const AppError &) {
        emit m_player.error();
    }
}
