// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/ResumeJournal.h"

#include "persist/DiskWriter.h"
#include "persist/FileUtil.h"
#include "persist/IniFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QTimer>
#include <cmath>
#include <vector>

namespace
{
const QLatin1String kMarker("pelmora-resume-journal");
const QLatin1String kFileNameKey("FileName");
const QLatin1String kSecondKey("Second");
} // namespace

namespace
{

std::unique_ptr<QLockFile> lockFor(const QString &journal)
{
    auto lock = std::make_unique<QLockFile>(journal + QStringLiteral(".lock"));
    // Held for a whole run: stale only when its process is gone, never by age.
    lock->setStaleLockTime(0);
    return lock;
}

} // namespace

ResumeJournal::ResumeJournal(const QString &path, QObject *parent)
    : QObject(parent), m_firstPath(path), m_path(path), m_timer(new QTimer(this))
{
    for (int n = 1; n <= MaxSlots; ++n) {
        auto lock = lockFor(slotPath(path, n));
        if (lock->tryLock(0)) {
            m_path = slotPath(path, n);
            m_lock = std::move(lock);
            break;
        }
        // No lock can be made here (a directory that cannot be written): the
        // first journal, as nothing can be written beside it anyway.
        if (lock->error() != QLockFile::LockFailedError) break;
    }
    m_timer->setInterval(IntervalMs);
    connect(m_timer, &QTimer::timeout, this, &ResumeJournal::tick);
    m_timer->start();
}

ResumeJournal::~ResumeJournal() = default;

QString ResumeJournal::slotPath(const QString &path, int n)
{
    if (n <= 1) return path;
    const QFileInfo info(path);
    return info.dir().filePath(
        QStringLiteral("%1-%2.%3").arg(info.completeBaseName()).arg(n).arg(info.suffix()));
}

void ResumeJournal::tick()
{
    if (m_closed || !m_source) return;
    try {
        const std::optional<Record> record = m_source();
        if (!record) return;
        if (m_written == record && QFile::exists(m_path)) return;
        const QByteArray bytes = encode(*record);
        const QString path = m_path;
        auto write = [path, bytes] {
            try {
                writeFileAtomically(path, bytes);
            } catch (const std::exception &) {
                // Not written: the next tick finds no file and tries again.
            }
            return DiskWriter::Outcome::Done;
        };
        m_written = record;
        if (m_writer)
            m_writer->post(write);
        else
            write();
    } catch (const std::exception &) {
        // The player refused a read: the next tick tries again.
    }
}

void ResumeJournal::remove()
{
    m_closed = true;
    m_timer->stop();
    // After the writes posted before it.
    const QString path = m_path;
    auto removal = [path] {
        if (QFile::exists(path)) QFile::remove(path);
        return DiskWriter::Outcome::Done;
    };
    if (m_writer)
        m_writer->post(removal);
    else
        removal();
}

void ResumeJournal::close()
{
    m_closed = true;
    m_timer->stop();
}

bool ResumeJournal::recover(const QString &resumePath)
{
    // The journals whose writer is gone: this run's own (its lock was free),
    // and every other whose lock can be taken now. A journal that cannot be
    // locked at all (no lock files possible here) counts as left behind.
    struct Found {
        QString path;
        std::unique_ptr<QLockFile> lock; // held while it is read and removed
        QDateTime written;
    };
    std::vector<Found> found;
    for (int n = 1; n <= MaxSlots; ++n) {
        const QString journal = slotPath(m_firstPath, n);
        if (!QFile::exists(journal)) continue;
        std::unique_ptr<QLockFile> lock;
        if (journal != m_path) {
            lock = lockFor(journal);
            if (!lock->tryLock(0) && lock->error() == QLockFile::LockFailedError) continue;
        }
        found.push_back({journal, std::move(lock), QFileInfo(journal).lastModified()});
    }
    std::optional<Record> newest;
    QDateTime newestWritten;
    for (const Found &f : found) {
        QByteArray bytes;
        QFile file(f.path);
        if (file.open(QIODevice::ReadOnly)) bytes = file.read(64 * 1024);
        const std::optional<Record> record = decode(bytes);
        if (record && (!newest || f.written > newestWritten)) {
            newest = record;
            newestWritten = f.written;
        }
    }
    if (newest) {
        const IniFile resume(resumePath);
        resume.writeResumeRecord(newest->fileName, newest->second);
    }
    for (const Found &f : found)
        QFile::remove(f.path);
    return newest.has_value();
}

QByteArray ResumeJournal::encode(const Record &record)
{
    QJsonObject object;
    object.insert(kMarker, 1);
    object.insert(kFileNameKey, record.fileName);
    object.insert(kSecondKey, record.second);
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<ResumeJournal::Record> ResumeJournal::decode(const QByteArray &bytes)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject object = doc.object();
    const QJsonValue fileName = object.value(kFileNameKey);
    const QJsonValue second = object.value(kSecondKey);
    if (object.value(kMarker).toInt() != 1 || !fileName.isString() || !second.isDouble())
        return std::nullopt;
    const double value = second.toDouble();
    if (!std::isfinite(value) || value < 0) return std::nullopt;
    return Record{fileName.toString(), value};
}
