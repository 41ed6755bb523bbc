// What the engine answers: the chosen indices, or an error message that the
// Python face raises as ValueError.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tariffsieve {

using IndexList = std::vector<std::uint64_t>;  // strictly ascending period indices

struct SelectionResult {
    IndexList indices;
    std::string error;  // empty on success

    bool ok() const { return error.empty(); }
    static SelectionResult success(IndexList indices) { return {std::move(indices), {}}; }
    static SelectionResult failure(std::string message) { return {{}, std::move(message)}; }
};

}  // namespace tariffsieve
