// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Taskbar.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace
{

// com.canonical.Unity.LauncherEntry: a signal naming the desktop entry and
// carrying the progress (0..1) and whether it is shown. Sent on the session
// bus; with no bus there is nothing to do.
class LauncherEntryTaskbar : public Taskbar
{
public:
    void setProgress(QWidget *, int state, quint64 value, quint64 max) override
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) return;
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/com/canonical/unity/launcherentry/pelmora"),
            QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
        QVariantMap properties;
        const double progress =
            max == 0 ? 0.0 : std::min(1.0, static_cast<double>(value) / static_cast<double>(max));
        properties.insert(QStringLiteral("progress"), progress);
        properties.insert(QStringLiteral("progress-visible"), true);
        // Paused and stopped show the bar as it is; "urgent" is not used.
        Q_UNUSED(state);
        signal << QStringLiteral("application://%1.desktop").arg(QLatin1String(kDesktopId))
               << properties;
        bus.send(signal);
    }
};

} // namespace

std::unique_ptr<Taskbar> makePlatformTaskbar()
{
    return std::make_unique<LauncherEntryTaskbar>();
}
