#include "core/FileOperationError.h"

namespace CenterCore {
namespace {

const char* english(FileOperation operation) {
    switch (operation) {
    case FileOperation::Open:
        return "cannot open";
    case FileOperation::Read:
        return "cannot read";
    case FileOperation::Write:
        return "cannot write";
    case FileOperation::Create:
        return "cannot create";
    case FileOperation::Remove:
        return "cannot remove";
    case FileOperation::Move:
        return "cannot move";
    case FileOperation::Copy:
        return "cannot copy";
    case FileOperation::Inspect:
        return "cannot inspect";
    case FileOperation::List:
        return "cannot list";
    case FileOperation::Lock:
        return "cannot lock";
    case FileOperation::Change:
        return "cannot change";
    case FileOperation::Flush:
        return "cannot flush";
    }
    return "cannot access";
}

} // namespace

FileOperationError::FileOperationError(FileOperation operation, std::error_code code)
    : filesystem_error(english(operation), code), operation_(operation) {}

FileOperationError::FileOperationError(FileOperation operation, const std::filesystem::path& path,
                                       std::error_code code)
    : filesystem_error(english(operation), path, code), operation_(operation) {}

FileOperationError::FileOperationError(FileOperation operation, const std::filesystem::path& path,
                                       const std::filesystem::path& target, std::error_code code)
    : filesystem_error(english(operation), path, target, code), operation_(operation) {}

std::string_view FileOperationError::verb() const noexcept {
    switch (operation_) {
    case FileOperation::Open:
        return "打开";
    case FileOperation::Read:
        return "读取";
    case FileOperation::Write:
        return "写入";
    case FileOperation::Create:
        return "创建";
    case FileOperation::Remove:
        return "删除";
    case FileOperation::Move:
        return "移动";
    case FileOperation::Copy:
        return "复制";
    case FileOperation::Inspect:
    case FileOperation::List:
    case FileOperation::Lock:
    case FileOperation::Change:
    case FileOperation::Flush:
        break;
    }
    return "访问";
}

void throwFileError(FileOperation operation, const std::filesystem::path& path, int error) {
    throw FileOperationError(operation, path, std::error_code(error, std::generic_category()));
}

} // namespace CenterCore
