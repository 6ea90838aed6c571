// SPDX-License-Identifier: GPL-3.0-or-later
// The libmpv engine's own surface: the mouse and keys on the video area, its
// control bar and the enabled switch, and video detection.
#include "persist/LocalNames.h"
#include "player/EngineMemory.h"
#include "player/MpvPlayer.h"
#include "support/TestMedia.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <QtEndian>

#include <atomic>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#if defined(__GLIBC__)
#include <sys/resource.h>
#endif

namespace
{

void wheel(QWidget *target, int delta)
{
    const QPointF at(5, 5);
    QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

void putText(const QString &path, const QByteArray &text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

} // namespace

class PlayerEngine : public QObject
{
    Q_OBJECT

private:
    QWidget *videoArea() { return m_player->findChild<QWidget *>(QStringLiteral("videoArea")); }
    QToolButton *button(const char *name)
    {
        return m_player->findChild<QToolButton *>(QString::fromLatin1(name));
    }
    void loadAndPlay()
    {
        m_player->setURL(m_audio);
        QTRY_COMPARE_WITH_TIMEOUT(m_player->playState(), int(MediaPlayer::Playing), 5000);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_audio = m_dir.filePath(QStringLiteral("quiet.wav"));
        QVERIFY(writeTestWav(m_audio, 30));
    }
    void init()
    {
        // Video asked for: on the offscreen platform there is no OpenGL, so
        // this must come up without video rather than crash.
        m_player = std::make_unique<MpvPlayer>(nullptr, MpvPlayer::Options{true, false});
        m_player->resize(400, 300);
        m_player->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_player.get()));
    }
    void cleanup() { m_player.reset(); }

    // The engine takes a block of several MiB (the probe's buffer) on a new
    // thread at each open and frees it, and starts the threads that play in
    // between: the next open must get those pages back, not fresh ones that
    // fault in one by one (some 30 ms an open on a virtual machine).
    void largeBlockOfAnEndedThreadIsReused()
    {
#if !defined(__GLIBC__) || defined(__SANITIZE_ADDRESS__)
        QSKIP("measured with glibc's own allocator only");
#else
        constexpr std::size_t size = 10 << 20;
        auto faultsOfAnOpen = [] {
            long faults = -1;
            std::thread([&faults] {
                rusage before{}, after{};
                getrusage(RUSAGE_THREAD, &before);
                void *block = std::malloc(size);
                if (!block) return;
                std::memset(block, 1, size);
                // Not to be optimised away: the pages must be touched.
                asm volatile("" : : "r"(block) : "memory");
                getrusage(RUSAGE_THREAD, &after);
                std::free(block);
                faults = after.ru_minflt - before.ru_minflt;
            }).join();
            return faults;
        };
        QVERIFY(faultsOfAnOpen() >= 0);
        // A thread that plays: it lives on with what it took.
        std::atomic<bool> stop{false}, started{false};
        std::thread playing([&] {
            std::unique_ptr<char[]> frame(new char[64 << 10]);
            started = true;
            while (!stop)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        while (!started)
            std::this_thread::yield();
        const long again = faultsOfAnOpen();
        stop = true;
        playing.join();
        QVERIFY2(again >= 0 && again < long(size / 4096 / 8),
                 qPrintable(QStringLiteral("%1 page faults").arg(again)));
#endif
    }

    void noOpenGlMeansNoVideoSurface()
    {
        QVERIFY(!m_player->showsVideo());
        QVERIFY(videoArea());
        loadAndPlay();
        QVERIFY(!m_player->hasVideo());
    }

    void mouseOnVideoReportsButtonsEvenWhenDisabled()
    {
        QSignalSpy clicks(m_player.get(), &MediaPlayer::clicked);
        QTest::mousePress(videoArea(), Qt::LeftButton, {}, QPoint(10, 20));
        QTest::mouseRelease(videoArea(), Qt::LeftButton, {}, QPoint(10, 20));
        m_player->setPlayerEnabled(false);
        QTest::mousePress(videoArea(), Qt::RightButton, Qt::ShiftModifier | Qt::ControlModifier,
                          QPoint(30, 40));
        QTest::mouseRelease(videoArea(), Qt::RightButton, {}, QPoint(30, 40));
        QTest::mousePress(videoArea(), Qt::MiddleButton, Qt::AltModifier, QPoint(1, 2));
        QTest::mouseRelease(videoArea(), Qt::MiddleButton, {}, QPoint(1, 2));
        // The left click waits for the double-click interval: it comes last.
        QTRY_COMPARE(clicks.size(), 3);
        QCOMPARE(clicks[0], (QVariantList{2, 3, 30.0, 40.0}));
        QCOMPARE(clicks[1], (QVariantList{4, 4, 1.0, 2.0}));
        QCOMPARE(clicks[2], (QVariantList{1, 0, 10.0, 20.0}));
    }

    // A double-click goes to full screen and is no click: the medium is not
    // paused or resumed by it.
    void doubleClickIsNoClick()
    {
        QSignalSpy clicks(m_player.get(), &MediaPlayer::clicked);
        QSignalSpy fullScreen(m_player.get(), &MediaPlayer::fullScreenRequested);
        QTest::mouseDClick(videoArea(), Qt::LeftButton, {}, QPoint(10, 20));
        QTest::qWait(QApplication::doubleClickInterval() + 100);
        QCOMPARE(fullScreen.size(), 1);
        QVERIFY(clicks.isEmpty());
    }

    void disabledIgnoresTheUser()
    {
        loadAndPlay();
        m_player->setVolume(50);
        m_player->setPlayerEnabled(false);
        QVERIFY(!m_player->playerEnabled());
        QSignalSpy fullScreen(m_player.get(), &MediaPlayer::fullScreenRequested);
        QTest::mouseClick(button("pauseButton"), Qt::LeftButton);
        QTest::mouseClick(button("stopButton"), Qt::LeftButton);
        wheel(videoArea(), 240);
        QTest::mouseDClick(videoArea(), Qt::LeftButton);
        QTest::keyClick(videoArea(), Qt::Key_Escape);
        QTest::qWait(100);
        QCOMPARE(m_player->playState(), int(MediaPlayer::Playing));
        QCOMPARE(m_player->volume(), 50);
        QVERIFY(fullScreen.isEmpty());
    }

    void enabledReactsToTheUser()
    {
        loadAndPlay();
        m_player->setVolume(50);
        QSignalSpy fullScreen(m_player.get(), &MediaPlayer::fullScreenRequested);
        QTest::mouseClick(button("pauseButton"), Qt::LeftButton);
        QCOMPARE(m_player->playState(), int(MediaPlayer::Paused));
        QTest::mouseClick(button("playButton"), Qt::LeftButton);
        QCOMPARE(m_player->playState(), int(MediaPlayer::Playing));
        QTest::mouseClick(button("stopButton"), Qt::LeftButton);
        QCOMPARE(m_player->playState(), int(MediaPlayer::Stopped));
        QVERIFY(m_player->hasCurrentMedia());

        wheel(videoArea(), 240);
        QCOMPARE(m_player->volume(), 60);
        wheel(videoArea(), -120);
        QCOMPARE(m_player->volume(), 55);
        m_player->setVolume(98);
        wheel(videoArea(), 120);
        QCOMPARE(m_player->volume(), 100);

        QTest::mouseDClick(videoArea(), Qt::LeftButton);
        QTest::keyClick(videoArea(), Qt::Key_Escape);
        QCOMPARE(fullScreen.size(), 2);
        QCOMPARE(fullScreen[0].at(0).toBool(), true);
        QCOMPARE(fullScreen[1].at(0).toBool(), false);
    }

    void controlBarShowsTheMedium()
    {
        auto *time = m_player->findChild<QLabel *>(QStringLiteral("timeLabel"));
        auto *seek = m_player->findChild<QAbstractSlider *>(QStringLiteral("seekSlider"));
        auto *volume = m_player->findChild<QAbstractSlider *>(QStringLiteral("volumeSlider"));
        QVERIFY(time && seek && volume);
        m_player->setVolume(42);
        QCOMPARE(volume->value(), 42);
        loadAndPlay();
        m_player->setCurrentPosition(75.0 / 10);
        QTRY_COMPARE_WITH_TIMEOUT(time->text().left(4), QStringLiteral("0:07"), 2000);
        QVERIFY(time->text().endsWith(QStringLiteral(" / 0:30")));
        QVERIFY(seek->isEnabled());
        // The user moving the volume slider sets the volume.
        volume->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(m_player->volume(), 52);
        m_player->closeMedia();
        QCOMPARE(time->text(), QStringLiteral("0:00 / 0:00"));
        QVERIFY(!seek->isEnabled());
    }

    void videoTrackIsDetected()
    {
        const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
        if (ffmpeg.isEmpty()) QSKIP("ffmpeg is not installed");
        const QString video = m_dir.filePath(QStringLiteral("bars.mkv"));
        QProcess make;
        make.start(ffmpeg,
                   {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                    QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                    QStringLiteral("testsrc=size=64x48:rate=10"), QStringLiteral("-t"),
                    QStringLiteral("3"), QStringLiteral("-c:v"), QStringLiteral("mpeg4"), video});
        QVERIFY(make.waitForFinished(30000));
        QCOMPARE(make.exitCode(), 0);
        m_player->setURL(video);
        QTRY_COMPARE_WITH_TIMEOUT(m_player->playState(), int(MediaPlayer::Playing), 5000);
        QVERIFY(m_player->hasVideo());
        m_player->closeMedia();
        QVERIFY(!m_player->hasVideo());
    }

    // mpv would replace a playlist file by its entries and play them on its
    // own, with the player reporting nothing loaded.
    // The engine reads nothing of the user's own mpv set-up: no mpv.conf, no
    // scripts.
    void userMpvConfigurationIsNotRead()
    {
        m_player.reset();
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const QString mpvDir = home.filePath(QStringLiteral("mpv"));
        QVERIFY(QDir().mkpath(mpvDir + QStringLiteral("/scripts")));
        const QString ran = home.filePath(QStringLiteral("script-ran"));
        putText(mpvDir + QStringLiteral("/mpv.conf"), "speed=2\nvolume-max=200\n");
        putText(mpvDir + QStringLiteral("/scripts/probe.lua"),
                QStringLiteral("io.open('%1', 'w'):write('x')\n").arg(ran).toUtf8());
        const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
        const QByteArray oldHome = qgetenv("MPV_HOME");
        qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
        qputenv("MPV_HOME", mpvDir.toLocal8Bit());
        m_player = std::make_unique<MpvPlayer>(nullptr, MpvPlayer::headless());
        loadAndPlay();
        QTest::qWait(700);
        const double start = m_player->currentPosition();
        QTest::qWait(1000);
        const double moved = m_player->currentPosition() - start;
        qputenv("XDG_CONFIG_HOME", oldConfig);
        qputenv("MPV_HOME", oldHome);
        QVERIFY2(moved > 0.6 && moved < 1.5, qPrintable(QString::number(moved)));
        QVERIFY(!QFile::exists(ran));
    }

    // The surface says why a medium did not play, and which one, until the
    // next medium loads; an audio medium shows its name.
    void surfaceTellsWhyAndWhich()
    {
        const QString garbage = m_dir.filePath(QStringLiteral("noise.mp4"));
        putText(garbage, QByteArray(4096, '\x5a'));
        const struct {
            QString name;
            QString shown;
            const char *message;
        } cases[] = {
            {m_dir.filePath(QStringLiteral("gone.mp3")), QStringLiteral("gone.mp3"),
             "ファイルが見つかりません"},
            {QStringLiteral("av://lavfi:sine"), QStringLiteral("av://lavfi:sine"),
             "この種類の名前は開けません"},
            {garbage, QStringLiteral("noise.mp4"), "再生できない形式です"},
            {m_dir.path(), QFileInfo(m_dir.path()).fileName(), "ファイルを読み込めません"},
        };
        auto *card = m_player->findChild<QLabel *>(QStringLiteral("cardMessage"));
        auto *name = m_player->findChild<QLabel *>(QStringLiteral("cardName"));
        QVERIFY(card && name);
        for (const auto &c : cases) {
            QSignalSpy errors(m_player.get(), &MediaPlayer::error);
            m_player->setURL(c.name);
            QTRY_VERIFY_WITH_TIMEOUT(!errors.isEmpty(), 5000);
            QCOMPARE(card->text(), QString::fromUtf8(c.message));
            QCOMPARE(name->text(), c.shown);
        }
        loadAndPlay();
        QVERIFY(card->isHidden());
        QCOMPARE(name->text(), QStringLiteral("quiet.wav"));
        m_player->closeMedia();
        QVERIFY(name->isHidden());
    }

    // At 2x the position moves about 2 s a second, through the engine's
    // time-stretching filter (the pitch is kept); at 1x the filter goes.
    void speedKeepsThePitch()
    {
        loadAndPlay();
        m_player->setSpeed(2.0);
        QCOMPARE(m_player->speed(), 2.0);
        QVERIFY2(m_player->engineProperty("af").contains(QStringLiteral("scaletempo2")),
                 qPrintable(m_player->engineProperty("af")));
        QTest::qWait(400);
        const double before = m_player->currentPosition();
        QElapsedTimer clock;
        clock.start();
        QTest::qWait(1500);
        const double rate = (m_player->currentPosition() - before) / (clock.elapsed() / 1000.0);
        QVERIFY2(rate > 1.7 && rate < 2.3, qPrintable(QString::number(rate)));
        m_player->setSpeed(1.0);
        QVERIFY(!m_player->engineProperty("af").contains(QStringLiteral("scaletempo2")));
        m_player->setSpeed(7.0);
        QCOMPARE(m_player->speed(), 3.0);
    }

    // The engine starts late: what the start-up sets before then (the volume
    // from the settings, the speed, mute) is what it plays with.
    void settingsBeforeTheEngineStartsAreKept()
    {
        QVERIFY(!m_player->engineRunning());
        m_player->setVolume(30);
        m_player->setMuted(true);
        m_player->setSpeed(1.5);
        QVERIFY(!m_player->engineRunning());
        loadAndPlay();
        QCOMPARE(m_player->engineProperty("volume").toDouble(), 30.0);
        QCOMPARE(m_player->engineProperty("mute"), QStringLiteral("yes"));
        QCOMPARE(m_player->engineProperty("speed").toDouble(), 1.5);
        QVERIFY(m_player->engineProperty("af").contains(QStringLiteral("scaletempo2")));
    }

    // A file whose name is code page 932 bytes (no UTF-8) plays: the engine
    // gets the name's own bytes.
    void nameThatIsNoUtf8Plays()
    {
        const QByteArray dir = QFile::encodeName(m_dir.path());
        const QByteArray name = dir + "/\x8d\x75\x8b\x60.wav";
        QVERIFY(::rename(QFile::encodeName(m_audio).constData(), name.constData()) == 0);
        const QString held = localNameFromBytes(name);
        m_player->setURL(held);
        QTRY_COMPARE_WITH_TIMEOUT(m_player->playState(), int(MediaPlayer::Playing), 5000);
        QVERIFY(m_player->duration() > 29);
        m_player->closeMedia();
        QVERIFY(::rename(name.constData(), QFile::encodeName(m_audio).constData()) == 0);
    }

    // Chapters and tracks as the medium names them, a subtitle file beside
    // it included; choosing one switches to it.
    void chaptersAndTracks()
    {
        const QString clip = m_dir.filePath(QStringLiteral("book.mkv"));
        const QString meta = m_dir.filePath(QStringLiteral("chapters.txt"));
        putText(meta, ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=10000\ntitle=序章\n"
                      "[CHAPTER]\nTIMEBASE=1/1000\nSTART=10000\nEND=20000\ntitle=第一章\n"
                      "[CHAPTER]\nTIMEBASE=1/1000\nSTART=20000\nEND=30000\ntitle=第二章\n");
        putText(m_dir.filePath(QStringLiteral("book.srt")),
                "1\n00:00:01,000 --> 00:00:05,000\nこんにちは\n");
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"), {"-loglevel",
                                                "error",
                                                "-y",
                                                "-f",
                                                "lavfi",
                                                "-i",
                                                "sine=f=300:d=30",
                                                "-f",
                                                "lavfi",
                                                "-i",
                                                "sine=f=500:d=30",
                                                "-i",
                                                meta,
                                                "-map",
                                                "0:a",
                                                "-map",
                                                "1:a",
                                                "-map_metadata",
                                                "2",
                                                "-metadata:s:a:0",
                                                "language=jpn",
                                                "-metadata:s:a:1",
                                                "language=eng",
                                                "-metadata:s:a:1",
                                                "title=Commentary",
                                                "-c:a",
                                                "pcm_s16le",
                                                clip});
        QVERIFY(ffmpeg.waitForFinished(30000) && ffmpeg.exitCode() == 0);
        m_player->setURL(clip);
        QTRY_COMPARE_WITH_TIMEOUT(m_player->playState(), int(MediaPlayer::Playing), 5000);
        QTRY_COMPARE(m_player->chapters().size(), 3);
        QCOMPARE(m_player->chapters().at(1).title, QStringLiteral("第一章"));
        QCOMPARE(m_player->chapters().at(2).time, 20.0);
        QTRY_COMPARE(m_player->tracks().size(), 3);
        QStringList seen;
        for (const MediaPlayer::Track &t : m_player->tracks())
            seen << QStringLiteral("%1 %2 %3 %4")
                        .arg(t.type == MediaPlayer::Track::Audio ? "audio" : "sub")
                        .arg(t.language, t.title)
                        .arg(t.external ? "beside" : "inside");
        QVERIFY2(seen.contains(QStringLiteral("audio jpn  inside")), qPrintable(seen.join('|')));
        QVERIFY2(seen.contains(QStringLiteral("audio eng Commentary inside")),
                 qPrintable(seen.join('|')));
        QVERIFY2(seen.contains(QStringLiteral("sub  book.srt beside")), qPrintable(seen.join('|')));
        m_player->setCurrentChapter(2);
        QTRY_VERIFY(m_player->currentPosition() >= 20.0 && m_player->currentPosition() < 22.0);
        QTRY_COMPARE(m_player->currentChapter(), 2);
        m_player->selectTrack(MediaPlayer::Track::Audio, 2);
        QTRY_COMPARE(m_player->engineProperty("aid"), QStringLiteral("2"));
        m_player->selectTrack(MediaPlayer::Track::Subtitle, 0);
        QTRY_COMPARE(m_player->engineProperty("sid"), QStringLiteral("no"));
    }

    // The subtitle file beside a medium is added once the medium has
    // started, also when it was opened stopped and never plays.
    void subtitleFileOfAMediumOpenedStopped()
    {
        const QString clip = m_dir.filePath(QStringLiteral("held.wav"));
        QVERIFY(QFile::copy(m_audio, clip));
        putText(m_dir.filePath(QStringLiteral("held.srt")),
                "1\n00:00:01,000 --> 00:00:02,000\nはい\n");
        m_player->setURL(clip);
        m_player->stop();
        QTRY_COMPARE_WITH_TIMEOUT(m_player->tracks().size(), 2, 5000);
        QCOMPARE(m_player->playState(), int(MediaPlayer::Stopped));
        QVERIFY(m_player->tracks().constLast().external);
    }

    // The menu key opens the context menu, so every command is reachable
    // from the keyboard; not while the controls are locked.
    void menuKeyOpensTheContextMenu()
    {
        loadAndPlay();
        m_player->setPlayerEnabled(false);
        QTest::keyClick(m_player.get(), Qt::Key_Menu);
        QVERIFY(!m_player->findChild<QMenu *>(QStringLiteral("contextMenu")));
        m_player->setPlayerEnabled(true);
        QTest::keyClick(m_player.get(), Qt::Key_Menu);
        QMenu *menu = m_player->findChild<QMenu *>(QStringLiteral("contextMenu"));
        QVERIFY(menu && menu->isVisible());
        // Every item has a mnemonic.
        QStringList captions;
        for (QAction *a : menu->actions()) {
            if (a->isSeparator()) continue;
            captions << a->text();
            QVERIFY2(a->text().contains(QRegularExpression(QStringLiteral("\\(&[A-Z]\\)"))),
                     qPrintable(a->text()));
        }
        QVERIFY(captions.contains(QStringLiteral("スリープタイマー(&Z)")));
        menu->close();
    }

    void playlistFileIsNoMedium()
    {
        const QString list = m_dir.filePath(QStringLiteral("list.m3u"));
        QFile file(list);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#EXTM3U\n" + m_audio.toUtf8() + "\n");
        file.close();
        QSignalSpy errors(m_player.get(), &MediaPlayer::error);
        m_player->setURL(list);
        QTRY_COMPARE_WITH_TIMEOUT(errors.size(), 1, 5000);
        QVERIFY(!m_player->hasCurrentMedia());
        QTest::qWait(500);
        QCOMPARE(m_player->playState(), int(MediaPlayer::Undefined));
        loadAndPlay();
        QCOMPARE(errors.size(), 1);
    }

    // The study log counts the time the medium really plays: a 3 s clip
    // opened and played whole spends about 3 s, its loading none.
    void timeSpentIsTimePlayed()
    {
        const QString clip = m_dir.filePath(QStringLiteral("three.wav"));
        QVERIFY(writeTestWav(clip, 3.0));
        double wall = 0.0, content = 0.0;
        connect(m_player.get(), &MediaPlayer::stretchPlayed, this, [&](const Stretch &s) {
            wall += (s.wallEndMs - s.wallStartMs) / 1000.0;
            content += s.end - s.start;
        });
        m_player->setURL(clip);
        QTRY_VERIFY_WITH_TIMEOUT(m_player->playState() == MediaPlayer::Stopped, 10000);
        QVERIFY2(content > 2.5 && content <= 3.05, qPrintable(QString::number(content)));
        QVERIFY2(wall < content + 0.3,
                 qPrintable(QStringLiteral("%1 s for %2 s played").arg(wall).arg(content)));
    }

private:
    QTemporaryDir m_dir;
    QString m_audio;
    std::unique_ptr<MpvPlayer> m_player;
};

int main(int argc, char **argv)
{
    keepEngineMemory(); // as the program does, before any thread starts
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    PlayerEngine test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_player_engine.moc"
