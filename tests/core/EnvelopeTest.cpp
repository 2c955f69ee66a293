#include "core/Envelope.h"

#include "core/Base64.h"
#include "core/CatalogJSON.h"
#include "core/CenterError.h"
#include "tests/support/CenterErrorMatcher.h"
#include "tests/support/Hex.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/TestKeys.h"

#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

std::string envelopeOf(const std::string& payload, const std::string& signature) {
    return json{{"payload", CenterCore::base64Encode(payload)},
                {"signature", CenterCore::base64Encode(signature)}}
        .dump();
}

// Verifying the envelope with the key, as a callable.
auto verifying(const std::string& envelope, const std::string& key) {
    return [envelope, key] { static_cast<void>(CenterCore::verifyCatalog(envelope, key)); };
}

const auto signatureFailure =
    ThrowsCenterError(CenterError::Kind::signature, "发布清单签名验证失败，未使用该清单。");
const auto decoderError = ::testing::Throws<json::exception>();

class Envelope : public ::testing::Test {
  protected:
    TemporaryDirectory folder;
    std::string publicKey = CenterCore::loadPublicKeyFile(testKeys() / "PublicKey.txt");
    json catalog = CenterCore::toJSON(
        CenterCatalog{1,
                      "2026-12-01",
                      {{"audio", "local.soundlink", "回响工坊", "音频", "", "", {}, "13.0", {}}}});

    std::string sign(const std::string& message) const {
        return opensslSignature(folder.write("message", message));
    }
    std::string signedEnvelope(const std::string& payload) const {
        return envelopeOf(payload, sign(payload));
    }
};

// Only the exact signed bytes count, under the exact key, in a well-formed envelope no larger than
// the cap, which comes before any parsing; anything else is a signature failure.
TEST_F(Envelope, OnlyTheExactSignedBytesInAWellFormedEnvelopeUnderTheCapVerify) {
    std::string payload = catalog.dump();
    json withExtras = json::parse(signedEnvelope(payload));
    withExtras["comment"] = "ignored";
    std::string largest = withExtras.dump();
    largest.append(CenterCore::maximumEnvelopeBytes - largest.size(), ' ');
    EXPECT_EQ(CenterCore::verifyCatalog(largest, publicKey).products.at(0).name, "回响工坊");
    EXPECT_THAT(verifying(largest + " ", publicKey), signatureFailure);
    std::string tampered = payload;
    tampered[tampered.find("13.0")] = '2';
    std::string otherKey = publicKey;
    otherKey[0] ^= 1;
    for (const std::string& key : {otherKey, publicKey.substr(1)}) {
        EXPECT_THAT(verifying(signedEnvelope(payload), key), signatureFailure);
    }
    std::string signature = CenterCore::base64Encode(sign(payload));
    std::string encoded = CenterCore::base64Encode(payload);
    const std::vector<std::string> broken = {
        envelopeOf(tampered, sign(payload)),
        envelopeOf(payload, sign(encoded)),
        "not json",
        "[]",
        json{{"payload", encoded}}.dump(),
        json{{"payload", encoded}, {"signature", 5}}.dump(),
        json{{"payload", encoded},
             {"signature", signature.substr(0, 40) + "\n" + signature.substr(40)}}
            .dump(),
        json{{"payload", encoded + " "}, {"signature", signature}}.dump(),
    };
    for (const std::string& envelope : broken) {
        EXPECT_THAT(verifying(envelope, publicKey), signatureFailure) << envelope.substr(0, 80);
    }
}

// That it must still decode shows in every valid Wycheproof vector below.
TEST_F(Envelope, ASignedDocumentMustStillPassValidationAndTheRegistry) {
    json version2 = catalog;
    version2["schemaVersion"] = 2;
    EXPECT_THAT(verifying(signedEnvelope(version2.dump()), publicKey),
                ThrowsCenterError(CenterError::Kind::invalid, "发布清单格式不受支持。"));
    json stranger = catalog;
    stranger["products"][0]["id"] = "stranger";
    EXPECT_THAT(verifying(signedEnvelope(stranger.dump()), publicKey),
                ThrowsCenterError(CenterError::Kind::invalid, "发布清单包含未授权的软件标识。"));
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
            SCOPED_TRACE("tcId " + test["tcId"].dump());
            if (test["result"] == "valid") {
                EXPECT_THAT(verifying(envelope, key), decoderError);
            } else {
                EXPECT_THAT(verifying(envelope, key), signatureFailure);
            }
            ++checked;
        }
    }
    EXPECT_EQ(checked, suite["numberOfTests"].get<int>());
}

// The base64 of the 32 raw bytes, surrounding space ignored; anything else means online updates
// are unavailable.
TEST(PublicKeyFile, HoldsTheBase64OfThe32RawBytesAndNothingElse) {
    TemporaryDirectory resources;
    const std::string key = std::string(31, 'k') + "!";
    const std::string encoded = CenterCore::base64Encode(key);
    resources.write("PublicKey.txt", " " + encoded + "\r\n");
    EXPECT_EQ(CenterCore::loadPublicKey(resources.path()), key);
    const auto unavailable =
        ThrowsCenterError(CenterError::Kind::invalid, "尚未配置发布公钥，线上更新暂不可用。");
    const auto loading = [&] { static_cast<void>(CenterCore::loadPublicKey(resources.path())); };
    for (const std::string& content :
         {CenterCore::base64Encode(key + "3"), encoded.substr(0, 20) + "\n" + encoded.substr(20),
          encoded.substr(0, 43), std::string(""), std::string(8192, 'A')}) {
        resources.write("PublicKey.txt", content);
        EXPECT_THAT(loading, unavailable) << content.substr(0, 60);
    }
    std::filesystem::remove(resources / "PublicKey.txt");
    EXPECT_THAT(loading, unavailable);
    std::filesystem::create_directory(resources / "PublicKey.txt");
    EXPECT_THAT(loading, unavailable);

    // A key file the user names is refused as that file.
    const std::filesystem::path named = resources.write("公钥 文件.txt", encoded);
    EXPECT_EQ(CenterCore::loadPublicKeyFile(named), key);
    for (const auto& [file, sentence] : std::vector<std::pair<std::filesystem::path, std::string>>{
             {resources.path(), "“" + resources.path().string() + "”不是发布公钥文件。"},
             {testKeys() / "private.key",
              "“" + (testKeys() / "private.key").string() + "”不是发布公钥文件。"}}) {
        EXPECT_THAT([&] { static_cast<void>(CenterCore::loadPublicKeyFile(file)); },
                    ThrowsCenterError(CenterError::Kind::invalid, sentence));
    }
}

} // namespace
