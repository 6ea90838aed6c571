// SPDX-License-Identifier: GPL-3.0-or-later
// The medium's machine, fed event by event, without an engine: what it asks
// for and what it reports, in the orders the engine may take.
#include "player/MediumMachine.h"

#include <QTest>

namespace
{

using M = MediumMachine;
using E = M::Event;
using C = M::Command;

E ev(E::Kind kind, double position = 0, std::int64_t id = 0, quint64 serial = 0, bool flag = false)
{
    E e;
    e.kind = kind;
    e.position = position;
    e.id = id;
    e.serial = serial;
    e.flag = flag;
    return e;
}

E endFile(std::int64_t id, E::EndReason reason)
{
    E e = ev(E::EndFile, 0, id);
    e.reason = reason;
    return e;
}

// The commands of one kind among those given.
QList<C> only(const M::Commands &commands, C::Kind kind)
{
    QList<C> found;
    for (const C &c : commands)
        if (c.kind == kind) found << c;
    return found;
}

// A medium opened and loaded as the engine reports it, playing; id 1.
void playing(M &m, std::int64_t id = 1)
{
    m.handle(ev(E::Open));
    m.handle(ev(E::StartLoad, 0, 0, m.generation()));
    m.handle(ev(E::LoadSent, 0, id));
    m.handle(ev(E::FileStarted, 0, id));
    m.handle(ev(E::FileLoaded));
}

// The serial of the one seek among the commands.
quint64 seekSerial(const M::Commands &commands)
{
    const QList<C> seeks = only(commands, C::SeekTo);
    return seeks.size() == 1 ? seeks.first().serial : 0;
}

} // namespace

class TestCoreMedium : public QObject
{
    Q_OBJECT

private slots:
    // A second medium replaces the first: the first one's end, and its end
    // of file, are not the second's.
    void aFileEndingAfterItWasReplaced()
    {
        M m;
        playing(m, 1);
        QCOMPARE(m.state(), int(M::Playing));
        m.handle(ev(E::Open));
        m.handle(ev(E::StartLoad, 0, 0, m.generation()));
        m.handle(ev(E::LoadSent, 0, 2));
        QVERIFY(m.handle(endFile(1, E::EndReason::Stop)).isEmpty());
        QVERIFY(m.handle(ev(E::EofReached)).isEmpty());
        QCOMPARE(m.state(), int(M::Transitioning));
        m.handle(ev(E::FileStarted, 0, 2));
        m.handle(ev(E::FileLoaded));
        QCOMPARE(m.state(), int(M::Playing));
        // A stale start of the load after the next open does nothing.
        m.handle(ev(E::Open));
        QVERIFY(only(m.handle(ev(E::StartLoad, 0, 0, m.generation() - 1)), C::Load).isEmpty());
    }

    void aFailedSeekReplyStopsReportingTheTarget()
    {
        M m;
        playing(m);
        const quint64 serial = seekSerial(m.handle(ev(E::SetPosition, 30)));
        QCOMPARE(m.target(), std::optional<double>(30));
        m.handle(ev(E::SeekReply, 0, 0, serial, false));
        QCOMPARE(m.target(), std::nullopt);
        QCOMPARE(m.seek(), M::Seek::None);
    }

    // A restart that comes before the reply belongs to an earlier seek: the
    // target is reported until the restart after the reply.
    void aRestartBeforeTheReply()
    {
        M m;
        playing(m);
        const quint64 serial = seekSerial(m.handle(ev(E::SetPosition, 30)));
        m.handle(ev(E::PlaybackRestart));
        QCOMPARE(m.target(), std::optional<double>(30));
        m.handle(ev(E::SeekReply, 0, 0, serial, true));
        QCOMPARE(m.seek(), M::Seek::Queued);
        m.handle(ev(E::PlaybackRestart));
        QCOMPARE(m.target(), std::nullopt);
    }

    // At the end: MediaEnded, then stopped at 0; play starts again from 0 and
    // the engine's position is reported once it has landed.
    void endOfFileFollowedByPlay()
    {
        M m;
        playing(m);
        M::Commands out = m.handle(ev(E::EofReached));
        QCOMPARE(m.state(), int(M::MediaEnded));
        QCOMPARE(only(out, C::ArmEndSettle).size(), 1);
        out = m.handle(ev(E::Play));
        QCOMPARE(m.state(), int(M::Playing));
        QCOMPARE(only(out, C::SeekTo).first().position, 0.0);
        QCOMPARE(only(out, C::SetPause).last().flag, false);
        m.handle(ev(E::SeekReply, 0, 0, seekSerial(out), true));
        m.handle(ev(E::PlaybackRestart));
        QCOMPARE(m.target(), std::nullopt);
        // The settle after the end comes late and changes nothing.
        QVERIFY(m.handle(ev(E::EndSettled, 0, 0, m.generation())).isEmpty());

        // Released by the engine at its end: play loads it again.
        out = m.handle(endFile(1, E::EndReason::Eof));
        QCOMPARE(m.state(), int(M::Stopped));
        QCOMPARE(m.medium(), M::Medium::Released);
        QVERIFY(m.hasMedium());
        m.handle(ev(E::SetPosition, 12));
        out = m.handle(ev(E::Play));
        QCOMPARE(only(out, C::Load).size(), 1);
        QVERIFY(only(out, C::Load).first().hasStart);
        QCOMPARE(only(out, C::Load).first().position, 12.0);
    }

    // Paused, a second seek before the first lands: the last target is
    // reported, stays so after landing, and playing starts exactly there.
    void aPausedSeekFollowedByASeekBeforeTheFirstLands()
    {
        M m;
        playing(m);
        m.handle(ev(E::Pause));
        const quint64 first = seekSerial(m.handle(ev(E::SetPosition, 10)));
        const quint64 second = seekSerial(m.handle(ev(E::SetPosition, 20)));
        m.handle(ev(E::SeekReply, 0, 0, first, true));
        QCOMPARE(m.seek(), M::Seek::Sent);
        m.handle(ev(E::SeekReply, 0, 0, second, true));
        m.handle(ev(E::PlaybackRestart));
        QCOMPARE(m.seek(), M::Seek::Landed);
        QCOMPARE(m.target(), std::optional<double>(20));
        const M::Commands out = m.handle(ev(E::Play));
        QCOMPARE(only(out, C::SeekTo).first().position, 20.0);
        QCOMPARE(m.state(), int(M::Playing));
    }

    // A position and a stop given before the load completes become the
    // load's start and its pause; a missing medium fails at once.
    void requestsBeforeTheLoadAndMissingMedia()
    {
        M m;
        m.handle(ev(E::Open));
        m.handle(ev(E::Stop));
        m.handle(ev(E::SetPosition, 7));
        M::Commands out = m.handle(ev(E::StartLoad, 0, 0, m.generation()));
        QCOMPARE(only(out, C::Load).size(), 1);
        QCOMPARE(only(out, C::Load).first().position, 7.0);
        QVERIFY(only(out, C::Load).first().flag); // paused
        m.handle(ev(E::LoadSent, 0, 3));
        m.handle(ev(E::FileStarted, 0, 3));
        out = m.handle(ev(E::FileLoaded));
        QCOMPARE(m.state(), int(M::Stopped));
        QVERIFY(only(out, C::SeekTo).isEmpty()); // the load's start

        E missing = ev(E::Open);
        missing.failure = M::Failure::NotFound;
        out = m.handle(missing);
        QCOMPARE(only(out, C::Failed).size(), 1);
        QCOMPARE(m.state(), int(M::Undefined));
        QVERIFY(!m.hasMedium());
    }
};

QTEST_APPLESS_MAIN(TestCoreMedium)
#include "tst_core_medium.moc"
