// An owned byte buffer that holds either a NUL-terminated text (the length
// counts the NUL, so the empty text has length 1) or a blob (the length is the
// byte count). A buffer that was never assigned has length 0 and no data.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace tav {

class ByteBuffer {
  public:
    // Room of the formatting scratch: a formatted piece holds at most
    // kFormatLimit - 1 characters.
    static constexpr int32_t kFormatLimit = 10000;

    ByteBuffer() = default;
    ByteBuffer(const ByteBuffer& other) { AssignBytes(other.data_.get(), other.length_); }
    ByteBuffer(ByteBuffer&& other) noexcept
        : data_(std::move(other.data_)), length_(std::exchange(other.length_, 0)) {}
    ByteBuffer& operator=(const ByteBuffer& other);
    ByteBuffer& operator=(ByteBuffer&& other) noexcept;
    ByteBuffer& operator=(std::string_view text) {
        AssignText(text);
        return *this;
    }

    // Frees the data: no data, length 0.
    void Clear();
    // Clears, then copies n bytes when `data` is not null and n > 0.
    void AssignBytes(const void* data, int32_t n);
    // Copies the text and its NUL; a null text only clears.
    void AssignText(const char* text);
    void AssignText(std::string_view text);
    // Appends to the held text; does nothing while the buffer holds no data.
    void AppendText(std::string_view text);
    // Byte comparison of the held text; false when the buffer holds no data.
    bool EqualsText(std::string_view text) const;
    // Formats into the scratch and assigns the result. A result of
    // kFormatLimit characters or more is refused: the buffer is cleared and
    // the result is false, so no truncated text is ever used.
    bool Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    bool FormatV(const char* format, va_list args);

    const char* Data() const { return data_.get(); }
    int32_t Length() const { return length_; }
    bool HasData() const { return length_ > 0; }
    // True for no data and for the empty text.
    bool IsEmptyText() const { return length_ < 2; }
    // The held text ("" when there is no data).
    const char* c_str() const { return data_ ? data_.get() : ""; }
    // The held text without its NUL.
    std::string_view view() const {
        return length_ > 0 ? std::string_view(data_.get(), static_cast<size_t>(length_ - 1))
                           : std::string_view();
    }
    std::string str() const { return std::string(view()); }

  private:
    std::unique_ptr<char[]> data_;
    int32_t length_ = 0;
};

}  // namespace tav
