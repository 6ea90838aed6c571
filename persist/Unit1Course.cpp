// SPDX-License-Identifier: GPL-3.0-or-later
// Per-course memory: the main window's side. Each medium opens with its own
// speed, voice boost and silence skipping, else with its folder's most
// recent ones, else with the global ones; its folder's intro is skipped and
// its outro left out. What the user changes while a medium is loaded is kept
// for the medium and its folder; with nothing loaded, it is the global
// setting.
#include "app/Forms.h"
#include "app/Unit1.h"
#include "lists/Unit10.h"
#include "persist/CourseSettings.h"
#include "persist/PlaceKeeper.h"
#include "player/MediaPlayer.h"

#include <QScopedValueRollback>

using SettingsOf = HistoryStore::SettingsOf;

CoursePlayback TForm1::currentPlayback() const
{
    const MediaPlayer *player = WindowsMediaPlayer1;
    return {player->speed(), player->voiceBoost(), player->skipsSilence()};
}

// Sets the player's playback without taking it for a change of the user's.
void TForm1::setPlayback(const CoursePlayback &playback)
{
    MediaPlayer *player = WindowsMediaPlayer1;
    const QScopedValueRollback<bool> applying(m_applyingCourse, true);
    player->setSpeed(playback.speed);
    player->setVoiceBoost(playback.voiceBoost);
    player->setSkipSilence(playback.skipSilence);
}

void TForm1::wireCourseMemory()
{
    MediaPlayer *player = WindowsMediaPlayer1;
    auto changed = [this] {
        runHandler(*this, nullptr, [&] {
            const CoursePlayback now = currentPlayback();
            const CoursePlayback before = m_lastPlayback;
            m_lastPlayback = now;
            if (m_applyingCourse) return;
            MediaPlayer *p = WindowsMediaPlayer1;
            if (p->hasCurrentMedia()) {
                // Only once the medium has its own settings: the player
                // reports on the way from one medium to the next too.
                if (p->url() == m_courseName) keepCourseSettings();
                return;
            }
            // Nothing loaded: what the user changed is the global setting.
            if (now.speed != before.speed) m_globalPlayback.speed = now.speed;
            if (now.voiceBoost != before.voiceBoost) m_globalPlayback.voiceBoost = now.voiceBoost;
            if (now.skipSilence != before.skipSilence)
                m_globalPlayback.skipSilence = now.skipSilence;
        });
    };
    connect(player, &MediaPlayer::speedChanged, this, changed);
    connect(player, &MediaPlayer::voiceBoostChanged, this, changed);
    connect(player, &MediaPlayer::silenceSkipChanged, this, changed);
}

void TForm1::applyCourseSettings(const QString &name, bool intro)
{
    MediaPlayer *player = WindowsMediaPlayer1;
    if (!player->hasCurrentMedia()) return; // refused or missing
    const QString folder = CourseSettings::folderOf(name);
    const CourseChoice choice = CourseSettings::choose(
        m_keeper->settings(SettingsOf::Medium, name),
        folder.isEmpty() ? std::nullopt : m_keeper->settings(SettingsOf::Folder, folder),
        m_globalPlayback);
    setPlayback(choice.playback);
    if (intro && choice.introSeconds > 0.0) player->setCurrentPosition(choice.introSeconds);
    player->setEndCut(choice.outroSeconds);
    // Played with these: the medium and its folder keep them.
    m_courseName = name;
    m_courseKept.reset();
    keepCourseSettings();
}

void TForm1::keepCourseSettings()
{
    const QString name = m_courseName;
    const CoursePlayback now = currentPlayback();
    // The silence skipping's saved time changes often: only a change counts.
    if (m_courseKept == now) return;
    m_courseKept = now;
    // Written only where they differ from what is kept (reads are quick).
    auto keep = [this, &now](SettingsOf of, const QString &key) {
        const std::optional<HistoryStore::Settings> kept = m_keeper->settings(of, key);
        const HistoryStore::Settings wanted = CourseSettings::withPlayback(kept, now);
        if (kept != wanted) m_keeper->keepSettings(of, key, wanted);
    };
    keep(SettingsOf::Medium, name);
    const QString folder = CourseSettings::folderOf(name);
    if (!folder.isEmpty()) keep(SettingsOf::Folder, folder);
}

void TForm1::showFolderSettings()
{
    runHandler(*this, nullptr, [&] {
        MediaPlayer *player = WindowsMediaPlayer1;
        const QString folder =
            player->hasCurrentMedia() ? CourseSettings::folderOf(player->url()) : QString();
        if (folder.isEmpty()) {
            m_services.dialogs->message(
                this, notice(QStringLiteral("このフォルダーの再生設定"),
                             QStringLiteral("フォルダーにあるファイルを開いてから選んでください。"),
                             MsgIcon::Information));
            return;
        }
        if (!m_form10) {
            m_form10 = new TForm10(this);
            m_form10->onAccept = [this](const QString &chosen,
                                        const HistoryStore::Settings &settings) {
                runHandler(*this, nullptr, [&] {
                    m_keeper->keepSettings(SettingsOf::Folder, chosen, settings);
                    // The medium loaded from that folder follows at once: its
                    // playback and its outro (its intro is for the next start).
                    MediaPlayer *p = WindowsMediaPlayer1;
                    if (!p->hasCurrentMedia() || CourseSettings::folderOf(p->url()) != chosen)
                        return;
                    setPlayback(
                        CourseSettings::choose(std::nullopt, settings, currentPlayback()).playback);
                    p->setEndCut(settings.outroSeconds);
                    keepCourseSettings();
                });
            };
        }
        m_form10->showFolder(
            folder,
            m_keeper->settings(SettingsOf::Folder, folder).value_or(HistoryStore::Settings{}),
            currentPlayback());
        showModeless(m_form10);
    });
}
