#include "core/CenterError.h"

#include <gtest/gtest.h>

namespace {

TEST(CenterError, EveryKindDescribesItselfWithItsSentence) {
    struct Case {
        CenterError error;
        CenterError::Kind kind;
        const char* sentence;
    };
    const Case cases[] = {
        {CenterError::invalid("发布清单格式不受支持。"), CenterError::Kind::invalid,
         "发布清单格式不受支持。"},
        {CenterError::network("下载未完成。"), CenterError::Kind::network, "下载未完成。"},
        {CenterError::running("回响工坊"), CenterError::Kind::running,
         "请先退出“回响工坊”，再安装更新。"},
        {CenterError::install("安装包缺少有效的应用程序。"), CenterError::Kind::install,
         "安装包缺少有效的应用程序。"},
        {CenterError::signature(), CenterError::Kind::signature,
         "发布清单签名验证失败，未使用该清单。"},
        {CenterError::checksum(), CenterError::Kind::checksum, "安装包校验失败，请重新下载。"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.error.kind(), c.kind);
        EXPECT_STREQ(c.error.what(), c.sentence);
    }
}

} // namespace
