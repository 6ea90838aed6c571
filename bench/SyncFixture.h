// SPDX-License-Identifier: GPL-3.0-or-later
// A synced folder as a year of use leaves it, for the benchmarks.
#pragma once

#include "persist/SyncEvents.h"
#include "persist/SyncFolder.h"

#include <QRandomGenerator>

// Writes events of one device into its directory, as it would have
// appended them over a year.
inline void writeDevice(const QString &folder, const QString &device, int count, qint64 startMs)
{
    SyncFolder out(folder, device, device);
    HybridClock clock(device);
    QRandomGenerator random(qHash(device));
    QList<SyncEvent> events;
    qint64 wall = startMs;
    for (int i = 0; i < count; ++i) {
        wall += 300000;
        const QString key = QStringLiteral("@%1:%2")
                                .arg(4000000 + i % 1000)
                                .arg(i % 1000, 64, 16, QLatin1Char('0'));
        SyncEvent e{SyncEvent::Kind::Place, key, clock.next(wall)};
        switch (i % 10) {
        case 0:
        case 1:
        case 2:
            e.position = random.bounded(3600);
            e.duration = 3600;
            break;
        case 3:
        case 4:
            e.kind = SyncEvent::Kind::Heard;
            e.ranges = {{double(i % 3000), double(i % 3000 + 300)}};
            break;
        case 5:
            e.kind = SyncEvent::Kind::Settings;
            e.settings.speed = 1.5;
            break;
        case 6:
            e.kind = SyncEvent::Kind::Record;
            e.recordId = QStringLiteral("%1-%2").arg(device).arg(i % 5000);
            e.record = {QStringLiteral("00:10:00"), QStringLiteral("要点 %1").arg(i), 600000};
            break;
        default:
            e.kind = SyncEvent::Kind::Stretch;
            e.seq = wall;
            e.stretch = {QStringLiteral("第%1回.mp3").arg(i % 1000),
                         0,
                         300,
                         wall - 300000,
                         wall,
                         1.5,
                         0,
                         key};
            break;
        }
        events << e;
        if (events.size() == 5000) {
            out.append(events);
            events.clear();
        }
    }
    out.append(events);
}

// Three devices' year: count events in all.
inline void writeYear(const QString &folder, int count, qint64 startMs)
{
    for (const char *device : {"desktop", "laptop", "tablet"})
        writeDevice(folder, QLatin1String(device), count / 3, startMs);
}
