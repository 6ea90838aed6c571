// SPDX-License-Identifier: GPL-3.0-or-later
// MPRIS on the session bus: the exported object, its two adaptors, the
// well-known name, and PropertiesChanged for what changed.
#include "app/DesktopInfo.h"
#include "app/Mpris.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QVariantMap>

#include <cmath>

namespace
{

const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kServiceName = QStringLiteral("org.mpris.MediaPlayer2.pelmora");
constexpr uint kDoNotQueue = 4;   // DBUS_NAME_FLAG_DO_NOT_QUEUE
constexpr uint kPrimaryOwner = 1; // DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER
constexpr uint kAlreadyOwner = 4; // DBUS_REQUEST_NAME_REPLY_ALREADY_OWNER

qlonglong microseconds(double seconds)
{
    return std::isfinite(seconds) ? std::llround(seconds * 1e6) : 0;
}

// The object on the bus: carries the two adaptors, answers a refused request
// with an error, and tells the bus what has changed.
class BusObject : public QObject, protected QDBusContext
{
    Q_OBJECT

public:
    BusObject(Mpris *mpris, QDBusConnection bus);
    ~BusObject() override;
    bool registered() const { return m_registered; }
    Mpris *mpris() const { return m_mpris; }

    // Carries out a request; a refused one becomes the caller's error.
    void answer(Mpris::Answer answer)
    {
        if (answer == Mpris::Answer::Refused && calledFromDBus())
            sendErrorReply(QDBusError::Failed,
                           QStringLiteral("Pelmora cannot do this now: it is starting, or a "
                                          "question waits for an answer"));
    }
    void notifyChanges();

private:
    QVariantMap playerProperties() const;
    QVariantMap rootProperties() const;
    void sendChanges(const QString &interface, const QVariantMap &now, QVariantMap &sent);
    void requestName(const QString &name, bool fallback);

    Mpris *m_mpris;
    QDBusConnection m_bus;
    QStringList m_requested;
    bool m_registered = false;
    QVariantMap m_sentPlayer;
    QVariantMap m_sentRoot;
};

QVariantMap metadataOf(Mpris *m)
{
    QVariantMap map;
    map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(m->trackId())));
    if (!m->hasTrack()) return map;
    const Mpris::Track &t = m->track();
    map.insert(QStringLiteral("xesam:title"), t.title);
    if (!t.artists.isEmpty()) map.insert(QStringLiteral("xesam:artist"), t.artists);
    if (!t.album.isEmpty()) map.insert(QStringLiteral("xesam:album"), t.album);
    if (!t.artUrl.isEmpty()) map.insert(QStringLiteral("mpris:artUrl"), t.artUrl);
    map.insert(QStringLiteral("xesam:url"), t.url);
    if (t.length > 0) map.insert(QStringLiteral("mpris:length"), microseconds(t.length));
    return map;
}

class RootAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool CanSetFullscreen READ canSetFullscreen)
    Q_PROPERTY(bool Fullscreen READ fullscreen WRITE setFullscreen)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)

public:
    explicit RootAdaptor(BusObject *object) : QDBusAbstractAdaptor(object), o(object) {}

    bool canQuit() const { return o->mpris()->canQuit(); }
    bool canRaise() const { return true; }
    bool canSetFullscreen() const { return true; }
    bool fullscreen() const { return o->mpris()->fullscreen(); }
    void setFullscreen(bool on) { o->mpris()->requestFullscreen(on); }
    bool hasTrackList() const { return false; }
    QString identity() const { return QStringLiteral("Pelmora"); }
    QString desktopEntry() const { return QString::fromLatin1(kDesktopId); }
    QStringList supportedUriSchemes() const { return {QStringLiteral("file")}; }
    QStringList supportedMimeTypes() const
    {
        QStringList types;
        for (const char *type : kSupportedMimeTypes)
            types << QString::fromLatin1(type);
        return types;
    }

public slots:
    void Raise() { o->answer(o->mpris()->raise()); }
    void Quit() { o->answer(o->mpris()->quit()); }

private:
    BusObject *o;
};

class PlayerAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(double MinimumRate READ minimumRate)
    Q_PROPERTY(double MaximumRate READ maximumRate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPlay)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ canControl)

public:
    explicit PlayerAdaptor(BusObject *object) : QDBusAbstractAdaptor(object), o(object)
    {
        connect(object->mpris(), &Mpris::seeked, this, &PlayerAdaptor::Seeked);
    }

    QString playbackStatus() const { return o->mpris()->statusText(); }
    double rate() const { return o->mpris()->rate(); }
    void setRate(double value) { o->mpris()->requestRate(value); }
    double minimumRate() const { return 0.5; }
    double maximumRate() const { return 3.0; }
    QVariantMap metadata() const { return metadataOf(o->mpris()); }
    double volume() const { return o->mpris()->volume(); }
    void setVolume(double value) { o->mpris()->requestVolume(value); }
    qlonglong position() const { return microseconds(o->mpris()->position()); }
    bool canGoNext() const { return o->mpris()->canGoNext(); }
    bool canGoPrevious() const { return o->mpris()->canGoPrevious(); }
    bool canPlay() const { return o->mpris()->hasTrack(); }
    bool canSeek() const { return o->mpris()->canSeek(); }
    bool canControl() const { return true; }

public slots:
    void Next() { o->answer(o->mpris()->next()); }
    void Previous() { o->answer(o->mpris()->previous()); }
    void Pause() { o->answer(o->mpris()->pause()); }
    void PlayPause() { o->answer(o->mpris()->playPause()); }
    void Stop() { o->answer(o->mpris()->stop()); }
    void Play() { o->answer(o->mpris()->play()); }
    void Seek(qlonglong Offset) { o->answer(o->mpris()->seek(Offset)); }
    void SetPosition(const QDBusObjectPath &TrackId, qlonglong Position)
    {
        o->answer(o->mpris()->setPositionOf(TrackId.path(), Position));
    }
    void OpenUri(const QString &Uri) { o->answer(o->mpris()->openUri(Uri)); }

signals:
    void Seeked(qlonglong Position);

private:
    BusObject *o;
};

BusObject::BusObject(Mpris *mpris, QDBusConnection bus)
    : QObject(mpris), m_mpris(mpris), m_bus(std::move(bus))
{
    setObjectName(QStringLiteral("mpris"));
    new RootAdaptor(this);
    new PlayerAdaptor(this);
    m_registered = m_bus.registerObject(kObjectPath, this, QDBusConnection::ExportAdaptors);
    if (!m_registered) return; // another object holds the path: no MPRIS in this run
    requestName(kServiceName, true);
    m_sentPlayer = playerProperties();
    m_sentRoot = rootProperties();
    connect(mpris, &Mpris::changed, this, &BusObject::notifyChanges);
}

BusObject::~BusObject()
{
    if (!m_registered) return;
    m_bus.unregisterObject(kObjectPath);
    // Every name asked for, also one whose answer has not come yet: the bus
    // handles the release after the request.
    for (const QString &name : std::as_const(m_requested)) {
        QDBusMessage release = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ReleaseName"));
        release << name;
        m_bus.send(release);
    }
}

// The well-known name, asked for without waiting: when another program holds
// it, the name with this process's instance suffix.
void BusObject::requestName(const QString &name, bool fallback)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("RequestName"));
    call << name << kDoNotQueue;
    m_requested << name;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, fallback](QDBusPendingCallWatcher *w) {
                w->deleteLater();
                const QDBusMessage reply = w->reply();
                const uint result =
                    reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
                        ? reply.arguments().first().toUInt()
                        : 0;
                if (result != kPrimaryOwner && result != kAlreadyOwner && fallback)
                    requestName(
                        kServiceName +
                            QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid()),
                        false);
            });
}

QVariantMap BusObject::playerProperties() const
{
    QVariantMap map;
    map.insert(QStringLiteral("Rate"), m_mpris->rate());
    map.insert(QStringLiteral("CanGoNext"), m_mpris->canGoNext());
    map.insert(QStringLiteral("CanGoPrevious"), m_mpris->canGoPrevious());
    map.insert(QStringLiteral("PlaybackStatus"), m_mpris->statusText());
    map.insert(QStringLiteral("Metadata"), metadataOf(m_mpris));
    map.insert(QStringLiteral("Volume"), m_mpris->volume());
    map.insert(QStringLiteral("CanPlay"), m_mpris->hasTrack());
    map.insert(QStringLiteral("CanPause"), m_mpris->hasTrack());
    map.insert(QStringLiteral("CanSeek"), m_mpris->canSeek());
    return map;
}

QVariantMap BusObject::rootProperties() const
{
    QVariantMap map;
    map.insert(QStringLiteral("Fullscreen"), m_mpris->fullscreen());
    map.insert(QStringLiteral("CanQuit"), m_mpris->canQuit());
    return map;
}

void BusObject::sendChanges(const QString &interface, const QVariantMap &now, QVariantMap &sent)
{
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        if (sent.value(it.key()) != it.value()) changed.insert(it.key(), it.value());
    sent = now;
    if (changed.isEmpty()) return;
    QDBusMessage signal =
        QDBusMessage::createSignal(kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << interface << changed << QStringList();
    m_bus.send(signal);
}

void BusObject::notifyChanges()
{
    sendChanges(kPlayerInterface, playerProperties(), m_sentPlayer);
    sendChanges(kRootInterface, rootProperties(), m_sentRoot);
}

} // namespace

bool Mpris::publish()
{
    if (m_bus) return true;
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    auto *object = new BusObject(this, bus);
    if (!object->registered()) {
        delete object;
        return false;
    }
    m_bus = object;
    return true;
}

#include "Mpris_unix.moc"
