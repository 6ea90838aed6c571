// SPDX-License-Identifier: GPL-3.0-or-later
// The INI profile files: reading hand-edited files, write-through that keeps
// everything else, the value kinds, encodings, failures and concurrent writers.
#include "persist/AppError.h"
#include "persist/FileUtil.h"
#include "persist/IniFile.h"
#include "persist/ProgramDir.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QLockFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <functional>
#include <limits>
#include <memory>

namespace
{

} // namespace

class TestIniFile : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(m_tmp->isValid());
    }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void readString_data();
    void readString();
    void readNumbers_data();
    void readNumbers();
    void formatFloat_data();
    void formatFloat();
    void floatIgnoresLocale();
    void commaValueWrittenBackWithFullStop();
    void emptyValueCountsAsPresent();
    void readingNeverCreates();
    void writeKeepsEverythingElse();
    void createsFileInOrder();
    void valuesThatReadingWouldChangeRoundTrip();
    void legacyEncodings_data();
    void legacyEncodings();
    void utf16HalfPairReadsAsReplacement();
    void readOnlyFileIsNotReplaced();
    void directoryAsFile();
    void missingDirectory();
    void binaryFileSurvives();
    void hugeLine();
    void concurrentWritersLoseNothing();
    void lockLeftByACrashIsBroken();
    void programDirFallback();
    void staleTemporariesRemoved();

private:
    QString path(const QString &name = QStringLiteral("Pelmora.ini")) const
    {
        return m_tmp->filePath(name);
    }
    std::unique_ptr<QTemporaryDir> m_tmp; // a fresh directory for every test
};

void TestIniFile::readString_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QString def = QStringLiteral("<def>");
    QTest::newRow("plain") << QByteArray("[Resume]\r\nFileName=/m/a.mp4\r\n") << "Resume"
                           << "FileName"
                           << "/m/a.mp4";
    QTest::newRow("blanks around =")
        << QByteArray("[Resume]\r\n  FileName  =  /m/a b.mp4 \t\r\n") << "Resume"
        << "FileName"
        << "/m/a b.mp4";
    QTest::newRow("quotes dropped once") << QByteArray("[S]\r\nK=\"\"x\"\"\r\n") << "S"
                                         << "K"
                                         << "\"x\"";
    QTest::newRow("quoted blanks kept") << QByteArray("[S]\r\nK= \"  x \" \r\n") << "S"
                                        << "K"
                                        << "  x ";
    QTest::newRow("single quote kept") << QByteArray("[S]\r\nK=\"x\r\n") << "S"
                                       << "K"
                                       << "\"x";
    QTest::newRow("case-insensitive") << QByteArray("[rEsUmE]\nfilename=x\n") << "Resume"
                                      << "FileName"
                                      << "x";
    QTest::newRow("comment is no key") << QByteArray("[S]\r\n;K=no\r\nK=yes\r\n") << "S"
                                       << "K"
                                       << "yes";
    QTest::newRow("other section") << QByteArray("[A]\r\nK=a\r\n[B]\r\nJ=b\r\n") << "B"
                                   << "K" << def;
    QTest::newRow("first of duplicates") << QByteArray("[S]\r\nK=1\r\nK=2\r\n[S]\r\nK=3\r\n") << "S"
                                         << "K"
                                         << "1";
    QTest::newRow("key before any section") << QByteArray("K=top\r\n[S]\r\n") << "S"
                                            << "K" << def;
    QTest::newRow("lone CR breaks") << QByteArray("[S]\rA=1\rK=2") << "S"
                                    << "K"
                                    << "2";
    QTest::newRow("no file") << QByteArray() << "S"
                             << "K" << def;
    QTest::newRow("2047 characters")
        << QByteArray("[S]\r\nK=" + QByteArray(3000, 'v') + "\r\n") << "S"
        << "K" << QString(2047, QLatin1Char('v'));
}

void TestIniFile::readString()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    if (!content.isEmpty()) putBytes(path(), content);
    const IniFile ini(path());
    QCOMPARE(ini.readString(section, key, QStringLiteral("<def>")), expected);
    QCOMPARE(ini.valueExists(section, key), expected != QStringLiteral("<def>"));
}

void TestIniFile::readNumbers_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<qint64>("integer");  // read with default 50
    QTest::addColumn<int>("boolean");     // -1: default (read once with each default)
    QTest::addColumn<double>("floating"); // read with default -1

    QTest::newRow("hex") << QByteArray("0x20") << qint64(32) << 1 << -1.0;
    QTest::newRow("HEX") << QByteArray("0X1f") << qint64(31) << 1 << -1.0;
    QTest::newRow("word") << QByteArray("loud") << qint64(50) << -1 << -1.0;
    QTest::newRow("empty") << QByteArray("") << qint64(50) << -1 << -1.0;
    QTest::newRow("two") << QByteArray("2") << qint64(2) << 1 << 2.0;
    QTest::newRow("zero") << QByteArray("0") << qint64(0) << 0 << 0.0;
    QTest::newRow("negative") << QByteArray("-1") << qint64(-1) << 1 << -1.0;
    QTest::newRow("blanks") << QByteArray("  42 ") << qint64(42) << 1 << 42.0;
    QTest::newRow("trailing text") << QByteArray("12abc") << qint64(50) << -1 << -1.0;
    QTest::newRow("bare 0x") << QByteArray("0x") << qint64(50) << -1 << -1.0;
    QTest::newRow("fraction") << QByteArray("83.7") << qint64(50) << -1 << 83.7;
    QTest::newRow("comma fraction") << QByteArray("83,7") << qint64(50) << -1 << 83.7;
    QTest::newRow("scientific") << QByteArray("1E-6") << qint64(50) << -1 << 1e-6;
    QTest::newRow("two separators") << QByteArray("1,234.5") << qint64(50) << -1 << -1.0;
    // No position is NaN or infinite, nor beyond the largest double.
    QTest::newRow("NaN") << QByteArray("NAN") << qint64(50) << -1 << -1.0;
    QTest::newRow("infinity") << QByteArray("-INF") << qint64(50) << -1 << -1.0;
    QTest::newRow("beyond the largest")
        << QByteArray("1.79769313486232E308") << qint64(50) << -1 << -1.0;
}

void TestIniFile::readNumbers()
{
    QFETCH(QByteArray, line);
    QFETCH(qint64, integer);
    QFETCH(int, boolean);
    QFETCH(double, floating);
    putBytes(path(), "[Volume]\r\nValue=" + line + "\r\n");
    const IniFile ini(path());
    QCOMPARE(ini.readInteger(QStringLiteral("Volume"), QStringLiteral("Value"), 50), integer);
    if (boolean < 0) {
        QCOMPARE(ini.readBool(QStringLiteral("Volume"), QStringLiteral("Value"), true), true);
        QCOMPARE(ini.readBool(QStringLiteral("Volume"), QStringLiteral("Value"), false), false);
    } else {
        QCOMPARE(ini.readBool(QStringLiteral("Volume"), QStringLiteral("Value"), !boolean),
                 bool(boolean));
    }
    QCOMPARE(ini.readFloat(QStringLiteral("Volume"), QStringLiteral("Value"), -1.0), floating);
}

void TestIniFile::formatFloat_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("83.7") << 83.7 << "83.7";
    QTest::newRow("whole") << 120.0 << "120";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative") << -2.5 << "-2.5";
    QTest::newRow("tiny") << 0.000001 << "1E-6";
    QTest::newRow("tiny fraction") << 1.5e-7 << "1.5E-7";
    QTest::newRow("smallest fixed") << 0.00001 << "0.00001";
    QTest::newRow("largest fixed") << 123456789012345.0 << "123456789012345";
    QTest::newRow("1E15") << 1e15 << "1E15";
    QTest::newRow("big") << 2.5e20 << "2.5E20";
    QTest::newRow("15 digits") << 0.333333333333333 << "0.333333333333333";
    QTest::newRow("long position") << 5025.123456789 << "5025.123456789";
    // 17 digits where 15 would not read back as the same value.
    QTest::newRow("a third") << 1.0 / 3.0 << "0.33333333333333331";
    QTest::newRow("0.1 + 0.2") << 0.1 + 0.2 << "0.30000000000000004";
    QTest::newRow("would round up to 1E15") << 999999999999999.9 << "999999999999999.88";
    QTest::newRow("largest") << std::numeric_limits<double>::max() << "1.7976931348623157E308";
}

void TestIniFile::formatFloat()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(IniFile::formatFloat(value), text);
    double back = 0;
    QVERIFY(IniFile::parseFloat(text, &back));
    QCOMPARE(back, value);
}

void TestIniFile::floatIgnoresLocale()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const IniFile ini(path());
    ini.writeFloat(QStringLiteral("Resume"), QStringLiteral("Second"), 83.7);
    QCOMPARE(bytesOf(path()), QByteArray("[Resume]\r\nSecond=83.7\r\n"));
    QCOMPARE(ini.readFloat(QStringLiteral("Resume"), QStringLiteral("Second"), 0), 83.7);
}

void TestIniFile::commaValueWrittenBackWithFullStop()
{
    putBytes(path(), "[Resume]\r\nFileName=a\r\nSecond=83,7\r\n");
    const IniFile ini(path());
    const double pos = ini.readFloat(QStringLiteral("Resume"), QStringLiteral("Second"), 0);
    QCOMPARE(pos, 83.7);
    ini.writeFloat(QStringLiteral("Resume"), QStringLiteral("Second"), pos);
    QCOMPARE(bytesOf(path()), QByteArray("[Resume]\r\nFileName=a\r\nSecond=83.7\r\n"));
}

void TestIniFile::emptyValueCountsAsPresent()
{
    putBytes(path(), "[Resume]\r\nSecond=\r\n");
    const IniFile ini(path());
    QVERIFY(ini.valueExists(QStringLiteral("Resume"), QStringLiteral("Second")));
    QVERIFY(!ini.valueExists(QStringLiteral("Resume"), QStringLiteral("FileName")));
    QVERIFY(!ini.valueExists(QStringLiteral("Playlist"), QStringLiteral("Second")));
    QCOMPARE(ini.readFloat(QStringLiteral("Resume"), QStringLiteral("Second"), 0), 0.0);
    QCOMPARE(ini.readString(QStringLiteral("Resume"), QStringLiteral("FileName"), QString()),
             QString());
}

void TestIniFile::readingNeverCreates()
{
    const IniFile ini(path());
    QVERIFY(!ini.valueExists(QStringLiteral("Resume"), QStringLiteral("Second")));
    QCOMPARE(ini.readInteger(QStringLiteral("Volume"), QStringLiteral("Value"), 50), 50);
    QCOMPARE(ini.readBool(QStringLiteral("Recently"), QStringLiteral("Enable"), true), true);
    QVERIFY(QDir(m_tmp->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

void TestIniFile::writeKeepsEverythingElse()
{
    putBytes(path(), "; settings edited by hand\r\n"
                     "[Volume]\r\n"
                     "Value = 30\r\n"
                     "Mine=keep me\r\n"
                     "\r\n"
                     "[recently]\n"
                     "ENABLE=1\n"
                     "Other=x\n"
                     "\n"
                     "[Extra]\r\n"
                     "Z=\"quoted\"\r\n"
                     "; trailing comment");
    const IniFile ini(path());
    ini.writeInteger(QStringLiteral("Volume"), QStringLiteral("Value"), 75);
    ini.writeBool(QStringLiteral("Recently"), QStringLiteral("Enable"), false);
    ini.writeString(QStringLiteral("Recently"), QStringLiteral("File1"),
                    QStringLiteral("/m/a.mp4"));
    ini.writeString(QStringLiteral("Resume"), QStringLiteral("FileName"), QStringLiteral("b"));
    QCOMPARE(bytesOf(path()), QByteArray("; settings edited by hand\r\n"
                                         "[Volume]\r\n"
                                         "Value=75\r\n"
                                         "Mine=keep me\r\n"
                                         "\r\n"
                                         "[recently]\n"
                                         "ENABLE=0\n"
                                         "Other=x\n"
                                         "File1=/m/a.mp4\r\n"
                                         "\n"
                                         "[Extra]\r\n"
                                         "Z=\"quoted\"\r\n"
                                         "; trailing comment\r\n"
                                         "[Resume]\r\n"
                                         "FileName=b\r\n"));
    QCOMPARE(ini.readString(QStringLiteral("Extra"), QStringLiteral("Z"), QString()),
             QStringLiteral("quoted"));
    QCOMPARE(ini.readString(QStringLiteral("Volume"), QStringLiteral("Mine"), QString()),
             QStringLiteral("keep me"));
}

void TestIniFile::createsFileInOrder()
{
    const IniFile ini(path());
    ini.writeBool(QStringLiteral("Playlist"), QStringLiteral("Enabled"), true);
    ini.writeInteger(QStringLiteral("Playlist"), QStringLiteral("Index"), -1);
    ini.writeString(QStringLiteral("Resume"), QStringLiteral("FileName"), QStringLiteral("/a"));
    ini.writeFloat(QStringLiteral("Resume"), QStringLiteral("Second"), 120);
    QCOMPARE(bytesOf(path()), QByteArray("[Playlist]\r\nEnabled=1\r\nIndex=-1\r\n"
                                         "[Resume]\r\nFileName=/a\r\nSecond=120\r\n"));
    QVERIFY(!QFile::exists(path() + QStringLiteral(".lock")));
}

void TestIniFile::valuesThatReadingWouldChangeRoundTrip()
{
    const IniFile ini(path());
    const QStringList values{QStringLiteral(" leading blank.mp4"), QStringLiteral("\"q\""),
                             QStringLiteral("trailing\t"), QStringLiteral("日本語 パス")};
    for (int i = 0; i < values.size(); ++i)
        ini.writeString(QStringLiteral("S"), QStringLiteral("K%1").arg(i), values.at(i));
    for (int i = 0; i < values.size(); ++i)
        QCOMPARE(ini.readString(QStringLiteral("S"), QStringLiteral("K%1").arg(i), QString()),
                 values.at(i));
    // A line break cannot be stored: it would make a line of its own.
    ini.writeString(QStringLiteral("S"), QStringLiteral("N"), QStringLiteral("a\r\n[S]\nK0=x"));
    QCOMPARE(ini.readString(QStringLiteral("S"), QStringLiteral("N"), QString()),
             QStringLiteral("a  [S] K0=x"));
    QCOMPARE(ini.readString(QStringLiteral("S"), QStringLiteral("K0"), QString()), values.at(0));
}

void TestIniFile::legacyEncodings_data()
{
    QTest::addColumn<QByteArray>("content");
    const QString text = QStringLiteral("[Recently]\r\nFile1=/動画/あ….mp4\r\nMine=ｶﾅ\r\n");
    QStringEncoder cp932("windows-31j");
    QVERIFY(cp932.isValid());
    QTest::newRow("cp932") << QByteArray(cp932.encode(text));
    QStringEncoder utf16(QStringEncoder::Utf16LE);
    QTest::newRow("utf-16 le") << QByteArray("\xFF\xFE" + QByteArray(utf16.encode(text)));
    QTest::newRow("utf-8 bom") << QByteArray("\xEF\xBB\xBF" + text.toUtf8());
    QTest::newRow("utf-8") << text.toUtf8();
}

void TestIniFile::legacyEncodings()
{
    QFETCH(QByteArray, content);
    putBytes(path(), content);
    const IniFile ini(path());
    const QString file1 = QStringLiteral("/動画/あ….mp4");
    QCOMPARE(ini.readString(QStringLiteral("Recently"), QStringLiteral("File1"), QString()), file1);
    ini.writeString(QStringLiteral("Recently"), QStringLiteral("File2"), QStringLiteral("é"));
    // Rewritten as UTF-8 without a mark, nothing lost.
    QCOMPARE(
        bytesOf(path()),
        QStringLiteral("[Recently]\r\nFile1=/動画/あ….mp4\r\nMine=ｶﾅ\r\nFile2=é\r\n").toUtf8());
    QCOMPARE(ini.readString(QStringLiteral("Recently"), QStringLiteral("File1"), QString()), file1);
}

// Half a surrogate pair in a UTF-16 file cannot be kept by the UTF-8 rewrite:
// it reads as U+FFFD from the start, so a write changes no other value.
void TestIniFile::utf16HalfPairReadsAsReplacement()
{
    const QString text = QStringLiteral("[S]\r\nK=a") + QChar(0xD800) + QStringLiteral("\r\n");
    QByteArray content("\xFF\xFE");
    for (const QChar c : text)
        content.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    putBytes(path(), content);
    const IniFile ini(path());
    const QString expected = QStringLiteral("a\uFFFD");
    QCOMPARE(ini.readString(QStringLiteral("S"), QStringLiteral("K"), QString()), expected);
    ini.writeString(QStringLiteral("S"), QStringLiteral("J"), QStringLiteral("b"));
    QCOMPARE(ini.readString(QStringLiteral("S"), QStringLiteral("K"), QString()), expected);
}

void TestIniFile::readOnlyFileIsNotReplaced()
{
    const QByteArray before("[Volume]\r\nValue=10\r\n");
    putBytes(path(), before);
    QVERIFY(QFile::setPermissions(path(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const IniFile ini(path());
    QCOMPARE(
        errorOf([&] { ini.writeInteger(QStringLiteral("Volume"), QStringLiteral("Value"), 5); }),
        path() + QStringLiteral(" に書き込めません"));
    QCOMPARE(bytesOf(path()), before);
    QCOMPARE(ini.readInteger(QStringLiteral("Volume"), QStringLiteral("Value"), 50), 10);
}

void TestIniFile::directoryAsFile()
{
    QVERIFY(QDir(m_tmp->path()).mkdir(QStringLiteral("Pelmora.ini")));
    const IniFile ini(path());
    QCOMPARE(ini.readInteger(QStringLiteral("Volume"), QStringLiteral("Value"), 50), 50);
    QCOMPARE(
        errorOf([&] { ini.writeInteger(QStringLiteral("Volume"), QStringLiteral("Value"), 5); }),
        path() + QStringLiteral(" に書き込めません"));
    QVERIFY(QFileInfo(path()).isDir());
}

void TestIniFile::missingDirectory()
{
    const QString p = m_tmp->filePath(QStringLiteral("gone/Resume.ini"));
    const IniFile ini(p);
    QCOMPARE(
        errorOf([&] { ini.writeFloat(QStringLiteral("Resume"), QStringLiteral("Second"), 1); }),
        p + QStringLiteral(" に書き込めません"));
}

void TestIniFile::binaryFileSurvives()
{
    QByteArray binary("\x89PNG\r\n\x1A\n\0\0\0\rIHDR[Volume]\r\nValue=7\r\n", 33);
    for (int i = 0; i < 256; ++i)
        binary.append(char(i));
    putBytes(path(), binary);
    const IniFile ini(path());
    QCOMPARE(ini.readString(QStringLiteral("Resume"), QStringLiteral("FileName"), QString()),
             QString());
    QCOMPARE(
        errorOf([&] { ini.writeInteger(QStringLiteral("Volume"), QStringLiteral("Value"), 5); }),
        path() + QStringLiteral(" に書き込めません"));
    QCOMPARE(bytesOf(path()), binary);

    // Nothing but NUL bytes, as a crash can leave a file: nothing to keep,
    // and no reason to refuse every later save.
    putBytes(path(), QByteArray(4096, '\0'));
    QCOMPARE(ini.readInteger(QStringLiteral("Volume"), QStringLiteral("Value"), 50), 50);
    ini.writeInteger(QStringLiteral("Volume"), QStringLiteral("Value"), 5);
    QCOMPARE(bytesOf(path()), QByteArray("[Volume]\r\nValue=5\r\n"));
}

void TestIniFile::hugeLine()
{
    putBytes(path(), "[S]\r\nBig=" + QByteArray(10 * 1024 * 1024, 'x') + "\r\nK=1\r\n");
    const IniFile ini(path());
    QCOMPARE(ini.readString(QStringLiteral("S"), QStringLiteral("Big"), QString()).size(), 2047);
    QCOMPARE(ini.readInteger(QStringLiteral("S"), QStringLiteral("K"), 0), 1);
    ini.writeInteger(QStringLiteral("S"), QStringLiteral("K"), 2);
    QCOMPARE(ini.readInteger(QStringLiteral("S"), QStringLiteral("K"), 0), 2);
    QCOMPARE(QFileInfo(path()).size(), 10 * 1024 * 1024 + 16);
}

void TestIniFile::concurrentWritersLoseNothing()
{
    const int rounds = 60;
    auto writer = [this, rounds](QChar prefix) {
        const IniFile ini(path());
        for (int i = 0; i < rounds; ++i)
            ini.writeInteger(QStringLiteral("Shared"), prefix + QString::number(i), i);
    };
    std::unique_ptr<QThread> a(QThread::create(writer, QLatin1Char('A')));
    std::unique_ptr<QThread> b(QThread::create(writer, QLatin1Char('B')));
    a->start();
    b->start();
    QVERIFY(a->wait(120000));
    QVERIFY(b->wait(120000));
    const IniFile ini(path());
    int found = 0;
    for (int i = 0; i < rounds; ++i) {
        found += ini.readInteger(QStringLiteral("Shared"), QStringLiteral("A%1").arg(i), -1) == i;
        found += ini.readInteger(QStringLiteral("Shared"), QStringLiteral("B%1").arg(i), -1) == i;
    }
    QCOMPARE(found, 2 * rounds);
    QVERIFY(!QFile::exists(path() + QStringLiteral(".lock")));
}

// A lock file left behind by a writer that crashed (its process is gone) or
// by a crash long ago does not keep every later write out.
void TestIniFile::lockLeftByACrashIsBroken()
{
    const QString lockPath = path() + QStringLiteral(".lock");
    // A lock file as a running writer makes it, naming a process that
    // no longer exists.
    QByteArray info;
    {
        QLockFile live(lockPath);
        QVERIFY(live.tryLock(0));
        QFile file(lockPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        info = file.readAll();
        live.unlock();
    }
    QList<QByteArray> parts = info.split('\n');
    QVERIFY(parts.size() >= 3);
    parts[0] = "999999999"; // above any process id the system hands out
    putBytes(lockPath, parts.join('\n'));

    const IniFile ini(path());
    QElapsedTimer timer;
    timer.start();
    ini.writeInteger(QStringLiteral("Volume"), QStringLiteral("Value"), 40);
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(ini.readInteger(QStringLiteral("Volume"), QStringLiteral("Value"), 0), 40);
    QVERIFY(!QFile::exists(lockPath));

    // A lock file that cannot be read, from long ago.
    putBytes(lockPath, "");
    QFile old(lockPath);
    QVERIFY(old.open(QIODevice::ReadWrite));
    QVERIFY(old.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                            QFileDevice::FileModificationTime));
    old.close();
    timer.restart();
    ini.writeInteger(QStringLiteral("Volume"), QStringLiteral("Value"), 41);
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(ini.readInteger(QStringLiteral("Volume"), QStringLiteral("Value"), 0), 41);
}

void TestIniFile::programDirFallback()
{
    const QString exe = m_tmp->filePath(QStringLiteral("bin"));
    const QString user = m_tmp->filePath(QStringLiteral("config/pelmora"));
    QVERIFY(QDir().mkpath(exe));
    QCOMPARE(chooseProgramDir(exe, user), exe);
    QVERIFY(QDir(exe).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    QVERIFY(!QFileInfo::exists(user));

    // No file can be made below a regular file, not even by the super-user.
    const QString blocked = m_tmp->filePath(QStringLiteral("plain-file"));
    putBytes(blocked, "x");
    QCOMPARE(chooseProgramDir(blocked + QStringLiteral("/bin"), user), user);
    QVERIFY(QFileInfo(user).isDir());

    QCOMPARE(programFile(exe, QString::fromLatin1(kSettingsFile)),
             exe + QStringLiteral("/Pelmora.ini"));

    // The records beside a program that cannot write there are read from the
    // directory written instead: copied there once, never again after.
    const QString elsewhere = m_tmp->filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(elsewhere));
    putBytes(exe + QStringLiteral("/Resume.ini"), "[Resume]\r\nFileName=/a.mp3\r\nSecond=5\r\n");
    putBytes(exe + QStringLiteral("/Playlist.txt"), "/a.mp3\r\n");
    QCOMPARE(seedProgramDir(exe, elsewhere), 2);
    QCOMPARE(bytesOf(elsewhere + QStringLiteral("/Resume.ini")),
             QByteArray("[Resume]\r\nFileName=/a.mp3\r\nSecond=5\r\n"));
    QFile::remove(elsewhere + QStringLiteral("/Resume.ini")); // the record was taken
    QCOMPARE(seedProgramDir(exe, elsewhere), 0);
    QVERIFY(!QFileInfo::exists(elsewhere + QStringLiteral("/Resume.ini")));
}

// What a write killed half-way leaves beside the files goes at the next start;
// a write under way and the copies a person made stay.
void TestIniFile::staleTemporariesRemoved()
{
    const auto make = [this](const QString &name, int ageSeconds) {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Volume]\r\nValue=50\r\n");
        QVERIFY(file.flush());
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                                 QFileDevice::FileModificationTime));
    };
    const QStringList stale{"Pelmora.ini.oSAOZd", "Resume.ini.QwErTy", "Playlist.txt.xYzzYx",
                            "Resume.journal.lTCExD", ".pelmora-probe-GhIjKl"};
    const QStringList kept{"Pelmora.ini",         "Pelmora.ini.lock",  "Pelmora.ini.backup",
                           "Playlist.txt.Before", "Resume.ini.OLDONE", "Pelmora.ini.aBcDeFg",
                           "Playlist.txt.aBc1eF", "Other.ini.aBcDeF"};
    for (const QString &name : stale + kept)
        make(name, 120);
    make(QStringLiteral("Resume.ini.mNoPqR"), 5); // being written now

    QCOMPARE(removeStaleTemporaries(m_tmp->path()), stale.size());
    QStringList left = QDir(m_tmp->path()).entryList(QDir::Files | QDir::Hidden);
    QStringList expected = kept + QStringList{QStringLiteral("Resume.ini.mNoPqR")};
    left.sort();
    expected.sort();
    QCOMPARE(left, expected);
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_core_inifile.moc"
