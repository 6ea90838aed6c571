// SPDX-License-Identifier: GPL-3.0-or-later
// A place in every file: the main window's side of the place keeper. The
// place is kept when another file is opened, at each of the journal's ticks
// and at every close that the close query allows; a file opened again by
// any way but the resume command and the start-time path offers to go on
// from there.
#include "app/TimeText.h"
#include "app/Unit1.h"
#include "persist/DiskWriter.h"
#include "persist/IniFile.h"
#include "persist/LocalNames.h"
#include "persist/PlaceKeeper.h"
#include "persist/ResumeJournal.h"
#include "player/MediaPlayer.h"

#include <QStatusBar>
#include <QTimer>

#include <algorithm>

namespace
{
// A place moved while paused is kept this long after the last move.
constexpr int PausedMoveKeptMs = 1000;
} // namespace

void TForm1::wirePlaceKeeper()
{
    m_writer = m_services.diskWriter ? m_services.diskWriter : new DiskWriter(false, this);
    MediaPlayer *player = WindowsMediaPlayer1;
    auto snapshot = [player] {
        PlaybackSnapshot s;
        if (!player->hasCurrentMedia()) return s;
        s.name = player->url();
        s.state = player->playState();
        s.position = player->currentPosition();
        s.duration = player->duration();
        // A target beyond the end is not a place: the end is.
        if (s.duration > 0) s.position = std::min(s.position, s.duration);
        s.listened = player->listened();
        return s;
    };
    const Clock *clock = m_services.clock;
    m_keeper = new PlaceKeeper(
        m_services.programDir, m_writer, snapshot,
        [clock] { return clock->now().toMSecsSinceEpoch(); }, this);
    connect(player, &MediaPlayer::playStateChanged, m_keeper, [this](int state) {
        if (state == MediaPlayer::MediaEnded) m_keeper->finished();
        // A pause is written at once: to the journal, and to the place store
        // in one transaction with the stretch it ended, so that a long pause
        // wakes no writer later. The journal and the place store tick only
        // while the place moves.
        ResumeJournal *journal = m_keeper->journal();
        if (state == MediaPlayer::Paused) {
            journal->tick();
            m_keeper->keep();
        }
        if (state == MediaPlayer::Playing && !journal->closed())
            journal->timer()->start();
        else if (state != MediaPlayer::Playing)
            journal->timer()->stop();
    });
    // A place moved while paused (a seek, the sleep timer going back to where
    // its fade began) is kept a moment later, once for a run of seeks: no
    // tick runs then, and a crash or a flat battery during the pause must
    // not cost it.
    auto *pausedMove = new QTimer(m_keeper);
    pausedMove->setSingleShot(true);
    pausedMove->setInterval(PausedMoveKeptMs);
    connect(pausedMove, &QTimer::timeout, m_keeper, [this, player] {
        if (player->playState() != MediaPlayer::Paused) return;
        m_keeper->journal()->tick();
        m_keeper->keep();
    });
    connect(player, &MediaPlayer::seeked, pausedMove, [player, pausedMove] {
        if (player->playState() == MediaPlayer::Paused) pausedMove->start();
    });
    connect(player, &MediaPlayer::listenedCleared, m_keeper, [this, player] {
        if (player->hasCurrentMedia()) m_keeper->forgetListened(player->url());
    });
    // The study log follows the history switch: kept only while the history
    // is on.
    connect(player, &MediaPlayer::stretchPlayed, m_keeper,
            [this](const HistoryStore::Stretch &stretch) {
                if (!RecentDisable) m_keeper->addStretch(stretch);
            });
    // Told calmly, once per run, in the status bar.
    connect(m_keeper, &PlaceKeeper::trouble, this,
            [this](const QString &text) { statusBar()->showMessage(text, 15000); });
}

void TForm1::readStudyLog(StudyLogReader done)
{
    m_keeper->readStudyLog(std::move(done));
}

// Switching the history off erases the study log too.
void TForm1::setRecentDisabled(bool off)
{
    if (off && !RecentDisable && m_keeper) m_keeper->eraseStudyLog();
    RecentDisable = off;
}

void TForm1::keepPlace()
{
    m_keeper->keep();
}

void TForm1::showKeptPlace(const QString &name, bool offer)
{
    MediaPlayer *player = WindowsMediaPlayer1;
    if (!player->hasCurrentMedia()) return; // refused or missing: nothing to show or keep
    player->setListened(m_keeper->listened(name));
    if (!offer) return;
    if (const std::optional<double> place = m_keeper->placeToOffer(name))
        player->offerPlace(*place, timeText(*place), m_keeper->placeKeptAt(name));
}

QString TForm1::exactMediumName(const QString &iniText)
{
    // A name the INI file could not hold (a line break, more than 2,047
    // characters, bytes that are no text) reads back changed: the place
    // store has it whole.
    if (iniText.isEmpty() || localNameExists(iniText)) return iniText;
    const QString exact = m_keeper->exactName(iniText, &IniFile::readBackForm);
    return exact.isEmpty() ? iniText : exact;
}
