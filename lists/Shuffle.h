// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

#include <functional>

// The playlist's shuffle: n single moves of one entry each, the generator
// seeded afresh before every draw.

// One draw of the shuffle: an index from 0 to n - 1 with a generator seeded
// afresh from seed.
int shuffleDraw(quint64 seed, int n);
// The shuffle: for i from 0 to n - 1, draw j (seeding from nextSeed() before
// each draw) and move the entry at i to j. The result is that of the n
// single moves; *selected follows the rule of moveEntry. Runs in
// O(n log n), so that long lists shuffle quickly.
QStringList shuffleEntries(const QStringList &entries, const std::function<quint64()> &nextSeed,
                           int *selected = nullptr);
