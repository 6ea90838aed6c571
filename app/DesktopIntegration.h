// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class MediaPlayer;
class Mpris;

// What a Linux desktop expects of a media player, on the session bus: the
// MPRIS2 interfaces (media keys, the desktop's media widgets; app/Mpris.h) and
// holding off the screen saver while a video plays (app/ScreenSaver.h). It
// knows the player, no window: the program's wiring connects MPRIS to the
// windows. Without a session bus, and on Windows, it is silently absent.
class DesktopIntegration : public QObject
{
    Q_OBJECT

public:
    DesktopIntegration(MediaPlayer *player, QObject *parent);
    ~DesktopIntegration() override;

    // True when a session bus is connected.
    bool active() const { return m_bus; }
    // MPRIS, on the bus once publish() has run (also without a bus: it then
    // only keeps its state).
    Mpris *mpris() const { return m_mpris; }
    // Puts MPRIS on the bus and starts holding off the screen saver.
    void publish();

private:
    MediaPlayer *m_player;
    bool m_bus = false;
    Mpris *m_mpris = nullptr;
    QObject *m_inhibitor = nullptr;
};
