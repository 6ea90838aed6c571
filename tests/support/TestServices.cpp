// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TestServices.h"

#include "app/Flow.h"
#include "app/Forms.h"
#include "app/Unit1.h"
#include "support/FakePlayer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <QtEndian>
#include <cmath>

MsgResult ScriptedDialogs::message(QWidget *, const Message &message)
{
    shown << message;
    mainWindowVisible << (Form1 && Form1->isVisible());
    if (onMessage) onMessage(message);
    if (message.buttons == MsgButtons::Ok) return MsgResult::Ok;
    if (!answers.isEmpty()) return answers.takeFirst();
    return message.defaultButton;
}

QString ScriptedDialogs::openFile(QWidget *, const FileDialogOptions &options)
{
    fileDialogs << options;
    return openNames.isEmpty() ? QString() : openNames.takeFirst();
}

QStringList ScriptedDialogs::openFiles(QWidget *, const FileDialogOptions &options)
{
    fileDialogs << options;
    return openNameLists.isEmpty() ? QStringList() : openNameLists.takeFirst();
}

QString ScriptedDialogs::saveFile(QWidget *, const FileDialogOptions &options)
{
    fileDialogs << options;
    return saveNames.isEmpty() ? QString() : saveNames.takeFirst();
}

QString ScriptedDialogs::openFolder(QWidget *, const FileDialogOptions &options)
{
    fileDialogs << options;
    return folderNames.isEmpty() ? QString() : folderNames.takeFirst();
}

void ManualDelay::after(int milliseconds, QObject *context, std::function<void()> continuation)
{
    lastMilliseconds = milliseconds;
    m_queue.append({context, std::move(continuation)});
}

void ManualDelay::fire()
{
    const QList<Entry> queue = std::exchange(m_queue, {});
    for (const Entry &e : queue)
        if (e.context) e.fn();
}

void RealDelay::after(int milliseconds, QObject *context, std::function<void()> continuation)
{
    QTimer::singleShot(milliseconds, context, std::move(continuation));
}

TestProgram::TestProgram() = default;

TestProgram::~TestProgram()
{
    end();
}

TForm1 *TestProgram::start(const QStringList &arguments, bool show)
{
    end();
    Services s;
    s.makePlayer = [this](QWidget *parent) -> MediaPlayer * {
        if (makePlayer) return makePlayer(parent);
        m_player = new FakePlayer(parent);
        if (preparePlayer) preparePlayer(m_player);
        return m_player;
    };
    s.dialogs = &dialogs;
    s.consoleDialogs = &consoleDialogs;
    s.clock = &clock;
    s.delay = useRealDelay ? static_cast<Delay *>(&realDelay) : &delay;
    s.shell = &shell;
    s.taskbar = otherTaskbar ? otherTaskbar : &taskbar;
    s.programDir = m_dir.path();
    s.executableDir = m_dir.path();
    s.programName = QStringLiteral("pelmora");
    s.arguments = arguments;
    s.diskWriter = diskWriter;
    // The fonts as the program's entry sets them up.
    registerFontSubstitutes();
    createForms(s);
    m_form = Form1;
    if (show) m_form->show();
    return m_form;
}

void TestProgram::end()
{
    if (m_form) {
        destroyForms();
        m_form = nullptr;
        m_player = nullptr;
    }
}

QString TestProgram::file(const QString &name) const
{
    return m_dir.filePath(name);
}

void TestProgram::writeFile(const QString &name, const QByteArray &bytes) const
{
    QDir().mkpath(QFileInfo(file(name)).absolutePath());
    QFile f(file(name));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

QByteArray TestProgram::readFile(const QString &name) const
{
    QFile f(file(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool TestProgram::exists(const QString &name) const
{
    return QFile::exists(file(name));
}
