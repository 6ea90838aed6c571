// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/CloseSteps.h"

#include "persist/IniFile.h"
#include "persist/SettingsKeys.h"

void saveProgramSettings(const Closing &c, QStringList &failures)
{
    const IniFile settings(c.settingsPath);
    // The volume, and with it the playback speed.
    closeStep(failures, [&] {
        if (c.volume) settings.writeInteger(SettingsKeys::Volume, *c.volume);
    });
    closeStep(failures, [&] {
        if (!c.speed) return;
        settings.writeFloat(SettingsKeys::PlaybackSpeed, *c.speed);
        settings.writeBool(SettingsKeys::PlaybackSkipSilence, c.skipSilence);
        settings.writeBool(SettingsKeys::PlaybackVoiceBoost, c.voiceBoost);
    });
    // The recent list, or the history switched off.
    closeStep(failures, [&] {
        if (c.recentDisabled) {
            settings.writeBool(SettingsKeys::RecentEnable, false);
            return;
        }
        for (int i = 1; i <= c.recentCount; ++i)
            settings.writeString(SettingsKeys::RecentFile,
                                 i <= c.recent.size() ? c.recent.at(i - 1) : QString(), i);
    });
    // The playlist state, only with auto-advance on.
    closeStep(failures, [&] {
        if (!c.autoAdvance) return;
        const IniFile resume(c.resumePath);
        resume.writeBool(SettingsKeys::PlaylistEnabled, true);
        resume.writeInteger(SettingsKeys::PlaylistIndex, c.playlistIndex);
    });
}

void savePlaylistFile(const Closing &c, QStringList &failures)
{
    closeStep(failures, [&] {
        if (!c.playlist.isEmpty()) writeListFile(c.playlistPath, c.playlist, c.playlistEncoding);
    });
}
