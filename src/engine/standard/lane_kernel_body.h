// The lane kernel for one GCC vector type of doubles. Included only by the
// lane_kernel_<instruction set>.cpp files, after lane_kernel_prelude.h, so that
// every function here is compiled for that file's instruction set; all of it
// has internal linkage, so no copy built for one set can stand in for
// another's at link time.

namespace quorrel::engine_detail {
namespace {

template <class V>
using MaskOf = decltype(V{} < V{});

template <class V>
constexpr int kLanesOf = static_cast<int>(sizeof(V) / sizeof(double));

template <class V>
[[gnu::always_inline]] inline V splat(double x) {
    return V{} + x;
}

// |a| by clearing the sign bit.
template <class V>
[[gnu::always_inline]] inline V magnitude(V a) {
    using M = MaskOf<V>;
    const M sign_off = M{} + 0x7fffffffffffffffLL;
    return reinterpret_cast<V>(reinterpret_cast<M>(a) & sign_off);
}

// n zeroed vectors, aligned to the vector size.
template <class V>
class VectorArray final {
public:
    explicit VectorArray(std::size_t n) : storage_((n + 1) * kLanesOf<V>, 0.0) {
        const auto address = reinterpret_cast<std::uintptr_t>(storage_.data());
        data_ = reinterpret_cast<V*>((address + sizeof(V) - 1) / sizeof(V) * sizeof(V));
    }
    V* at(std::size_t k) { return data_ + k; }
    const V* at(std::size_t k) const { return data_ + k; }

private:
    std::vector<double> storage_;
    V* data_ = nullptr;
};

// The step constants of the lanes of one vector.
template <class V>
struct VectorStep {
    V mu, m, w, enir, cs, K, dt;
};

template <class V, int K>
void load_step(const Model& wm, const SolveRequest* rq, const LaneSetup* setup, int k,
               VectorStep<V>* step) {
    constexpr int L = kLanesOf<V>;
    for (int l = 0; l < K * L; ++l) {
        const StepConstants c = step_constants(wm, rq[l], setup[l], k);
        VectorStep<V>& s = step[l / L];
        s.mu[l % L] = c.mu;
        s.m[l % L] = c.m;
        s.w[l % L] = c.w;
        s.enir[l % L] = c.enir;
        s.cs[l % L] = c.cs;
        s.K[l % L] = c.K;
        s.dt[l % L] = c.dt;
    }
}

// Whether two steps give every lane the same matrix: all constants but the
// killing factor K, which only scales the right-hand side, equal to the bit.
template <class V, int K>
bool same_matrix(const VectorStep<V>* a, const VectorStep<V>* b) {
    for (int j = 0; j < K; ++j) {
        for (auto field : {&VectorStep<V>::mu, &VectorStep<V>::m, &VectorStep<V>::w,
                           &VectorStep<V>::enir, &VectorStep<V>::cs, &VectorStep<V>::dt}) {
            if (std::memcmp(&(a[j].*field), &(b[j].*field), sizeof(V)) != 0) return false;
        }
    }
    return true;
}

template <class V>
struct UpwindRow {
    V a_neg, a_pos, b, lower, diag, upper;
};

// The row of the upwind system at node x (x2 = x * x), its drift in
// Model::drift's order of operations. The upwind choice is
// taken as min/max against zero: the same values as the two cases of the
// scheme (up to the sign of a zero).
template <class V>
[[gnu::always_inline]] inline UpwindRow<V> row_coefficients(const VectorStep<V>& c, double x,
                                                            double x2, double rir, double dx) {
    const V zero{};
    V a = (((c.mu * x) * c.m + c.w) + rir) + c.enir;
    a = a * c.dt / dx;
    UpwindRow<V> row;
    row.b = (c.cs * x2) * c.m;
    row.a_neg = a < zero ? a : zero;
    row.a_pos = a > zero ? a : zero;
    row.diag = (1 + 2 * row.b) + magnitude(a);
    row.lower = row.a_neg - row.b;
    row.upper = -(row.b + row.a_pos);
    return row;
}

// What the forward elimination of tridag carries from one row to the next,
// and the lanes whose pivot was zero (bad_first: on their first row).
template <class V, int K>
struct Elimination {
    V prev_upper[K], prev_bet[K], prev_u[K];
    MaskOf<V> bad[K], bad_first[K];
    Elimination() {
        for (int j = 0; j < K; ++j) {
            prev_upper[j] = V{};
            prev_bet[j] = splat<V>(1);
            prev_u[j] = V{};
            bad[j] = MaskOf<V>{};
            bad_first[j] = MaskOf<V>{};
        }
    }
};

template <class V, int K>
[[gnu::always_inline]] inline void check_pivots(const Elimination<V, K>& e, int used) {
    constexpr int L = kLanesOf<V>;
    bool any_first = false, any = false;
    for (int l = 0; l < used; ++l) {
        any_first = any_first || e.bad_first[l / L][l % L] != 0;
        any = any || e.bad[l / L][l % L] != 0;
    }
    if (any_first) throw SolverError(kNotTridag);
    if (any) throw SolverError(kMatrixError);
}

// Forward solves: the lanes of K vectors, each with its own request and
// barrier, over the shared nodes of one grid. A step whose matrix equals the
// previous step's (see same_matrix) reuses that step's factorisation: only
// the right-hand side is eliminated, with one division per row instead of
// three, and the values are those a fresh factorisation would give, since it
// would repeat the same operations on the same operands.
template <class V, int K>
class ForwardLanes final {
    using M = MaskOf<V>;
    static constexpr int L = kLanesOf<V>;
    static constexpr int W = K * L;

public:
    ForwardLanes(const Model& wm, const LaneJob& job)
        : wm_(wm),
          job_(job),
          grid_(*job.grid),
          used_(static_cast<int>(job.requests.size())),
          values_(static_cast<std::size_t>(grid_.M + 1) * K),
          gam_(static_cast<std::size_t>(grid_.M + 1) * K),
          lower_(static_cast<std::size_t>(grid_.M + 1) * K),
          bet_(static_cast<std::size_t>(grid_.M + 1) * K) {
        set_up_lanes();
        set_terminal_values();
    }

    void run() {
        bool factored = false;
        for (int k = kSteps + 1; k >= 2; --k) {
            if (job_.pump && *job_.pump) (*job_.pump)();
            load_step<V, K>(wm_, rq_, setup_, k, step_);
            if (factored && same_matrix<V, K>(step_, factored_step_)) {
                eliminate_right_hand_side();
            } else {
                factor_and_eliminate();
                for (int j = 0; j < K; ++j) factored_step_[j] = step_[j];
                factored = true;
            }
            back_substitute();
        }
        for (int l = 0; l < used_; ++l) {
            const double value =
                (*values_.at(static_cast<std::size_t>(grid_.H) * K + l / L))[l % L];
            job_.out[l] = checked(rq_[l].kind, rq_[l].level, rq_[l].T, value);
        }
    }

private:
    void set_up_lanes() {
        for (int l = 0; l < W; ++l) {
            const int src = l < used_ ? l : 0;  // spare lanes repeat lane 0
            rq_[l] = job_.requests[src];
            ib_[l] = job_.barriers[src];
            setup_[l] = lane_setup(wm_, rq_[l], grid_.dx);
        }
        lo_ = ib_[0] + 1;
        mid_ = 0;
        for (int l = 0; l < W; ++l) {
            lo_ = std::min(lo_, ib_[l] + 1);
            mid_ = std::max(mid_, ib_[l] + 1);
            barrier_[l / L][l % L] = ib_[l];
            first_row_[l / L][l % L] = ib_[l] + 1;
        }
        hi_ = grid_.M - 1;
    }

    void set_terminal_values() {
        for (int i = 1; i <= grid_.M; ++i) {
            V* v = values_.at(static_cast<std::size_t>(i) * K);
            for (int l = 0; l < W; ++l) v[l / L][l % L] = terminal_value(grid_, rq_[l], ib_[l], i);
        }
    }

    // The right-hand side of node i for the lanes of vector j. The first row
    // above a lane's barrier adds the barrier term, the last row the top one
    // (bnd[M] = 0, so it vanishes); at and below the barrier a lane holds its
    // value.
    [[gnu::always_inline]] V masked_rhs(int i, int j, V held, V rhs) const {
        const V node = splat<V>(static_cast<double>(i));
        rhs = node == first_row_[j] ? rhs + first_term_[j] : rhs;
        if (i == hi_) rhs = rhs + top_term_[j];
        return node > barrier_[j] ? rhs : held;
    }

    // Nodes at or below a lane's barrier become identity rows with zero
    // coupling, which leaves that lane's held values and its first real row
    // as the reference has them. Keeps the barrier and top terms for the
    // steps that reuse this factorisation.
    [[gnu::always_inline]] M barrier_masks(int i, int j, V held, UpwindRow<V>& row, V& rhs) {
        const V zero{};
        const V node = splat<V>(static_cast<double>(i));
        const M first = node == first_row_[j];
        const M active = node > barrier_[j];
        first_term_[j] = first ? row.b - row.a_neg : first_term_[j];
        if (i == hi_) top_term_[j] = (row.b + row.a_pos) * 0.0;
        rhs = masked_rhs(i, j, held, rhs);
        row.lower = first ? zero : row.lower;
        row.diag = active ? row.diag : splat<V>(1);
        row.lower = active ? row.lower : zero;
        row.upper = active ? row.upper : zero;
        return first;
    }

    // One forward-elimination step of tridag for the lanes of vector j.
    [[gnu::always_inline]] static void eliminate(int j, const UpwindRow<V>& row, V rhs, M first,
                                                 Elimination<V, K>& e, V& gam_out, V& bet_out,
                                                 V& u_out) {
        const V gam = e.prev_upper[j] / e.prev_bet[j];
        const V bet = row.diag - row.lower * gam;
        const V u = (rhs - row.lower * e.prev_u[j]) / bet;
        const M zero_pivot = bet == 0;
        e.bad[j] |= zero_pivot;
        e.bad_first[j] |= zero_pivot & first;
        gam_out = gam;
        bet_out = bet;
        u_out = u;
        e.prev_upper[j] = row.upper;
        e.prev_bet[j] = bet;
        e.prev_u[j] = u;
    }

    template <bool kMasked>
    [[gnu::always_inline]] void factor_node(int i, const VectorStep<V>* step,
                                            Elimination<V, K>& e) {
        const double x = grid_.X[i];
        const double x2 = job_.X2[i];
        const std::size_t at = static_cast<std::size_t>(i) * K;
        V* v = values_.at(at);
        V* g = gam_.at(at);
        V* lw = lower_.at(at);
        V* bt = bet_.at(at);
#pragma GCC unroll 8
        for (int j = 0; j < K; ++j) {
            UpwindRow<V> row = row_coefficients(step[j], x, x2, wm_.real_income_ratio, grid_.dx);
            const V held = v[j];
            V rhs = step[j].K * held;
            M first{};
            if constexpr (kMasked) first = barrier_masks(i, j, held, row, rhs);
            eliminate(j, row, rhs, first, e, g[j], bt[j], v[j]);
            lw[j] = row.lower;
        }
    }

    // Rows and elimination in one pass over the nodes. Nodes up to mid_ may
    // lie at or below some lane's barrier and need the lane masks; above it
    // every lane solves every node.
    void factor_and_eliminate() {
        VectorStep<V> step[K];
        for (int j = 0; j < K; ++j) step[j] = step_[j];
        Elimination<V, K> e;
        for (int i = lo_; i <= mid_; ++i) factor_node<true>(i, step, e);
        for (int i = mid_ + 1; i < hi_; ++i) factor_node<false>(i, step, e);
        factor_node<true>(hi_, step, e);
        check_pivots<V, K>(e, used_);
    }

    // The elimination of factor_node on the kept rows and pivots.
    template <bool kMasked>
    [[gnu::always_inline]] void eliminate_node(int i, const V* killing, V* prev_u) {
        const std::size_t at = static_cast<std::size_t>(i) * K;
        V* v = values_.at(at);
        const V* lw = lower_.at(at);
        const V* bt = bet_.at(at);
#pragma GCC unroll 8
        for (int j = 0; j < K; ++j) {
            const V held = v[j];
            V rhs = killing[j] * held;
            if constexpr (kMasked) rhs = masked_rhs(i, j, held, rhs);
            const V u = (rhs - lw[j] * prev_u[j]) / bt[j];
            v[j] = u;
            prev_u[j] = u;
        }
    }

    void eliminate_right_hand_side() {
        V killing[K], prev_u[K];
        for (int j = 0; j < K; ++j) {
            killing[j] = step_[j].K;
            prev_u[j] = V{};
        }
        for (int i = lo_; i <= mid_; ++i) eliminate_node<true>(i, killing, prev_u);
        for (int i = mid_ + 1; i < hi_; ++i) eliminate_node<false>(i, killing, prev_u);
        eliminate_node<true>(hi_, killing, prev_u);
    }

    // u[i] -= gam[i + 1] u[i + 1] from the top down; a lane's held values at
    // and below its barrier stay.
    void back_substitute() {
        for (int i = hi_ - 1; i >= mid_; --i) {
            V* vi = values_.at(static_cast<std::size_t>(i) * K);
            const V* vn = values_.at(static_cast<std::size_t>(i + 1) * K);
            const V* gn = gam_.at(static_cast<std::size_t>(i + 1) * K);
#pragma GCC unroll 8
            for (int j = 0; j < K; ++j) vi[j] = vi[j] - gn[j] * vn[j];
        }
        for (int i = mid_ - 1; i >= lo_; --i) {
            const V node = splat<V>(static_cast<double>(i));
            V* vi = values_.at(static_cast<std::size_t>(i) * K);
            const V* vn = values_.at(static_cast<std::size_t>(i + 1) * K);
            const V* gn = gam_.at(static_cast<std::size_t>(i + 1) * K);
#pragma GCC unroll 8
            for (int j = 0; j < K; ++j) {
                const V updated = vi[j] - gn[j] * vn[j];
                vi[j] = node > barrier_[j] ? updated : vi[j];
            }
        }
    }

    const Model& wm_;
    const LaneJob& job_;
    const Grid& grid_;
    const int used_;
    SolveRequest rq_[W];
    int ib_[W] = {};
    LaneSetup setup_[W];
    V barrier_[K] = {}, first_row_[K] = {};
    V first_term_[K] = {}, top_term_[K] = {};  // of the kept factorisation
    int lo_ = 0, mid_ = 0, hi_ = 0;
    VectorStep<V> step_[K], factored_step_[K];
    VectorArray<V> values_, gam_, lower_, bet_;
};

// The adjoint sweep of the wealth-below solves. Forward, each step solves
// A_k v_{k-1} = v_k + e_1 c_k (c_k the barrier term); the answer is
// e_H . v_1. Going the other way, z_k = A_k^-T z_{k-1} from z_1 = e_H gives
// the answer as z_501 . v_terminal + sum_k z_k[1] c_k, where only v_terminal
// depends on the level.
template <class V, int K>
class AdjointLanes final {
    using M = MaskOf<V>;
    static constexpr int L = kLanesOf<V>;
    static constexpr int W = K * L;

public:
    AdjointLanes(const Model& wm, const AdjointJob& job)
        : wm_(wm),
          job_(job),
          grid_(*job.grid),
          used_(static_cast<int>(job.T.size())),
          n_(grid_.M - 1 - grid_.ib),
          z_(static_cast<std::size_t>(n_ + 2) * K),
          gam_(static_cast<std::size_t>(n_ + 2) * K),
          sub_(static_cast<std::size_t>(n_ + 2) * K),
          bet_(static_cast<std::size_t>(n_ + 2) * K) {
        for (int l = 0; l < W; ++l) {
            rq_[l] = {.kind = SolveKind::wealth_below,
                      .g = job.g,
                      .t0 = job.t0,
                      .T = job.T[l < used_ ? l : 0]};
            setup_[l] = lane_setup(wm_, rq_[l], grid_.dx);
        }
        V* start = z_.at(static_cast<std::size_t>(grid_.H - grid_.ib) * K);
        for (int j = 0; j < K; ++j) start[j] = splat<V>(1);
    }

    void run() {
        V acc[K] = {};
        bool factored = false;
        for (int k = 2; k <= kSteps + 1; ++k) {
            if (job_.pump && *job_.pump) (*job_.pump)();
            load_step<V, K>(wm_, rq_, setup_, k, step_);
            if (factored && same_matrix<V, K>(step_, factored_step_)) {
                eliminate_right_hand_side();
            } else {
                transposed_eliminate();
                for (int j = 0; j < K; ++j) factored_step_[j] = step_[j];
                factored = true;
            }
            back_substitute();
            const V* first = z_.at(K);
            for (int j = 0; j < K; ++j) acc[j] = acc[j] + first[j] * barrier_[j];
        }
        for (int l = 0; l < used_; ++l) {
            job_.barrier_part[l] = acc[l / L][l % L];
            std::vector<double>& weights = job_.weights[l];
            weights.assign(static_cast<std::size_t>(n_) + 1, 0);
            for (int r = 1; r <= n_; ++r)
                weights[r] = (*z_.at(static_cast<std::size_t>(r) * K + l / L))[l % L];
        }
    }

private:
    // Elimination of the transposed rows: sub-diagonal upper[r - 1],
    // super-diagonal lower[r + 1]. barrier_[j] gets the first row's barrier
    // coefficient; the pivots and sub-diagonals are kept for the steps that
    // reuse this factorisation.
    void transposed_eliminate() {
        VectorStep<V> step[K];
        for (int j = 0; j < K; ++j) step[j] = step_[j];
        Elimination<V, K> e;
        for (int r = 1; r <= n_; ++r) {
            const int i = grid_.ib + r;
            const double x = grid_.X[i];
            const double x2 = job_.X2[i];
            const std::size_t at = static_cast<std::size_t>(r) * K;
            V* zr = z_.at(at);
            V* gr = gam_.at(at);
            V* sub = sub_.at(at);
            V* bt = bet_.at(at);
#pragma GCC unroll 8
            for (int j = 0; j < K; ++j) {
                const UpwindRow<V> row =
                    row_coefficients(step[j], x, x2, wm_.real_income_ratio, grid_.dx);
                if (r == 1) barrier_[j] = row.b - row.a_neg;
                const V gam = row.lower / e.prev_bet[j];
                const V bet = row.diag - e.prev_upper[j] * gam;
                const V u = (zr[j] - e.prev_upper[j] * e.prev_u[j]) / bet;
                const M zero_pivot = bet == 0;
                e.bad[j] |= zero_pivot;
                if (r == 1) e.bad_first[j] |= zero_pivot;
                gr[j] = gam;
                sub[j] = e.prev_upper[j];
                bt[j] = bet;
                zr[j] = u;
                e.prev_upper[j] = row.upper;
                e.prev_bet[j] = bet;
                e.prev_u[j] = u;
            }
        }
        check_pivots<V, K>(e, used_);
    }

    // The elimination above on the kept sub-diagonals and pivots.
    void eliminate_right_hand_side() {
        V prev_u[K] = {};
        for (int r = 1; r <= n_; ++r) {
            const std::size_t at = static_cast<std::size_t>(r) * K;
            V* zr = z_.at(at);
            const V* sub = sub_.at(at);
            const V* bt = bet_.at(at);
#pragma GCC unroll 8
            for (int j = 0; j < K; ++j) {
                const V u = (zr[j] - sub[j] * prev_u[j]) / bt[j];
                zr[j] = u;
                prev_u[j] = u;
            }
        }
    }

    void back_substitute() {
        for (int r = n_ - 1; r >= 1; --r) {
            V* zr = z_.at(static_cast<std::size_t>(r) * K);
            const V* zn = z_.at(static_cast<std::size_t>(r + 1) * K);
            const V* gn = gam_.at(static_cast<std::size_t>(r + 1) * K);
#pragma GCC unroll 8
            for (int j = 0; j < K; ++j) zr[j] = zr[j] - gn[j] * zn[j];
        }
    }

    const Model& wm_;
    const AdjointJob& job_;
    const Grid& grid_;
    const int used_;
    const int n_;
    SolveRequest rq_[W];
    LaneSetup setup_[W];
    VectorStep<V> step_[K], factored_step_[K];
    V barrier_[K] = {};  // barrier coefficient of the kept factorisation
    VectorArray<V> z_, gam_, sub_, bet_;
};

// The smallest K of at most KMax vectors that holds every lane of the job.
template <class V, int K, int KMax>
void solve_forward(const Model& wm, const LaneJob& job) {
    if constexpr (K < KMax) {
        if (static_cast<int>(job.requests.size()) > K * kLanesOf<V>) {
            solve_forward<V, K + 1, KMax>(wm, job);
            return;
        }
    }
    ForwardLanes<V, K>(wm, job).run();
}

template <class V, int K, int KMax>
void solve_adjoint(const Model& wm, const AdjointJob& job) {
    if constexpr (K < KMax) {
        if (static_cast<int>(job.T.size()) > K * kLanesOf<V>) {
            solve_adjoint<V, K + 1, KMax>(wm, job);
            return;
        }
    }
    AdjointLanes<V, K>(wm, job).run();
}

// The entry points on vectors of `Bytes` bytes, at most KMaxForward vectors
// a forward batch and KMaxAdjoint an adjoint one.
template <int Bytes, int KMaxForward, int KMaxAdjoint>
const KernelSet& kernels_of(const char* name) {
    typedef double V __attribute__((vector_size(Bytes)));
    static const KernelSet set{name,
                               kLanesOf<V>,
                               KMaxForward * kLanesOf<V>,
                               KMaxAdjoint * kLanesOf<V>,
                               &solve_forward<V, 1, KMaxForward>,
                               &solve_adjoint<V, 1, KMaxAdjoint>};
    return set;
}

}  // namespace
}  // namespace quorrel::engine_detail
