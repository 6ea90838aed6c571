// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

// Turns the platform's requests to end the program (SIGTERM and SIGHUP on
// Unix) into a close request of the window, handled on the GUI thread, so
// that it goes through the close query like the close box.
void installQuitSignals(QWidget *window);
