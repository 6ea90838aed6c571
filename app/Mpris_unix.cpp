// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Mpris.h"

#include "app/CoverArt.h"
#include "app/DesktopInfo.h"
#include "app/Taskbar.h"
#include "app/Unit1.h"
#include "lists/Unit6.h"
#include "persist/LocalNames.h"
#include "player/MediaPlayer.h"

#include <QAction>
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QEvent>
#include <QImage>
#include <QListWidget>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>
#include <algorithm>
#include <cmath>

namespace
{

const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kServiceName = QStringLiteral("org.mpris.MediaPlayer2.pelmora");
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
constexpr uint kDoNotQueue = 4;   // DBUS_NAME_FLAG_DO_NOT_QUEUE
constexpr uint kPrimaryOwner = 1; // DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER
constexpr uint kAlreadyOwner = 4; // DBUS_REQUEST_NAME_REPLY_ALREADY_OWNER

qlonglong toMicroseconds(double seconds)
{
    return std::isfinite(seconds) ? static_cast<qlonglong>(std::llround(seconds * 1e6)) : 0;
}

// The exported object: reads the main window and its player, carries the two
// adaptors, and tells the bus what has changed.
class MprisObject : public QObject
{
    Q_OBJECT

public:
    MprisObject(TForm1 *form, QObject *parent);
    ~MprisObject() override;

    // --- read side ---
    TForm1 *form() const { return m_form; }
    MediaPlayer *player() const { return m_form ? m_form->WindowsMediaPlayer1 : nullptr; }
    QString playbackStatus() const;
    QVariantMap metadata() const;
    double volume() const;
    qlonglong position() const;
    bool hasMedia() const;
    bool canSeek() const;
    bool fullscreen() const { return m_form && m_form->isFullScreen(); }
    double rate() const;
    bool canQuit() const { return m_form && !m_form->X2->isChecked(); }
    // The playlist's entries next to the selected one (-1: none).
    int nextEntry() const { return Form6 ? Form6->nextEntry() : -1; }
    int previousEntry() const { return Form6 ? Form6->previousEntry() : -1; }

    // --- commands ---
    void play();
    void pause();
    void playPause();
    void stop();
    void seek(qlonglong offset);
    void setPosition(const QDBusObjectPath &trackId, qlonglong position);
    void openUri(const QString &uri);
    void raise();
    void quit();
    void setVolume(double volume);
    void setFullscreen(bool on);
    void setRate(double rate);
    void goTo(int entry);

    // Sends PropertiesChanged for what differs from what was sent last.
    void notifyChanges();

signals:
    void seeked(qlonglong position);

private:
    template <class Body> void command(Body &&body);
    template <class T, class Read> T safely(T fallback, Read &&read) const;
    QString trackId() const;
    QVariantMap playerProperties() const;
    QVariantMap rootProperties() const;
    void sendChanges(const QString &interface, const QVariantMap &now, QVariantMap &sent);
    void requestName(const QString &name, bool fallback);
    QString artUrl() const;
    bool eventFilter(QObject *watched, QEvent *event) override;

    QPointer<TForm1> m_form;
    QDBusConnection m_bus;
    QString m_service;
    QStringList m_requested;
    bool m_registered = false;
    QVariantMap m_sentPlayer;
    QVariantMap m_sentRoot;
    // The track id changes whenever another medium is loaded.
    mutable QString m_trackUrl;
    mutable int m_trackNumber = 0;
    // The cover art written for the current track.
    mutable QString m_artTrack;
    mutable QString m_artUrl;
};

class MprisRootAdaptor : public QDBusAbstractAdaptor
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
    explicit MprisRootAdaptor(MprisObject *object) : QDBusAbstractAdaptor(object), m(object) {}

    bool canQuit() const { return m->canQuit(); }
    bool canRaise() const { return true; }
    bool canSetFullscreen() const { return true; }
    bool fullscreen() const { return m->fullscreen(); }
    void setFullscreen(bool on) { m->setFullscreen(on); }
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
    void Raise() { m->raise(); }
    void Quit() { m->quit(); }

private:
    MprisObject *m;
};

class MprisPlayerAdaptor : public QDBusAbstractAdaptor
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
    explicit MprisPlayerAdaptor(MprisObject *object) : QDBusAbstractAdaptor(object), m(object)
    {
        connect(object, &MprisObject::seeked, this, &MprisPlayerAdaptor::Seeked);
    }

    QString playbackStatus() const { return m->playbackStatus(); }
    double rate() const { return m->rate(); }
    void setRate(double rate) { m->setRate(rate); }
    double minimumRate() const { return MediaPlayer::MinSpeed; }
    double maximumRate() const { return MediaPlayer::MaxSpeed; }
    QVariantMap metadata() const { return m->metadata(); }
    double volume() const { return m->volume(); }
    void setVolume(double volume) { m->setVolume(volume); }
    qlonglong position() const { return m->position(); }
    bool canGoNext() const { return m->nextEntry() >= 0; }
    bool canGoPrevious() const { return m->previousEntry() >= 0; }
    bool canPlay() const { return m->hasMedia(); }
    bool canSeek() const { return m->canSeek(); }
    bool canControl() const { return true; }

public slots:
    void Next() { m->goTo(m->nextEntry()); }
    void Previous() { m->goTo(m->previousEntry()); }
    void Pause() { m->pause(); }
    void PlayPause() { m->playPause(); }
    void Stop() { m->stop(); }
    void Play() { m->play(); }
    void Seek(qlonglong Offset) { m->seek(Offset); }
    void SetPosition(const QDBusObjectPath &TrackId, qlonglong Position)
    {
        m->setPosition(TrackId, Position);
    }
    void OpenUri(const QString &Uri) { m->openUri(Uri); }

signals:
    void Seeked(qlonglong Position);

private:
    MprisObject *m;
};

MprisObject::MprisObject(TForm1 *form, QObject *parent)
    : QObject(parent), m_form(form), m_bus(QDBusConnection::sessionBus())
{
    setObjectName(QStringLiteral("mpris"));
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
    m_registered = m_bus.registerObject(kObjectPath, this, QDBusConnection::ExportAdaptors);
    if (!m_registered) return; // another object holds the path: no MPRIS in this run
    requestName(kServiceName, true);

    // Everything follows the player's and the window's own changes; nothing
    // is polled.
    if (MediaPlayer *p = player()) {
        connect(p, &MediaPlayer::playStateChanged, this, &MprisObject::notifyChanges);
        connect(p, &MediaPlayer::mediumInfoChanged, this, &MprisObject::notifyChanges);
        connect(p, &MediaPlayer::volumeChanged, this, &MprisObject::notifyChanges);
        connect(p, &MediaPlayer::speedChanged, this, &MprisObject::notifyChanges);
        connect(p, &MediaPlayer::seeked, this,
                [this](double at) { emit seeked(toMicroseconds(at)); });
        connect(p, &MediaPlayer::silencePassed, this,
                [this](double at) { emit seeked(toMicroseconds(at)); });
    }
    connect(form->X2, &QAction::toggled, this, &MprisObject::notifyChanges);
    if (Form6) {
        connect(Form6->ListBox1, &QListWidget::currentRowChanged, this,
                &MprisObject::notifyChanges);
        QAbstractItemModel *entries = Form6->ListBox1->model();
        for (auto change : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
            connect(entries, change, this, &MprisObject::notifyChanges);
        connect(entries, &QAbstractItemModel::modelReset, this, &MprisObject::notifyChanges);
    }
    form->installEventFilter(this); // full screen on and off
    m_sentPlayer = playerProperties();
    m_sentRoot = rootProperties();
}

MprisObject::~MprisObject()
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
void MprisObject::requestName(const QString &name, bool fallback)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("RequestName"));
    call << name << kDoNotQueue;
    m_requested << name;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, name, fallback](QDBusPendingCallWatcher *w) {
                w->deleteLater();
                const QDBusMessage reply = w->reply();
                const uint result =
                    reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
                        ? reply.arguments().first().toUInt()
                        : 0;
                if (result == kPrimaryOwner || result == kAlreadyOwner)
                    m_service = name;
                else if (fallback)
                    requestName(
                        kServiceName +
                            QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid()),
                        false);
            });
}

template <class T, class Read> T MprisObject::safely(T fallback, Read &&read) const
{
    try {
        return read();
    } catch (const std::exception &) {
        return fallback;
    }
}

template <class Body> void MprisObject::command(Body &&body)
{
    if (!m_form || !player()) return;
    runHandler(*m_form, nullptr, body);
    notifyChanges();
}

bool MprisObject::hasMedia() const
{
    MediaPlayer *p = player();
    return p && safely(false, [p] { return p->hasCurrentMedia(); });
}

bool MprisObject::canSeek() const
{
    MediaPlayer *p = player();
    return hasMedia() && safely(0.0, [p] { return p->duration(); }) > 0;
}

QString MprisObject::playbackStatus() const
{
    MediaPlayer *p = player();
    const int state = p ? safely(0, [p] { return p->playState(); }) : 0;
    if (state == MediaPlayer::Playing) return QStringLiteral("Playing");
    if (state == MediaPlayer::Paused) return QStringLiteral("Paused");
    return QStringLiteral("Stopped");
}

QString MprisObject::trackId() const
{
    if (!hasMedia()) return kNoTrack;
    const QString url = player()->url();
    if (url != m_trackUrl) {
        m_trackUrl = url;
        ++m_trackNumber;
    }
    // Not under /org/mpris: MPRIS keeps those paths for itself.
    return QStringLiteral("/org/pelmora/track/%1").arg(m_trackNumber);
}

QVariantMap MprisObject::metadata() const
{
    QVariantMap map;
    map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(trackId())));
    if (!hasMedia()) return map;
    MediaPlayer *p = player();
    const QString url = p->url();
    const QVariantMap tags = safely(QVariantMap(), [p] { return p->tags(); });
    const QString title = tags.value(QStringLiteral("title")).toString();
    map.insert(QStringLiteral("xesam:title"), title.isEmpty() ? captionName(url) : title);
    const QString artist = tags.value(QStringLiteral("artist")).toString();
    if (!artist.isEmpty()) map.insert(QStringLiteral("xesam:artist"), QStringList{artist});
    const QString album = tags.value(QStringLiteral("album")).toString();
    if (!album.isEmpty()) map.insert(QStringLiteral("xesam:album"), album);
    const QString art = artUrl();
    if (!art.isEmpty()) map.insert(QStringLiteral("mpris:artUrl"), art);
    const QUrl asUrl(url);
    map.insert(QStringLiteral("xesam:url"),
               asUrl.scheme().size() > 1 ? asUrl.toString() : localNameToUrl(url).toString());
    const double length = safely(0.0, [p] { return p->duration(); });
    if (length > 0) map.insert(QStringLiteral("mpris:length"), toMicroseconds(length));
    return map;
}

double MprisObject::volume() const
{
    MediaPlayer *p = player();
    return p ? safely(0, [p] { return p->volume(); }) / 100.0 : 0.0;
}

qlonglong MprisObject::position() const
{
    if (!hasMedia()) return 0;
    MediaPlayer *p = player();
    return toMicroseconds(safely(0.0, [p] { return p->currentPosition(); }));
}

void MprisObject::play()
{
    command([this] {
        MediaPlayer *p = player();
        if (p->hasCurrentMedia() && p->playState() != MediaPlayer::Playing) p->play();
    });
}

void MprisObject::pause()
{
    command([this] {
        MediaPlayer *p = player();
        if (p->playState() == MediaPlayer::Playing) p->pause();
    });
}

void MprisObject::playPause()
{
    command([this] {
        MediaPlayer *p = player();
        if (p->playState() == MediaPlayer::Playing)
            p->pause();
        else if (p->hasCurrentMedia())
            p->play();
    });
}

void MprisObject::stop()
{
    command([this] {
        MediaPlayer *p = player();
        if (p->hasCurrentMedia()) p->stop();
    });
}

void MprisObject::seek(qlonglong offset)
{
    // The player announces the seek (Seeked).
    command([&] {
        MediaPlayer *p = player();
        if (!p->hasCurrentMedia()) return;
        p->setCurrentPosition(std::max(0.0, p->currentPosition() + offset / 1e6));
    });
}

void MprisObject::setPosition(const QDBusObjectPath &track, qlonglong at)
{
    // A stale track id or a position outside the medium is ignored.
    if (!hasMedia() || track.path() != trackId() || at < 0) return;
    MediaPlayer *p = player();
    if (at > toMicroseconds(safely(0.0, [p] { return p->duration(); }))) return;
    command([&] { p->setCurrentPosition(at / 1e6); });
}

void MprisObject::openUri(const QString &uri)
{
    const QUrl url(uri);
    QString fileName;
    if (url.isLocalFile())
        fileName = localNameFromUrl(url);
    else if (url.scheme().isEmpty() && uri.startsWith(u'/'))
        fileName = uri;
    if (fileName.isEmpty() || !m_form) return;
    // After the answer: opening may ask the user something.
    QPointer<TForm1> form = m_form;
    QTimer::singleShot(0, this, [form, fileName] {
        if (!form) return;
        runHandler(*form, nullptr, [&] {
            if (form->Timer2->isActive()) form->Timer2->stop();
            form->OpenFile(fileName);
        });
    });
}

void MprisObject::raise()
{
    QPointer<TForm1> form = m_form;
    QTimer::singleShot(0, this, [form] {
        if (!form) return;
        if (form->isMinimized()) form->showNormal();
        form->show();
        form->raise();
        form->activateWindow();
    });
}

void MprisObject::quit()
{
    // Not while closing is prevented (CanQuit is false): no box comes up on
    // the desktop from a remote call. Otherwise through the close query,
    // after the answer.
    if (!canQuit()) return;
    QPointer<TForm1> form = m_form;
    QTimer::singleShot(0, this, [form] {
        if (form) form->close();
    });
}

void MprisObject::setVolume(double volume)
{
    if (!std::isfinite(volume)) return;
    command([&] {
        player()->setVolume(std::clamp(static_cast<int>(std::lround(volume * 100)), 0, 100));
    });
}

void MprisObject::setFullscreen(bool on)
{
    if (m_form) m_form->setFullScreenVideo(on);
    notifyChanges();
}

double MprisObject::rate() const
{
    MediaPlayer *p = player();
    return p ? safely(1.0, [p] { return p->speed(); }) : 1.0;
}

void MprisObject::setRate(double rate)
{
    if (!std::isfinite(rate)) return;
    command([&] {
        MediaPlayer *p = player();
        // A rate of 0 is a pause.
        if (rate <= 0.0) {
            if (p->playState() == MediaPlayer::Playing) p->pause();
            return;
        }
        p->setSpeed(rate);
    });
}

void MprisObject::goTo(int entry)
{
    // After the answer: opening may ask the user something.
    if (entry < 0) return;
    QTimer::singleShot(0, this, [entry] {
        if (Form6) Form6->playEntry(entry);
    });
}

// The medium's cover art as a file of the cache, once per track.
QString MprisObject::artUrl() const
{
    MediaPlayer *p = player();
    if (!hasMedia()) return QString();
    const QString track = trackId();
    if (track == m_artTrack) return m_artUrl;
    const QImage art = safely(QImage(), [p] { return p->coverArt(); });
    if (art.isNull()) return QString(); // not yet decoded, or none: asked again later
    m_artTrack = track;
    m_artUrl = coverArtUrl(art, p->url());
    return m_artUrl;
}

bool MprisObject::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_form && event->type() == QEvent::WindowStateChange) notifyChanges();
    return QObject::eventFilter(watched, event);
}

QVariantMap MprisObject::playerProperties() const
{
    QVariantMap map;
    map.insert(QStringLiteral("Rate"), rate());
    map.insert(QStringLiteral("CanGoNext"), nextEntry() >= 0);
    map.insert(QStringLiteral("CanGoPrevious"), previousEntry() >= 0);
    map.insert(QStringLiteral("PlaybackStatus"), playbackStatus());
    map.insert(QStringLiteral("Metadata"), metadata());
    map.insert(QStringLiteral("Volume"), volume());
    map.insert(QStringLiteral("CanPlay"), hasMedia());
    map.insert(QStringLiteral("CanPause"), hasMedia());
    map.insert(QStringLiteral("CanSeek"), canSeek());
    return map;
}

QVariantMap MprisObject::rootProperties() const
{
    QVariantMap map;
    map.insert(QStringLiteral("Fullscreen"), fullscreen());
    map.insert(QStringLiteral("CanQuit"), canQuit());
    return map;
}

void MprisObject::sendChanges(const QString &interface, const QVariantMap &now, QVariantMap &sent)
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

void MprisObject::notifyChanges()
{
    if (!m_registered) return;
    sendChanges(kPlayerInterface, playerProperties(), m_sentPlayer);
    sendChanges(kRootInterface, rootProperties(), m_sentRoot);
}

} // namespace

QObject *createMpris(TForm1 *form, QObject *parent)
{
    if (!form || !QDBusConnection::sessionBus().isConnected()) return nullptr;
    return new MprisObject(form, parent);
}

#include "Mpris_unix.moc"
