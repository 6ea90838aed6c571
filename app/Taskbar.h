// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/DesktopInfo.h"
#include "app/Services.h"

#include <memory>

// The taskbar progress of this platform: on Linux the desktop's
// launcher-entry D-Bus signal (docks and panels that show progress honour
// it), on Windows the shell's taskbar list. Where neither exists the calls do
// nothing.
std::unique_ptr<Taskbar> makePlatformTaskbar();
