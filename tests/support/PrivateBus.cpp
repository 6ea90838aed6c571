// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/PrivateBus.h"

#include <QStandardPaths>
#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

PrivateBus::PrivateBus()
{
    if (!QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
#ifdef Q_OS_LINUX
        // The bus ends with the test, also when the test crashes.
        m_daemon.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--config-file=" PELMORA_TEST_BUS_CONFIG),
                        QStringLiteral("--print-address"), QStringLiteral("--nofork")});
        if (m_daemon.waitForStarted(5000) && m_daemon.waitForReadyRead(5000))
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.isEmpty()
                                            ? QByteArray("unix:path=/nonexistent/pelmora-test-bus")
                                            : m_address.toUtf8());
}

PrivateBus::~PrivateBus()
{
    if (m_daemon.state() == QProcess::NotRunning) return;
    // Asked to end first, so that it takes its socket away with it.
    m_daemon.terminate();
    if (m_daemon.waitForFinished(5000)) return;
    m_daemon.kill();
    m_daemon.waitForFinished(5000);
}
