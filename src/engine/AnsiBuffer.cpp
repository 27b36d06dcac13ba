#include "engine/AnsiBuffer.h"

#include <algorithm>

namespace varnholt::engine {

AnsiBuffer::AnsiBuffer(StringView text, int32_t capacity) : bytes_(ToAnsi(text)), length_(bytes_.size()) {
    bytes_.resize(std::max(length_, static_cast<size_t>(std::max(capacity, 0))) + 1, '\0');
}

void AnsiBuffer::CopyTo(String& text) const { text = FromAnsi(std::string_view(bytes_.data(), length_)); }

}  // namespace varnholt::engine
