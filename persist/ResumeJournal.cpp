// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/ResumeJournal.h"

#include "persist/FileUtil.h"
#include "persist/IniFile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <cmath>

namespace
{
const QLatin1String kMarker("pelmora-resume-journal");
const QLatin1String kFileNameKey("FileName");
const QLatin1String kSecondKey("Second");
} // namespace

ResumeJournal::ResumeJournal(QString path, QObject *parent)
    : QObject(parent), m_path(std::move(path)), m_timer(new QTimer(this))
{
    m_timer->setInterval(IntervalMs);
    connect(m_timer, &QTimer::timeout, this, &ResumeJournal::tick);
    m_timer->start();
}

void ResumeJournal::tick()
{
    if (m_closed || !m_source) return;
    try {
        const std::optional<Record> record = m_source();
        if (!record) return;
        if (m_written == record && QFile::exists(m_path)) return;
        writeFileAtomically(m_path, encode(*record));
        m_written = record;
    } catch (const std::exception &) {
        // The player refused a read or the file could not be written: the
        // next tick tries again.
    }
}

void ResumeJournal::playStateChanged(int state)
{
    if (state == PlayStates::Paused) tick();
}

void ResumeJournal::remove()
{
    m_closed = true;
    m_timer->stop();
    if (QFile::exists(m_path)) QFile::remove(m_path);
}

void ResumeJournal::close()
{
    m_closed = true;
    m_timer->stop();
}

bool ResumeJournal::recover(const QString &resumePath)
{
    if (!QFile::exists(m_path)) return false;
    QByteArray bytes;
    {
        QFile file(m_path);
        if (file.open(QIODevice::ReadOnly)) bytes = file.read(64 * 1024);
    }
    const std::optional<Record> record = decode(bytes);
    if (record) {
        const IniFile resume(resumePath);
        resume.writeResumeRecord(record->fileName, record->second);
    }
    QFile::remove(m_path);
    return record.has_value();
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
