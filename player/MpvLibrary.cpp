// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/MpvLibrary.h"

#include "persist/LateLibrary.h"

#include <atomic>
#include <mutex>

namespace
{

MpvCalls calls;
QString failure;
std::atomic<bool> loaded{false};

} // namespace

QString loadMpv()
{
    static std::once_flag once;
    std::call_once(once, [] {
        static LateLibrary library(PELMORA_MPV_LIBRARY);
        if (library.load()) {
#define PELMORA_MPV_RESOLVE(name) library.resolve(calls.name, #name);
            PELMORA_MPV_CALLS(PELMORA_MPV_RESOLVE)
#undef PELMORA_MPV_RESOLVE
        }
        failure = library.why();
        loaded = failure.isEmpty();
    });
    return failure;
}

const MpvCalls &libmpv()
{
    return calls;
}

QString mpvErrorText(int error)
{
    if (!loaded) return QStringLiteral("libmpv が読み込まれていません");
    return QString::fromUtf8(calls.mpv_error_string(error));
}
