// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where the program keeps "Pelmora.ini", "Resume.ini" and "Playlist.txt":
// the directory of the program's executable, so that a portable copy carries
// its state along. When that directory cannot be written (the program is
// installed system-wide, or a portable copy lies on a read-only disk) the
// per-user configuration directory is used instead, for reading and writing
// alike; the records that lie beside the program are read from there all the
// same (seedProgramDir), and *note then tells once where the writes go.
QString chooseProgramDir(const QString &executableDir, const QString &userConfigDir,
                         QString *note = nullptr);
// Copies the program's records ("Pelmora.ini", "Resume.ini", "Playlist.txt",
// "History.db") that lie in from into to, when to holds none of them yet (the
// first run that writes elsewhere): from then on to is where they are read
// and written. Returns how many were copied.
int seedProgramDir(const QString &from, const QString &to);

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
