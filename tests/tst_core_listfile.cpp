// SPDX-License-Identifier: GPL-3.0-or-later
// List text files: byte-order marks, code page 932, line breaks, NUL, the
// UTF-8 fallback for text code page 932 cannot hold, and bad input.
#include "persist/AppError.h"
#include "persist/ListFile.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
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
}

void TestListFile::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QFETCH(TextEncoding, encoding);
    const ListText text = decodeListText(bytes);
    QCOMPARE(text.lines, lines);
    QCOMPARE(text.encoding, encoding);
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
    QTest::addColumn<QString>("line");
    QTest::newRow("accent") << QStringLiteral("/music/café.mp3");
    QTest::newRow("emoji") << QStringLiteral("/v/\U0001F3B5 live.mp4");
    QTest::newRow("hangul") << QStringLiteral("/v/한국.mp4");
}

void TestListFile::cp932FallsBackToUtf8()
{
    QFETCH(QString, line);
    const QStringList lines{QStringLiteral("/動画/あ.mp4"), line};
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
