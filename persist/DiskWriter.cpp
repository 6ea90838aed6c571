// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/DiskWriter.h"

#include "persist/ThreadPriority.h"

#include <QDeadlineTimer>
#include <QMutex>
#include <QThread>
#include <QTimer>
#include <QWaitCondition>

// The jobs and the state of their running, shared by the posting thread and
// the worker.
class DiskWriter::Queue
{
public:
    QMutex mutex;
    QWaitCondition idle;
    std::deque<Job> jobs;
    bool scheduled = false;  // a drain is on its way
    bool running = false;    // a job runs now
    bool retryArmed = false; // the drain after a retry's wait is on its way
    int delayMs = 0;
};

namespace
{

// Drains the queue on the calling thread; a job that asks to be retried
// stays first and the drain comes back RetryMs later on the same thread.
void drain(const std::shared_ptr<DiskWriter::Queue> &queue, QObject *context);

void drain(const std::shared_ptr<DiskWriter::Queue> &queue, QObject *context)
{
    QMutexLocker lock(&queue->mutex);
    queue->scheduled = false;
    while (!queue->jobs.empty() && !queue->running) {
        DiskWriter::Job job = std::move(queue->jobs.front());
        queue->jobs.pop_front();
        queue->running = true;
        const int delay = queue->delayMs;
        lock.unlock();
        if (delay > 0) QThread::msleep(static_cast<unsigned long>(delay));
        const DiskWriter::Outcome outcome = job();
        lock.relock();
        queue->running = false;
        if (outcome == DiskWriter::Outcome::Retry) {
            queue->jobs.push_front(std::move(job));
            queue->scheduled = true;
            if (queue->retryArmed) return;
            queue->retryArmed = true;
            lock.unlock();
            QTimer::singleShot(DiskWriter::RetryMs, context, [queue, context] {
                {
                    QMutexLocker relock(&queue->mutex);
                    queue->retryArmed = false;
                }
                drain(queue, context);
            });
            return;
        }
    }
    if (queue->jobs.empty() && !queue->running) queue->idle.wakeAll();
}

} // namespace

DiskWriter::DiskWriter(bool threaded, QObject *parent)
    : QObject(parent), m_queue(std::make_shared<Queue>())
{
    if (!threaded) {
        m_worker = this;
        return;
    }
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("disk writer"));
    m_worker = new QObject;
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start(QThread::LowPriority);
    // (On Linux a thread's priority is its nice value, which Qt leaves as
    // it is.) Its long jobs (reading a synced folder) give way to the GUI
    // thread and the engine on a busy machine.
    post([] {
        lowerCurrentThreadPriority();
        return Outcome::Done;
    });
}

DiskWriter::~DiskWriter()
{
    if (!m_thread) return;
    flush(3000);
    m_thread->quit();
    m_thread->wait();
}

void DiskWriter::post(Job job)
{
    if (!m_thread) {
        {
            QMutexLocker lock(&m_queue->mutex);
            m_queue->jobs.push_back(std::move(job));
            // Waiting for a retry: the job waits behind the one that asked.
            if (m_queue->scheduled || m_queue->running) return;
        }
        drain(m_queue, m_worker);
        return;
    }
    QMutexLocker lock(&m_queue->mutex);
    m_queue->jobs.push_back(std::move(job));
    if (m_queue->scheduled || m_queue->running) return;
    m_queue->scheduled = true;
    QMetaObject::invokeMethod(
        m_worker, [queue = m_queue, worker = m_worker] { drain(queue, worker); },
        Qt::QueuedConnection);
}

bool DiskWriter::flush(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&m_queue->mutex);
    if (!m_thread) {
        // The same thread: a job waiting for a retry runs now, once more.
        while (!m_queue->jobs.empty() && !deadline.hasExpired()) {
            m_queue->scheduled = false;
            lock.unlock();
            drain(m_queue, m_worker);
            lock.relock();
            if (!m_queue->jobs.empty()) QThread::msleep(50);
        }
        return m_queue->jobs.empty();
    }
    while (!m_queue->jobs.empty() || m_queue->running) {
        if (!m_queue->idle.wait(&m_queue->mutex, deadline)) return false;
    }
    return true;
}

void DiskWriter::setDelay(int ms)
{
    QMutexLocker lock(&m_queue->mutex);
    m_queue->delayMs = ms;
}
