// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

class QObject;

// Turns the platform's requests to end the program (SIGTERM and SIGHUP on
// Unix) into a call of onQuit on the GUI thread, so that the program ends
// through its close query like the close box. Installed before the first
// window is made: a request that comes during start-up (while the resume
// notice is open) is delivered as soon as the event loop runs, also inside
// the notice's own loop. context owns the delivery.
void installQuitSignals(QObject *context, std::function<void()> onQuit);
