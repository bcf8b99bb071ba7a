// Growable, zero-terminated character buffers for the launcher.
//
// The launcher avoids libstdc++'s strings: linked statically they bring the exception runtime
// and grow the executable tenfold. This buffer lives on the C runtime's heap, grows geometrically
// and never overflows; an allocation failure is remembered (failed()) and makes every later
// append a no-op, so callers check once at the end instead of after every append. failed() means
// that and nothing else.
#pragma once

#include <cstddef>
#include <cstdlib>

namespace sorvane {

template <typename Char>
class Buffer {
public:
    Buffer() = default;
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    Buffer(Buffer&& other) noexcept { moveFrom(other); }
    Buffer& operator=(Buffer&& other) noexcept
    {
        if (this != &other) {
            std::free(data_);
            moveFrom(other);
        }
        return *this;
    }
    ~Buffer() { std::free(data_); }

    const Char* c_str() const { return data_ ? data_ : emptyText(); }
    Char* data() { return data_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    bool failed() const { return failed_; }

    void clear()
    {
        size_ = 0;
        if (data_)
            data_[0] = 0;
    }

    Buffer& append(const Char* text, size_t count)
    {
        if (count == 0 || !reserve(size_ + count))
            return *this;
        for (size_t i = 0; i < count; ++i)
            data_[size_ + i] = text[i];
        size_ += count;
        data_[size_] = 0;
        return *this;
    }
    Buffer& append(const Char* text) { return append(text, length(text)); }
    Buffer& append(const Buffer& other) { return append(other.c_str(), other.size()); }
    Buffer& append(Char c) { return append(&c, 1); }
    Buffer& appendRepeated(Char c, size_t count)
    {
        for (size_t i = 0; i < count; ++i)
            append(c);
        return *this;
    }

    // Keeps the first count characters.
    void truncate(size_t count)
    {
        if (count < size_) {
            size_ = count;
            data_[size_] = 0;
        }
    }

    // Makes room for capacity characters plus the terminator; the caller may then write into
    // data() and call setSize(). Used by grow-and-retry platform calls.
    bool reserve(size_t capacity)
    {
        if (failed_)
            return false;
        if (capacity < capacity_)
            return true;
        if (capacity >= static_cast<size_t>(-1) / sizeof(Char) / 4) {
            failed_ = true;
            return false;
        }
        size_t grown = capacity_ ? capacity_ : 64;
        while (grown <= capacity)
            grown *= 2;
        void* block = std::realloc(data_, grown * sizeof(Char));
        if (!block) {
            failed_ = true;
            return false;
        }
        data_ = static_cast<Char*>(block);
        if (capacity_ == 0)
            data_[0] = 0;
        capacity_ = grown;
        return true;
    }
    size_t capacity() const { return capacity_ ? capacity_ - 1 : 0; }
    void setSize(size_t size)
    {
        size_ = size;
        if (data_)
            data_[size_] = 0;
    }

    static size_t length(const Char* text)
    {
        size_t n = 0;
        if (text)
            while (text[n])
                ++n;
        return n;
    }

private:
    static const Char* emptyText()
    {
        static const Char empty[1] = {0};
        return empty;
    }
    void moveFrom(Buffer& other)
    {
        data_ = other.data_;
        size_ = other.size_;
        capacity_ = other.capacity_;
        failed_ = other.failed_;
        other.data_ = nullptr;
        other.size_ = other.capacity_ = 0;
        other.failed_ = false;
    }

    Char* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;   // allocated characters, terminator included
    bool failed_ = false;
};

using WideBuffer = Buffer<wchar_t>;
using ByteBuffer = Buffer<char>;

// Appends the decimal digits of value, padded with zeros to at least minDigits.
template <typename Char>
void appendDecimal(Buffer<Char>& out, unsigned long long value, int minDigits = 1)
{
    Char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<Char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n < minDigits && n < 24)
        digits[n++] = '0';
    while (n > 0)
        out.append(digits[--n]);
}

}  // namespace sorvane
