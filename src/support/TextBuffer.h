#pragma once
// A text made of many short pieces, as the report writers make their files: a row appends a
// dozen of them. std::string checks its room and calls out of line for each piece; this
// appends inline (pieces of known length are copied without a call) into room that grows in
// big steps and is not cleared first.

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace ostero::support {

class TTextBuffer {
public:
    explicit TTextBuffer(size_t capacity = 4096) { Grow(capacity); }

    size_t size() const { return Size_; }
    bool empty() const { return Size_ == 0; }
    char back() const { return Data_[Size_ - 1]; }
    void clear() { Size_ = 0; }
    std::string_view View() const { return {Data_.get(), Size_}; }

    [[gnu::always_inline]] TTextBuffer& operator+=(std::string_view text) {
        append(text.data(), text.size());
        return *this;
    }
    [[gnu::always_inline]] TTextBuffer& operator+=(char c) {
        Room(1);
        Data_[Size_++] = c;
        return *this;
    }
    [[gnu::always_inline]] void append(const char* text, size_t count) {
        Room(count);
        std::memcpy(Data_.get() + Size_, text, count);
        Size_ += count;
    }
    void append(const char* first, const char* last) {
        append(first, static_cast<size_t>(last - first));
    }
    void append(size_t count, char c) {
        Room(count);
        std::memset(Data_.get() + Size_, c, count);
        Size_ += count;
    }

private:
    [[gnu::always_inline]] void Room(size_t count) {
        if (count > Capacity_ - Size_) [[unlikely]]
            Grow(Size_ + count);
    }
    [[gnu::noinline]] void Grow(size_t needed) {
        const size_t capacity = std::max(needed, Capacity_ * 2);
        auto data = std::make_unique_for_overwrite<char[]>(capacity);
        if (Size_ > 0)
            std::memcpy(data.get(), Data_.get(), Size_);
        Data_ = std::move(data);
        Capacity_ = capacity;
    }

    std::unique_ptr<char[]> Data_;
    size_t Size_ = 0;
    size_t Capacity_ = 0;
};

} // namespace ostero::support
