#pragma once

#include "tests/support/ProgramRun.h"

#include <filesystem>
#include <string>

// The folder of a key pair committed for the tests (tests/data/test-keys), holding private.key
// and PublicKey.txt as `kestryn-publish keygen` writes them: "publisher" signs what the tests
// publish, "stranger" is a key the center does not know.
inline std::filesystem::path testKeys(const std::string& name = "publisher") {
    return std::filesystem::path(KESTRYN_TEST_DATA) / "test-keys" / name;
}

// The raw Ed25519 signature `openssl pkeyutl`, an implementation of its own, makes of the file's
// bytes with one of those keys.
inline std::string opensslSignature(const std::filesystem::path& message,
                                    const std::string& key = "publisher") {
    return outputOf("/usr/bin/openssl",
                    {"pkeyutl", "-sign", "-rawin", "-inkey",
                     (testKeys(key) / "private.key").string(), "-in", message.string()});
}
