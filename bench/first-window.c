// SPDX-License-Identifier: GPL-3.0-or-later
// Starts a program and tells how long after the fork its first visible
// top-level window was mapped on the X display: it listens for the display's
// MapNotify events on the root window (selected before the fork, so none is
// missed), which costs nothing while it waits and is exact to the moment the
// X server maps the window.
//
// Usage: first-window LOG DIR PROGRAM [ARGUMENT...]
// The program runs in DIR with its output in LOG. On standard output:
//   pid PID START      (START: the wall clock at the fork, in seconds)
//   mapped SECONDS 0xWINDOW WIDTHxHEIGHT TITLE
// or "unmapped REASON" when the program ended or no window came within 60 s.
// It then stays until the program ends and exits with the program's status.
#define _GNU_SOURCE
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double now(clockid_t clock)
{
    struct timespec t;
    clock_gettime(clock, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static int ignoreErrors(Display *display, XErrorEvent *error)
{
    (void)display;
    (void)error;
    return 0;
}

// The pid a window names as its owner (_NET_WM_PID), or -1 without one.
static long windowPid(Display *display, Window window)
{
    static Atom pidAtom = None;
    if (pidAtom == None) pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *data = NULL;
    long pid = -1;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success &&
        data) {
        if (type == XA_CARDINAL && format == 32 && count == 1) pid = (long)*(unsigned long *)data;
        XFree(data);
    }
    return pid;
}

// The window's title (_NET_WM_NAME, UTF-8), or "" without one.
static void printTitle(Display *display, Window window)
{
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *data = NULL;
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0, 256,
                           False, XInternAtom(display, "UTF8_STRING", False), &type, &format,
                           &count, &after, &data) == Success &&
        data) {
        if (format == 8) fwrite(data, 1, count, stdout);
        XFree(data);
    }
}

static int finish(pid_t child)
{
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

int main(int argc, char **argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: first-window LOG DIR PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    setvbuf(stdout, NULL, _IOLBF, 0);
    Display *display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "first-window: cannot open the display\n");
        return 2;
    }
    XSetErrorHandler(ignoreErrors);
    fcntl(ConnectionNumber(display), F_SETFD, FD_CLOEXEC);
    const Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False);

    const double startWall = now(CLOCK_REALTIME);
    const double start = now(CLOCK_MONOTONIC);
    const pid_t child = fork();
    if (child < 0) {
        perror("first-window: fork");
        return 2;
    }
    if (child == 0) {
        const int log = open(argv[1], O_WRONLY | O_CREAT | O_APPEND, 0644);
        const int null = open("/dev/null", O_RDONLY);
        if (log < 0 || null < 0 || chdir(argv[2]) != 0) _exit(127);
        dup2(null, 0);
        dup2(log, 1);
        dup2(log, 2);
        execv(argv[3], argv + 3);
        _exit(127);
    }
    printf("pid %ld %.6f\n", (long)child, startWall);

    struct pollfd connection = {ConnectionNumber(display), POLLIN, 0};
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != MapNotify || event.xmap.override_redirect) continue;
            const double elapsed = now(CLOCK_MONOTONIC) - start;
            const Window window = event.xmap.window;
            // A window of this program (the display is private, but check)
            // that is really on the screen.
            const long owner = windowPid(display, window);
            XWindowAttributes attributes;
            if (!XGetWindowAttributes(display, window, &attributes)) continue;
            if (attributes.class != InputOutput || attributes.map_state != IsViewable) continue;
            if (owner != -1 && owner != (long)child) continue;
            printf("mapped %.4f 0x%lx %dx%d ", elapsed, (unsigned long)window, attributes.width,
                   attributes.height);
            printTitle(display, window);
            printf("\n");
            XCloseDisplay(display);
            return finish(child);
        }
        int status;
        if (waitpid(child, &status, WNOHANG) == child) {
            printf("unmapped the program ended\n");
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        }
        if (now(CLOCK_MONOTONIC) - start > 60) {
            printf("unmapped no window within 60 s\n");
            XCloseDisplay(display);
            return finish(child);
        }
        poll(&connection, 1, 20);
    }
}
