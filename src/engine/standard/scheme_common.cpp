#include "engine/standard/scheme_common.h"

#include <cmath>
#include <locale>
#include <sstream>

#include "record/errors.h"

namespace quorrel::engine_detail {

namespace {

const char* kind_text(SolveKind kind) {
    switch (kind) {
        case SolveKind::ruin_by_horizon: return "ruin probability";
        case SolveKind::wealth_below: return "wealth percentile probability";
        case SolveKind::lifetime_ruin: return "lifetime ruin probability";
    }
    return "probability";
}

}  // namespace

double checked(SolveKind kind, double level, double T, double value) {
    if (std::isfinite(value)) return value;
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << "The " << kind_text(kind) << " for a horizon of " << T << " years at the wealth level "
         << level << " could not be computed: the solver gave a value that is not a number. "
         << "Please change some of the inputs.";
    throw SolverError(text.str());
}

double terminal_value(const Grid& grid, const SolveRequest& rq, int ib, int i) {
    if (rq.kind == SolveKind::wealth_below) return grid.X[i] < rq.level ? 1.0 : 0.0;
    return i <= ib ? 1.0 : 0.0;
}

LaneSetup lane_setup(const Model& wm, const SolveRequest& rq, double dx) {
    LaneSetup s;
    s.dt = (rq.T - rq.t0) / kSteps;
    s.diffusion_scale = 0.5 * s.dt / dx / dx;
    s.lifetime = rq.kind == SolveKind::lifetime_ruin;
    if (s.lifetime) s.S_T = wm.solver_survival(rq.T);
    return s;
}

StepConstants step_constants(const Model& wm, const SolveRequest& rq, const LaneSetup& ls, int k) {
    StepConstants c;
    c.dt = ls.dt;
    c.t = rq.t0 + (k - 1) * ls.dt;
    if (ls.lifetime) {
        const double s = (k - 2) * ls.dt;
        const double q = wm.truncated_death_rate(s, ls.S_T);
        c.K = 1 - q * ls.dt;
    }
    c.w = -std::exp(rq.g * c.t);
    c.m = wm.exposure(c.t);
    const engine::AllocationRegime regime = wm.regime(c.t);
    c.mu = regime.mu;
    c.enir = wm.inflation_factor(c.t) * wm.nominal_income_ratio;
    c.cs = ls.diffusion_scale * (regime.sigma * regime.sigma);
    return c;
}

}  // namespace quorrel::engine_detail
