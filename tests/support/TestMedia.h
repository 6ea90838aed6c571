// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Writes a WAV file of a quiet sine tone (8 kHz, mono, 16 bit) for tests of
// the real engine.
bool writeTestWav(const QString &path, double seconds);
