// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Mpris.h"

// Windows has no MPRIS; its media keys reach the window as key presses.
bool Mpris::publish()
{
    return false;
}
