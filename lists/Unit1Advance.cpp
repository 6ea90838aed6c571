// SPDX-License-Identifier: GPL-3.0-or-later
// The playlist's auto-advance, driven by the main window's Timer2: when the
// playing medium is less than three seconds from its end, or has ended by
// itself since the last tick (a jump past its end, its outro, a fast speed),
// the next entry of the playlist opens after a pause of 2.5 s.
#include "app/Unit1.h"

#include "app/TimeText.h"
#include "lists/Unit6.h"
#include "player/MediaPlayer.h"

#include <QTimer>

void TForm1::followEndForAdvance()
{
    connect(WindowsMediaPlayer1, &MediaPlayer::playStateChanged, this, [this](int state) {
        if (state == MediaPlayer::MediaEnded)
            m_mediumEnded = !WindowsMediaPlayer1->sleepsAtEnd();
        else if (state != MediaPlayer::Stopped)
            m_mediumEnded = false; // another medium, or played again
    });
}

void TForm1::Timer2Timer()
{
    // While the pause before the next entry runs, no second advance starts.
    if (m_advancePending) return;
    runHandler(*this, nullptr, [&] {
        MediaPlayer *player = WindowsMediaPlayer1;
        const int state = player->playState();
        bool atEnd =
            m_mediumEnded && (state == MediaPlayer::MediaEnded || state == MediaPlayer::Stopped);
        if (state == MediaPlayer::Playing) {
            const qint64 D = truncatedSeconds(player->duration());
            const qint64 P = truncatedSeconds(player->currentPosition());
            atEnd = P >= D - 2;
        }
        // Unless the sleep timer holds the medium at its end.
        if (atEnd && !player->sleepsAtEnd()) {
            m_mediumEnded = false;
            // The pause does not block the program: the picture goes on
            // being painted; the rest of the tick runs after it.
            // A medium opened meanwhile by other means (a double-click on
            // the playlist, the resume command, another open) ends this
            // advance: the next entry is not opened on top of it.
            m_advancePending = true;
            m_services.delay->after(2500, this, [this, url = player->url()] {
                if (WindowsMediaPlayer1->url() != url) {
                    m_advancePending = false;
                    return;
                }
                continueAdvance();
            });
            return;
        }
        if (player->playState() == MediaPlayer::Stopped) Timer2->stop();
    });
}

void TForm1::continueAdvance()
{
    m_advancePending = false;
    // Auto-advance switched off during the pause (another file opened, the
    // exit): the user has taken over.
    if (!Timer2->isActive()) return;
    runHandler(*this, nullptr, [&] {
        if (!Form6 || Form6->itemIndex() >= Form6->count() - 1) {
            Timer2->stop();
            return;
        }
        OpenFile(Form6->entries().at(Form6->itemIndex() + 1));
        Form6->setItemIndex(Form6->itemIndex() + 1);
        if (WindowsMediaPlayer1->playState() == MediaPlayer::Stopped) Timer2->stop();
    });
}
