// SPDX-License-Identifier: GPL-3.0-or-later
// List text files: byte-order marks, UTF-8 without a mark, code page 932, line
// breaks, NUL, a half character at the end, the UTF-8 fallback for text code
// page 932 cannot hold, and bad input.
#include "persist/AppError.h"
#include "persist/ListFile.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

Q_DECLARE_METATYPE(TextEncoding)

namespace
{

QByteArray utf16le(const char16_t *s)
{
    QByteArray out;
    for (; *s; ++s) {
        out.append(char(*s & 0xFF));
        out.append(char(*s >> 8));
    }
    return out;
}

QByteArray cp932(const QString &s)
{
    QStringEncoder encoder("windows-31j");
    return encoder.encode(s);
}

QByteArray utf16be(const char16_t *s)
{
    QByteArray out;
    for (; *s; ++s) {
        out.append(char(*s >> 8));
        out.append(char(*s & 0xFF));
    }
    return out;
}

} // namespace

class TestListFile : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void encode_data();
    void encode();
    void cp932FallsBackToUtf8_data();
    void cp932FallsBackToUtf8();
    void fileRoundTripKeepsEncoding_data();
    void fileRoundTripKeepsEncoding();
    void japaneseNamesKeepTheirBytes_data();
    void japaneseNamesKeepTheirBytes();
    void hugeLine();
    void binaryFile_data();
    void binaryFile();
    void unreadableAndUnwritable();

private:
    QTemporaryDir m_dir;
};

void TestListFile::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<TextEncoding>("encoding");

    QTest::newRow("empty") << QByteArray() << QStringList() << TextEncoding::Cp932;
    QTest::newRow("cp932 ellipsis")
        << QByteArray("\x82\xA0\x81\x63\r\n") << QStringList{"あ…"} << TextEncoding::Cp932;
    QTest::newRow("utf-8 mark") << QByteArray("\xEF\xBB\xBF\xC3\xA9\r\nb\r\n")
                                << QStringList{"é", "b"} << TextEncoding::Utf8;
    QTest::newRow("utf-16 le mark") << QByteArray("\xFF\xFE" + utf16le(u"\u3042\r\nb\r\n"))
                                    << QStringList{"あ", "b"} << TextEncoding::Utf16LE;
    QTest::newRow("utf-16 be mark") << QByteArray("\xFE\xFF" + utf16be(u"\u3042\r\nb"))
                                    << QStringList{"あ", "b"} << TextEncoding::Utf16BE;
    QTest::newRow("mixed breaks") << QByteArray("a\r\nb\rc\nd") << QStringList{"a", "b", "c", "d"}
                                  << TextEncoding::Cp932;
    QTest::newRow("LF then CR is two breaks")
        << QByteArray("a\n\rb") << QStringList{"a", "", "b"} << TextEncoding::Cp932;
    QTest::newRow("final break adds no line")
        << QByteArray("a\r\n") << QStringList{"a"} << TextEncoding::Cp932;
    QTest::newRow("lone break") << QByteArray("\r\n") << QStringList{""} << TextEncoding::Cp932;
    QTest::newRow("empty lines count")
        << QByteArray("\r\n\na\r\r\n") << QStringList{"", "", "a", ""} << TextEncoding::Cp932;
    QTest::newRow("NUL ends the text")
        << QByteArray("a\r\nb\0c\r\nd\r\n", 11) << QStringList{"a", "b"} << TextEncoding::Cp932;
    QTest::newRow("NUL in utf-16")
        << QByteArray("\xFF\xFE" + utf16le(u"a\r\n") + QByteArray(2, '\0') + utf16le(u"b"))
        << QStringList{"a"} << TextEncoding::Utf16LE;

    // Without a mark: UTF-8 when the bytes are UTF-8 and not plain ASCII.
    const QStringList names{QStringLiteral("/home/aki/動画/第1話 はじまり.mp4"),
                            QStringLiteral("/home/aki/音楽/さくら（独唱）.flac")};
    QTest::newRow("utf-8 without a mark")
        << (names.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8() << names
        << TextEncoding::Utf8NoBom;
    QTest::newRow("cp932 Japanese is not taken for utf-8")
        << cp932(names.join(QStringLiteral("\r\n"))) << names << TextEncoding::Cp932;
    QTest::newRow("cp932 whose rewrite would be utf-8")
        << QByteArray("\xD3\xFA\x53") << QStringList{"ﾓⅩ"} << TextEncoding::Cp932;
    QTest::newRow("one line that is not utf-8 makes it cp932")
        << QByteArray("\xE3\x82\xA2\r\n\x82\xA0\r\n") << QStringList{"繧｢", "あ"}
        << TextEncoding::Cp932;

    // A byte that is no character is U+FFFD, which a rewrite keeps (as SUB
    // it was written back as DEL, and the file then read as UTF-8).
    QTest::newRow("cp932 byte that is no character")
        << QByteArray("\xC3\xA9\xFF") << QStringList{"ﾃｩ\uFFFD"} << TextEncoding::Cp932;
    // A half character at the end of the file is kept as U+FFFD.
    QTest::newRow("cp932 lead byte at the end")
        << QByteArray("\x82\xA0\x82") << QStringList{"あ\uFFFD"} << TextEncoding::Cp932;
    QTest::newRow("utf-8 cut short")
        << QByteArray("\xE3\x81\x82\xE3\x81") << QStringList{"あ\uFFFD"} << TextEncoding::Utf8NoBom;
    QTest::newRow("utf-8 with a mark cut short")
        << QByteArray("\xEF\xBB\xBF"
                      "a\r\n\xF0\x9F\x8E")
        << QStringList{"a", "\uFFFD"} << TextEncoding::Utf8;
    QTest::newRow("utf-16 odd byte at the end")
        << QByteArray("\xFF\xFE" + utf16le(u"\u3042") + "\x42") << QStringList{"あ\uFFFD"}
        << TextEncoding::Utf16LE;

    // Only one mark is skipped: a U+FEFF after it belongs to the first line.
    QTest::newRow("utf-8 second mark")
        << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF"
                      "a\r\n")
        << QStringList{QStringLiteral("\uFEFFa")} << TextEncoding::Utf8;
    QTest::newRow("utf-16 be second mark")
        << QByteArray("\xFE\xFF" + utf16be(u"\uFEFFa")) << QStringList{QStringLiteral("\uFEFFa")}
        << TextEncoding::Utf16BE;
}

void TestListFile::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QFETCH(TextEncoding, encoding);
    const ListText text = decodeListText(bytes);
    QCOMPARE(text.lines, lines);
    QCOMPARE(text.encoding, encoding);
    // Written back, the list reads the same again (U+FFFD makes code page
    // 932 fall back to UTF-8).
    TextEncoding used = encoding;
    const ListText again = decodeListText(encodeListText(text.lines, text.encoding, &used));
    QCOMPARE(again.lines, lines);
    QCOMPARE(again.encoding, used);
}

void TestListFile::encode_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("cp932") << QStringList{"あ…", ""} << TextEncoding::Cp932
                           << QByteArray("\x82\xA0\x81\x63\r\n\r\n");
    QTest::newRow("utf-8") << QStringList{"é"} << TextEncoding::Utf8
                           << QByteArray("\xEF\xBB\xBF\xC3\xA9\r\n");
    QTest::newRow("utf-8 without a mark")
        << QStringList{"é"} << TextEncoding::Utf8NoBom << QByteArray("\xC3\xA9\r\n");
    QTest::newRow("utf-16 le") << QStringList{"あ", "b"} << TextEncoding::Utf16LE
                               << QByteArray("\xFF\xFE" + utf16le(u"\u3042\r\nb\r\n"));
    QTest::newRow("utf-16 be") << QStringList{"あ"} << TextEncoding::Utf16BE
                               << QByteArray("\xFE\xFF" + utf16be(u"\u3042\r\n"));
    QTest::newRow("empty utf-8 list") << QStringList() << TextEncoding::Utf8 << QByteArray();
}

void TestListFile::encode()
{
    QFETCH(QStringList, lines);
    QFETCH(TextEncoding, encoding);
    QFETCH(QByteArray, bytes);
    TextEncoding used = TextEncoding::Utf16BE;
    QCOMPARE(encodeListText(lines, encoding, &used), bytes);
    QCOMPARE(used, encoding);
    if (!lines.isEmpty()) QCOMPARE(decodeListText(bytes).lines, lines);
}

void TestListFile::cp932FallsBackToUtf8_data()
{
    QTest::addColumn<QStringList>("lines");
    const QString kana = QStringLiteral("/動画/あ.mp4");
    QTest::newRow("accent") << QStringList{kana, QStringLiteral("/music/café.mp3")};
    QTest::newRow("emoji") << QStringList{kana, QStringLiteral("/v/\U0001F3B5 live.mp4")};
    QTest::newRow("hangul") << QStringList{kana, QStringLiteral("/v/한국.mp4")};
    QTest::newRow("U+FEFF first") << QStringList{QStringLiteral("\uFEFF") + kana};
    QTest::newRow("bytes that read as utf-8") << QStringList{QStringLiteral("/v/ﾃｩ")};
}

void TestListFile::cp932FallsBackToUtf8()
{
    QFETCH(QStringList, lines);
    TextEncoding used = TextEncoding::Cp932;
    const QByteArray bytes = encodeListText(lines, TextEncoding::Cp932, &used);
    QCOMPARE(used, TextEncoding::Utf8);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const ListText back = decodeListText(bytes);
    QCOMPARE(back.lines, lines);
    QCOMPARE(back.encoding, TextEncoding::Utf8);
}

void TestListFile::fileRoundTripKeepsEncoding_data()
{
    QTest::addColumn<TextEncoding>("encoding");
    QTest::newRow("cp932") << TextEncoding::Cp932;
    QTest::newRow("utf-8") << TextEncoding::Utf8;
    QTest::newRow("utf-8 without a mark") << TextEncoding::Utf8NoBom;
    QTest::newRow("utf-16 le") << TextEncoding::Utf16LE;
    QTest::newRow("utf-16 be") << TextEncoding::Utf16BE;
}

void TestListFile::fileRoundTripKeepsEncoding()
{
    QFETCH(TextEncoding, encoding);
    const QString path = m_dir.filePath(QStringLiteral("Playlist.txt"));
    putBytes(path, "old content that is longer than the new one\r\n");
    const QStringList lines{QStringLiteral("C:\\動画\\第1話….mp4"), QString(),
                            QStringLiteral("/tmp/x y.ogg")};
    QCOMPARE(writeListFile(path, lines, encoding), encoding);
    const ListText back = readListFile(path);
    QCOMPARE(back.lines, lines);
    QCOMPARE(back.encoding, encoding);
    QVERIFY(bytesOf(path).endsWith(encoding == TextEncoding::Utf16LE   ? QByteArray("\r\0\n\0", 4)
                                   : encoding == TextEncoding::Utf16BE ? QByteArray("\0\r\0\n", 4)
                                                                       : QByteArray("\r\n")));
}

// A list read from a file and written back unchanged keeps its bytes.
void TestListFile::japaneseNamesKeepTheirBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<TextEncoding>("encoding");
    const QString text = QStringLiteral("/home/aki/動画/ドラマ 第１話「再会」.mkv\r\n"
                                        "/home/aki/音楽/東京の夜 ～ ライブ.mp3\r\n");
    QTest::newRow("utf-8") << text.toUtf8() << TextEncoding::Utf8NoBom;
    QTest::newRow("cp932") << cp932(text) << TextEncoding::Cp932;
}

void TestListFile::japaneseNamesKeepTheirBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(TextEncoding, encoding);
    const QString path = m_dir.filePath(QStringLiteral("Playlist.txt"));
    putBytes(path, bytes);
    const ListText text = readListFile(path);
    QCOMPARE(text.encoding, encoding);
    QCOMPARE(text.lines.value(1), QStringLiteral("/home/aki/音楽/東京の夜 ～ ライブ.mp3"));
    QCOMPARE(writeListFile(path, text.lines, text.encoding), encoding);
    QCOMPARE(bytesOf(path), bytes);
}

void TestListFile::hugeLine()
{
    const QString path = m_dir.filePath(QStringLiteral("huge.txt"));
    const QStringList lines{QString(10 * 1024 * 1024, QLatin1Char('a')), QStringLiteral("end")};
    QCOMPARE(writeListFile(path, lines, TextEncoding::Cp932), TextEncoding::Cp932);
    QCOMPARE(QFileInfo(path).size(), 10 * 1024 * 1024 + 7);
    QCOMPARE(readListFile(path).lines, lines);
}

void TestListFile::binaryFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("text");
    QTest::newRow("png") << QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR\0\0\x01\0", 20) << false;
    QTest::newRow("control characters") << QByteArray("a\x02\r\nb\x01\x1b\x03\r\n") << false;
    QTest::newRow("bytes that are no character") << QByteArray(64, '\xFF') << false;
    QTest::newRow("a name with a control character")
        << QByteArray("/home/aki/odd\x01name.mp3\r\n/home/aki/talk.mp3\r\n") << true;
    QTest::newRow("data after NUL") << QByteArray("a\r\n\0\0b", 6) << false;
    QTest::newRow("utf-16 le text") << QByteArray("\xFF\xFE" + utf16le(u"a\r\nb\r\n")) << true;
    QTest::newRow("trailing NULs") << QByteArray("a\r\nb\r\n\0\0", 8) << true;
    QTest::newRow("tab") << QByteArray("a\tb\r\n") << true;
}

void TestListFile::binaryFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, text);
    const QString path = m_dir.filePath(QStringLiteral("list.txt"));
    putBytes(path, bytes);
    const QString error = errorOf([&] { readListFile(path); });
    QCOMPARE(error, text ? QString() : path + QStringLiteral(" はテキストファイルではありません"));
    QCOMPARE(bytesOf(path), bytes);
}

void TestListFile::unreadableAndUnwritable()
{
    const QString dir = m_dir.filePath(QStringLiteral("folder.txt"));
    QVERIFY(QDir().mkpath(dir));
    QCOMPARE(errorOf([&] { readListFile(dir); }), dir + QStringLiteral(" を読み込めません"));
    QCOMPARE(errorOf([&] { writeListFile(dir, {QStringLiteral("a")}, TextEncoding::Cp932); }),
             dir + QStringLiteral(" に書き込めません"));
    QVERIFY(QFileInfo(dir).isDir());

    const QString missing = m_dir.filePath(QStringLiteral("missing.txt"));
    QCOMPARE(errorOf([&] { readListFile(missing); }),
             missing + QStringLiteral(" を読み込めません"));

    const QString readOnly = m_dir.filePath(QStringLiteral("ro.txt"));
    putBytes(readOnly, "keep\r\n");
    QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadGroup));
    QCOMPARE(errorOf([&] { writeListFile(readOnly, {QStringLiteral("b")}, TextEncoding::Cp932); }),
             readOnly + QStringLiteral(" に書き込めません"));
    QCOMPARE(bytesOf(readOnly), QByteArray("keep\r\n"));
}

QTEST_GUILESS_MAIN(TestListFile)
#include "tst_core_listfile.moc"
