// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// libmpv, loaded when the engine first starts (after the window has shown
// itself), not with the program. Its header declares the functions; the
// program calls them through the table below, never by name.
#include <mpv/client.h>
#include <mpv/render_gl.h>

#include <QString>

// The functions of libmpv the program calls.
#define PELMORA_MPV_CALLS(X)                                                                       \
    X(mpv_create)                                                                                  \
    X(mpv_initialize)                                                                              \
    X(mpv_set_option_string)                                                                       \
    X(mpv_terminate_destroy)                                                                       \
    X(mpv_set_wakeup_callback)                                                                     \
    X(mpv_wait_event)                                                                              \
    X(mpv_observe_property)                                                                        \
    X(mpv_set_property)                                                                            \
    X(mpv_set_property_async)                                                                      \
    X(mpv_set_property_string)                                                                     \
    X(mpv_get_property)                                                                            \
    X(mpv_get_property_string)                                                                     \
    X(mpv_command)                                                                                 \
    X(mpv_command_ret)                                                                             \
    X(mpv_command_async)                                                                           \
    X(mpv_free)                                                                                    \
    X(mpv_free_node_contents)                                                                      \
    X(mpv_error_string)                                                                            \
    X(mpv_render_context_create)                                                                   \
    X(mpv_render_context_free)                                                                     \
    X(mpv_render_context_render)                                                                   \
    X(mpv_render_context_set_update_callback)                                                      \
    X(mpv_render_context_update)

struct MpvCalls {
#define PELMORA_MPV_MEMBER(name) decltype(&::name) name = nullptr;
    PELMORA_MPV_CALLS(PELMORA_MPV_MEMBER)
#undef PELMORA_MPV_MEMBER
};

// Loads libmpv and resolves its functions, once for the run; from any
// thread, a second caller waits for the first. Empty when it is usable,
// else why not.
QString loadMpv();
// The functions, once loadMpv() has returned empty.
const MpvCalls &libmpv();
// The engine's word for an error code; also when libmpv is not loaded.
QString mpvErrorText(int error);
