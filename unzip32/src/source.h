// Random-access input and a buffered window over it. The window is what keeps
// small entries cheap: consecutive entries are served from one large read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace uz {

class Source {
public:
    virtual ~Source() = default;
    virtual uint64_t size() const = 0;
    // Reads up to n bytes at off; fewer only at the end of the input or on a read error.
    virtual size_t read_at(uint64_t off, void *buf, size_t n) = 0;
    // The whole input when it already lies in memory, else null.
    virtual const uint8_t *direct() const { return nullptr; }
};

class MemorySource final : public Source {
public:
    MemorySource(const uint8_t *data, size_t n) : data_(data), n_(n) {}
    uint64_t size() const override { return n_; }
    size_t read_at(uint64_t off, void *buf, size_t n) override {
        if (off >= n_) return 0;
        const size_t k = static_cast<size_t>(n_ - off) < n ? static_cast<size_t>(n_ - off) : n;
        std::memcpy(buf, data_ + off, k);
        return k;
    }
    const uint8_t *direct() const override { return data_; }

private:
    const uint8_t *data_;
    size_t n_;
};

class Window {
public:
    // capacity bounds a single view; refill is how much is read ahead on a miss.
    Window(Source &src, size_t capacity, size_t refill)
        : src_(src), direct_(src.direct()), size_(src.size()), capacity_(capacity),
          refill_(refill < capacity ? refill : capacity) {
        if (!direct_) buf_.resize(capacity_);
    }

    // n bytes at off, or null when they are not all inside the input (or n > capacity).
    const uint8_t *view(uint64_t off, size_t n) {
        if (off > size_ || n > size_ - off || n > capacity_) return nullptr;
        if (direct_) return direct_ + off;
        if (off >= base_ && off - base_ + n <= len_) return buf_.data() + (off - base_);
        size_t want = n > refill_ ? n : refill_;
        if (want > size_ - off) want = static_cast<size_t>(size_ - off);
        len_ = src_.read_at(off, buf_.data(), want);
        base_ = off;
        if (len_ < n) {
            len_ = 0;
            return nullptr;
        }
        return buf_.data();
    }

    uint64_t size() const { return size_; }

private:
    Source &src_;
    const uint8_t *direct_;
    uint64_t size_;
    size_t capacity_, refill_;
    std::vector<uint8_t> buf_;
    uint64_t base_ = 0;
    size_t len_ = 0;
};

} // namespace uz
