// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/Services.h"
#include "support/TestMedia.h"

#include <QDateTime>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>

class FakePlayer;
class TForm1;

// Dialogs answered by script: each message box is recorded and answered with
// the next scripted answer (or its default button when none is left); file
// dialogs return the next scripted name (or cancel).
class ScriptedDialogs : public Dialogs
{
public:
    MsgResult message(QWidget *parent, const Message &message) override;
    QString openFile(QWidget *parent, const FileDialogOptions &options) override;
    QStringList openFiles(QWidget *parent, const FileDialogOptions &options) override;
    QString saveFile(QWidget *parent, const FileDialogOptions &options) override;
    QString openFolder(QWidget *parent, const FileDialogOptions &options) override;

    QList<Message> shown;                 // every message box, in order
    QList<MsgResult> answers;             // answers to the next boxes
    QStringList openNames;                // names returned by openFile ("" = cancel)
    QList<QStringList> openNameLists;     // lists returned by openFiles
    QStringList saveNames;                // names returned by saveFile ("" = cancel)
    QStringList folderNames;              // folders returned by openFolder ("" = cancel)
    QList<FileDialogOptions> fileDialogs; // options of every file dialog shown
    // Called while a box is shown (as if events ran during a modal box).
    std::function<void(const Message &)> onMessage;
    // Whether the main window was visible when each box came up.
    QList<bool> mainWindowVisible;
};

class FixedClock : public Clock
{
public:
    QDateTime now() const override { return time; }
    quint64 highResolutionTicks() const override { return ++ticks; }
    // Follows the time, unless a test sets it apart (a clock set back or
    // forward, a machine that slept).
    qint64 steadyMs() const override { return steady ? *steady : time.toMSecsSinceEpoch(); }
    QDateTime time = QDateTime(QDate(2026, 12, 9), QTime(14, 0, 0, 700));
    mutable quint64 ticks = 12345;
    std::optional<qint64> steady;
};

// The pause of the auto-advance, run by hand: pending() continuations are run
// by fire().
class ManualDelay : public Delay
{
public:
    void after(int milliseconds, QObject *context, std::function<void()> continuation) override;
    int pending() const { return static_cast<int>(m_queue.size()); }
    void fire();
    int lastMilliseconds = 0;

private:
    struct Entry {
        QObject *context;
        std::function<void()> fn;
    };
    QList<Entry> m_queue;
};

// The pause as the program makes it: the continuation runs on the GUI thread
// after the given time (for tests with the real engine).
class RealDelay : public Delay
{
public:
    void after(int milliseconds, QObject *context, std::function<void()> continuation) override;
};

class RecordingShell : public Shell
{
public:
    bool open(QWidget *owner, const QString &target) override
    {
        Q_UNUSED(owner);
        opened << target;
        return launches;
    }
    QStringList opened;
    bool launches = true; // false: the desktop has no program for it
};

class RecordingTaskbar : public Taskbar
{
public:
    void setProgress(QWidget *, int state, quint64 value, quint64 max) override
    {
        calls << QStringLiteral("%1:%2/%3").arg(state).arg(value).arg(max);
    }
    void hideProgress(QWidget *) override { calls << QStringLiteral("hide"); }
    QStringList calls;
};

// One run of the program with the player double, scripted dialogs, a fixed
// clock and a temporary program directory. start() creates the seven windows
// as the program does; the files of the program directory can be prepared
// before and inspected after.
class TestProgram
{
public:
    TestProgram();
    ~TestProgram();

    // Creates the windows (TForm1..TForm7); show: also shows the main window
    // (which runs FormShow).
    TForm1 *start(const QStringList &arguments = {}, bool show = true);
    // Destroys the windows (the end of the run) but keeps the directory, so
    // that a second start() is the next run.
    void end();

    QString dir() const { return m_dir.path(); }
    QString file(const QString &name) const;
    void writeFile(const QString &name, const QByteArray &bytes) const;
    QByteArray readFile(const QString &name) const;
    bool exists(const QString &name) const;

    FakePlayer *player() const { return m_player; }
    TForm1 *form() const { return m_form; }

    ScriptedDialogs dialogs;
    ScriptedDialogs consoleDialogs; // the boxes of an unattended close
    FixedClock clock;
    ManualDelay delay;
    RecordingShell shell;
    RecordingTaskbar taskbar;
    // Another taskbar instead of the recording one (the platform's, on a
    // private bus); set before start().
    Taskbar *otherTaskbar = nullptr;
    // Prepares each new player double before the windows use it.
    std::function<void(FakePlayer *)> preparePlayer;
    // Makes the player instead of the double (e.g. the real engine); player()
    // is then null.
    std::function<MediaPlayer *(QWidget *)> makePlayer;
    // The real pause instead of the manual one (delay then stays unused).
    bool useRealDelay = false;
    // The slow writes' thread, as the program has one (none: at once).
    DiskWriter *diskWriter = nullptr;
    RealDelay realDelay;

private:
    QTemporaryDir m_dir;
    FakePlayer *m_player = nullptr;
    TForm1 *m_form = nullptr;
};
