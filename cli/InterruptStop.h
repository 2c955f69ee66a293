#pragma once

#include <csignal>
#include <ctime>
#include <stop_token>
#include <thread>

// Turns Ctrl+C (SIGINT) or SIGTERM into a stop request for the command's work, so an
// interrupted download or catalog fetch still removes its temporary files. Construct it
// before any other thread starts; the signals stay blocked for the rest of the process.
class InterruptStop {
  public:
    InterruptStop() {
        sigemptyset(&signals_);
        sigaddset(&signals_, SIGINT);
        sigaddset(&signals_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
        watcher_ = std::jthread([this](std::stop_token finished) {
            timespec tick{0, 100'000'000};
            while (!finished.stop_requested()) {
                if (sigtimedwait(&signals_, nullptr, &tick) > 0) {
                    source_.request_stop();
                    return;
                }
            }
        });
    }

    // The token the interrupted work watches.
    [[nodiscard]] std::stop_token token() const { return source_.get_token(); }

  private:
    sigset_t signals_{};
    std::stop_source source_;
    std::jthread watcher_;
};
