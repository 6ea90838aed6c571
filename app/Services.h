// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

class DiskWriter;
class QWidget;
class MediaPlayer;

// Message boxes and file dialogs. Handlers never call QMessageBox or
// QFileDialog themselves: they go through this interface, which tests answer
// by script.
enum class MsgIcon { Information, Warning, Error, Question };
enum class MsgButtons { Ok, YesNo };
enum class MsgResult { Ok, Yes, No };

struct Message {
    QString caption;
    QString text;
    MsgIcon icon = MsgIcon::Information;
    MsgButtons buttons = MsgButtons::Ok;
    MsgResult defaultButton = MsgResult::Ok;
    // Own captions of the Yes and No buttons, when the box does not use the
    // standard ones.
    QString yesText;
    QString noText;
};

// A question with the question icon, Yes and No, No being the default.
inline Message question(const QString &caption, const QString &text)
{
    Message m;
    m.caption = caption;
    m.text = text;
    m.icon = MsgIcon::Question;
    m.buttons = MsgButtons::YesNo;
    m.defaultButton = MsgResult::No;
    return m;
}

// A notice with the given icon and an OK button.
inline Message notice(const QString &caption, const QString &text, MsgIcon icon)
{
    Message m;
    m.caption = caption;
    m.text = text;
    m.icon = icon;
    return m;
}

struct FileDialogOptions {
    QString directory; // where the dialog starts; empty: the toolkit's choice
    // Qt filter text; the dialog shows each filter's name only, e.g.
    // "テキストファイル(*.txt) (*.txt);;すべてのファイル (*)".
    QString filter;
    QString defaultSuffix; // save dialogs: appended to a name typed without one
    QString fileName;      // save dialogs: the name offered in the directory
    bool confirmOverwrite = true;
    // Save dialogs: the filter chosen gives the suffix appended to a name
    // typed without one (the first pattern of each filter), so that the
    // filter chooses the file's format.
    bool suffixFollowsFilter = false;
};

class Dialogs
{
public:
    virtual ~Dialogs() = default;
    // A modal message box; returns the button chosen (Ok for an Ok box, and
    // the default's opposite No when a Yes/No box is closed otherwise).
    virtual MsgResult message(QWidget *parent, const Message &message) = 0;
    // Modal file dialogs; an empty result (or list) means cancelled.
    virtual QString openFile(QWidget *parent, const FileDialogOptions &options) = 0;
    virtual QStringList openFiles(QWidget *parent, const FileDialogOptions &options) = 0;
    virtual QString saveFile(QWidget *parent, const FileDialogOptions &options) = 0;
    // A modal folder dialog (only options.directory counts); empty: cancelled.
    virtual QString openFolder(QWidget *parent, const FileDialogOptions &options) = 0;
};

// The local clock and a high-resolution counter (to seed random draws).
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // The same moment in ms since the epoch (the system clock's without a
    // time zone lookup).
    virtual qint64 nowMs() const { return now().toMSecsSinceEpoch(); }
    virtual quint64 highResolutionTicks() const = 0;
    // A steady clock in ms from any start: never set back or forward, and
    // standing still while the program is stopped or the machine sleeps
    // (time spent is measured on it).
    virtual qint64 steadyMs() const = 0;
};

// The pause before the playlist opens its next entry. It never blocks the GUI
// thread: the continuation runs later on it.
class Delay
{
public:
    virtual ~Delay() = default;
    virtual void after(int milliseconds, QObject *context, std::function<void()> continuation) = 0;
};

// Opening a document or address with the desktop's default application,
// without waiting for it. False when no program could be started for it.
class Shell
{
public:
    virtual ~Shell() = default;
    virtual bool open(QWidget *owner, const QString &fileOrAddress) = 0;
};

// The progress shown on the program's taskbar button or dock icon, with the
// states as the taskbar numbers them. hideProgress() takes it away: nothing is
// loaded, or the program ends.
class Taskbar
{
public:
    enum State { TBPF_NOPROGRESS = 0, TBPF_NORMAL = 2, TBPF_PAUSED = 8 };
    virtual ~Taskbar() = default;
    virtual void setProgress(QWidget *window, int state, quint64 value, quint64 max) = 0;
    virtual void hideProgress(QWidget *window) = 0;
};

// Everything the windows need from outside, so that tests can replace each
// piece: the player, the boxes and dialogs, the clock, the pause, the shell,
// the taskbar and the directory where the program keeps its files.
struct Services {
    std::function<MediaPlayer *(QWidget *parent)> makePlayer;
    Dialogs *dialogs = nullptr;
    // Where boxes go while nobody is there to answer them (a close asked for
    // by a signal or the session manager): standard error, with each box's
    // default answer. Null: the ordinary dialogs.
    Dialogs *consoleDialogs = nullptr;
    Clock *clock = nullptr;
    Delay *delay = nullptr;
    Shell *shell = nullptr;
    Taskbar *taskbar = nullptr;
    QString programDir;     // where Pelmora.ini, Resume.ini and Playlist.txt lie
    QString programDirNote; // said once at start-up: where the files are written instead
    QString executableDir;  // the program's own directory (help and readme)
    QString programName = QStringLiteral("pelmora"); // the program file's name without extension
    QStringList arguments; // the command line after the program's own name
    // The place of this program among the user's running ones (0 for the
    // first): its main window opens that many steps down and to the right,
    // so that it does not hide another's.
    int instanceNumber = 0;
    // Runs the slow writes (the journal, the place store) away from the
    // windows; none: the main window writes at once, itself (tests).
    DiskWriter *diskWriter = nullptr;
};

// The real services, for the running program.
Services realServices(const QStringList &arguments);
