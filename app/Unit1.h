// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/MainWindowHost.h"

#include <QMainWindow>
#include <QPointer>

class MediaPlayer;
class MediumSession;
class QAction;
class QLabel;
class QMenu;
class QTimer;

// The main window: hosts the player, carries the only menu bar, shows the
// status bar and owns the two timers (Timer1: the status update, Timer2: the
// playlist's auto-advance). Its handlers are spread over the folders of the
// subsystems they belong to:
//   app/Unit1.cpp         start-up, menu, small handlers
//   app/Unit1Open.cpp     OpenFile, the open commands, dropped files
//   app/Unit1Monitor.cpp  the status update and the taskbar progress
//   persist/Unit1Resume.cpp  the close query, save and exit, exit, resume
//   commands/Unit1Seek.cpp   the eight seek commands
//   lists/Unit1Advance.cpp   the playlist's auto-advance
//   about/Unit1Help.cpp      help and readme
class TForm1 : public QMainWindow, public MainWindowHost
{
    Q_OBJECT

public:
    explicit TForm1(const Services &services, QWidget *parent = nullptr);
    ~TForm1() override;

    const Services &services() const override { return m_services; }

    // --- child controls ---
    MediaPlayer *WindowsMediaPlayer1 = nullptr;
    QLabel *StatusBar1 = nullptr; // the status bar's single panel
    QTimer *Timer1 = nullptr;     // status update, 1000 ms
    QTimer *Timer2 = nullptr;     // playlist auto-advance, 1000 ms

    // menus
    QMenu *F1 = nullptr, *R1 = nullptr, *P2 = nullptr, *O2 = nullptr, *H1 = nullptr;
    // menu items
    QAction *O1 = nullptr, *T1 = nullptr, *R3 = nullptr, *E1 = nullptr, *X1 = nullptr;
    QAction *P1 = nullptr;
    QAction *N60A1 = nullptr, *N30B1 = nullptr, *N10C1 = nullptr, *N5D1 = nullptr;
    QAction *N60E1 = nullptr, *N30F1 = nullptr, *N10G1 = nullptr, *N5H1 = nullptr;
    QAction *N7 = nullptr, *ABR1 = nullptr, *N9 = nullptr;
    QAction *C1 = nullptr, *N2 = nullptr, *X2 = nullptr, *R2 = nullptr;
    QAction *H2 = nullptr, *ReadmeR1 = nullptr, *A1 = nullptr;

    // --- state ---
    QString CurrentPosition; // the position as last shown, "hh:nn:ss"
    bool RecentDisable = false;

    // --- start-up and small handlers ---
    void FormCreate();
    void FormShow();
    void FormKeyPress(QChar key);
    void WindowsMediaPlayer1Click(int nButton, int nShiftState, double fX, double fY);
    void WindowsMediaPlayer1Error();
    void WindowsMediaPlayer1Disconnect(int result);
    void N2Click();
    void A1Click();
    void R3Click();
    void N7Click();
    void ABR1Click();
    void N9Click();
    void R2Click();

    // --- opening media ---
    void OpenFile(const QString &FileName) override;
    void O1Click();
    void T1Click();
    void DropFiles(const QStringList &names);

    // --- playback monitor ---
    void Timer1Timer();
    void ProgressBarTB(QWidget *hwnd, int tbpFlags, quint64 Value, quint64 Max);
    // No progress on the taskbar: the player has lost its medium, or the
    // program ends.
    void hideProgressTB();

    // --- saving and resuming ---
    bool FormCloseQuery();
    void E1Click();
    void X1Click();
    void P1Click();

    // --- seeking ---
    void N60A1Click();
    void N30B1Click();
    void N10C1Click();
    void N5D1Click();
    void N60E1Click();
    void N30F1Click();
    void N10G1Click();
    void N5H1Click();

    // --- playlist auto-advance ---
    void Timer2Timer();
    bool advancePending() const { return m_advancePending; }

    // --- help ---
    void H2Click();
    void ReadmeR1Click();

    // The recent list (the entries of the recent-files window's combo box).
    QStringList recentList() const;

    // Paths of the program's files, built anew at each use.
    QString settingsPath() const override;
    QString resumePath() const;
    QString playlistPath() const override;

    // HandlerContext
    Dialogs *handlerDialogs() const override;
    QWidget *handlerParent() const override { return const_cast<TForm1 *>(this); }
    QString handlerProgramName() const override { return m_services.programName; }

    // MainWindowHost, over the members above
    MediaPlayer *player() const override { return WindowsMediaPlayer1; }
    bool recentDisabled() const override { return RecentDisable; }
    void setRecentDisabled(bool off) override;
    bool autoAdvanceOn() const override;
    void setAutoAdvance(bool on) override;
    QString currentPositionText() const override { return CurrentPosition; }
    QRect hostFrameGeometry() const override { return frameGeometry(); }
    QScreen *hostScreen() const override { return screen(); }
    void readStudyLog(QDate today, StudyLogReader done) override;

    // A close asked for where nobody may be there to answer a box: its boxes
    // go to standard error (the session manager's question at log-off; a
    // signal). forced: the option that prevents closing does not hold (a
    // signal to end the program). Returns whether the window closed.
    bool closeUnattended(bool forced);

    // The session of the recording loaded (app/MediumSession.h): opening,
    // its place, its course settings, the study log, the close's steps.
    // Made in Flow before FormCreate.
    MediumSession *session() const { return m_session; }
    void setSession(MediumSession *session) { m_session = session; }
    QString exactMediumName(const QString &iniText) override;
    // "このフォルダーの再生設定" for the folder of the medium loaded.
    void showFolderSettings();

    // Full screen of the main window (the video surface is never reparented).
    void setFullScreenVideo(bool on);

signals:
    void fullScreenChanged(bool on);

public:
protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void buildMenu();
    void togglePause();
    void showSecondary(QWidget *window);
    void seekBy(double step);
    void continueAdvance();
    void followEndForAdvance();
    // The status update's pace follows playback (app/Unit1Monitor.cpp).
    void followPlayback();
    static constexpr int IdleMonitorMs = 60000;
    bool m_refreshQueued = false;
    void setCaptionFromName(const QString &name);
    void openDocument(const QString &caption, const QString &path, const QString &target);
    // Where the open dialogs start: the folder of the last medium opened.
    QString openFolder() const;

    Services m_services;
    bool m_shown = false;
    bool m_advancePending = false;
    // The medium loaded ended by itself (played, jumped or skipped into its
    // end): the auto-advance goes on even when its ticks missed the last
    // seconds.
    bool m_mediumEnded = false;
    bool m_closeAllowed = false; // the close query has already allowed this close
    bool m_unattended = false;   // see closeUnattended()
    bool m_forcedClose = false;
    MediumSession *m_session = nullptr;
};

// Program-wide flags of the main window's unit.
extern bool SaveClicked; // the save-and-exit command was chosen
extern bool Shitei;      // the next OpenFile takes the start-position path

// The one main window instance.
extern TForm1 *Form1;

// The caption name of a file: the text after the last "\", "/" or ":", cut
// before its last full stop.
QString captionName(const QString &fileName);
// The file-name part: the text after the last "\", "/" or ":".
QString fileNamePart(const QString &fileName);
