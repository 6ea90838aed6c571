// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <functional>
#include <optional>

class MediaPlayer;
class QTimer;

// The sleep timer of the player component: after some minutes, at the end of
// the current medium, or at the end of the playlist, playback pauses (it does
// not stop, so the place is kept). In the last FadeMs the sound fades out
// smoothly; then it pauses, goes back to where the fade began (the listener
// fell asleep somewhere in it) and the sound comes back to the volume setting
// at once (the fade never touches the setting). At the end of a medium the
// pause comes before the end, measured at the current speed; should the
// medium end first all the same (its length was reported too long), the
// timer takes the end: the component pauses instead of ending, so the
// medium never counts as finished. Any action of the user on the player
// during the fade (a key, a click, a seek, a pause) cancels the timer and
// the fade; the component's own moves (a silence passed quickly) do not. It
// is never saved: every run starts with it off.
//
// Its clock is injected (milliseconds of a steady clock); its timer runs only
// while it is on.
class SleepTimer : public QObject
{
    Q_OBJECT

public:
    enum class Mode { Off, Minutes, EndOfMedium, EndOfPlaylist, EndOfChapter };
    static constexpr int ExtendMinutes = 15;
    static constexpr int FadeMs = 30000;

    SleepTimer(MediaPlayer &player, std::function<qint64()> nowMs, QObject *parent = nullptr);

    // Switches the timer; minutes is used by Mode::Minutes. EndOfChapter
    // pauses at the end of the chapter playing now (for a medium without
    // chapters: at the end of the medium).
    void set(Mode mode, int minutes = 0);
    // While the timer runs: ExtendMinutes more, counted from the time now
    // left (an end mode becomes a count of minutes). During the fade the
    // sound comes back and playback goes on.
    void extend();
    Mode mode() const { return m_mode; }
    int minutes() const { return m_minutes; }
    // Whether the playlist will open another entry after the current medium
    // (for Mode::EndOfPlaylist); none set: it never does.
    void setMoreToCome(std::function<bool()> moreToCome) { m_moreToCome = std::move(moreToCome); }
    // The time left until the pause; nothing when off, or not known (the end
    // of a playlist that has more entries to come).
    std::optional<qint64> remainingMs() const;
    // The playlist must not open its next entry: the timer ends with the
    // medium now loaded.
    bool holdsAtEnd() const;
    bool fading() const { return m_fading; }

    // An action of the user on the player.
    void userActed();
    // The medium reached its end while the timer holds it there: the timer
    // ends as if its fade had run out (pause, back to where the fade began).
    // Returns true when it took the end; the component then does not end the
    // medium.
    bool endReached();
    // One step: the fade, and the pause at the end. Its timer calls it.
    void tick();

    QTimer *timer() const { return m_timer; }

signals:
    // The mode or the time left changed (for the control bar).
    void changed();
    // The timer paused playback; position: the place kept, where the fade
    // began; agoMs: how long ago the fade began (or would have, at the end).
    void sleptAt(double position, qint64 agoMs);

private:
    void finish(bool pause);
    double chapterEnd(double position) const;

    MediaPlayer &m_player;
    std::function<qint64()> m_now;
    std::function<bool()> m_moreToCome;
    QTimer *m_timer = nullptr;
    Mode m_mode = Mode::Off;
    int m_minutes = 0;
    qint64 m_deadline = 0;
    double m_chapterEnd = 0.0; // EndOfChapter: where the chapter ends, in the medium
    bool m_fading = false;
    std::optional<double> m_fadeFrom;  // where the fade began, in the medium
    std::optional<qint64> m_fadeBegan; // when, on the timer's clock
    bool m_pausing = false;            // the timer's own pause, which is no user action
};
