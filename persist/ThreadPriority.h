// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Lowers the priority of the calling thread, for good: a worker that reads
// and parses in the background then gives way to the GUI thread on a busy
// machine, instead of taking its core for a time slice. For threads of the
// program's own pools only (a raised priority cannot always be taken back).
void lowerCurrentThreadPriority();
