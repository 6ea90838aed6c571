// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ScreenSaver.h"

// Nothing on Windows.
QObject *createScreenSaverInhibitor(MediaPlayer *, QObject *)
{
    return nullptr;
}
