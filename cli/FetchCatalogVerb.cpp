#include "cli/InterruptStop.h"
#include "cli/Verbs.h"
#include "core/CatalogJSON.h"
#include "core/Envelope.h"
#include "transport/CenterUpdateService.h"

#include <iostream>

int fetchCatalogVerb(const Arguments& arguments) {
    const std::string url = arguments.positionals(1)[0];
    const std::string key = CenterCore::loadPublicKeyFile(arguments.required("--key"));
    InterruptStop interrupt;
    CenterCatalog catalog = CenterUpdateService().fetchCatalog(url, key, interrupt.token());
    std::cout << CenterCore::toJSON(catalog).dump(2) << '\n';
    return 0;
}
