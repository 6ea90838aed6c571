// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ScreenSaver.h"

#include "player/MediaPlayer.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QPointer>
#include <QVariantMap>
#include <optional>
#include <utility>

namespace
{

const QString kScreenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kPortalInhibit = QStringLiteral("org.freedesktop.portal.Inhibit");
const QString kPortalRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kReason = QStringLiteral("動画を再生しています");
constexpr uint kPortalIdle = 8;

// Follows the player's state: wants the inhibition exactly while a video
// plays. Every call is asynchronous; an answer that comes after the wish has
// changed is released at once. When neither the screen saver service nor the
// portal answers, the bus is watched for one of them to appear (a desktop
// that starts its services after the program, a restarted screen saver);
// the inhibition is asked for then, if a video plays.
class ScreenSaverInhibitor : public QObject
{
public:
    ScreenSaverInhibitor(MediaPlayer *player, QObject *parent)
        : QObject(parent), m_player(player), m_bus(QDBusConnection::sessionBus()),
          m_watcher(new QDBusServiceWatcher(this))
    {
        setObjectName(QStringLiteral("screenSaverInhibitor"));
        connect(player, &MediaPlayer::playStateChanged, this, [this] { update(); });
        m_watcher->setConnection(m_bus);
        m_watcher->setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
        m_watcher->setWatchedServices({kScreenSaverService, kPortalService});
        connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString &name, const QString &, const QString &owner) {
                    ownerChanged(name, !owner.isEmpty());
                });
        update();
    }

    ~ScreenSaverInhibitor() override
    {
        m_wanted = false;
        release();
    }

private:
    enum class Backend { Unknown, ScreenSaver, Portal, None };

    bool wanted() const
    {
        return m_player && m_player->playState() == MediaPlayer::Playing && m_player->hasVideo();
    }

    void update()
    {
        m_wanted = wanted();
        if (m_wanted && !held() && !m_pending)
            request();
        else if (!m_wanted && held())
            release();
    }

    bool held() const { return m_cookie.has_value() || !m_handle.isEmpty(); }

    static Backend backendOf(const QString &service)
    {
        return service == kScreenSaverService ? Backend::ScreenSaver : Backend::Portal;
    }

    void ownerChanged(const QString &service, bool present)
    {
        const Backend backend = backendOf(service);
        if (present) {
            // A service has come while none answered: use it from now on.
            // One that comes while a question is still out is tried when
            // that question fails.
            if (m_pending) m_appeared = backend;
            if (m_backend != Backend::None) return;
            m_backend = backend;
        } else {
            // The service in use has gone, and with it the inhibition it held;
            // the next wish tries both again.
            if (m_backend != backend) return;
            m_cookie.reset();
            m_handle.clear();
            m_backend = Backend::Unknown;
        }
        if (m_wanted && !held() && !m_pending) request();
    }

    void request()
    {
        if (m_backend == Backend::None) return;
        QDBusMessage call;
        const Backend backend = m_backend == Backend::Unknown ? Backend::ScreenSaver : m_backend;
        if (backend == Backend::ScreenSaver) {
            call = QDBusMessage::createMethodCall(kScreenSaverService, kScreenSaverPath,
                                                  kScreenSaverService, QStringLiteral("Inhibit"));
            call << QStringLiteral("Pelmora") << kReason;
        } else {
            call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kPortalInhibit,
                                                  QStringLiteral("Inhibit"));
            QVariantMap options;
            options.insert(QStringLiteral("reason"), kReason);
            call << QString() << kPortalIdle << options;
        }
        m_pending = true;
        // The watcher outlives this object: an answer that comes after the
        // end is released at once.
        auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call));
        QPointer<ScreenSaverInhibitor> self(this);
        QDBusConnection bus = m_bus;
        connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                [self, bus, backend](QDBusPendingCallWatcher *w) {
                    w->deleteLater();
                    const QDBusMessage reply = w->reply();
                    if (self) {
                        self->answered(backend, reply);
                    } else if (reply.type() == QDBusMessage::ReplyMessage &&
                               !reply.arguments().isEmpty()) {
                        QDBusConnection(bus).send(releaseCall(backend, reply.arguments().first()));
                    }
                });
    }

    void answered(Backend backend, const QDBusMessage &reply)
    {
        m_pending = false;
        const bool ok = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
        if (!ok) {
            // No screen saver service: the portal once; then the one that
            // appeared meanwhile, or none until one appears.
            if (backend == Backend::ScreenSaver && m_backend == Backend::Unknown)
                m_backend = Backend::Portal;
            else
                m_backend = std::exchange(m_appeared, std::nullopt).value_or(Backend::None);
            if (m_backend != Backend::None && m_wanted) request();
            return;
        }
        m_appeared.reset();
        m_backend = backend;
        if (backend == Backend::ScreenSaver)
            m_cookie = reply.arguments().first().toUInt();
        else
            m_handle = qvariant_cast<QDBusObjectPath>(reply.arguments().first()).path();
        if (!m_wanted) release();
    }

    static QDBusMessage releaseCall(Backend backend, const QVariant &token)
    {
        if (backend == Backend::ScreenSaver) {
            QDBusMessage call =
                QDBusMessage::createMethodCall(kScreenSaverService, kScreenSaverPath,
                                               kScreenSaverService, QStringLiteral("UnInhibit"));
            call << token.toUInt();
            return call;
        }
        return QDBusMessage::createMethodCall(kPortalService,
                                              qvariant_cast<QDBusObjectPath>(token).path(),
                                              kPortalRequest, QStringLiteral("Close"));
    }

    void release()
    {
        QDBusMessage call;
        if (m_cookie) {
            call = releaseCall(Backend::ScreenSaver, *m_cookie);
            m_cookie.reset();
        } else if (!m_handle.isEmpty()) {
            call = releaseCall(Backend::Portal, QVariant::fromValue(QDBusObjectPath(m_handle)));
            m_handle.clear();
        } else {
            return;
        }
        // The answer is not needed.
        m_bus.send(call);
    }

    QPointer<MediaPlayer> m_player;
    QDBusConnection m_bus;
    QDBusServiceWatcher *m_watcher;
    Backend m_backend = Backend::Unknown;
    bool m_wanted = false;
    bool m_pending = false;
    std::optional<Backend> m_appeared; // a service that came while a question was out
    std::optional<uint> m_cookie;
    QString m_handle;
};

} // namespace

QObject *createScreenSaverInhibitor(MediaPlayer *player, QObject *parent)
{
    if (!player || !QDBusConnection::sessionBus().isConnected()) return nullptr;
    return new ScreenSaverInhibitor(player, parent);
}
