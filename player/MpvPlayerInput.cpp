// SPDX-License-Identifier: GPL-3.0-or-later
// The player component's own surface: the control bar's requests and the
// keys; the mouse on the picture area and the context menu are its
// PictureInput's. Everything here ignores the user while the component is
// disabled.
#include "player/MpvPlayer.h"

#include "player/PictureInput.h"
#include "player/PlayerControls.h"
#include "player/SleepTimer.h"
#include "player/VideoArea.h"

#include <QKeyEvent>
#include <QTimer>
#include <QVBoxLayout>

void MpvPlayer::wireControls()
{
    m_input = new PictureInput(*this, *m_sleep);
    m_videoArea->setObjectName(QStringLiteral("videoArea"));
    m_videoArea->setFocusPolicy(Qt::StrongFocus);
    m_input->watch(m_videoArea);
    // The picture holds the keyboard focus of the component; Tab goes on to
    // the control bar, Esc there comes back.
    setFocusProxy(m_videoArea);

    m_controls = new PlayerControls(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_videoArea, 1);
    layout->addWidget(m_controls);
    // The offer of the last recording, with nothing loaded, comes between.
    setTabOrder(m_videoArea, m_videoArea->offerButton());
    setTabOrder(m_videoArea->offerButton(), m_controls->firstControl());
    connect(m_controls, &PlayerControls::leaveRequested, this,
            [this] { m_videoArea->setFocus(Qt::OtherFocusReason); });
    // The bar shows what the component reports; it asks for what the user
    // wants.
    m_controls->follow(this, m_sleep);

    PictureInput *input = m_input;
    connect(m_controls, &PlayerControls::playRequested, this,
            [this, input] { input->request([this] { play(); }); });
    connect(m_controls, &PlayerControls::pauseRequested, this,
            [this, input] { input->request([this] { pause(); }); });
    connect(m_controls, &PlayerControls::stopRequested, this,
            [this, input] { input->request([this] { stop(); }); });
    connect(m_controls, &PlayerControls::seekRequested, this, [this, input](double seconds) {
        input->request([&] { setCurrentPosition(seconds); });
    });
    connect(m_controls, &PlayerControls::volumeRequested, this,
            [this, input](int value) { input->request([&] { setVolume(value); }); });
    connect(m_controls, &PlayerControls::muteRequested, this,
            [this, input](bool on) { input->request([&] { setMuted(on); }); });
    connect(m_controls, &PlayerControls::speedRequested, this,
            [this, input](double value) { input->request([&] { userSetSpeed(*this, value); }); });
    connect(m_controls, &PlayerControls::markRequested, this, [this, input](double seconds) {
        input->request([&] {
            setCurrentPosition(seconds);
            play();
        });
    });
    connect(m_controls, &PlayerControls::skipSilenceRequested, this,
            [this, input](bool on) { input->request([&] { userSetSkipSilence(*this, on); }); });
    connect(m_controls, &PlayerControls::voiceBoostRequested, this,
            [this, input](bool on) { input->request([&] { userSetVoiceBoost(*this, on); }); });
    connect(m_controls, &PlayerControls::sleepRequested, this,
            [this, input](SleepTimer::Mode mode, int minutes) {
                input->request([&] { m_sleep->set(mode, minutes); });
            });
    connect(m_controls, &PlayerControls::sleepExtendRequested, input, &PictureInput::extendSleep);
    connect(m_controls, &PlayerControls::placeRequested, this,
            [this, input] { input->request([this] { takeOfferedPlace(); }); });

    // What the user switched, on the picture; how to begin with nothing
    // loaded.
    connect(this, &MediaPlayer::told, m_videoArea, &VideoArea::showNotice);
    connect(this, &MediaPlayer::startHintChanged, this, &MpvPlayer::showCard);
    connect(m_videoArea, &VideoArea::offerTaken, this,
            [this, input] { input->request([this] { emit startOfferTaken(); }); });

    m_placeTimer = new QTimer(this);
    m_placeTimer->setSingleShot(true);
    // The button goes after a while; the offer stands (the key R, the
    // context menu).
    connect(m_placeTimer, &QTimer::timeout, this, [this] { emit placeOfferChanged(QString()); });
    connect(m_controls, &PlayerControls::placeDismissRequested, this,
            [this, input] { input->request([this] { forgetOfferedPlace(); }); });
}

bool MpvPlayer::handleKey(const QKeyEvent &event)
{
    if (m_input->menuKey(event)) return true;
    const bool taken = MediaPlayer::handleKey(event);
    if (taken && m_enabled) m_input->userActed();
    return taken;
}

void MpvPlayer::setPlayerEnabled(bool enabled)
{
    m_enabled = enabled;
    if (!enabled) m_input->closeMenu();
    emit enabledChanged(enabled);
}

void MpvPlayer::keyPressEvent(QKeyEvent *event)
{
    if (m_enabled && event->key() == Qt::Key_Escape) {
        emit fullScreenRequested(false);
        return;
    }
    if (handleKey(*event)) return;
    MediaPlayer::keyPressEvent(event);
}
