// The scheme exactly as it reads, one solve at a time: arrays built per
// solve, the rows assembled per step and handed to tridag. The yardstick the
// fast paths are tested against, bit for bit.
#include <cmath>
#include <vector>

#include "engine/standard/engine_internal.h"
#include "engine/standard/scheme_common.h"
#include "record/errors.h"

namespace quorrel {

using engine_detail::kMatrixError;
using engine_detail::kNotTridag;

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

namespace engine_detail {

namespace {

// The working arrays of one solve, 1-based, built once per solve.
struct ReferenceArrays {
    explicit ReferenceArrays(int M)
        : V(M + 1),
          a(M + 1),
          b(M + 1),
          lower(M + 1),
          diag(M + 1),
          upper(M + 1),
          rhs(M + 1),
          bnd(M + 1),
          u(M + 1) {}
    std::vector<double> V, a, b, lower, diag, upper, rhs, bnd, u;
};

// The lifetime solve's factor 1 - q dt on the known time level of step k;
// 1 for the other solves.
double killing_factor(const Model& model, const SolveRequest& rq, double dt, int k) {
    if (rq.kind != SolveKind::lifetime_ruin) return 1;
    const double s = (k - 2) * dt;
    const double q = model.truncated_death_rate(s, model.solver_survival(rq.T));
    return 1 - q * dt;
}

// a[i] and b[i], the drift and diffusion terms of the nodes above the barrier
// at time t.
void node_terms(const Model& model, const SolveRequest& rq, const Grid& grid, double dt, double t,
                ReferenceArrays& w) {
    const double m = model.exposure(t);
    const double sigma = model.sigma(t);
    const std::vector<double>& X = grid.X;
    const double dx = grid.dx;
    for (int i = grid.ib + 1; i <= grid.M - 1; ++i) {
        w.a[i] = model.drift(rq.g, t, X[i]) * dt / dx;
        w.b[i] = (0.5 * dt / dx / dx) * (sigma * sigma) * (X[i] * X[i]) * m;
    }
}

// The rows r = i - ib of the system, each node's drift differenced upwind,
// with the barrier's and the top's boundary terms on the first and last rows.
void assemble_rows(const Grid& grid, double K, ReferenceArrays& w) {
    const int ib = grid.ib, M = grid.M;
    const int n = M - 1 - ib;
    for (int i = ib + 1; i <= M - 1; ++i) {
        const int r = i - ib;
        const double a = w.a[i], b = w.b[i];
        if (a > 0) {
            w.diag[r] = 1 + 2 * b + a;
            if (r >= 2) w.lower[r] = -b;
            if (r <= n - 1) w.upper[r] = -(b + a);
        } else {
            w.diag[r] = 1 + 2 * b - a;
            if (r >= 2) w.lower[r] = a - b;
            if (r <= n - 1) w.upper[r] = -b;
        }
        w.rhs[r] = K * w.V[i];
    }
    const int first = ib + 1;
    w.rhs[1] = w.rhs[1] + (w.a[first] > 0 ? w.b[first] : w.b[first] - w.a[first]) * w.bnd[ib];
    const int last = M - 1;
    w.rhs[n] = w.rhs[n] + (w.a[last] > 0 ? w.b[last] + w.a[last] : w.b[last]) * w.bnd[M];
}

}  // namespace

double reference_solve(const AnalysisState& state, const SolveRequest& rq, const EventPump& pump) {
    count_solves(1);
    const Model model = Model::from_state(state);
    const Grid grid = make_grid(rq.kind, rq.x0, rq.level);
    const int M = grid.M;
    const int ib = grid.ib;
    ReferenceArrays w(M);
    for (int i = 1; i <= M; ++i) w.V[i] = terminal_value(grid, rq, ib, i);

    const double dt = (rq.T - rq.t0) / kSteps;
    const int n = M - 1 - ib;
    for (int k = kSteps + 1; k >= 2; --k) {
        if (pump) pump();
        const double t = rq.t0 + (k - 1) * dt;
        const double K = killing_factor(model, rq, dt, k);
        w.bnd[ib] = 1;
        w.bnd[M] = 0;
        node_terms(model, rq, grid, dt, t, w);
        assemble_rows(grid, K, w);
        tridag(n, w.lower.data(), w.diag.data(), w.upper.data(), w.rhs.data(), w.u.data());
        for (int i = ib + 1; i <= M - 1; ++i) w.V[i] = w.u[i - ib];
    }
    return checked(rq.kind, rq.level, rq.T, w.V[grid.H]);
}

}  // namespace engine_detail
}  // namespace quorrel
