// pelko-mapwait COMMAND [ARGUMENT...]
//
// Starts COMMAND and reports when it has a window on screen, timed the same
// way for any X program: from just before the process is started to the X
// server's MapNotify for the first top-level window (override-redirect
// windows such as tooltips do not count). Prints "mapped SECONDS PID" on
// standard output as soon as that happens (or "ended STATUS" when the
// command ends first), then waits for the command and exits with its status.
// The command's own standard output goes to standard error, so that the
// report is the only line on standard output.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double now()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

int exitCode(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs("usage: pelko-mapwait COMMAND [ARGUMENT...]\n", stderr);
        return 2;
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fputs("pelko-mapwait: cannot open the display\n", stderr);
        return 2;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_void_cookie_t cookie =
        xcb_change_window_attributes_checked(c, screen->root, XCB_CW_EVENT_MASK, &mask);
    if (xcb_generic_error_t* e = xcb_request_check(c, cookie)) {
        std::free(e);
        std::fputs("pelko-mapwait: cannot watch the root window\n", stderr);
        return 2;
    }

    const double start = now();
    const pid_t pid = fork();
    if (pid < 0)
        return 2;
    if (pid == 0) {
        close(xcb_get_file_descriptor(c));
        dup2(STDERR_FILENO, STDOUT_FILENO);
        execvp(argv[1], argv + 1);
        _exit(127);
    }

    pollfd p {xcb_get_file_descriptor(c), POLLIN, 0};
    for (;;) {
        while (xcb_generic_event_t* ev = xcb_poll_for_event(c)) {
            const bool mapped = (ev->response_type & 0x7f) == XCB_MAP_NOTIFY &&
                                !reinterpret_cast<xcb_map_notify_event_t*>(ev)->override_redirect;
            std::free(ev);
            if (mapped) {
                std::printf("mapped %.6f %d\n", now() - start, int(pid));
                std::fflush(stdout);
                xcb_disconnect(c);
                int status = 0;
                waitpid(pid, &status, 0);
                return exitCode(status);
            }
        }
        if (xcb_connection_has_error(c))
            break;
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            std::printf("ended %d\n", exitCode(status));
            return exitCode(status);
        }
        poll(&p, 1, 20);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return exitCode(status);
}
