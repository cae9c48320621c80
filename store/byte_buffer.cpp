#include "store/byte_buffer.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <utility>

namespace tav {

ByteBuffer& ByteBuffer::operator=(const ByteBuffer& other) {
    if (this != &other) AssignBytes(other.data_.get(), other.length_);
    return *this;
}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
    if (this != &other) {
        data_ = std::move(other.data_);
        length_ = std::exchange(other.length_, 0);
    }
    return *this;
}

void ByteBuffer::Clear() {
    data_.reset();
    length_ = 0;
}

void ByteBuffer::AssignBytes(const void* data, int32_t n) {
    Clear();
    if (!data || n <= 0) return;
    data_ = std::make_unique<char[]>(static_cast<size_t>(n));
    std::memcpy(data_.get(), data, static_cast<size_t>(n));
    length_ = n;
}

void ByteBuffer::AssignText(const char* text) {
    if (!text) {
        Clear();
        return;
    }
    AssignText(std::string_view(text));
}

void ByteBuffer::AssignText(std::string_view text) {
    Clear();
    size_t n = text.size() + 1;
    data_ = std::make_unique<char[]>(n);
    if (!text.empty()) std::memcpy(data_.get(), text.data(), text.size());
    data_[n - 1] = '\0';
    length_ = static_cast<int32_t>(n);
}

void ByteBuffer::AppendText(std::string_view text) {
    if (!HasData()) return;
    std::string joined(view());
    joined.append(text);
    AssignText(joined);
}

bool ByteBuffer::EqualsText(std::string_view text) const {
    return HasData() && view() == text;
}

bool ByteBuffer::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    bool ok = FormatV(format, args);
    va_end(args);
    return ok;
}

bool ByteBuffer::FormatV(const char* format, va_list args) {
    std::array<char, kFormatLimit> scratch;
    int n = std::vsnprintf(scratch.data(), scratch.size(), format, args);
    if (n < 0 || n >= kFormatLimit) {
        Clear();
        return false;
    }
    AssignText(std::string_view(scratch.data(), static_cast<size_t>(n)));
    return true;
}

}  // namespace tav
