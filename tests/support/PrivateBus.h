// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QString>

// A session bus of the test's own (tests/support/session-bus.conf: no
// service directories, so nothing of the machine starts on it), made the
// session bus of the process: construct it before the application, which
// connects to the bus named in DBUS_SESSION_BUS_ADDRESS. Without dbus-daemon
// the address names no bus at all rather than the user's own.
class PrivateBus
{
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    // Empty when no bus could be started (the tests that need one skip).
    QString address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
};
