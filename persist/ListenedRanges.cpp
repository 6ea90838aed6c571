// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/ListenedRanges.h"

#include <algorithm>
#include <cmath>

QList<ListenedRange> mergeRanges(QList<ListenedRange> ranges, double joinGap)
{
    if (!(joinGap >= 0)) joinGap = 0;
    QList<ListenedRange> valid;
    valid.reserve(ranges.size());
    for (ListenedRange r : std::as_const(ranges)) {
        if (!std::isfinite(r.start) || !std::isfinite(r.end)) continue;
        r.start = std::max(r.start, 0.0);
        if (r.end > r.start) valid.append(r);
    }
    std::sort(valid.begin(), valid.end(), [](const ListenedRange &a, const ListenedRange &b) {
        return a.start < b.start || (a.start == b.start && a.end < b.end);
    });
    QList<ListenedRange> merged;
    for (const ListenedRange &r : std::as_const(valid)) {
        if (!merged.isEmpty()) {
            ListenedRange &last = merged.back();
            if (r.start <= last.end || r.start - last.end < joinGap) {
                last.end = std::max(last.end, r.end);
                continue;
            }
        }
        merged.append(r);
    }
    return merged;
}

void ListenTracker::setKnown(const QList<ListenedRange> &ranges)
{
    m_ranges = mergeRanges(ranges);
}

void ListenTracker::played(double position, double maxStep)
{
    if (!std::isfinite(position)) return;
    if (m_open && position >= m_last && position - m_last <= maxStep) {
        m_last = position;
        return;
    }
    interrupt();
    m_open = true;
    m_start = m_last = position;
}

void ListenTracker::interrupt()
{
    if (m_open && m_last > m_start) {
        m_ranges.append({m_start, m_last});
        m_ranges = mergeRanges(m_ranges);
    }
    m_open = false;
}

QList<ListenedRange> ListenTracker::ranges() const
{
    if (!m_open || m_last <= m_start) return m_ranges;
    QList<ListenedRange> all = m_ranges;
    all.append({m_start, m_last});
    return mergeRanges(all);
}

void ListenTracker::clear()
{
    m_ranges.clear();
    m_open = false;
}
