// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TestMedia.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QtEndian>
#include <cmath>

bool writeTestWav(const QString &path, double seconds)
{
    const quint32 rate = 8000;
    const quint32 samples = static_cast<quint32>(seconds * rate);
    QByteArray data;
    data.resize(static_cast<qsizetype>(samples) * 2);
    for (quint32 i = 0; i < samples; ++i) {
        const auto v = static_cast<qint16>(3000 * std::sin(2 * M_PI * 440.0 * i / rate));
        qToLittleEndian(v, data.data() + i * 2);
    }
    QByteArray header;
    auto u32 = [&header](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        header.append(b, 4);
    };
    auto u16 = [&header](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        header.append(b, 2);
    };
    header.append("RIFF");
    u32(36 + static_cast<quint32>(data.size()));
    header.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate * 2);
    u16(2);
    u16(16);
    header.append("data");
    u32(static_cast<quint32>(data.size()));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(header) == header.size() && f.write(data) == data.size();
}

QList<QPair<double, double>> writeSpeech(const QString &path, const QStringList &sentences,
                                         const QList<double> &pauses)
{
    auto run = [](const QString &program, const QStringList &args, QByteArray *out = nullptr) {
        QProcess process;
        process.start(program, args);
        if (!process.waitForFinished(60000) || process.exitCode() != 0) return false;
        if (out) *out = process.readAllStandardOutput();
        return true;
    };
    QList<QPair<double, double>> speech;
    QStringList parts;
    double at = 0.0;
    for (qsizetype i = 0; i < sentences.size(); ++i) {
        const QString raw = path + QStringLiteral(".%1.raw.wav").arg(i);
        const QString part = path + QStringLiteral(".%1.wav").arg(i);
        QByteArray length;
        if (!run(QStringLiteral("espeak-ng"), {"-v", "en", "-w", raw, sentences.at(i)}) ||
            !run(QStringLiteral("sox"), {raw, "-r", "16000", part, "silence", "1", "0.02", "0.5%",
                                         "reverse", "silence", "1", "0.02", "0.5%", "reverse"}) ||
            !run(QStringLiteral("sox"), {"--i", "-D", part}, &length))
            return {};
        const double seconds = length.trimmed().toDouble();
        speech.append({at, at + seconds});
        at += seconds;
        parts << part;
        if (i < pauses.size()) {
            const QString pause = path + QStringLiteral(".%1.pause.wav").arg(i);
            if (!run(QStringLiteral("sox"), {"-n", "-r", "16000", "-c", "1", pause, "trim", "0",
                                             QString::number(pauses.at(i))}))
                return {};
            parts << pause;
            at += pauses.at(i);
        }
    }
    if (!run(QStringLiteral("sox"), parts + QStringList{path})) return {};
    return speech;
}
