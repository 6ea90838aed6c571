// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Taskbar.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>
#include <algorithm>
#include <optional>
#include <tuple>

namespace
{

// com.canonical.Unity.LauncherEntry: a signal naming the desktop entry and
// carrying the progress (0..1) and whether it is shown. Sent on the session
// bus only when the progress or its state changes (the status update asks
// every second); with no bus there is nothing to do.
class LauncherEntryTaskbar : public Taskbar
{
public:
    void setProgress(QWidget *, int state, quint64 value, quint64 max) override
    {
        const auto shown = std::make_tuple(state, value, max);
        if (m_shown == shown) return;
        QVariantMap properties;
        const double progress =
            max == 0 ? 0.0 : std::min(1.0, static_cast<double>(value) / static_cast<double>(max));
        properties.insert(QStringLiteral("progress"), progress);
        properties.insert(QStringLiteral("progress-visible"), true);
        // Paused and stopped show the bar as it is; "urgent" is not used.
        if (send(properties)) m_shown = shown;
    }

    void hideProgress(QWidget *) override
    {
        if (!m_shown) return;
        QVariantMap properties;
        properties.insert(QStringLiteral("progress-visible"), false);
        if (send(properties)) m_shown.reset();
    }

private:
    static bool send(const QVariantMap &properties)
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) return false;
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/com/canonical/unity/launcherentry/pelmora"),
            QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
        signal << QStringLiteral("application://%1.desktop").arg(QLatin1String(kDesktopId))
               << properties;
        return bus.send(signal);
    }

    // What the dock shows: state, value and maximum; none while hidden.
    std::optional<std::tuple<int, quint64, quint64>> m_shown;
};

} // namespace

std::unique_ptr<Taskbar> makePlatformTaskbar()
{
    return std::make_unique<LauncherEntryTaskbar>();
}
