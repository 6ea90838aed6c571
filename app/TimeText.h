// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QDateTime;

// The most whole seconds a position is taken as: the longest time text the
// program reads back (999999999:59:59). Larger values, and infinities, are
// clamped to it before they are turned into integers.
inline constexpr qint64 kMaxWholeSeconds = 999'999'999LL * 3600 + 3599;

// The whole seconds of a position, truncated toward zero (83.7 is 83, -1.8
// is -1); NaN is 0; clamped to +/- kMaxWholeSeconds.
qint64 truncatedSeconds(double seconds);
// The same with negative positions as 0 (for progress numbers).
quint64 nonNegativeSeconds(double seconds);

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

// A time text of 100 hours or more as timeText() writes it: three to nine
// hour digits, then ":nn:ss".
bool isLongTimeText(const QString &text);

// Reads back any time text the program writes: the eight-character form by
// its character positions (parseTimeText), or a longer one of 100 hours and
// more by its fields. False for anything else (a hand-typed 1:02:03 too).
bool readTimeText(const QString &text, qint64 *seconds);
