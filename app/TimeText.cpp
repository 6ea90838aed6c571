// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TimeText.h"

#include <QDateTime>
#include <cmath>

QString timeText(double seconds)
{
    qint64 n = 0;
    if (std::isfinite(seconds) && seconds > 0) n = static_cast<qint64>(std::trunc(seconds));
    const qint64 h = n / 3600;
    const qint64 m = (n / 60) % 60;
    const qint64 s = n % 60;
    return QStringLiteral("%1:%2:%3")
        .arg(h, 2, 10, QLatin1Char('0'))
        .arg(m, 2, 10, QLatin1Char('0'))
        .arg(s, 2, 10, QLatin1Char('0'));
}

QString clockText(const QDateTime &time)
{
    return time.time().toString(QStringLiteral("HH:mm:ss"));
}

static bool pairAt(const QString &text, int index, qint64 *value)
{
    if (text.size() < index + 2) return false;
    const QString pair = text.mid(index, 2).trimmed();
    bool ok = false;
    const int v = pair.toInt(&ok, 10);
    if (!ok || pair.startsWith(u'+') || pair.startsWith(u'-')) return false;
    *value = v;
    return true;
}

bool parseTimeText(const QString &text, qint64 *seconds)
{
    qint64 h = 0, m = 0, s = 0;
    if (!pairAt(text, 0, &h) || !pairAt(text, 3, &m) || !pairAt(text, 6, &s)) return false;
    *seconds = h * 3600 + m * 60 + s;
    return true;
}
