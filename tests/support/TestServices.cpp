// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TestServices.h"

#include "app/Forms.h"
#include "app/Unit1.h"
#include "support/FakePlayer.h"

#include <QFile>
#include <QPointer>
#include <QTimer>
#include <QtEndian>
#include <cmath>

MsgResult ScriptedDialogs::message(QWidget *, const Message &message)
{
    shown << message;
    mainWindowVisible << (Form1 && Form1->isVisible());
    if (onMessage)
        onMessage(message);
    if (message.buttons == MsgButtons::Ok)
        return MsgResult::Ok;
    if (!answers.isEmpty())
        return answers.takeFirst();
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

void ManualDelay::after(int milliseconds, QObject *context, std::function<void()> continuation)
{
    lastMilliseconds = milliseconds;
    m_queue.append({context, std::move(continuation)});
}

void ManualDelay::fire()
{
    const QList<Entry> queue = std::exchange(m_queue, {});
    for (const Entry &e : queue)
        if (e.context)
            e.fn();
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
        if (makePlayer)
            return makePlayer(parent);
        m_player = new FakePlayer(parent);
        if (preparePlayer)
            preparePlayer(m_player);
        return m_player;
    };
    s.dialogs = &dialogs;
    s.clock = &clock;
    s.delay = useRealDelay ? static_cast<Delay *>(&realDelay) : &delay;
    s.shell = &shell;
    s.taskbar = &taskbar;
    s.programDir = m_dir.path();
    s.executableDir = m_dir.path();
    s.programName = QStringLiteral("pelmora");
    s.arguments = arguments;
    createForms(s);
    m_form = Form1;
    if (show)
        m_form->show();
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
    QFile f(file(name));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
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

bool writeTestWav(const QString &path, double seconds)
{
    const quint32 rate = 8000;
    const quint32 samples = static_cast<quint32>(seconds * rate);
    QByteArray data;
    data.resize(static_cast<qsizetype>(samples) * 2);
    for (quint32 i = 0; i < samples; ++i) {
        const auto v = static_cast<qint16>(3000 * std::sin(2 * M_PI * 440.0 * i / rate));
        qToLittleEndian(v, data.data() + i * 2);
    }
    QByteArray header;
    auto u32 = [&header](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        header.append(b, 4);
    };
    auto u16 = [&header](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        header.append(b, 2);
    };
    header.append("RIFF");
    u32(36 + static_cast<quint32>(data.size()));
    header.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate * 2);
    u16(2);
    u16(16);
    header.append("data");
    u32(static_cast<quint32>(data.size()));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(header) == header.size() && f.write(data) == data.size();
}
