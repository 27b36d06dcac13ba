#pragma once
// Statuses the stand-in engine answers with; the values of the administration interface.
#include <cstdint>

namespace varnholt::standin {

inline constexpr int32_t kOk = 0;
inline constexpr int32_t kInvalidHandle = 7001;
inline constexpr int32_t kNullPointer = 7002;
inline constexpr int32_t kBufferTooSmall = 7003;
inline constexpr int32_t kGeneralFailure = 7004;
inline constexpr int32_t kBadSequence = 7008;
inline constexpr int32_t kNamesUnavailable = 7009;
inline constexpr int32_t kNameExists = 7012;
inline constexpr int32_t kNameMissing = 7013;
inline constexpr int32_t kInvalidUser = 7029;

}  // namespace varnholt::standin
