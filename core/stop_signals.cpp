#include "core/stop_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace quarn {

namespace {

int g_pipe[2] = {-1, -1};
std::atomic<int> g_count{0};
std::atomic<int> g_hardExit{130};

void onSignal(int sig) {
    if (g_count.fetch_add(1) > 0) ::_exit(g_hardExit.load());
    const char c = static_cast<char>(sig);
    [[maybe_unused]] ssize_t n = ::write(g_pipe[1], &c, 1);  // nothing to do if it fails
}

}  // namespace

bool installStopSignals(int hardExit) {
    g_hardExit = hardExit;
    if (g_pipe[0] >= 0) return true;
    ::signal(SIGPIPE, SIG_IGN);
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        if (::sigaction(sig, &sa, nullptr) != 0) return false;
    return true;
}

int stopSignalFd() { return g_pipe[0]; }

int stopSignalCount() { return g_count.load(); }

void drainStopSignals() {
    char buf[16];
    while (g_pipe[0] >= 0 && ::read(g_pipe[0], buf, sizeof buf) > 0) {
    }
}

}  // namespace quarn
