// The simulation's own exp, log, sine and cosine against long double libm
// over tables of ranges, and its Philox on lanes against Random123's.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <Random123/philox.h>

#include "engine/simulation/path_lanes_prelude.h"

#include "engine/simulation/path_lanes_body.h"

namespace quorrel::simulation_detail {
namespace {

typedef double V2 __attribute__((vector_size(16)));

struct Range {
    std::string name;
    double low, high;
    bool logarithmic;  // draw evenly in the logarithm of |x|
};

// Draws 20,000 arguments evenly over the range (or its logarithm).
std::vector<double> arguments(const Range& r) {
    std::mt19937_64 rng(12345);
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<double> xs;
    for (int k = 0; k < 20000; ++k) {
        const double f = u(rng);
        xs.push_back(r.logarithmic ? std::exp(std::log(r.low) + f * std::log(r.high / r.low))
                                   : r.low + f * (r.high - r.low));
    }
    return xs;
}

double relative_error(double got, long double want) {
    return static_cast<double>(std::fabs((static_cast<long double>(got) - want) / want));
}

class LaneExp : public ::testing::TestWithParam<Range> {};
TEST_P(LaneExp, WithinOnePartIn1e15) {
    double worst = 0;
    for (const double x : arguments(GetParam())) {
        const V2 got = lane_exp(V2{x, -x});
        worst = std::max({worst, relative_error(got[0], std::exp(static_cast<long double>(x))),
                          relative_error(got[1], std::exp(-static_cast<long double>(x)))});
    }
    EXPECT_LT(worst, 1e-15);
}
INSTANTIATE_TEST_SUITE_P(Ranges, LaneExp,
                         ::testing::Values(Range{"tiny", 1e-300, 1e-8, true},
                                           Range{"small", -1, 1, false},
                                           Range{"step_growth", -0.2, 0.2, false},
                                           Range{"bridge", -20, 0, false},
                                           Range{"wide", -700, 700, false}),
                         [](const auto& info) { return info.param.name; });

TEST(LaneExpLimits, ZeroBelowAndInfinityAbove) {
    const V2 got = lane_exp(V2{-750, 720});
    EXPECT_EQ(got[0], 0);
    EXPECT_TRUE(std::isinf(got[1]));
    EXPECT_EQ(lane_exp(V2{0, 0})[0], 1);
}

class LaneLog : public ::testing::TestWithParam<Range> {};
TEST_P(LaneLog, WithinOnePartIn1e15) {
    double worst = 0;
    for (const double x : arguments(GetParam())) {
        const double inverse = 1 / x;
        const V2 got = lane_log(V2{x, inverse});
        worst = std::max({worst, relative_error(got[0], std::log(static_cast<long double>(x))),
                          relative_error(got[1], std::log(static_cast<long double>(inverse)))});
    }
    EXPECT_LT(worst, 1e-15);
}
INSTANTIATE_TEST_SUITE_P(Ranges, LaneLog,
                         ::testing::Values(Range{"uniforms", 0x1p-52, 1, true},
                                           Range{"near_one", 1 + 1e-12, 1 + 1e-3, true},
                                           Range{"wealth_ratios", 0.5, 2, false},
                                           Range{"wide", 1e-300, 1e300, true}),
                         [](const auto& info) { return info.param.name; });

// Cosine and sine of a turn: absolute error against the long double values at
// the same turn (relative error means nothing at their zeros).
TEST(LaneSinCos, WithinOnePartIn1e15OfAWholeTurn) {
    std::vector<double> turns = arguments({"turns", 0, 1, false});
    for (double u : {0.0, 0.125, 0.25, 0.375, 0.5, 0.625, 0.75, 0.875, 1 - 0x1p-52}) turns.push_back(u);
    const long double two_pi = 6.283185307179586476925286766559L;
    double worst = 0;
    for (const double u : turns) {
        V2 c, s;
        lane_sincos_turn(V2{u, u}, c, s);
        const long double a = two_pi * static_cast<long double>(u);
        worst = std::max({worst, static_cast<double>(std::fabs(c[0] - std::cos(a))),
                          static_cast<double>(std::fabs(s[1] - std::sin(a)))});
    }
    EXPECT_LT(worst, 1e-15);
}

TEST(LanePhilox, EveryLaneIsRandom123sPhilox4x32) {
    typedef unsigned long long U2 __attribute__((vector_size(16)));
    const std::uint32_t keys[3][2] = {{0, 0}, {1, 0}, {0xdeadbeef, 0x12345678}};
    for (const auto& key : keys) {
        U2 c[4] = {U2{0, 0xffffffff}, U2{7, 123456789}, U2{0, 42}, U2{0, 3}};
        U2 in[4];
        for (int w = 0; w < 4; ++w) in[w] = c[w];
        philox_lanes(c, key[0], key[1]);
        for (int lane = 0; lane < 2; ++lane) {
            const std::uint32_t counter[4] = {
                static_cast<std::uint32_t>(in[0][lane]), static_cast<std::uint32_t>(in[1][lane]),
                static_cast<std::uint32_t>(in[2][lane]), static_cast<std::uint32_t>(in[3][lane])};
            const r123::Philox4x32::ctr_type rc = {{counter[0], counter[1], counter[2], counter[3]}};
            const r123::Philox4x32::ctr_type want = r123::Philox4x32()(rc, {{key[0], key[1]}});
            for (int w = 0; w < 4; ++w)
                EXPECT_EQ(c[w][lane], want[static_cast<std::size_t>(w)])
                    << "key " << key[0] << ", lane " << lane << ", word " << w;
        }
    }
}

// The four normals of a Philox block against Box-Muller worked in long
// double from Random123's words: the radius from the first word of a pair
// (as a uniform in (0, 1)), the angle from the second. Paths straddling
// 2^32 check that the high half of the path number reaches the counter.
TEST(LaneNormals, BoxMullerOnRandom123Words) {
    typedef unsigned long long U2 __attribute__((vector_size(16)));
    PathTables tables;
    tables.key[0] = 0x9e3779b9;
    tables.key[1] = 7;
    const std::uint64_t paths[][2] = {{0, 1}, {4294967295ULL, 4294967296ULL}, {123456789, 987654321}};
    double worst = 0;
    for (const auto& pair : paths)
        for (std::uint32_t quad : {0u, 1u, 812u}) {
            V2 z[4];
            draw_normals<16>(tables, U2{pair[0], pair[1]}, U2{quad, quad}, z);
            for (int lane = 0; lane < 2; ++lane) {
                const std::uint64_t path = pair[lane];
                const r123::Philox4x32::ctr_type c = {{quad, static_cast<std::uint32_t>(path),
                                                       static_cast<std::uint32_t>(path >> 32),
                                                       kNormalStream}};
                const r123::Philox4x32::ctr_type w =
                    r123::Philox4x32()(c, {{tables.key[0], tables.key[1]}});
                for (int p = 0; p < 2; ++p) {
                    const long double u = (static_cast<long double>(w[2 * p]) + 0.5L) / 4294967296.0L;
                    const long double angle = 2 * 3.14159265358979323846264338327950288L *
                                              static_cast<long double>(w[2 * p + 1]) / 4294967296.0L;
                    const long double radius = std::sqrt(-2 * std::log(u));
                    worst = std::max<double>(worst, std::fabs(z[2 * p][lane] - radius * std::cos(angle)));
                    worst = std::max<double>(worst, std::fabs(z[2 * p + 1][lane] - radius * std::sin(angle)));
                }
            }
        }
    EXPECT_LT(worst, 1e-14);
}

}  // namespace
}  // namespace quorrel::simulation_detail
