#pragma once

#include "core/CenterError.h"

#include <gmock/gmock.h>
#include <string>

// Matches a callable that throws exactly this CenterError: its kind and the sentence the user
// sees. `EXPECT_THAT([&] { action(); }, ThrowsCenterError(kind, sentence));`
inline auto ThrowsCenterError(CenterError::Kind kind, const std::string& sentence) {
    return ::testing::Throws<CenterError>(::testing::AllOf(
        ::testing::Property("kind", &CenterError::kind, kind),
        ::testing::Property("sentence", &CenterError::what, ::testing::StrEq(sentence))));
}
