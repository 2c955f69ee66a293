#pragma once

#include <exception>
#include <string>

namespace CenterCore {

// The one sentence the user sees for any failure, in Simplified Chinese. A CenterError and a
// LocalizedError give their own sentence unchanged; a file-system error names its path(s) and the
// system's reason, with what the program was doing for a FileOperationError and 访问 for any
// other; a JSON decoding error, a cancellation, exhausted memory and any other error get a
// sentence of their own. No library's English text is ever returned.
[[nodiscard]] std::string describeError(std::exception_ptr error);

} // namespace CenterCore
