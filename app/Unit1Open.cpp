// SPDX-License-Identifier: GPL-3.0-or-later
// Opening media: OpenFile and the main window's own ways of reaching it (the
// two open commands and files dropped on the window).
#include "app/Unit1.h"

#include "app/Forms.h"
#include "app/MediumSession.h"
#include "commands/Unit5.h"
#include "lists/Unit4.h"
#include "player/MediaPlayer.h"

#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

namespace
{

// A file as the recent list names it: by its one canonical path, so that a
// symbolic link or a ".." does not make a second entry of it. A name that
// is no existing file stays as it is (cleaned, when absolute).
QString recentName(const QString &fileName)
{
    const QFileInfo info(fileName);
    if (!info.exists()) return info.isAbsolute() ? QDir::cleanPath(fileName) : fileName;
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? fileName : canonical;
}

// The recent list rule: newest first, deduplicated against the first entry
// only, at most ten entries.
void enterRecent(QComboBox *list, const QString &fileName)
{
    const QString name = recentName(fileName);
    const QString first = list->count() > 0 ? recentName(list->itemText(0)) : QString();
    if (first == name) return;
    // The text field keeps what the user chose or typed meanwhile.
    const QString shown = list->currentText();
    list->insertItem(0, name);
    if (list->count() >= 11) list->removeItem(10);
    if (list->isEditable() && list->currentText() != shown) list->setEditText(shown);
}

} // namespace

void TForm1::setCaptionFromName(const QString &name)
{
    setWindowTitle(captionName(name) + QStringLiteral(" - Pelmora"));
}

void TForm1::OpenFile(const QString &FileName)
{
    // 1. The recent list, before anything is loaded.
    if (!RecentDisable && Form4) enterRecent(Form4->ComboBox1, FileName);

    // 2. The start-position path: loaded, kept stopped, the start-time
    //    dialog asks where to begin. 3. The ordinary path: it plays.
    const bool startPath = std::exchange(Shitei, false);
    m_session->open(FileName,
                    startPath ? MediumSession::Start::Stopped : MediumSession::Start::Playing);
    Timer1->start();
    E1->setEnabled(true);
    setCaptionFromName(FileName);
    if (startPath) showModeless(Form5);
}

namespace
{

// The confirmation question of the two open commands: asked when the option
// is ticked and a file plays, and whenever a file is paused.
bool needsConfirmation(const TForm1 &form)
{
    const int state = form.WindowsMediaPlayer1->playState();
    return (form.C1->isChecked() && state == MediaPlayer::Playing) || state == MediaPlayer::Paused;
}

const QString kReplaceQuestion = QStringLiteral("再生中ですが、新たなファイルを再生しますか？");

} // namespace

void TForm1::O1Click()
{
    runHandler(*this, nullptr, [&] {
        if (needsConfirmation(*this)) {
            Message m;
            m.caption = QStringLiteral("情報");
            m.text = kReplaceQuestion;
            m.icon = MsgIcon::Information;
            m.buttons = MsgButtons::YesNo;
            m.defaultButton = MsgResult::Yes;
            m.yesText = QStringLiteral("はい(&Y)");
            m.noText = QStringLiteral("いいえ(&N)");
            if (m_services.dialogs->message(this, m) == MsgResult::No) return;
        }
        if (Timer2->isActive()) Timer2->stop();
        FileDialogOptions options;
        options.directory = openFolder();
        const QString name = m_services.dialogs->openFile(this, options);
        if (!name.isEmpty()) OpenFile(name);
    });
}

void TForm1::T1Click()
{
    runHandler(*this, nullptr, [&] {
        if (needsConfirmation(*this)) {
            const Message m = question(QStringLiteral("確認"), kReplaceQuestion);
            if (m_services.dialogs->message(this, m) == MsgResult::No) return;
        }
        if (Timer2->isActive()) Timer2->stop();
        FileDialogOptions options;
        options.directory = openFolder();
        const QString name = m_services.dialogs->openFile(this, options);
        if (!name.isEmpty()) {
            Shitei = true;
            OpenFile(name);
        }
    });
}

QString TForm1::openFolder() const
{
    // The last medium opened: the one loaded, else the newest recent file.
    QStringList candidates;
    if (WindowsMediaPlayer1->hasCurrentMedia()) candidates << WindowsMediaPlayer1->url();
    const QStringList recent = recentList();
    if (!recent.isEmpty()) candidates << recent.constFirst();
    for (const QString &name : std::as_const(candidates)) {
        const QFileInfo info(name);
        if (info.isAbsolute() && info.dir().exists()) return info.absolutePath();
    }
    // None: the user's videos, or music, rather than the program's own
    // directory with its settings files.
    for (const auto kind : {QStandardPaths::MoviesLocation, QStandardPaths::MusicLocation}) {
        const QString dir = QStandardPaths::writableLocation(kind);
        if (!dir.isEmpty() && QFileInfo(dir).isDir()) return dir;
    }
    return QDir::homePath();
}

void TForm1::DropFiles(const QStringList &names)
{
    if (names.isEmpty()) return;
    runHandler(*this, nullptr, [&] {
        // Only the first file of a drop is opened; no question is asked.
        const QString name = names.constFirst();
        if (Timer2->isActive()) Timer2->stop();
        OpenFile(name);
    });
}

void TForm1::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedLocalFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent *event)
{
    const QStringList names = droppedLocalFiles(event->mimeData());
    if (names.isEmpty()) return;
    event->acceptProposedAction();
    DropFiles(names);
}
