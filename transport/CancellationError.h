#pragma once

#include <stdexcept>

// The caller's stop request, seen before a transfer began or after it ended.
class CancellationError : public std::runtime_error {
  public:
    CancellationError() : std::runtime_error("cancelled") {}
};
