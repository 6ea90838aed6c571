// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class MediaPlayer;
class QObject;

// Holds off the screen saver and screen blanking while the player plays a
// video (not while paused or stopped, not for audio only): through
// org.freedesktop.ScreenSaver Inhibit/UnInhibit, or where that is missing the
// desktop portal's org.freedesktop.portal.Inhibit (idle). Released at pause,
// stop, the end of the medium and exit. When neither answers, the one that
// appears on the bus later is used.
// Returns nullptr where there is none (no session bus, Windows).
QObject *createScreenSaverInhibitor(MediaPlayer *player, QObject *parent);
