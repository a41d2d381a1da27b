#include "engine/refined_sweep.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace quorrel::refined {

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
    std::vector<double> inv, b, bb;   // forward: z[j] = w[j] inv[j] - b[j] z[j - 1]; bb[j] = b[j] b[j - 1]
    std::vector<double> cp, cc;       // back: y[j] = z[j] - cp[j] y[j + 1]; cc[j] = cp[j] cp[j + 1]
    std::vector<double> bo, bd, bu;   // B's lower, diagonal and upper entries
    double barrier_coupling = 0;      // dt lo[1]
    double top_coupling = 0;          // dt up[n]
};

// Central differences on the non-uniform grid, split so that the rows of any
// time are m(t) x (growth and volatility part of the regime) + net income x
// first derivative.
struct Stencils {
    int n = 0;                                 // unknowns 1..n
    std::vector<double> d1lo, d1up;            // first derivative
    std::vector<double> glo[2], gup[2];        // mu x d/dx + sigma^2 x^2 / 2 d2/dx2, by regime
};

Stencils make_stencils(const RefinedModel& model, const std::vector<double>& x) {
    Stencils s;
    s.n = static_cast<int>(x.size()) - 2;
    const int size = s.n + 2;
    s.d1lo.assign(size, 0);
    s.d1up.assign(size, 0);
    for (int r = 0; r < 2; ++r) {
        s.glo[r].assign(size, 0);
        s.gup[r].assign(size, 0);
    }
    const double mu[2] = {model.current_mu, model.later_mu};
    const double sigma[2] = {model.current_sigma, model.later_sigma};
    for (int j = 1; j <= s.n; ++j) {
        const double hm = x[j] - x[j - 1];
        const double hp = x[j + 1] - x[j];
        const double d1lo = -hp / (hm * (hm + hp));
        const double d1up = hm / (hp * (hm + hp));
        const double d2lo = 2 / (hm * (hm + hp));
        const double d2up = 2 / (hp * (hm + hp));
        s.d1lo[j] = d1lo;
        s.d1up[j] = d1up;
        for (int r = 0; r < 2; ++r) {
            const double growth = mu[r] * x[j];
            const double diffusion = 0.5 * sigma[r] * sigma[r] * x[j] * x[j];
            s.glo[r][j] = growth * d1lo + diffusion * d2lo;
            s.gup[r][j] = growth * d1up + diffusion * d2up;
        }
    }
    return s;
}

void fill_rows(const Stencils& s, int regime, double m, double c, OperatorRows& rows) {
    rows.lo.resize(s.n + 2);
    rows.up.resize(s.n + 2);
    const double* glo = s.glo[regime].data();
    const double* gup = s.gup[regime].data();
    for (int j = 1; j <= s.n; ++j) {
        rows.lo[j] = m * glo[j] + c * s.d1lo[j];
        rows.up[j] = m * gup[j] + c * s.d1up[j];
    }
}

void factor_step(const OperatorRows& rows, int n, double dt, double theta, StepFactors& f) {
    for (std::vector<double>* v : {&f.inv, &f.b, &f.bb, &f.cp, &f.cc, &f.bo, &f.bd, &f.bu}) v->assign(n + 3, 0.0);
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
        if (!(den != 0) || !std::isfinite(den)) throw std::runtime_error("refined sweep: singular step");
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

// w <- B^T A^-T w on rows 1..hi (w is zero above hi and stays negligible
// there); returns the mass absorbed at the barrier and adds the mass lost
// through the top to `top`.
double apply_step(const StepFactors& f, int n, int hi, std::vector<double>& w, std::vector<double>& y,
                  double& top) {
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
    for (; j + 1 <= hi; j += 2) {
        const double a0 = ww[j] * inv[j];
        const double a1 = ww[j + 1] * inv[j + 1];
        const double z0 = a0 - b[j] * z_prev;
        const double z1 = (a1 - b[j + 1] * a0) + bb[j + 1] * z_prev;
        yy[j] = z0;
        yy[j + 1] = z1;
        z_prev = z1;
    }
    if (j == hi) yy[j] = ww[j] * inv[j] - b[j] * z_prev;
    // Back: y[j] = z[j] - cp[j] y[j + 1], two rows per step.
    double y_next = 0;  // y[j + 1]
    j = hi;
    for (; j - 1 >= 1; j -= 2) {
        const double zj = yy[j];
        const double zm = yy[j - 1];
        const double y0 = zj - cp[j] * y_next;
        const double y1 = (zm - cp[j - 1] * zj) + cc[j - 1] * y_next;
        yy[j] = y0;
        yy[j - 1] = y1;
        y_next = y1;
    }
    if (j == 1) yy[1] = yy[1] - cp[1] * y_next;
    yy[0] = 0;
    yy[hi + 1] = 0;
    const int last = std::min(hi + 1, n);
    for (int k = 1; k <= last; ++k) {
        ww[k] = f.bu[k - 1] * yy[k - 1] + f.bd[k] * yy[k] + f.bo[k + 1] * yy[k + 1];
    }
    if (hi == n) top += f.top_coupling * yy[n];
    return f.barrier_coupling * yy[1];
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
    for (long s = 1; s <= 2 * implicit_steps; ++s) out.push_back({dt / 2, 1.0, start + static_cast<double>(s) * dt / 2});
    for (long k = implicit_steps + 1; k <= steps; ++k) out.push_back({dt, 0.5, start + static_cast<double>(k) * dt});
    return out;
}

}  // namespace

SweepGrid make_sweep_grid(double x0, double barrier, double base_spacing, double top, int refinement) {
    SweepGrid g;
    const double span = x0 - barrier;
    const long intervals = std::max(20L, std::lround(span / base_spacing));
    const double h = span / static_cast<double>(intervals);
    g.spacing = h / refinement;
    // At most 0.5% growth of the spacing from node to node in the stretched part.
    g.stretch_from = std::max(x0, barrier + 200 * h);
    const double xi1 = (g.stretch_from - barrier) / h;
    const double rate = h / g.stretch_from;
    double xi_top = (top - barrier) / h;
    if (top > g.stretch_from) xi_top = xi1 + std::log(top / g.stretch_from) / rate;
    const long coarse = std::max(static_cast<long>(std::ceil(xi_top)), intervals + 2);
    const long nodes = coarse * refinement;
    g.x.resize(static_cast<std::size_t>(nodes + 1));
    for (long k = 0; k <= nodes; ++k) {
        const double xi = static_cast<double>(k) / refinement;
        g.x[k] = xi <= xi1 ? barrier + h * xi : g.stretch_from * std::exp(rate * (xi - xi1));
    }
    g.start = static_cast<int>(intervals * refinement);
    g.x[g.start] = x0;
    g.x[0] = barrier;
    return g;
}

double sweep_top(const RefinedModel& model, double x0, double base_spacing, double years) {
    const double m = std::max(model.exposure(0), model.exposure(years));
    const double mu = std::max({0.0, model.current_mu, model.later_mu}) * m;
    const double sigma = std::max(model.current_sigma, model.later_sigma) * std::sqrt(m);
    const double income = std::max({0.0, model.net_income(0), model.net_income(years)});
    double top = (std::max(x0, 0.0) + income * years) * std::exp(mu * years + 6 * sigma * std::sqrt(years));
    const double h = x0 / static_cast<double>(std::max(20L, std::lround(x0 / base_spacing)));
    return std::max(top, 2 * std::max(x0, 200 * h));
}

namespace {

double deterministic_slope(const RefinedModel& m, double t, double x) {
    return m.mu(t) * m.exposure(t) * x + m.net_income(t);
}

// The certain path of a phase without volatility, from 0 to `until`, in
// Runge-Kutta steps of dt: fills t and ruin (0, then 1 from the crossing on)
// and the snapshot points, and returns the wealth at `until`, or NaN once
// the barrier is reached.
double follow_certain_path(const RefinedModel& m, const SweepSpec& spec, double until, double dt,
                           SweepResult& r) {
    const long steps = std::lround(until / dt);
    double x = spec.x0;
    r.t.push_back(0);
    r.ruin.push_back(0);
    auto note_snapshots = [&](double t, double value) {
        for (std::size_t k = 0; k < spec.snapshot_times.size(); ++k) {
            if (std::fabs(spec.snapshot_times[k] - t) < 1e-9) r.snapshot_point[k] = value;
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
        if (xn <= spec.barrier) {
            const double tc = t0 + h * (x - spec.barrier) / (x - xn);
            r.t.push_back(tc);
            r.ruin.push_back(0);
            r.t.push_back(tc);
            r.ruin.push_back(1);
            for (std::size_t j = 0; j < spec.snapshot_times.size(); ++j) {
                if (spec.snapshot_times[j] >= tc) {
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

}  // namespace

SweepResult run_sweep(const RefinedModel& model, const SweepSpec& spec, const Pump& pump) {
    SweepResult result;
    const std::size_t snapshots = spec.snapshot_times.size();
    result.snapshots.assign(snapshots, {});
    result.snapshot_ruin.assign(snapshots, 0);
    result.snapshot_point.assign(snapshots, std::numeric_limits<double>::quiet_NaN());
    const double dt = spec.dt / spec.refinement;

    double start = 0;
    double x_start = spec.x0;
    if (model.current_sigma == 0) {
        start = model.later_sigma == 0 ? spec.end : std::min(model.later_years, spec.end);
        x_start = follow_certain_path(model, spec, start, dt, result);
        const bool ruined = std::isnan(x_start);
        if (ruined || start >= spec.end) {
            if (!ruined) {
                result.t.push_back(spec.end);
                result.ruin.push_back(0);
            } else if (result.t.back() < spec.end) {
                result.t.push_back(spec.end);
                result.ruin.push_back(1);
            }
            result.grid = make_sweep_grid(spec.x0, spec.barrier, spec.base_spacing, spec.top, spec.refinement);
            for (auto& w : result.snapshots) w.assign(result.grid.x.size() + 1, 0.0);
            result.snapshot_prefix = result.snapshots;
            return result;
        }
        result.t.pop_back();
        result.ruin.pop_back();
    }

    result.grid = make_sweep_grid(x_start, spec.barrier, spec.base_spacing, spec.top, spec.refinement);
    const std::vector<double>& x = result.grid.x;
    const Stencils stencils = make_stencils(model, x);
    const int n = stencils.n;
    const std::vector<SubStep> steps = sub_steps(start, spec.end, dt, spec.implicit_half_steps);

    std::vector<double> w(n + 3, 0.0), y(n + 3, 0.0);
    w[result.grid.start] = 1;
    result.t.reserve(result.t.size() + steps.size() + 1);
    result.ruin.reserve(result.ruin.size() + steps.size() + 1);
    result.t.push_back(start);
    result.ruin.push_back(0);

    std::vector<std::size_t> snapshot_step(snapshots, steps.size() + 1);
    for (std::size_t k = 0; k < snapshots; ++k) {
        if (!std::isnan(result.snapshot_point[k])) continue;
        for (std::size_t s = 0; s < steps.size(); ++s) {
            if (std::fabs(steps[s].t_end - spec.snapshot_times[k]) < 1e-9) snapshot_step[k] = s;
        }
        if (snapshot_step[k] > steps.size()) throw std::runtime_error("refined sweep: snapshot off the time grid");
    }
    for (std::size_t k = 0; k < snapshots; ++k) {
        if (!std::isnan(result.snapshot_point[k])) result.snapshots[k].assign(n + 3, 0.0);
    }

    // Coefficients that change with time are frozen at the middle of blocks
    // of up to kBlock sub-steps of one kind, so a factorisation serves a
    // block; the blocks shrink with the time step, so the freezing error
    // falls with it like the rest. Constant coefficients need one
    // factorisation per regime and step kind.
    constexpr std::size_t kBlock = 8;
    const bool constant = model.coefficients_constant_in_time();
    StepFactors cache[2][2];
    bool cached[2][2] = {{false, false}, {false, false}};
    OperatorRows rows;
    StepFactors factors;
    const StepFactors* f = nullptr;
    std::size_t block_end = 0;
    // Rows above hi hold less than 1e-40 and are left out of the solve.
    int hi = std::min(n, result.grid.start + 32);
    double ruined = 0;
    double top = 0;
    for (std::size_t s = 0; s < steps.size(); ++s) {
        const SubStep& st = steps[s];
        const double t_mid = st.t_end - st.dt / 2;
        const int regime = model.later_regime(t_mid) ? 1 : 0;
        const int implicit = st.theta == 1.0 ? 1 : 0;
        if (constant) {
            if (!cached[regime][implicit]) {
                fill_rows(stencils, regime, model.exposure(0), model.net_income(0), rows);
                factor_step(rows, n, st.dt, st.theta, cache[regime][implicit]);
                cached[regime][implicit] = true;
            }
            f = &cache[regime][implicit];
        } else if (s >= block_end) {
            block_end = s + 1;
            while (block_end < steps.size() && block_end - s < kBlock && steps[block_end].theta == st.theta &&
                   (model.later_regime(steps[block_end].t_end - steps[block_end].dt / 2) ? 1 : 0) == regime) {
                ++block_end;
            }
            const double t_block = 0.5 * (st.t_end - st.dt + steps[block_end - 1].t_end);
            fill_rows(stencils, regime, model.exposure(t_block), model.net_income(t_block), rows);
            factor_step(rows, n, st.dt, st.theta, factors);
            f = &factors;
        }
        ruined += apply_step(*f, n, hi, w, y, top);
        while (hi < n && (std::fabs(w[hi]) > 1e-40 || std::fabs(w[hi + 1]) > 1e-40)) hi = std::min(n, hi + 32);
        result.t.push_back(st.t_end);
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
    result.snapshot_prefix.resize(result.snapshots.size());
    for (std::size_t k = 0; k < result.snapshots.size(); ++k) {
        std::vector<double>& p = result.snapshot_prefix[k];
        p.assign(n + 2, 0.0);
        for (int j = 1; j <= n; ++j) p[j] = p[j - 1] + result.snapshots[k][j];
    }
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

double SweepResult::lifetime_ruin(const RefinedModel& model, double horizon) const {
    double p = 0;
    for (std::size_t s = 1; s < t.size() && t[s - 1] < horizon; ++s) {
        const double mid = 0.5 * (t[s - 1] + std::min(t[s], horizon));
        const double share = t[s] <= horizon ? 1.0 : (horizon - t[s - 1]) / (t[s] - t[s - 1]);
        p += share * (ruin[s] - ruin[s - 1]) * model.conditional_survival(mid, horizon);
    }
    return p;
}

double SweepResult::mean_unruined_time(double T) const {
    double area = 0;
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
    // Node j's cell runs from the midpoint with j - 1 to the midpoint with j + 1.
    const auto upper = std::upper_bound(x.begin() + 1, x.begin() + n + 1, level);
    int j = static_cast<int>(upper - x.begin());  // first node above the level
    // The level lies in the cell of node j - 1 or node j.
    int cell = j;
    if (j > n) {
        cell = n;
    } else if (level < 0.5 * (x[j - 1] + x[j])) {
        cell = j - 1;
    }
    if (cell < 1) return below;
    const double lo = 0.5 * (x[cell - 1] + x[cell]);
    const double hi = 0.5 * (x[cell] + x[cell + 1]);
    const double share = std::clamp((level - lo) / (hi - lo), 0.0, 1.0);
    return below + prefix[cell - 1] + share * w[cell];
}

}  // namespace quorrel::refined
