#include "core/ErrorText.h"

#include "core/CancellationError.h"
#include "core/CenterError.h"
#include "core/FileOperationError.h"
#include "core/LocalizedError.h"

#include <cerrno>
#include <filesystem>
#include <new>
#include <nlohmann/json.hpp>
#include <string_view>
#include <system_error>

namespace CenterCore {
namespace {

const char* const unexpected = "发生了意外错误，操作未能完成。";

// The system's reason for an error number, without the closing full stop.
std::string reason(const std::error_code& code) {
    if (code.category() != std::generic_category() && code.category() != std::system_category()) {
        return "系统报告了错误";
    }
    switch (code.value()) {
    case ENOENT:
        return "文件或文件夹不存在";
    case EACCES:
    case EPERM:
        return "没有访问权限";
    case EEXIST:
        return "同名的文件或文件夹已存在";
    case ENOSPC:
        return "磁盘空间不足";
    case EROFS:
        return "磁盘是只读的";
    case ENOTDIR:
        return "路径中的某一级不是文件夹";
    case EISDIR:
        return "这是一个文件夹，不是文件";
    case ENOTEMPTY:
        return "文件夹不是空的";
    case EXDEV:
        return "不能在不同的磁盘之间直接移动";
    case ELOOP:
        return "符号链接层级过多或形成了循环";
    case ENAMETOOLONG:
        return "文件名或路径过长";
    case EIO:
        return "磁盘读写出错";
    case EDQUOT:
        return "超出了磁盘配额";
    case EINVAL:
        return "不能对它执行这项操作";
    case EBUSY:
        return "文件或设备正被占用";
    case ETXTBSY:
        return "文件正被运行中的程序使用";
    case EMFILE:
    case ENFILE:
        return "同时打开的文件过多";
    case EFBIG:
        return "文件超出了允许的大小";
    case EMLINK:
        return "链接或子文件夹过多";
    case ENOTSUP:
        return "所在的文件系统不支持这项操作";
    case EAGAIN:
        return "资源暂时不可用，请稍后重试";
    case ENOMEM:
        return "内存不足";
    case ENXIO:
    case ENODEV:
        return "设备不存在或尚未就绪";
    case ESTALE:
        return "网络文件系统上的文件已失效";
    case ETIMEDOUT:
        return "操作超时";
    case ECONNREFUSED:
        return "连接被拒绝";
    case EPIPE:
    case ECONNRESET:
        return "连接已断开";
    default:
        return "系统错误（错误码 " + std::to_string(code.value()) + "）";
    }
}

std::string quoted(const std::filesystem::path& path) {
    return "“" + path.string() + "”";
}

std::string fileSystemSentence(const std::filesystem::filesystem_error& error) {
    const std::string because = reason(error.code());
    if (error.path1().empty()) {
        return "文件操作失败：" + because + "。";
    }
    // Another library's failure says only that the item could not be accessed.
    const auto* own = dynamic_cast<const FileOperationError*>(&error);
    const std::string_view verb = own != nullptr ? own->verb() : "访问";
    if (error.path2().empty()) {
        return "无法" + std::string(verb) + quoted(error.path1()) + "：" + because + "。";
    }
    if (own != nullptr &&
        (own->operation() == FileOperation::Move || own->operation() == FileOperation::Copy)) {
        return "无法将" + quoted(error.path1()) + std::string(verb) + "到" + quoted(error.path2()) +
               "：" + because + "。";
    }
    return "无法" + std::string(verb) + quoted(error.path1()) + "和" + quoted(error.path2()) +
           "：" + because + "。";
}

// The member a decoding error names between `open` and `close`, when it names a plain one.
std::string memberName(std::string_view message, char open, char close) {
    std::size_t start = message.find(open);
    if (start == std::string_view::npos) {
        return {};
    }
    std::size_t end = message.find(close, start + 1);
    if (end == std::string_view::npos || end == start + 1 || end - start > 65) {
        return {};
    }
    std::string_view name = message.substr(start + 1, end - start - 1);
    for (char c : name) {
        if (c <= ' ' || c >= 0x7F) {
            return {};
        }
    }
    return std::string(name);
}

std::string jsonSentence(const nlohmann::json::exception& error) {
    if (const auto* syntax = dynamic_cast<const nlohmann::json::parse_error*>(&error)) {
        return "内容不是有效的 JSON（第 " + std::to_string(syntax->byte) + " 个字节处有误）。";
    }
    // Missing members are reported as "key 'name' not found", the decoder's own checks quote
    // the member in double quotes.
    const bool missing =
        dynamic_cast<const nlohmann::json::out_of_range*>(&error) != nullptr && error.id == 403;
    const std::string name = memberName(error.what(), missing ? '\'' : '"', missing ? '\'' : '"');
    if (name.empty()) {
        return "JSON 内容的结构不符合要求。";
    }
    return missing ? "JSON 内容缺少“" + name + "”项。"
                   : "JSON 内容中“" + name + "”项的值不符合要求。";
}

} // namespace

std::string describeError(std::exception_ptr error) {
    if (!error) {
        return unexpected;
    }
    try {
        std::rethrow_exception(std::move(error));
    } catch (const CenterError& failure) {
        return failure.what();
    } catch (const LocalizedError& failure) {
        return failure.what();
    } catch (const CancellationError& failure) {
        return failure.what();
    } catch (const std::filesystem::filesystem_error& failure) {
        return fileSystemSentence(failure);
    } catch (const std::system_error& failure) {
        return "操作失败：" + reason(failure.code()) + "。";
    } catch (const nlohmann::json::exception& failure) {
        return jsonSentence(failure);
    } catch (const std::bad_alloc&) {
        return "内存不足，操作未能完成。";
    } catch (...) {
        return unexpected;
    }
}

} // namespace CenterCore
