/* Times a program from its exec to the mapping of its first top-level window.
 *
 *   mapwait COMMAND [ARGS...]   ->   "<ms> <width>x<height> <libraries> <cpu ms>" on stdout
 *
 * Watches the root window of $DISPLAY for MapNotify (no window manager: top-level windows are
 * the root's children), starts the clock, forks and execs the command, and stops the clock at
 * the first mapped window that is not override-redirect (no menu or tooltip). The program is
 * then ended with SIGTERM (SIGKILL after two seconds). Exit status 1 when no window is mapped
 * within ten seconds or the command cannot run.
 */
#define _POSIX_C_SOURCE 200809L
#include <X11/Xlib.h>
#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

/* Distinct shared objects in /proc/PID/maps. */
static int countLibraries(pid_t pid) {
    char path[64], line[4096], seen[512][256];
    int n = 0;
    snprintf(path, sizeof path, "/proc/%d/maps", (int)pid);
    FILE* f = fopen(path, "r");
    if (!f)
        return -1;
    while (fgets(line, sizeof line, f)) {
        const char* name = strchr(line, '/');
        if (!name || !strstr(name, ".so"))
            continue;
        int known = 0;
        for (int i = 0; i < n && !known; ++i)
            known = strncmp(seen[i], name, sizeof seen[i] - 1) == 0;
        if (!known && n < 512)
            snprintf(seen[n++], sizeof seen[0], "%s", name);
    }
    fclose(f);
    return n;
}

/* Processor time of all the process's threads so far, in milliseconds. */
static double cpuMilliseconds(pid_t pid) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/task", (int)pid);
    DIR* dir = opendir(path);
    if (!dir)
        return -1;
    double ns = 0;
    struct dirent* d;
    while ((d = readdir(dir)) != NULL) {
        if (d->d_name[0] == '.')
            continue;
        char stat[600];
        snprintf(stat, sizeof stat, "%s/%s/schedstat", path, d->d_name);
        FILE* f = fopen(stat, "r");
        unsigned long long run = 0;
        if (f && fscanf(f, "%llu", &run) == 1)
            ns += (double)run;
        if (f)
            fclose(f);
    }
    closedir(dir);
    return ns / 1e6;
}

static void end(pid_t pid) {
    kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, NULL, WNOHANG) == pid)
            return;
        nanosleep(&(struct timespec){0, 10000000}, NULL);
    }
    kill(pid, SIGKILL);
    waitpid(pid, NULL, 0);
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: mapwait COMMAND [ARGS...]\n");
        return 2;
    }
    Display* dpy = XOpenDisplay(NULL);
    if (!dpy) {
        fprintf(stderr, "mapwait: cannot open the display\n");
        return 2;
    }
    XSelectInput(dpy, DefaultRootWindow(dpy), SubstructureNotifyMask);
    XSync(dpy, False);
    const double start = now();
    const pid_t pid = fork();
    if (pid == 0) {
        close(ConnectionNumber(dpy));
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    int status = 1;
    while (now() - start < 10000) {
        if (!XPending(dpy)) {
            struct pollfd p = {ConnectionNumber(dpy), POLLIN, 0};
            poll(&p, 1, 100);
            if (waitpid(pid, NULL, WNOHANG) == pid) {
                fprintf(stderr, "mapwait: %s ended without a window\n", argv[1]);
                return 1;
            }
            continue;
        }
        XEvent e;
        XNextEvent(dpy, &e);
        if (e.type != MapNotify || e.xmap.override_redirect)
            continue;
        const double ms = now() - start;
        XWindowAttributes a;
        XGetWindowAttributes(dpy, e.xmap.window, &a);
        printf("%.1f %dx%d %d %.1f\n", ms, a.width, a.height, countLibraries(pid),
               cpuMilliseconds(pid));
        status = 0;
        break;
    }
    if (status)
        fprintf(stderr, "mapwait: no window within ten seconds\n");
    end(pid);
    XCloseDisplay(dpy);
    return status;
}
