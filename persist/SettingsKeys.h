// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Every key of the settings file "Pelmora.ini" and the resume file
// "Resume.ini": its section, its name, the kind of its value and the default
// that a missing or unreadable value reads as. IniFile reads and writes them
// (IniFile::read*(const IniKey &) and write*(const IniKey &, ...)).
enum class IniKind { Integer, Boolean, Float, String };

struct IniKey {
    const char *section;
    const char *key;
    IniKind kind;
    double defaultValue; // Integer, Boolean (0 or 1), Float; a String reads as ""
};

namespace SettingsKeys
{

// --- "Pelmora.ini" ---
// The player's volume, 0 to 100, passed on as read.
inline constexpr IniKey Volume{"Volume", "Value", IniKind::Integer, 50};
// false: the recent-file history is switched off.
inline constexpr IniKey RecentEnable{"Recently", "Enable", IniKind::Boolean, 1};
// The recent list, newest first: "File1" to "File10".
inline constexpr IniKey RecentFile{"Recently", "File", IniKind::String, 0};
inline constexpr int RecentFileCount = 10;
// The playback speed, 0.5 to 3.0 (the player clamps it).
inline constexpr IniKey PlaybackSpeed{"Playback", "Speed", IniKind::Float, 1.0};
// Stretches of silence are passed quickly.
inline constexpr IniKey PlaybackSkipSilence{"Playback", "SkipSilence", IniKind::Boolean, 0};
// Voice boost: speech evened out and made clearer.
inline constexpr IniKey PlaybackVoiceBoost{"Playback", "VoiceBoost", IniKind::Boolean, 0};
// Smart rewind: going on after a pause starts a little earlier. Set in the
// file only; the program reads it at start-up.
inline constexpr IniKey PlaybackRewindAfterPause{"Playback", "RewindAfterPause", IniKind::Boolean,
                                                 1};
// "開いたら続きから再生する": opening a file goes on at its kept place at
// once instead of offering it. Set from the picture's context menu.
inline constexpr IniKey PlaybackResumeOnOpen{"Playback", "ResumeOnOpen", IniKind::Boolean, 0};
// The synced folder that this installation shares its places, heard
// ranges, settings, position records and study log through (empty: none),
// and its device's id and name there: made at the first use (a random id,
// the host's name). Set from the picture's context menu ("同期フォルダー...").
inline constexpr IniKey SyncFolder{"Sync", "Folder", IniKind::String, 0};
inline constexpr IniKey SyncDevice{"Sync", "Device", IniKind::String, 0};
inline constexpr IniKey SyncDeviceName{"Sync", "DeviceName", IniKind::String, 0};
// The transcript window's place and size on the screen, as last shown
// (absent until it has been shown once).
inline constexpr IniKey TranscriptLeft{"Transcript", "Left", IniKind::Integer, 0};
inline constexpr IniKey TranscriptTop{"Transcript", "Top", IniKind::Integer, 0};
inline constexpr IniKey TranscriptWidth{"Transcript", "Width", IniKind::Integer, 0};
inline constexpr IniKey TranscriptHeight{"Transcript", "Height", IniKind::Integer, 0};

// --- "Resume.ini" ---
// The medium and the position of the last exit that saved one; the presence
// of Second marks a resume record.
inline constexpr IniKey ResumeFileName{"Resume", "FileName", IniKind::String, 0};
inline constexpr IniKey ResumeSecond{"Resume", "Second", IniKind::Float, 0};
// The playlist's auto-advance was on at that exit, and its selected entry.
inline constexpr IniKey PlaylistEnabled{"Playlist", "Enabled", IniKind::Boolean, 0};
inline constexpr IniKey PlaylistIndex{"Playlist", "Index", IniKind::Integer, 0};

} // namespace SettingsKeys
