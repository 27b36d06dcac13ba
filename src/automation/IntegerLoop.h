#pragma once
// A For loop with a 16-bit Integer counter, as the run time runs it: both limits must fit
// (else error 6), and stepping past 32767 overflows (error 6) even on the last round.
#include "varnholt/Error.h"

namespace varnholt {

// body(i) returns false to leave the loop early (Exit For).
template <class Body>
void ForInteger(long long from, long long to, Body&& body) {
    const int16_t first = CheckedInteger(from);
    const int16_t last = CheckedInteger(to);
    for (long long i = first; i <= last; i = CheckedInteger(i + 1))
        if (!body(static_cast<int16_t>(i))) return;
}

}  // namespace varnholt
