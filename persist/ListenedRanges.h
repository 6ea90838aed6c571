// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>

// A stretch [start, end) of a medium that has been played, in seconds.
struct ListenedRange {
    double start = 0.0;
    double end = 0.0;
    bool operator==(const ListenedRange &) const = default;
};

// Listened ranges closer than this (seconds) are joined into one.
inline constexpr double kRangeJoinGap = 1.0;

// The ranges sorted by their start and merged: ranges that overlap, touch or
// lie less than joinGap apart become one. A range that is empty (end not
// after start) or not finite is dropped; a start before 0 counts as 0.
QList<ListenedRange> mergeRanges(QList<ListenedRange> ranges, double joinGap = kRangeJoinGap);

// Collects the stretches of a medium that are played: each position reached
// while playing extends the current stretch when it lies at most maxStep
// seconds after the last one; anything else (a jump back, a leap) starts a
// new stretch, and so does the next position after interrupt() (a seek).
class ListenTracker
{
public:
    // The stretches kept from earlier runs.
    void setKnown(const QList<ListenedRange> &ranges);
    void played(double position, double maxStep);
    void interrupt();
    // The stretches known and played, merged.
    QList<ListenedRange> ranges() const;
    // Forgets everything (another medium, or the user cleared the record).
    void clear();

private:
    QList<ListenedRange> m_ranges; // merged, the current stretch not yet among them
    bool m_open = false;
    double m_start = 0.0;
    double m_last = 0.0;
};
