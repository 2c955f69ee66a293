#include "cli/InterruptStop.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <system_error>

InterruptStop::InterruptStop() {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
    signalled_.reset(::signalfd(-1, &signals_, SFD_CLOEXEC));
    finished_.reset(::eventfd(0, EFD_CLOEXEC));
    if (!signalled_.valid() || !finished_.valid()) {
        throw std::system_error(errno, std::generic_category(), "cannot watch for interrupts");
    }
    watcher_ = std::thread([this] { watch(); });
}

InterruptStop::~InterruptStop() {
    // Wakes the watcher at once: a finished command does not wait for a polling tick. Adding 1
    // to a fresh eventfd counter cannot fail.
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t woken = ::write(finished_.get(), &one, sizeof one);
    watcher_.join();
}

void InterruptStop::watch() {
    pollfd waits[] = {{signalled_.get(), POLLIN, 0}, {finished_.get(), POLLIN, 0}};
    for (;;) {
        if (::poll(waits, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if ((waits[1].revents & POLLIN) != 0) {
            return;
        }
        if ((waits[0].revents & POLLIN) != 0) {
            received_ = true;
            source_.request_stop();
            return;
        }
    }
}
