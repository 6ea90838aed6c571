// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where the program keeps "Pelmora.ini", "Resume.ini" and "Playlist.txt":
// the directory of the program's executable, so that a portable copy carries
// its state along. When that directory cannot be written (the program is
// installed system-wide) the per-user configuration directory is used
// instead, for reading and writing alike.
QString chooseProgramDir(const QString &executableDir, const QString &userConfigDir);

// The full path of a file in the program's directory, built anew at each use.
QString programFile(const QString &dir, const QString &fileName);

inline const char kSettingsFile[] = "Pelmora.ini";
inline const char kResumeFile[] = "Resume.ini";
inline const char kPlaylistFile[] = "Playlist.txt";
