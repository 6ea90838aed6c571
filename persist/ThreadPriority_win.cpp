// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/ThreadPriority.h"

#include <windows.h>

void lowerCurrentThreadPriority()
{
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}
