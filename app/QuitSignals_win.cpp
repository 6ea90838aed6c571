// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/QuitSignals.h"

// On Windows the end of the session reaches the window as a close request
// through the toolkit's session management; nothing more is needed.
void installQuitSignals(QObject *, std::function<void()>) {}
