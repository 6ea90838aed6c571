// SPDX-License-Identifier: GPL-3.0-or-later
// Saving and resuming positions: the close query that every way of closing
// goes through, save and exit, exit, and the resume command.
#include "app/Unit1.h"

#include "app/MediumSession.h"

#include "lists/Unit3.h"
#include "lists/Unit6.h"
#include "persist/AppError.h"
#include "persist/CloseSteps.h"
#include "persist/IniFile.h"
#include "persist/SettingsKeys.h"
#include "player/MediaPlayer.h"

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
    // 2.-9. The place keeper saves the settings, the recent list, the
    //    playlist and its state and the position (or drops the resume
    //    record), each step on its own: a damaged settings file or a playlist
    //    that cannot be written never costs the place. The failures are
    //    reported together; the close goes ahead.
    // The stretch playing now goes into the study log before the store is
    // closed.
    WindowsMediaPlayer1->endStretch();
    // The position records as they stand, a comment being typed included.
    if (Form3) Form3->keepRecordsNow();
    Closing c;
    c.settingsPath = settingsPath();
    c.resumePath = resumePath();
    c.playlistPath = playlistPath();
    MediaPlayer *player = WindowsMediaPlayer1;
    try {
        c.volume = player->volume();
        // The global playback, never the settings of the course loaded.
        const CoursePlayback global = m_session->globalPlayback();
        c.speed = global.speed;
        c.skipSilence = global.skipSilence;
        c.voiceBoost = global.voiceBoost;
    } catch (const AppError &e) {
        c.failures << e.message();
    }
    c.recentDisabled = RecentDisable;
    c.recent = recentList();
    c.recentCount = SettingsKeys::RecentFileCount;
    c.autoAdvance = Timer2->isActive();
    c.playlistIndex = Form6 ? Form6->itemIndex() : -1;
    if (Form6 && Form6->count() > 0) {
        c.playlist = Form6->entries();
        c.playlistEncoding = Form6->encoding;
    }
    c.saveClicked = SaveClicked;
    c.releaseMedium = [this, player] {
        Timer1->stop();
        player->stop();
        player->closeMedia();
    };
    const QStringList failures = m_session->close(c);
    if (!failures.isEmpty())
        showErrorReport(handlerDialogs(), this, QStringLiteral("終了（CloseQuery）"),
                        failures.join(QLatin1Char('\n')));
    // 10. In every case.
    Timer1->stop();
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
        const QString name = exactMediumName(resume.readString(SettingsKeys::ResumeFileName));
        m_session->resume(name, resume.readFloat(SettingsKeys::ResumeSecond));
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
