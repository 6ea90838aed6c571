// SPDX-License-Identifier: GPL-3.0-or-later
// The session of the recording loaded, on its own: the player double, the
// program's directory in a temporary folder, no window.
#include "app/MediumSession.h"
#include "persist/CloseSteps.h"
#include "persist/HistoryStore.h"
#include "persist/IniFile.h"
#include "persist/SettingsKeys.h"
#include "persist/StudyLog.h"
#include "support/FakePlayer.h"
#include "support/TestServices.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace
{

class Context : public HandlerContext
{
public:
    explicit Context(Dialogs *dialogs) : m_dialogs(dialogs) {}
    Dialogs *handlerDialogs() const override { return m_dialogs; }
    QWidget *handlerParent() const override { return nullptr; }
    QString handlerProgramName() const override { return QStringLiteral("pelmora"); }

private:
    Dialogs *m_dialogs;
};

// A session over a player double in a program directory of its own.
struct Bench {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    FixedClock clock;
    Context context{&dialogs};
    FakePlayer player;
    std::unique_ptr<MediumSession> session;

    Bench()
    {
        player.setDefaultDuration(600);
        player.setRewindClock([this] { return clock.now().toMSecsSinceEpoch(); });
        restart();
    }
    // A new session in the same directory: the next run.
    void restart()
    {
        Services s;
        s.dialogs = &dialogs;
        s.clock = &clock;
        s.programDir = dir.path();
        session.reset();
        session = std::make_unique<MediumSession>(s, context, &player);
        session->takeGlobalPlayback();
    }
    // The place the place store keeps for a medium (nothing: none).
    std::optional<double> storedPlace(const QString &name) const
    {
        const std::optional<Place> place =
            HistoryStore(dir.filePath(QString::fromUtf8(kHistoryFile))).place(name);
        return place ? std::optional<double>(place->position) : std::nullopt;
    }
    void open(const QString &name)
    {
        session->open(name, MediumSession::Start::Playing);
        player.finishLoading();
    }
};

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void placeIsKeptAndOfferedWithOneReadPerOpen();
    void settingsFollowTheCourse();
    void closeRunsEachStepOnItsOwn();
    void aMissedOfferKeepsThePlace();
    void aGoneFileIsFoundByWhatItHeld();
    void aRecordingHeardToItsOutroStaysFinished();
};

// Opening another medium keeps the place of the one that goes; opened
// again, it offers that place; each open reads the store once.
void TestSession::placeIsKeptAndOfferedWithOneReadPerOpen()
{
    Bench b;
    b.open(QStringLiteral("/m/a.mp3"));
    b.player.advance(40);
    b.open(QStringLiteral("/m/b.mp3"));
    QCOMPARE(b.session->name(), QStringLiteral("/m/b.mp3"));
    QVERIFY(!b.player.offeredPlace());
    const int reads = b.session->storeReads();
    b.open(QStringLiteral("/m/a.mp3"));
    QCOMPARE(b.session->storeReads(), reads + 1);
    QCOMPARE(b.player.offeredPlace(), std::optional<double>(40.0));
    // The start-time path loads it stopped, without an offer.
    b.session->open(QStringLiteral("/m/b.mp3"), MediumSession::Start::Stopped);
    b.player.finishLoading();
    QVERIFY(!b.player.offeredPlace());
    QCOMPARE(b.player.playState(), int(MediaPlayer::Stopped));
}

// A speed set in one folder is its files' speed; a folder never played
// opens at the global speed; the resume command keeps the course too.
void TestSession::settingsFollowTheCourse()
{
    Bench b;
    b.open(QStringLiteral("/F/a.mp3"));
    b.player.setSpeed(1.7);
    b.open(QStringLiteral("/G/c.mp3"));
    QCOMPARE(b.player.speed(), 1.0);
    b.open(QStringLiteral("/F/b.mp3"));
    QCOMPARE(b.player.speed(), 1.7);
    QCOMPARE(b.session->folderSettings(QStringLiteral("/F")).speed, std::optional<double>(1.7));
    b.session->resume(QStringLiteral("/G/c.mp3"), 12.5);
    b.player.finishLoading();
    QCOMPARE(b.player.speed(), 1.0);
    QCOMPARE(b.player.currentPosition(), 12.5);
}

// A settings file that cannot be written fails its step alone: the resume
// record is still written, and the failure is told.
void TestSession::closeRunsEachStepOnItsOwn()
{
    Bench b;
    b.open(QStringLiteral("/m/a.mp3"));
    b.player.advance(30);
    Closing c;
    c.settingsPath = b.dir.path(); // a directory: no INI file can be written there
    c.resumePath = b.dir.filePath(QStringLiteral("Resume.ini"));
    c.playlistPath = b.dir.filePath(QStringLiteral("Playlist.txt"));
    c.volume = 50;
    c.playlist = {QStringLiteral("/m/a.mp3")};
    const QStringList failures = b.session->close(c);
    QVERIFY(!failures.isEmpty());
    const IniFile resume(c.resumePath);
    QCOMPARE(resume.readString(SettingsKeys::ResumeFileName), QStringLiteral("/m/a.mp3"));
    QCOMPARE(resume.readFloat(SettingsKeys::ResumeSecond), 30.0);
    QVERIFY(QFile::exists(c.playlistPath));
}

// A place offered and not taken is kept: played from the start, paused and
// closed, the place store keeps it (the resume record the position), and the
// next run offers it again, also beside the resume command, until it is
// taken and played past; dismissed, the position is kept at once.
void TestSession::aMissedOfferKeepsThePlace()
{
    Bench b;
    const QString a = QStringLiteral("/m/a.mp3"), other = QStringLiteral("/m/b.mp3");
    b.open(a);
    b.player.advance(446); // 07:26
    b.open(other);
    b.open(a);
    QCOMPARE(b.player.offeredPlace(), std::optional<double>(446));
    b.player.advance(1.5);
    b.player.pause();
    Closing c;
    c.settingsPath = b.dir.filePath(QStringLiteral("Pelmora.ini"));
    c.resumePath = b.dir.filePath(QStringLiteral("Resume.ini"));
    c.playlistPath = b.dir.filePath(QStringLiteral("Playlist.txt"));
    QVERIFY(b.session->close(c).isEmpty());
    QCOMPARE(IniFile(c.resumePath).readFloat(SettingsKeys::ResumeSecond), 1.5);
    QCOMPARE(b.storedPlace(a), std::optional<double>(446));

    b.restart();
    b.session->resume(a, 1.5);
    b.player.finishLoading();
    QCOMPARE(b.player.currentPosition(), 1.5);
    QCOMPARE(b.player.offeredPlace(), std::optional<double>(446));
    b.open(other);
    b.open(a);
    QVERIFY(b.player.takeOfferedPlace());
    QCOMPARE(b.player.currentPosition(), 446.0);
    b.player.advance(4); // past it: the position is the place
    b.player.pause();
    QCOMPARE(b.storedPlace(a), std::optional<double>(450));

    b.open(other);
    b.open(a);
    b.player.advance(20);
    b.player.pause();
    QCOMPARE(b.storedPlace(a), std::optional<double>(450));
    b.player.forgetOfferedPlace();
    QCOMPARE(b.storedPlace(a), std::optional<double>(20));
    b.open(other);
    b.open(a);
    QCOMPARE(b.player.offeredPlace(), std::optional<double>(20));
}

// A file that is gone is found again among the files of other folders by
// what it held, once the store has learnt it; one it never learnt is not
// looked for.
void TestSession::aGoneFileIsFoundByWhatItHeld()
{
    Bench b;
    const QDir dir(b.dir.path());
    QVERIFY(dir.mkpath(QStringLiteral("F")) && dir.mkpath(QStringLiteral("G")));
    const QString lecture = dir.filePath(QStringLiteral("F/第1回.mp4"));
    const QString moved = dir.filePath(QStringLiteral("G/lecture-01.mp4"));
    for (const auto &[path, fill] : {std::pair{lecture, 'a'}, std::pair{moved + ".other", 'b'}}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(200000, fill)));
    }
    // The same size, other bytes: not it.
    QVERIFY(QFile::copy(lecture, dir.filePath(QStringLiteral("G/same-size.mp4"))));
    {
        QFile file(dir.filePath(QStringLiteral("G/same-size.mp4")));
        QVERIFY(file.open(QIODevice::ReadWrite) && file.write("x") == 1);
    }
    b.open(lecture);
    b.player.advance(40);
    b.player.pause(); // the place is kept, and the store learns the file
    QVERIFY(QFile::rename(lecture, moved));

    QString found = QStringLiteral("none yet");
    b.session->findMoved(lecture,
                         {dir.filePath(QStringLiteral("F")), dir.filePath(QStringLiteral("G"))},
                         [&found](const QString &f) { found = f; });
    QTRY_COMPARE(found, moved);
    b.session->findMoved(dir.filePath(QStringLiteral("F/never.mp4")),
                         {dir.filePath(QStringLiteral("G"))},
                         [&found](const QString &f) { found = f; });
    QCOMPARE(found, QString());
}

// Heard to its folder's outro before any place of it was kept: finished, with
// its length (the share heard is known); a second played again from the
// start leaves it so; playing on beyond the margin is a place again, and it
// stays finished.
void TestSession::aRecordingHeardToItsOutroStaysFinished()
{
    Bench b;
    const QString a = QStringLiteral("/c/short.mp3");
    b.player.setMediaDuration(a, 40);
    KeptSettings outro;
    outro.outroSeconds = 15;
    b.session->keepFolderSettings(QStringLiteral("/c"), outro);
    b.open(a);
    b.player.advance(30);
    QCOMPARE(b.player.playState(), int(MediaPlayer::Stopped));
    const auto record = [&b, a] {
        const QList<MediumRecord> media =
            HistoryStore(b.dir.filePath(QString::fromUtf8(kHistoryFile))).media();
        return media.size() == 1 && media.first().name == a ? media.first() : MediumRecord{};
    };
    QCOMPARE(record().duration, 40.0);
    QVERIFY(!record().position);
    const QList<StudyMedium> log = studyMedia({Stretch{a, 0, 25, 0, 25000}}, {record()});
    QVERIFY(log.first().finished);
    QCOMPARE(log.first().share, 25.0 / 40.0);

    b.open(a);
    b.player.advance(1);
    b.player.pause();
    QVERIFY(!record().position);
    b.player.play();
    b.player.advance(12);
    b.player.pause();
    QCOMPARE(record().position, std::optional<double>(13));
    QVERIFY(studyMedia({Stretch{a, 0, 25, 0, 25000}}, {record()}).constFirst().finished);
}

QTEST_MAIN(TestSession)
#include "tst_session.moc"
