// The minimum of a window of values that slides towards smaller positions:
// positions enter at the low end and leave at the high end, each once.
#pragma once

#include <cstddef>
#include <vector>

namespace tariffsieve::search {

template <typename Int>
class WindowMin {
public:
    WindowMin() = default;
    explicit WindowMin(std::size_t capacity) { clear(capacity); }

    // Empties the window, with room for `capacity` entries over one sweep;
    // the buffers only ever grow.
    void clear(std::size_t capacity) {
        if (position_.size() < capacity) {
            position_.resize(capacity);
            value_.resize(capacity);
        }
        front_ = back_ = position_.size();
    }

    // Adds a position below every position added so far. An entry no smaller
    // than the new one can never be the minimum again: the new one stays longer.
    void push_low(int position, const Int& value) {
        while (front_ < back_ && !(value_[front_] < value)) {
            ++front_;
        }
        --front_;
        position_[front_] = position;
        value_[front_] = value;
    }

    // Drops every position above `highest`.
    void drop_above(int highest) {
        while (front_ < back_ && position_[back_ - 1] > highest) {
            --back_;
        }
    }

    bool empty() const { return front_ == back_; }
    const Int& min() const { return value_[back_ - 1]; }

private:
    std::vector<int> position_;
    std::vector<Int> value_;
    std::size_t front_ = 0;  // entries live in [front_, back_), positions ascending, values descending
    std::size_t back_ = 0;
};

}  // namespace tariffsieve::search
