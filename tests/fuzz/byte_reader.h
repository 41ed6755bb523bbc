// The fuzz input as a stream of bytes, read in order; zeros once they run out,
// so every input decodes to some case.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tariffsieve::fuzz {

struct ByteReader {
    const std::uint8_t* data;
    std::size_t size;
    std::uint8_t next() {
        if (size == 0) return 0;
        --size;
        return *data++;
    }
};

}  // namespace tariffsieve::fuzz
