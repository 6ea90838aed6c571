// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/Recording.h"
#include "persist/StudyLog.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>

class StoreLink;

// The study log's side of the place store: the stretches played wait to go
// into one transaction with the next place kept (or go on their own a little
// later); the log of a medium, or the whole log, is forgotten; the log is read
// on the writer's thread, after the writes before it, and its figures are
// computed there too.
class StudyLogBuffer
{
public:
    using Reader = std::function<void(std::shared_ptr<const StudyReport>)>;

    explicit StudyLogBuffer(StoreLink *link) : m_link(link) {}

    void add(const Stretch &stretch);
    // The log of one medium (the user cleared what was heard of it).
    void forget(const QString &name);
    // The whole log (the history switched off).
    void erase();
    // The log's figures (studyReport, up to today), from the log and what is
    // kept of each medium, computed in the writer's job that reads them; done
    // runs on the link's thread.
    void read(QDate today, Reader done);

private:
    StoreLink *m_link;
};
