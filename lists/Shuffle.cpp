// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/Shuffle.h"

#include <limits>
#include <vector>

int shuffleDraw(quint64 seed, int n)
{
    // A splitmix64 generator seeded afresh (cheap to seed, unlike a
    // Mersenne twister, which matters with one seeding per draw), and an
    // unbiased reduction to 0 .. n - 1 by rejection.
    quint64 state = seed;
    auto next = [&state] {
        quint64 z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    };
    const auto range = static_cast<quint64>(n);
    const quint64 top = std::numeric_limits<quint64>::max();
    const quint64 limit = top - top % range;
    quint64 value;
    do {
        value = next();
    } while (value >= limit);
    return static_cast<int>(value % range);
}

namespace
{

// A sequence of entry numbers kept as an implicit treap: removing the entry
// at one position and inserting it at another costs O(log n), where moving
// it in an array costs O(n).
class Sequence
{
public:
    explicit Sequence(int n) : m_left(n, -1), m_right(n, -1), m_size(n, 1), m_priority(n)
    {
        quint64 state = 0x9E3779B97F4A7C15ull;
        for (int i = 0; i < n; ++i) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            m_priority[i] = static_cast<quint32>(state >> 32);
        }
        // Builds the tree of 0..n-1 in order in O(n) (right spine on a stack).
        std::vector<int> spine;
        for (int i = 0; i < n; ++i) {
            int last = -1;
            while (!spine.empty() && m_priority[spine.back()] < m_priority[i]) {
                last = spine.back();
                spine.pop_back();
            }
            m_left[i] = last;
            if (!spine.empty()) m_right[spine.back()] = i;
            spine.push_back(i);
        }
        m_root = spine.empty() ? -1 : spine.front();
        fixSizes(m_root);
    }

    // Moves the entry at position from to position to; returns its number.
    int move(int from, int to)
    {
        int a, rest, m, c;
        split(m_root, from, a, rest);
        split(rest, 1, m, c);
        m_root = merge(a, c);
        split(m_root, to, a, c);
        m_root = merge(merge(a, m), c);
        return m;
    }

    std::vector<int> order() const
    {
        std::vector<int> out;
        out.reserve(m_size.size());
        std::vector<int> stack;
        int node = m_root;
        while (node >= 0 || !stack.empty()) {
            while (node >= 0) {
                stack.push_back(node);
                node = m_left[node];
            }
            node = stack.back();
            stack.pop_back();
            out.push_back(node);
            node = m_right[node];
        }
        return out;
    }

private:
    int size(int node) const { return node < 0 ? 0 : m_size[node]; }
    void update(int node) { m_size[node] = 1 + size(m_left[node]) + size(m_right[node]); }

    int fixSizes(int node)
    {
        // Sizes bottom-up, without recursion.
        if (node < 0) return 0;
        std::vector<std::pair<int, bool>> stack{{node, false}};
        while (!stack.empty()) {
            auto [n, visited] = stack.back();
            stack.pop_back();
            if (visited) {
                update(n);
                continue;
            }
            stack.push_back({n, true});
            if (m_left[n] >= 0) stack.push_back({m_left[n], false});
            if (m_right[n] >= 0) stack.push_back({m_right[n], false});
        }
        return m_size[node];
    }

    // Splits t into its first k entries (a) and the rest (b).
    void split(int t, int k, int &a, int &b)
    {
        if (t < 0) {
            a = b = -1;
            return;
        }
        if (size(m_left[t]) < k) {
            split(m_right[t], k - size(m_left[t]) - 1, m_right[t], b);
            a = t;
        } else {
            split(m_left[t], k, a, m_left[t]);
            b = t;
        }
        update(t);
    }

    int merge(int a, int b)
    {
        if (a < 0) return b;
        if (b < 0) return a;
        if (m_priority[a] > m_priority[b]) {
            m_right[a] = merge(m_right[a], b);
            update(a);
            return a;
        }
        m_left[b] = merge(a, m_left[b]);
        update(b);
        return b;
    }

    std::vector<int> m_left, m_right, m_size;
    std::vector<quint32> m_priority;
    int m_root = -1;
};

} // namespace

QStringList shuffleEntries(const QStringList &entries, const std::function<quint64()> &nextSeed,
                           int *selected)
{
    const int n = static_cast<int>(entries.size());
    int selectedEntry = selected ? *selected : -1;
    Sequence sequence(n);
    for (int i = 0; i < n; ++i) {
        const int j = shuffleDraw(nextSeed(), n);
        if (j == i) continue;
        // Removing the selected entry, as the first half of the move, loses
        // the selection.
        if (sequence.move(i, j) == selectedEntry) selectedEntry = -1;
    }
    QStringList out;
    out.reserve(n);
    int newSelected = -1;
    const std::vector<int> order = sequence.order();
    for (int pos = 0; pos < n; ++pos) {
        out << entries.at(order[static_cast<size_t>(pos)]);
        if (order[static_cast<size_t>(pos)] == selectedEntry) newSelected = pos;
    }
    if (selected) *selected = newSelected;
    return out;
}
