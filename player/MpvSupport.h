// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared by the files of the libmpv player component.
#include "player/MpvLibrary.h"

#include "persist/AppError.h"

#include <QString>

#include <cstdint>
#include <cstring>

// Seeks count their reply_userdata from here up; the observed properties lie
// below it.
inline constexpr std::uint64_t SeekSerialBase = 1000;
// A seek whose landing the engine never reports stops being reported as the
// position after this long.
inline constexpr int SeekGiveUpMs = 5000;

// Positions played this far apart still belong to one stretch heard.
inline constexpr double ListenStepSeconds = 10.0;

// The value of a key in a node map; null when absent.
inline const mpv_node *mapValue(const mpv_node &map, const char *key)
{
    if (map.format != MPV_FORMAT_NODE_MAP) return nullptr;
    for (int i = 0; i < map.u.list->num; ++i) {
        if (std::strcmp(map.u.list->keys[i], key) == 0) return &map.u.list->values[i];
    }
    return nullptr;
}

inline QString nodeText(const mpv_node *node)
{
    return node && node->format == MPV_FORMAT_STRING ? QString::fromUtf8(node->u.string)
                                                     : QString();
}

inline double nodeNumber(const mpv_node *node, double fallback = 0.0)
{
    if (!node) return fallback;
    if (node->format == MPV_FORMAT_DOUBLE) return node->u.double_;
    if (node->format == MPV_FORMAT_INT64) return static_cast<double>(node->u.int64);
    return fallback;
}

inline bool nodeFlag(const mpv_node *node)
{
    return node && node->format == MPV_FORMAT_FLAG && node->u.flag;
}

// A call that the engine refused, as the player's AppError.
[[noreturn]] inline void refused(const char *what, int err)
{
    throw AppError(QStringLiteral("再生エンジンが要求を受け付けませんでした（%1: %2）")
                       .arg(QString::fromLatin1(what), mpvErrorText(err)));
}

inline void check(int err, const char *what)
{
    if (err < 0) refused(what, err);
}
