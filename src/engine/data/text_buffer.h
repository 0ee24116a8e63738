// A growing NUL-terminated text with printf-style appending: the output of the XML writer and
// of the shader generator. The buffer owns its bytes; capacity and length are 32-bit counts,
// so a text never grows past 4 GiB.
#pragma once

#include <cstdint>
#include <string_view>

namespace korvane {

struct TextBuffer {
    char* data = nullptr;  // owned; NUL-terminated at length once allocated
    uint32_t capacity = 0; // bytes allocated at data
    uint32_t length = 0;   // bytes of text, the terminating NUL not counted

    TextBuffer() = default;
    // A buffer with room for initial_capacity bytes and an empty text.
    explicit TextBuffer(uint32_t initial_capacity);
    ~TextBuffer();
    TextBuffer(TextBuffer&& other) noexcept;
    TextBuffer& operator=(TextBuffer&& other) noexcept;
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;

    std::string_view View() const { return {data ? data : "", length}; }
};

// Formats with printf rules and appends the result. While length + 3 + the piece's length
// exceeds the capacity, the capacity doubles (a buffer of capacity 0 starts from 1). Returns
// false, leaving the buffer as it was, when the text would pass the 32-bit capacity or the
// format fails.
bool AppendFormatted(TextBuffer& buffer, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Appends bytes as they are, growing the buffer by the same rule as AppendFormatted.
bool AppendText(TextBuffer& buffer, std::string_view text);

} // namespace korvane
