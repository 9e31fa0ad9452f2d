#include "coupling/lane_pass.hpp"

#include <omp.h>

#include <algorithm>
#include <atomic>

#include "core/lane_hypot.hpp"
#include "coupling/edge_terms.hpp"
#include "coupling/relaxation.hpp"
#include "coupling/strip_displacements.hpp"

namespace sw {

namespace {

using namespace field;

using Pair = EdgePair<LaneCx>;

/// The Robin term of an edge in every lane (robinPair), b = b11, b12, b22.
inline Pair robin(Lane keep, Lane h, const LaneCx* b, const LaneCx& u1, const LaneCx& u2,
                  const LaneCx& l1, const LaneCx& l2) {
  return robinPair(keep, h, b[0], b[1], b[2], u1, u2, l1, l2);
}

/// One multiplier entry in every lane (multiplierUpdate).
inline LaneCx update(const LaneCx& ba, const LaneCx& bb, const LaneCx& dx, const LaneCx& dy,
                     const LaneCx& neighbour) {
  return multiplierUpdate(ba, bb, dx, dy, neighbour);
}

/// The t data (u1, u2, lag1, lag2 of the t edge) of the strips below a group and the b
/// data of the strips above, element by element.
struct Neighbours {
  LaneCx ut1, ut2, gt1, gt2;  ///< below
  LaneCx ub1, ub2, gb1, gb2;  ///< above
};

/// Odd group g: below are the even strips one lane down (group g-1 supplies lane 0),
/// above the even strips of the same lanes.
inline Neighbours oddNeighbours(const LaneCx* evenBefore, const LaneCx* even) {
  return {shiftUp(evenBefore[kU1t], even[kU1t]),
          shiftUp(evenBefore[kU2t], even[kU2t]),
          shiftUp(evenBefore[kG1t], even[kG1t]),
          shiftUp(evenBefore[kG2t], even[kG2t]),
          even[kU1b],
          even[kU2b],
          even[kG1b],
          even[kG2b]};
}

/// Even group g: below are the odd strips of the same lanes, above the odd strips one
/// lane up (group g+1 supplies the last lane).
inline Neighbours evenNeighbours(const LaneCx* odd, const LaneCx* oddAfter) {
  return {odd[kU1t],
          odd[kU2t],
          odd[kG1t],
          odd[kG2t],
          shiftDown(odd[kU1b], oddAfter[kU1b]),
          shiftDown(odd[kU2b], oddAfter[kU2b]),
          shiftDown(odd[kG1b], oddAfter[kG1b]),
          shiftDown(odd[kG2b], oddAfter[kG2b])};
}

/// Interface parameters of the t edges (tb) and b edges (bb) of a group's element i.
struct EdgeBetas {
  LaneCx tb[3], bb[3];
};

/// A parameter of a horizontal edge from its imaginary part; the real part is +0.
inline LaneCx imaginary(Lane im) { return {Lane{}, im}; }

inline EdgeBetas oddBetas(const LaneBetas& beta, int g, int i) {
  const Lane* b = beta.edge(0, g, i);
  const Lane* t = beta.edge(1, g, i);
  return {{imaginary(t[0]), imaginary(t[1]), imaginary(t[2])},
          {imaginary(b[0]), imaginary(b[1]), imaginary(b[2])}};
}

inline EdgeBetas evenBetas(const LaneBetas& beta, int g, int i) {
  const Lane* b = beta.edge(1, g, i);
  const Lane* t = beta.edge(0, g, i);
  const Lane* ta = beta.edge(0, g + 1, i);
  return {{imaginary(shiftDown(t[0], ta[0])), imaginary(shiftDown(t[1], ta[1])),
           imaginary(shiftDown(t[2], ta[2]))},
          {imaginary(b[0]), imaginary(b[1]), imaginary(b[2])}};
}

inline std::size_t at(int i, int q) {
  return static_cast<std::size_t>(i - 1) * kPerElement + static_cast<std::size_t>(q);
}

/// The multiplier update of the vertical edges of a group from its new displacements
/// (`fresh`, a group block), the parameters of its vertical edges (`vb`) and its vertical
/// multipliers before the pass (`old`), into `out`; as the multiplier update forms them:
/// ascending i, the l update of element i subtracting the r multiplier of element i-1
/// just formed, the r update the l multiplier of element i+1 from before the pass, and
/// the ghost frame zero beyond the outer edges.  The jump across an inner edge is
/// x - x of the one displacement both elements share.
void updateVertical(int nx, const LaneCx* fresh, const LaneCx* vb, const LaneCx* old, LaneMask real,
                    LaneCx* out) {
  const LaneCx zero{};
  const LaneCx* tail = fresh + static_cast<std::size_t>(nx) * kPerElement;
  LaneCx r1 = zero, r2 = zero;  // the new r multipliers of element i-1
  for (int i = 1; i <= nx; ++i) {
    const LaneCx* b = vb + 6 * (i - 1);
    const LaneCx xl1 = fresh[at(i, kU1l)], xl2 = fresh[at(i, kU2l)];
    const LaneCx xr1 = i < nx ? fresh[at(i + 1, kU1l)] : tail[kU1r];
    const LaneCx xr2 = i < nx ? fresh[at(i + 1, kU2l)] : tail[kU2r];
    const LaneCx dxl = xl1 - (i == 1 ? zero : xl1), dyl = xl2 - (i == 1 ? zero : xl2);
    const LaneCx dxr = xr1 - (i == nx ? zero : xr1), dyr = xr2 - (i == nx ? zero : xr2);
    const LaneCx nextL1 = i < nx ? old[4 * i] : zero, nextL2 = i < nx ? old[4 * i + 1] : zero;
    LaneCx* v = out + 4 * (i - 1);
    v[0] = select(real, update(b[0], b[1], dxl, dyl, r1), zero);
    v[1] = select(real, update(b[1], b[2], dxl, dyl, r2), zero);
    v[2] = select(real, update(b[3], b[4], dxr, dyr, nextL1), zero);
    v[3] = select(real, update(b[4], b[5], dxr, dyr, nextL2), zero);
    r1 = v[2];
    r2 = v[3];
  }
}

/// X = 0.7 X + 0.30000000000000004 Xp for `count` values (relaxed), X new in `fresh`, Xp
/// in `x` on entry.
void relaxValues(const LaneCx* fresh, LaneCx* x, std::size_t count) {
  for (std::size_t k = 0; k < count; ++k) x[k] = relaxed(fresh[k], x[k]);
}

}  // namespace

LanePass::LanePass(int nx, int ny, int threads)
    : nx_(nx),
      ny_(ny),
      threads_(std::max(threads, 1)),
      groups_(ny),
      oddNew_(nx, ny, 1),
      work_(static_cast<std::size_t>(threads_)) {
  const std::size_t n = static_cast<std::size_t>(stripUnknowns(nx)) + 1;
  for (Work& w : work_) {
    w.x.assign(n, LaneCx{});
    w.fresh.assign(oddNew_.blockEntries(), LaneCx{});
    w.freshVertical.assign(static_cast<std::size_t>(4) * nx, LaneCx{});
  }
  // Terms of the l, t and b values of every element and of the r values of the last.
  terms_.assign(termIndex(nx + 2, 0, 0), Lane{});
}

template <int P>
bool LanePass::solveGroup(int g, const LaneFields& cur, const LaneSystem& sys, Work& w, LaneCx* out,
                          LaneCx* outVertical) const {
  const int nx = nx_, n = stripUnknowns(nx);
  const LaneMask real = groups_.real(P, g);
  const Lane h = broadcast(sys.h);
  const LaneCx zero{};

  // Per lane: the factors 1 - d of the t and b edges, and the source lane if any.
  Lane keepT, keepB;
  int sourceLane = -1;
  for (int l = 0; l < kLanes; ++l) {
    const int s = StripGroups::strip(P, g, l);
    keepT[l] = s <= ny_ ? 1.0 - sys.del->yt(s) : 1.0;
    keepB[l] = s <= ny_ ? 1.0 - sys.del->yb(s) : 1.0;
    if (s == sys.src.ksou) sourceLane = l;
  }
  // The l and r pairs: on the outer edges (1 - d) h (beta u + lag) with the outer
  // edges' zero interface parameters and the zero ghost frame; inside the strip
  // (1 - d) h lag with the strip's own inner vertical multipliers, +0 unless kept.
  const LaneCx* vOld = cur.vertical(P, g);
  const LaneCx zeroBeta[3] = {zero, zero, zero};
  auto leftPair = [&](int i) {
    const Lane keep = broadcast(1.0 - sys.del->xl(i));
    if (i == 1) return robin(keep, h, zeroBeta, zero, zero, zero, zero);
    const LaneCx l1 = vOld ? vOld[4 * (i - 2) + 2] : zero, l2 = vOld ? vOld[4 * (i - 2) + 3] : zero;
    return multiplierPair(keep, h, l1, l2);
  };
  auto rightPair = [&](int i) {
    const Lane keep = broadcast(1.0 - sys.del->xr(i));
    if (i == nx) return robin(keep, h, zeroBeta, zero, zero, zero, zero);
    const LaneCx l1 = vOld ? vOld[4 * i] : zero, l2 = vOld ? vOld[4 * i + 1] : zero;
    return multiplierPair(keep, h, l1, l2);
  };

  const LaneCx* nbA;  // odd: even group g-1; even: odd group g
  const LaneCx* nbB;  // odd: even group g;   even: odd group g+1
  if constexpr (P == 0) {
    nbA = cur.block(1, g - 1);
    nbB = cur.block(1, g);
  } else {
    nbA = oddNew_.block(0, g);
    nbB = oddNew_.block(0, g + 1);
  }
  auto neighbours = [&](int i) {
    if constexpr (P == 0)
      return oddNeighbours(nbA + at(i, 0), nbB + at(i, 0));
    else
      return evenNeighbours(nbA + at(i, 0), nbB + at(i, 0));
  };
  auto betas = [&](int i) {
    if constexpr (P == 0)
      return oddBetas(*sys.beta, g, i);
    else
      return evenBetas(*sys.beta, g, i);
  };

  // Right-hand side, element by element; the shared vertical pair adds element i's r
  // entries to 0 first, then element i+1's l entries.
  LaneCx* rhs = w.x.data();
  LaneCx carry1 = zero, carry2 = zero;
  for (int i = 1; i <= nx; ++i) {
    const Neighbours nb = neighbours(i);
    const EdgeBetas eb = betas(i);
    const Pair left = leftPair(i);
    const Pair top = robin(keepT, h, eb.tb, nb.ub1, nb.ub2, nb.gb1, nb.gb2);
    const Pair bottom = robin(keepB, h, eb.bb, nb.ut1, nb.ut2, nb.gt1, nb.gt2);
    const Pair right = rightPair(i);
    LaneCx r[9] = {zero, left.x, left.y, top.x, top.y, bottom.x, bottom.y, right.x, right.y};
    if (sourceLane >= 0 && i == sys.src.jsou) {
      Cx one[9];
      for (int m = 1; m <= 8; ++m) one[m] = lane(r[m], sourceLane);
      addSource(sys.src.kdel, sys.src.value, sys.h, one);
      for (int m = 1; m <= 8; ++m) setLane(r[m], sourceLane, one[m]);
    }
    const int c = 6 * (i - 1);
    rhs[c + 1] = carry1 + r[1];
    rhs[c + 2] = carry2 + r[2];
    for (int m = 3; m <= 6; ++m) rhs[c + m] = zero + r[m];
    carry1 = zero + r[7];
    carry2 = zero + r[8];
  }
  rhs[n - 1] = carry1;
  rhs[n] = carry2;

  const int fg = P == 0 ? g : groups_.count[0] + g;
  solveLanes(nx, sys.factors->block(fg), rhs);

  // Lanes beyond the grid hold zeros; the inner vertical displacements must be finite.
  LaneCx* x = w.x.data();
  for (int k = 1; k <= n; ++k) x[k] = select(real, x[k], zero);
  LaneMask finite = real | ~real;
  for (int i = 2; i <= nx; ++i)
    finite &= isfinite(x[6 * (i - 1) + 1]) & isfinite(x[6 * (i - 1) + 2]);

  // New values of the group and the multiplier update of its horizontal edges.
  for (int i = 1; i <= nx; ++i) {
    const Neighbours nb = neighbours(i);
    const EdgeBetas eb = betas(i);
    const int c = 6 * (i - 1);
    LaneCx* e = out + at(i, 0);
    for (int q = 0; q < 6; ++q) e[q] = x[c + 1 + q];
    const LaneCx dxt = x[c + 3] - nb.ub1, dyt = x[c + 4] - nb.ub2;
    const LaneCx dxb = x[c + 5] - nb.ut1, dyb = x[c + 6] - nb.ut2;
    e[kG1t] = select(real, update(eb.tb[0], eb.tb[1], dxt, dyt, nb.gb1), zero);
    e[kG2t] = select(real, update(eb.tb[1], eb.tb[2], dxt, dyt, nb.gb2), zero);
    e[kG1b] = select(real, update(eb.bb[0], eb.bb[1], dxb, dyb, nb.gt1), zero);
    e[kG2b] = select(real, update(eb.bb[1], eb.bb[2], dxb, dyb, nb.gt2), zero);
  }
  LaneCx* tail = out + static_cast<std::size_t>(nx) * kPerElement;
  tail[kU1r] = x[n - 1];
  tail[kU2r] = x[n];
  if (vOld) {
    // Every vertical multiplier kept: the update of all of them, the outer ones copied
    // into the tail.
    updateVertical(nx, out, sys.beta->verticalEdges(P, g), vOld, real, outVertical);
    tail[kG1l] = outVertical[0];
    tail[kG2l] = outVertical[1];
    tail[kG1r] = outVertical[4 * (nx - 1) + 2];
    tail[kG2r] = outVertical[4 * (nx - 1) + 3];
    return true;
  }
  // The outer vertical edges: zero interface parameters, zero ghost frame.
  const LaneCx dxl = x[1] - zero, dyl = x[2] - zero;
  const LaneCx dxr = x[n - 1] - zero, dyr = x[n] - zero;
  tail[kG1l] = select(real, update(zero, zero, dxl, dyl, zero), zero);
  tail[kG2l] = select(real, update(zero, zero, dxl, dyl, zero), zero);
  tail[kG1r] = select(real, update(zero, zero, dxr, dyr, zero), zero);
  tail[kG2r] = select(real, update(zero, zero, dxr, dyr, zero), zero);
  return all(finite);
}

std::size_t LanePass::termIndex(int i, int g, int p) const {
  return ((static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(groups_.maxCount()) +
           static_cast<std::size_t>(g)) *
              2 +
          static_cast<std::size_t>(p)) *
         kTermsPerElement;
}

void LanePass::relaxGroup(int p, int g, const LaneCx* fresh, LaneCx* block, bool measure) {
  const int nx = nx_;
  const std::size_t total = oddNew_.blockEntries();
  if (!measure) return relaxValues(fresh, block, total);

  // The six displacements of every element (and the r pair of the last), relaxed, with
  // the squared moduli of Xp - X and Xp + X of each.  The r pair of element i is the l
  // pair of element i+1: the sum takes its terms from there.
  static constexpr int kValues[6] = {kU1l, kU1t, kU1b, kU2l, kU2t, kU2b};
  auto termsOf = [&](std::size_t k, Lane* t) {
    const LaneCx xp = block[k];
    const LaneCx r = relaxed(fresh[k], xp);
    block[k] = r;
    changeTerms(xp, r, t[0], t[6]);
  };
  // Every slot of a record is written (whole lines past the caches), the unused ones of
  // the last record with zeros; no record is cleared first.
  for (int i = 1; i <= nx + 1; ++i) {
    Lane t[kTermsPerElement];
    if (i <= nx) {
      for (int v = 0; v < 6; ++v) termsOf(at(i, kValues[v]), t + v);
    } else {
      for (int q = 0; q < kTermsPerElement; ++q) t[q] = Lane{};
      for (int v = 0; v < 2; ++v) termsOf(at(i, kU1r + v), t + 3 * v);
    }
    // Written once and read only by the sum after the pass: past the caches.
    Lane* out = terms_.data() + termIndex(i, g, p);
    for (int q = 0; q < kTermsPerElement; ++q) streamStore(out + q, t[q]);
    if (i <= nx)
      for (int q = kG1t; q <= kG2b; ++q) relaxValues(fresh + at(i, q), block + at(i, q), 1);
  }
  const std::size_t tail = static_cast<std::size_t>(nx) * kPerElement;
  relaxValues(fresh + tail + kG1l, block + tail + kG1l, 4);
  sfence();
}

void LanePass::sum() {
  // Serially in the order i outer, j inner, the eight arrays u1 l, t, b, r, u2 l, t, b, r
  // in turn, so that each sum and what the log shows of it are those of the plain loop;
  // the two sums are independent chains and run side by side.  The strips of group g
  // are 2 g kLanes + 1 + k, k = 2 l + p, those of the grid a prefix of them.
  const int nG = groups_.maxCount();
  double errnum = 0.0, errden = 0.0;
  for (int i = 1; i <= nx_; ++i)
    for (int g = 0; g < nG; ++g) {
      const int strips = std::min(2 * kLanes, ny_ - 2 * kLanes * g);
      const Lane* here = terms_.data() + termIndex(i, g, 0);
      const Lane* next = terms_.data() + termIndex(i + 1, g, 0);
      for (int k = 0; k < strips; ++k) {
        const int l = k / 2, q = (k % 2) * kTermsPerElement;
        const Lane* t = here + q;
        const Lane* r = next + q;  // the r pair of element i: the l pair of element i+1
        const double num[8] = {t[0][l], t[1][l], t[2][l], r[0][l],
                               t[3][l], t[4][l], t[5][l], r[3][l]};
        const double den[8] = {t[6][l], t[7][l], t[8][l], r[6][l],
                               t[9][l], t[10][l], t[11][l], r[9][l]};
        for (int a = 0; a < 8; ++a) {
          errnum = errnum + num[a];
          errden = errden + den[a];
        }
      }
    }
  sums_ = {errnum, errden};
}

void LanePass::finishVertical(LaneFields& cur, const LaneBetas& beta) {
  // The inner vertical multipliers before the pass were +0; those of the strips whose
  // displacements stayed finite are +0 again, the others are formed and relaxed here.
  cur.keepVertical();
  const std::size_t count = static_cast<std::size_t>(4) * nx_;
  std::vector<LaneCx> zero(count), fresh(count);
  for (const auto& [g, block] : dirty_) {
    updateVertical(nx_, block.data(), beta.verticalEdges(1, g), zero.data(), groups_.real(1, g),
                   fresh.data());
    LaneCx* v = cur.vertical(1, g);
    const LaneCx outer[4] = {v[0], v[1], v[count - 2], v[count - 1]};
    relaxValues(fresh.data(), v, count);
    v[0] = outer[0];  // the outer ones, kept in the tails, are relaxed already
    v[1] = outer[1];
    v[count - 2] = outer[2];
    v[count - 1] = outer[3];
  }
  dirty_.clear();
}

void LanePass::begin() { ahead_ = false; }

bool LanePass::oddGroups(const LaneFields& cur, const LaneSystem& sys, std::atomic<int>& next,
                         bool descending) {
  // Groups taken one at a time from `next`: a thread may join late (after the sum).
  Work& w = work_[static_cast<std::size_t>(omp_get_thread_num())];
  const int count = groups_.count[0];
  bool clean = true;
  for (int k = next.fetch_add(1); k < count; k = next.fetch_add(1)) {
    const int g = descending ? count - 1 - k : k;
    if (!solveGroup<0>(g, cur, sys, w, oddNew_.block(0, g), oddNew_.vertical(0, g))) clean = false;
  }
  return clean;
}

bool LanePass::flip(bool& descending) {
  const bool was = descending;
  descending = !descending;
  return was;
}

LanePassResult LanePass::run(LaneFields& cur, const LaneSystem& sys, bool measure, bool ahead) {
  const int odd = groups_.count[0], even = groups_.count[1];
  const bool vertical = cur.keepsVertical();
  if (vertical) oddNew_.keepVertical();
  if (!ahead_ || aheadVertical_ != vertical) {
    std::atomic<int> next{0};
    bool clean = true;
    const bool down = flip(oddDescending_);
#pragma omp parallel num_threads(threads_) reduction(&& : clean)
    clean = oddGroups(cur, sys, next, down);
    oddClean_ = clean;
  }
  ahead_ = false;
  if (!oddClean_) return LanePassResult::again;

  const bool down = flip(evenDescending_);
#pragma omp parallel num_threads(threads_)
  {
    Work& w = work_[static_cast<std::size_t>(omp_get_thread_num())];
#pragma omp for schedule(static)
    for (int k = 0; k < odd; ++k) {
      const int g = down ? odd - 1 - k : k;
      if (g < even) {
        if (!solveGroup<1>(g, cur, sys, w, w.fresh.data(), w.freshVertical.data())) {
#pragma omp critical(stripwave_dirty_groups)
          dirty_.emplace_back(g, w.fresh);
        }
        if (vertical)
          relaxValues(w.freshVertical.data(), cur.vertical(1, g), w.freshVertical.size());
        relaxGroup(1, g, w.fresh.data(), cur.block(1, g), measure);
      }
      if (vertical)
        relaxValues(oddNew_.vertical(0, g), cur.vertical(0, g), static_cast<std::size_t>(4) * nx_);
      relaxGroup(0, g, oddNew_.block(0, g), cur.block(0, g), measure);
    }
  }

  // The sums are one serial chain each, bound by the latency of the additions.  While
  // one thread forms them, the others make the odd phase of the next pass, which reads
  // only the relaxed fields and writes only its own buffer; the summing thread joins it
  // afterwards.  If the iteration stops here, that work is dropped; if the vertical
  // multipliers start to be kept before the next pass, it is made again.
  if (dirty_.empty() && ahead) {
    std::atomic<int> next{0};
    bool clean = true;
    const bool oddDown = flip(oddDescending_);
#pragma omp parallel num_threads(threads_) reduction(&& : clean)
    {
      if (measure && omp_get_thread_num() == 0) sum();
      clean = oddGroups(cur, sys, next, oddDown);
    }
    ahead_ = true;
    aheadVertical_ = vertical;
    oddClean_ = clean;
  } else if (measure) {
    sum();
  }
  return dirty_.empty() ? LanePassResult::done : LanePassResult::finishVertical;
}

double LanePass::bytesPerPass(const LaneSystem& sys) const {
  // Compulsory traffic of a pass by our count: every factor block read once; the even
  // groups read by the odd phase, then read and written by their relaxation; the odd
  // groups written to their buffer and read back, then read and written by their
  // relaxation; the interface parameters read in both phases; the terms written once
  // and read once by the sum.
  const double block = static_cast<double>(oddNew_.blockEntries() * sizeof(LaneCx));
  const double factors =
      (groups_.count[0] + groups_.count[1]) * static_cast<double>(sys.factors->blockBytes());
  const double fields = groups_.count[1] * block * 3.0 + groups_.count[0] * block * 4.0;
  const double beta = 2.0 * static_cast<double>(sys.beta->bytes());
  const double terms = 2.0 * static_cast<double>(terms_.size() * sizeof(Lane));
  return factors + fields + beta + terms;
}

}  // namespace sw
