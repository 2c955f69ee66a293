#include "core/Base64.h"
#include "core/CatalogJSON.h"
#include "core/CenterError.h"
#include "core/Envelope.h"
#include "core/FileContents.h"
#include "core/Registry.h"
#include "core/Validation.h"
#include "publisher/PrivateKey.h"
#include "publisher/Verbs.h"

#include <iostream>
#include <nlohmann/json.hpp>

int signVerb(const Arguments& arguments) {
    std::filesystem::path catalogFile = arguments.positionals(1)[0];
    const PrivateKey key(arguments.required("--key"));
    std::string document =
        CenterCore::readFileContents(catalogFile, CenterCore::maximumEnvelopeBytes);
    if (document.size() > CenterCore::maximumEnvelopeBytes) {
        throw CenterError::invalid("签名后的发布清单超过 8 MiB，软件中心不会接受。");
    }

    // The same checks the center makes, so a publisher never ships a catalog it would reject.
    CenterCatalog catalog = CenterCore::decodeCatalog(document);
    CenterCore::validateCatalog(catalog);
    CenterCore::validateRegistered(catalog);

    nlohmann::json envelope = {
        {"payload", CenterCore::base64Encode(document)},
        {"signature", CenterCore::base64Encode(key.sign(document, "无法签署发布清单。"))}};
    std::string text = envelope.dump();
    if (text.size() + 1 > CenterCore::maximumEnvelopeBytes) {
        throw CenterError::invalid("签名后的发布清单超过 8 MiB，软件中心不会接受。");
    }
    std::cout << text << '\n';
    return 0;
}
