// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/EngineMemory.h"

// Not measured on Windows: its heap is left as the system sets it.
void keepEngineMemory() {}
