// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/Guard.h"
#include "app/Services.h"
#include "persist/Recording.h"
#include "persist/StudyLog.h"

#include <QRect>
#include <QString>

#include <memory>

class MediaPlayer;
class QScreen;

// What the secondary windows use of the main window: its player, the
// services, OpenFile, the history switch, the playlist's auto-advance, the
// position as last shown, the paths of the program's files and its place on
// the screen; and, as a HandlerContext, the way their handlers report a
// failing call. The main window implements it; the secondary windows know
// nothing else of it.
class MainWindowHost : public HandlerContext
{
public:
    // WindowsMediaPlayer1
    virtual MediaPlayer *player() const = 0;
    virtual const Services &services() const = 0;
    virtual void OpenFile(const QString &FileName) = 0;
    // RecentDisable: the recent-file history is switched off.
    virtual bool recentDisabled() const = 0;
    virtual void setRecentDisabled(bool off) = 0;
    // The playlist's auto-advance: on exactly while Timer2 runs.
    virtual bool autoAdvanceOn() const = 0;
    virtual void setAutoAdvance(bool on) = 0;
    // CurrentPosition: the position as the status update last showed it.
    virtual QString currentPositionText() const = 0;
    // The program's files, their paths built anew at each use.
    virtual QString settingsPath() const = 0;
    // The whole name of a medium whose name a settings file could not hold
    // (a line break, more than 2,047 characters, bytes that are no text).
    virtual QString exactMediumName(const QString &iniText) = 0;
    virtual QString playlistPath() const = 0;
    // The main window's frame on the screen, and that screen (may be null).
    virtual QRect hostFrameGeometry() const = 0;
    virtual QScreen *hostScreen() const = 0;
    // The study log as the place store keeps it, read and its figures
    // computed (up to today) off the GUI thread once the writes before it
    // are done; done runs on the GUI thread.
    using StudyLogReader = std::function<void(std::shared_ptr<const StudyReport>)>;
    virtual void readStudyLog(QDate today, StudyLogReader done) = 0;
};
