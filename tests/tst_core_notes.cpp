// SPDX-License-Identifier: GPL-3.0-or-later
// Notes that leave the program: Markdown, CSV and WebVTT chapters written
// and read back exactly; what is no notes file, or too large, refused.
#include "persist/AppError.h"
#include "persist/FileLimits.h"
#include "persist/FileUtil.h"
#include "persist/NoteFile.h"
#include "persist/StudyLog.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(NoteFormat)

class TestNotes : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void readsWhatOthersWrite();
    void spreadsheetRunsNoCell();
    void fileRoundTrip();
    void onlyRegularFilesAreRead();
    void tooLargeRefused();
};

void TestNotes::roundTrip_data()
{
    QTest::addColumn<NoteFormat>("format");
    QTest::addColumn<QString>("name");
    QTest::newRow("markdown") << NoteFormat::Markdown << "notes.md";
    QTest::newRow("csv") << NoteFormat::Csv << "notes.csv";
    QTest::newRow("webvtt") << NoteFormat::WebVtt << "notes.vtt";
}

void TestNotes::roundTrip()
{
    QFETCH(NoteFormat, format);
    QFETCH(QString, name);
    // In time order: chapters are written so.
    const QList<Note> notes = {
        {0, QString(), QString()},
        {1, QStringLiteral("重要、ここ「試験に出る」"), QStringLiteral("ひらがなの字幕")},
        {61'001, QStringLiteral("comma, \"quote\" | bar \\ back <br> &amp; --> -->"),
         QStringLiteral("字幕, \"引用\" | 縦線")},
        {3'723'456, QStringLiteral("\n一行目\n\n三行目\r\nCR LF\rCR\n"), QString()},
        {3'723'456, QStringLiteral("  前後に空白  "), QStringLiteral("同時刻")},
        {360'000'999, QStringLiteral("WEBVTT\nNOTE 字幕: 偽物\n&#10;"), QString()},
    };
    QCOMPARE(noteFormatOf(name), format);
    const QByteArray bytes = encodeNotes(notes, format);
    QCOMPARE(decodeNotes(bytes, format), notes);
    // The content decides even under another name.
    QCOMPARE(decodeNotes(bytes, NoteFormat::Markdown), notes);
    if (format == NoteFormat::Csv) QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    // No notes at all: a file that reads back as none.
    QCOMPARE(decodeNotes(encodeNotes({}, format), format), QList<Note>());
}

void TestNotes::readsWhatOthersWrite()
{
    // A spreadsheet's CSV: no mark, LF, a header of its own, short times.
    const QList<Note> csv =
        decodeNotes("time,comment\n00:01:02,\"a\nb\"\n1:00:00.5,x\n", NoteFormat::Csv);
    QCOMPARE(csv, QList<Note>({{62'000, QStringLiteral("a\nb"), QString()},
                               {3'600'500, QStringLiteral("x"), QString()}}));
    // WebVTT chapters with identifiers and CR LF.
    const QList<Note> vtt = decodeNotes(
        "WEBVTT\r\n\r\nch1\r\n00:00:05.000 --> 00:00:09.000\r\nはじめ\r\n", NoteFormat::WebVtt);
    QCOMPARE(vtt, QList<Note>({{5'000, QStringLiteral("はじめ"), QString()}}));
    QVERIFY_THROWS_EXCEPTION(AppError, decodeNotes("just some text\n", NoteFormat::Markdown));
}

// What a spreadsheet would run as a formula, or as one after a blank it skips.
static bool formulaLike(QStringView cell)
{
    if (cell.startsWith(QLatin1Char('"'))) cell = cell.sliced(1);
    return !cell.isEmpty() && QStringLiteral("=+-@\t\r").contains(cell.front());
}

void TestNotes::spreadsheetRunsNoCell()
{
    const QStringList hostile = {
        QStringLiteral("=1+1"),     QStringLiteral("=HYPERLINK(\"http://evil\",\"x\")"),
        QStringLiteral("+1"),       QStringLiteral("-3"),
        QStringLiteral("@SUM(A1)"), QStringLiteral("\tx"),
        QStringLiteral("\rx"),      QStringLiteral("'=x"),
        QStringLiteral("''-y"),     QStringLiteral("'"),
        QStringLiteral("'plain"),   QStringLiteral("a=b"),
    };
    QList<Note> notes;
    for (const QString &text : hostile) {
        QVERIFY2(!formulaLike(csvField(text)), qPrintable(csvField(text)));
        notes.append({notes.size() * 1000, text, text});
    }
    // Read back exactly, the apostrophe in front of a formula taken off again.
    for (const NoteFormat format : {NoteFormat::Markdown, NoteFormat::Csv, NoteFormat::WebVtt}) {
        QList<Note> expected = notes;
        // A chapter file keeps the line on one line of its own.
        if (format == NoteFormat::WebVtt)
            for (Note &n : expected)
                n.cueText.replace(QLatin1Char('\r'), QLatin1Char(' '));
        QCOMPARE(decodeNotes(encodeNotes(notes, format), format), expected);
    }

    // The study log's file and folder names too.
    StudyMedium m;
    m.folder = QStringLiteral("-rf");
    m.name = QStringLiteral("=HYPERLINK(\"http://evil\",\"x\").mp3");
    const QStringList rows = QString::fromUtf8(studyCsv({m})).split(QStringLiteral("\r\n"));
    QVERIFY(rows.size() > 1);
    for (const QString &cell : rows[1].split(QLatin1Char(',')))
        QVERIFY2(!formulaLike(cell), qPrintable(rows[1]));
}

void TestNotes::fileRoundTrip()
{
    QTemporaryDir dir;
    const QList<Note> notes = {{1'500, QStringLiteral("一つ目"), QStringLiteral("字幕")},
                               {62'000, QStringLiteral("a, \"b\""), QString()}};
    for (const char *name : {"n.md", "n.csv", "n.vtt"}) {
        const QString path = dir.filePath(QString::fromUtf8(name));
        writeNotesFile(path, notes);
        QCOMPARE(bytesOf(path), encodeNotes(notes, noteFormatOf(path)));
        QCOMPARE(readNotesFile(path), notes);
    }
}

void TestNotes::onlyRegularFilesAreRead()
{
#ifdef Q_OS_UNIX
    QTemporaryDir dir;
    const QString zero = dir.filePath(QStringLiteral("zero.md"));
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), zero));
    QCOMPARE(errorWithin5s([&] { readNotesFile(zero); }), notRegularFileText(zero));
    QVERIFY(notRegularFileText(zero).contains(QStringLiteral("通常のファイルではない")));

    // A named pipe without a writer: refused at once, not waited on.
    const QString fifo = dir.filePath(QStringLiteral("pipe.md"));
    QVERIFY(makeFifo(fifo));
    QCOMPARE(errorWithin5s([&] { readNotesFile(fifo); }, fifo), notRegularFileText(fifo));
    const QString link = dir.filePath(QStringLiteral("link.csv"));
    QVERIFY(QFile::link(fifo, link));
    QCOMPARE(errorWithin5s([&] { readNotesFile(link); }, fifo), notRegularFileText(link));

    // A folder and a missing file, as before.
    QCOMPARE(errorOf([&] { readNotesFile(dir.path()); }),
             QDir::toNativeSeparators(dir.path()) + QStringLiteral(" を読み込めません"));
    const QString missing = dir.filePath(QStringLiteral("none.md"));
    QCOMPARE(errorOf([&] { readNotesFile(missing); }),
             QDir::toNativeSeparators(missing) + QStringLiteral(" を読み込めません"));
#else
    QSKIP("devices and named pipes of Unix");
#endif
}

void TestNotes::tooLargeRefused()
{
    QTemporaryDir dir;
    // A sparse file one byte over the limit: refused before it is read.
    const QString big = dir.filePath(QStringLiteral("big.md"));
    {
        QFile f(big);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(FileLimits::Notes + 1));
    }
    QCOMPARE(errorOf([&] { readNotesFile(big); }), fileTooLargeText(big, FileLimits::Notes));
    QVERIFY(fileTooLargeText(big, FileLimits::Notes).endsWith(QStringLiteral("（上限 64 MB）")));

    // Up to the limit a file is read whole.
    const QString notes = dir.filePath(QStringLiteral("notes.md"));
    const QByteArray bytes =
        encodeNotes({{1000, QStringLiteral("メモ"), QString()}}, NoteFormat::Markdown);
    putBytes(notes, bytes);
    QCOMPARE(readWholeFile(notes, bytes.size()), bytes);
    QCOMPARE(errorOf([&] { readWholeFile(notes, bytes.size() - 1); }),
             fileTooLargeText(notes, bytes.size() - 1));
}

QTEST_GUILESS_MAIN(TestNotes)
#include "tst_core_notes.moc"
