// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/MediaName.h"

#include "persist/LocalNames.h"

#include <QUrl>

const QStringList &networkSchemes()
{
    static const QStringList schemes = {
        QStringLiteral("http"),  QStringLiteral("https"), QStringLiteral("ftp"),
        QStringLiteral("rtsp"),  QStringLiteral("rtsps"), QStringLiteral("rtmp"),
        QStringLiteral("rtmps"), QStringLiteral("mms"),   QStringLiteral("mmsh"),
        QStringLiteral("mmst"),
    };
    return schemes;
}

namespace
{

// The scheme of a name as RFC 3986 has it: a letter, then letters, digits,
// "+", "-" or ".", up to the first ":". Empty when the name has none.
QString schemeOf(const QString &name)
{
    const qsizetype colon = name.indexOf(u':');
    if (colon <= 0) return QString();
    for (qsizetype i = 0; i < colon; ++i) {
        const char16_t c = name.at(i).unicode();
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        const bool other = (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
        if (!letter && (i == 0 || !other)) return QString();
    }
    return name.left(colon).toLower();
}

} // namespace

MediaName classifyMediaName(const QString &name)
{
    if (name.trimmed().isEmpty()) return {};
    const QString scheme = schemeOf(name);
    // No scheme, or a drive letter ("C:\talk.mp3"): a path.
    if (scheme.size() < 2) return {MediaNameKind::Local, name};
    if (scheme == QLatin1String("file")) {
        const QUrl url(name);
        if (!url.isValid() || !url.isLocalFile()) return {MediaNameKind::Refused, QString()};
        return {MediaNameKind::Local, url.toLocalFile()};
    }
    if (networkSchemes().contains(scheme)) {
        // A stream needs "scheme://" and a host: "http:fifo" is a local name
        // (the engine would open it as one), and gets the local checks.
        const QUrl url(name, QUrl::StrictMode);
        if (QStringView(name).mid(scheme.size() + 1).startsWith(u"//") && url.isValid() &&
            !url.host().isEmpty())
            return {MediaNameKind::Network, name};
        return {MediaNameKind::Local, name};
    }
    return {MediaNameKind::Refused, QString()};
}

QString engineTarget(const QString &name)
{
    if (name.trimmed().isEmpty()) return {};
    if (localNameIsFile(name)) return localNameAbsolute(name);
    const MediaName kind = classifyMediaName(name);
    if (kind.kind == MediaNameKind::Network) return kind.path;
    if (kind.kind != MediaNameKind::Local) return {};
    return localNameIsFile(kind.path) ? localNameAbsolute(kind.path) : QString();
}
