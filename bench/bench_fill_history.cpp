// SPDX-License-Identifier: GPL-3.0-or-later
// Makes a full History.db through the program's own store code, so that it
// has the tables of the store's newest version: 1,000 recordings, each with a
// place, 200 ranges heard, its own settings and 100 stretches of the study
// log (100,000 in all), and the settings of 50 course folders.
//
// Usage: bench_fill_history DB [MEDIUM...]
// The media named come first (the ones a benchmark opens, so that opening
// them finds all that is kept of them: a place, ranges, settings that change
// nothing of the sound: speed 1, no voice boost, no silence skipping); made-up
// names fill the rest.
#include "persist/CourseSettings.h"
#include "persist/HistoryStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        QTextStream(stderr) << "usage: bench_fill_history DB [MEDIUM...]\n";
        return 2;
    }
    const QString path = args.first();
    QFile::remove(path);
    QStringList names = args.mid(1);
    constexpr int kRecordings = 1000;
    constexpr int kStretchesEach = HistoryStore::kMaxStretches / kRecordings;
    for (int i = names.size(); i < kRecordings; ++i)
        names << QStringLiteral("/home/user/Lectures/course %1/lecture %2.mp4").arg(i / 20).arg(i);

    QElapsedTimer timer;
    timer.start();
    HistoryStore store(path);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const int own = int(args.size()) - 1;
    // The log and the settings in one transaction, the places one by one
    // (as the program keeps them).
    HistoryStore::Extra extra;
    for (int i = 0; i < kRecordings; ++i) {
        const QString &name = names.at(i);
        const bool measured = i < own;
        const double duration = measured ? 1800.0 : 4000.0;
        QList<ListenedRange> ranges;
        for (int k = 0; k < 200; ++k)
            ranges << ListenedRange{duration * k / 200.0, duration * k / 200.0 + 2.0};
        const qint64 playedAt = now - qint64(kRecordings - i) * 3600 * 1000;
        for (int k = 0; k < kStretchesEach; ++k) {
            const double start = duration * k / kStretchesEach;
            const qint64 wall = playedAt - qint64(kStretchesEach - k) * 60 * 1000;
            extra.log << Stretch{name, start, start + 30.0, wall, wall + 30 * 1000, 1.0, 0.0};
        }
        KeptSettings medium;
        medium.speed = measured ? 1.0 : 1.0 + (i % 5) * 0.25;
        medium.voiceBoost = !measured && i % 2 == 0;
        medium.skipSilence = !measured && i % 3 == 0;
        extra.settings << HistoryStore::SettingsChange{SettingsOf::Medium, name, medium};
        if (i % 20 == 0 || measured) {
            KeptSettings folder;
            folder.speed = 1.0;
            folder.voiceBoost = false;
            folder.skipSilence = false;
            extra.settings << HistoryStore::SettingsChange{SettingsOf::Folder,
                                                           CourseSettings::folderOf(name), folder};
        }
        store.keepPlace(name, duration / 6.0, duration, playedAt, ranges);
        if (store.trouble() != HistoryStore::Trouble::None) {
            QTextStream(stderr) << "bench_fill_history: the store refused a write at " << i << "\n";
            return 1;
        }
    }
    store.write(extra);
    QTextStream(stdout) << "bench_fill_history: " << kRecordings << " recordings, "
                        << kRecordings * kStretchesEach << " stretches in " << path << " ("
                        << timer.elapsed() << " ms)\n";
    return 0;
}
