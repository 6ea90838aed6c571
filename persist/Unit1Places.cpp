// SPDX-License-Identifier: GPL-3.0-or-later
// A place in every file: the place store "History.db" beside the INI files
// keeps, for the media played, the last place and the stretches played. The
// place is kept when another file is opened, at each of the journal's ticks
// and at every close that the close query allows; a file opened again by
// any way but the resume command and the start-time path offers to go on
// from there.
#include "app/TimeText.h"
#include "app/Unit1.h"
#include "persist/HistoryStore.h"
#include "persist/IniFile.h"
#include "persist/LocalNames.h"
#include "player/MediaPlayer.h"

namespace
{

// A place this close to the start is no place, and one this close to the
// end means the medium was listened to: it counts as finished.
constexpr double PlaceMarginSeconds = 10.0;

} // namespace

void TForm1::keepPlace()
{
    MediaPlayer *player = WindowsMediaPlayer1;
    try {
        if (!player->hasCurrentMedia()) return;
        const int state = player->playState();
        if (state != MediaPlayer::Playing && state != MediaPlayer::Paused) return;
        const QString name = player->url();
        const double position = player->currentPosition();
        const double length = player->duration();
        const QList<ListenedRange> listened = player->listened();
        // Unchanged since the last time (a paused medium): nothing to write.
        if (m_keptName == name && m_keptPosition == position && m_keptListened == listened) return;
        const qint64 now = m_services.clock->now().toMSecsSinceEpoch();
        if (length > 0 && position >= length - PlaceMarginSeconds) {
            m_history->addRanges(name, listened, now);
            m_history->clearPlace(name);
        } else {
            m_history->keepPlace(name, position, length, now, listened);
        }
        m_keptName = name;
        m_keptPosition = position;
        m_keptListened = listened;
    } catch (const std::exception &) {
        // The player refused a read: the next occasion keeps the place.
    }
}

void TForm1::placeFinished()
{
    MediaPlayer *player = WindowsMediaPlayer1;
    if (!player->hasCurrentMedia()) return;
    const QString name = player->url();
    m_history->addRanges(name, player->listened(), m_services.clock->now().toMSecsSinceEpoch());
    m_history->clearPlace(name);
    m_keptName.clear();
}

void TForm1::showKeptPlace(const QString &name, bool offer)
{
    MediaPlayer *player = WindowsMediaPlayer1;
    if (!player->hasCurrentMedia()) return; // refused or missing: nothing to show or keep
    player->setListened(m_history->ranges(name));
    if (!offer) return;
    const std::optional<HistoryStore::Place> place = m_history->place(name);
    if (place && place->position > PlaceMarginSeconds)
        player->offerPlace(place->position, timeText(place->position));
}

void TForm1::forgetListened()
{
    if (WindowsMediaPlayer1->hasCurrentMedia()) {
        m_history->clearRanges(WindowsMediaPlayer1->url());
        m_keptListened.clear();
    }
}

QString TForm1::exactMediumName(const QString &iniText)
{
    // A name the INI file could not hold (a line break, more than 2,047
    // characters, bytes that are no text) reads back changed: the place
    // store has it whole.
    if (iniText.isEmpty() || localNameExists(iniText)) return iniText;
    const QString exact = m_history->exactName(iniText, &IniFile::readBackForm);
    return exact.isEmpty() ? iniText : exact;
}
