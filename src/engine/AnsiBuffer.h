#pragma once
// Strings at the library boundary: NUL-terminated text in the ANSI code page.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "varnholt/String.h"

namespace varnholt::engine {

// Enumeration passes three output buffers of 255 blanks per name, of which the library rewrites
// only the first few characters, so for ASCII text (which every code page maps to itself) the
// work follows what changed rather than the buffer's length:
// - an output buffer equal to the thread's previous one takes that one's bytes by copy; other
//   ASCII text is narrowed in one branch-free pass that the compiler vectorises;
// - coming back, when the bytes after the end of the library's text are as they went in, the
//   caller's string still holds them, so only the text itself is widened.
// Other text takes the general conversions both ways.
class AnsiBuffer {
public:
    // Input text for the library.
    explicit AnsiBuffer(StringView text);
    // An output string as the library's buffer: at least capacity + 1 bytes, so that no size
    // can let the library write past it.
    AnsiBuffer(StringView text, int32_t capacity);
    AnsiBuffer(const AnsiBuffer&) = delete;
    AnsiBuffer& operator=(const AnsiBuffer&) = delete;

    char* Data() { return data_; }
    const char* CStr() const { return data_; }
    size_t Size() const { return size_; }

    // Back to UTF-16 over the first text's whole length, past the first NUL, into text, which
    // must still be the output string this buffer was made from. written is where the library
    // says its text ends; the bytes after it are compared, not trusted.
    void CopyTo(String& text, int32_t written) const;

private:
    void Convert(StringView text, size_t capacity, bool output);
    char* Allocate(size_t size);

    char inline_[512];
    std::unique_ptr<char[]> heap_;
    char* data_ = inline_;
    size_t size_ = 0, length_ = 0;
    bool ascii_ = false;
    // Where an ASCII output buffer's starting bytes are kept: the thread's remembered buffer
    // (as of generation_), or for a text too long to remember, a copy of its own.
    bool previousHit_ = false;
    uint64_t generation_ = 0;
    std::unique_ptr<char[]> beforeHeap_;
    const char* before_ = nullptr;
};

// The first NUL among the first n characters of text, else n. Four characters a step: an
// enumeration looks for the end of three returned buffers per name.
size_t FirstNul(const char16_t* text, size_t n);

}  // namespace varnholt::engine
