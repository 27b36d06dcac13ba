#pragma once
// An engine's general failure says nothing of its cause. The system's error number (errno) as
// it stood when the latest engine status on this thread was raised lets a tool name the cause
// (a full disk, a file size limit) beside the error. It is the library's leftover and may be
// stale: only causes of a failing write or open are worth showing. Not part of the automation
// interface.
namespace varnholt {

int LastEngineFailureErrno() noexcept;

}  // namespace varnholt
