// SPDX-License-Identifier: GPL-3.0-or-later
// The resume journal: written while a medium plays or is paused, removed by
// every allowed close, and turned into the resume record at the next start
// when the last run did not end normally. A run that "crashes" is a
// TestProgram whose windows are destroyed without a close.
#include "app/Unit1.h"
#include "persist/HistoryStore.h"
#include "persist/IniFile.h"
#include "persist/ResumeJournal.h"
#include "support/FakePlayer.h"
#include "support/TestServices.h"

#include <QFile>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

const QString kJournal = QStringLiteral("Resume.journal");

ResumeJournal *journalOf(TForm1 *form)
{
    return form->findChild<ResumeJournal *>();
}

std::optional<ResumeJournal::Record> journalRecord(const TestProgram &run)
{
    if (!run.exists(kJournal)) return std::nullopt;
    return ResumeJournal::decode(run.readFile(kJournal));
}

QString resumeValue(const TestProgram &run, const char *section, const char *key)
{
    return IniFile(run.file(QStringLiteral("Resume.ini")))
        .readString(QString::fromLatin1(section), QString::fromLatin1(key),
                    QStringLiteral("<none>"));
}

// A run that plays a file and ends without any close: what a crash leaves.
void crashWhilePlaying(TestProgram &run, const QString &file, double position, bool paused)
{
    TForm1 *f = run.start({file});
    run.player()->finishLoading();
    run.player()->advance(position);
    if (paused)
        run.player()->pause();
    else
        journalOf(f)->tick();
    run.end();
}

} // namespace

class TestJournal : public QObject
{
    Q_OBJECT

private slots:
    void writtenWhilePlayingAndAtPause();
    void notRewrittenWhenNothingChanged();
    void allowedCloseRemovesRefusedCloseKeeps();
    void recoveredAtNextStart();
    void recoveryKeepsPlaylistSection();
    void corruptJournalIsIgnored();
    void recoveryWriteFailureKeepsJournal();
    void liveWritersJournalIsNotOffered();
    void openStretchIsKeptWithThePlace();
};

void TestJournal::writtenWhilePlayingAndAtPause()
{
    TestProgram run;
    TForm1 *f = run.start();
    ResumeJournal *journal = journalOf(f);
    QVERIFY(journal);
    QCOMPARE(journal->timer()->interval(), 5000);
    QVERIFY(journal->timer()->isActive());
    QCOMPARE(journal->path(), run.file(kJournal));

    // Nothing loaded: nothing written.
    journal->tick();
    QVERIFY(!run.exists(kJournal));
    // Loading, not yet playing: nothing either.
    f->OpenFile(QStringLiteral("/media/talk.mp4"));
    journal->tick();
    QVERIFY(!run.exists(kJournal));

    run.player()->advance(3.25);
    journal->tick();
    QCOMPARE(journalRecord(run), (ResumeJournal::Record{QStringLiteral("/media/talk.mp4"), 3.25}));

    // A pause is written at once, without waiting for the timer.
    run.player()->advance(4);
    run.player()->pause();
    QCOMPARE(journalRecord(run)->second, 7.25);
    // A place moved while paused (no tick runs) is written a moment later.
    run.player()->setCurrentPosition(20);
    run.player()->setCurrentPosition(30);
    QCOMPARE(journalRecord(run)->second, 7.25);
    QTRY_COMPARE(journalRecord(run)->second, 30.0);

    // Stopped: the last place stays as it was.
    run.player()->stop();
    journal->tick();
    QCOMPARE(journalRecord(run)->second, 30.0);

    // The timer itself drives the writes.
    run.player()->play();
    run.player()->advance(1);
    journal->timer()->setInterval(20);
    QTRY_COMPARE(journalRecord(run)->second, 1.0);
}

void TestJournal::notRewrittenWhenNothingChanged()
{
    TestProgram run;
    TForm1 *f = run.start({QStringLiteral("/media/a.mp3")});
    ResumeJournal *journal = journalOf(f);
    run.player()->advance(10);
    run.player()->pause();
    QCOMPARE(journalRecord(run)->second, 10.0);

    // A marker in the file shows whether it is written again.
    const QByteArray marker = ResumeJournal::encode({QStringLiteral("/marker"), 1.0});
    run.writeFile(kJournal, marker);
    journal->tick();
    journal->tick();
    QCOMPARE(run.readFile(kJournal), marker);

    // A change of position is written.
    f->N10C1Click();
    journal->tick();
    QCOMPARE(journalRecord(run), (ResumeJournal::Record{QStringLiteral("/media/a.mp3"), 20.0}));

    // A journal removed from outside (another instance's close) comes back.
    QFile::remove(run.file(kJournal));
    journal->tick();
    QCOMPARE(journalRecord(run)->second, 20.0);
}

void TestJournal::allowedCloseRemovesRefusedCloseKeeps()
{
    TestProgram run;
    TForm1 *f = run.start({QStringLiteral("/media/a.mp3")});
    ResumeJournal *journal = journalOf(f);
    run.player()->advance(30);
    journal->tick();
    QVERIFY(run.exists(kJournal));

    // Refused: the journal stays and goes on being written.
    f->X2->trigger();
    QVERIFY(!f->close());
    QVERIFY(run.exists(kJournal));
    run.player()->advance(5);
    journal->tick();
    QCOMPARE(journalRecord(run)->second, 35.0);

    // Allowed: the close query's own record, and no journal.
    f->X2->trigger();
    QVERIFY(f->close());
    QVERIFY(!run.exists(kJournal));
    QCOMPARE(resumeValue(run, "Resume", "Second"), QStringLiteral("35"));
    // Nothing is written after the close, even if the player plays again.
    run.player()->setURL(QStringLiteral("/media/b.mp3"));
    run.player()->advance(2);
    journal->tick();
    run.player()->pause();
    QVERIFY(!run.exists(kJournal));
    run.end();

    // The menu's exit, which saves no position, removes it as well.
    TForm1 *g = run.start({QStringLiteral("/media/a.mp3")});
    run.player()->advance(4);
    journalOf(g)->tick();
    QVERIFY(run.exists(kJournal));
    g->X1Click();
    QVERIFY(!g->isVisible());
    QVERIFY(!run.exists(kJournal));
    QVERIFY(!run.exists(QStringLiteral("Resume.ini")));
    run.end();

    // A normal exit leaves a next start without a notice.
    run.dialogs.shown.clear();
    run.start();
    QVERIFY(run.dialogs.shown.isEmpty());
}

void TestJournal::recoveredAtNextStart()
{
    TestProgram run;
    run.preparePlayer = [](FakePlayer *p) { p->setDefaultDuration(30 * 3600); };
    // An older record that the crash makes stale.
    run.writeFile(QStringLiteral("Resume.ini"), "[Resume]\r\nFileName=/old.mp3\r\nSecond=5\r\n");
    const QString file = QStringLiteral("/録音/夜の講義.mp3");
    crashWhilePlaying(run, file, 25 * 3600 + 60 + 1.5, true);
    QVERIFY(run.exists(kJournal));

    run.dialogs.shown.clear();
    TForm1 *f = run.start();
    QCOMPARE(run.dialogs.shown.size(), 1);
    QCOMPARE(run.dialogs.shown.first().caption,
             QStringLiteral("レジューム可能なファイルがあります"));
    QVERIFY(run.dialogs.shown.first().text.contains(QStringLiteral("夜の講義.mp3（25:01:01～）")));
    QVERIFY(!run.exists(kJournal));
    QVERIFY(f->P1->isEnabled());
    QCOMPARE(resumeValue(run, "Resume", "FileName"), file);
    QVERIFY(run.readFile(QStringLiteral("Resume.ini")).contains("Second=90061.5\r\n"));

    // The resume command continues there, fraction included.
    f->P1Click();
    QCOMPARE(run.player()->url(), file);
    QCOMPARE(run.player()->currentPosition(), 90061.5);
}

void TestJournal::recoveryKeepsPlaylistSection()
{
    TestProgram run;
    run.writeFile(QStringLiteral("Resume.ini"),
                  "[Playlist]\r\nEnabled=1\r\nIndex=2\r\n[Resume]\r\nFileName=/old.mp3\r\n"
                  "Second=5\r\n");
    crashWhilePlaying(run, QStringLiteral("/list/2.mp3"), 42, false);
    run.start();
    QCOMPARE(run.readFile(QStringLiteral("Resume.ini")),
             QByteArray("[Playlist]\r\nEnabled=1\r\nIndex=2\r\n[Resume]\r\nFileName=/list/2.mp3\r\n"
                        "Second=42\r\n"));
    QVERIFY(!run.exists(kJournal));
    run.end();

    // Without a resume file the journal makes one with just the record.
    QFile::remove(run.file(QStringLiteral("Resume.ini")));
    crashWhilePlaying(run, QStringLiteral("/a.mp3"), 7, false);
    run.start();
    QCOMPARE(run.readFile(QStringLiteral("Resume.ini")),
             QByteArray("[Resume]\r\nFileName=/a.mp3\r\nSecond=7\r\n"));
}

void TestJournal::corruptJournalIsIgnored()
{
    const QByteArray record = "[Resume]\r\nFileName=/kept.mp3\r\nSecond=12\r\n";
    const QList<QByteArray> corrupt = {
        QByteArray(),
        QByteArray("{\"pelmora-resume-jou"), // cut short
        QByteArray("\xff\xfe garbage \x00\x01", 14),
        QByteArray("[1,2,3]"),
        QByteArray("{\"pelmora-resume-journal\":1,\"FileName\":\"/x\",\"Second\":\"12\"}"),
        QByteArray("{\"pelmora-resume-journal\":1,\"FileName\":\"/x\",\"Second\":-3}"),
        QByteArray("{\"pelmora-resume-journal\":1,\"Second\":3}"),
        QByteArray("{\"FileName\":\"/x\",\"Second\":3}"),
    };
    for (const QByteArray &bytes : corrupt) {
        TestProgram run;
        run.writeFile(QStringLiteral("Resume.ini"), record);
        run.writeFile(kJournal, bytes);
        TForm1 *f = run.start();
        QCOMPARE(run.readFile(QStringLiteral("Resume.ini")), record);
        QVERIFY(!run.exists(kJournal));
        QCOMPARE(run.dialogs.shown.size(), 1);
        QVERIFY(run.dialogs.shown.first().text.contains(QStringLiteral("kept.mp3（00:00:12～）")));
        QVERIFY(f->P1->isEnabled());
    }
    // Without a resume file a corrupt journal creates none.
    TestProgram run;
    run.writeFile(kJournal, "not a journal");
    TForm1 *f = run.start();
    QVERIFY(!run.exists(QStringLiteral("Resume.ini")));
    QVERIFY(run.dialogs.shown.isEmpty());
    QVERIFY(!f->P1->isEnabled());
}

void TestJournal::recoveryWriteFailureKeepsJournal()
{
    TestProgram run;
    run.writeFile(QStringLiteral("Resume.ini"), "[Resume]\r\nFileName=/old.mp3\r\nSecond=5\r\n");
    crashWhilePlaying(run, QStringLiteral("/new.mp3"), 9, true);
    QFile::setPermissions(run.file(QStringLiteral("Resume.ini")),
                          QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    run.dialogs.shown.clear();
    run.start();
    // The failure reaches the default error display; the old record is
    // offered, and the journal stays for the next start.
    QCOMPARE(run.dialogs.shown.size(), 2);
    QCOMPARE(run.dialogs.shown.at(0).caption, QStringLiteral("pelmora"));
    QCOMPARE(run.dialogs.shown.at(0).text,
             run.file(QStringLiteral("Resume.ini")) + QStringLiteral(" に書き込めません."));
    QVERIFY(run.dialogs.shown.at(1).text.contains(QStringLiteral("old.mp3（00:00:05～）")));
    QVERIFY(run.exists(kJournal));
    QCOMPARE(journalRecord(run)->fileName, QStringLiteral("/new.mp3"));
}

void TestJournal::liveWritersJournalIsNotOffered()
{
    TestProgram run;
    const QString first = run.file(kJournal);
    const QString resume = run.file(QStringLiteral("Resume.ini"));
    auto playing = [](const QString &name, double at) {
        return [name, at] { return std::optional(ResumeJournal::Record{name, at}); };
    };
    {
        // A plays; B, started meanwhile, writes a journal of its own and
        // offers nothing of A's.
        ResumeJournal a(first);
        a.setSource(playing(QStringLiteral("/a.mp3"), 30));
        a.tick();
        ResumeJournal b(first);
        QCOMPARE(b.path(), run.file(QStringLiteral("Resume-2.journal")));
        QVERIFY(!b.recover(resume));
        QVERIFY(!run.exists(QStringLiteral("Resume.ini")));
        QCOMPARE(journalRecord(run)->fileName, QStringLiteral("/a.mp3"));
        b.setSource(playing(QStringLiteral("/b.mp3"), 4));
        b.tick();
        b.remove();
        QVERIFY(run.exists(kJournal));
    }
    // A program killed while it held a journal leaves its lock behind, with
    // the number of a process that is gone: the next start offers its place.
    QFile::remove(first);
    const pid_t child = fork();
    if (child == 0) {
        ResumeJournal killed(first);
        killed.setSource(playing(QStringLiteral("/killed.mp3"), 12.5));
        killed.tick();
        ::raise(SIGKILL);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(run.exists(kJournal + QStringLiteral(".lock")));
    ResumeJournal c(first);
    QCOMPARE(c.path(), first);
    QVERIFY(c.recover(resume));
    QCOMPARE(resumeValue(run, "Resume", "FileName"), QStringLiteral("/killed.mp3"));
    QCOMPARE(resumeValue(run, "Resume", "Second"), QStringLiteral("12.5"));
    QVERIFY(!run.exists(kJournal));
}

// The study log's stretch still playing is kept with each place the
// journal's ticks keep: a crash costs at most one tick of it, and each tick
// replaces what the one before kept.
void TestJournal::openStretchIsKeptWithThePlace()
{
    TestProgram run;
    TForm1 *f = run.start({QStringLiteral("/media/lecture.mp3")});
    run.player()->finishLoading();
    auto play = [&run](int seconds) {
        for (int i = 0; i < seconds; ++i) {
            run.clock.time = run.clock.time.addSecs(1);
            run.player()->advance(1);
        }
    };
    run.player()->advance(0); // the stretch opens now
    auto kept = [&run] { return HistoryStore(run.file(QStringLiteral("History.db"))).stretches(); };
    play(30);
    journalOf(f)->timer()->setInterval(20);
    QTRY_COMPARE(kept().size(), 1);
    QCOMPARE(kept().first().end, 30.0);
    QCOMPARE(kept().first().wallEndMs - kept().first().wallStartMs, 30000);
    play(10);
    QTRY_COMPARE(kept().first().end, 40.0);
    QCOMPARE(kept().first().wallEndMs - kept().first().wallStartMs, 40000);
    QCOMPARE(kept().size(), 1);
    // Ended by a pause: the same stretch, whole, once.
    run.player()->pause();
    QCOMPARE(kept().size(), 1);
    QCOMPARE(kept().first().wallEndMs - kept().first().wallStartMs, 40000);
}

QTEST_MAIN(TestJournal)
#include "tst_journal.moc"
