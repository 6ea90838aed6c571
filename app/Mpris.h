// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

// MPRIS2, the desktop's media keys and media widgets: the service
// "org.mpris.MediaPlayer2.pelmora" (a second running program takes
// "org.mpris.MediaPlayer2.pelmora.instance" followed by its process id) with
// the object /org/mpris/MediaPlayer2 and the interfaces org.mpris.MediaPlayer2
// and org.mpris.MediaPlayer2.Player.
//
// It knows no window and no player: the program pushes its state in through
// the setters, and what the bus asks for comes out as the ...Requested
// signals, after MPRIS's rules are applied here: a seek before the start goes
// to 0, one beyond the end goes to the next entry (or to the end, which ends
// the medium as any end does), a position beyond the length or for another
// track is ignored, a volume is clamped to 0..1. While the program does not
// accept requests (start-up is not through, or a box waits for an answer),
// the requests that change playback or end the program fail with a D-Bus
// error instead of acting behind the box.
class Mpris : public QObject
{
    Q_OBJECT

public:
    enum class Status { Stopped, Playing, Paused };
    struct Track {
        QString url; // empty: nothing loaded
        QString title;
        QStringList artists;
        QString album;
        QString artUrl;
        double length = 0.0; // seconds; 0: not known
    };
    // What a request got.
    enum class Answer { Done, Ignored, Refused };

    explicit Mpris(QObject *parent = nullptr);
    ~Mpris() override;

    // Puts it on the session bus; false where there is none (no bus,
    // Windows). Until then it only keeps its state.
    bool publish();

    // --- the program's state ---
    void setStatus(Status status);
    void setTrack(const Track &track);
    void setPosition(double seconds);
    void setRate(double rate);
    void setVolume(double volume); // 0..1
    void setCanGoNext(bool can);
    void setCanGoPrevious(bool can);
    void setCanQuit(bool can);
    void setFullscreen(bool on);
    void setAccepting(std::function<bool()> accepting) { m_accepting = std::move(accepting); }
    // A seek the program made (Seeked on the bus).
    void announceSeek(double seconds);

    // --- what the bus reads ---
    Status status() const { return m_status; }
    QString statusText() const;
    const Track &track() const { return m_track; }
    // The id of the track loaded; it changes with every medium.
    QString trackId() const;
    double position(); // asks for the position now (positionWanted)
    double rate() const { return m_rate; }
    double volume() const { return m_volume; }
    bool canGoNext() const { return m_canGoNext; }
    bool canGoPrevious() const { return m_canGoPrevious; }
    bool canQuit() const { return m_canQuit; }
    bool canSeek() const { return !m_track.url.isEmpty() && m_track.length > 0; }
    bool hasTrack() const { return !m_track.url.isEmpty(); }
    bool fullscreen() const { return m_fullscreen; }
    bool accepting() const { return !m_accepting || m_accepting(); }

    // --- what the bus asks for ---
    Answer play();
    Answer pause();
    Answer playPause();
    Answer stop();
    Answer seek(qlonglong offsetUs);
    Answer setPositionOf(const QString &trackId, qlonglong positionUs);
    Answer openUri(const QString &uri);
    Answer next();
    Answer previous();
    Answer quit();
    Answer raise();
    Answer requestVolume(double volume);
    Answer requestRate(double rate);
    Answer requestFullscreen(bool on);

signals:
    void playRequested();
    void pauseRequested();
    void stopRequested();
    void positionRequested(double seconds);
    void nextRequested();
    void previousRequested();
    void openRequested(const QString &fileName);
    void quitRequested();
    void raiseRequested();
    void volumeRequested(int volume); // 0..100
    void rateRequested(double rate);
    void fullscreenRequested(bool on);
    // Somebody reads the position: setPosition() it now.
    void positionWanted();
    // For the bus: a property of these interfaces changed, or a seek was made.
    void changed();
    void seeked(qlonglong positionUs);

private:
    Answer gate() const;

    Status m_status = Status::Stopped;
    Track m_track;
    int m_trackNumber = 0; // counts the media loaded
    double m_position = 0.0;
    double m_rate = 1.0;
    double m_volume = 0.5;
    bool m_canGoNext = false;
    bool m_canGoPrevious = false;
    bool m_canQuit = true;
    bool m_fullscreen = false;
    std::function<bool()> m_accepting;
    QObject *m_bus = nullptr; // the exported object, once published
};
