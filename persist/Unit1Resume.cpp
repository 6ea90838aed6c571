// SPDX-License-Identifier: GPL-3.0-or-later
// Saving and resuming positions: the close query that every way of closing
// goes through, save and exit, exit, and the resume command.
#include "app/Unit1.h"

#include "lists/Unit6.h"
#include "persist/AppError.h"
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
    // 1. Closing is prevented: nothing is saved. A signal to end the program
    //    is obeyed all the same.
    if (X2->isChecked() && !m_forcedClose) {
        handlerDialogs()->message(this,
                                  notice(QStringLiteral("エラー"), kPreventedText, MsgIcon::Error));
        return false;
    }

    // 2.-9. Each step runs on its own: one that fails is noted and the next
    //    still runs, so that a damaged settings file or a playlist that cannot
    //    be written never costs the place. The failures are reported together
    //    at the end; the close goes ahead.
    QStringList failures;
    auto step = [&](auto &&body) {
        try {
            body();
            return true;
        } catch (const AppError &e) {
            failures << e.message();
        } catch (const std::exception &e) {
            failures << QString::fromLocal8Bit(e.what());
        }
        return false;
    };
    MediaPlayer *player = WindowsMediaPlayer1;
    const IniFile settings(settingsPath());
    const IniFile resume(resumePath());
    // 3. The volume, and with it the playback speed.
    step([&] { settings.writeInteger(SettingsKeys::Volume, player->volume()); });
    step([&] {
        settings.writeFloat(SettingsKeys::PlaybackSpeed, player->speed());
        settings.writeBool(SettingsKeys::PlaybackSkipSilence, player->skipsSilence());
    });
    // 4. The recent list, or the history switched off.
    step([&] {
        if (RecentDisable) {
            settings.writeBool(SettingsKeys::RecentEnable, false);
            return;
        }
        const QStringList recent = recentList();
        for (int i = 1; i <= SettingsKeys::RecentFileCount; ++i)
            settings.writeString(SettingsKeys::RecentFile,
                                 i <= recent.size() ? recent.at(i - 1) : QString(), i);
    });
    // 6. The playlist state, only with auto-advance on.
    step([&] {
        if (!Timer2->isActive()) return;
        resume.writeBool(SettingsKeys::PlaylistEnabled, true);
        resume.writeInteger(SettingsKeys::PlaylistIndex, Form6 ? Form6->itemIndex() : -1);
    });
    // The place store keeps the place too (it never fails the close).
    keepPlace();
    // 7. Save the position? SaveClicked first; the state is not read when it
    //    is set.
    bool save = false;
    const bool decided = step([&] {
        save = SaveClicked || player->playState() == MediaPlayer::Playing ||
               player->playState() == MediaPlayer::Paused;
    });
    // Whether the place is where it belongs: written, or rightly not kept.
    // Only then may the journal go.
    bool placeSettled = false;
    if (decided && save) {
        // 8. Saving, when there is a current medium.
        placeSettled = step([&] {
            if (!player->hasCurrentMedia()) return;
            resume.writeResumeRecord(player->url(), player->currentPosition());
        });
        step([&] {
            if (!player->hasCurrentMedia()) return;
            Timer1->stop();
            player->stop();
            player->closeMedia();
        });
    } else if (decided) {
        // 9. Not saving: the resume record goes.
        placeSettled = true;
        step([&] {
            player->stop();
            player->closeMedia();
        });
        if (QFile::exists(resumePath())) QFile::remove(resumePath());
    }
    // 5. The playlist, only when it holds entries; the largest write, so it
    //    comes last.
    step([&] {
        if (Form6 && Form6->count() > 0)
            writeListFile(playlistPath(), Form6->entries(), Form6->encoding);
    });
    if (!failures.isEmpty())
        showErrorReport(handlerDialogs(), this, QStringLiteral("終了（CloseQuery）"),
                        failures.join(QLatin1Char('\n')));
    // 10. In every case.
    Timer1->stop();
    if (m_journal) {
        if (placeSettled)
            m_journal->remove();
        else
            m_journal->close();
    }
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
        keepPlace();
        const QString name = exactMediumName(resume.readString(SettingsKeys::ResumeFileName));
        player->setURL(name);
        showKeptPlace(name, false);
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
