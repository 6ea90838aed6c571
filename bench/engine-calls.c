// SPDX-License-Identifier: GPL-3.0-or-later
// A preloaded library that notes when a program hands libmpv its commands:
// for each call of the command and property functions, one line
//   START SECONDS THREAD CPU FUNCTION ARG0 ARG1
// (START on the monotonic clock, SECONDS spent inside the call, THREAD the
// caller's thread id, the program's main thread having the process id, CPU
// the time the calling thread had run when it made the call) in the
// file named by ENGINE_CALLS_LOG. bench/open-latency uses it to tell how long
// after a request the engine is told, and how long the caller waited in it.
//
// Build: cc -O2 -shared -fPIC -o engine-calls.so bench/engine-calls.c -ldl
// Run:   LD_PRELOAD=./engine-calls.so ENGINE_CALLS_LOG=calls.txt program
// (ENGINE_CALLS_MPV_LOG=engine.log also keeps the engine's own log;
// ENGINE_CALLS_MPV_SET="name=value ..." sets engine options, see below.)
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

static int logFd = -2;

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

// The time the calling thread has run, in seconds (as /proc's schedstat).
static double cpu(void)
{
    struct timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static void note(double start, double ran, const char *function, const char *a0, const char *a1)
{
    const double spent = now() - start;
    if (logFd == -2) {
        const char *path = getenv("ENGINE_CALLS_LOG");
        logFd = path ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
    }
    if (logFd < 0) return;
    char line[512];
    const int n = snprintf(line, sizeof line, "%.6f %.6f %ld %.6f %s %.60s %.300s\n", start, spent,
                           (long)syscall(SYS_gettid), ran, function, a0 ? a0 : "-", a1 ? a1 : "-");
    if (n > 0) (void)!write(logFd, line, (size_t)(n < (int)sizeof line ? n : (int)sizeof line - 1));
}

// The program loads libmpv itself (dlopen) and takes its functions with
// dlsym: that dlsym is answered here with this library's own function of the
// name, which then calls libmpv's from the library the program named.
typedef void *(*DlsymFunction)(void *, const char *);
static DlsymFunction realDlsym(void)
{
    static DlsymFunction real;
    if (!real) real = (DlsymFunction)dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.34");
    if (!real) real = (DlsymFunction)dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.2.5");
    return real;
}

static void *mpvLibrary; // the handle the program resolved libmpv's functions in

void *dlsym(void *handle, const char *name);
void *dlsym(void *handle, const char *name)
{
    void *found = realDlsym()(handle, name);
    if (!found || handle == RTLD_NEXT || handle == RTLD_DEFAULT || strncmp(name, "mpv_", 4) != 0)
        return found;
    mpvLibrary = handle;
    // This library's own function of that name, if it has one.
    Dl_info here, there;
    void *own = realDlsym()(RTLD_DEFAULT, name);
    if (own && dladdr((void *)&dlsym, &here) && dladdr(own, &there) &&
        here.dli_fbase == there.dli_fbase)
        return own;
    return found;
}

#define NEXT(name)                                                                                 \
    static __typeof__(name) *next;                                                                 \
    if (!next) next = (__typeof__(name) *)realDlsym()(mpvLibrary ? mpvLibrary : RTLD_NEXT, #name)

int mpv_command(void *ctx, const char **args);
int mpv_command(void *ctx, const char **args)
{
    NEXT(mpv_command);
    const double t = now(), c = cpu();
    const int r = next(ctx, args);
    note(t, c, "command", args && args[0] ? args[0] : NULL, args && args[0] ? args[1] : NULL);
    return r;
}

int mpv_command_ret(void *ctx, const char **args, void *result);
int mpv_command_ret(void *ctx, const char **args, void *result)
{
    NEXT(mpv_command_ret);
    const double t = now(), c = cpu();
    const int r = next(ctx, args, result);
    note(t, c, "command_ret", args && args[0] ? args[0] : NULL, args && args[0] ? args[1] : NULL);
    return r;
}

int mpv_command_async(void *ctx, uint64_t id, const char **args);
int mpv_command_async(void *ctx, uint64_t id, const char **args)
{
    NEXT(mpv_command_async);
    const double t = now(), c = cpu();
    const int r = next(ctx, id, args);
    note(t, c, "command_async", args && args[0] ? args[0] : NULL, args && args[0] ? args[1] : NULL);
    return r;
}

int mpv_command_node(void *ctx, void *args, void *result);
int mpv_command_node(void *ctx, void *args, void *result)
{
    NEXT(mpv_command_node);
    const double t = now(), c = cpu();
    const int r = next(ctx, args, result);
    note(t, c, "command_node", NULL, NULL);
    return r;
}

int mpv_command_node_async(void *ctx, uint64_t id, void *args);
int mpv_command_node_async(void *ctx, uint64_t id, void *args)
{
    NEXT(mpv_command_node_async);
    const double t = now(), c = cpu();
    const int r = next(ctx, id, args);
    note(t, c, "command_node_async", NULL, NULL);
    return r;
}

int mpv_command_string(void *ctx, const char *args);
int mpv_command_string(void *ctx, const char *args)
{
    NEXT(mpv_command_string);
    const double t = now(), c = cpu();
    const int r = next(ctx, args);
    note(t, c, "command_string", args, NULL);
    return r;
}

int mpv_set_property(void *ctx, const char *name, int format, void *data);
int mpv_set_property(void *ctx, const char *name, int format, void *data)
{
    NEXT(mpv_set_property);
    const double t = now(), c = cpu();
    const int r = next(ctx, name, format, data);
    note(t, c, "set_property", name, NULL);
    return r;
}

int mpv_set_property_string(void *ctx, const char *name, const char *data);
int mpv_set_property_string(void *ctx, const char *name, const char *data)
{
    NEXT(mpv_set_property_string);
    const double t = now(), c = cpu();
    const int r = next(ctx, name, data);
    note(t, c, "set_property_string", name, data);
    return r;
}

int mpv_set_property_async(void *ctx, uint64_t id, const char *name, int format, void *data);
int mpv_set_property_async(void *ctx, uint64_t id, const char *name, int format, void *data)
{
    NEXT(mpv_set_property_async);
    const double t = now(), c = cpu();
    const int r = next(ctx, id, name, format, data);
    note(t, c, "set_property_async", name, NULL);
    return r;
}

int mpv_get_property(void *ctx, const char *name, int format, void *data);
int mpv_get_property(void *ctx, const char *name, int format, void *data)
{
    NEXT(mpv_get_property);
    const double t = now(), c = cpu();
    const int r = next(ctx, name, format, data);
    note(t, c, "get_property", name, NULL);
    return r;
}

// The engine's events as the program takes them (only the ones with a number
// other than "none"): the moment the program learns that a medium has
// loaded, restarted after a seek, or ended.
struct EngineEvent {
    int event_id;
};
void *mpv_wait_event(void *ctx, double timeout);
void *mpv_wait_event(void *ctx, double timeout)
{
    NEXT(mpv_wait_event);
    const double t = now(), c = cpu();
    struct EngineEvent *e = next(ctx, timeout);
    if (e && e->event_id != 0 && e->event_id != 22) { // none; property changes are many
        char id[16];
        snprintf(id, sizeof id, "%d", e->event_id);
        note(t, c, "event", id, NULL);
    }
    return e;
}

// Each frame drawn through the render API, on the caller's thread.
int mpv_render_context_render(void *ctx, void *params);
int mpv_render_context_render(void *ctx, void *params)
{
    NEXT(mpv_render_context_render);
    const double t = now(), c = cpu();
    const int r = next(ctx, params);
    note(t, c, "render", NULL, NULL);
    return r;
}

// With ENGINE_CALLS_MPV_LOG set, the engine writes its own log there (what
// it did between the events), as mpv's --log-file does. ENGINE_CALLS_MPV_SET
// ("name=value name=value") sets engine options over the program's, to try
// what a change of them would do.
int mpv_initialize(void *ctx);
int mpv_initialize(void *ctx)
{
    NEXT(mpv_initialize);
    typedef int (*SetOption)(void *, const char *, const char *);
    const SetOption mpv_set_option_string =
        (SetOption)realDlsym()(mpvLibrary ? mpvLibrary : RTLD_NEXT, "mpv_set_option_string");
    const char *path = getenv("ENGINE_CALLS_MPV_LOG");
    if (path && *path) mpv_set_option_string(ctx, "log-file", path);
    const char *set = getenv("ENGINE_CALLS_MPV_SET");
    char option[256];
    while (set && *set) {
        const size_t n = strcspn(set, " ");
        if (n > 0 && n < sizeof option) {
            memcpy(option, set, n);
            option[n] = '\0';
            char *value = strchr(option, '=');
            if (value) {
                *value++ = '\0';
                mpv_set_option_string(ctx, option, value);
            }
        }
        set += n;
        set += strspn(set, " ");
    }
    return next(ctx);
}
