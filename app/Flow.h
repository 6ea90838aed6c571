// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/Services.h"

// The one place where the program's pieces are made and wired together.
//
// Start-up: creates the windows one after the other, TForm1 to TForm10,
// each with its creation handler (where it has one) run to its end before
// the next, and the session of the recording loaded (MediumSession) before
// the main window's creation handler; all secondary windows stay hidden and
// live until the end of the program. Sets the instances Form1 .. Form10.
// Then it wires what the windows do not know of each other, grouped by
// direction: the player to the windows, the program to the desktop (MPRIS,
// the screen saver), and the desktop's requests to the program.
void createForms(const Services &services);
// Destroys every window (the end of the program, or the end of a test).
void destroyForms();
