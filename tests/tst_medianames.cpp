// SPDX-License-Identifier: GPL-3.0-or-later
// Names of media that the player refuses: whichever way they come (the
// command line, a playlist entry that the auto-advance opens, a resume
// record), they never reach the engine and are reported like any medium that
// does not play.
#include "app/Unit1.h"
#include "lists/Unit6.h"
#include "persist/LocalNames.h"
#include "player/MediaName.h"
#include "support/FakePlayer.h"
#include "support/TestServices.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <sys/stat.h>

namespace
{

const QString kEvil =
    QStringLiteral("av://lavfi:sine=d=0.05,ametadata=mode=print:file=/tmp/pelmora-evil");

bool reportedAsPlayerError(const TestProgram &run)
{
    QCoreApplication::processEvents(); // the player's error arrives queued
    for (const Message &m : run.dialogs.shown)
        if (m.text.contains(QStringLiteral("WMPエラー"))) return true;
    return false;
}

} // namespace

class TestMediaNames : public QObject
{
    Q_OBJECT

private slots:
    void kinds();
    void refusedNamesNeverReachTheEngine();
    void bytesThatAreNoUtf8ComeBackAsThey();
    void namesTheIniCannotHoldAreResumedWhole();
};

void TestMediaNames::kinds()
{
    const struct {
        const char *name;
        MediaNameKind kind;
        const char *path;
    } cases[] = {
        {"/m/talk.mp3", MediaNameKind::Local, "/m/talk.mp3"},
        {"talk: part 1.mp3", MediaNameKind::Refused, ""}, // a scheme, unless the file exists
        {"C:\\m\\talk.mp3", MediaNameKind::Local, "C:\\m\\talk.mp3"},
        {"file:///m/a%20b.mp3", MediaNameKind::Local, "/m/a b.mp3"},
        {"HTTPS://example.org/a.mp3", MediaNameKind::Network, "HTTPS://example.org/a.mp3"},
        {"rtsp://cam/live", MediaNameKind::Network, "rtsp://cam/live"},
        {"av://lavfi:sine", MediaNameKind::Refused, ""},
        {"edl://a.mp3", MediaNameKind::Refused, ""},
        {"file://host/share/a.mp3", MediaNameKind::Local, "//host/share/a.mp3"},
        // A stream's scheme without "//" and a host is a local name.
        {"http:fifo", MediaNameKind::Local, "http:fifo"},
        {"https:///nohost", MediaNameKind::Local, "https:///nohost"},
        {"  ", MediaNameKind::None, ""},
    };
    for (const auto &c : cases) {
        const MediaName name = classifyMediaName(QString::fromUtf8(c.name));
        QVERIFY2(name.kind == c.kind, c.name);
        QCOMPARE(name.path, QString::fromUtf8(c.path));
    }
    // A FIFO by that name is no regular file: the engine never gets it.
    QTemporaryDir dir;
    const QString old = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    QCOMPARE(::mkfifo("http:fifo", 0600), 0);
    QVERIFY(engineTarget(QStringLiteral("http:fifo")).isEmpty());
    QVERIFY(QDir::setCurrent(old));
}

void TestMediaNames::refusedNamesNeverReachTheEngine()
{
    {
        TestProgram run;
        run.start({kEvil});
        QVERIFY(run.player()->engineLoads.isEmpty());
        QVERIFY(reportedAsPlayerError(run));
    }
    {
        // The auto-advance opens the next entry without a click.
        TestProgram run;
        run.writeFile(QStringLiteral("Playlist.txt"), "/m/a.mp4\r\n" + kEvil.toUtf8() + "\r\n");
        TForm1 *form = run.start();
        run.player()->setMediaDuration(QStringLiteral("/m/a.mp4"), 30);
        Form6->setItemIndex(0);
        Form6->ListBox1DblClick();
        run.player()->finishLoading();
        run.player()->advance(29);
        form->Timer2Timer();
        run.delay.fire();
        QCOMPARE(run.player()->calls.filter(QStringLiteral("setURL:")).size(), 2);
        QCOMPARE(run.player()->engineLoads, QStringList{QStringLiteral("/m/a.mp4")});
        QVERIFY(reportedAsPlayerError(run));
    }
    {
        TestProgram run;
        run.writeFile(QStringLiteral("Resume.ini"),
                      "[Resume]\r\nFileName=" + kEvil.toUtf8() + "\r\nSecond=5\r\n");
        TForm1 *form = run.start();
        form->P1Click();
        QVERIFY(run.player()->engineLoads.isEmpty());
        QVERIFY(reportedAsPlayerError(run));
    }
}

void TestMediaNames::bytesThatAreNoUtf8ComeBackAsThey()
{
    // "講義第一回.mp3" in code page 932, as a disk from Japanese Windows has it.
    const QByteArray cp932("/m/\x8d\x75\x8b\x60\x91\xe6\x88\xea\x89\xf1.mp3");
    const QString held = localNameFromBytes(cp932);
    QCOMPARE(localNameToBytes(held), cp932);
    QVERIFY(held.contains(QChar(0xDC8D)));
    // Valid UTF-8 is plain text.
    const QByteArray utf8 = QStringLiteral("/m/講義 1.mp3").toUtf8();
    QCOMPARE(localNameFromBytes(utf8), QStringLiteral("/m/講義 1.mp3"));
    QCOMPARE(localNameToBytes(localNameFromBytes(utf8)), utf8);
    // A drop names the file by its bytes too.
    const QUrl dropped = QUrl::fromEncoded("file:///m/%8D%75%8B%60.mp3");
    QCOMPARE(localNameToBytes(localNameFromUrl(dropped)), QByteArray("/m/\x8d\x75\x8b\x60.mp3"));
    QCOMPARE(localNameToUrl(localNameFromUrl(dropped)), dropped);
}

void TestMediaNames::namesTheIniCannotHoldAreResumedWhole()
{
    const QString names[] = {
        QStringLiteral("/m/first line\nsecond line.mp3"),
        QStringLiteral("/m/") + QString(3000, QLatin1Char('x')) + QStringLiteral(".mp3"),
        localNameFromBytes("/m/\x8d\x75\x8b\x60.mp3"),
    };
    for (const QString &name : names) {
        TestProgram run;
        run.start({name});
        run.player()->finishLoading();
        run.player()->advance(50);
        QVERIFY(run.form()->close());
        TForm1 *f = run.start();
        QVERIFY(f->P1->isEnabled());
        f->P1Click();
        QCOMPARE(run.player()->url(), name);
        QCOMPARE(run.player()->calls.filter(QStringLiteral("pos=")).value(0),
                 QStringLiteral("pos=50"));
    }
}

QTEST_MAIN(TestMediaNames)
#include "tst_medianames.moc"
