// The fast paths around the lane kernel: requests grouped by grid, cut into
// batches of lanes, and spread over worker threads; the adjoint curves of
// the estate searches.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/parallel.h"
#include "engine/standard/engine_internal.h"
#include "engine/standard/lane_kernel.h"
#include "engine/standard/scheme_common.h"

namespace quorrel::engine_detail {

namespace {

// Requests that share one grid: same x0 and grid kind. They may differ in
// barrier, terminal values, horizon and killing.
struct GridGroup {
    Grid grid;
    std::vector<double> X2;
    std::vector<std::size_t> members;  // indices into the requests
    std::vector<int> barriers;         // barrier of each member
};

std::vector<GridGroup> group_by_grid(const std::vector<SolveRequest>& requests) {
    std::vector<GridGroup> groups;
    for (std::size_t k = 0; k < requests.size(); ++k) {
        const SolveRequest& rq = requests[k];
        Grid grid = make_grid(rq.kind, rq.x0, rq.level);
        auto same = std::find_if(groups.begin(), groups.end(), [&](const GridGroup& g) {
            return g.grid.M == grid.M && g.grid.X == grid.X;
        });
        if (same == groups.end()) {
            groups.push_back({std::move(grid), {}, {}, {}});
            same = groups.end() - 1;
            same->X2 = squares(same->grid);
        }
        same->members.push_back(k);
        same->barriers.push_back(rq.kind == SolveKind::wealth_below
                                     ? same->grid.ib
                                     : barrier_index(same->grid, rq.level));
    }
    return groups;
}

// `count` items in `parts` runs whose sizes differ by one at most, the
// larger first.
std::vector<std::size_t> even_parts(std::size_t count, std::size_t parts) {
    std::vector<std::size_t> sizes;
    for (std::size_t p = 0; p < parts; ++p)
        sizes.push_back(count / parts + (p < count % parts ? 1 : 0));
    return sizes;
}

// The lanes of one kernel call.
struct Batch {
    const GridGroup* group = nullptr;
    std::vector<SolveRequest> requests;
    std::vector<int> barriers;
    std::vector<std::size_t> index;
};

// Every worker takes its share of every group in whole SIMD vectors, so that
// no worker pays for more part-filled vectors than it must, cut into batches
// of at most the kernel's lanes.
// The last worker's share is `side` vectors lighter: it runs the side task.
std::vector<std::vector<Batch>> plan_batches(const std::vector<GridGroup>& groups,
                                             const std::vector<SolveRequest>& requests, int workers,
                                             std::size_t side) {
    std::vector<std::vector<Batch>> plan(static_cast<std::size_t>(workers));
    const auto width = static_cast<std::size_t>(vector_lanes());
    const auto most = static_cast<std::size_t>(max_forward_lanes()) / width;  // vectors per batch
    for (const GridGroup& group : groups) {
        std::size_t next = 0;
        const std::size_t vectors = (group.members.size() + width - 1) / width;
        auto shares = even_parts(vectors + side, static_cast<std::size_t>(workers));
        for (std::size_t w = shares.size(); w-- > 0 && side > 0;) {
            const std::size_t lighter = std::min(side, shares[w]);
            shares[w] -= lighter;
            side -= lighter;
        }
        side = 0;  // one task, weighed against the first group only
        for (std::size_t w = 0; w < shares.size(); ++w) {
            for (std::size_t size : even_parts(shares[w], (shares[w] + most - 1) / most)) {
                Batch batch{&group, {}, {}, {}};
                const std::size_t end = std::min(next + size * width, group.members.size());
                for (std::size_t m = next; m < end; ++m) {
                    batch.requests.push_back(requests[group.members[m]]);
                    batch.barriers.push_back(group.barriers[m]);
                    batch.index.push_back(group.members[m]);
                }
                next = end;
                if (!batch.requests.empty()) plan[w].push_back(std::move(batch));
            }
        }
    }
    return plan;
}

void run_batches(const Model& model, const std::vector<Batch>& batches,
                 std::vector<double>& out, const EventPump* pump) {
    std::vector<double> values;
    for (const Batch& batch : batches) {
        values.assign(batch.requests.size(), 0);
        solve_lanes(model, {.grid = &batch.group->grid,
                            .X2 = batch.group->X2,
                            .requests = batch.requests,
                            .barriers = batch.barriers,
                            .out = values,
                            .pump = pump});
        for (std::size_t j = 0; j < values.size(); ++j) out[batch.index[j]] = values[j];
    }
}

// Runs `count` horizons from T[first] on, at most the kernel's lanes at a
// time, and turns each sweep into its curve.
void sweep_curves(
    const Model& model, const Grid& grid, const std::vector<double>& X2, double g, double t0,
    std::span<const double> T, std::span<WealthBelowCurve> curves, const EventPump* pump,
    const std::function<void(WealthBelowCurve&, double, const std::vector<double>&)>& finish) {
    const auto lanes = static_cast<std::size_t>(max_adjoint_lanes());
    std::vector<double> barrier_part;
    std::vector<std::vector<double>> weights;
    for (std::size_t done = 0; done < T.size();) {
        const std::size_t step = std::min(lanes, T.size() - done);
        barrier_part.assign(step, 0);
        weights.assign(step, {});
        adjoint_lanes(model, {.grid = &grid,
                              .X2 = X2,
                              .g = g,
                              .t0 = t0,
                              .T = T.subspan(done, step),
                              .pump = pump,
                              .barrier_part = barrier_part,
                              .weights = weights});
        for (std::size_t l = 0; l < step; ++l)
            finish(curves[done + l], barrier_part[l], weights[l]);
        done += step;
    }
}

}  // namespace

double fast_solve(const Model& model, const SolveRequest& rq, const EventPump& pump) {
    count_solves(1);
    const Grid grid = make_grid(rq.kind, rq.x0, rq.level);
    const std::vector<double> X2 = squares(grid);
    double out = 0;
    solve_lanes(model, {.grid = &grid,
                        .X2 = X2,
                        .requests = {&rq, 1},
                        .barriers = {&grid.ib, 1},
                        .out = {&out, 1},
                        .pump = &pump});
    return out;
}

void solve_batch(const Model& model, const std::vector<SolveRequest>& requests,
                 std::vector<double>& out, const EventPump& pump) {
    solve_batch(model, requests, out, pump, {});
}

void solve_batch(const Model& model, const std::vector<SolveRequest>& requests,
                 std::vector<double>& out, const EventPump& pump, const SideTask& side) {
    out.assign(requests.size(), 0);
    if (requests.empty()) {
        if (side.run) side.run();
        return;
    }
    count_solves(static_cast<long>(requests.size()));
    const std::vector<GridGroup> groups = group_by_grid(requests);
    const unsigned workers = engine::worker_count(requests.size());
    const auto side_vectors = static_cast<std::size_t>(std::lround(std::max(0.0, side.vectors)));
    const std::vector<std::vector<Batch>> plan =
        plan_batches(groups, requests, static_cast<int>(workers), side.run ? side_vectors : 0);
    engine::run_parallel(
        plan.size(), workers,
        [&](std::size_t w, const EventPump& p) {
            run_batches(model, plan[w], out, &p);
            if (w + 1 == plan.size() && side.run) side.run();
        },
        pump);
}

void count_curve(const WealthBelowCurve& curve) {
    if (!curve.trivial) count_solves(1);
}

double adjoint_sweep_vectors(int rows) {
    // Measured where every step is factored: a four-lane adjoint sweep of
    // 1000 rows takes about as long as one forward vector of a full batch on
    // the 1201-node grid.
    return rows / 1000.0;
}

bool matrices_repeat(const Model& model, const SolveRequest& request) {
    const LaneSetup setup = lane_setup(model, request, 1.0);
    const StepConstants a = step_constants(model, request, setup, kSteps + 1);
    const StepConstants b = step_constants(model, request, setup, kSteps);
    const auto same = [](double x, double y) {
        return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y);
    };
    return same(a.mu, b.mu) && same(a.m, b.m) && same(a.w, b.w) && same(a.enir, b.enir) &&
           same(a.cs, b.cs) && same(a.dt, b.dt);
}

double WealthBelowCurve::probability(double level) const {
    if (trivial) return x0 < level ? 1.0 : 0.0;
    const std::size_t below =
        static_cast<std::size_t>(std::lower_bound(X.begin(), X.end(), level) - X.begin());
    const double p = barrier_part + prefix[below];
    return checked(SolveKind::wealth_below, level, T, p);
}

void build_wealth_below_curves(const Model& model, double g, double x0, double t0,
                               bool wide_grid, const std::vector<double>& T,
                               std::vector<WealthBelowCurve>& curves, const EventPump& pump,
                               bool speculative) {
    curves.assign(T.size(), WealthBelowCurve{});
    if (T.empty()) return;
    const Grid grid = make_grid(wide_grid ? GridKind::wide_below : GridKind::narrow_below, x0, 0.0);
    for (std::size_t k = 0; k < T.size(); ++k) {
        curves[k].x0 = x0;
        curves[k].T = T[k];
    }
    if (grid.H <= grid.ib) {
        for (WealthBelowCurve& c : curves) c.trivial = true;
        return;
    }
    if (!speculative) count_solves(static_cast<long>(T.size()));
    const std::vector<double> X2 = squares(grid);
    const int n = grid.M - 1 - grid.ib;
    const auto finish = [&](WealthBelowCurve& c, double barrier_part,
                            const std::vector<double>& weights) {
        c.barrier_part = barrier_part;
        c.X.assign(grid.X.begin() + grid.ib + 1, grid.X.begin() + grid.M);
        c.prefix.assign(static_cast<std::size_t>(n) + 1, 0);
        double sum = 0;
        for (int r = 1; r <= n; ++r) {
            sum += weights[r];
            c.prefix[r] = sum;
        }
    };
    if (speculative) {
        sweep_curves(model, grid, X2, g, t0, T, curves, &pump, finish);
        return;
    }
    const unsigned workers = engine::worker_count(T.size());
    const auto shares = even_parts(T.size(), workers);
    std::vector<std::size_t> firsts(shares.size(), 0);
    for (std::size_t w = 1; w < shares.size(); ++w) firsts[w] = firsts[w - 1] + shares[w - 1];
    engine::run_parallel(
        shares.size(), workers,
        [&](std::size_t w, const EventPump& p) {
            const std::span<const double> horizons(T.data() + firsts[w], shares[w]);
            const std::span<WealthBelowCurve> mine(curves.data() + firsts[w], shares[w]);
            sweep_curves(model, grid, X2, g, t0, horizons, mine, &p, finish);
        },
        pump);
}

}  // namespace quorrel::engine_detail
