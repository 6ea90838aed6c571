// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QLabel;
class QSlider;
class QToolButton;

// The bar below the video: play, pause and stop buttons, the seek slider with
// the position and length, the mute button and the volume slider. It only
// shows what it is given and reports what the user asks for.
class PlayerControls : public QWidget
{
    Q_OBJECT

public:
    explicit PlayerControls(QWidget *parent = nullptr);

    // Shows the position and length in seconds (length 0: unknown or nothing
    // loaded) and whether the medium is playing.
    void showProgress(double position, double length, bool hasMedia, bool playing);
    void showVolume(int volume, bool muted);

    // "m:ss" below an hour, "h:mm:ss" from an hour on.
    static QString timeText(double seconds, bool withHours);

signals:
    void playRequested();
    void pauseRequested();
    void stopRequested();
    void seekRequested(double seconds);
    void volumeRequested(int volume);
    void muteRequested(bool muted);

private:
    void seekToSlider();
    void showTimes(double position);

    QToolButton *m_play = nullptr;
    QToolButton *m_pause = nullptr;
    QToolButton *m_stop = nullptr;
    QSlider *m_seek = nullptr;
    QLabel *m_time = nullptr;
    QToolButton *m_mute = nullptr;
    QSlider *m_volume = nullptr;
    double m_length = 0.0;
};
