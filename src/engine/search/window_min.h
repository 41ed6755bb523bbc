// The minimum of a window of values that slides towards smaller positions:
// positions enter at the low end and leave at the high end, each once.
#pragma once

#include <cstddef>

namespace tariffsieve::search {

template <typename Int>
struct WindowEntry {
    int position;
    Int value;
};

// A window over `room` entries that the caller keeps (and reuses), enough for
// every entry of one sweep. The window itself is a small local value, so
// that its ends stay in registers.
template <typename Int>
class WindowMin {
public:
    WindowMin(WindowEntry<Int>* entries, std::size_t room) : front_(entries + room), back_(entries + room) {}

    // Adds a position below every position added so far. An entry no smaller
    // than the new one can never be the minimum again: the new one stays longer.
    void push_low(int position, const Int& value) {
        while (front_ != back_ && !(front_->value < value)) {
            ++front_;
        }
        *--front_ = {position, value};
    }

    // Drops every position above `highest`.
    void drop_above(int highest) {
        while (front_ != back_ && back_[-1].position > highest) {
            --back_;
        }
    }

    bool empty() const { return front_ == back_; }
    const Int& min() const { return back_[-1].value; }

private:
    // Entries live in [front_, back_), positions ascending, values descending;
    // pointers rather than indices, so that no step rescales an index.
    WindowEntry<Int>* front_;
    WindowEntry<Int>* back_;
};

}  // namespace tariffsieve::search
