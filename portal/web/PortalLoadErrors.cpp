#include "portal/web/PortalLoadErrors.h"

#include <QWebEngineLoadingInfo>

namespace PortalLoadErrors {
namespace {

// Chromium's network error codes (net/base/net_error_list.h) that get their own sentence.
constexpr int aborted = -3;
constexpr int timedOut = -7;
constexpr int networkChanged = -21;
constexpr int connectionClosed = -100;
constexpr int connectionReset = -101;
constexpr int connectionRefused = -102;
constexpr int connectionAborted = -103;
constexpr int connectionFailed = -104;
constexpr int nameNotResolved = -105;
constexpr int internetDisconnected = -106;
constexpr int sslProtocolError = -107;
constexpr int addressUnreachable = -109;
constexpr int connectionTimedOut = -118;
constexpr int nameResolutionFailed = -137;
constexpr int tooManyRedirects = -310;
constexpr int contentLengthMismatch = -354;
constexpr int incompleteChunkedEncoding = -355;

QString connectionDescription(int code) {
    switch (code) {
    case timedOut:
    case connectionTimedOut:
        return QStringLiteral("服务器没有及时回应。");
    case networkChanged:
        return QStringLiteral("网络连接在载入时发生了变化。");
    case connectionClosed:
    case connectionReset:
    case connectionAborted:
        return QStringLiteral("服务器中断了连接。");
    case connectionRefused:
    case connectionFailed:
    case addressUnreachable:
        return QStringLiteral("无法连接到服务器。");
    case nameNotResolved:
    case nameResolutionFailed:
        return QStringLiteral("找不到服务器的地址。");
    case internetDisconnected:
        return QStringLiteral("这台电脑没有连上互联网。");
    case sslProtocolError:
        return QStringLiteral("无法与服务器建立安全连接。");
    case tooManyRedirects:
        return QStringLiteral("服务器的跳转次数过多。");
    case contentLengthMismatch:
    case incompleteChunkedEncoding:
        return QStringLiteral("服务器送来的页面不完整。");
    default:
        return QStringLiteral("载入页面时出现了问题（错误代码 %1）。").arg(code);
    }
}

} // namespace

bool isCancellation(const PortalLoadError& error) {
    return error.domain != QWebEngineLoadingInfo::HttpStatusCodeDomain && error.code == aborted;
}

QString description(const PortalLoadError& error) {
    switch (error.domain) {
    case QWebEngineLoadingInfo::CertificateErrorDomain:
        return QStringLiteral("无法确认服务器的身份，它的证书不受信任。");
    case QWebEngineLoadingInfo::DnsErrorDomain:
        return QStringLiteral("找不到服务器的地址。");
    case QWebEngineLoadingInfo::HttpErrorDomain:
        return QStringLiteral("服务器的回应无法识别。");
    case QWebEngineLoadingInfo::HttpStatusCodeDomain:
        return QStringLiteral("服务器回应了错误状态（%1）。").arg(error.code);
    default:
        return connectionDescription(error.code);
    }
}

} // namespace PortalLoadErrors
