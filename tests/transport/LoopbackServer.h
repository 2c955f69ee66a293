#pragma once

#include "tests/support/HttpsServer.h"
#include "tests/support/TemporaryDirectory.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

// The error of type Error that `call` throws; anything else, or nothing, fails the test.
template <typename Error, typename Call> Error failureOf(Call&& call) {
    try {
        call();
    } catch (const Error& error) {
        return error;
    }
    throw std::logic_error("the call did not fail as expected");
}

// `size` bytes in a pattern that repeats only every 251 bytes, so misplaced pieces show; the seed
// makes a different file of the same size.
inline std::string numbered(std::size_t size, int seed = 0) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + static_cast<std::size_t>(seed)) % 251);
    }
    return bytes;
}

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
