// SPDX-License-Identifier: GPL-3.0-or-later
// Voice boost through the real engine, its sound written to a WAV file: a
// quiet speaker followed by a loud one comes out evenly loud, no sample goes
// above -1 dBFS, and switching the boost while playing leaves no gap.
#include "player/MpvPlayer.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include <clocale>
#include <cmath>

class TestEngineVoice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void quietAndLoudSpeechComeOutEven();
    void switchingWhilePlayingLeavesNoGap();
    void detectorFirstLimiterLast();

private:
    QTemporaryDir m_dir;
    QString m_speech; // about -30 LUFS, then about -14 LUFS
    double m_split = 0.0;
};

namespace
{

bool run(const QString &program, const QStringList &arguments, QByteArray *errors = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return false;
    if (errors) *errors = process.readAllStandardError();
    return process.exitCode() == 0;
}

// The short-term loudness (LUFS) every 100 ms, as FFmpeg's ebur128 gives it,
// with the time at which each value was taken.
QList<QPair<double, double>> shortTermLoudness(const QString &file)
{
    QByteArray log;
    if (!run(QStringLiteral("ffmpeg"),
             {"-hide_banner", "-nostats", "-i", file, "-af", "ebur128", "-f", "null", "-"}, &log))
        return {};
    QList<QPair<double, double>> values;
    static const QRegularExpression line(QStringLiteral(R"(t:\s*([0-9.]+)\s.*\sS:\s*(-?[0-9.]+))"));
    for (const QByteArray &text : log.split('\n')) {
        const QRegularExpressionMatch m = line.match(QString::fromLatin1(text));
        if (m.hasMatch()) values.append({m.captured(1).toDouble(), m.captured(2).toDouble()});
    }
    return values;
}

double integratedLoudness(const QString &file)
{
    QByteArray log;
    if (!run(QStringLiteral("ffmpeg"),
             {"-hide_banner", "-nostats", "-i", file, "-af", "ebur128", "-f", "null", "-"}, &log))
        return NAN;
    static const QRegularExpression summary(QStringLiteral(R"(I:\s*(-?[0-9.]+) LUFS\s*$)"));
    double value = NAN;
    for (const QByteArray &text : log.split('\n')) {
        const QRegularExpressionMatch m = summary.match(QString::fromLatin1(text).trimmed());
        if (m.hasMatch()) value = m.captured(1).toDouble();
    }
    return value;
}

// The samples of a 16-bit WAV file, channels interleaved, and its rate and
// channels.
struct Wav {
    QList<qint16> samples;
    int rate = 0;
    int channels = 0;
};

Wav readWav(const QString &path)
{
    Wav wav;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return wav;
    const QByteArray bytes = file.readAll();
    qsizetype at = 12;
    while (at + 8 <= bytes.size()) {
        const QByteArray id = bytes.mid(at, 4);
        const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        const char *body = bytes.constData() + at + 8;
        if (id == "fmt ") {
            wav.channels = qFromLittleEndian<quint16>(body + 2);
            wav.rate = static_cast<int>(qFromLittleEndian<quint32>(body + 4));
        } else if (id == "data") {
            // The engine writes the length at the end; trust the file's.
            const qsizetype count = (bytes.size() - (at + 8)) / 2;
            wav.samples.resize(count);
            for (qsizetype i = 0; i < count; ++i)
                wav.samples[i] = qFromLittleEndian<qint16>(body + 2 * i);
            break;
        }
        at += 8 + size + (size & 1);
    }
    return wav;
}

double peakDbfs(const Wav &wav)
{
    int peak = 0;
    for (qint16 s : wav.samples)
        peak = std::max(peak, std::abs(int(s)));
    return peak == 0 ? -200.0 : 20.0 * std::log10(peak / 32768.0);
}

// The longest stretch (seconds) in which every 5 ms window is below -60 dBFS,
// after the first `from` seconds.
double longestGap(const Wav &wav, double from)
{
    const qsizetype window = std::max(1, wav.rate / 200) * wav.channels;
    const qsizetype first = qsizetype(from * wav.rate) * wav.channels;
    double longest = 0.0, current = 0.0;
    for (qsizetype at = first; at + window <= wav.samples.size(); at += window) {
        double sum = 0.0;
        for (qsizetype i = at; i < at + window; ++i)
            sum += double(wav.samples[i]) * wav.samples[i];
        const double rms = std::sqrt(sum / window) / 32768.0;
        current = rms < 0.001 ? current + 0.005 : 0.0;
        longest = std::max(longest, current);
    }
    return longest;
}

// Plays a medium to its end with the sound written to `out`; `during` runs
// once it plays.
bool playThrough(const QString &medium, const QString &out, double speed, bool boost,
                 const std::function<void(MpvPlayer &)> &during = {}, double pace = 0.0)
{
    MpvPlayer::Options options = MpvPlayer::headless();
    options.audioFile = out;
    options.audioFilePace = pace;
    {
        MpvPlayer player(nullptr, options);
        player.setVolume(100);
        player.setSpeed(speed);
        player.setVoiceBoost(boost);
        // Decoded faster than real time, a medium can start and end between
        // two looks at its state: its reports tell.
        bool started = false, ended = false;
        QObject::connect(&player, &MediaPlayer::playStateChanged, &player, [&](int state) {
            if (state == MediaPlayer::Playing && !started) {
                started = true;
                if (during) during(player);
            }
            if (state == MediaPlayer::MediaEnded) ended = true;
        });
        player.setURL(medium);
        if (!QTest::qWaitFor([&] { return ended; }, 30000)) return false;
    }
    return QFile::exists(out);
}

} // namespace

void TestEngineVoice::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString quiet = m_dir.filePath(QStringLiteral("quiet.wav"));
    const QString loud = m_dir.filePath(QStringLiteral("loud.wav"));
    if (!run(QStringLiteral("espeak-ng"),
             {"-w", quiet,
              "Welcome to the second lecture of this series. Today we look at the history of "
              "printing, and how movable type changed the way people learned."}) ||
        !run(QStringLiteral("espeak-ng"),
             {"-w", loud,
              "Libraries grew in every town. That is all for today, thank you for listening "
              "to this lecture about printing and books."}))
        return;
    // Each part to its loudness; the loud one kept below full scale.
    const double quietNow = integratedLoudness(quiet);
    const double loudNow = integratedLoudness(loud);
    QVERIFY(std::isfinite(quietNow) && std::isfinite(loudNow));
    m_speech = m_dir.filePath(QStringLiteral("two speakers.wav"));
    const QString filter =
        QStringLiteral("[0]volume=%1dB[a];[1]volume=%2dB,alimiter=limit=0.99:level=0[b];"
                       "[a][b]concat=n=2:v=0:a=1")
            .arg(-30.0 - quietNow)
            .arg(-14.0 - loudNow);
    QVERIFY(run(QStringLiteral("ffmpeg"), {"-loglevel", "error", "-y", "-i", quiet, "-i", loud,
                                           "-filter_complex", filter, "-ar", "44100", m_speech}));
    m_split = readWav(quiet).samples.size() / 22050.0; // espeak-ng: 22.05 kHz mono
}

void TestEngineVoice::quietAndLoudSpeechComeOutEven()
{
    if (m_speech.isEmpty()) QSKIP("espeak-ng is missing");
    auto halves = [this](const QString &file) {
        // The 3 s window of the short-term loudness lies wholly in one half.
        double first = 0.0, second = 0.0;
        int firsts = 0, seconds = 0;
        for (const auto &[t, s] : shortTermLoudness(file)) {
            if (s < -70.0) continue;
            if (t > 3.0 && t <= m_split) {
                first += s;
                ++firsts;
            } else if (t > m_split + 3.0) {
                second += s;
                ++seconds;
            }
        }
        return firsts && seconds ? second / seconds - first / firsts : NAN;
    };
    const double before = halves(m_speech);
    const QString plain = m_dir.filePath(QStringLiteral("plain.wav"));
    const QString boosted = m_dir.filePath(QStringLiteral("boosted.wav"));
    const QString faster = m_dir.filePath(QStringLiteral("boosted 1.5x.wav"));
    QVERIFY(playThrough(m_speech, plain, 1.0, false));
    QVERIFY(playThrough(m_speech, boosted, 1.0, true));
    QVERIFY(playThrough(m_speech, faster, 1.5, true));
    const double off = halves(plain);
    const double on = halves(boosted);
    const double peak = peakDbfs(readWav(boosted));
    const double peakFaster = peakDbfs(readWav(faster));
    qInfo("short-term loudness, loud half minus quiet half: file %.1f LU, played %.1f LU, "
          "boosted %.1f LU; peak boosted %.2f dBFS, at 1.5x %.2f dBFS",
          before, off, on, peak, peakFaster);
    QVERIFY2(off > 12.0, "the test file is not uneven");
    QVERIFY2(std::abs(on) <= 4.0, qPrintable(QString::number(on)));
    QVERIFY2(peak <= -1.0, qPrintable(QString::number(peak)));
    QVERIFY2(peakFaster <= -1.0, qPrintable(QString::number(peakFaster)));
}

void TestEngineVoice::switchingWhilePlayingLeavesNoGap()
{
    // Steady pink noise: any gap in the output is the switch's.
    const QString noise = m_dir.filePath(QStringLiteral("noise.wav"));
    if (!run(QStringLiteral("ffmpeg"),
             {"-loglevel", "error", "-y", "-f", "lavfi", "-i",
              "anoisesrc=color=pink:amplitude=0.2:duration=12:seed=7", "-ar", "44100", noise}))
        QSKIP("ffmpeg cannot make the test sound");
    const QString out = m_dir.filePath(QStringLiteral("switched.wav"));
    int switches = 0;
    // Written at four times real time: switched every 100 ms (0.4 s of the
    // medium) for as long as it plays.
    QVERIFY(playThrough(
        noise, out, 1.0, false,
        [&switches](MpvPlayer &player) {
            auto *timer = new QTimer(&player);
            QObject::connect(timer, &QTimer::timeout, &player, [&player, &switches] {
                if (player.playState() != MediaPlayer::Playing) return;
                player.setVoiceBoost(!player.voiceBoost());
                ++switches;
            });
            timer->start(100);
        },
        4.0));
    const Wav wav = readWav(out);
    QVERIFY(wav.rate > 0 && wav.channels > 0);
    const double gap = longestGap(wav, 0.2);
    qInfo("%d switches; longest gap %.0f ms; %.1f s written", switches, gap * 1000,
          double(wav.samples.size()) / wav.rate / wav.channels);
    QVERIFY(switches >= 10);
    QVERIFY2(gap <= 0.1, qPrintable(QString::number(gap)));
}

// The silence detector hears the medium as it is; the limiter has the last
// word, whatever the order the switches were set in.
void TestEngineVoice::detectorFirstLimiterLast()
{
    MpvPlayer player(nullptr, MpvPlayer::headless());
    auto order = [&player] {
        const QString chain = player.engineProperty("af");
        QStringList labels;
        for (const char *label : {"@silence", "@tempo", "@boost"}) {
            const qsizetype at = chain.indexOf(QLatin1String(label));
            if (at >= 0)
                labels << QStringLiteral("%1:%2").arg(at, 6, 10, QLatin1Char('0')).arg(label);
        }
        labels.sort();
        for (QString &l : labels)
            l = l.mid(7);
        return labels.join(QLatin1Char(' '));
    };
    player.setVoiceBoost(true);
    player.setSkipSilence(true);
    player.setSpeed(1.5);
    QCOMPARE(order(), QStringLiteral("@silence @tempo @boost"));
    player.setVoiceBoost(false);
    player.setSpeed(1.0);
    player.setVoiceBoost(true);
    player.setSpeed(2.0);
    QCOMPARE(order(), QStringLiteral("@silence @tempo @boost"));
    player.setSkipSilence(false);
    player.setSkipSilence(true);
    QCOMPARE(order(), QStringLiteral("@silence @tempo @boost"));
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    TestEngineVoice test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_engine_voice.moc"
