// `kestryn verify` and `kestryn repair`: the installed copies against their seals, and a damaged
// one put right.
#include "cli/ModelSession.h"
#include "cli/Products.h"
#include "cli/Verbs.h"
#include "model/CenterIntegrity.h"

#include <iostream>
#include <memory>

int verifyVerb(const Arguments& arguments) {
    std::optional<std::string> id;
    if (std::optional<std::string> named = arguments.optionalPositional()) {
        id = shippedProduct(*named).id;
    }
    auto intact = std::make_shared<bool>(false);
    return runModelVerb({.operation =
                             [id](CenterModel& model) {
                                 std::optional<CenterProduct> product;
                                 for (const CenterProduct& shown : model.products()) {
                                     if (shown.id == id) {
                                         product = shown;
                                     }
                                 }
                                 model.checkIntegrity(product);
                             },
                         .report =
                             [intact](const CenterModel& model) {
                                 const std::map<std::string, CenterIntegrity::Result>& results =
                                     model.integrity()->results();
                                 *intact = !results.empty();
                                 for (const CenterProduct& product : model.products()) {
                                     if (auto result = results.find(product.id);
                                         result != results.end()) {
                                         std::cout << result->second.line << '\n';
                                         *intact = *intact && result->second.intact;
                                     }
                                 }
                             },
                         .succeeded = [intact] { return *intact; }});
}

int repairVerb(const Arguments& arguments) {
    const std::string id = shippedProduct(arguments.positionals(1)[0]).id;
    return runModelVerb({.operation =
                             [id](CenterModel& model) {
                                 for (const CenterProduct& shown : model.products()) {
                                     if (shown.id == id) {
                                         model.repairProduct(shown);
                                     }
                                 }
                             },
                         .answers = {std::nullopt, std::nullopt, arguments.flag("--yes")},
                         .confirms = true});
}
