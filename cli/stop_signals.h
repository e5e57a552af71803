#pragma once
// Ctrl+C, SIGTERM and SIGHUP all end a long command the same way: it stops
// what it is doing, keeps what it made, and exits with 128 + the signal.
#include <atomic>
#include <csignal>

namespace murrel::cli {

inline std::atomic<int>& stop_signal() {
    static std::atomic<int> received{0};
    return received;
}

inline void catch_stop_signals() {
    struct sigaction sa {};
    sa.sa_handler = [](int sig) { stop_signal().store(sig); };
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &sa, nullptr);
}

inline bool stop_requested() { return stop_signal().load() != 0; }

// 130 after Ctrl+C, 143 after SIGTERM, 129 after SIGHUP; `otherwise` when none came.
inline int stop_exit_code(int otherwise) {
    const int sig = stop_signal().load();
    return sig ? 128 + sig : otherwise;
}

}  // namespace murrel::cli
