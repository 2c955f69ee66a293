#include "core/CenterError.h"

namespace {

std::string describe(CenterError::Kind kind, const std::string& payload) {
    switch (kind) {
    case CenterError::Kind::running:
        return "请先退出“" + payload + "”，再安装更新。";
    case CenterError::Kind::signature:
        return "发布清单签名验证失败，未使用该清单。";
    case CenterError::Kind::checksum:
        return "安装包校验失败，请重新下载。";
    case CenterError::Kind::invalid:
    case CenterError::Kind::network:
    case CenterError::Kind::install:
        break;
    }
    return payload;
}

} // namespace

CenterError::CenterError(Kind kind, std::string payload)
    : kind_(kind), payload_(std::move(payload)), description_(describe(kind_, payload_)) {}
