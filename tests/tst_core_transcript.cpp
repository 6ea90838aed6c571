// SPDX-License-Identifier: GPL-3.0-or-later
// Transcripts: the four subtitle formats, the encodings of their files, bad
// input, and the search that folds width, case and kana.
#include "persist/EmbeddedSubtitles.h"
#include "persist/FileUtil.h"
#include "persist/ListFile.h"
#include "persist/Transcript.h"
#include "player/Sidecars.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestTranscript : public QObject
{
    Q_OBJECT

private slots:
    void parsesEachFormat_data();
    void parsesEachFormat();
    void lrcOffsetAndEnds();
    void readsEachEncoding_data();
    void readsEachEncoding();
    void badFilesGiveAReason();
    void onlyRegularFilesAreRead();
    void readsSubtitlesInsideAMedium_data();
    void readsSubtitlesInsideAMedium();
    void searchFoldsWidthCaseAndKana();
    void searchFollowsTypingAndErasing();
};

namespace
{

// "start-end text" for each cue, times in ms.
QStringList shown(const Transcript &t)
{
    QStringList out;
    for (const TranscriptCue &c : t.cues)
        out << QStringLiteral("%1-%2 %3").arg(c.start).arg(c.end).arg(c.text);
    return out;
}

QStringList lines(const char *text)
{
    return QString::fromUtf8(text).split(QLatin1Char('\n'));
}

} // namespace

void TestTranscript::parsesEachFormat_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("input");
    QTest::addColumn<QStringList>("cues");
    QTest::addColumn<int>("skipped");

    // Out of order, overlapping, a malformed time, tags, two lines.
    QTest::newRow("srt") << "a.srt"
                         << lines("1\n00:00:05,000 --> 00:00:07,500\n<i>二番目</i> の\n行\n\n"
                                  "2\n00:00:01,000 --> 00:00:06,000\n{\\an8}<font color=\"red\">"
                                  "最初</font> &amp; 重なり\n\n"
                                  "3\n00:00:0x,000 --> 00:00:09,000\n壊れた時刻\n\n"
                                  "4\n00:00:09,000 --> 00:00:08,000\n終わりが先\n\n"
                                  "5\n100:00:00,250 --> 100:00:01,000\n長い\n")
                         << QStringList{"1000-6000 最初 & 重なり", "5000-7500 二番目 の 行",
                                        "360000250-360001000 長い"}
                         << 2;
    QTest::newRow("vtt") << "a.vtt"
                         << lines(
                                "WEBVTT - lecture\n\nSTYLE\n::cue { color: red }\n\n"
                                "NOTE a remark\nover lines\n\n"
                                "intro\n00:01.000 --> 00:02.500 align:start line:0\n"
                                "<v 先生>こんにちは</v> <c.loud>皆さん</c>\n\n"
                                "01:00:00.000 --> 01:00:01.000\n<00:00:00.500>時刻&lt;タグ&gt;\n\n"
                                "00:03.000 --> 00:xx.000\n読めない\n")
                         << QStringList{"1000-2500 こんにちは 皆さん", "3600000-3601000 時刻<タグ>"}
                         << 1;
    QTest::newRow("ass") << "a.ass"
                         << lines(
                                "[Script Info]\nTitle: x\n\n[V4+ Styles]\nFormat: Name, Fontname\n"
                                "Style: Default,Arial\n\n[Events]\n"
                                "Format: Layer, Start, End, Style, Name, MarginL, MarginR, "
                                "MarginV, Effect, Text\n"
                                "Dialogue: 0,0:00:02.50,0:00:04.00,Default,,0,0,0,,"
                                "{\\b1}一行目{\\b0}\\N二行目, 読点も\n"
                                "Comment: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,注釈\n"
                                "Dialogue: 0,0:00:01.00,0:00:03.00,Default,,0,0,0,,"
                                "{\\p1}m 0 0 l 10 10{\\p0}図の後\n"
                                "Dialogue: 0,0:0a:01.00,0:00:03.00,Default,,0,0,0,,壊れた\n")
                         << QStringList{"1000-3000 図の後", "2500-4000 一行目 二行目, 読点も"} << 1;
    QTest::newRow("ssa field order") << "a.ssa"
                                     << lines("[Events]\nFormat: Marked, Text, End, Start\n"
                                              "Dialogue: Marked=0,順序が違う,0:00:09.00,"
                                              "0:00:08.00\n")
                                     << QStringList{"8000-9000 順序が違う"} << 0;
    QTest::newRow("lrc") << "a.lrc"
                         << lines("[ar:歌手]\n[ti:題]\n[00:12.00][00:30.50]繰り返し\n"
                                  "[00:20.10]<00:20.10>言葉<00:21.00>ごと\n[0x:10.00]壊れた\n")
                         << QStringList{"12000-20100 繰り返し", "20100-30500 言葉ごと",
                                        "30500-35500 繰り返し"}
                         << 1;
    // The content tells the format when the name does not.
    // Full-width digits read as their ASCII twins; digits of other scripts
    // are no time.
    QTest::newRow("srt full width") << "a.srt"
                                    << lines("1\n０１:00:00,000 --> ０１:00:02,５００\n全角\n\n"
                                             "2\n\u0661:00:00,000 --> 1:00:03,000\nアラビア数字\n")
                                    << QStringList{"3600000-3602500 全角"} << 1;
    QTest::newRow("vtt by content")
        << "a.txt" << lines("WEBVTT\n\n00:00:01.000 --> 00:00:02.000\nx\n")
        << QStringList{"1000-2000 x"} << 0;
}

void TestTranscript::parsesEachFormat()
{
    QFETCH(QString, name);
    QFETCH(QStringList, input);
    QFETCH(QStringList, cues);
    QFETCH(int, skipped);
    const Transcript t = parseTranscript(input, transcriptFormatOf(name, input));
    QCOMPARE(shown(t), cues);
    QCOMPARE(t.skipped, skipped);
}

void TestTranscript::lrcOffsetAndEnds()
{
    // A positive offset shows the lines earlier.
    const Transcript t = parseTranscript(lines("[offset:+500]\n[00:01.00]一\n[01:02:50]二\n"),
                                         TranscriptFormat::Lrc);
    QCOMPARE(shown(t), QStringList({"500-62000 一", "62000-67000 二"}));
    // An offset of any size moves the lines by a day at most.
    const Transcript late = parseTranscript(lines("[offset:-9223372036854775808]\n[00:01.00]一\n"),
                                            TranscriptFormat::Lrc);
    QCOMPARE(shown(late), QStringList({"86401000-86406000 一"}));
    const Transcript early = parseTranscript(
        lines("[offset:+99999999999999999999]\n[25:00:00.00]一\n"), TranscriptFormat::Lrc);
    QCOMPARE(shown(early), QStringList({"3600000-3605000 一"}));
}

void TestTranscript::readsEachEncoding_data()
{
    QTest::addColumn<int>("encoding");
    QTest::newRow("UTF-8 with mark") << int(TextEncoding::Utf8);
    QTest::newRow("UTF-8 without mark") << int(TextEncoding::Utf8NoBom);
    QTest::newRow("UTF-16 LE") << int(TextEncoding::Utf16LE);
    QTest::newRow("UTF-16 BE") << int(TextEncoding::Utf16BE);
    QTest::newRow("code page 932") << int(TextEncoding::Cp932);
}

void TestTranscript::readsEachEncoding()
{
    QFETCH(int, encoding);
    const QStringList text = {"1",
                              "00:00:01,000 --> 00:00:02,000",
                              "ひらがなとカタカナ、漢字",
                              "",
                              "2",
                              "00:00:03,000 --> 00:00:04,000",
                              "～ソ表示①"};
    TextEncoding used = TextEncoding::Cp932;
    const QByteArray bytes = encodeListText(text, TextEncoding(encoding), &used);
    QCOMPARE(int(used), encoding);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("講義.ja.srt"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    const Transcript t = readTranscriptFile(path);
    QCOMPARE(t.problem, QString());
    QCOMPARE(shown(t), QStringList({"1000-2000 ひらがなとカタカナ、漢字", "3000-4000 ～ソ表示①"}));
    QCOMPARE(t.keys.size(), 2);
}

void TestTranscript::badFilesGiveAReason()
{
    QTemporaryDir dir;
    auto write = [&](const char *name, const QByteArray &bytes) {
        QFile f(dir.filePath(QString::fromUtf8(name)));
        if (!f.open(QIODevice::WriteOnly)) return QString();
        f.write(bytes);
        return f.fileName();
    };
    const Transcript missing = readTranscriptFile(dir.filePath(QStringLiteral("none.srt")));
    QCOMPARE(missing.problem, noTranscriptText());
    const Transcript empty = readTranscriptFile(write("empty.srt", QByteArray()));
    QCOMPARE(empty.problem, noTranscriptText());
    QByteArray noise(4096, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919) % 251);
    const Transcript binary = readTranscriptFile(write("noise.srt", noise));
    QVERIFY(binary.cues.isEmpty());
    QVERIFY(binary.problem.contains(QStringLiteral("noise.srt")));
    const QString big =
        write("big.srt", "1\n00:00:01,000 --> 00:00:02,000\n" + QByteArray(2000, 'a'));
    QVERIFY(readTranscriptFile(big, 1000).problem.contains(QStringLiteral("大きすぎ")));
    QCOMPARE(readTranscriptFile(big, 4000).cues.size(), 1);
    // Nothing but unreadable times: no transcript, and how many were skipped.
    const Transcript broken = readTranscriptFile(
        write("broken.srt", "1\n00:00:aa,000 --> 00:00:02,000\nx\n\n2\n1 --> 2\ny\n"));
    QCOMPARE(broken.problem, noTranscriptText());
    QCOMPARE(broken.skipped, 2);
}

void TestTranscript::onlyRegularFilesAreRead()
{
#ifdef Q_OS_UNIX
    QTemporaryDir dir;
    putBytes(dir.filePath(QStringLiteral("talk.mp4")), "x");
    putBytes(dir.filePath(QStringLiteral("talk.srt")), "1\n00:00:01,000 --> 00:00:02,000\na\n");
    const QString zero = dir.filePath(QStringLiteral("talk.en.srt"));
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), zero));
    const QString fifo = dir.filePath(QStringLiteral("talk.ja.vtt"));
    QVERIFY(makeFifo(fifo));

    // Read as a transcript: a reason, at once.
    QString problem;
    errorWithin5s([&] { problem = readTranscriptFile(zero).problem; });
    QCOMPARE(problem, notRegularFileText(zero));
    errorWithin5s([&] { problem = readTranscriptFile(fifo).problem; }, fifo);
    QCOMPARE(problem, notRegularFileText(fifo));
    errorWithin5s([&] { problem = readEmbeddedTranscript(fifo).problem; }, fifo);
    QCOMPARE(problem, notRegularFileText(fifo));
    // Never handed to the engine beside the medium.
    QCOMPARE(sidecarSubtitles(dir.filePath(QStringLiteral("talk.mp4"))),
             QStringList({dir.filePath(QStringLiteral("talk.srt"))}));
#else
    QSKIP("devices and named pipes of Unix");
#endif
}

void TestTranscript::readsSubtitlesInsideAMedium_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("codec");
    QTest::addColumn<QString>("audio");
    // Audio without a priming delay, so that the medium starts at 0.
    QTest::newRow("mp4 mov_text") << "talk.mp4"
                                  << "mov_text"
                                  << "alac";
    QTest::newRow("mkv ass") << "talk.mkv"
                             << "ass"
                             << "pcm_s16le";
    QTest::newRow("mkv subrip") << "talk.mkv"
                                << "srt"
                                << "pcm_s16le";
}

void TestTranscript::readsSubtitlesInsideAMedium()
{
    QFETCH(QString, name);
    QFETCH(QString, codec);
    QFETCH(QString, audio);
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty()) QSKIP("ffmpeg is missing");
    QTemporaryDir dir;
    QFile subs(dir.filePath(QStringLiteral("in.srt")));
    QVERIFY(subs.open(QIODevice::WriteOnly));
    subs.write("1\n00:00:00,500 --> 00:00:01,500\n<i>一つ目</i>の\n字幕\n\n"
               "2\n00:00:02,000 --> 00:00:03,000\nかたかな, comma\n");
    subs.close();
    const QString medium = dir.filePath(name);
    // Two subtitle streams: the second is read when the player chose it.
    QProcess run;
    run.start(ffmpeg, {"-nostdin",
                       "-v",
                       "error",
                       "-f",
                       "lavfi",
                       "-t",
                       "4",
                       "-i",
                       "anullsrc=r=8000:cl=mono",
                       "-i",
                       subs.fileName(),
                       "-i",
                       subs.fileName(),
                       "-map",
                       "0",
                       "-map",
                       "1",
                       "-map",
                       "2",
                       "-c:a",
                       audio,
                       "-c:s",
                       codec,
                       medium});
    QVERIFY(run.waitForFinished(20000));
    QCOMPARE(run.exitCode(), 0);
    const Transcript t = readEmbeddedTranscript(medium);
    QCOMPARE(t.problem, QString());
    QCOMPARE(shown(t), QStringList({"500-1500 一つ目の 字幕", "2000-3000 かたかな, comma"}));
    QCOMPARE(readEmbeddedTranscript(medium, 2).cues.size(), 2);
    QCOMPARE(t.cutAtBytes, 0);
    // A stream holding more text than the limit: the cues before it are
    // kept, and the transcript tells that it was cut.
    const Transcript none = readEmbeddedTranscript(medium, 0, nullptr, 1);
    QVERIFY(none.cues.isEmpty());
    QCOMPARE(none.cutAtBytes, 1);
    bool firstOnly = false;
    for (qint64 limit = 2; limit < 400 && !firstOnly; ++limit) {
        const Transcript cut = readEmbeddedTranscript(medium, 0, nullptr, limit);
        firstOnly = cut.cues.size() == 1 && cut.cutAtBytes == limit;
    }
    QVERIFY(firstOnly);
    // No third stream; no medium at all.
    QCOMPARE(readEmbeddedTranscript(medium, 3).problem, noTranscriptText());
    QVERIFY(!readEmbeddedTranscript(dir.filePath(QStringLiteral("none.mp4"))).problem.isEmpty());
}

void TestTranscript::searchFoldsWidthCaseAndKana()
{
    const QString forms[] = {QStringLiteral("カタカナ"), QStringLiteral("かたかな"),
                             QStringLiteral("ｶﾀｶﾅ")};
    for (const QString &a : forms)
        for (const QString &b : forms)
            QCOMPARE(searchForm(a), searchForm(b));
    QCOMPARE(searchForm(QStringLiteral("ガッコウ")), searchForm(QStringLiteral("ｶﾞｯｺｳ")));
    QCOMPARE(searchForm(QStringLiteral("ＡＢＣ Ωmega")), searchForm(QStringLiteral("abc ωMEGA")));
    QVERIFY(searchForm(QStringLiteral("かたかな")) != searchForm(QStringLiteral("かだかな")));
}

void TestTranscript::searchFollowsTypingAndErasing()
{
    QStringList keys;
    for (const char *text : {"今日はかたかなの話", "カタログ", "ひらがな", "カタカナ語"})
        keys << searchForm(QString::fromUtf8(text));
    TranscriptSearch search;
    search.setKeys(&keys);
    QCOMPARE(search.filter(QString()), QList<int>({0, 1, 2, 3}));
    QCOMPARE(search.filter(QStringLiteral("ｶ")), QList<int>({0, 1, 3}));
    QCOMPARE(search.filter(QStringLiteral("ｶﾀｶ")), QList<int>({0, 3}));
    QCOMPARE(search.filter(QStringLiteral("ｶﾀｶﾅ語")), QList<int>({3}));
    // Erasing widens the search again.
    QCOMPARE(search.filter(QStringLiteral("カタ")), QList<int>({0, 1, 3}));
    QCOMPARE(search.filter(QStringLiteral("がな")), QList<int>({2}));
    QCOMPARE(search.filter(QStringLiteral("")), QList<int>({0, 1, 2, 3}));
}

QTEST_GUILESS_MAIN(TestTranscript)
#include "tst_core_transcript.moc"
