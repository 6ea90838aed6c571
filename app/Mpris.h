// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QObject;
class TForm1;

// MPRIS2 on the session bus: the service "org.mpris.MediaPlayer2.pelmora"
// (a second running program takes "org.mpris.MediaPlayer2.pelmora.instance"
// followed by its process id) with the object /org/mpris/MediaPlayer2 and the
// interfaces org.mpris.MediaPlayer2 and org.mpris.MediaPlayer2.Player. Its
// commands act like the program's own: Play, Pause, Stop, Seek and
// SetPosition on the player, OpenUri through OpenFile, Quit through the close
// query, Raise brings the main window to the front.
// Returns nullptr where there is none (no session bus, Windows).
QObject *createMpris(TForm1 *form, QObject *parent);
