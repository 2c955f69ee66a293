#include "cli/Verbs.h"
#include "core/CatalogJSON.h"
#include "core/Envelope.h"
#include "core/FileContents.h"
#include "core/Registry.h"
#include "core/Validation.h"

#include <iostream>

namespace {

// A catalog document is never near this size; the cap keeps a wrong file from filling memory.
constexpr std::size_t maximumCatalogBytes = 64 * 1024 * 1024;

} // namespace

int validateCatalogVerb(const Arguments& arguments) {
    std::string document =
        CenterCore::readFileContents(arguments.positionals(1)[0], maximumCatalogBytes);
    CenterCatalog catalog = CenterCore::decodeCatalog(document);
    CenterCore::validateCatalog(catalog);
    CenterCore::validateRegistered(catalog);
    std::cout << "ok\n";
    return 0;
}

int verifyCatalogVerb(const Arguments& arguments) {
    std::filesystem::path keyFile = arguments.required("--key");
    std::string envelope =
        CenterCore::readFileContents(arguments.positionals(1)[0], CenterCore::maximumEnvelopeBytes);
    std::string key = CenterCore::loadPublicKeyFile(keyFile);
    CenterCatalog catalog = CenterCore::verifyCatalog(envelope, key);
    std::cout << CenterCore::toJSON(catalog).dump(2) << '\n';
    return 0;
}
