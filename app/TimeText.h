// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QDateTime;

// The shared time text of a position: "hh:nn:ss" from the whole seconds
// (truncated toward zero). Hours are not wrapped at a day: 90 005 s reads
// 25:00:05; they keep two digits up to 99 (longer beyond), so the
// eight-character form that files and marks rely on holds. Negative
// positions read as 00:00:00.
QString timeText(double seconds);

// A clock time of day, "hh:nn:ss", milliseconds cut off (wraps at midnight).
QString clockText(const QDateTime &time);

// Reads a time text back by character positions 1-2, 4-5 and 7-8 (hours,
// minutes, seconds). Returns false when a pair is not a decimal integer (or
// is missing from a shorter text).
bool parseTimeText(const QString &text, qint64 *seconds);
