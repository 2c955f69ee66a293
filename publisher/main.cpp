#include "cli/Arguments.h"
#include "publisher/Verbs.h"

int main(int argc, char** argv) {
    const std::vector<Verb> verbs = {
        {"keygen", "DIR", keygenVerb, {}, {}},
        {"sign", "CATALOG.json --key DIR/private.key", signVerb, {"--key"}, {}},
        {"artifact",
         "FILE --url URL [--format zip|dmg|pkg]",
         artifactVerb,
         {"--url", "--format"},
         {}},
        {"pack", "APP OUT.zip", packVerb, {}, {}},
        {"seal", "APP", sealVerb, {}, {}},
        {"appcast",
         "ARCHIVE --url URL --version BUILD --short-version VERSION [--notes FILE] "
         "[--min-system VERSION] --key DIR/private.key",
         appcastVerb,
         {"--url", "--version", "--short-version", "--notes", "--min-system", "--key"},
         {}},
    };
    return runProgram("kestryn-publish", verbs, argc, argv);
}
