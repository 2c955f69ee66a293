#pragma once

#include "core/FileDescriptor.h"

#include <atomic>
#include <csignal>
#include <stop_token>
#include <thread>

// Turns Ctrl+C (SIGINT) or SIGTERM into a stop request for the command's work, so an
// interrupted download or catalog fetch still removes its temporary files. Construct it
// before any other thread starts; the signals stay blocked for the rest of the process.
class InterruptStop {
  public:
    InterruptStop();
    InterruptStop(const InterruptStop&) = delete;
    InterruptStop& operator=(const InterruptStop&) = delete;
    ~InterruptStop();

    // The token the interrupted work watches.
    [[nodiscard]] std::stop_token token() const { return source_.get_token(); }
    // Whether Ctrl+C or SIGTERM reached any InterruptStop of the process: a failure after it is
    // the interruption's.
    [[nodiscard]] static bool received() { return received_.load(); }

  private:
    void watch();

    static inline std::atomic<bool> received_ = false;
    sigset_t signals_{};
    std::stop_source source_;
    FileDescriptor signalled_;
    FileDescriptor finished_;
    std::thread watcher_;
};
