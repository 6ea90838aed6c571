// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/EngineMemory.h"

#include <cstdlib> // defines __GLIBC__ with the GNU C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void keepEngineMemory()
{
#if defined(__GLIBC__)
    // glibc gives each busy thread an arena of its own, and the engine opens
    // each medium on a new thread: with the defaults its probe buffer came
    // fresh at every open (most likely from a heap of that thread's arena
    // that went back to the system when freed). One arena keeps it in the
    // main heap. Blocks up to 16 MiB come from the heap instead of their own
    // mapping (the probe's would be unmapped on free), and up to 32 MiB free
    // at the heap's top stay with the process.
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_THRESHOLD, 16 << 20);
    mallopt(M_TRIM_THRESHOLD, 32 << 20);
#endif
}
