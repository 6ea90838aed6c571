// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class TForm1;

// What a Linux desktop expects of a media player, on the session bus: the
// MPRIS2 interfaces (media keys, the desktop's media widgets; app/Mpris.h) and
// holding off the screen saver while a video plays (app/ScreenSaver.h).
// Without a session bus, and on Windows, it is silently absent.
class DesktopIntegration : public QObject
{
    Q_OBJECT

public:
    explicit DesktopIntegration(TForm1 *form);
    ~DesktopIntegration() override;

    // True when a session bus is connected: the pieces are made as soon as
    // the event loop runs.
    bool active() const { return m_bus; }

private:
    bool m_bus = false;
    QObject *m_mpris = nullptr;
    QObject *m_inhibitor = nullptr;
};
