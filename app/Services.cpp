// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Services.h"

#include "app/Taskbar.h"
#include "persist/DiskWriter.h"
#include "persist/ProgramDir.h"
#include "player/MpvPlayer.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLockFile>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <cstdio>

namespace
{

class QtDialogs : public Dialogs
{
public:
    MsgResult message(QWidget *parent, const Message &m) override
    {
        QMessageBox box(parent);
        box.setWindowTitle(m.caption);
        box.setText(m.text);
        box.setTextInteractionFlags(Qt::TextSelectableByMouse);
        // Ctrl+C copies the whole text (the error report asks for it).
        auto *copy = new QShortcut(QKeySequence::Copy, &box);
        QObject::connect(copy, &QShortcut::activated, &box, [&m] {
            QGuiApplication::clipboard()->setText(m.caption + u'\n' + m.text);
        });
        switch (m.icon) {
        case MsgIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MsgIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case MsgIcon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        case MsgIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        }
        if (m.buttons == MsgButtons::Ok) {
            box.setStandardButtons(QMessageBox::Ok);
            box.exec();
            return MsgResult::Ok;
        }
        QPushButton *yes = box.addButton(QMessageBox::Yes);
        QPushButton *no = box.addButton(QMessageBox::No);
        if (!m.yesText.isEmpty()) yes->setText(m.yesText);
        if (!m.noText.isEmpty()) no->setText(m.noText);
        box.setDefaultButton(m.defaultButton == MsgResult::Yes ? yes : no);
        box.setEscapeButton(no);
        box.exec();
        return box.clickedButton() == yes ? MsgResult::Yes : MsgResult::No;
    }

    // A filter's name is shown as it is: the names carry their patterns
    // themselves ("テキストファイル(*.txt)"), which are not repeated.
    QString openFile(QWidget *parent, const FileDialogOptions &o) override
    {
        return QFileDialog::getOpenFileName(parent, QString(), o.directory, o.filter, nullptr,
                                            QFileDialog::HideNameFilterDetails);
    }

    QStringList openFiles(QWidget *parent, const FileDialogOptions &o) override
    {
        return QFileDialog::getOpenFileNames(parent, QString(), o.directory, o.filter, nullptr,
                                             QFileDialog::HideNameFilterDetails);
    }

    QString openFolder(QWidget *parent, const FileDialogOptions &o) override
    {
        return QFileDialog::getExistingDirectory(parent, QString(), o.directory);
    }

    QString saveFile(QWidget *parent, const FileDialogOptions &o) override
    {
        QFileDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setNameFilter(o.filter);
        dialog.setDefaultSuffix(o.defaultSuffix);
        if (!o.directory.isEmpty()) dialog.setDirectory(o.directory);
        if (!o.fileName.isEmpty()) dialog.selectFile(o.fileName);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !o.confirmOverwrite);
        if (o.suffixFollowsFilter) {
            QObject::connect(
                &dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString &filter) {
                    static const QRegularExpression pattern(QStringLiteral("\\(\\*\\.([^ ;)]+)"));
                    const QRegularExpressionMatch m = pattern.match(filter);
                    if (m.hasMatch()) dialog.setDefaultSuffix(m.captured(1));
                });
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().constFirst();
    }
};

// The boxes of an unattended close: written to standard error, answered by
// their default button; file dialogs are cancelled.
class ConsoleDialogs : public Dialogs
{
public:
    MsgResult message(QWidget *, const Message &m) override
    {
        std::fprintf(stderr, "%s: %s\n", qPrintable(m.caption), qPrintable(m.text));
        std::fflush(stderr);
        return m.buttons == MsgButtons::Ok ? MsgResult::Ok : m.defaultButton;
    }
    QString openFile(QWidget *, const FileDialogOptions &) override { return QString(); }
    QStringList openFiles(QWidget *, const FileDialogOptions &) override { return {}; }
    QString saveFile(QWidget *, const FileDialogOptions &) override { return QString(); }
    QString openFolder(QWidget *, const FileDialogOptions &) override { return QString(); }
};

class SystemClock : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 nowMs() const override { return QDateTime::currentMSecsSinceEpoch(); }
    quint64 highResolutionTicks() const override
    {
        return static_cast<quint64>(
            std::chrono::high_resolution_clock::now().time_since_epoch().count());
    }
    qint64 steadyMs() const override { return m_steady.elapsed(); }

private:
    QElapsedTimer m_steady = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
};

class TimerDelay : public Delay
{
public:
    void after(int milliseconds, QObject *context, std::function<void()> continuation) override
    {
        QTimer::singleShot(milliseconds, context, std::move(continuation));
    }
};

class DesktopShell : public Shell
{
public:
    bool open(QWidget *, const QString &target) override
    {
        const QUrl url =
            target.contains(QLatin1String("://")) ? QUrl(target) : QUrl::fromLocalFile(target);
        return QDesktopServices::openUrl(url);
    }
};

// The lowest number that no other running program of this user holds: one
// lock file per number in the runtime directory, held until the program ends
// (a crashed program's is recognised by its process id and taken over).
int claimInstanceNumber()
{
    static std::unique_ptr<QLockFile> held;
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) return 0;
    for (int number = 0; number < 32; ++number) {
        auto lock = std::make_unique<QLockFile>(
            QDir(dir).filePath(QStringLiteral("pelmora-window-%1.lock").arg(number)));
        lock->setStaleLockTime(0); // held for the whole run: never stale by age
        if (lock->tryLock(0)) {
            held = std::move(lock);
            return number;
        }
        if (lock->error() != QLockFile::LockFailedError) return 0; // no lock files here
    }
    return 0;
}

} // namespace

Services realServices(const QStringList &arguments)
{
    static QtDialogs dialogs;
    static ConsoleDialogs consoleDialogs;
    static SystemClock clock;
    static TimerDelay delay;
    static DesktopShell shell;
    static std::unique_ptr<Taskbar> taskbar = makePlatformTaskbar();

    Services s;
    s.makePlayer = [](QWidget *parent) -> MediaPlayer * {
        MpvPlayer::Options options;
        return new MpvPlayer(parent, options);
    };
    s.dialogs = &dialogs;
    s.consoleDialogs = &consoleDialogs;
    s.clock = &clock;
    s.delay = &delay;
    s.shell = &shell;
    s.taskbar = taskbar.get();
    s.executableDir = QCoreApplication::applicationDirPath();
    s.programDir = chooseProgramDir(
        s.executableDir, QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation),
        &s.programDirNote);
    s.programName = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    s.arguments = arguments;
    s.instanceNumber = claimInstanceNumber();
    // Lives until the program's static objects go, after the windows.
    static DiskWriter writer(true);
    s.diskWriter = &writer;
    return s;
}
