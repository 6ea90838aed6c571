// SPDX-License-Identifier: GPL-3.0-or-later
// Saving and resuming positions: the close query that every way of closing
// goes through, save and exit, exit, and the resume command.
#include "app/Unit1.h"

#include "lists/Unit6.h"
#include "persist/IniFile.h"
#include "persist/ListFile.h"
#include "persist/ResumeJournal.h"
#include "persist/SettingsKeys.h"
#include "player/MediaPlayer.h"

#include <QFile>
#include <QTimer>

namespace
{
const QString kPreventedText = QStringLiteral("終了防止機能が有効になっているため終了できません。");
} // namespace

bool TForm1::FormCloseQuery()
{
    // 1. Closing is prevented: nothing is saved.
    if (X2->isChecked()) {
        m_services.dialogs->message(
            this, notice(QStringLiteral("エラー"), kPreventedText, MsgIcon::Error));
        return false;
    }

    // 2.-9. Whatever fails here is reported; the close goes ahead.
    runHandler(*this, "終了（CloseQuery）", [&] {
        MediaPlayer *player = WindowsMediaPlayer1;
        const IniFile settings(settingsPath());
        // 3. The volume.
        settings.writeInteger(SettingsKeys::Volume, player->volume());
        // 4. The recent list, or the history switched off.
        if (RecentDisable) {
            settings.writeBool(SettingsKeys::RecentEnable, false);
        } else {
            const QStringList recent = recentList();
            for (int i = 1; i <= SettingsKeys::RecentFileCount; ++i)
                settings.writeString(SettingsKeys::RecentFile,
                                     i <= recent.size() ? recent.at(i - 1) : QString(), i);
        }
        // 5. The playlist, only when it holds entries.
        if (Form6 && Form6->count() > 0)
            writeListFile(playlistPath(), Form6->entries(), Form6->encoding);
        // 6. The playlist state, only with auto-advance on.
        const IniFile resume(resumePath());
        if (Timer2->isActive()) {
            resume.writeBool(SettingsKeys::PlaylistEnabled, true);
            resume.writeInteger(SettingsKeys::PlaylistIndex, Form6 ? Form6->itemIndex() : -1);
        }
        // 7. Save the position? SaveClicked first; the state is not read
        //    when it is set.
        const bool save = SaveClicked || player->playState() == MediaPlayer::Playing ||
                          player->playState() == MediaPlayer::Paused;
        if (save) {
            // 8. Saving.
            if (!player->hasCurrentMedia()) return;
            resume.writeString(SettingsKeys::ResumeFileName, player->url());
            resume.writeFloat(SettingsKeys::ResumeSecond, player->currentPosition());
            Timer1->stop();
            player->stop();
            player->closeMedia();
        } else {
            // 9. Not saving: the resume record goes.
            player->stop();
            player->closeMedia();
            if (QFile::exists(resumePath())) QFile::remove(resumePath());
        }
    });
    // 10. In every case.
    Timer1->stop();
    // The close is allowed and has saved what it saves: the journal goes.
    if (m_journal) m_journal->remove();
    return true;
}

void TForm1::E1Click()
{
    runHandler(*this, nullptr, [&] {
        if (WindowsMediaPlayer1->playState() == MediaPlayer::Stopped) {
            m_services.dialogs->message(
                this, notice(QStringLiteral("エラー"),
                             QStringLiteral("再生が停止しているので再生位置の保存はできません。"),
                             MsgIcon::Error));
            return;
        }
        runHandler(*this, "現在の再生位置を保存して終了", [&] {
            SaveClicked = true;
            close();
        });
    });
}

void TForm1::X1Click()
{
    runHandler(*this, nullptr, [&] {
        if (X2->isChecked()) {
            m_services.dialogs->message(
                this, notice(QStringLiteral("終了防止機能"), kPreventedText, MsgIcon::Information));
            return;
        }
        Timer1->stop();
        Timer2->stop();
        WindowsMediaPlayer1->stop();
        WindowsMediaPlayer1->closeMedia();
        close();
    });
}

void TForm1::P1Click()
{
    runHandler(*this, nullptr, [&] {
        MediaPlayer *player = WindowsMediaPlayer1;
        if (Timer2->isActive()) Timer2->stop();
        const IniFile resume(resumePath());
        player->setURL(resume.readString(SettingsKeys::ResumeFileName));
        // The saved position, with its fraction, before playback starts.
        player->setCurrentPosition(resume.readFloat(SettingsKeys::ResumeSecond));
        player->play();
        Timer1->start();
        P1->setEnabled(false);
        E1->setEnabled(true);
        setCaptionFromName(player->url());
        if (resume.readBool(SettingsKeys::PlaylistEnabled)) {
            const qint64 index = resume.readInteger(SettingsKeys::PlaylistIndex);
            if (Form6)
                Form6->setItemIndex(static_cast<int>(
                    std::clamp<qint64>(index, -1, std::numeric_limits<int>::max())));
            Timer2->start();
        }
    });
}
