// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MediumSession.h"

#include "app/TimeText.h"
#include "persist/CloseSteps.h"
#include "persist/ContentKey.h"
#include "persist/DiskWriter.h"
#include "persist/IniFile.h"
#include "persist/LocalNames.h"
#include "persist/PlaceKeeper.h"
#include "persist/ResumeJournal.h"
#include "persist/StoreLink.h"
#include "persist/StudyLogBuffer.h"
#include "persist/Sync.h"
#include "player/MediaPlayer.h"

#include <QPointer>
#include <QScopedValueRollback>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace
{
// A place moved while paused is kept this long after the last move.
constexpr int PausedMoveKeptMs = 1000;
} // namespace

MediumSession::MediumSession(const Services &services, const HandlerContext &context,
                             MediaPlayer *player, QObject *parent)
    : QObject(parent), m_context(context), m_player(player), m_clock(services.clock)
{
    m_writer = services.diskWriter ? services.diskWriter : new DiskWriter(false, this);
    m_link = new StoreLink(services.programDir, m_writer, this);
    connect(m_link, &StoreLink::trouble, this, &MediumSession::trouble);
    m_log = std::make_unique<StudyLogBuffer>(m_link);
    auto snapshot = [this] {
        PlaybackSnapshot s;
        if (!m_player->hasCurrentMedia()) return s;
        s.name = m_name;
        s.recording = m_info.id;
        s.state = m_player->playState();
        s.position = m_player->currentPosition();
        s.duration = m_player->duration();
        // A target beyond the end is not a place: the end is.
        if (s.duration > 0) s.position = std::min(s.position, s.duration);
        s.listened = m_player->listened();
        return s;
    };
    const Clock *clock = m_clock;
    m_keeper = new PlaceKeeper(
        m_link, services.programDir, snapshot, [clock] { return clock->nowMs(); }, this);
    connect(player, &MediaPlayer::playStateChanged, this, &MediumSession::followPlayState);
    // A place moved while paused (a seek, the sleep timer going back to where
    // its fade began) is kept a moment later, once for a run of seeks: no
    // tick runs then, and a crash or a flat battery during the pause must
    // not cost it.
    auto *pausedMove = new QTimer(this);
    pausedMove->setSingleShot(true);
    pausedMove->setInterval(PausedMoveKeptMs);
    connect(pausedMove, &QTimer::timeout, this, [this] {
        if (m_player->playState() != MediaPlayer::Paused) return;
        m_keeper->journal()->tick();
        m_keeper->keep();
    });
    connect(player, &MediaPlayer::seeked, pausedMove, [this, pausedMove] {
        if (m_player->playState() == MediaPlayer::Paused) pausedMove->start();
    });
    m_keeper->setOffered([this] { return m_player->offeredPlace(); });
    // A place dismissed is kept no longer: the position is, at once.
    connect(player, &MediaPlayer::offeredPlaceForgotten, this, [this] { m_keeper->keep(); });
    connect(player, &MediaPlayer::listenedCleared, this, [this] {
        if (!m_player->hasCurrentMedia()) return;
        m_keeper->forgetListened(m_info.id);
        m_log->forget(m_info.id);
    });
    // The stretch playing goes with each place kept (the journal's tick
    // among them), so that a crash costs at most one tick of the study log.
    m_keeper->setBeforeKeep([this] {
        if (!m_historyOn) return;
        if (const std::optional<Stretch> open = m_player->openStretch()) logStretch(*open);
    });
    // The study log follows the history switch: kept only while it is on.
    connect(player, &MediaPlayer::stretchPlayed, this, [this](const Stretch &stretch) {
        if (m_historyOn) logStretch(stretch);
    });
    connect(player, &MediaPlayer::mediumInfoChanged, this, &MediumSession::lengthKnown);
    connect(player, &MediaPlayer::speedChanged, this, &MediumSession::playbackChanged);
    connect(player, &MediaPlayer::voiceBoostChanged, this, &MediumSession::playbackChanged);
    connect(player, &MediaPlayer::silenceSkipChanged, this, &MediumSession::playbackChanged);
}

MediumSession::~MediumSession() = default;

// A stretch goes into the log with its path and its recording.
void MediumSession::logStretch(Stretch stretch)
{
    stretch.recording = m_ids.value(stretch.name);
    m_log->add(stretch);
}

void MediumSession::followPlayState(int state)
{
    if (state == MediaPlayer::MediaEnded) m_keeper->finished();
    // A pause is written at once: to the journal, and to the place store in
    // one transaction with the stretch it ended, so that a long pause wakes
    // no writer later. The journal and the place store tick only while the
    // place moves.
    ResumeJournal *journal = m_keeper->journal();
    if (state == MediaPlayer::Paused) {
        journal->tick();
        m_keeper->keep();
    }
    if (state == MediaPlayer::Playing && !journal->closed())
        journal->timer()->start();
    else if (state != MediaPlayer::Playing)
        journal->timer()->stop();
}

// ---- opening ------------------------------------------------------------------

QString MediumSession::name() const
{
    return m_player->hasCurrentMedia() ? m_name : QString();
}

void MediumSession::load(const QString &name)
{
    leave(name);
    readKept(name);
}

void MediumSession::leave(const QString &name)
{
    // The place of the medium that goes, and its position records.
    emit leaving();
    m_keeper->keep();
    m_name = name;
    m_cutsWanted.reset();
    m_player->setURL(name);
    m_folder = CourseSettings::folderOf(name);
}

void MediumSession::readKept(const QString &name)
{
    // What is kept of it, in one read.
    m_info = m_player->hasCurrentMedia() ? m_keeper->recording(name, m_folder) : RecordingInfo{};
    if (m_info.id.isEmpty()) return;
    m_ids.insert(name, m_info.id);
    m_settingsRead.insert({int(SettingsOf::Medium), m_info.id}, m_info.settings);
    if (!m_folder.isEmpty())
        m_settingsRead.insert({int(SettingsOf::Folder), m_folder}, m_info.folderSettings);
    if (m_info.sighting) {
        m_info.sighting->seenMs = m_clock->nowMs();
        m_link->learn(*m_info.sighting);
    }
    // A folder that has no settings of its own takes those of the folder
    // where the recording lay before (a course folder renamed or moved).
    if (!m_info.folderSettingsFrom.isEmpty() && m_info.folderSettings)
        keepSettings(SettingsOf::Folder, m_folder, *m_info.folderSettings);
    const auto written = m_recordsWritten.constFind(m_info.id);
    if (written != m_recordsWritten.cend()) m_info.records = *written;
}

void MediumSession::open(const QString &name, Start start)
{
    const bool playing = start == Start::Playing;
    leave(name);
    // The engine is told first, with the course's settings as far as this
    // run knows them; what is kept is read while it opens the file, and
    // corrects them should they differ.
    std::optional<CourseSettings::Cuts> started;
    if (m_player->hasCurrentMedia()) started = startCourse(name, playing);
    if (playing)
        m_player->play();
    else
        m_player->stop();
    m_player->loadNow();
    readKept(name);
    applyCourse(playing, started);
    showKept(m_info, playing);
    // What another computer kept of it since may be newer: the synced
    // folder is read, and the offer follows.
    if (playing && m_link->syncing()) refreshOffer();
}

void MediumSession::resume(const QString &name, double position)
{
    load(name);
    applyCourse(false);
    showKept(m_info, false);
    // The saved position, with its fraction, before playback starts.
    m_player->setCurrentPosition(position);
    m_player->play();
    // A place kept further on (an offer missed before that close) is still
    // offered.
    const std::optional<double> place = PlaceKeeper::placeToOffer(m_info);
    if (m_player->hasCurrentMedia() && place && *place > position + PlaceKeeper::MarginSeconds) {
        m_player->offerPlace(*place, timeText(*place), m_info.place->playedMs);
        m_player->setPlaceSource(placeSourceText(*m_info.place));
    }
}

void MediumSession::showKept(const RecordingInfo &info, bool offered)
{
    if (!m_player->hasCurrentMedia()) return; // refused or missing: nothing to show or keep
    m_player->setListened(info.ranges);
    emit recordsOpened(info.records);
    if (offered) offer(info);
}

void MediumSession::offer(const RecordingInfo &info)
{
    const std::optional<double> place = PlaceKeeper::placeToOffer(info);
    if (!place) return;
    m_player->offerPlace(*place, timeText(*place), info.place->playedMs);
    m_player->setPlaceSource(placeSourceText(*info.place));
    // The option: opening goes on at once where it was.
    if (m_resumeOnOpen) m_player->takeOfferedPlace();
}

QString MediumSession::placeSourceText(const Place &place)
{
    if (place.device.isEmpty()) return {};
    const qint64 s = std::llround(place.position);
    return QStringLiteral("%1 で %2:%3:%4 まで")
        .arg(place.device)
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

void MediumSession::refreshOffer()
{
    const QString id = m_info.id;
    const QString name = m_name;
    QPointer<MediumSession> self(this);
    m_link->syncNow([self, id, name](const QStringList &changed) {
        if (self && changed.contains(id)) self->takeSynced(id, name);
    });
}

void MediumSession::takeSynced(const QString &id, const QString &name)
{
    if (m_name != name || m_info.id != id || !m_player->hasCurrentMedia()) return;
    const RecordingInfo fresh = m_link->recording(name, m_folder);
    if (fresh.id != id) return;
    m_info.ranges = mergeRanges(m_info.ranges + fresh.ranges);
    m_player->setListened(m_info.ranges);
    // Records not changed here in this run show what came.
    if (!m_recordsWritten.contains(id) && fresh.records != m_info.records) {
        m_info.records = fresh.records;
        emit recordsOpened(fresh.records);
    }
    if (fresh.place == m_info.place || !fresh.place) return;
    m_info.place = fresh.place;
    // Offered anew while nothing was taken and playback has not gone past
    // the place; a place taken at once follows too.
    const std::optional<double> place = PlaceKeeper::placeToOffer(m_info);
    const bool untouched =
        m_player->offeredPlace() || m_player->currentPosition() < PlaceKeeper::MarginSeconds;
    if (place && untouched && m_player->currentPosition() < *place) offer(m_info);
}

// ---- per-course memory ----------------------------------------------------------

CoursePlayback MediumSession::playback() const
{
    return {m_player->speed(), m_player->voiceBoost(), m_player->skipsSilence()};
}

void MediumSession::takeGlobalPlayback()
{
    m_globalPlayback = m_lastPlayback = playback();
}

// Sets the player's playback without taking it for a change of the user's.
void MediumSession::setPlayback(const CoursePlayback &playback)
{
    const QScopedValueRollback<bool> applying(m_applyingCourse, true);
    m_player->setSpeed(playback.speed);
    m_player->setVoiceBoost(playback.voiceBoost);
    m_player->setSkipSilence(playback.skipSilence);
}

void MediumSession::playbackChanged()
{
    runHandler(m_context, nullptr, [&] {
        const CoursePlayback now = playback();
        const CoursePlayback before = m_lastPlayback;
        m_lastPlayback = now;
        if (m_applyingCourse) return;
        if (m_player->hasCurrentMedia()) {
            // Only once the medium has its own settings: the player reports
            // on the way from one medium to the next too.
            if (m_name == m_courseName) keepCourseSettings();
            return;
        }
        // Nothing loaded: what the user changed is the global setting.
        if (now.speed != before.speed) m_globalPlayback.speed = now.speed;
        if (now.voiceBoost != before.voiceBoost) m_globalPlayback.voiceBoost = now.voiceBoost;
        if (now.skipSilence != before.skipSilence) m_globalPlayback.skipSilence = now.skipSilence;
    });
}

CourseSettings::Cuts MediumSession::startCourse(const QString &name, bool intro)
{
    auto known = [this](SettingsOf of, const QString &key) -> std::optional<KeptSettings> {
        if (key.isEmpty()) return std::nullopt;
        const auto written = m_settingsWritten.constFind({int(of), key});
        if (written != m_settingsWritten.cend()) return *written;
        return m_settingsRead.value({int(of), key});
    };
    const CourseChoice choice =
        CourseSettings::choose(known(SettingsOf::Medium, m_ids.value(name)),
                               known(SettingsOf::Folder, m_folder), m_globalPlayback);
    setPlayback(choice.playback);
    // The length is not known yet: whether both fit is told once it is.
    const CourseSettings::Cuts cuts =
        CourseSettings::cutsFor(choice.introSeconds, choice.outroSeconds, 0.0);
    if (intro && cuts.introSeconds > 0.0) m_player->setCurrentPosition(cuts.introSeconds);
    m_player->setEndCut(cuts.outroSeconds);
    return cuts;
}

void MediumSession::applyCourse(bool intro, std::optional<CourseSettings::Cuts> started)
{
    if (!m_player->hasCurrentMedia()) return; // refused or missing
    const CourseChoice choice = CourseSettings::choose(
        kept(SettingsOf::Medium, m_info.id),
        m_folder.isEmpty() ? std::nullopt : kept(SettingsOf::Folder, m_folder), m_globalPlayback);
    setPlayback(choice.playback);
    if (choice.introSeconds + choice.outroSeconds > 0.0)
        m_cutsWanted = CourseSettings::Cuts{choice.introSeconds, choice.outroSeconds};
    // The length as the player knows it, else as it was kept with the place.
    double length = m_player->duration();
    if (!(length > 0.0) && m_info.place) length = m_info.place->duration;
    const CourseSettings::Cuts cuts =
        CourseSettings::cutsFor(choice.introSeconds, choice.outroSeconds, length);
    const double startAt = intro ? cuts.introSeconds : 0.0;
    m_introTaken = startAt > 0.0;
    // The load went from the start the engine was given: moved only when
    // what is kept says otherwise.
    const double startedAt = started && intro ? started->introSeconds : 0.0;
    if (started ? startAt != startedAt : m_introTaken) m_player->setCurrentPosition(startAt);
    m_player->setEndCut(cuts.outroSeconds);
    if (length > 0.0) applyCuts(length);
    // Played with these: the medium and its folder keep them.
    m_courseName = m_name;
    m_courseId = m_info.id;
    m_courseKept.reset();
    keepCourseSettings();
}

// Once the length is known: an intro and outro that together leave nothing
// to play are both left out for this medium (it would end where it starts),
// and the status bar says so.
void MediumSession::applyCuts(double duration)
{
    if (!m_cutsWanted) return;
    const CourseSettings::Cuts wanted = *std::exchange(m_cutsWanted, std::nullopt);
    if (!CourseSettings::cutsFor(wanted.introSeconds, wanted.outroSeconds, duration).ignored)
        return;
    m_player->setEndCut(0.0);
    // Back to the start, unless the user has moved on from the intro.
    if (m_introTaken && std::abs(m_player->currentPosition() - wanted.introSeconds) < 1.0)
        m_player->setCurrentPosition(0.0);
    emit said(CourseSettings::ignoredText());
}

void MediumSession::lengthKnown()
{
    if (!m_cutsWanted || !m_player->hasCurrentMedia()) return;
    try {
        const double length = m_player->duration();
        if (length > 0.0) applyCuts(length);
    } catch (const std::exception &) {
        // The player refused a read: its next report tells the length.
    }
}

// The settings kept for a medium or a folder: what this run kept, else what
// was read when the medium loaded now opened, else a read.
std::optional<KeptSettings> MediumSession::kept(SettingsOf of, const QString &key)
{
    const auto written = m_settingsWritten.constFind({int(of), key});
    if (written != m_settingsWritten.cend()) return *written;
    if (of == SettingsOf::Medium && key == m_info.id) return m_info.settings;
    if (of == SettingsOf::Folder && key == m_folder) return m_info.folderSettings;
    return m_link->settings(of, key);
}

void MediumSession::keepCourseSettings()
{
    const CoursePlayback now = playback();
    // The silence skipping's saved time changes often: only a change counts.
    if (m_courseKept == now) return;
    m_courseKept = now;
    // Written only where they differ from what is kept.
    auto keepFor = [this, &now](SettingsOf of, const QString &key) {
        const std::optional<KeptSettings> before = kept(of, key);
        const KeptSettings wanted = CourseSettings::withPlayback(before, now);
        if (before != wanted) keepSettings(of, key, wanted);
    };
    keepFor(SettingsOf::Medium, m_courseId);
    const QString folder = CourseSettings::folderOf(m_courseName);
    if (!folder.isEmpty()) keepFor(SettingsOf::Folder, folder);
}

void MediumSession::keepSettings(SettingsOf of, const QString &key, const KeptSettings &settings)
{
    if (m_keeper->journal()->closed() || key.isEmpty()) return;
    m_settingsWritten.insert({int(of), key}, settings);
    // With the next place kept, in its transaction.
    m_link->wait(of, key, settings);
}

QString MediumSession::folder() const
{
    return CourseSettings::folderOf(name());
}

KeptSettings MediumSession::folderSettings(const QString &folder)
{
    return kept(SettingsOf::Folder, folder).value_or(KeptSettings{});
}

void MediumSession::keepFolderSettings(const QString &folder, const KeptSettings &settings)
{
    keepSettings(SettingsOf::Folder, folder, settings);
    // The medium loaded from that folder follows at once: its playback and
    // its outro (its intro is for the next start).
    if (CourseSettings::folderOf(name()) != folder || name().isEmpty()) return;
    setPlayback(CourseSettings::choose(std::nullopt, settings, playback()).playback);
    const CourseSettings::Cuts cuts =
        CourseSettings::cutsFor(settings.introSeconds, settings.outroSeconds, m_player->duration());
    m_player->setEndCut(cuts.outroSeconds);
    if (cuts.ignored) emit said(CourseSettings::ignoredText());
    keepCourseSettings();
}

// ---- position records ---------------------------------------------------------------

void MediumSession::keepRecords(const QList<PositionRecord> &records)
{
    const QString id = m_player->hasCurrentMedia() ? m_info.id : QString();
    if (id.isEmpty() || m_keeper->journal()->closed()) return;
    const auto written = m_recordsWritten.constFind(id);
    if (written != m_recordsWritten.cend() ? *written == records : m_info.records == records)
        return;
    m_recordsWritten.insert(id, records);
    m_link->post([id, records](HistoryStore &store) { store.keepRecords(id, records); });
}

// ---- history ----------------------------------------------------------------------

void MediumSession::setHistoryOn(bool on)
{
    // With it off, nothing goes to the synced folder: not even the erasing
    // of this computer's study log, which switching it off does too.
    m_link->setSharing(on);
    if (!on && m_historyOn) m_log->erase();
    m_historyOn = on;
}

void MediumSession::setSync(const SyncSettings &settings)
{
    const Clock *clock = m_clock;
    m_link->setSync(settings, [clock] { return clock->nowMs(); });
    m_link->setSharing(m_historyOn);
}

void MediumSession::syncNow()
{
    m_link->syncNow();
}

bool MediumSession::syncing() const
{
    return m_link->syncing();
}

void MediumSession::readStudyLog(QDate today,
                                 std::function<void(std::shared_ptr<const StudyReport>)> done)
{
    m_log->read(today, std::move(done));
}

void MediumSession::findMoved(const QString &name, const QStringList &folders,
                              std::function<void(const QString &found)> done)
{
    const QString key = m_link->keyOfPath(name);
    if (key.isEmpty()) {
        done(QString());
        return;
    }
    QPointer<MediumSession> self(this);
    QThreadPool::globalInstance()->start([self, key, folders, done = std::move(done)] {
        const QString found = ContentKey::findInFolders(key, folders);
        if (self)
            QMetaObject::invokeMethod(
                self.data(), [done, found] { done(found); }, Qt::QueuedConnection);
    });
}

QString MediumSession::exactName(const QString &iniText)
{
    // A name the INI file could not hold (a line break, more than 2,047
    // characters, bytes that are no text) reads back changed: the place
    // store has it whole.
    if (iniText.isEmpty() || localNameExists(iniText)) return iniText;
    const QString exact = m_link->exactName(iniText, &IniFile::readBackForm);
    return exact.isEmpty() ? iniText : exact;
}

void MediumSession::readPlace(const QString &name, std::function<void(std::optional<double>)> done)
{
    m_link->read([name, done = std::move(done)](HistoryStore &store) -> std::function<void()> {
        const std::optional<double> place =
            PlaceKeeper::placeToOffer(store.recording(name, QString()));
        return [done, place] { done(place); };
    });
}

int MediumSession::storeReads() const
{
    return m_link->reads();
}

// ---- start-up and the close ---------------------------------------------------------

bool MediumSession::recoverJournal(const QString &resumePath)
{
    return m_keeper->recoverJournal(resumePath);
}

QStringList MediumSession::close(const Closing &c)
{
    QStringList failures = c.failures;
    saveProgramSettings(c, failures);
    // The place store keeps the place too (it never fails the close).
    m_keeper->keep();
    const bool settled =
        m_keeper->saveOrDropResume(c.saveClicked, c.resumePath, c.releaseMedium, failures);
    // The playlist: the largest write, so it comes last.
    savePlaylistFile(c, failures);
    m_keeper->settle(settled);
    // What the writer still holds is written before the program ends (a
    // store locked by another program is given a few seconds).
    m_link->flushWaiting();
    m_writer->flush(3000);
    return failures;
}
