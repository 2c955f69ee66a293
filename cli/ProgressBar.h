#pragma once

#include <cstdio>

// A bar on the terminal, redrawn only when the whole percentage changes.
class ProgressBar {
  public:
    static constexpr int barWidth = 40;

    void operator()(double fraction) {
        int percent = static_cast<int>(fraction * 100);
        if (percent == shown_) {
            return;
        }
        shown_ = percent;
        int filled = percent * barWidth / 100;
        std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled,
                     "########################################", barWidth - filled, "", percent);
        std::fflush(stderr);
    }
    ~ProgressBar() { end(); }

    // Ends the bar's line, so what follows starts on a line of its own.
    void end() {
        if (shown_ >= 0) {
            std::fputc('\n', stderr);
            shown_ = -1;
        }
    }

  private:
    int shown_ = -1;
};
