// An array for scratch values that the search writes before it reads them:
// resized without keeping or clearing its elements, and kept between the
// fills of one call.
#pragma once

#include <cstddef>
#include <memory>

namespace tariffsieve::search {

template <typename T>
class ScratchArray {
public:
    // Makes room for `count` elements and, unlike std::vector::resize, keeps
    // none of the old ones: the caller overwrites every element before it
    // reads it (clearing a table per call cost more than filling it). When it
    // grows, the new elements are default-initialised, as
    // std::make_unique_for_overwrite leaves them: indeterminate for a built-in
    // type, zero for an Int128 (its members are initialised to zero); when it does not
    // grow, they hold what the previous use left.
    void resize_for_overwrite(std::size_t count) {
        if (count > capacity_) {
            elements_.reset(new T[count]);
            capacity_ = count;
        }
        size_ = count;
    }

    std::size_t size() const { return size_; }
    T* data() { return elements_.get(); }
    const T* data() const { return elements_.get(); }
    T& operator[](std::size_t i) { return elements_[i]; }
    const T& operator[](std::size_t i) const { return elements_[i]; }

private:
    std::unique_ptr<T[]> elements_;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
};

}  // namespace tariffsieve::search
