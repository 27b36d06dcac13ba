#include "engine/AnsiBuffer.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace varnholt::engine {
namespace {

constexpr size_t kLongestRemembered = 1024;

// The thread's last ASCII output buffer and its bytes; generation counts its changes, so that
// a buffer made from it can tell whether the bytes it started with are still there.
struct Previous {
    String text;
    std::string bytes;
    uint64_t generation = 0;
};

Previous& Last() {
    thread_local Previous previous;
    return previous;
}

}  // namespace

AnsiBuffer::AnsiBuffer(StringView text) { Convert(text, 0, false); }

AnsiBuffer::AnsiBuffer(StringView text, int32_t capacity) {
    Convert(text, static_cast<size_t>(std::max(capacity, 0)), true);
    if (!ascii_ || previousHit_) return;
    if (length_ > kLongestRemembered) {
        // Too long to remember: the buffer keeps its own copy of what the library gets.
        beforeHeap_ = std::make_unique<char[]>(length_);
        std::memcpy(beforeHeap_.get(), data_, length_);
        before_ = beforeHeap_.get();
        return;
    }
    Previous& previous = Last();
    previous.text.assign(text);
    previous.bytes.assign(data_, length_);
    generation_ = ++previous.generation;
    previousHit_ = true;
}

void AnsiBuffer::Convert(StringView text, size_t capacity, bool output) {
    const size_t length = length_ = text.size();
    char* out = Allocate(std::max(length, capacity) + 1);
    const Previous* previous = output ? &Last() : nullptr;
    if (previous && length == previous->text.size() &&
        std::memcmp(text.data(), previous->text.data(), length * sizeof(char16_t)) == 0) {
        std::memcpy(out, previous->bytes.data(), length);
        ascii_ = previousHit_ = true;
        generation_ = previous->generation;
    } else {
        const char16_t* in = text.data();
        char16_t bits = 0;
        for (size_t i = 0; i < length; ++i) {
            bits |= in[i];
            out[i] = static_cast<char>(in[i]);
        }
        ascii_ = bits < 0x80;
        if (!ascii_) {
            const std::string bytes = ToAnsi(text);
            length_ = bytes.size();
            std::memcpy(Allocate(std::max(length_, capacity) + 1), bytes.data(), length_);
        }
    }
    if (size_ - length_ == 1)
        data_[length_] = '\0';
    else
        std::memset(data_ + length_, 0, size_ - length_);
}

char* AnsiBuffer::Allocate(size_t size) {
    size_ = size;
    if (size > sizeof inline_) {
        heap_ = std::make_unique<char[]>(size);
        data_ = heap_.get();
    }
    return data_;
}

void AnsiBuffer::CopyTo(String& text, int32_t written) const {
    size_t changed = length_;
    if (ascii_) {
        // The bytes the library got: the thread's remembered ones unless another buffer has
        // replaced them since, in which case everything is converted back.
        const char* before = before_;
        if (previousHit_) {
            const Previous& previous = Last();
            before = previous.generation == generation_ ? previous.bytes.data() : nullptr;
        }
        const size_t split = std::min(static_cast<size_t>(std::max(written, 0)), length_);
        if (before && std::memcmp(data_ + split, before + split, length_ - split) == 0) changed = split;
    } else {
        text.resize(length_);
    }
    char16_t* out = text.data();
    const char* in = data_;
    unsigned char bits = 0;
    for (size_t i = 0; i < changed; ++i) {
        bits |= static_cast<unsigned char>(in[i]);
        out[i] = static_cast<unsigned char>(in[i]);
    }
    if (bits >= 0x80) text = FromAnsi(std::string_view(data_, length_));
}

size_t FirstNul(const char16_t* text, size_t n) {
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        uint64_t word;
        std::memcpy(&word, text + i, sizeof word);
        if ((word - 0x0001000100010001u) & ~word & 0x8000800080008000u) break;  // a zero among the four
    }
    for (; i < n; ++i)
        if (text[i] == u'\0') return i;
    return n;
}

}  // namespace varnholt::engine
