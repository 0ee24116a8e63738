// Pieces of the step-by-step reference versions that the texture tests compare the fast
// code with, written independently of the engine's own.
#pragma once

#include <cmath>
#include <cstdint>

namespace korvane::test {

// Truncation toward zero; beyond the 32-bit range it saturates and NaN gives 0.
inline int32_t RefTrunc(double value) {
    if (std::isnan(value))
        return 0;
    if (value >= 2147483648.0)
        return INT32_MAX;
    if (value <= -2147483649.0)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

} // namespace korvane::test
