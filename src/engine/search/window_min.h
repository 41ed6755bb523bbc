// The minimum of a window of values that slides towards smaller positions:
// positions enter at the low end and leave at the high end, each once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace tariffsieve::search {

template <typename Int>
struct WindowEntry {
    int position;
    Int value;
};

// Below every value a window holds: the window's end marker, which stops the
// scan of push_low without a test for an empty window.
template <typename Int>
constexpr Int lowest_value() {
    if constexpr (std::is_integral_v<Int>) {
        return std::numeric_limits<Int>::min();
    } else {
        return Int::from_words(std::uint64_t{1} << 63, 0);  // the two's complement 128-bit integers
    }
}

// A window over `room` entries that the caller keeps (and reuses): the last
// one holds the end marker, the others every entry of one sweep. The window
// itself is a small local value, so that its ends stay in registers.
template <typename Int>
class WindowMin {
public:
    WindowMin(WindowEntry<Int>* entries, std::size_t room) : front_(entries + room - 1), back_(front_) {
        back_->value = lowest_value<Int>();
    }

    // Adds a position below every position added so far. An entry no smaller
    // than the new one can never be the minimum again: the new one stays longer.
    void push_low(int position, const Int& value) {
        while (!(front_->value < value)) {  // the end marker stops it
            ++front_;
        }
        *--front_ = {position, value};
    }

    // Drops every position above `highest`.
    void drop_above(int highest) {
        while (front_ != back_ && back_[-1].position > highest) {
            --back_;
        }
        back_->value = lowest_value<Int>();
    }

    bool empty() const { return front_ == back_; }
    const Int& min() const { return back_[-1].value; }

private:
    // Entries live in [front_, back_), positions ascending, values descending,
    // and the end marker at back_; pointers rather than indices, so that no
    // step rescales an index.
    WindowEntry<Int>* front_;
    WindowEntry<Int>* back_;
};

}  // namespace tariffsieve::search
