#pragma once

#include "core/LocalizedError.h"

#include <string>

// A refusal of the self-updater; what() is the complete Chinese sentence the user sees.
class CenterSelfUpdateError : public LocalizedError {
  public:
    explicit CenterSelfUpdateError(const std::string& message) : LocalizedError(message) {}
};
