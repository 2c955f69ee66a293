#pragma once

#include "core/LocalizedError.h"

#include <string>

// The model's and the window's own failure: one complete sentence, shown as it is.
class CenterUIError : public LocalizedError {
  public:
    static CenterUIError message(const std::string& text) { return CenterUIError(text); }

  private:
    explicit CenterUIError(const std::string& text) : LocalizedError(text) {}
};
