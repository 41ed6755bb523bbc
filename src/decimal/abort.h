// The one exception type of the native code: a fault that must never happen
// (an overflowing sum, say). Only the Python call guard catches it.
#pragma once

#include <exception>

namespace tariffsieve {

class Abort final : public std::exception {
public:
    // The message must be a string literal (or otherwise outlive the abort):
    // throwing must not allocate.
    explicit Abort(const char* message) noexcept : message_(message) {}
    const char* what() const noexcept override { return message_; }

private:
    const char* message_;
};

}  // namespace tariffsieve
