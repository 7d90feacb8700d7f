#include "models/motion_kind.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <numbers>

namespace velmar {
namespace {

constexpr double kPi4 = std::numbers::pi / 4;
constexpr std::array<double, 5> kPresences = {0, 0.25, 0.5, 0.75, 1};

// The expected pose at the five presences above, worked out by hand:
//   smoothstep s       = 0, 0.15625, 0.5, 0.84375, 1
//   ease-out (enter) e = 0, 0.578125, 0.875, 0.984375, 1
//   ease-in (leave) e  = 0, 0.015625, 0.125, 0.421875, 1
struct Curve {
    MotionKind kind;
    bool entering;
    std::array<double, 5> slideX, slideY, scale, rotation, opacity;
};

constexpr std::array<double, 5> k0 = {0, 0, 0, 0, 0};
constexpr std::array<double, 5> k1 = {1, 1, 1, 1, 1};
constexpr std::array<double, 5> kLinear = {0, 0.25, 0.5, 0.75, 1};
constexpr std::array<double, 5> kCutOpacity = {0, 0, 0, 1, 1};
constexpr std::array<double, 5> kOneMinusS = {1, 0.84375, 0.5, 0.15625, 0};
constexpr std::array<double, 5> kSMinusOne = {-1, -0.84375, -0.5, -0.15625, 0};

const Curve kCurves[] = {
    {MotionKind::cut, true, k0, k0, k1, k0, kCutOpacity},
    {MotionKind::cut, false, k0, k0, k1, k0, kCutOpacity},
    {MotionKind::fade, true, k0, k0, k1, k0, kLinear},
    {MotionKind::fade, false, k0, k0, k1, k0, kLinear},
    {MotionKind::slideLeft, true, kOneMinusS, k0, k1, k0, k1},
    {MotionKind::slideLeft, false, kOneMinusS, k0, k1, k0, k1},
    {MotionKind::slideRight, true, kSMinusOne, k0, k1, k0, k1},
    {MotionKind::slideRight, false, kSMinusOne, k0, k1, k0, k1},
    {MotionKind::slideUp, true, k0, kSMinusOne, k1, k0, k1},
    {MotionKind::slideUp, false, k0, kSMinusOne, k1, k0, k1},
    {MotionKind::slideDown, true, k0, kOneMinusS, k1, k0, k1},
    {MotionKind::slideDown, false, k0, kOneMinusS, k1, k0, k1},
    {MotionKind::zoom, true, k0, k0, {0, 0.578125, 0.875, 0.984375, 1}, k0, kLinear},
    {MotionKind::zoom, false, k0, k0, {0, 0.015625, 0.125, 0.421875, 1}, k0, kLinear},
    {MotionKind::dive, true, k0, k0, {3, 1.84375, 1.25, 1.03125, 1}, k0, kLinear},
    {MotionKind::dive, false, k0, k0, {3, 2.96875, 2.75, 2.15625, 1}, k0, kLinear},
    {MotionKind::rotate,
     true,
     k0,
     k0,
     {0.6, 0.83125, 0.95, 0.99375, 1},
     {kPi4, 0.421875 * kPi4, 0.125 * kPi4, 0.015625 * kPi4, 0},
     kLinear},
    {MotionKind::rotate,
     false,
     k0,
     k0,
     {0.6, 0.60625, 0.65, 0.76875, 1},
     {kPi4, 0.984375 * kPi4, 0.875 * kPi4, 0.578125 * kPi4, 0},
     kLinear},
};

void expectPose(const MotionTransform& t, const Curve& c, size_t i, const std::string& where) {
    SCOPED_TRACE(where);
    EXPECT_NEAR(t.slideX, c.slideX[i], 1e-12);
    EXPECT_NEAR(t.slideY, c.slideY[i], 1e-12);
    EXPECT_NEAR(t.scale, c.scale[i], 1e-12);
    EXPECT_NEAR(t.rotation, c.rotation[i], 1e-12);
    EXPECT_NEAR(t.opacity, c.opacity[i], 1e-12);
    EXPECT_TRUE(t.offsetX == 0 && t.offsetY == 0 && t.anchorX == 0 && t.anchorY == 0);
}

std::string describe(const Curve& c, double p) {
    return c.kind.rawValue().toStdString() + (c.entering ? " entering" : " leaving") +
           " at presence " + std::to_string(p);
}

TEST(MotionKindTest, CurvesAtQuarterSteps) {
    ASSERT_EQ(std::size(kCurves), 18u);  // every kind in both directions
    for (const Curve& c : kCurves) {
        for (size_t i = 0; i < kPresences.size(); ++i) {
            expectPose(c.kind.transform(kPresences[i], c.entering), c, i,
                       describe(c, kPresences[i]));
        }
    }
}

TEST(MotionKindTest, PresenceOutsideTheRangeIsClamped) {
    const double inf = std::numeric_limits<double>::infinity();
    for (const Curve& c : kCurves) {
        for (double below : {-0.5, -1e300, -inf}) {
            expectPose(c.kind.transform(below, c.entering), c, 0, describe(c, below));
        }
        for (double above : {1.7, 1e300, inf}) {
            expectPose(c.kind.transform(above, c.entering), c, 4, describe(c, above));
        }
        // A presence that is not a number must not reach the renderer as a NaN pose.
        expectPose(c.kind.transform(std::nan(""), c.entering), c, 0, describe(c, NAN));
    }
}

TEST(MotionKindTest, CutSwitchesJustAfterHalfWay) {
    const double justAbove = std::nextafter(0.5, 1.0);
    for (bool entering : {true, false}) {
        EXPECT_EQ(MotionKind(MotionKind::cut).transform(0.5, entering).opacity, 0);
        EXPECT_EQ(MotionKind(MotionKind::cut).transform(justAbove, entering).opacity, 1);
    }
}

}  // namespace
}  // namespace velmar
