#pragma once
// Injected failures: the faults file names functions whose next calls answer a given status
// and do nothing else. A counted fault is used up across processes.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varnholt::standin {

struct Fault {
    std::string function;  // folded
    int32_t status = 0;
    std::optional<int32_t> remaining;  // none: every call
};

// One line of the faults file: FUNCTION STATUS [COUNT]; anything else, or a count below 1, is
// no fault.
std::optional<Fault> ParseFault(std::string_view line);

// The status the current call of function must return instead of running, if a fault is set
// for it; consumes one use of a counted fault. Costs one stat when nothing changed.
std::optional<int32_t> TakeFault(const std::string& home, std::string_view function);

}  // namespace varnholt::standin
