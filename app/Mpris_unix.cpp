// SPDX-License-Identifier: GPL-3.0-or-later
// MPRIS on the session bus: the object that answers the calls of its two
// interfaces, the well-known name, and PropertiesChanged for what changed.
#include "app/DesktopInfo.h"
#include "app/Mpris.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDBusVirtualObject>
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

// The object on the bus. It answers the calls itself rather than through
// adaptors, so that a property written with a value of another type is
// refused (QtDBus would convert it: any string made Fullscreen true).
class BusObject : public QDBusVirtualObject
{
    Q_OBJECT

public:
    BusObject(Mpris *mpris, QDBusConnection bus);
    ~BusObject() override;
    bool registered() const { return m_registered; }

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;
    // The changes of one turn of the event loop go out together, after it:
    // an open changes several properties, and the engine is told first.
    void notifyChanges();

private:
    QDBusMessage call(const QDBusMessage &message);
    QDBusMessage getProperty(const QDBusMessage &message) const;
    QDBusMessage setProperty(const QDBusMessage &message);
    // Every property of the interface, as the bus reads it.
    QVariantMap properties(const QString &interface) const;
    QVariantMap playerProperties() const;
    QVariantMap rootProperties() const;
    void sendChanges(const QString &interface, const QVariantMap &now, QVariantMap &sent);
    void requestName(const QString &name, bool fallback);

    Mpris *m_mpris;
    QDBusConnection m_bus;
    QStringList m_requested;
    bool m_registered = false;
    bool m_notifyQueued = false;
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

// What a request got, as the caller's reply.
QDBusMessage answerTo(const QDBusMessage &message, Mpris::Answer answer)
{
    if (answer == Mpris::Answer::Refused)
        return message.createErrorReply(
            QDBusError::Failed, QStringLiteral("Pelmora cannot do this now: it is starting, or a "
                                               "question waits for an answer"));
    return message.createReply();
}

QDBusMessage invalidArguments(const QDBusMessage &message, const QString &what)
{
    return message.createErrorReply(QDBusError::InvalidArgs, what);
}

// The interfaces as the bus describes them (the standard ones are added).
QString BusObject::introspect(const QString &) const
{
    return QStringLiteral(R"(<interface name="org.mpris.MediaPlayer2">
  <method name="Raise"/>
  <method name="Quit"/>
  <property name="CanQuit" type="b" access="read"/>
  <property name="CanRaise" type="b" access="read"/>
  <property name="CanSetFullscreen" type="b" access="read"/>
  <property name="Fullscreen" type="b" access="readwrite"/>
  <property name="HasTrackList" type="b" access="read"/>
  <property name="Identity" type="s" access="read"/>
  <property name="DesktopEntry" type="s" access="read"/>
  <property name="SupportedUriSchemes" type="as" access="read"/>
  <property name="SupportedMimeTypes" type="as" access="read"/>
</interface>
<interface name="org.mpris.MediaPlayer2.Player">
  <method name="Next"/>
  <method name="Previous"/>
  <method name="Pause"/>
  <method name="PlayPause"/>
  <method name="Stop"/>
  <method name="Play"/>
  <method name="Seek">
    <arg name="Offset" type="x" direction="in"/>
  </method>
  <method name="SetPosition">
    <arg name="TrackId" type="o" direction="in"/>
    <arg name="Position" type="x" direction="in"/>
  </method>
  <method name="OpenUri">
    <arg name="Uri" type="s" direction="in"/>
  </method>
  <signal name="Seeked">
    <arg name="Position" type="x"/>
  </signal>
  <property name="PlaybackStatus" type="s" access="read"/>
  <property name="Rate" type="d" access="readwrite"/>
  <property name="MinimumRate" type="d" access="read"/>
  <property name="MaximumRate" type="d" access="read"/>
  <property name="Metadata" type="a{sv}" access="read">
    <annotation name="org.qtproject.QtDBus.QtTypeName" value="QVariantMap"/>
  </property>
  <property name="Volume" type="d" access="readwrite"/>
  <property name="Position" type="x" access="read"/>
  <property name="CanGoNext" type="b" access="read"/>
  <property name="CanGoPrevious" type="b" access="read"/>
  <property name="CanPlay" type="b" access="read"/>
  <property name="CanPause" type="b" access="read"/>
  <property name="CanSeek" type="b" access="read"/>
  <property name="CanControl" type="b" access="read"/>
</interface>
)");
}

bool BusObject::handleMessage(const QDBusMessage &message, const QDBusConnection &connection)
{
    if (message.type() != QDBusMessage::MethodCallMessage) return false;
    const QString interface = message.interface();
    const QString member = message.member(), signature = message.signature();
    QDBusMessage reply;
    if (interface == QLatin1String("org.freedesktop.DBus.Properties")) {
        if (member == QLatin1String("Get") && signature == QLatin1String("ss")) {
            reply = getProperty(message);
        } else if (member == QLatin1String("Set") && signature == QLatin1String("ssv")) {
            reply = setProperty(message);
        } else if (member == QLatin1String("GetAll") && signature == QLatin1String("s")) {
            const QString of = message.arguments().at(0).toString();
            QVariantMap all = properties(of);
            if (of.isEmpty()) all.insert(properties(kPlayerInterface));
            reply = of.isEmpty() || of == kRootInterface || of == kPlayerInterface
                        ? message.createReply(QVariant(all))
                        : message.createErrorReply(QDBusError::UnknownInterface, of);
        } else {
            return false;
        }
    } else if (interface.isEmpty() || interface == kRootInterface ||
               interface == kPlayerInterface) {
        reply = call(message);
    } else {
        return false; // introspection and the peer's calls: QtDBus answers them
    }
    if (message.isReplyRequired()) QDBusConnection(connection).send(reply);
    return true;
}

QDBusMessage BusObject::call(const QDBusMessage &m)
{
    const QString member = m.member(), signature = m.signature();
    const QVariantList args = m.arguments();
    const bool root = m.interface().isEmpty() || m.interface() == kRootInterface;
    const bool player = m.interface().isEmpty() || m.interface() == kPlayerInterface;
    const auto is = [&](bool in, const char *name) { return in && member == QLatin1String(name); };
    const bool none = signature.isEmpty();
    if (is(root, "Raise") && none) return answerTo(m, m_mpris->raise());
    if (is(root, "Quit") && none) return answerTo(m, m_mpris->quit());
    if (is(player, "Next") && none) return answerTo(m, m_mpris->next());
    if (is(player, "Previous") && none) return answerTo(m, m_mpris->previous());
    if (is(player, "Pause") && none) return answerTo(m, m_mpris->pause());
    if (is(player, "PlayPause") && none) return answerTo(m, m_mpris->playPause());
    if (is(player, "Stop") && none) return answerTo(m, m_mpris->stop());
    if (is(player, "Play") && none) return answerTo(m, m_mpris->play());
    if (is(player, "Seek") && signature == QLatin1String("x"))
        return answerTo(m, m_mpris->seek(args.at(0).toLongLong()));
    if (is(player, "SetPosition") && signature == QLatin1String("ox"))
        return answerTo(m, m_mpris->setPositionOf(args.at(0).value<QDBusObjectPath>().path(),
                                                  args.at(1).toLongLong()));
    if (is(player, "OpenUri") && signature == QLatin1String("s"))
        return answerTo(m, m_mpris->openUri(args.at(0).toString()));
    static const QStringList known = {
        QStringLiteral("Raise"),       QStringLiteral("Quit"),   QStringLiteral("Next"),
        QStringLiteral("Previous"),    QStringLiteral("Pause"),  QStringLiteral("PlayPause"),
        QStringLiteral("Stop"),        QStringLiteral("Play"),   QStringLiteral("Seek"),
        QStringLiteral("SetPosition"), QStringLiteral("OpenUri")};
    if (known.contains(member) && (root || player))
        return invalidArguments(
            m, QStringLiteral("Wrong arguments for %1: \"%2\"").arg(member, signature));
    return m.createErrorReply(QDBusError::UnknownMethod,
                              QStringLiteral("No method %1.%2").arg(m.interface(), member));
}

QDBusMessage BusObject::getProperty(const QDBusMessage &m) const
{
    const QString interface = m.arguments().at(0).toString();
    const QString name = m.arguments().at(1).toString();
    for (const QString &of : {kRootInterface, kPlayerInterface}) {
        if (!interface.isEmpty() && interface != of) continue;
        const QVariantMap all = properties(of);
        if (all.contains(name)) return m.createReply(QVariant::fromValue(QDBusVariant(all[name])));
    }
    if (!interface.isEmpty() && interface != kRootInterface && interface != kPlayerInterface)
        return m.createErrorReply(QDBusError::UnknownInterface, interface);
    return m.createErrorReply(QDBusError::UnknownProperty, name);
}

// Fullscreen takes a boolean, Rate and Volume a double; anything else is
// refused as it is, not converted.
QDBusMessage BusObject::setProperty(const QDBusMessage &m)
{
    const QString interface = m.arguments().at(0).toString();
    const QString name = m.arguments().at(1).toString();
    const QVariant value = m.arguments().at(2).value<QDBusVariant>().variant();
    const bool root = interface.isEmpty() || interface == kRootInterface;
    const bool player = interface.isEmpty() || interface == kPlayerInterface;
    const auto typed = [&](QMetaType type, const char *signature) {
        return value.metaType() == type
                   ? QDBusMessage()
                   : invalidArguments(m, QStringLiteral("%1 takes a value of type \"%2\"")
                                             .arg(name, QLatin1String(signature)));
    };
    if (root && name == QLatin1String("Fullscreen")) {
        const QDBusMessage refused = typed(QMetaType::fromType<bool>(), "b");
        return refused.type() == QDBusMessage::ErrorMessage
                   ? refused
                   : answerTo(m, m_mpris->requestFullscreen(value.toBool()));
    }
    if (player && (name == QLatin1String("Rate") || name == QLatin1String("Volume"))) {
        const QDBusMessage refused = typed(QMetaType::fromType<double>(), "d");
        if (refused.type() == QDBusMessage::ErrorMessage) return refused;
        return answerTo(m, name == QLatin1String("Rate")
                               ? m_mpris->requestRate(value.toDouble())
                               : m_mpris->requestVolume(value.toDouble()));
    }
    if ((root && properties(kRootInterface).contains(name)) ||
        (player && properties(kPlayerInterface).contains(name)))
        return m.createErrorReply(QDBusError::PropertyReadOnly,
                                  QStringLiteral("%1 is read-only").arg(name));
    if (!root && !player) return m.createErrorReply(QDBusError::UnknownInterface, interface);
    return m.createErrorReply(QDBusError::UnknownProperty, name);
}

QVariantMap BusObject::properties(const QString &interface) const
{
    QVariantMap map;
    if (interface == kRootInterface || interface.isEmpty()) {
        map = rootProperties();
        map.insert(QStringLiteral("CanRaise"), true);
        map.insert(QStringLiteral("CanSetFullscreen"), true);
        map.insert(QStringLiteral("HasTrackList"), false);
        map.insert(QStringLiteral("Identity"), QStringLiteral("Pelmora"));
        map.insert(QStringLiteral("DesktopEntry"), QString::fromLatin1(kDesktopId));
        map.insert(QStringLiteral("SupportedUriSchemes"), QStringList{QStringLiteral("file")});
        QStringList types;
        for (const char *type : kSupportedMimeTypes)
            types << QString::fromLatin1(type);
        map.insert(QStringLiteral("SupportedMimeTypes"), types);
    } else if (interface == kPlayerInterface) {
        map = playerProperties();
        map.insert(QStringLiteral("MinimumRate"), 0.5);
        map.insert(QStringLiteral("MaximumRate"), 3.0);
        map.insert(QStringLiteral("Position"), microseconds(m_mpris->position()));
        map.insert(QStringLiteral("CanControl"), true);
    }
    return map;
}

BusObject::BusObject(Mpris *mpris, QDBusConnection bus)
    : QDBusVirtualObject(mpris), m_mpris(mpris), m_bus(std::move(bus))
{
    setObjectName(QStringLiteral("mpris"));
    m_registered = m_bus.registerVirtualObject(kObjectPath, this);
    if (!m_registered) return; // another object holds the path: no MPRIS in this run
    requestName(kServiceName, true);
    m_sentPlayer = playerProperties();
    m_sentRoot = rootProperties();
    connect(mpris, &Mpris::changed, this, &BusObject::notifyChanges);
    connect(mpris, &Mpris::seeked, this, [this](qlonglong positionUs) {
        QDBusMessage signal =
            QDBusMessage::createSignal(kObjectPath, kPlayerInterface, QStringLiteral("Seeked"));
        signal << positionUs;
        m_bus.send(signal);
    });
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
    if (m_notifyQueued) return;
    m_notifyQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_notifyQueued = false;
            sendChanges(kPlayerInterface, playerProperties(), m_sentPlayer);
            sendChanges(kRootInterface, rootProperties(), m_sentRoot);
        },
        Qt::QueuedConnection);
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
