// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Writes a WAV file of a quiet sine tone (8 kHz, mono, 16 bit) for tests of
// the real engine.
bool writeTestWav(const QString &path, double seconds);

#include <QList>
#include <QPair>
#include <QStringList>

// Speech made with espeak-ng and sox: each sentence trimmed of the silence
// around it, the sentences separated by the pauses given (seconds; one fewer
// than the sentences). Returns where each sentence lies in the file, in
// seconds; empty when the tools are missing or fail.
QList<QPair<double, double>> writeSpeech(const QString &path, const QStringList &sentences,
                                         const QList<double> &pauses);
