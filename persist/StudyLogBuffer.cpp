// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/StudyLogBuffer.h"

#include "persist/StoreLink.h"

void StudyLogBuffer::add(const Stretch &stretch)
{
    m_link->wait(stretch);
}

void StudyLogBuffer::forget(const QString &id)
{
    if (id.isEmpty()) return;
    m_link->dropWaiting(id);
    m_link->post([id](HistoryStore &store) { store.clearStretches(id); });
}

void StudyLogBuffer::erase()
{
    m_link->dropWaiting(QString());
    m_link->post([](HistoryStore &store) { store.clearStretches(QString()); });
}

void StudyLogBuffer::read(QDate today, Reader done)
{
    m_link->flushWaiting();
    m_link->read([today, done = std::move(done)](HistoryStore &store) -> std::function<void()> {
        // The log is let go of here too: a large one costs its time to free.
        auto report = std::make_shared<const StudyReport>(
            studyReport(store.stretches(), store.media(), today));
        return [done, report] { done(report); };
    });
}
