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
    };
    return runProgram("kestryn-publish", verbs, argc, argv);
}
