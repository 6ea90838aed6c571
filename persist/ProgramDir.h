// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where the program keeps "Pelmora.ini", "Resume.ini" and "Playlist.txt":
// the directory of the program's executable, so that a portable copy carries
// its state along. When that directory cannot be written (the program is
// installed system-wide) the per-user configuration directory is used
// instead, for reading and writing alike.
QString chooseProgramDir(const QString &executableDir, const QString &userConfigDir);

// Removes from the program's directory what an atomic write that was cut
// short (the process killed) leaves behind: the temporary "<name>.XXXXXX"
// (six letters) of "Pelmora.ini", "Resume.ini", "Playlist.txt" and
// "Resume.journal" (and the journals of further running programs,
// "Resume-2.journal" ...), and the probe ".pelmora-probe-XXXXXX", each only when it
// was last changed more than a minute ago (a younger one may be another
// running instance's write). A suffix that a person would give a copy (all
// small letters, all capitals, or a capital and small letters: "backup",
// "Before") is left alone. Never raises; returns how many files were removed.
int removeStaleTemporaries(const QString &dir);

// The full path of a file in the program's directory, built anew at each use.
QString programFile(const QString &dir, const QString &fileName);

inline const char kSettingsFile[] = "Pelmora.ini";
inline const char kResumeFile[] = "Resume.ini";
inline const char kPlaylistFile[] = "Playlist.txt";
// The resume journal (persist/ResumeJournal.h), beside "Resume.ini".
inline const char kJournalFile[] = "Resume.journal";
