#include "cli/Arguments.h"
#include "cli/Verbs.h"

int main(int argc, char** argv) {
    const std::vector<Verb> verbs = {
        {"status", "[--json] [--applications DIR]...", statusVerb, {"--applications"}, {"--json"}},
        {"digest", "FILE", digestVerb, {}, {}},
        {"compare", "A B", compareVerb, {}, {}},
        {"app-info", "BUNDLE", appInfoVerb, {}, {}},
        {"inspect", "PACKAGE.zip", inspectVerb, {}, {}},
        {"install",
         "PACKAGE.zip --product ID [--applications DIR] [--backups DIR]",
         installVerb,
         {"--product", "--applications", "--backups"},
         {}},
        {"check", "[--json]", checkVerb, {}, {"--json"}},
        {"update", "PRODUCT", updateVerb, {}, {}},
        {"open", "PRODUCT", openVerb, {}, {}},
        {"import", "FILE --product ID [--yes]", importVerb, {"--product"}, {"--yes"}},
        {"export", "FILE", exportVerb, {}, {}},
        {"settings",
         "[--catalog-url URL] [--center-feed URL] [--auto-check on|off]",
         settingsVerb,
         {"--catalog-url", "--center-feed", "--auto-check"},
         {}},
        {"self-update", "[--yes]", selfUpdateVerb, {}, {"--yes"}},
        {"backups", "[PRODUCT] [--json]", backupsVerb, {}, {"--json"}},
        {"restore", "PRODUCT BACKUP [--yes]", restoreVerb, {}, {"--yes"}},
        {"prune", "--keep N", pruneVerb, {"--keep"}, {}},
        {"validate-catalog", "CATALOG.json", validateCatalogVerb, {}, {}},
        {"verify-catalog", "ENVELOPE --key KEYFILE", verifyCatalogVerb, {"--key"}, {}},
        {"fetch-catalog", "URL --key KEYFILE", fetchCatalogVerb, {"--key"}, {}},
        {"download",
         "--url URL --sha256 HEX --size N [--format zip|dmg|pkg] --to DIR",
         downloadVerb,
         {"--url", "--sha256", "--size", "--format", "--to"},
         {}},
    };
    return runProgram("kestryn", verbs, argc, argv);
}
