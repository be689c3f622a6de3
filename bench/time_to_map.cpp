// time_to_map PROGRAM: starts PROGRAM and prints the seconds until its first window is
// mapped on the X display, then its peak resident memory in KiB. Listening on the root
// window before the program starts leaves no race with its first map.
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

namespace {

long PeakRssKib(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

bool WaitForMap(Display* display, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify) return true;
        }
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(ConnectionNumber(display), &fds);
        timeval tick{0, 10000};
        select(ConnectionNumber(display) + 1, &fds, nullptr, nullptr, &tick);
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: time_to_map PROGRAM\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "time_to_map: cannot open the display\n");
        return 1;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    const auto started = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execl(argv[1], argv[1], static_cast<char*>(nullptr));
        _exit(127);
    }
    const bool mapped = WaitForMap(display, std::chrono::seconds(30));
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    // Let it paint and settle before reading its peak memory.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const long rss = PeakRssKib(pid);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    XCloseDisplay(display);
    if (!mapped) {
        std::fprintf(stderr, "time_to_map: %s mapped no window\n", argv[1]);
        return 1;
    }
    std::printf("%.6f %ld\n", elapsed.count(), rss);
    return 0;
}
