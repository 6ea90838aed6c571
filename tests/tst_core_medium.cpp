// SPDX-License-Identifier: GPL-3.0-or-later
// The medium's machine, fed event by event, without an engine: what it asks
// for and what it reports, in the orders the engine may take.
#include "player/MediumMachine.h"

#include <QTest>

namespace
{

using M = MediumMachine;
using medium::EndReason;
namespace ev = medium::events;
namespace cmd = medium::commands;

// The commands of one kind among those given.
template <class Kind> QList<Kind> only(const M::Commands &commands)
{
    QList<Kind> found;
    for (const M::Command &c : commands)
        if (const Kind *k = std::get_if<Kind>(&c)) found << *k;
    return found;
}

// The serial of the one seek among the commands; none unless there is one.
M::SeekSerial seekSent(const M::Commands &commands)
{
    const QList<cmd::SeekTo> seeks = only<cmd::SeekTo>(commands);
    return seeks.size() == 1 ? seeks.first().serial : M::SeekSerial{};
}

// The machine, fed what the caller, the component and the engine tell it,
// each step by its name.
class Machine : public MediumMachine
{
public:
    // The caller.
    Commands open() { return handle(ev::Open{}); }
    Commands openMissing() { return handle(ev::Open{.failure = Failure::NotFound}); }
    Commands play() { return handle(ev::Play{}); }
    Commands pause() { return handle(ev::Pause{}); }
    Commands stop() { return handle(ev::Stop{}); }
    Commands seekTo(double position) { return handle(ev::SetPosition{.position = position}); }
    // A seek with the end of the medium known (its length less an outro).
    Commands seekTo(double position, double end, medium::Origin origin = medium::Origin::Caller)
    {
        return handle(ev::SetPosition{.position = position, .origin = origin, .end = end});
    }

    // The component: passing a silence moves the position on its own.
    Commands passSilenceTo(double position)
    {
        return handle(ev::SetPosition{.position = position, .origin = medium::Origin::Own});
    }
    // The turn after the open, the engine's answer to the
    // load, the moment after the end.
    Commands startLoad() { return handle(ev::StartLoad{.generation = generation()}); }
    // A start of the load queued for the medium opened before this one.
    Commands startLoadOfTheMediumBefore()
    {
        return handle(ev::StartLoad{.generation = Generation{quint64(generation()) - 1}});
    }
    Commands loadSent(std::int64_t id) { return handle(ev::LoadSent{.id = id}); }
    Commands endSettles() { return handle(ev::EndSettled{.generation = generation()}); }

    // The engine.
    Commands fileStarts(std::int64_t id) { return handle(ev::FileStarted{.id = id}); }
    Commands fileLoads() { return handle(ev::FileLoaded{}); }
    Commands playbackRestarts() { return handle(ev::PlaybackRestart{}); }
    Commands seekQueued(SeekSerial serial)
    {
        return handle(ev::SeekReply{.serial = serial, .accepted = true});
    }
    Commands seekFailed(SeekSerial serial)
    {
        return handle(ev::SeekReply{.serial = serial, .accepted = false});
    }
    Commands fileEnds(std::int64_t id, EndReason reason)
    {
        return handle(ev::EndFile{.id = id, .reason = reason});
    }
    Commands reachesItsEnd() { return handle(ev::EofReached{}); }
    Commands shutsDown() { return handle(ev::Shutdown{}); }

    // A medium opened and loaded as the engine reports it, playing.
    void playing(std::int64_t id = 1)
    {
        open();
        startLoad();
        loadSent(id);
        fileStarts(id);
        fileLoads();
    }
};

} // namespace

class TestCoreMedium : public QObject
{
    Q_OBJECT

private slots:
    // A second medium replaces the first: the first one's end, and its end
    // of file, are not the second's.
    void aFileEndingAfterItWasReplaced()
    {
        Machine m;
        m.playing(1);
        QCOMPARE(m.state(), int(M::Playing));
        m.open();
        m.startLoad();
        m.loadSent(2);
        QVERIFY(m.fileEnds(1, EndReason::Stop).isEmpty());
        QVERIFY(m.reachesItsEnd().isEmpty());
        QCOMPARE(m.state(), int(M::Transitioning));
        m.fileStarts(2);
        m.fileLoads();
        QCOMPARE(m.state(), int(M::Playing));
        // A stale start of the load after the next open does nothing.
        m.open();
        QVERIFY(only<cmd::Load>(m.startLoadOfTheMediumBefore()).isEmpty());
    }

    void aFailedSeekReplyStopsReportingTheTarget()
    {
        Machine m;
        m.playing();
        const M::SeekSerial seek = seekSent(m.seekTo(30));
        QCOMPARE(m.target(), std::optional<double>(30));
        m.seekFailed(seek);
        QCOMPARE(m.target(), std::nullopt);
        QCOMPARE(m.seek(), M::Seek::None);
    }

    // A restart that comes before the reply belongs to an earlier seek: the
    // target is reported until the restart after the reply.
    void aRestartBeforeTheReply()
    {
        Machine m;
        m.playing();
        const M::SeekSerial seek = seekSent(m.seekTo(30));
        m.playbackRestarts();
        QCOMPARE(m.target(), std::optional<double>(30));
        m.seekQueued(seek);
        QCOMPARE(m.seek(), M::Seek::Queued);
        m.playbackRestarts();
        QCOMPARE(m.target(), std::nullopt);
    }

    // At the end: MediaEnded, then stopped at 0; play starts again from 0 and
    // the engine's position is reported once it has landed.
    void endOfFileFollowedByPlay()
    {
        Machine m;
        m.playing();
        M::Commands out = m.reachesItsEnd();
        QCOMPARE(m.state(), int(M::MediaEnded));
        QCOMPARE(only<cmd::ArmEndSettle>(out).size(), 1);
        out = m.play();
        QCOMPARE(m.state(), int(M::Playing));
        QCOMPARE(only<cmd::SeekTo>(out).first().position, 0.0);
        QCOMPARE(only<cmd::SetPause>(out).last().paused, false);
        m.seekQueued(seekSent(out));
        m.playbackRestarts();
        QCOMPARE(m.target(), std::nullopt);
        // The settle after the end comes late and changes nothing.
        QVERIFY(m.endSettles().isEmpty());

        // Released by the engine at its end: play loads it again.
        m.fileEnds(1, EndReason::Eof);
        QCOMPARE(m.state(), int(M::Stopped));
        QCOMPARE(m.medium(), M::Medium::Released);
        QVERIFY(m.hasMedium());
        m.seekTo(12);
        out = m.play();
        QCOMPARE(only<cmd::Load>(out).size(), 1);
        QCOMPARE(only<cmd::Load>(out).first().start, std::optional<double>(12.0));
    }

    // Playing, a place at or beyond the end is the end, as playing into it
    // (a jump, the last silence passed); paused, it is an ordinary target.
    void aJumpPastTheEndWhilePlayingIsTheEnd()
    {
        for (const auto origin : {medium::Origin::Caller, medium::Origin::Own}) {
            Machine m;
            m.playing();
            M::Commands out = m.seekTo(33, 12, origin);
            QCOMPARE(m.state(), int(M::MediaEnded));
            QVERIFY(only<cmd::SeekTo>(out).isEmpty()); // nothing sent beyond the end
            QCOMPARE(only<cmd::SetPause>(out).last().paused, true);
            QCOMPARE(only<cmd::EndStretch>(out).size(), 1);
            QCOMPARE(only<cmd::ArmEndSettle>(out).size(), 1);
            QCOMPARE(only<cmd::Seeked>(out).size(), origin == medium::Origin::Caller ? 1 : 0);
            QCOMPARE(m.target(), std::optional<double>(12));
            m.endSettles();
            QCOMPARE(m.state(), int(M::Stopped));
            QCOMPARE(m.target(), std::optional<double>(0));
        }
        Machine m;
        m.playing();
        m.seekTo(11.5, 12);
        QCOMPARE(m.state(), int(M::Playing));
        m.pause();
        m.seekTo(12, 12);
        QCOMPARE(m.state(), int(M::Paused));
    }

    // Paused, a second seek before the first lands: the last target is
    // reported, stays so after landing, and playing starts exactly there.
    void aPausedSeekFollowedByASeekBeforeTheFirstLands()
    {
        Machine m;
        m.playing();
        m.pause();
        const M::SeekSerial first = seekSent(m.seekTo(10));
        const M::SeekSerial second = seekSent(m.seekTo(20));
        m.seekQueued(first);
        QCOMPARE(m.seek(), M::Seek::Sent);
        m.seekQueued(second);
        m.playbackRestarts();
        QCOMPARE(m.seek(), M::Seek::Landed);
        QCOMPARE(m.target(), std::optional<double>(20));
        const M::Commands out = m.play();
        QCOMPARE(only<cmd::SeekTo>(out).first().position, 20.0);
        QCOMPARE(m.state(), int(M::Playing));
    }

    // A silence passed is the component's own move: the stretch played goes
    // on and the caller hears of no seek; a seek asked for ends the stretch
    // and is announced.
    void passingASilenceIsNoSeekAskedFor()
    {
        Machine m;
        m.playing();
        M::Commands out = m.passSilenceTo(40);
        QCOMPARE(only<cmd::SeekTo>(out).size(), 1);
        QVERIFY(!only<cmd::SeekTo>(out).first().endsStretch);
        QVERIFY(only<cmd::Seeked>(out).isEmpty());
        out = m.seekTo(50);
        QVERIFY(only<cmd::SeekTo>(out).first().endsStretch);
        QCOMPARE(only<cmd::Seeked>(out).size(), 1);
        QCOMPARE(only<cmd::Seeked>(out).first().position, 50.0);
    }

    // The engine ends under a playing medium: the medium goes, and the error
    // is reported for the generation the machine has when the report comes.
    void theEngineShuttingDown()
    {
        Machine m;
        m.playing();
        const M::Generation before = m.generation();
        const M::Commands out = m.shutsDown();
        QCOMPARE(only<cmd::Cleared>(out).size(), 1);
        QCOMPARE(m.state(), int(M::Undefined));
        QVERIFY(!m.hasMedium());
        QVERIFY(m.generation() != before);
        QCOMPARE(only<cmd::Failed>(out).size(), 1);
        QVERIFY(only<cmd::Failed>(out).first().generation == m.generation());
    }

    // A position and a stop given before the load completes become the
    // load's start and its pause; a missing medium fails at once.
    void requestsBeforeTheLoadAndMissingMedia()
    {
        Machine m;
        m.open();
        m.stop();
        m.seekTo(7);
        M::Commands out = m.startLoad();
        QCOMPARE(only<cmd::Load>(out).size(), 1);
        QCOMPARE(only<cmd::Load>(out).first().start, std::optional<double>(7.0));
        QVERIFY(only<cmd::Load>(out).first().paused);
        m.loadSent(3);
        m.fileStarts(3);
        out = m.fileLoads();
        QCOMPARE(m.state(), int(M::Stopped));
        QVERIFY(only<cmd::SeekTo>(out).isEmpty()); // the load's start

        out = m.openMissing();
        QCOMPARE(only<cmd::Failed>(out).size(), 1);
        QCOMPARE(m.state(), int(M::Undefined));
        QVERIFY(!m.hasMedium());
    }
};

QTEST_APPLESS_MAIN(TestCoreMedium)
#include "tst_core_medium.moc"
