// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <deque>
#include <functional>
#include <memory>

class QThread;

// The slow writes of a running program (the resume journal, the place
// store), away from the GUI thread: jobs run one after the other, in the
// order posted, on a thread of their own. A job that finds the place store
// locked by another program asks to be tried again: it stays first and runs
// again RetryMs later, the jobs behind it waiting, so nothing is lost or
// reordered while the lock lasts.
//
// Without a thread (threaded = false: the tests of the windows), each job
// runs at once when it is posted, retries included, on the caller's thread.
class DiskWriter : public QObject
{
    Q_OBJECT

public:
    enum class Outcome { Done, Retry };
    using Job = std::function<Outcome()>;
    static constexpr int RetryMs = 1000;

    explicit DiskWriter(bool threaded, QObject *parent = nullptr);
    // Runs what is left (at most a few seconds) and stops the thread.
    ~DiskWriter() override;

    bool threaded() const { return m_thread != nullptr; }
    void post(Job job);
    // Waits until every job posted so far has run; false when timeoutMs
    // passed first (a store that stays locked).
    bool flush(int timeoutMs);
    // A slow disk, for benchmarks: every job waits this long first.
    void setDelay(int ms);

    class Queue; // the jobs, shared with the thread that runs them

private:
    std::shared_ptr<Queue> m_queue;
    QThread *m_thread = nullptr;
    QObject *m_worker = nullptr; // lives on m_thread (or is this object's child)
};
