// Fuzzes the reading of numbers from field texts and the two-decimal rounding: never a crash, and
// rounding keeps its promises (idempotent, within half a hundredth, sign kept).

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/NumberReading.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    double value = pontrel::leadingNumber(text);
    double rounded = pontrel::roundTo2Decimals(value);
    if (std::isfinite(value) && std::fabs(value) < 1e15) {
        if (pontrel::roundTo2Decimals(rounded) != rounded) std::abort();
        if (std::fabs(rounded - value) > 0.005 + std::fabs(value) * 1e-15) std::abort();
        if (value > 0 && rounded < 0) std::abort();
    }
    return 0;
}
