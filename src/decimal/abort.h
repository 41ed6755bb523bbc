// The one exception type of the native code: a fault that must never happen
// (an overflowing sum, say). Only the Python call guard catches it.
#pragma once

#include <exception>

namespace tariffsieve {

class Abort final : public std::exception {
public:
    // The message must be a string literal (or otherwise outlive the abort):
    // throwing must not allocate.
    // The default arguments record where the abort was thrown, for the
    // diagnostic the call guard writes (gcc, clang and MSVC all have them).
    explicit Abort(const char* message, const char* file = __builtin_FILE(), unsigned line = __builtin_LINE()) noexcept
        : message_(message), file_(file), line_(line) {}
    const char* what() const noexcept override { return message_; }
    const char* file() const noexcept { return file_; }
    unsigned line() const noexcept { return line_; }

private:
    const char* message_;
    const char* file_;
    unsigned line_;
};

}  // namespace tariffsieve
