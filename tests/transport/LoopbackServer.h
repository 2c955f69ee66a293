#pragma once

#include "tests/support/Failure.h"
#include "tests/support/HttpsServer.h"
#include "tests/support/Noise.h"
#include "tests/support/TemporaryDirectory.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

// A fixture with a real HTTPS server on 127.0.0.1 whose certificate the transport trusts
// through KESTRYN_CA_FILE, and a scratch folder.
class LoopbackServer : public ::testing::Test {
  protected:
    LoopbackServer() { ::setenv("KESTRYN_CA_FILE", server.caFile().c_str(), 1); }
    ~LoopbackServer() override { ::unsetenv("KESTRYN_CA_FILE"); }

    // Its certificate also names two official-looking hosts, for clients that reach them through
    // KESTRYN_CONNECT_TO.
    HttpsServer server{0, {"updates.kestryn.test", "mirror.kestryn.test"}};
    TemporaryDirectory scratch;
};
