#pragma once

#include <stdexcept>

// A failure of a layer above the core whose what() already is the user's sentence (the
// transport's TransferError); describeError passes it through unchanged.
class LocalizedError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
