// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/ThreadPriority.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

void lowerCurrentThreadPriority()
{
#if defined(__linux__)
    // On Linux a thread has a nice value of its own.
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    setpriority(PRIO_PROCESS, tid, 4);
#endif
}
