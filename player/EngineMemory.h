// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Sets how the C library's allocator keeps memory, before any thread starts.
// Opening a medium, the engine takes and zeroes a 10 MiB buffer for the
// probe and the decoders take theirs; memory the system hands out fresh
// costs a page fault per page, and on a virtual machine that is some 30 ms
// for the probe alone, paid again at every open if the memory went back to
// the system in between. Kept in the process, the next open reuses it.
void keepEngineMemory();
