// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TimeText.h"

#include "persist/TimeFormat.h"

#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

qint64 truncatedSeconds(double seconds)
{
    if (std::isnan(seconds)) return 0;
    const double limit = static_cast<double>(kMaxWholeSeconds);
    return static_cast<qint64>(std::trunc(std::clamp(seconds, -limit, limit)));
}

quint64 nonNegativeSeconds(double seconds)
{
    return static_cast<quint64>(std::max<qint64>(truncatedSeconds(seconds), 0));
}

QString timeText(double seconds)
{
    return formatTime(truncatedSeconds(seconds) * 1000, {.hourDigits = 2});
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

bool isLongTimeText(const QString &text)
{
    static const QRegularExpression longTime(QStringLiteral("^[0-9]{3,9}:[0-9]{2}:[0-9]{2}$"));
    return longTime.match(text).hasMatch();
}

bool readTimeText(const QString &text, qint64 *seconds)
{
    if (parseTimeText(text, seconds)) return true;
    if (!isLongTimeText(text)) return false;
    const QStringList parts = text.split(u':');
    *seconds = parts[0].toLongLong() * 3600 + parts[1].toLongLong() * 60 + parts[2].toLongLong();
    return true;
}
