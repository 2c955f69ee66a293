#include "cli/Arguments.h"
#include "publisher/Verbs.h"

int main(int argc, char** argv) {
    const std::vector<Verb> verbs = {
        {"keygen", "DIR", "生成签名用的密钥对，绝不覆盖已有的文件。", keygenVerb, {}, {}},
        {"sign",
         "CATALOG.json --key DIR/private.key",
         "为发布清单签名，并显示签名后的清单。",
         signVerb,
         {"--key"},
         {}},
        {"artifact",
         "FILE --url URL [--format zip|dmg|pkg]",
         "显示安装包在发布清单中的记录（地址、SHA-256 和大小）。",
         artifactVerb,
         {"--url", "--format"},
         {}},
        {"pack", "APP OUT.zip", "把已签名的应用程序打包成发布用的 ZIP 安装包。", packVerb, {}, {}},
        {"seal", "APP", "为应用程序写入资源签名。", sealVerb, {}, {}},
        {"appcast",
         "ARCHIVE --url URL --version BUILD --short-version VERSION [--notes FILE] "
         "[--min-system VERSION] --key DIR/private.key",
         "为软件中心自身的一个版本生成签名的更新源。",
         appcastVerb,
         {"--url", "--version", "--short-version", "--notes", "--min-system", "--key"},
         {}},
    };
    return runProgram("kestryn-publish", verbs, argc, argv);
}
