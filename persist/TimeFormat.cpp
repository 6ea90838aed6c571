// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/TimeFormat.h"

#include <algorithm>

QString formatTime(qint64 ms, TimeForm form)
{
    ms = std::max<qint64>(ms, 0);
    const qint64 s = ms / 1000;
    const QLatin1Char zero('0');
    QString text = form.hourDigits > 0
                       ? QStringLiteral("%1:%2:%3")
                             .arg(s / 3600, form.hourDigits, 10, zero)
                             .arg(s / 60 % 60, 2, 10, zero)
                             .arg(s % 60, 2, 10, zero)
                       : QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, zero);
    if (form.milliseconds) text += QStringLiteral(".%1").arg(ms % 1000, 3, 10, zero);
    return text;
}
