#pragma once

#include "tests/support/HttpsServer.h"

// What the main() of the web page tests (WebTestMain.cpp) provides to its tests.

// The portal's host in these tests; the server answers for it.
inline constexpr const char* webTestHost = "www.kestryn.test";

// The loopback HTTPS server behind `webTestHost`.
[[nodiscard]] HttpsServer& webTestServer();
