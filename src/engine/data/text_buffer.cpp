#include "data/text_buffer.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace korvane {

namespace {

// Pieces up to this size are formatted on the stack; longer ones are formatted a second time
// straight into the buffer, so that no piece is ever cut.
constexpr size_t kScratchSize = 8192;

// Makes room for a piece of piece_length bytes by doubling the capacity until
// length + 3 + piece_length fits.
bool Reserve(TextBuffer& buffer, size_t piece_length) {
    uint64_t needed = uint64_t{buffer.length} + 3 + piece_length;
    uint64_t capacity = buffer.capacity;
    if (needed <= capacity && buffer.data)
        return true;
    if (capacity == 0)
        capacity = 1;
    while (needed > capacity)
        capacity *= 2;
    if (capacity > UINT32_MAX)
        return false;
    void* grown = std::realloc(buffer.data, static_cast<size_t>(capacity));
    if (!grown)
        return false;
    buffer.data = static_cast<char*>(grown);
    if (buffer.capacity == 0)
        buffer.data[0] = '\0';
    buffer.capacity = static_cast<uint32_t>(capacity);
    return true;
}

} // namespace

TextBuffer::TextBuffer(uint32_t initial_capacity) : capacity(initial_capacity) {
    if (initial_capacity > 0) {
        data = static_cast<char*>(std::malloc(initial_capacity));
        if (data)
            data[0] = '\0';
        else
            capacity = 0;
    }
}

TextBuffer::~TextBuffer() {
    std::free(data);
}

TextBuffer::TextBuffer(TextBuffer&& other) noexcept
    : data(std::exchange(other.data, nullptr)), capacity(std::exchange(other.capacity, 0)),
      length(std::exchange(other.length, 0)) {}

TextBuffer& TextBuffer::operator=(TextBuffer&& other) noexcept {
    if (this != &other) {
        std::free(data);
        data = std::exchange(other.data, nullptr);
        capacity = std::exchange(other.capacity, 0);
        length = std::exchange(other.length, 0);
    }
    return *this;
}

bool AppendText(TextBuffer& buffer, std::string_view text) {
    if (!Reserve(buffer, text.size()))
        return false;
    if (!text.empty())
        std::memcpy(buffer.data + buffer.length, text.data(), text.size());
    buffer.length += static_cast<uint32_t>(text.size());
    buffer.data[buffer.length] = '\0';
    return true;
}

bool AppendFormatted(TextBuffer& buffer, const char* format, ...) {
    char scratch[kScratchSize];
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    int written = std::vsnprintf(scratch, sizeof scratch, format, arguments);
    va_end(arguments);
    bool ok = false;
    if (written >= 0 && static_cast<size_t>(written) < sizeof scratch) {
        ok = AppendText(buffer, std::string_view(scratch, static_cast<size_t>(written)));
    } else if (written >= 0 && Reserve(buffer, static_cast<size_t>(written))) {
        std::vsnprintf(buffer.data + buffer.length, static_cast<size_t>(written) + 1, format,
                       again);
        buffer.length += static_cast<uint32_t>(written);
        ok = true;
    }
    va_end(again);
    return ok;
}

} // namespace korvane
