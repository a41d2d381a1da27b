// exp, log and the sine and cosine of a turn on GCC vectors of doubles, for
// the simulation's path lanes. Polynomials of our own rather than libm's:
// the same additions and multiplications in the same order on every
// instruction set and in every lane (the build contracts nothing into fused
// multiply-adds), so a path's figures do not depend on the vector width it
// ran at. Included by the path kernels after they pick their instruction set
// and by the accuracy test; everything is internal to the including file.
//
// Accuracy (see the test): a few units in the last place, well inside 1e-15
// relative, for finite arguments; exp is 0 below -708 and +inf above 709.7.
#pragma once

#include <cstdint>

namespace quorrel::simulation_detail {
namespace {

template <class V>
using LaneMask = decltype(V{} < V{});

template <class V>
[[gnu::always_inline]] inline V lane_splat(double x) {
    return V{} + x;
}

// 2^52 + 2^51: added to a double below 2^51 in magnitude it rounds it to a
// whole number held in the low bits of the sum.
constexpr double kRoundingShift = 6755399441055744.0;
constexpr double kLn2Hi = 0x1.62e42fee00000p-1;  // low bits zero: n * kLn2Hi is exact
constexpr double kLn2Lo = 0x1.a39ef35793c76p-33;

// c[0] + c[1] w + ... + c[7] w^7 by Estrin's scheme: pairs, then pairs of
// pairs, so that the chain of dependent operations is three levels deep
// rather than seven (the kernels wait on these chains).
template <class V>
[[gnu::always_inline]] inline V estrin8(V w, const double (&c)[8]) {
    const V w2 = w * w;
    const V w4 = w2 * w2;
    const V p01 = c[1] * w + c[0];
    const V p23 = c[3] * w + c[2];
    const V p45 = c[5] * w + c[4];
    const V p67 = c[7] * w + c[6];
    return (p23 * w2 + p01) + (p67 * w2 + p45) * w4;
}

template <class V>
[[gnu::always_inline]] inline V lane_exp(V x) {
    using M = LaneMask<V>;
    const M under = x < lane_splat<V>(-708.0);
    const M over = x > lane_splat<V>(709.7);
    x = under ? lane_splat<V>(0.0) : x;
    x = over ? lane_splat<V>(0.0) : x;
    const V shifted = x * 1.4426950408889634 + kRoundingShift;
    const V n = shifted - kRoundingShift;
    const V r = (x - n * kLn2Hi) - n * kLn2Lo;  // |r| <= ln 2 / 2
    // Taylor's series to r^13: the first term left out is below 5e-18.
    constexpr double first_terms[8] = {1.0,       1.0,        1.0 / 2,     1.0 / 6,
                               1.0 / 24,  1.0 / 120,  1.0 / 720,   1.0 / 5040};
    constexpr double last_terms[8] = {1.0 / 40320,      1.0 / 362880,    1.0 / 3628800,
                                1.0 / 39916800,   1.0 / 479001600, 1.0 / 6227020800.0,
                                0,                0};
    // Two groups of eight powers, r^0 .. r^7 and r^8 .. r^13.
    const V r2 = r * r;
    const V r4 = r2 * r2;
    const V p = estrin8(r, first_terms) + estrin8(r, last_terms) * (r4 * r4);
    // 2^n from its exponent bits; n is within [-1021, 1023] here.
    const M whole = reinterpret_cast<M>(shifted) - reinterpret_cast<M>(lane_splat<V>(kRoundingShift));
    const V scale = reinterpret_cast<V>((whole + 1023) << 52);
    V result = p * scale;
    result = under ? lane_splat<V>(0.0) : result;
    result = over ? lane_splat<V>(__builtin_inf()) : result;
    return result;
}

// Natural logarithm of positive normal numbers.
template <class V>
[[gnu::always_inline]] inline V lane_log(V x) {
    using M = LaneMask<V>;
    const M bits = reinterpret_cast<M>(x);
    M exponent = (bits >> 52) - 1023;
    const M mantissa_bits = (bits & 0x000fffffffffffffLL) | 0x3ff0000000000000LL;
    V m = reinterpret_cast<V>(mantissa_bits);  // in [1, 2)
    const M high = m > lane_splat<V>(1.4142135623730951);
    m = high ? m * 0.5 : m;  // now in [sqrt(1/2), sqrt(2)]
    exponent = exponent + (high & 1);
    const V e = reinterpret_cast<V>(exponent + reinterpret_cast<M>(lane_splat<V>(kRoundingShift))) -
                kRoundingShift;
    // log m = 2 atanh(s), s = (m - 1)/(m + 1), |s| <= 0.1716: the series to
    // s^23 leaves out less than 1e-18 relative.
    const V s = (m - 1.0) / (m + 1.0);
    const V s2 = s * s;
    constexpr double first_terms[8] = {2.0 / 3,  2.0 / 5,  2.0 / 7,  2.0 / 9,
                               2.0 / 11, 2.0 / 13, 2.0 / 15, 2.0 / 17};
    constexpr double last_terms[8] = {2.0 / 19, 2.0 / 21, 2.0 / 23, 0, 0, 0, 0, 0};
    const V s8 = (s2 * s2) * (s2 * s2);
    const V p = estrin8(s2, first_terms) + estrin8(s2, last_terms) * (s8 * s8);
    const V log_m = 2.0 * s + s * (s2 * p);
    return e * kLn2Hi + (log_m + e * kLn2Lo);
}

// cos(2 pi u) and sin(2 pi u) for u in [0, 1): u is reduced to the nearest
// quarter turn exactly, leaving an angle within pi/4.
template <class V>
[[gnu::always_inline]] inline void lane_sincos_turn(V u, V& cosine, V& sine) {
    using M = LaneMask<V>;
    const V t = u * 4.0;  // exact
    const V shifted = t + kRoundingShift;
    const V n = shifted - kRoundingShift;
    const M quarter =
        (reinterpret_cast<M>(shifted) - reinterpret_cast<M>(lane_splat<V>(kRoundingShift))) & 3;
    const V a = (t - n) * 1.5707963267948966;  // t - n exact, in [-1/2, 1/2]
    const V a2 = a * a;
    // Taylor's series: sine to a^17, cosine to a^16 (terms left out below 1e-17).
    constexpr double sine_terms[8] = {-1.0 / 6,           1.0 / 120,
                                      -1.0 / 5040,        1.0 / 362880,
                                      -1.0 / 39916800,    1.0 / 6227020800.0,
                                      -1.0 / 1307674368000.0, 1.0 / 355687428096000.0};
    constexpr double cosine_terms[8] = {-1.0 / 2,            1.0 / 24,
                                        -1.0 / 720,          1.0 / 40320,
                                        -1.0 / 3628800,      1.0 / 479001600,
                                        -1.0 / 87178291200.0, 1.0 / 20922789888000.0};
    const V s = a + a * (a2 * estrin8(a2, sine_terms));
    const V c = 1.0 + a2 * estrin8(a2, cosine_terms);
    // cos and sin of (quarter pi/2 + a).
    const M swap = (quarter & 1) != 0;
    const V cq = swap ? s : c;
    const V sq = swap ? c : s;
    const M negate_cos = ((quarter + 1) & 2) != 0;
    const M negate_sin = (quarter & 2) != 0;
    cosine = negate_cos ? -cq : cq;
    sine = negate_sin ? -sq : sq;
}

}  // namespace
}  // namespace quorrel::simulation_detail
