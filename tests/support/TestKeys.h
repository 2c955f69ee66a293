#pragma once

#include <filesystem>
#include <string>

// The folder of a key pair committed for the tests (tests/data/test-keys), holding private.key
// and PublicKey.txt as `kestryn-publish keygen` writes them: "publisher" signs what the tests
// publish, "stranger" is a key the center does not know.
inline std::filesystem::path testKeys(const std::string& name = "publisher") {
    return std::filesystem::path(KESTRYN_TEST_DATA) / "test-keys" / name;
}
