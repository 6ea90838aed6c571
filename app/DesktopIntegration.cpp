// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DesktopIntegration.h"

#include "app/Mpris.h"
#include "app/ScreenSaver.h"
#include "app/Unit1.h"

#include <QDBusConnection>
#include <QPointer>
#include <QTimer>

DesktopIntegration::DesktopIntegration(TForm1 *form) : QObject(form)
{
    setObjectName(QStringLiteral("desktopIntegration"));
    m_bus = QDBusConnection::sessionBus().isConnected();
    if (!m_bus) return;
    // Made once the event loop runs: after the first window is shown, and
    // after the other windows exist (MPRIS follows the playlist).
    QPointer<TForm1> owner(form);
    QTimer::singleShot(0, this, [this, owner] {
        if (!owner) return;
        m_mpris = createMpris(owner, this);
        m_inhibitor = createScreenSaverInhibitor(owner->WindowsMediaPlayer1, this);
    });
}

DesktopIntegration::~DesktopIntegration() = default;
