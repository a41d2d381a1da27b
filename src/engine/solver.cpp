#include "engine/solver.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <exception>
#include <future>
#include <sstream>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

#include "core/errors.h"
#include "engine/engine_internal.h"
#include "valuation/gompertz.h"

namespace quorrel {

using engine_detail::Grid;
using engine_detail::SolveKind;
using engine_detail::SolveRequest;
using engine_detail::WealthModel;

namespace {

std::atomic<long> g_solver_calls{0};

constexpr const char* kNotTridag = " The matrix is not tridag!!!";
constexpr const char* kMatrixError = " There is an error in the matrix!!!";
constexpr int kSteps = 500;

const char* kind_text(SolveKind kind) {
    switch (kind) {
    case SolveKind::ruin_by_horizon: return "ruin probability";
    case SolveKind::wealth_below: return "wealth percentile probability";
    case SolveKind::lifetime_ruin: return "lifetime ruin probability";
    }
    return "probability";
}

[[noreturn]] void throw_not_finite(SolveKind kind, double level, double T) {
    std::ostringstream text;
    text << "The " << kind_text(kind) << " for a horizon of " << T << " years at the wealth level "
         << level << " could not be computed: the solver gave a value that is not a number. "
         << "Please change some of the inputs.";
    throw SolverError(text.str());
}

double checked(SolveKind kind, double level, double T, double value) {
    if (!std::isfinite(value)) throw_not_finite(kind, level, T);
    return value;
}

// Death rate at time s of a life certain to die before T: the killing term
// of the lifetime solve.
double lifetime_death_rate(const WealthModel& wm, double s, double S_T) {
    const double h = makeham_hazard(0, wm.ruin_lambda, wm.current_age + s, wm.ruin_modal_age,
                                    wm.ruin_dispersion);
    const double S_s =
        makeham_survival(0, s, wm.current_age, wm.ruin_lambda, wm.ruin_modal_age, wm.ruin_dispersion);
    return (S_s * h) / (S_s - S_T);
}

double lifetime_tail_survival(const WealthModel& wm, double T) {
    return makeham_survival(0, T, wm.current_age, wm.ruin_lambda, wm.ruin_modal_age, wm.ruin_dispersion);
}

int barrier_index(const Grid& grid, double barrier_level) {
    for (int i = 1; i <= grid.H; ++i) {
        if (grid.X[i] >= barrier_level) return i;
    }
    return 1;
}

int request_barrier(const Grid& grid, const SolveRequest& rq) {
    return barrier_index(grid, rq.kind == SolveKind::wealth_below ? 0.0 : rq.level);
}

double terminal_value(const Grid& grid, const SolveRequest& rq, int ib, int i) {
    if (rq.kind == SolveKind::wealth_below) return grid.X[i] < rq.level ? 1.0 : 0.0;
    return i <= ib ? 1.0 : 0.0;
}

// ---- The fused kernel -----------------------------------------------------
//
// W independent solves on one grid advance together, one SIMD lane each, so
// the divisions of the elimination (a serial chain within one solve) overlap
// across lanes. Every lane does the arithmetic of the reference path and
// gets its values to the last bit (a zero may differ in sign); nodes at or
// below a lane's barrier become identity rows with zero coupling, which
// leaves that lane's held values and its first real row as the reference
// has them.

// Two lanes: the vector width every x86-64 processor has. Wider batches are
// K pairs advanced node by node together.
typedef double Pair __attribute__((vector_size(16)));
typedef long long PairMask __attribute__((vector_size(16)));

// Coefficients of one lane at one time step.
struct StepConstants {
    double t = 0, mu = 0, m = 0, w = 0, enir = 0, cs = 0, K = 1, dt = 0;
};

struct LaneSetup {
    double dt = 0;
    double diffusion_scale = 0;  // 0.5 x dt / dx / dx
    double S_T = 0;
    bool lifetime = false;
};

LaneSetup lane_setup(const WealthModel& wm, const SolveRequest& rq, double dx) {
    LaneSetup s;
    s.dt = (rq.T - rq.t0) / kSteps;
    s.diffusion_scale = 0.5 * s.dt / dx / dx;
    s.lifetime = rq.kind == SolveKind::lifetime_ruin;
    if (s.lifetime) s.S_T = lifetime_tail_survival(wm, rq.T);
    return s;
}

StepConstants step_constants(const WealthModel& wm, const SolveRequest& rq, const LaneSetup& ls, int k) {
    StepConstants c;
    c.dt = ls.dt;
    c.t = rq.t0 + (k - 1) * ls.dt;
    if (ls.lifetime) {
        const double s = (k - 2) * ls.dt;
        const double q = lifetime_death_rate(wm, s, ls.S_T);
        c.K = 1 - q * ls.dt;
    }
    c.w = -std::exp(rq.g * c.t);
    c.m = wm.exposure(c.t);
    const AllocationRegime regime = wm.regime(c.t);
    c.mu = regime.mu;
    c.enir = wm.inflation_factor(c.t) * wm.nominal_income_ratio;
    c.cs = ls.diffusion_scale * (regime.sigma * regime.sigma);
    return c;
}

// |a| by clearing the sign bit.
inline Pair magnitude(Pair a) {
    const PairMask sign_off = {0x7fffffffffffffffLL, 0x7fffffffffffffffLL};
    return reinterpret_cast<Pair>(reinterpret_cast<PairMask>(a) & sign_off);
}

// Per-pair constants of one time step.
struct PairStep {
    Pair mu, m, w, enir, cs, K, dt;
};

// One row of the upwind system for a pair of lanes at node x (x2 = x * x).
// The upwind choice is taken as min/max against zero: the same values as the
// two cases of the scheme (up to the sign of a zero).
struct PairRow {
    Pair a_neg, a_pos, b, lower, diag, upper;
};

inline PairRow upwind_row(const PairStep& c, double x, double x2, double rir, double dx) {
    const Pair zero = {0, 0};
    Pair a = (((c.mu * x) * c.m + c.w) + rir) + c.enir;
    a = a * c.dt / dx;
    PairRow row;
    row.b = (c.cs * x2) * c.m;
    row.a_neg = a < zero ? a : zero;
    row.a_pos = a > zero ? a : zero;
    row.diag = (1 + 2 * row.b) + magnitude(a);
    row.lower = row.a_neg - row.b;
    row.upper = -(row.b + row.a_pos);
    return row;
}

template <int K>
void load_step(const WealthModel& wm, const SolveRequest* rq, const LaneSetup* setup, int k, PairStep* ps) {
    for (int l = 0; l < 2 * K; ++l) {
        const StepConstants c = step_constants(wm, rq[l], setup[l], k);
        PairStep& p = ps[l / 2];
        p.mu[l % 2] = c.mu;
        p.m[l % 2] = c.m;
        p.w[l % 2] = c.w;
        p.enir[l % 2] = c.enir;
        p.cs[l % 2] = c.cs;
        p.K[l % 2] = c.K;
        p.dt[l % 2] = c.dt;
    }
}

template <int K>
void check_pivots(const PairMask* bad, const PairMask* bad_first, int used) {
    bool any_first = false, any = false;
    for (int l = 0; l < used; ++l) {
        any_first = any_first || bad_first[l / 2][l % 2] != 0;
        any = any || bad[l / 2][l % 2] != 0;
    }
    if (any_first) throw SolverError(kNotTridag);
    if (any) throw SolverError(kMatrixError);
}

// Solves `used` (1..2K) requests sharing the grid; out[l] for lane l.
template <int K>
void solve_lanes(const WealthModel& wm, const Grid& grid, const std::vector<double>& X2,
                 const SolveRequest* requests, const int* barriers, int used, double* out,
                 const EventPump* pump) {
    constexpr int W = 2 * K;
    const int M = grid.M;
    const double dx = grid.dx;
    const double* X = grid.X.data();

    SolveRequest rq[W];
    int ib[W];
    LaneSetup setup[W];
    for (int l = 0; l < W; ++l) {
        const int src = l < used ? l : 0;  // spare lanes repeat lane 0
        rq[l] = requests[src];
        ib[l] = barriers[src];
        setup[l] = lane_setup(wm, rq[l], dx);
    }
    int lo = ib[0] + 1;
    Pair ibv[K] = {}, ibv1[K] = {};
    for (int l = 0; l < W; ++l) {
        lo = std::min(lo, ib[l] + 1);
        ibv[l / 2][l % 2] = ib[l];
        ibv1[l / 2][l % 2] = ib[l] + 1;
    }
    const int hi = M - 1;
    int mid = 0;
    for (int l = 0; l < W; ++l) mid = std::max(mid, ib[l] + 1);

    std::vector<Pair> V((M + 1) * K), G((M + 1) * K);
    for (int i = 1; i <= M; ++i) {
        for (int l = 0; l < W; ++l) V[i * K + l / 2][l % 2] = terminal_value(grid, rq[l], ib[l], i);
    }

    const Pair zero = {0, 0};
    const Pair one = {1, 1};
    const double rir = wm.real_income_ratio;
    PairStep ps[K];
    for (int k = kSteps + 1; k >= 2; --k) {
        if (pump && *pump) (*pump)();
        load_step<K>(wm, rq, setup, k, ps);
        Pair prev_upper[K], prev_bet[K], prev_u[K];
        PairMask bad[K], bad_first[K];
        for (int j = 0; j < K; ++j) {
            prev_upper[j] = zero;
            prev_bet[j] = one;
            prev_u[j] = zero;
            bad[j] = PairMask{0, 0};
            bad_first[j] = PairMask{0, 0};
        }
        // Nodes up to `mid` may lie at or below some lane's barrier and need
        // the lane masks; above it every lane solves every node.
        auto node = [&](int i, auto masked) {
            const double x = X[i];
            const double x2 = X2[i];
            Pair* Vi = &V[i * K];
            Pair* Gi = &G[i * K];
            for (int j = 0; j < K; ++j) {
                const PairStep& c = ps[j];
                const PairRow row = upwind_row(c, x, x2, rir, dx);
                const Pair b = row.b, a_neg = row.a_neg, a_pos = row.a_pos;
                Pair diag = row.diag;
                Pair lower = row.lower;
                Pair upper = row.upper;
                const Pair v = Vi[j];
                Pair rhs = c.K * v;
                PairMask first = {0, 0};
                if constexpr (decltype(masked)::value) {
                    const Pair iv = zero + static_cast<double>(i);
                    first = iv == ibv1[j];
                    const PairMask active = iv > ibv[j];
                    rhs = first ? rhs + (b - a_neg) : rhs;
                    if (i == hi) rhs = rhs + (b + a_pos) * 0.0;  // bnd[M] = 0
                    lower = first ? zero : lower;
                    diag = active ? diag : one;
                    lower = active ? lower : zero;
                    upper = active ? upper : zero;
                    rhs = active ? rhs : v;
                }
                const Pair gam = prev_upper[j] / prev_bet[j];
                const Pair bet = diag - lower * gam;
                const Pair u = (rhs - lower * prev_u[j]) / bet;
                const PairMask zero_pivot = bet == 0;
                bad[j] |= zero_pivot;
                if constexpr (decltype(masked)::value) bad_first[j] |= zero_pivot & first;
                Gi[j] = gam;
                Vi[j] = u;
                prev_upper[j] = upper;
                prev_bet[j] = bet;
                prev_u[j] = u;
            }
        };
        for (int i = lo; i <= mid; ++i) node(i, std::true_type{});
        for (int i = mid + 1; i < hi; ++i) node(i, std::false_type{});
        node(hi, std::true_type{});
        check_pivots<K>(bad, bad_first, used);
        for (int i = hi - 1; i >= mid; --i) {
            Pair* Vi = &V[i * K];
            const Pair* Vn = &V[(i + 1) * K];
            const Pair* Gn = &G[(i + 1) * K];
            for (int j = 0; j < K; ++j) Vi[j] = Vi[j] - Gn[j] * Vn[j];
        }
        for (int i = mid - 1; i >= lo; --i) {
            const Pair iv = zero + static_cast<double>(i);
            Pair* Vi = &V[i * K];
            const Pair* Vn = &V[(i + 1) * K];
            const Pair* Gn = &G[(i + 1) * K];
            for (int j = 0; j < K; ++j) {
                const Pair vi = Vi[j];
                const Pair updated = vi - Gn[j] * Vn[j];
                Vi[j] = iv > ibv[j] ? updated : vi;
            }
        }
    }
    for (int l = 0; l < used; ++l) {
        out[l] = checked(rq[l].kind, rq[l].level, rq[l].T, V[grid.H * K + l / 2][l % 2]);
    }
}

// Runs `count` requests of one grid, up to ten lanes at a time: beyond a few
// pairs the node loop is bound by throughput, not by the division chain.
void solve_group(const WealthModel& wm, const Grid& grid, const std::vector<double>& X2,
                 const SolveRequest* requests, const int* barriers, int count, double* out,
                 const EventPump* pump) {
    while (count > 0) {
        const int n = std::min(count, 10);
        switch ((n + 1) / 2) {
        case 1: solve_lanes<1>(wm, grid, X2, requests, barriers, n, out, pump); break;
        case 2: solve_lanes<2>(wm, grid, X2, requests, barriers, n, out, pump); break;
        case 3: solve_lanes<3>(wm, grid, X2, requests, barriers, n, out, pump); break;
        case 4: solve_lanes<4>(wm, grid, X2, requests, barriers, n, out, pump); break;
        default: solve_lanes<5>(wm, grid, X2, requests, barriers, n, out, pump); break;
        }
        requests += n;
        barriers += n;
        out += n;
        count -= n;
    }
}

std::vector<double> squares(const Grid& grid) {
    std::vector<double> X2(grid.X.size());
    for (std::size_t i = 0; i < X2.size(); ++i) X2[i] = grid.X[i] * grid.X[i];
    return X2;
}

// ---- The adjoint sweep of the wealth-below solves -------------------------
//
// Forward, each step solves A_k v_{k-1} = v_k + e_1 c_k (c_k the barrier
// term); the answer is e_H . v_1. Going the other way, z_k = A_k^-T z_{k-1}
// from z_1 = e_H gives the answer as z_501 . v_terminal + sum_k z_k[1] c_k,
// where only v_terminal depends on the level.

template <int K>
void adjoint_lanes(const WealthModel& wm, const Grid& grid, const std::vector<double>& X2, double g,
                   double t0, const double* T, int used, const EventPump* pump,
                   std::vector<double>& barrier_part, std::vector<std::vector<double>>& weights) {
    constexpr int W = 2 * K;
    const int M = grid.M;
    const int ib = grid.ib;
    const int n = M - 1 - ib;
    const double dx = grid.dx;
    const double* X = grid.X.data();

    SolveRequest rq[W];
    LaneSetup setup[W];
    for (int l = 0; l < W; ++l) {
        rq[l].kind = SolveKind::wealth_below;
        rq[l].g = g;
        rq[l].t0 = t0;
        rq[l].T = T[l < used ? l : 0];
        setup[l] = lane_setup(wm, rq[l], dx);
    }

    const Pair zero = {0, 0};
    const Pair one = {1, 1};
    std::vector<Pair> z((n + 2) * K, zero), G((n + 2) * K, zero);
    for (int j = 0; j < K; ++j) z[(grid.H - ib) * K + j] = one;
    Pair acc[K];
    for (int j = 0; j < K; ++j) acc[j] = zero;
    const double rir = wm.real_income_ratio;
    PairStep ps[K];
    for (int k = 2; k <= kSteps + 1; ++k) {
        if (pump && *pump) (*pump)();
        load_step<K>(wm, rq, setup, k, ps);
        Pair prev_upper[K], prev_bet[K], prev_u[K], barrier[K];
        PairMask bad[K], bad_first[K];
        for (int j = 0; j < K; ++j) {
            prev_upper[j] = zero;
            prev_bet[j] = one;
            prev_u[j] = zero;
            barrier[j] = zero;
            bad[j] = PairMask{0, 0};
            bad_first[j] = PairMask{0, 0};
        }
        for (int r = 1; r <= n; ++r) {
            const int i = ib + r;
            const double x = X[i];
            const double x2 = X2[i];
            Pair* zr = &z[r * K];
            Pair* Gr = &G[r * K];
            for (int j = 0; j < K; ++j) {
                const PairRow row = upwind_row(ps[j], x, x2, rir, dx);
                const Pair diag = row.diag;
                const Pair lower = row.lower;
                const Pair upper = row.upper;
                if (r == 1) barrier[j] = row.b - row.a_neg;
                // Transposed rows: sub-diagonal upper[r - 1], super-diagonal lower[r + 1].
                const Pair gam = lower / prev_bet[j];
                const Pair bet = diag - prev_upper[j] * gam;
                const Pair u = (zr[j] - prev_upper[j] * prev_u[j]) / bet;
                const PairMask zero_pivot = bet == 0;
                bad[j] |= zero_pivot;
                if (r == 1) bad_first[j] |= zero_pivot;
                Gr[j] = gam;
                zr[j] = u;
                prev_upper[j] = upper;
                prev_bet[j] = bet;
                prev_u[j] = u;
            }
        }
        check_pivots<K>(bad, bad_first, used);
        for (int r = n - 1; r >= 1; --r) {
            Pair* zr = &z[r * K];
            const Pair* zn = &z[(r + 1) * K];
            const Pair* Gn = &G[(r + 1) * K];
            for (int j = 0; j < K; ++j) zr[j] = zr[j] - Gn[j] * zn[j];
        }
        for (int j = 0; j < K; ++j) acc[j] = acc[j] + z[K + j] * barrier[j];
    }
    barrier_part.assign(used, 0);
    weights.assign(used, std::vector<double>(n + 1, 0));
    for (int l = 0; l < used; ++l) {
        barrier_part[l] = acc[l / 2][l % 2];
        for (int r = 1; r <= n; ++r) weights[l][r] = z[r * K + l / 2][l % 2];
    }
}

}  // namespace

// ---- Public pieces ----------------------------------------------------------

double makeham_hazard(double r, double lambda, double age, double m, double b) {
    return (gompertz_hazard(age, m, b) + lambda) * (1 + r);
}

double makeham_survival(double r, double t, double age, double lambda, double m, double b) {
    const double shifted_modal_age = m - b * std::log(1 + r);
    const double G = gompertz_hazard(age, shifted_modal_age, b);
    return std::exp(G * b * (1 - std::exp(t / b)) - t * lambda);
}

void tridag(int n, const double* lower, const double* diag, const double* upper, const double* rhs,
            double* u) {
    if (n < 1) return;
    if (diag[1] == 0) throw SolverError(kNotTridag);
    thread_local std::vector<double> gam;
    if (static_cast<int>(gam.size()) < n + 1) gam.resize(n + 1);
    double bet = diag[1];
    u[1] = rhs[1] / bet;
    for (int j = 2; j <= n; ++j) {
        gam[j] = upper[j - 1] / bet;
        bet = diag[j] - lower[j] * gam[j];
        if (bet == 0) throw SolverError(kMatrixError);
        u[j] = (rhs[j] - lower[j] * u[j - 1]) / bet;
    }
    for (int j = n - 1; j >= 1; --j) u[j] = u[j] - gam[j + 1] * u[j + 1];
}

long solver_call_count() { return g_solver_calls.load(); }

double ruin_probability_by_horizon(const AnalysisState& state, double g, double x0, double level,
                                   double t0, double T, const EventPump& pump) {
    return engine_detail::fast_solve(WealthModel(state), {SolveKind::ruin_by_horizon, g, x0, level, t0, T},
                                     pump);
}

double wealth_below_probability(const AnalysisState& state, double g, double x0, double level,
                                double t0, double T, const EventPump& pump) {
    return engine_detail::fast_solve(WealthModel(state), {SolveKind::wealth_below, g, x0, level, t0, T}, pump);
}

double lifetime_ruin_probability(const AnalysisState& state, double g, double x0, double level,
                                 double t0, double T, const EventPump& pump) {
    return engine_detail::fast_solve(WealthModel(state), {SolveKind::lifetime_ruin, g, x0, level, t0, T},
                                     pump);
}

namespace engine_detail {

void count_solves(long n) { g_solver_calls.fetch_add(n); }

Grid make_grid(SolveKind kind, double x0, double level) {
    Grid grid;
    if (kind == SolveKind::wealth_below) {
        if (x0 + 100 < level) {
            grid.M = 1501;
            grid.dx = 400.0 / 1500;
        } else {
            grid.M = 1001;
            grid.dx = 200.0 / 1000;
        }
    } else {
        grid.M = 1201;
        grid.dx = 120.0 / 1200;
    }
    grid.H = (grid.M - 1) / 2;
    grid.X.assign(grid.M + 1, 0.0);
    // A product then a difference, never fused: whether the barrier lands on
    // a node is decided by exact comparisons with these values.
    for (int i = 1; i <= grid.H; ++i) grid.X[i] = x0 - static_cast<double>(grid.H - i) * grid.dx;
    for (int i = grid.H + 1; i <= grid.M; ++i) grid.X[i] = x0 + static_cast<double>(i - grid.H) * grid.dx;
    grid.ib = barrier_index(grid, kind == SolveKind::wealth_below ? 0.0 : level);
    return grid;
}

double reference_solve(const AnalysisState& state, const SolveRequest& rq, const EventPump& pump) {
    count_solves(1);
    const Grid grid = make_grid(rq.kind, rq.x0, rq.level);
    const int M = grid.M;
    const int ib = grid.ib;
    const double dx = grid.dx;
    const std::vector<double>& X = grid.X;
    std::vector<double> V(M + 1), a(M + 1), b(M + 1), lower(M + 1), diag(M + 1), upper(M + 1),
        rhs(M + 1), bnd(M + 1), u(M + 1);
    for (int i = 1; i <= M; ++i) V[i] = terminal_value(grid, rq, ib, i);

    const double dt = (rq.T - rq.t0) / kSteps;
    const int n = M - 1 - ib;
    for (int k = kSteps + 1; k >= 2; --k) {
        if (pump) pump();
        const double t = rq.t0 + (k - 1) * dt;
        double K = 1;
        if (rq.kind == SolveKind::lifetime_ruin) {
            const double s = (k - 2) * dt;
            const double lam = state.ruin_lambda, mm = state.ruin_modal_age, bb = state.ruin_dispersion;
            const double h = makeham_hazard(0, lam, state.current_age + s, mm, bb);
            const double S_s = makeham_survival(0, s, state.current_age, lam, mm, bb);
            const double S_T = makeham_survival(0, rq.T, state.current_age, lam, mm, bb);
            const double q = (S_s * h) / (S_s - S_T);
            K = 1 - q * dt;
        }
        const double w = -std::exp(rq.g * t);
        bnd[ib] = 1;
        bnd[M] = 0;
        const double m = exposure_multiplier(state, t);
        const AllocationRegime regime = allocation_regime(state, t);
        for (int i = ib + 1; i <= M - 1; ++i) {
            a[i] = (regime.mu * X[i] * m + w + state.real_income_ratio +
                    std::exp((state.cola_rate - state.implied_inflation) * t) * state.nominal_income_ratio) *
                   dt / dx;
            b[i] = (0.5 * dt / dx / dx) * (regime.sigma * regime.sigma) * (X[i] * X[i]) * m;
        }
        for (int i = ib + 1; i <= M - 1; ++i) {
            const int r = i - ib;
            if (a[i] > 0) {
                diag[r] = 1 + 2 * b[i] + a[i];
                if (r >= 2) lower[r] = -b[i];
                if (r <= n - 1) upper[r] = -(b[i] + a[i]);
            } else {
                diag[r] = 1 + 2 * b[i] - a[i];
                if (r >= 2) lower[r] = a[i] - b[i];
                if (r <= n - 1) upper[r] = -b[i];
            }
            rhs[r] = K * V[i];
        }
        const int first = ib + 1;
        rhs[1] = rhs[1] + (a[first] > 0 ? b[first] : b[first] - a[first]) * bnd[ib];
        const int last = M - 1;
        rhs[n] = rhs[n] + (a[last] > 0 ? b[last] + a[last] : b[last]) * bnd[M];
        tridag(n, lower.data(), diag.data(), upper.data(), rhs.data(), u.data());
        for (int i = ib + 1; i <= M - 1; ++i) V[i] = u[i - ib];
    }
    return checked(rq.kind, rq.level, rq.T, V[grid.H]);
}

double fast_solve(const WealthModel& model, const SolveRequest& rq, const EventPump& pump) {
    count_solves(1);
    const Grid grid = make_grid(rq.kind, rq.x0, rq.level);
    const std::vector<double> X2 = squares(grid);
    double out = 0;
    solve_lanes<1>(model, grid, X2, &rq, &grid.ib, 1, &out, &pump);
    return out;
}

void run_on_two_cores(const std::function<void()>& first, const std::function<void()>& second,
                      const EventPump& pump) {
    std::future<void> worker;
    try {
        worker = std::async(std::launch::async, second);
    } catch (const std::system_error&) {
        // No thread to be had: do both here.
        first();
        second();
        return;
    }
    std::exception_ptr failure;
    try {
        first();
    } catch (...) {
        failure = std::current_exception();
    }
    if (pump) {
        while (worker.wait_for(std::chrono::milliseconds(3)) != std::future_status::ready) pump();
    }
    try {
        worker.get();
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
    if (failure) std::rethrow_exception(failure);
}

void solve_batch(const WealthModel& model, const std::vector<SolveRequest>& requests,
                 std::vector<double>& out, const EventPump& pump) {
    out.assign(requests.size(), 0);
    if (requests.empty()) return;
    count_solves(static_cast<long>(requests.size()));

    // Group by grid: the requests of one group share nodes and may differ in
    // barrier, terminal values, horizon and killing.
    std::vector<std::size_t> order(requests.size());
    std::vector<Grid> grids;
    std::vector<int> grid_of(requests.size()), barriers(requests.size());
    for (std::size_t k = 0; k < requests.size(); ++k) {
        const SolveRequest& rq = requests[k];
        Grid grid = make_grid(rq.kind, rq.x0, rq.level);
        int found = -1;
        for (std::size_t gi = 0; gi < grids.size(); ++gi) {
            if (grids[gi].M == grid.M && grids[gi].X == grid.X) found = static_cast<int>(gi);
        }
        if (found < 0) {
            grids.push_back(std::move(grid));
            found = static_cast<int>(grids.size()) - 1;
        }
        grid_of[k] = found;
        barriers[k] = request_barrier(grids[found], rq);
        order[k] = k;
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t l, std::size_t r) { return grid_of[l] < grid_of[r]; });

    // Both halves take their share of every group.
    struct Part {
        int grid;
        std::vector<SolveRequest> rq;
        std::vector<int> ib;
        std::vector<std::size_t> index;
    };
    std::vector<Part> mine, theirs;
    for (std::size_t gi = 0; gi < grids.size(); ++gi) {
        std::vector<std::size_t> members;
        for (std::size_t k : order) {
            if (grid_of[k] == static_cast<int>(gi)) members.push_back(k);
        }
        const std::size_t half = (members.size() + 1) / 2;
        Part a{static_cast<int>(gi), {}, {}, {}}, b{static_cast<int>(gi), {}, {}, {}};
        for (std::size_t j = 0; j < members.size(); ++j) {
            Part& p = j < half ? a : b;
            p.rq.push_back(requests[members[j]]);
            p.ib.push_back(barriers[members[j]]);
            p.index.push_back(members[j]);
        }
        if (!a.rq.empty()) mine.push_back(std::move(a));
        if (!b.rq.empty()) theirs.push_back(std::move(b));
    }
    std::vector<std::vector<double>> squared(grids.size());
    for (std::size_t gi = 0; gi < grids.size(); ++gi) squared[gi] = squares(grids[gi]);

    auto run = [&](std::vector<Part>& parts, const EventPump* p) {
        for (Part& part : parts) {
            std::vector<double> values(part.rq.size());
            solve_group(model, grids[part.grid], squared[part.grid], part.rq.data(), part.ib.data(),
                        static_cast<int>(part.rq.size()), values.data(), p);
            for (std::size_t j = 0; j < values.size(); ++j) out[part.index[j]] = values[j];
        }
    };
    if (theirs.empty()) {
        run(mine, &pump);
        return;
    }
    run_on_two_cores([&] { run(mine, &pump); }, [&] { run(theirs, nullptr); }, pump);
}

double WealthBelowCurve::probability(double level) const {
    if (trivial) return x0 < level ? 1.0 : 0.0;
    const std::size_t below =
        static_cast<std::size_t>(std::lower_bound(X.begin(), X.end(), level) - X.begin());
    const double p = barrier_part + prefix[below];
    return checked(SolveKind::wealth_below, level, T, p);
}

void build_wealth_below_curves(const WealthModel& model, double g, double x0, double t0, bool wide_grid,
                               const std::vector<double>& T, std::vector<WealthBelowCurve>& curves,
                               const EventPump& pump) {
    curves.assign(T.size(), WealthBelowCurve{});
    if (T.empty()) return;
    const double grid_level = wide_grid ? HUGE_VAL : -HUGE_VAL;
    const Grid grid = make_grid(SolveKind::wealth_below, x0, grid_level);
    for (std::size_t k = 0; k < T.size(); ++k) {
        curves[k].x0 = x0;
        curves[k].T = T[k];
    }
    if (grid.H <= grid.ib) {
        for (WealthBelowCurve& c : curves) c.trivial = true;
        return;
    }
    count_solves(static_cast<long>(T.size()));
    const std::vector<double> X2 = squares(grid);
    const int n = grid.M - 1 - grid.ib;

    auto finish = [&](std::size_t first, const std::vector<double>& barrier_part,
                      const std::vector<std::vector<double>>& weights) {
        for (std::size_t l = 0; l < barrier_part.size(); ++l) {
            WealthBelowCurve& c = curves[first + l];
            c.barrier_part = barrier_part[l];
            c.X.assign(grid.X.begin() + grid.ib + 1, grid.X.begin() + grid.M);
            c.prefix.assign(n + 1, 0);
            double sum = 0;
            for (int r = 1; r <= n; ++r) {
                sum += weights[l][r];
                c.prefix[r] = sum;
            }
        }
    };
    auto run = [&](std::size_t first, std::size_t count, const EventPump* p) {
        std::vector<double> barrier_part;
        std::vector<std::vector<double>> weights;
        for (std::size_t done = 0; done < count;) {
            const std::size_t rest = count - done;
            const double* horizons = T.data() + first + done;
            std::size_t step;
            if (rest >= 3) {
                step = std::min<std::size_t>(rest, 4);
                adjoint_lanes<2>(model, grid, X2, g, t0, horizons, static_cast<int>(step), p,
                                 barrier_part, weights);
            } else if (rest == 2) {
                step = 2;
                adjoint_lanes<1>(model, grid, X2, g, t0, horizons, 2, p, barrier_part, weights);
            } else {
                step = 1;
                adjoint_lanes<1>(model, grid, X2, g, t0, horizons, 1, p, barrier_part, weights);
            }
            finish(first + done, barrier_part, weights);
            done += step;
        }
    };
    if (T.size() == 1) {
        run(0, 1, &pump);
        return;
    }
    const std::size_t half = (T.size() + 1) / 2;
    run_on_two_cores([&] { run(0, half, &pump); }, [&] { run(half, T.size() - half, nullptr); }, pump);
}

}  // namespace engine_detail
}  // namespace quorrel
