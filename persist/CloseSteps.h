// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/AppError.h"
#include "persist/ListFile.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// What the close saves, gathered from the windows and the player before any
// of it is written.
struct Closing {
    QString settingsPath, resumePath, playlistPath;
    // The player's settings; nothing when it refused to tell (the failure is
    // in failures already).
    std::optional<int> volume;
    std::optional<double> speed;
    bool skipSilence = false;
    bool voiceBoost = false;
    QStringList failures;
    bool recentDisabled = false;
    QStringList recent;
    int recentCount = 10;
    bool autoAdvance = false;
    int playlistIndex = -1;
    QStringList playlist;
    TextEncoding playlistEncoding = TextEncoding::Cp932;
    bool saveClicked = false;
    // Stops the player and releases its medium.
    std::function<void()> releaseMedium;
};

// Runs one step of the close: a failure is noted and the close goes on.
// Returns whether the step went through.
template <class Body> bool closeStep(QStringList &failures, Body &&body)
{
    try {
        body();
        return true;
    } catch (const AppError &e) {
        failures << e.message();
    } catch (const std::exception &e) {
        failures << QString::fromLocal8Bit(e.what());
    }
    return false;
}

// "Pelmora.ini" (the volume, the playback settings, the recent list or the
// history switched off) and the playlist's state beside the resume record,
// each on its own.
void saveProgramSettings(const Closing &c, QStringList &failures);
// "Playlist.txt", when the playlist holds entries.
void savePlaylistFile(const Closing &c, QStringList &failures);
