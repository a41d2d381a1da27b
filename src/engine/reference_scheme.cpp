// The scheme exactly as it reads, one solve at a time: arrays built per
// solve, the rows assembled per step and handed to tridag. The yardstick the
// fast paths are tested against, bit for bit.
#include <cmath>
#include <vector>

#include "core/errors.h"
#include "engine/engine_internal.h"
#include "engine/scheme_common.h"

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

}  // namespace engine_detail
}  // namespace quorrel
