#pragma once
// Strings at the library boundary: NUL-terminated text in the ANSI code page.
#include <cstddef>
#include <cstdint>
#include <string>

#include "varnholt/String.h"

namespace varnholt::engine {

// An output string handed to the library as its buffer: the string's text in ANSI, then zeros
// up to at least capacity + 1 bytes, so that no size can let the library write past it.
class AnsiBuffer {
public:
    AnsiBuffer(StringView text, int32_t capacity);
    AnsiBuffer(const AnsiBuffer&) = delete;
    AnsiBuffer& operator=(const AnsiBuffer&) = delete;

    char* Data() { return bytes_.data(); }
    size_t Size() const { return bytes_.size(); }

    // Back to UTF-16 over the string's whole length, past the first NUL: what the library wrote
    // and whatever it left of the text that went in.
    void CopyTo(String& text) const;

private:
    std::string bytes_;
    size_t length_ = 0;  // the text's length in bytes
};

}  // namespace varnholt::engine
