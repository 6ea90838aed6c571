// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DesktopIntegration.h"

#include "app/Mpris.h"
#include "app/ScreenSaver.h"
#include "app/Unit1.h"

#include <QDBusConnection>

DesktopIntegration::DesktopIntegration(TForm1 *form) : QObject(form)
{
    setObjectName(QStringLiteral("desktopIntegration"));
    if (!QDBusConnection::sessionBus().isConnected()) return;
    m_mpris = createMpris(form, this);
    m_inhibitor = createScreenSaverInhibitor(form->WindowsMediaPlayer1, this);
}

DesktopIntegration::~DesktopIntegration() = default;
