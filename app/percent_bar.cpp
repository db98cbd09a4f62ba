#include "app/percent_bar.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/strings.h"

namespace app {

namespace {

// Truncates toward zero and keeps the result within int, so that a position
// far outside the range cannot overflow the conversion.
int TruncateToInt(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    constexpr double kLow = std::numeric_limits<int>::min();
    constexpr double kHigh = std::numeric_limits<int>::max();
    if (value <= kLow) {
        return std::numeric_limits<int>::min();
    }
    if (value >= kHigh) {
        return std::numeric_limits<int>::max();
    }
    return static_cast<int>(std::trunc(value));
}

}  // namespace

double BarFraction(int position, int rangeMin, int rangeMax) {
    // In double throughout: position - rangeMin may not fit an int.
    return (static_cast<double>(position) - rangeMin) / (static_cast<double>(rangeMax) - rangeMin);
}

int FilledWidth(double fraction, int clientWidth) {
    return TruncateToInt(fraction * clientWidth);
}

std::string PercentText(double fraction) {
    return platform::StrPrintf("%d%%", TruncateToInt(fraction * 100));
}

int SplitAt(int left, int width, double fraction) {
    const long long split = static_cast<long long>(left) + FilledWidth(fraction, width);
    return static_cast<int>(
        std::clamp<long long>(split, left, static_cast<long long>(left) + width));
}

int SteppedPosition(int position, int step) {
    const auto sum = static_cast<std::uint32_t>(position) + static_cast<std::uint32_t>(step);
    return static_cast<int>(sum);
}

}  // namespace app
