// SPDX-License-Identifier: GPL-3.0-or-later
// The playback monitor: once a second the status bar, CurrentPosition and the
// taskbar progress are refreshed from the player; the progress is taken away
// when the player loses its medium and when the program ends.
#include "app/Unit1.h"

#include "app/TimeText.h"
#include "player/MediaPlayer.h"

#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace
{

// The time until the end, in whole milliseconds: at the normal speed the
// whole seconds left (truncated), at another speed the medium's time left
// divided by the speed.
qint64 remainingMilliseconds(double left, double speed)
{
    if (speed == 1.0 || !(speed > 0.0)) return truncatedSeconds(left) * 1000;
    const double ms = left * 1000.0 / speed;
    if (std::isnan(ms)) return 0;
    const double limit = static_cast<double>(kMaxWholeSeconds) * 1000.0;
    return static_cast<qint64>(std::trunc(std::clamp(ms, -limit, limit)));
}

} // namespace

// While nothing moves (paused, stopped, nothing loaded) the status update
// stays on but ticks seldom, so that an idle program does not wake the
// machine each second; whatever can change the display (a seek, another
// state, the medium's length) refreshes it at once instead.
void TForm1::followPlayback()
{
    MediaPlayer *player = WindowsMediaPlayer1;
    auto refresh = [this] {
        if (!Timer1->isActive() || m_refreshQueued) return;
        m_refreshQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_refreshQueued = false;
            if (Timer1->isActive()) Timer1Timer();
        });
    };
    connect(player, &MediaPlayer::playStateChanged, this, [this, refresh](int state) {
        const int interval = state == MediaPlayer::Playing ? 1000 : IdleMonitorMs;
        if (Timer1->interval() != interval) Timer1->setInterval(interval);
        refresh();
    });
    connect(player, &MediaPlayer::seeked, this, refresh);
    connect(player, &MediaPlayer::mediumInfoChanged, this, refresh);
    // The status bar shows the second the control bar shows: a new whole
    // second of the position refreshes it at once, also when the medium
    // plays faster than the timer ticks.
    connect(player, &MediaPlayer::positionChanged, this, [this, refresh](double position) {
        if (timeText(position) != CurrentPosition) refresh();
    });
}

void TForm1::Timer1Timer()
{
    runHandler(*this, "Timer1", [&] {
        MediaPlayer *player = WindowsMediaPlayer1;
        if (!player->hasCurrentMedia()) return;
        const double p = player->currentPosition();
        CurrentPosition = timeText(p);
        if (player->playState() == MediaPlayer::Playing) {
            const QDateTime now = m_services.clock->now();
            const double d = player->duration();
            // The remaining whole seconds, truncated toward zero, up to
            // where the medium ends (a course's outro); the end time is
            // exact to the millisecond and shown without them.
            const double cut = player->endCut();
            const double left = (cut > 0.0 && cut < d ? d - cut : d) - p;
            const QDateTime end = now.addMSecs(remainingMilliseconds(left, player->speed()));
            StatusBar1->setText(CurrentPosition + QStringLiteral(" / ") + timeText(d) +
                                QStringLiteral(" （再生終了時刻:") + clockText(end) +
                                QStringLiteral("）"));
            ProgressBarTB(this, Taskbar::TBPF_NORMAL, nonNegativeSeconds(p), nonNegativeSeconds(d));
        } else {
            const double d = player->duration();
            StatusBar1->setText(CurrentPosition + QStringLiteral(" / ") + timeText(d));
            ProgressBarTB(this, Taskbar::TBPF_PAUSED, nonNegativeSeconds(p), nonNegativeSeconds(d));
        }
    });
}

void TForm1::ProgressBarTB(QWidget *hwnd, int tbpFlags, quint64 Value, quint64 Max)
{
    if (m_services.taskbar) m_services.taskbar->setProgress(hwnd, tbpFlags, Value, Max);
}

void TForm1::hideProgressTB()
{
    if (m_services.taskbar) m_services.taskbar->hideProgress(this);
}
