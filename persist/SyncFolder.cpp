// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/SyncFolder.h"

#include "persist/FileUtil.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace
{

const QLatin1String kRoot("pelmora");
const QLatin1String kNameFile("device.json");

} // namespace

SyncFolder::SyncFolder(QString folder, QString device, QString deviceName)
    : m_folder(std::move(folder)), m_device(std::move(device)), m_deviceName(std::move(deviceName))
{
}

QString SyncFolder::ownDirectory() const
{
    return QDir(m_folder).filePath(kRoot + QLatin1Char('/') + m_device);
}

bool SyncFolder::isEventFile(const QString &fileName)
{
    return fileName.endsWith(QLatin1String(".jsonl")) && !fileName.startsWith(QLatin1Char('.')) &&
           !fileName.startsWith(QLatin1Char('~')) &&
           !fileName.contains(QLatin1String(".sync-conflict-"));
}

bool SyncFolder::fresh() const
{
    const QDir own(ownDirectory());
    return !own.exists() || own.entryList({QStringLiteral("*.jsonl")}, QDir::Files).isEmpty();
}

bool SyncFolder::prepare()
{
    // A folder that is not there is not made: it may be a disk unplugged.
    if (m_folder.isEmpty() || !QFileInfo(m_folder).isDir()) {
        m_trouble = QStringLiteral("同期フォルダー %1 が見つかりません")
                        .arg(QDir::toNativeSeparators(m_folder));
        return false;
    }
    const QString own = ownDirectory();
    if (!QDir().mkpath(own)) {
        m_trouble = QStringLiteral("同期フォルダー %1 に書き込めません")
                        .arg(QDir::toNativeSeparators(m_folder));
        return false;
    }
    if (!m_named) {
        const QString path = QDir(own).filePath(kNameFile);
        const QByteArray name =
            QJsonDocument(QJsonObject{{QStringLiteral("name"), m_deviceName}}).toJson();
        try {
            if (!QFileInfo::exists(path) || readWholeFile(path, 4096) != name)
                writeFileAtomically(path, name);
        } catch (...) {
            m_trouble = QStringLiteral("同期フォルダー %1 に書き込めません")
                            .arg(QDir::toNativeSeparators(m_folder));
            return false;
        }
        m_named = true;
    }
    // The newest file goes on until it is full.
    if (m_segment.isEmpty() || QFileInfo(m_segment).size() >= SegmentBytes) {
        const QStringList files =
            QDir(own).entryList({QStringLiteral("events-*.jsonl")}, QDir::Files, QDir::Name);
        m_segment.clear();
        if (!files.isEmpty()) {
            const QString last = QDir(own).filePath(files.constLast());
            if (QFileInfo(last).size() < SegmentBytes) m_segment = last;
        }
        if (m_segment.isEmpty())
            m_segment = QDir(own).filePath(
                QStringLiteral("events-%1.jsonl")
                    .arg(QDateTime::currentMSecsSinceEpoch(), 14, 10, QLatin1Char('0')));
    }
    return true;
}

bool SyncFolder::append(const QList<SyncEvent> &events)
{
    m_waiting += events;
    if (m_waiting.size() > MaxWaiting) m_waiting.remove(0, m_waiting.size() - MaxWaiting);
    if (m_waiting.isEmpty()) return true;
    if (!prepare()) return false;
    QByteArray lines;
    for (const SyncEvent &e : std::as_const(m_waiting))
        lines += encodeEvent(e) + '\n';
    QFile file(m_segment);
    const qint64 before = QFileInfo(m_segment).size();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(lines) != lines.size() ||
        !file.flush()) {
        m_trouble = QStringLiteral("同期フォルダー %1 に書き込めません")
                        .arg(QDir::toNativeSeparators(m_folder));
        // A part written is left for the reader to skip: what follows
        // starts a line of its own.
        if (file.isOpen() && file.size() > before) file.write("\n");
        return false;
    }
    file.close();
    // What this device appended is in the state already: not read again.
    Read &read = m_read[m_segment];
    if (read.offset == before) read.offset = before + lines.size();
    m_waiting.clear();
    m_trouble.clear();
    return true;
}

int SyncFolder::read(SyncState &state, HybridClock &clock)
{
    const QDir root(QDir(m_folder).filePath(kRoot));
    int count = 0;
    const QStringList devices = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &device : devices) {
        const QDir dir(root.filePath(device));
        if (!m_names.contains(device)) {
            try {
                const QString name =
                    QJsonDocument::fromJson(readWholeFile(dir.filePath(kNameFile), 4096))
                        .object()
                        .value(QStringLiteral("name"))
                        .toString();
                if (!name.isEmpty()) m_names.insert(device, name);
            } catch (...) { // not there yet
            }
        }
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        for (const QString &file : files)
            if (isEventFile(file)) count += readFile(dir.filePath(file), state, clock);
    }
    return count;
}

int SyncFolder::readFile(const QString &path, SyncState &state, HybridClock &clock)
{
    Read &read = m_read[path];
    QFile file;
    // Never a named pipe or a device: opening one could wait for ever.
    if (openRegularFile(file, path) != RegularOpen::Opened) return 0;
    // A file shorter than what was read of it was replaced: read anew
    // (merging an event twice changes nothing).
    if (file.size() < read.offset) read.offset = 0;
    if (file.size() == read.offset || !file.seek(read.offset)) return 0;
    // In pieces, whole lines each: a big file never lies in memory at once.
    int count = 0;
    QByteArray bytes;
    while (!file.atEnd()) {
        bytes += file.read(ReadBytes);
        const qsizetype end = bytes.lastIndexOf('\n');
        if (end < 0) continue;
        qsizetype from = 0;
        while (from <= end) {
            const qsizetype lineEnd = bytes.indexOf('\n', from);
            const QByteArrayView line(bytes.constData() + from, lineEnd - from);
            from = lineEnd + 1;
            if (line.isEmpty()) continue;
            if (const std::optional<SyncEvent> e = decodeEvent(line)) {
                clock.see(e->stamp);
                state.apply(*e);
                ++count;
            }
        }
        read.offset += end + 1;
        bytes.remove(0, end + 1);
    }
    return count;
}

qint64 SyncFolder::ownBytes() const
{
    qint64 bytes = 0;
    const QDir own(ownDirectory());
    for (const QFileInfo &file : own.entryInfoList({QStringLiteral("events-*.jsonl")}, QDir::Files))
        bytes += file.size();
    return bytes;
}

bool SyncFolder::compact(const QList<SyncEvent> &events)
{
    if (!m_waiting.isEmpty() || !prepare()) return false;
    const QDir own(ownDirectory());
    const QStringList before = own.entryList({QStringLiteral("events-*.jsonl")}, QDir::Files);
    QByteArray lines;
    for (const SyncEvent &e : events)
        lines += encodeEvent(e) + '\n';
    const QString path =
        own.filePath(QStringLiteral("events-%1.jsonl")
                         .arg(QDateTime::currentMSecsSinceEpoch(), 14, 10, QLatin1Char('0')));
    if (before.contains(QFileInfo(path).fileName())) return false; // within one millisecond
    try {
        writeFileAtomically(path, lines);
    } catch (...) {
        return false;
    }
    for (const QString &name : before) {
        QFile::remove(own.filePath(name));
        m_read.remove(own.filePath(name));
    }
    m_segment = path;
    m_read[path].offset = lines.size();
    return true;
}

QString SyncFolder::deviceName(const QString &device) const
{
    if (device == m_device) return m_deviceName;
    return m_names.value(device, device);
}
