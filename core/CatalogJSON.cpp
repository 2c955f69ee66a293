#include "core/CatalogJSON.h"

#include <limits>

using nlohmann::json;

namespace CenterCore {
namespace {

const json& member(const json& object, const char* name) {
    if (!object.is_object()) {
        throw json::type_error::create(302,
                                       std::string("expected an object holding \"") + name +
                                           "\", found " + object.type_name(),
                                       &object);
    }
    return object.at(name);
}

// An optional member: absent and null both mean "not there".
const json* optionalMember(const json& object, const char* name) {
    auto found = object.find(name);
    if (found == object.end() || found->is_null()) {
        return nullptr;
    }
    return &*found;
}

std::string text(const json& object, const char* name) {
    const json& value = member(object, name);
    if (!value.is_string()) {
        throw json::type_error::create(
            302, std::string("\"") + name + "\" must be a string, found " + value.type_name(),
            &value);
    }
    return value.get<std::string>();
}

std::int64_t integer(const json& object, const char* name) {
    const json& value = member(object, name);
    if (value.is_number_unsigned() &&
        value.get<std::uint64_t>() >
            static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        throw json::out_of_range::create(
            406, std::string("\"") + name + "\" is out of the signed 64-bit range", &value);
    }
    if (!value.is_number_integer()) {
        throw json::type_error::create(
            302, std::string("\"") + name + "\" must be an integer, found " + value.type_name(),
            &value);
    }
    return value.get<std::int64_t>();
}

std::vector<std::string> texts(const json& object, const char* name) {
    const json& value = member(object, name);
    if (!value.is_array()) {
        throw json::type_error::create(
            302, std::string("\"") + name + "\" must be an array, found " + value.type_name(),
            &value);
    }
    std::vector<std::string> result;
    result.reserve(value.size());
    for (const json& element : value) {
        if (!element.is_string()) {
            throw json::type_error::create(
                302, std::string("\"") + name + "\" must hold only strings", &element);
        }
        result.push_back(element.get<std::string>());
    }
    return result;
}

} // namespace

std::string_view rawValue(ArtifactFormat format) {
    switch (format) {
    case ArtifactFormat::zip:
        return "zip";
    case ArtifactFormat::dmg:
        return "dmg";
    case ArtifactFormat::pkg:
        return "pkg";
    }
    return "zip";
}

std::optional<ArtifactFormat> artifactFormat(std::string_view raw) {
    for (ArtifactFormat format : {ArtifactFormat::zip, ArtifactFormat::dmg, ArtifactFormat::pkg}) {
        if (rawValue(format) == raw) {
            return format;
        }
    }
    return std::nullopt;
}

ReleaseArtifact artifactFromJSON(const json& value) {
    ReleaseArtifact artifact;
    artifact.url = text(value, "url");
    artifact.sha256 = text(value, "sha256");
    artifact.byteCount = integer(value, "byteCount");
    std::string format = text(value, "format");
    std::optional<ArtifactFormat> known = artifactFormat(format);
    if (!known) {
        throw json::other_error::create(
            501, "\"format\" must be one of \"zip\", \"dmg\", \"pkg\", found \"" + format + "\"",
            &value);
    }
    artifact.format = *known;
    return artifact;
}

CenterRelease releaseFromJSON(const json& value) {
    CenterRelease release;
    release.version = text(value, "version");
    release.build = text(value, "build");
    release.publishedAt = text(value, "publishedAt");
    release.notes = texts(value, "notes");
    if (const json* artifact = optionalMember(value, "artifact")) {
        release.artifact = artifactFromJSON(*artifact);
    }
    return release;
}

CenterProduct productFromJSON(const json& value) {
    CenterProduct product;
    product.id = text(value, "id");
    product.bundleID = text(value, "bundleID");
    product.name = text(value, "name");
    product.kind = text(value, "kind");
    product.summary = text(value, "summary");
    product.detail = text(value, "detail");
    product.features = texts(value, "features");
    product.minOS = text(value, "minOS");
    if (const json* release = optionalMember(value, "release")) {
        product.release = releaseFromJSON(*release);
    }
    return product;
}

CenterCatalog catalogFromJSON(const json& value) {
    CenterCatalog catalog;
    catalog.schemaVersion = integer(value, "schemaVersion");
    catalog.generatedAt = text(value, "generatedAt");
    const json& products = member(value, "products");
    if (!products.is_array()) {
        throw json::type_error::create(
            302, std::string("\"products\" must be an array, found ") + products.type_name(),
            &products);
    }
    catalog.products.reserve(products.size());
    for (const json& product : products) {
        catalog.products.push_back(productFromJSON(product));
    }
    return catalog;
}

CenterCatalog decodeCatalog(std::string_view document) {
    return catalogFromJSON(json::parse(document));
}

json toJSON(const ReleaseArtifact& artifact) {
    return {{"url", artifact.url},
            {"sha256", artifact.sha256},
            {"byteCount", artifact.byteCount},
            {"format", rawValue(artifact.format)}};
}

json toJSON(const CenterRelease& release) {
    json value = {{"version", release.version},
                  {"build", release.build},
                  {"publishedAt", release.publishedAt},
                  {"notes", release.notes}};
    if (release.artifact) {
        value["artifact"] = toJSON(*release.artifact);
    }
    return value;
}

json toJSON(const CenterProduct& product) {
    json value = {{"id", product.id},
                  {"bundleID", product.bundleID},
                  {"name", product.name},
                  {"kind", product.kind},
                  {"summary", product.summary},
                  {"detail", product.detail},
                  {"features", product.features},
                  {"minOS", product.minOS}};
    if (product.release) {
        value["release"] = toJSON(*product.release);
    }
    return value;
}

json toJSON(const CenterCatalog& catalog) {
    json products = json::array();
    for (const CenterProduct& product : catalog.products) {
        products.push_back(toJSON(product));
    }
    return {{"schemaVersion", catalog.schemaVersion},
            {"generatedAt", catalog.generatedAt},
            {"products", std::move(products)}};
}

} // namespace CenterCore
