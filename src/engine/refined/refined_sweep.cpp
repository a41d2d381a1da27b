#include "engine/refined/refined_sweep.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <utility>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

namespace quorrel::refined {

using engine::Model;

namespace {

// Rows of the backward operator L = drift d/dx + diffusion d2/dx2 at one
// time: lo[j] couples node j to j - 1, up[j] to j + 1 (the diagonal is
// -(lo + up), since L takes constants to zero).
struct OperatorRows {
    std::vector<double> lo, up;
};

// What one sub-step needs: the factorised transpose of A = I - theta dt L
// and the transpose of B = I + (1 - theta) dt L. The elimination runs two
// rows at a time, so each recurrence step spans two nodes and the chain of
// dependent multiplications is half as long.
struct StepFactors {
    std::vector<double> inv, b,
        bb;  // forward: z[j] = w[j] inv[j] - b[j] z[j - 1]; bb[j] = b[j] b[j - 1]
    std::vector<double> cp, cc;      // back: y[j] = z[j] - cp[j] y[j + 1]; cc[j] = cp[j] cp[j + 1]
    std::vector<double> bo, bd, bu;  // B's lower, diagonal and upper entries
    double barrier_coupling = 0;     // dt lo[1]
    double top_coupling = 0;         // dt up[n]
};

// Central differences on the non-uniform grid. Where wealth drifts away
// from the barrier (incomes above the withdrawal) faster than the diffusion
// spreads it on the scale of the spacing, as it does near the barrier where
// sigma^2 x^2 / 2 vanishes, the ruin probability falls from 1 to 0 in a
// layer thinner than the spacing and central differences ripple across it.
// Within eight coarse cells of the barrier the diffusion is therefore fitted
// (Il'in-Allen-Southwell: D Pe coth Pe with the cell Peclet number
// Pe = a h / 2D, h the cell above, so that the limit is the forward
// difference even where neighbouring cells differ): central differencing up
// to D Pe^2 / 3 where the diffusion dominates, upwinding where it does not.
// A drift towards the barrier needs no fitting (the probability is smooth
// there), and further up the layer cannot lie, while upwinding's numerical
// diffusion would be the largest error of the scheme.
struct Stencils {
    int n = 0;                                                 // unknowns 1..n
    std::vector<double> x, half_cell, d1lo, d1up, d2lo, d2up;  // half_cell: half the cell above
    double mu[2] = {0, 0}, half_var[2] = {0, 0};               // mu and sigma^2 / 2 by regime
    double fit_width = 0;  // the fitting applies this far above the barrier
    // The percent rule: spending_relief(x) added to the drift's constant at
    // each node (empty under the fixed rule).
    std::vector<double> relief;
};

Stencils make_stencils(const Model& model, const std::vector<double>& x, int refinement) {
    Stencils s;
    s.n = static_cast<int>(x.size()) - 2;
    const int size = s.n + 2;
    for (std::vector<double>* v : {&s.half_cell, &s.d1lo, &s.d1up, &s.d2lo, &s.d2up})
        v->assign(size, 0);
    s.x = x;
    // Eight cells of the coarse grid: where a layer at the barrier can lie.
    s.fit_width = 8 * (x[1] - x[0]) * static_cast<double>(refinement);
    s.mu[0] = model.current_mu;
    s.mu[1] = model.later_mu;
    s.half_var[0] = 0.5 * model.current_sigma * model.current_sigma;
    s.half_var[1] = 0.5 * model.later_sigma * model.later_sigma;
    for (int j = 1; j <= s.n; ++j) {
        const double hm = x[j] - x[j - 1];
        const double hp = x[j + 1] - x[j];
        s.half_cell[j] = 0.5 * hp;
        s.d1lo[j] = -hp / (hm * (hm + hp));
        s.d1up[j] = hm / (hp * (hm + hp));
        s.d2lo[j] = 2 / (hm * (hm + hp));
        s.d2up[j] = 2 / (hp * (hm + hp));
    }
    if (model.spending_follows_wealth()) {
        s.relief.assign(size, 0);
        for (int j = 0; j < size; ++j) s.relief[j] = model.spending_relief(x[j]);
    }
    return s;
}

// D Pe coth(Pe) for the drift a, diffusion D and half the local spacing.
double fitted_diffusion(double a, double D, double half_h) {
    const double flow = std::fabs(a) * half_h;  // |a| h / 2
    if (!(D > 0)) return flow;
    const double pe = flow / D;
    if (pe < 0.1) {
        const double pe2 = pe * pe;
        return D * (1 + pe2 / 3 - pe2 * pe2 / 45);
    }
    if (pe > 20) return flow;
    return flow / std::tanh(pe);
}

void fill_rows(const Stencils& s, int regime, double m, double c, OperatorRows& rows) {
    rows.lo.resize(s.n + 2);
    rows.up.resize(s.n + 2);
    const double mu = s.mu[regime] * m;
    const double half_var = s.half_var[regime] * m;
    for (int j = 1; j <= s.n; ++j) {
        const double x = s.x[j];
        const double a = s.relief.empty() ? mu * x + c : mu * x + (c + s.relief[j]);
        const double plain = half_var * x * x;
        const double D =
            a > 0 && x - s.x[0] < s.fit_width ? fitted_diffusion(a, plain, s.half_cell[j]) : plain;
        rows.lo[j] = a * s.d1lo[j] + D * s.d2lo[j];
        rows.up[j] = a * s.d1up[j] + D * s.d2up[j];
    }
}

void factor_step(const OperatorRows& rows, int n, double dt, double theta, StepFactors& f) {
    for (std::vector<double>* v : {&f.inv, &f.b, &f.bb, &f.cp, &f.cc, &f.bo, &f.bd, &f.bu})
        v->assign(n + 3, 0.0);
    const double ti = theta * dt;
    const double te = (1 - theta) * dt;
    // A^T row j: A_up[j - 1] y[j - 1] + A_diag[j] y[j] + A_lo[j + 1] y[j + 1].
    double cp_prev = 0;
    for (int j = 1; j <= n; ++j) {
        const double lo = rows.lo[j], up = rows.up[j];
        const double diag = 1 + ti * (lo + up);
        const double sub = j > 1 ? -ti * rows.up[j - 1] : 0;
        const double sup = j < n ? -ti * rows.lo[j + 1] : 0;
        const double den = diag - sub * cp_prev;
        if (!(den != 0) || !std::isfinite(den))
            throw std::runtime_error("refined sweep: singular step");
        f.inv[j] = 1 / den;
        f.b[j] = sub / den;
        f.cp[j] = sup / den;
        cp_prev = f.cp[j];
        f.bo[j] = te * lo;
        f.bd[j] = 1 - te * (lo + up);
        f.bu[j] = te * up;
    }
    for (int j = 2; j <= n; ++j) f.bb[j] = f.b[j] * f.b[j - 1];
    for (int j = 1; j < n; ++j) f.cc[j] = f.cp[j] * f.cp[j + 1];
    f.barrier_coupling = dt * rows.lo[1];
    f.top_coupling = dt * rows.up[n];
}

// w <- B^T A^-T w on rows 1..n; returns the mass absorbed at the barrier and
// adds the mass lost through the top to `top`.
double apply_step(const StepFactors& f, int n, std::vector<double>& w,
                  std::vector<double>& y, double& top) {
    double* yy = y.data();
    double* ww = w.data();
    const double* inv = f.inv.data();
    const double* b = f.b.data();
    const double* bb = f.bb.data();
    const double* cp = f.cp.data();
    const double* cc = f.cc.data();
    // Forward: z[j + 1] from z[j - 1] in one multiply and add, z[j] beside it.
    double z_prev = 0;  // z[j - 1]
    int j = 1;
    for (; j + 1 <= n; j += 2) {
        const double a0 = ww[j] * inv[j];
        const double a1 = ww[j + 1] * inv[j + 1];
        const double z0 = a0 - b[j] * z_prev;
        const double z1 = (a1 - b[j + 1] * a0) + bb[j + 1] * z_prev;
        yy[j] = z0;
        yy[j + 1] = z1;
        z_prev = z1;
    }
    if (j == n) yy[j] = ww[j] * inv[j] - b[j] * z_prev;
    // Back: y[j] = z[j] - cp[j] y[j + 1], two rows per step. B^T's rows are
    // applied as soon as their three y are known, in the slack that the
    // recurrence leaves, rather than in a pass of their own.
    const double* bo = f.bo.data();
    const double* bd = f.bd.data();
    const double* bu = f.bu.data();
    auto b_row = [&](int k, double y_lo, double y_mid, double y_hi) {
        return bu[k - 1] * y_lo + bd[k] * y_mid + bo[k + 1] * y_hi;
    };
    double y_next = 0;   // y[j + 1]
    double y_next2 = 0;  // y[j + 2]
    j = n;
    for (; j - 1 >= 1; j -= 2) {
        const double zj = yy[j];
        const double zm = yy[j - 1];
        const double y0 = zj - cp[j] * y_next;
        const double y1 = (zm - cp[j - 1] * zj) + cc[j - 1] * y_next;
        yy[j] = y0;
        yy[j - 1] = y1;
        if (j < n) ww[j + 1] = b_row(j + 1, y0, y_next, y_next2);
        ww[j] = b_row(j, y1, y0, y_next);
        y_next2 = y0;
        y_next = y1;
    }
    if (j == 1) {
        const double y0 = yy[1] - cp[1] * y_next;
        yy[1] = y0;
        if (n > 1) ww[2] = b_row(2, y0, y_next, y_next2);
        ww[1] = b_row(1, 0.0, y0, y_next);
    } else {
        ww[1] = b_row(1, 0.0, y_next, y_next2);
    }
    top += f.top_coupling * yy[n];
    return f.barrier_coupling * yy[1];
}

// Several systems stepped at once, each in a lane: their numbers of one
// node side by side, so that one vector operation does the same arithmetic
// for every system (the recurrences are chains of dependent operations, and
// lanes run them together). Lane k holds system k; a spare lane repeats
// system 0's factors on zero weights. Each lane's arithmetic is
// apply_step's, operation for operation.
inline constexpr int kLanes = 4;
// Four lanes as two pairs: a pair is one SSE2 register, which every x86-64
// processor has (four in one register would change how they are passed).
using LanePair = double __attribute__((vector_size(2 * sizeof(double))));
struct Lanes {
    LanePair lo, hi;
};
inline Lanes operator+(const Lanes& a, const Lanes& b) { return {a.lo + b.lo, a.hi + b.hi}; }
inline Lanes operator-(const Lanes& a, const Lanes& b) { return {a.lo - b.lo, a.hi - b.hi}; }
inline Lanes operator*(const Lanes& a, const Lanes& b) { return {a.lo * b.lo, a.hi * b.hi}; }

inline Lanes load_lanes(const double* p) {
    Lanes v;
    std::memcpy(&v.lo, p, sizeof v.lo);
    std::memcpy(&v.hi, p + 2, sizeof v.hi);
    return v;
}
inline void store_lanes(double* p, const Lanes& v) {
    std::memcpy(p, &v.lo, sizeof v.lo);
    std::memcpy(p + 2, &v.hi, sizeof v.hi);
}

// A step's factors of every lane, node by node: at[(j * kPacked + field) *
// kLanes + lane].
enum PackedField { kInv, kB, kBb, kCp, kCc, kBo, kBd, kBu, kPacked };
struct LaneFactors {
    std::vector<double> at;
    double barrier_coupling[kLanes] = {}, top_coupling[kLanes] = {};
};

void pack_lane(const StepFactors& f, int lane, LaneFactors& p) {
    const std::size_t nodes = f.inv.size();
    p.at.resize(nodes * kPacked * kLanes);
    const std::vector<double>* fields[kPacked] = {&f.inv, &f.b,  &f.bb, &f.cp,
                                                  &f.cc,  &f.bo, &f.bd, &f.bu};
    for (std::size_t j = 0; j < nodes; ++j)
        for (int field = 0; field < kPacked; ++field)
            p.at[(j * kPacked + field) * kLanes + lane] = (*fields[field])[j];
    p.barrier_coupling[lane] = f.barrier_coupling;
    p.top_coupling[lane] = f.top_coupling;
}

// w <- B^T A^-T w in every lane (w[j * kLanes + lane]); adds each lane's
// mass through the top to top[lane] and returns its absorbed mass in
// absorbed[lane].
void apply_lane_step(const LaneFactors& f, int n, double* w, double* y, double* top,
                     double* absorbed) {
    const double* c = f.at.data();
    const auto at = [c](int j, int field) {
        return load_lanes(c + (static_cast<std::size_t>(j) * kPacked + field) * kLanes);
    };
    const auto node = [](double* v, int j) { return v + static_cast<std::size_t>(j) * kLanes; };
    const Lanes zero = {{0, 0}, {0, 0}};
    Lanes z_prev = zero;
    int j = 1;
    for (; j + 1 <= n; j += 2) {
        const Lanes a0 = load_lanes(node(w, j)) * at(j, kInv);
        const Lanes a1 = load_lanes(node(w, j + 1)) * at(j + 1, kInv);
        const Lanes z0 = a0 - at(j, kB) * z_prev;
        const Lanes z1 = (a1 - at(j + 1, kB) * a0) + at(j + 1, kBb) * z_prev;
        store_lanes(node(y, j), z0);
        store_lanes(node(y, j + 1), z1);
        z_prev = z1;
    }
    if (j == n) store_lanes(node(y, j), load_lanes(node(w, j)) * at(j, kInv) - at(j, kB) * z_prev);
    const auto b_row = [&](int r, const Lanes& y_lo, const Lanes& y_mid, const Lanes& y_hi) {
        return at(r - 1, kBu) * y_lo + at(r, kBd) * y_mid + at(r + 1, kBo) * y_hi;
    };
    Lanes y_next = zero, y_next2 = zero;
    j = n;
    for (; j - 1 >= 1; j -= 2) {
        const Lanes zj = load_lanes(node(y, j));
        const Lanes zm = load_lanes(node(y, j - 1));
        const Lanes y0 = zj - at(j, kCp) * y_next;
        const Lanes y1 = (zm - at(j - 1, kCp) * zj) + at(j - 1, kCc) * y_next;
        store_lanes(node(y, j), y0);
        store_lanes(node(y, j - 1), y1);
        if (j < n) store_lanes(node(w, j + 1), b_row(j + 1, y0, y_next, y_next2));
        store_lanes(node(w, j), b_row(j, y1, y0, y_next));
        y_next2 = y0;
        y_next = y1;
    }
    if (j == 1) {
        const Lanes y0 = load_lanes(node(y, 1)) - at(1, kCp) * y_next;
        store_lanes(node(y, 1), y0);
        if (n > 1) store_lanes(node(w, 2), b_row(2, y0, y_next, y_next2));
        store_lanes(node(w, 1), b_row(1, zero, y0, y_next));
    } else {
        store_lanes(node(w, 1), b_row(1, zero, y_next, y_next2));
    }
    for (int k = 0; k < kLanes; ++k) {
        top[k] += f.top_coupling[k] * y[static_cast<std::size_t>(n) * kLanes + k];
        absorbed[k] = f.barrier_coupling[k] * y[kLanes + k];
    }
}

struct SubStep {
    double dt;
    double theta;
    double t_end;
};

std::vector<SubStep> sub_steps(double start, double end, double dt, int implicit_half_steps) {
    const long steps = std::max(1L, std::lround((end - start) / dt));
    const long implicit_steps = std::min<long>(steps, implicit_half_steps / 2);
    std::vector<SubStep> out;
    out.reserve(static_cast<std::size_t>(steps + implicit_steps));
    for (long s = 1; s <= 2 * implicit_steps; ++s)
        out.push_back({dt / 2, 1.0, start + static_cast<double>(s) * dt / 2});
    for (long k = implicit_steps + 1; k <= steps; ++k)
        out.push_back({dt, 0.5, start + static_cast<double>(k) * dt});
    return out;
}

}  // namespace

SweepGrid make_sweep_grid(double x0, double barrier, double base_spacing, double top,
                          int refinement) {
    SweepGrid g;
    const double span = x0 - barrier;
    // Today's wealth closer to the barrier than half the spacing: the first
    // cell runs from the barrier to it, the spacing holds above. (Thousands of
    // cells far smaller than a year's drift would each be crossed in a
    // fraction of a time step, which Crank-Nicolson does not damp.)
    const double first = span < base_spacing / 2 ? span : 0;
    const long intervals = first > 0 ? 1 : std::max(1L, std::lround(span / base_spacing));
    const double h = first > 0 ? base_spacing : span / static_cast<double>(intervals);
    g.spacing = h / refinement;
    g.stretch_from = std::max(x0, barrier + first + 200 * h);
    auto linear = [&](double xi) {
        if (first > 0) return xi <= 1 ? barrier + first * xi : x0 + h * (xi - 1);
        return barrier + h * xi;
    };
    const double xi1 = first > 0 ? 1 + (g.stretch_from - x0) / h : (g.stretch_from - barrier) / h;
    // Above stretch_from the spacing grows from h by the factor exp(rate) a
    // coarse node: dx/dxi = h exp(rate (xi - xi1)). The map is smooth, so the
    // central differences stay second order in the index step and Richardson
    // holds. At the start of the stretching the relative spacing is at most
    // 0.5% (stretch_from is 200 cells up); far above it tends to the rate.
    const double rate = std::max(h / g.stretch_from, kStretchRate);
    const double from = g.stretch_from;
    auto stretched = [&](double xi) { return from + h / rate * std::expm1(rate * (xi - xi1)); };
    double xi_top = first > 0 ? 1 + (top - x0) / h : (top - barrier) / h;
    if (top > from) xi_top = xi1 + std::log1p(rate * (top - from) / h) / rate;
    const long coarse = std::max(static_cast<long>(std::ceil(xi_top)), intervals + 2);
    const long nodes = coarse * refinement;
    g.x.resize(static_cast<std::size_t>(nodes + 1));
    for (long k = 0; k <= nodes; ++k) {
        const double xi = static_cast<double>(k) / refinement;
        g.x[k] = xi <= xi1 ? linear(xi) : stretched(xi);
    }
    g.start = static_cast<int>(intervals * refinement);
    g.x[g.start] = x0;
    g.x[0] = barrier;
    return g;
}

double sweep_top(const Model& model, double x0, double base_spacing, double years) {
    const double m = std::max(model.exposure(0), model.exposure(years));
    const double mu = std::max({0.0, model.current_mu, model.later_mu}) * m;
    const double sigma = std::max(model.current_sigma, model.later_sigma) * std::sqrt(m);
    // Spending never falls below its value at wealth 0.
    const double relief = model.spending_relief(0);
    const double income =
        std::max({0.0, model.net_income(0) + relief, model.net_income(years) + relief});
    // The running maximum of a Brownian motion passes z standard deviations
    // with probability 2 Q(z): 8e-11 at z = 6.5.
    constexpr double z = 6.5;
    const double top =
        (std::max(x0, 0.0) + income * years) * std::exp(mu * years + z * sigma * std::sqrt(years));
    return std::max(top, 2 * std::max(x0, 200 * base_spacing));
}

namespace {

double deterministic_slope(const Model& m, double t, double x) {
    if (m.spending_follows_wealth())
        return m.mu(t) * m.exposure(t) * x + (m.net_income(t) + m.spending_relief(x));
    return m.mu(t) * m.exposure(t) * x + m.net_income(t);
}

// The certain path of a phase without volatility, from 0 to `until`, in
// Runge-Kutta steps of dt: fills t and ruin (0, then 1 from the crossing on)
// and the snapshot points, and returns the wealth at `until`, or NaN once
// the barrier is reached.
double follow_certain_path(const Model& m, const SweepSpec& sweep, double until, double dt,
                           SweepResult& r) {
    const long steps = std::lround(until / dt);
    double x = sweep.x0;
    r.t.push_back(0);
    r.ruin.push_back(0);
    auto note_snapshots = [&](double t, double value) {
        for (std::size_t k = 0; k < sweep.snapshot_times.size(); ++k) {
            if (std::fabs(sweep.snapshot_times[k] - t) < 1e-9) r.snapshot_point[k] = value;
        }
    };
    for (long k = 0; k < steps; ++k) {
        const double t0 = static_cast<double>(k) * dt, t1 = static_cast<double>(k + 1) * dt;
        const double h = t1 - t0;
        const double k1 = deterministic_slope(m, t0, x);
        const double k2 = deterministic_slope(m, t0 + h / 2, x + h / 2 * k1);
        const double k3 = deterministic_slope(m, t0 + h / 2, x + h / 2 * k2);
        const double k4 = deterministic_slope(m, t1, x + h * k3);
        const double xn = x + h / 6 * (k1 + 2 * k2 + 2 * k3 + k4);
        if (xn <= sweep.barrier) {
            const double tc = t0 + h * (x - sweep.barrier) / (x - xn);
            r.t.push_back(tc);
            r.ruin.push_back(0);
            r.t.push_back(tc);
            r.ruin.push_back(1);
            for (std::size_t j = 0; j < sweep.snapshot_times.size(); ++j) {
                if (sweep.snapshot_times[j] >= tc) {
                    r.snapshot_point[j] = std::numeric_limits<double>::quiet_NaN();
                    r.snapshot_ruin[j] = 1;
                }
            }
            return std::numeric_limits<double>::quiet_NaN();
        }
        x = xn;
        r.t.push_back(t1);
        r.ruin.push_back(0);
        note_snapshots(t1, x);
    }
    return x;
}

// Where the drift outruns the diffusion at today's wealth by more than the
// spacing (a cell Peclet number above 1: wealth close to 0 with incomes above
// the withdrawal, or a very small volatility), a point mass would be carried
// across many cells before the diffusion spreads it, and the scheme would
// spread it numerically instead. The start is then moved to the first time
// step at which the spread of wealth reaches two cells, with the mean and
// variance of wealth carried there by their exact differential equations and
// wealth taken as normal with them. That holds while the barrier lies more
// than six standard deviations below (else the point start is kept) and for
// five years at most.
struct SpreadStart {
    bool used = false;
    double time = 0, mean = 0, variance = 0;
};

SpreadStart spread_start(const Model& m, const SweepSpec& sweep, double start,
                         double x_start) {
    SpreadStart out;
    const double span = x_start - sweep.barrier;
    const double h =
        span < sweep.base_spacing / 2
            ? sweep.base_spacing
            : span / static_cast<double>(std::max(1L, std::lround(span / sweep.base_spacing)));
    const double e0 = m.exposure(start);
    const double a0 = deterministic_slope(m, start, x_start);
    const double d0 = 0.5 * m.sigma(start) * m.sigma(start) * e0 * x_start * x_start;
    if (!(std::fabs(a0) * h > 2 * d0)) return out;
    auto slope = [&](double t, double mean, double var, double& dm, double& dv) {
        const double e = m.exposure(t), mu = m.mu(t), s2 = m.sigma(t) * m.sigma(t);
        // The spending rule's withdrawal taken linear about the mean.
        dm = deterministic_slope(m, t, mean);
        dv = 2 * (mu * e - m.spending_slope(mean)) * var + s2 * e * (mean * mean + var);
    };
    double mean = x_start, var = 0, t = start;
    const int sub = 8;
    const double step = sweep.dt / sub;
    const double last = std::min(start + 5, sweep.end - sweep.dt);
    while (t + sweep.dt <= last + 1e-12) {
        for (int k = 0; k < sub; ++k) {
            // Sub-steps inside one time step share its regime, as the sweep's do.
            const double tm = t + (k + 0.5) * step;
            const double t0 = tm - 0.5 * step * (1 - 1e-9), t1 = tm + 0.5 * step * (1 - 1e-9);
            double m1, v1, m2, v2, m3, v3, m4, v4;
            slope(t0, mean, var, m1, v1);
            slope(tm, mean + step / 2 * m1, var + step / 2 * v1, m2, v2);
            slope(tm, mean + step / 2 * m2, var + step / 2 * v2, m3, v3);
            slope(t1, mean + step * m3, var + step * v3, m4, v4);
            mean += step / 6 * (m1 + 2 * m2 + 2 * m3 + m4);
            var += step / 6 * (v1 + 2 * v2 + 2 * v3 + v4);
        }
        t = start + std::round((t + sweep.dt - start) / sweep.dt) * sweep.dt;
        if (var >= 4 * h * h) break;
    }
    const double variance = std::max(var, 0.25 * h * h);
    if (!(t > start) || mean - 6 * std::sqrt(variance) <= sweep.barrier) return out;
    out.used = true;
    out.time = t;
    out.mean = mean;
    out.variance = variance;
    return out;
}

// A sweep that starts without volatility: follows the certain path to the
// end of that phase. True when that finished the sweep (ruined on the way,
// or no volatile phase before the end); otherwise start and x_start say
// where the grid sweep begins.
bool follow_certain_phase(const Model& model, const SweepSpec& sweep, double dt,
                          SweepResult& result, double& start, double& x_start) {
    start = model.later_sigma == 0 ? sweep.end : std::min(model.later_years, sweep.end);
    x_start = follow_certain_path(model, sweep, start, dt, result);
    const bool ruined = std::isnan(x_start);
    if (!ruined && start < sweep.end) {
        result.t.pop_back();
        result.ruin.pop_back();
        return false;
    }
    if (!ruined) {
        result.t.push_back(sweep.end);
        result.ruin.push_back(0);
    } else if (result.t.back() < sweep.end) {
        result.t.push_back(sweep.end);
        result.ruin.push_back(1);
    }
    result.grid =
        make_sweep_grid(sweep.x0, sweep.barrier, sweep.base_spacing, sweep.top, sweep.refinement);
    for (auto& w : result.snapshots) w.assign(result.grid.x.size() + 1, 0.0);
    result.snapshot_prefix = result.snapshots;
    return true;
}

// The probability weights at the start: today's node, or the normal spread.
std::vector<double> start_weights(const SweepGrid& grid, int n, const SpreadStart& spread) {
    const std::vector<double>& x = grid.x;
    std::vector<double> w(n + 3, 0.0);
    if (!spread.used) {
        w[grid.start] = 1;
        return w;
    }
    double total = 0;
    for (int j = 1; j <= n; ++j) {
        const double z = (x[j] - spread.mean) / std::sqrt(spread.variance);
        w[j] = std::exp(-0.5 * z * z) * 0.5 * (x[j + 1] - x[j - 1]);
        total += w[j];
    }
    for (int j = 1; j <= n; ++j) w[j] /= total;
    return w;
}

// The sub-step at whose end each snapshot is taken (past the end for one
// the certain phase already fixed).
std::vector<std::size_t> snapshot_steps(const SweepSpec& sweep, const std::vector<SubStep>& steps,
                                        int n, SweepResult& result) {
    const std::size_t snapshots = sweep.snapshot_times.size();
    std::vector<std::size_t> snapshot_step(snapshots, steps.size() + 1);
    for (std::size_t k = 0; k < snapshots; ++k) {
        if (!std::isnan(result.snapshot_point[k])) continue;
        for (std::size_t s = 0; s < steps.size(); ++s) {
            if (std::fabs(steps[s].t_end - sweep.snapshot_times[k]) < 1e-9) snapshot_step[k] = s;
        }
        if (snapshot_step[k] > steps.size())
            throw std::runtime_error("refined sweep: snapshot off the time grid");
    }
    for (std::size_t k = 0; k < snapshots; ++k) {
        if (!std::isnan(result.snapshot_point[k])) result.snapshots[k].assign(n + 3, 0.0);
    }
    return snapshot_step;
}

// The factorised step operators. Coefficients that change with time are
// frozen at the middle of blocks of up to kBlock sub-steps of one kind, so a
// factorisation serves a block; the blocks shrink with the time step, so the
// freezing error falls with it like the rest. Constant coefficients need one
// factorisation per regime and step kind.
class StepOperators {
public:
    StepOperators(const Model& model, const Stencils& stencils,
                  const std::vector<SubStep>& steps)
        : model_(model),
          stencils_(stencils),
          steps_(steps),
          n_(stencils.n),
          constant_(model.coefficients_constant_in_time()) {}

    const StepFactors& for_step(std::size_t s) {
        const SubStep& st = steps_[s];
        const int regime = regime_of(st);
        if (constant_) {
            const int implicit = st.theta == 1.0 ? 1 : 0;
            if (!cached_[regime][implicit]) {
                fill_rows(stencils_, regime, model_.exposure(0), model_.net_income(0), rows_);
                factor_step(rows_, n_, st.dt, st.theta, cache_[regime][implicit]);
                cached_[regime][implicit] = true;
                ++factorisations_;
            }
            return cache_[regime][implicit];
        }
        if (s >= block_end_) {
            block_end_ = s + 1;
            while (block_end_ < steps_.size() && block_end_ - s < kBlock &&
                   steps_[block_end_].theta == st.theta &&
                   regime_of(steps_[block_end_]) == regime) {
                ++block_end_;
            }
            const double t_block = 0.5 * (st.t_end - st.dt + steps_[block_end_ - 1].t_end);
            fill_rows(stencils_, regime, model_.exposure(t_block), model_.net_income(t_block),
                      rows_);
            factor_step(rows_, n_, st.dt, st.theta, factors_);
            ++factorisations_;
        }
        return factors_;
    }
    // How many factorisations for_step has made: the factors it returns are
    // new when this or their address changed.
    long factorisations() const { return factorisations_; }

private:
    static constexpr std::size_t kBlock = 8;
    int regime_of(const SubStep& st) const {
        return model_.later_regime(st.t_end - st.dt / 2) ? 1 : 0;
    }

    const Model& model_;
    const Stencils& stencils_;
    const std::vector<SubStep>& steps_;
    const int n_;
    const bool constant_;
    StepFactors cache_[2][2];
    bool cached_[2][2] = {{false, false}, {false, false}};
    OperatorRows rows_;
    StepFactors factors_;
    std::size_t block_end_ = 0;
    long factorisations_ = 0;
};

double grid_mass(const std::vector<double>& w, int n) {
    double sum = 0;
    for (int j = 1; j <= n; ++j) sum += w[j];
    return sum;
}

// Runs the sub-steps from the start weights w, recording the ruin
// probability after each and the snapshots.
void march(const Model& model, const Stencils& stencils, const std::vector<SubStep>& steps,
           const std::vector<std::size_t>& snapshot_step, std::vector<double>& w,
           SweepResult& result, const Pump& pump) {
    const int n = stencils.n;
    std::vector<double> y(n + 3, 0.0);
    StepOperators operators(model, stencils, steps);
    // Every row is solved: the implicit half of a step couples all of them,
    // so a row left out would absorb whatever reached it, counted neither as
    // ruin nor as wealth.
    double ruined = 0;
    double top = 0;
    for (std::size_t s = 0; s < steps.size(); ++s) {
        ruined += apply_step(operators.for_step(s), n, w, y, top);
        // Ruined, on the grid and through the top: nothing else may happen to
        // probability. Checked every step in debug builds, on snapshots (and
        // the last step) in every build, where the sum costs nothing beside
        // the copy.
        const bool record = s + 1 == steps.size() ||
                            std::find(snapshot_step.begin(), snapshot_step.end(), s) !=
                                snapshot_step.end();
#ifdef NDEBUG
        if (record)
#endif
        {
            const double defect = std::fabs(ruined + grid_mass(w, n) + top - 1);
            result.mass_defect = std::max(result.mass_defect, defect);
            assert(defect < kMassTolerance);
        }
        (void)record;
        result.t.push_back(steps[s].t_end);
        result.ruin.push_back(ruined);
        for (std::size_t k = 0; k < snapshot_step.size(); ++k) {
            if (snapshot_step[k] == s) {
                result.snapshots[k] = w;
                result.snapshot_ruin[k] = ruined;
                result.top_loss_at_last_snapshot = top;
            }
        }
        if (pump && s % 256 == 0) pump();
    }
    result.top_loss = top;
}

void fill_snapshot_prefix(int n, SweepResult& result) {
    result.snapshot_prefix.resize(result.snapshots.size());
    for (std::size_t k = 0; k < result.snapshots.size(); ++k) {
        std::vector<double>& p = result.snapshot_prefix[k];
        p.assign(n + 2, 0.0);
        for (int j = 1; j <= n; ++j) p[j] = p[j - 1] + result.snapshots[k][j];
    }
}

}  // namespace

SweepResult run_sweep(const Model& model, const SweepSpec& sweep, const Pump& pump) {
    SweepResult result;
    const std::size_t snapshots = sweep.snapshot_times.size();
    result.snapshots.assign(snapshots, {});
    result.snapshot_ruin.assign(snapshots, 0);
    result.snapshot_point.assign(snapshots, std::numeric_limits<double>::quiet_NaN());
    const double dt = sweep.dt / sweep.refinement;

    double start = 0;
    double x_start = sweep.x0;
    if (model.current_sigma == 0 && follow_certain_phase(model, sweep, dt, result, start, x_start))
        return result;

    result.grid =
        make_sweep_grid(x_start, sweep.barrier, sweep.base_spacing, sweep.top, sweep.refinement);
    const Stencils stencils = make_stencils(model, result.grid.x, sweep.refinement);
    const int n = stencils.n;
    SpreadStart spread = spread_start(model, sweep, start, x_start);
    // A snapshot of the grid's phase before the spread start would have no
    // weights to take: the point start is kept instead.
    for (double t : sweep.snapshot_times)
        if (spread.used && t > start + 1e-9 && t < spread.time + 1e-9) spread.used = false;
    if (spread.used) start = spread.time;
    const std::vector<SubStep> steps = sub_steps(start, sweep.end, dt, sweep.implicit_half_steps);

    std::vector<double> w = start_weights(result.grid, n, spread);
    result.t.reserve(result.t.size() + steps.size() + 1);
    result.ruin.reserve(result.ruin.size() + steps.size() + 1);
    result.t.push_back(start);
    result.ruin.push_back(0);
    const std::vector<std::size_t> snapshot_step = snapshot_steps(sweep, steps, n, result);
    march(model, stencils, steps, snapshot_step, w, result, pump);
    fill_snapshot_prefix(n, result);
    return result;
}

double SweepResult::ruin_by(double T) const {
    if (T <= 0) return 0;
    const auto it = std::lower_bound(t.begin(), t.end(), T - 1e-12);
    if (it == t.end()) return ruin.back();
    const std::size_t s = static_cast<std::size_t>(it - t.begin());
    if (std::fabs(t[s] - T) < 1e-9 || s == 0) return ruin[s];
    const double a = (T - t[s - 1]) / (t[s] - t[s - 1]);
    return ruin[s - 1] + a * (ruin[s] - ruin[s - 1]);
}

double SweepResult::lifetime_ruin(const Model& model, double horizon) const {
    double p = 0;
    for (std::size_t s = 1; s < t.size() && t[s - 1] < horizon; ++s) {
        const double mid = 0.5 * (t[s - 1] + std::min(t[s], horizon));
        const double share = t[s] <= horizon ? 1.0 : (horizon - t[s - 1]) / (t[s] - t[s - 1]);
        p += share * (ruin[s] - ruin[s - 1]) * model.conditional_survival(mid, horizon);
    }
    return p;
}

double SweepResult::mean_unruined_time(double T) const {
    // A sweep moved to a spread start begins at t[0] > 0, and nothing is
    // ruined before it.
    double area = std::clamp(t.front(), 0.0, T);
    for (std::size_t s = 1; s < t.size() && t[s - 1] < T; ++s) {
        const double t1 = std::min(t[s], T);
        const double r1 = t[s] <= T ? ruin[s] : ruin_by(T);
        area += (t1 - t[s - 1]) * (1 - 0.5 * (ruin[s - 1] + r1));
    }
    if (t.back() < T) area += (T - t.back()) * (1 - ruin.back());
    return area;
}

double SweepResult::wealth_below(int k, double level) const {
    const std::vector<double>& x = grid.x;
    const std::vector<double>& w = snapshots[k];
    const std::vector<double>& prefix = snapshot_prefix[k];
    const int n = static_cast<int>(x.size()) - 2;
    double below = snapshot_ruin[k];
    if (!std::isnan(snapshot_point[k])) return level > snapshot_point[k] ? 1.0 : below;
    if (level <= x[0]) return level < x[0] ? 0.0 : below;
    // Node j's cell runs from the midpoint with j - 1 to the midpoint with
    // j + 1; the distribution function is known at the nodes (each node's
    // cell cut at the node) and taken linear between them. Cutting cells at
    // an arbitrary level instead would let the odd-even ripple that central
    // differences leave in the weights, where the drift towards the barrier
    // outruns the diffusion, move the quantiles near the exhausted mass.
    auto at_node = [&](int j) {
        if (j == 0) return below;
        const double lo = 0.5 * (x[j - 1] + x[j]);
        const double hi = 0.5 * (x[j] + x[j + 1]);
        return below + prefix[j - 1] + w[j] * (x[j] - lo) / (hi - lo);
    };
    const auto upper = std::upper_bound(x.begin() + 1, x.begin() + n + 1, level);
    const int j = static_cast<int>(upper - x.begin());  // first node above the level
    if (j > n) {
        const double lo = 0.5 * (x[n - 1] + x[n]);
        const double hi = 0.5 * (x[n] + x[n + 1]);
        const double share = std::clamp((level - lo) / (hi - lo), 0.0, 1.0);
        return below + prefix[n - 1] + share * w[n];
    }
    const double a = (level - x[j - 1]) / (x[j] - x[j - 1]);
    return at_node(j - 1) + a * (at_node(j) - at_node(j - 1));
}

double SweepResult::expectation_unruined(int k, const std::function<double(double)>& f) const {
    if (!std::isnan(snapshot_point[k])) return snapshot_ruin[k] >= 1 ? 0.0 : f(snapshot_point[k]);
    const std::vector<double>& x = grid.x;
    const std::vector<double>& w = snapshots[k];
    const int n = static_cast<int>(x.size()) - 2;
    double sum = 0;
    for (int j = 1; j <= n; ++j) sum += w[j] * f(x[j]);
    return sum;
}

}  // namespace quorrel::refined

namespace quorrel::refined {

using engine::HouseholdModel;
using engine::kHouseholdStates;

namespace {

// Probabilities of each life surviving over an interval under the truncated
// laws (0 for a life already certainly dead).
struct SurvivalRatios {
    double person = 0, spouse = 0;
};

// The deaths over one interval: both alive moves to the person alone when
// the spouse dies, to the spouse alone when the person dies, out when both
// die; a survivor's state empties at its death.
template <typename T>
void move_between_states(const SurvivalRatios& r, T& both, T& person, T& spouse) {
    const T b = both;
    both = b * (r.person * r.spouse);
    person = person * r.person + b * (r.person * (1 - r.spouse));
    spouse = spouse * r.spouse + b * ((1 - r.person) * r.spouse);
}

using StateArray = std::array<double, kHouseholdStates>;

StateArray moved(const SurvivalRatios& r, StateArray v) {
    move_between_states(r, v[0], v[1], v[2]);
    return v;
}

}  // namespace

double household_sweep_top(const HouseholdModel& model, double x0, double base_spacing,
                           double years) {
    double top = 0;
    for (const engine::Model& m : model.states)
        top = std::max(top, sweep_top(m, x0, base_spacing, years));
    return top;
}

namespace {

// Subnormal numbers flushed to zero while it lives. The densities' far
// tails fall below 1e-308, and each death moves a small share of them on,
// into subnormals that the processor handles in microcode at a hundred
// times the cost; zero instead changes no figure.
class FlushSubnormals {
public:
#if defined(__SSE2__)
    FlushSubnormals() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | 0x8040); }  // FTZ | DAZ
    ~FlushSubnormals() { _mm_setcsr(saved_); }

private:
    unsigned saved_;
#endif
};

// The lanes' factors, packed again only when some state's factors changed:
// with constant coefficients four times in all, else once a block of steps.
class PackedStates {
public:
    const LaneFactors& for_step(StepOperators (&operators)[kHouseholdStates], std::size_t s) {
        const StepFactors* factors[kHouseholdStates];
        Key key;
        for (int k = 0; k < kHouseholdStates; ++k) {
            factors[k] = &operators[k].for_step(s);
            key[k] = {factors[k], operators[k].factorisations()};
        }
        auto hit = std::find_if(packed_.begin(), packed_.end(),
                                [&](const auto& e) { return e.first == key; });
        if (hit != packed_.end()) return hit->second;
        if (packed_.size() >= 4) packed_.erase(packed_.begin());
        packed_.emplace_back(key, LaneFactors{});
        LaneFactors& lanes = packed_.back().second;
        for (int k = 0; k < kHouseholdStates; ++k) pack_lane(*factors[k], k, lanes);
        for (int k = kHouseholdStates; k < kLanes; ++k) pack_lane(*factors[0], k, lanes);
        return lanes;
    }

private:
    using Key = std::array<std::pair<const StepFactors*, long>, kHouseholdStates>;
    std::vector<std::pair<Key, LaneFactors>> packed_;
};

// The two lives' survival at a sub-step's middle and end.
struct StepSurvival {
    double person = 1, spouse = 1;          // at the middle
    double person_end = 1, spouse_end = 1;  // at the end
    double alive_end() const { return person_end + spouse_end - person_end * spouse_end; }
};

// What the sweep has at a step's end for the figures: each state's ruined
// and lost-through-the-top probability, moved on to the end.
struct StepEnd {
    StateArray ruined{}, top{};
    double ruined_alive() const { return ruined[0] + ruined[1] + ruined[2]; }
};

// Each state's wealth on the grid at the step's end, and the households'
// with someone alive (divided by the chance of that) when `weights` is not
// empty; the state mass defects checked against the two death laws.
void household_snapshot(const std::vector<double>& u, int n, const StepSurvival& v,
                        const StepEnd& end, std::vector<double>& weights,
                        HouseholdSweepResult& out) {
    const auto at = [](int j, int k) { return static_cast<std::size_t>(j) * kLanes + k; };
    const double sp1 = v.person_end, ss1 = v.spouse_end, alive = v.alive_end();
    StateArray grid{};
    for (int j = 1; j <= n; ++j) {
        const double b = sp1 * ss1 * u[at(j, 0)];
        const double p = sp1 * (u[at(j, 1)] + (v.spouse - ss1) * u[at(j, 0)]);
        const double q = ss1 * (u[at(j, 2)] + (v.person - sp1) * u[at(j, 0)]);
        grid[0] += b;
        grid[1] += p;
        grid[2] += q;
        if (!weights.empty()) weights[j] = alive > 0 ? (b + p + q) / alive : 0;
    }
    const StateArray exact = {sp1 * ss1, sp1 * (1 - ss1), (1 - sp1) * ss1};
    double total = 0, exact_total = 0;
    for (int k = 0; k < kHouseholdStates; ++k) {
        const double tracked = grid[k] + end.ruined[k] + end.top[k];
        out.state_mass_defect = std::max(out.state_mass_defect, std::fabs(tracked - exact[k]));
        total += tracked;
        exact_total += exact[k];
    }
    SweepResult& result = out.conditional;
    result.mass_defect = std::max(result.mass_defect, std::fabs(total - exact_total));
}

// The series with room for every step's end, each starting at 0 at t = 0.
void start_series(std::size_t steps, HouseholdSweepResult& out) {
    SweepResult& result = out.conditional;
    result.t.reserve(steps + 1);
    result.ruin.reserve(steps + 1);
    result.t.push_back(0);
    result.ruin.push_back(0);
    for (auto& r : out.ruined) {
        r.reserve(steps + 1);
        r.push_back(0);
    }
}

// Step s's end at t1: the series, and at a snapshot (or the last step) the
// wealth of households with someone alive and the mass checks.
void record_step_end(const std::vector<double>& u, int n, std::size_t s, bool last,
                     const std::vector<std::size_t>& snapshot_step, double t1,
                     const StepSurvival& v, const StepEnd& end, HouseholdSweepResult& out) {
    SweepResult& result = out.conditional;
    const double alive = v.alive_end();
    result.t.push_back(t1);
    result.ruin.push_back(alive > 0 ? end.ruined_alive() / alive : result.ruin.back());
    for (int k = 0; k < kHouseholdStates; ++k) out.ruined[k].push_back(end.ruined[k]);

    const bool snapshot =
        std::find(snapshot_step.begin(), snapshot_step.end(), s) != snapshot_step.end();
    if (!snapshot && !last) return;
    std::vector<double> weights(snapshot ? n + 3 : 0, 0.0);
    household_snapshot(u, n, v, end, weights, out);
    const double top_end = end.top[0] + end.top[1] + end.top[2];
    for (std::size_t k = 0; k < snapshot_step.size(); ++k) {
        if (snapshot_step[k] != s) continue;
        result.snapshots[k] = weights;
        result.snapshot_ruin[k] = alive > 0 ? end.ruined_alive() / alive : 0;
        result.top_loss_at_last_snapshot = top_end;
    }
    if (last) result.top_loss = top_end;
}

}  // namespace

HouseholdSweepResult run_household_sweep(const HouseholdModel& h, const SweepSpec& sweep,
                                         const Pump& pump) {
    const FlushSubnormals flush;
    HouseholdSweepResult out;
    SweepResult& result = out.conditional;
    const std::size_t snapshots = sweep.snapshot_times.size();
    result.snapshots.assign(snapshots, {});
    result.snapshot_ruin.assign(snapshots, 0);
    result.snapshot_point.assign(snapshots, std::numeric_limits<double>::quiet_NaN());
    const double dt = sweep.dt / sweep.refinement;

    result.grid =
        make_sweep_grid(sweep.x0, sweep.barrier, sweep.base_spacing, sweep.top, sweep.refinement);
    // The states share the allocation, so their stencils are one.
    const Stencils stencils = make_stencils(h.states[0], result.grid.x, sweep.refinement);
    const int n = stencils.n;
    const std::vector<SubStep> steps = sub_steps(0, sweep.end, dt, sweep.implicit_half_steps);
    const std::vector<std::size_t> snapshot_step = snapshot_steps(sweep, steps, n, result);

    // Each state's density is carried divided by the probability of its
    // lives surviving (both: S_p S_s, the person alone: S_p, the spouse
    // alone: S_s), so that no density is ever killed: a death only moves
    // mass from both to a survivor, u_P += (S_s(a) - S_s(b)) u_B over [a, b]
    // and likewise for the spouse. That is the transition above, exactly.
    // u[j * kLanes + k]: state k's density at node j, the lanes side by side.
    std::vector<double> u((n + 3) * kLanes, 0.0), y((n + 3) * kLanes, 0.0);
    const auto at = [](int j, int k) { return static_cast<std::size_t>(j) * kLanes + k; };
    u[at(result.grid.start, engine::kBoth)] = 1;
    StepOperators operators[kHouseholdStates] = {StepOperators(h.states[0], stencils, steps),
                                                 StepOperators(h.states[1], stencils, steps),
                                                 StepOperators(h.states[2], stencils, steps)};
    PackedStates packed;
    // Probability by state, unscaled.
    StateArray ruined{}, top{};

    start_series(steps.size(), out);

    // The deaths are applied from the middle of one step to the middle of
    // the next: the second half of one step's split and the first half of
    // the next's in one move, since the transitions over two intervals
    // compose exactly.
    double sp_from = 1, ss_from = 1;
    for (std::size_t s = 0; s < steps.size(); ++s) {
        const SubStep& st = steps[s];
        const double t1 = st.t_end, tm = t1 - st.dt / 2;
        const double sp = h.person.truncated_survival(tm), ss = h.spouse.truncated_survival(tm);
        const double sp1 = h.person.truncated_survival(t1);
        const double ss1 = h.spouse.truncated_survival(t1);
        const double to_person = ss_from - ss, to_spouse = sp_from - sp;
        for (int j = 1; j <= n; ++j) {
            const double b = u[at(j, 0)];
            u[at(j, 1)] += to_person * b;
            u[at(j, 2)] += to_spouse * b;
        }
        const SurvivalRatios to_middle = {sp_from > 0 ? sp / sp_from : 0.0,
                                          ss_from > 0 ? ss / ss_from : 0.0};
        move_between_states(to_middle, ruined[0], ruined[1], ruined[2]);
        move_between_states(to_middle, top[0], top[1], top[2]);
        sp_from = sp;
        ss_from = ss;

        double absorbed[kLanes] = {}, scaled_top[kLanes] = {};
        apply_lane_step(packed.for_step(operators, s), n, u.data(), y.data(), scaled_top, absorbed);
        const StateArray weight = {sp * ss, sp, ss};
        for (int k = 0; k < kHouseholdStates; ++k) {
            ruined[k] += weight[k] * absorbed[k];
            top[k] += weight[k] * scaled_top[k];
            (k == engine::kBoth ? out.ruin_both : out.ruin_survivor) += weight[k] * absorbed[k];
        }

        // The figures at the step's end: the scalars moved on to it.
        const StepSurvival v = {sp, ss, sp1, ss1};
        const SurvivalRatios to_end = {sp > 0 ? sp1 / sp : 0.0, ss > 0 ? ss1 / ss : 0.0};
        const StepEnd end = {moved(to_end, ruined), moved(to_end, top)};
        record_step_end(u, n, s, s + 1 == steps.size(), snapshot_step, t1, v, end, out);
        if (pump && s % 256 == 0) pump();
    }
    fill_snapshot_prefix(n, result);
    return out;
}

double HouseholdSweepResult::ruined_by(int k, double T) const {
    const std::vector<double>& t = conditional.t;
    const std::vector<double>& r = ruined[static_cast<std::size_t>(k)];
    if (T <= 0) return 0;
    const auto it = std::lower_bound(t.begin(), t.end(), T - 1e-12);
    if (it == t.end()) return r.back();
    const std::size_t s = static_cast<std::size_t>(it - t.begin());
    if (std::fabs(t[s] - T) < 1e-9 || s == 0) return r[s];
    const double a = (T - t[s - 1]) / (t[s] - t[s - 1]);
    return r[s - 1] + a * (r[s] - r[s - 1]);
}

}  // namespace quorrel::refined
