// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DesktopIntegration.h"

#include "app/Mpris.h"
#include "app/ScreenSaver.h"

#include <QDBusConnection>

DesktopIntegration::DesktopIntegration(MediaPlayer *player, QObject *parent)
    : QObject(parent), m_player(player)
{
    setObjectName(QStringLiteral("desktopIntegration"));
    m_bus = QDBusConnection::sessionBus().isConnected();
    m_mpris = new Mpris(this);
}

DesktopIntegration::~DesktopIntegration() = default;

void DesktopIntegration::publish()
{
    if (!m_bus || m_inhibitor) return;
    m_mpris->publish();
    m_inhibitor = createScreenSaverInhibitor(m_player, this);
}
