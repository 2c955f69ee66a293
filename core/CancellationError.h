#pragma once

#include <stdexcept>

// The caller's stop request, honoured at a point where the work could end cleanly: before a
// transfer began or after it ended, or between two steps of an installation. what() is the
// sentence the user sees for every cancelled operation.
class CancellationError : public std::runtime_error {
  public:
    CancellationError() : std::runtime_error("操作已取消。") {}
};
