#include "cli/CatalogFile.h"
#include "cli/Verbs.h"
#include "core/CatalogJSON.h"
#include "core/CenterError.h"
#include "core/Envelope.h"
#include "core/FileContents.h"
#include "core/Registry.h"
#include "core/Validation.h"

#include <iostream>

int validateCatalogVerb(const Arguments& arguments) {
    CenterCatalog catalog = readCatalogFile(arguments.positionals(1)[0]);
    CenterCore::validateCatalog(catalog);
    CenterCore::validateRegistered(catalog);
    std::cout << "ok\n";
    return 0;
}

int verifyCatalogVerb(const Arguments& arguments) {
    std::filesystem::path keyFile = arguments.required("--key");
    std::string envelope =
        CenterCore::readFileContents(arguments.positionals(1)[0], CenterCore::maximumEnvelopeBytes);
    if (envelope.size() > CenterCore::maximumEnvelopeBytes) {
        throw CenterError::invalid("签名后的发布清单超过 8 MiB，软件中心不会接受。");
    }
    std::string key = CenterCore::loadPublicKeyFile(keyFile);
    CenterCatalog catalog = CenterCore::verifyCatalog(envelope, key);
    std::cout << CenterCore::toJSON(catalog).dump(2) << '\n';
    return 0;
}
