#include "core/Envelope.h"

#include "core/Base64.h"
#include "core/CenterError.h"
#include "tests/support/Hex.h"
#include "tests/support/TemporaryDirectory.h"

#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <openssl/evp.h>

using nlohmann::json;

namespace {

std::string envelopeOf(const std::string& payload, const std::string& signature) {
    return json{{"payload", CenterCore::base64Encode(payload)},
                {"signature", CenterCore::base64Encode(signature)}}
        .dump();
}

// How verifyCatalog ended: "catalog", "signature", "json", or the CenterError::invalid sentence.
std::string outcome(const std::string& envelope, const std::string& key) {
    try {
        static_cast<void>(CenterCore::verifyCatalog(envelope, key));
        return "catalog";
    } catch (const CenterError& error) {
        return error.kind() == CenterError::Kind::signature ? "signature" : error.what();
    } catch (const json::exception&) {
        return "json";
    }
}

class Envelope : public ::testing::Test {
  protected:
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> privateKey{generate(), EVP_PKEY_free};
    std::string publicKey = rawPublicKey();
    json catalog = {{"schemaVersion", 1},
                    {"generatedAt", "2026-12-01"},
                    {"products",
                     {{{"id", "audio"},
                       {"bundleID", "local.soundlink"},
                       {"name", "回响工坊"},
                       {"kind", "音频"},
                       {"summary", ""},
                       {"detail", ""},
                       {"features", json::array()},
                       {"minOS", "13.0"}}}}};

    static EVP_PKEY* generate() {
        EVP_PKEY* key = nullptr;
        EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr);
        EVP_PKEY_keygen_init(context);
        EVP_PKEY_keygen(context, &key);
        EVP_PKEY_CTX_free(context);
        return key;
    }
    std::string rawPublicKey() const {
        std::string raw(32, '\0');
        std::size_t length = raw.size();
        EVP_PKEY_get_raw_public_key(privateKey.get(), reinterpret_cast<unsigned char*>(raw.data()),
                                    &length);
        return raw;
    }
    std::string sign(const std::string& message) const {
        std::string signature(64, '\0');
        std::size_t length = signature.size();
        EVP_MD_CTX* context = EVP_MD_CTX_new();
        EVP_DigestSignInit(context, nullptr, nullptr, nullptr, privateKey.get());
        EVP_DigestSign(context, reinterpret_cast<unsigned char*>(signature.data()), &length,
                       reinterpret_cast<const unsigned char*>(message.data()), message.size());
        EVP_MD_CTX_free(context);
        return signature;
    }
    std::string signedEnvelope(const std::string& payload) const {
        return envelopeOf(payload, sign(payload));
    }
};

TEST_F(Envelope, ASignedRegisteredCatalogVerifies) {
    std::string payload = catalog.dump();
    CenterCatalog verified = CenterCore::verifyCatalog(signedEnvelope(payload), publicKey);
    ASSERT_EQ(verified.products.size(), 1u);
    EXPECT_EQ(verified.products[0].name, "回响工坊");

    json withExtras = json::parse(signedEnvelope(payload));
    withExtras["comment"] = "ignored";
    withExtras["keyID"] = 7;
    EXPECT_EQ(CenterCore::verifyCatalog(withExtras.dump(), publicKey), verified);
}

TEST_F(Envelope, OnlyTheExactSignedBytesCount) {
    std::string payload = catalog.dump();
    std::string tampered = payload;
    tampered[tampered.find("13.0")] = '2';
    EXPECT_EQ(outcome(envelopeOf(tampered, sign(payload)), publicKey), "signature");
    EXPECT_EQ(outcome(envelopeOf(payload, sign(CenterCore::base64Encode(payload))), publicKey),
              "signature");

    std::string otherKey = publicKey;
    otherKey[0] ^= 1;
    EXPECT_EQ(outcome(signedEnvelope(payload), otherKey), "signature");
    EXPECT_EQ(outcome(signedEnvelope(payload), publicKey.substr(1)), "signature");
}

TEST_F(Envelope, AMalformedEnvelopeIsASignatureFailure) {
    std::string payload = catalog.dump();
    std::string signature = CenterCore::base64Encode(sign(payload));
    std::string encoded = CenterCore::base64Encode(payload);
    const std::vector<std::string> broken = {
        "not json",
        "[]",
        json{{"payload", encoded}}.dump(),
        json{{"payload", encoded}, {"signature", 5}}.dump(),
        json{{"payload", encoded},
             {"signature", signature.substr(0, 40) + "\n" + signature.substr(40)}}
            .dump(),
        json{{"payload", encoded + " "}, {"signature", signature}}.dump(),
        json{{"payload", encoded}, {"signature", CenterCore::base64Encode(sign(payload) + "x")}}
            .dump(),
        json{{"payload", encoded}, {"signature", CenterCore::base64Encode(sign(payload).substr(1))}}
            .dump(),
    };
    for (const std::string& envelope : broken) {
        EXPECT_EQ(outcome(envelope, publicKey), "signature") << envelope.substr(0, 80);
    }
}

TEST_F(Envelope, TheSizeCapComesBeforeAnyParsing) {
    std::string envelope = signedEnvelope(catalog.dump());
    std::string exact =
        envelope + std::string(CenterCore::maximumEnvelopeBytes - envelope.size(), ' ');
    EXPECT_EQ(outcome(exact, publicKey), "catalog");
    EXPECT_EQ(outcome(exact + " ", publicKey), "signature");
}

TEST_F(Envelope, ASignedNonCatalogFailsWithTheDecodersError) {
    EXPECT_EQ(outcome(signedEnvelope("[1,2,3]"), publicKey), "json");
    EXPECT_EQ(outcome(signedEnvelope(""), publicKey), "json");
}

TEST_F(Envelope, ASignedCatalogMustStillPassValidationAndTheRegistry) {
    json version2 = catalog;
    version2["schemaVersion"] = 2;
    EXPECT_EQ(outcome(signedEnvelope(version2.dump()), publicKey), "发布清单格式不受支持。");
    json stranger = catalog;
    stranger["products"][0]["id"] = "stranger";
    EXPECT_EQ(outcome(signedEnvelope(stranger.dump()), publicKey),
              "发布清单包含未授权的软件标识。");
}

// Every valid vector gets past the signature (and then fails as a catalog, since the message is
// not one); every invalid one stops at the signature.
TEST(EnvelopeVectors, AgreeWithWycheproof) {
    std::ifstream file(KESTRYN_TEST_DATA "/wycheproof-ed25519/ed25519_test.json");
    json suite = json::parse(file);
    int checked = 0;
    for (const json& group : suite["testGroups"]) {
        std::string key = hexToBytes(group["publicKey"]["pk"]);
        for (const json& test : group["tests"]) {
            std::string envelope = envelopeOf(hexToBytes(test["msg"]), hexToBytes(test["sig"]));
            std::string expected = test["result"] == "valid" ? "json" : "signature";
            EXPECT_EQ(outcome(envelope, key), expected) << "tcId " << test["tcId"];
            ++checked;
        }
    }
    EXPECT_EQ(checked, suite["numberOfTests"].get<int>());
}

TEST(EnvelopeVectors, AcceptTheRFC8032Signatures) {
    std::ifstream file(KESTRYN_TEST_DATA "/rfc8032-ed25519/rfc8032_7.1_ed25519.json");
    json vectors = json::parse(file)["vectors"];
    ASSERT_FALSE(vectors.empty());
    for (const json& vector : vectors) {
        std::string message = hexToBytes(vector["message"]);
        std::string signature = hexToBytes(vector["signature"]);
        std::string key = hexToBytes(vector["public_key"]);
        EXPECT_EQ(outcome(envelopeOf(message, signature), key), "json") << vector["name"];
        signature[0] ^= 0x40;
        EXPECT_EQ(outcome(envelopeOf(message, signature), key), "signature") << vector["name"];
    }
}

class PublicKeyFile : public ::testing::Test {
  protected:
    TemporaryDirectory resources;
    std::string key = std::string(31, 'k') + "!";

    std::string load() const {
        try {
            return CenterCore::loadPublicKey(resources.path());
        } catch (const CenterError& error) {
            EXPECT_EQ(error.kind(), CenterError::Kind::invalid);
            return error.what();
        }
    }
};

TEST_F(PublicKeyFile, HoldsTheBase64OfThe32RawBytesWithSurroundingSpaceIgnored) {
    std::string spaced = " ";
    spaced += CenterCore::base64Encode(key) + "\r\n";
    resources.write("PublicKey.txt", spaced);
    EXPECT_EQ(load(), key);
}

TEST_F(PublicKeyFile, AnythingElseMeansOnlineUpdatesAreUnavailable) {
    const std::string unavailable = "尚未配置发布公钥，线上更新暂不可用。";
    EXPECT_EQ(load(), unavailable);
    std::string encoded = CenterCore::base64Encode(key);
    for (const std::string& content :
         {CenterCore::base64Encode(key + "3"), encoded.substr(0, 20) + "\n" + encoded.substr(20),
          encoded.substr(0, 43), std::string(""), std::string(8192, 'A')}) {
        resources.write("PublicKey.txt", content);
        EXPECT_EQ(load(), unavailable) << content.substr(0, 60);
    }
    std::filesystem::remove(resources / "PublicKey.txt");
    std::filesystem::create_directory(resources / "PublicKey.txt");
    EXPECT_EQ(load(), unavailable);
}

TEST(Base64, RoundTripsAndRefusesNonCanonicalText) {
    for (std::string bytes : {"", "f", "fo", "foo", "foob", "fooba", "foobar"}) {
        std::optional<std::string> decoded =
            CenterCore::base64Decode(CenterCore::base64Encode(bytes));
        ASSERT_TRUE(decoded);
        EXPECT_EQ(*decoded, bytes);
    }
    EXPECT_EQ(CenterCore::base64Encode("foobar"), "Zm9vYmFy");
    for (const char* text : {"Zm9", "Zm9v\n", "Zg=", "Zh==", "Z===", "====", "Zm=v", "Zm9v YmFy"}) {
        EXPECT_FALSE(CenterCore::base64Decode(text)) << text;
    }
}

} // namespace
