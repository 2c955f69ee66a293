#include "transport/TransferError.h"

#include "core/CHandle.h"
#include "core/CancellationError.h"

namespace {

struct Place {
    std::string host;
    std::string port;
};

// The host and port of an address, as libcurl itself would reach them.
Place placeOf(std::string_view url) {
    auto part = [](CURLU* handle, CURLUPart which, unsigned flags) -> std::string {
        char* text = nullptr;
        if (curl_url_get(handle, which, &text, flags) != CURLUE_OK || text == nullptr) {
            return {};
        }
        std::string copy(text);
        curl_free(text);
        return copy;
    };
    CHandle<curl_url_cleanup> handle(curl_url());
    if (url.empty() || !handle ||
        curl_url_set(handle.get(), CURLUPART_URL, std::string(url).c_str(), 0) != CURLUE_OK) {
        return {};
    }
    return {part(handle.get(), CURLUPART_HOST, 0),
            part(handle.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT)};
}

// The sentence without its closing full stop, so the HTTP status can follow it.
std::string clause(CURLcode code, const Place& place) {
    // The server by name, at the end of a clause and followed by more words.
    const std::string server = place.host.empty() ? "服务器" : "服务器 " + place.host;
    const std::string before = place.host.empty() ? server : server + " ";
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return "找不到" + server;
    case CURLE_COULDNT_RESOLVE_PROXY:
        return "找不到代理服务器";
    case CURLE_COULDNT_CONNECT:
        return place.port.empty() ? "无法连接到" + server
                                  : "无法连接到" + before + "的端口 " + place.port;
    case CURLE_OPERATION_TIMEDOUT:
        return "等待" + before + "响应超时";
    case CURLE_PEER_FAILED_VERIFICATION:
        return "无法验证" + before + "的证书，连接不安全，已停止";
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return "无法与" + before + "建立安全连接";
    case CURLE_PARTIAL_FILE:
        return "下载未完成：" + before + "在传输结束前断开了连接";
    case CURLE_TOO_MANY_REDIRECTS:
        return "更新服务器的跳转次数过多";
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        return "与" + before + "的连接意外中断";
    case CURLE_WEIRD_SERVER_REPLY:
        return before + "的回应无效";
    case CURLE_UNSUPPORTED_PROTOCOL:
        return "更新地址必须使用 HTTPS";
    case CURLE_OUT_OF_MEMORY:
        return "内存不足，下载未能完成";
    case CURLE_FAILED_INIT:
        return "无法开始网络传输";
    default:
        return "网络传输失败（错误码 " + std::to_string(static_cast<int>(code)) + "）";
    }
}

std::string sentence(CURLcode code, std::string_view url, long httpStatus) {
    if (code == CURLE_ABORTED_BY_CALLBACK) {
        return CancellationError().what();
    }
    std::string text = clause(code, placeOf(url));
    if (httpStatus > 0) {
        text += "（HTTP 状态 " + std::to_string(httpStatus) + "）";
    }
    return text + "。";
}

} // namespace

TransferError::TransferError(CURLcode code, std::string_view url, long httpStatus)
    : TransferError(code, Sentence{sentence(code, url, httpStatus)}) {}

TransferError::TransferError(CURLcode code, const Sentence& told)
    : LocalizedError(told.text), code_(code) {}

TransferError TransferError::unusableAuthorities(const std::filesystem::path& file) {
    return {CURLE_SSL_CACERT_BADFILE,
            Sentence{"证书颁发机构文件“" + file.string() + "”中没有可用的证书。"}};
}
