#include "models/duration_rounding.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace velmar {
namespace {

TEST(DurationRoundingTest, Table) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<std::pair<double, std::optional<double>>> cases = {
        {0.125, 0.13},       {1.234, 1.23},        {7, 5.0},
        {0.05, 0.1},         {0.1, 0.1},           {-2, 0.1},
        {5.0, 5.0},          {4.995, 5.0},         {2, 2.0},
        {inf, std::nullopt}, {-inf, std::nullopt}, {nan, std::nullopt},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(roundedMotionDuration(input), expected) << input;
    }
}

}  // namespace
}  // namespace velmar
